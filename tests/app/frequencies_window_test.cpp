// The Frequencies window over the simulated meter in virtual time: a list
// run as the same sweeps started one by one, ended after a sweep, a list of
// more than a day asked about, and C-f at fixed bias kept as its file.
#include "app/frequencies_window.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "analysis/frequency_sweep_file.h"
#include "analysis/run_file_reader.h"
#include "app/frequency_analysis_view.h"
#include "app/frequency_settings.h"
#include "gpib/gpib_binding.h"
#include "tests/app/app_environment.h"
#include "tests/support/crlf_lines.h"

namespace quillon {
namespace {

// -1 V to 0.5 V in 0.25 V steps at SHORT, the typed frequency 100 kHz.
void TypeSweep(const FormLCRControls& ui)
{
    const char* texts[kTextFieldCount] = {"-1", "0.5",   "0.25", "100000", "1", "0",
                                          "50", "10000", "0",    "17",     "1"};
    for (int i = 0; i < kTextFieldCount; ++i) ui.Text1[i]->setText(texts[i]);
    ui.Option2[0]->setChecked(true);
}

using Point = std::tuple<double, double, double>;

std::vector<Point> PointsOf(const SweepData& sweep)
{
    std::vector<Point> points;
    for (int i = 1; i <= sweep.PointCount; ++i) {
        const auto index = static_cast<std::size_t>(i);
        points.emplace_back(sweep.Bias[index], sweep.Capacitance[index], sweep.Conductance[index]);
    }
    return points;
}

std::vector<Point> PointsOf(const StoredRun& run)
{
    std::vector<Point> points;
    for (const MeasuredPoint& point : run.points)
        points.emplace_back(point.bias, point.capacitance, point.conductance);
    return points;
}

class FrequenciesWindowTest : public ::testing::Test {
protected:
    FrequenciesWindowTest()
    {
        TypeSweep(ui);
        window.show();
    }
    ~FrequenciesWindowTest() override { DeselectGpibDriver(); }

    std::size_t FilesIn(const std::string& folder) const
    {
        std::error_code missing;
        std::size_t files = 0;
        for (auto it = std::filesystem::directory_iterator(folder, missing);
             it != std::filesystem::directory_iterator(); ++it)
            ++files;
        return files;
    }

    testing::AppEnvironment env;
    SimulatedLab lab = testing::SelectedSimulatedLab(env.clock);
    FormLCR window{env.Get()};
    const FormLCRControls& ui = window.Controls();
    FrequenciesWindow& frequencies = Opened(window);

private:
    static FrequenciesWindow& Opened(FormLCR& form)
    {
        form.ShowFrequenciesWindow();
        return *form.FrequenciesWindowIfOpen();
    }
};

TEST_F(FrequenciesWindowTest, AListsRunsAreTheSameSweepsStartedOneByOne)
{
    frequencies.ListBox()->setText("1k 1M 10k");
    EXPECT_EQ(frequencies.ListInfo()->text().toStdString(),
              "3 frequencies, about 0:01 for the main window's sweep of 7 points at each.");
    QTest::mouseClick(frequencies.RunListButton(), Qt::LeftButton);
    EXPECT_TRUE(env.desktop.messages.empty());
    EXPECT_EQ(frequencies.Progress()->text().toStdString(),
              "The list is done: 3 sweeps measured and kept in the runs folder.");
    EXPECT_EQ(ui.Text1[kFrequency]->text(), "100000");
    EXPECT_EQ(FilesIn(env.temp.File("runs").string()), 3u);
    ASSERT_EQ(frequencies.ListRuns().size(), 3u);
    EXPECT_EQ(frequencies.ListRuns()[1].frequencyHertz, 1e6);
    EXPECT_TRUE(std::filesystem::exists(frequencies.ListRuns()[2].path));
    EXPECT_EQ(ReadFrequencyInputs(env.temp.Folder()).list, "1k 1M 10k");
    // The family is analysed at once: the first sweep of each run.
    ASSERT_NE(window.AnalysisWindowIfOpen(), nullptr);
    const MultiFrequencyAnalysis& shown = window.AnalysisWindowIfOpen()->FrequencyView()->Shown();
    ASSERT_EQ(shown.curves.size(), 3u);
    EXPECT_EQ(shown.curves[2].label, "1 MHz");
    EXPECT_EQ(shown.curves[0].points.size(), 7u);

    testing::AppEnvironment alone;
    SimulatedLab aloneLab = testing::SelectedSimulatedLab(alone.clock);
    FormLCR oneByOne{alone.Get()};
    TypeSweep(oneByOne.Controls());
    for (std::size_t i = 0; i < 3; ++i) {
        oneByOne.Controls().Text1[kFrequency]->setText(
            QString::number(*frequencies.ListRuns()[i].frequencyHertz));
        oneByOne.Command1_Click();
        EXPECT_EQ(PointsOf(oneByOne.Sweep()), PointsOf(frequencies.ListRuns()[i])) << i;
        EXPECT_EQ(aloneLab.meter->frequencyHertz(), *frequencies.ListRuns()[i].frequencyHertz);
    }
}

TEST_F(FrequenciesWindowTest, AListEndsAfterTheSweepAskedAndOneOfMoreThanADayIsAskedFirst)
{
    frequencies.ListBox()->setText("1k 10k");
    QTimer::singleShot(0, frequencies.StopAfterButton(),
                       [&] { QTest::mouseClick(frequencies.StopAfterButton(), Qt::LeftButton); });
    frequencies.RunList();
    EXPECT_EQ(frequencies.ListRuns().size(), 1u);
    EXPECT_EQ(frequencies.Progress()->text().toStdString(),
              "The list ended at 1 kHz (1 of 2), as it was asked to end after this sweep. 1 sweep "
              "measured and kept in the runs folder.");
    EXPECT_FALSE(lab.meter->biasOn());

    // The meter stops answering in the second sweep: the first stays kept.
    QTimer fault;
    QObject::connect(&fault, &QTimer::timeout, [&] {
        if (lab.meter->frequencyHertz() == 10000)
            lab.meter->SetFault(Simulated4284A::Fault::NoServiceRequest);
    });
    fault.start(0);
    frequencies.RunList();
    fault.stop();
    lab.meter->SetFault(Simulated4284A::Fault::None);
    EXPECT_EQ(frequencies.ListRuns().size(), 1u);
    EXPECT_EQ(frequencies.Progress()->text().toStdString(),
              "The list ended at 10 kHz (2 of 2), as the meter did not answer in time. 1 sweep "
              "measured and kept in the runs folder; the bias is off.");
    // One kept by each list; the sweep that timed out read no point.
    EXPECT_EQ(FilesIn(env.temp.File("runs").string()), 2u);
    EXPECT_FALSE(lab.meter->biasOn());
    env.desktop.messages.clear();

    // 751 points (the step is held as 2 mV) of 255 long measurements after a
    // minute's delay each, at 1 kHz (830 ms) and 10 kHz (820 ms):
    // 751 x (2 x 60 s + 255 x 1.65 s + 2 x 15 ms) = 406126 s.
    ui.Text1[kBiasStep]->setText("0.0025");
    ui.Text1[kAveraging]->setText("255");
    ui.Text1[kTriggerDelay]->setText("60");
    ui.Option2[2]->setChecked(true);
    const int triggers = lab.meter->triggers();
    frequencies.RunList();
    ASSERT_EQ(env.desktop.questions.size(), 1u);
    EXPECT_EQ(
        env.desktop.questions[0].text,
        "The list of 2 sweeps would take about 112:48:45 (hours:minutes:seconds), more than a "
        "day. Start it all the same?");
    EXPECT_EQ(lab.meter->triggers(), triggers);

    for (const char* bad : {"", "1k 2M", "1k 1000"}) {
        frequencies.ListBox()->setText(bad);
        env.desktop.messages.clear();
        frequencies.RunList();
        ASSERT_EQ(env.desktop.messages.size(), 1u) << bad;
        EXPECT_EQ(env.desktop.messages[0].text, frequencies.ListInfo()->text().toStdString());
    }
    EXPECT_EQ(lab.meter->triggers(), triggers);
}

TEST_F(FrequenciesWindowTest, CfAtFixedBiasIsKeptAsItsOwnFileAndSavedOnRequest)
{
    frequencies.ListBox()->setText("1k 100k");
    frequencies.BiasBox()->setText("-1 0.5");
    QTest::mouseClick(frequencies.MeasureButton(), Qt::LeftButton);
    ASSERT_TRUE(frequencies.LastFrequencySweep());
    const std::string kept = frequencies.LastFrequencySweep()->path;
    EXPECT_EQ(std::filesystem::path(kept).parent_path().filename(), kFrequencySweepsFolderName);
    EXPECT_EQ(std::filesystem::path(kept).filename().string().substr(0, 3), "cf-");
    std::ifstream file(kept, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    const std::vector<std::string> lines = testing::CrLfLines(text);
    const auto header = std::find(lines.begin(), lines.end(), kFrequencySweepHeader);
    ASSERT_NE(header, lines.end());
    EXPECT_EQ(lines.end() - header, 5);
    EXPECT_EQ((header + 3)->substr(0, 11), "0.500,1000,");
    EXPECT_NE(std::find(lines.begin(), header, "# biases [V]: -1 0.5"), header);
    EXPECT_NE(std::find(lines.begin(), header, "# frequencies [Hz]: 1k 100k"), header);
    EXPECT_NE(std::find(lines.begin(), header, "# correction: not read"), header);
    EXPECT_EQ(std::find(lines.begin(), header, "# bias step [V]: 0.25"), header);
    EXPECT_EQ(frequencies.Progress()->text().toStdString(),
              "C-f: 4 of 4 points read; kept as " + kept + ".");
    EXPECT_EQ(ui.Text1[kFrequency]->text(), "100000");

    ASSERT_NE(window.AnalysisWindowIfOpen(), nullptr);
    EXPECT_EQ(window.AnalysisWindowIfOpen()->FrequencyView()->Shown().biases.size(), 2u);
    // The Runs window opens it as one run per frequency.
    const RunFileReading asRuns = ReadRunFile(kept);
    ASSERT_EQ(asRuns.runs.size(), 2u) << (asRuns.problem ? asRuns.problem->reason : "");
    EXPECT_EQ(asRuns.runs[1].frequencyHertz, 1e5);
    EXPECT_EQ(asRuns.runs[1].points.size(), 2u);

    env.desktop.saveAnswers.push_back(env.temp.File("copy.csv").string());
    QTest::mouseClick(frequencies.SaveButton(), Qt::LeftButton);
    EXPECT_EQ(env.temp.Read("copy.csv"), text);
}

}  // namespace
}  // namespace quillon
