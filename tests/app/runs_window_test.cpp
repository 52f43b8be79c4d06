// The Runs window over the simulated meter in virtual time: runs kept with
// their sample, listed again after a restart, compared, tabulated, and a
// file of another instrument opened and shown in the main window.
#include "app/runs_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegendMarker>
#include <algorithm>

#include "app/main_window.h"
#include "app/run_comparison_charts.h"
#include "gpib/gpib_binding.h"
#include "sim/simulated_lab.h"
#include "tests/app/app_environment.h"
#include "tests/support/crlf_lines.h"

namespace quillon {
namespace {

class RunsWindowTest : public ::testing::Test {
protected:
    RunsWindowTest()
    {
        const char* texts[kTextFieldCount] = {"-2", "1",     "0.25", "100000", "1", "0",
                                              "50", "10000", "0",    "17",     "1"};
        for (int i = 0; i < kTextFieldCount; ++i) ui.Text1[i]->setText(texts[i]);
        ui.Check1[kDoubleSweep]->setChecked(true);
        ui.Option2[0]->setChecked(true);
        window.show();
    }
    ~RunsWindowTest() override { DeselectGpibDriver(); }

    std::vector<std::string> Column(const RunsWindow& runs, int column) const
    {
        std::vector<std::string> texts;
        for (int row = 0; row < runs.List()->rowCount(); ++row)
            texts.push_back(runs.List()->item(row, column)->text().toStdString());
        return texts;
    }

    testing::AppEnvironment env;
    SimulatedLab lab = testing::SelectedSimulatedLab(env.clock);
    FormLCR window{env.Get()};
    const FormLCRControls& ui = window.Controls();
};

TEST_F(RunsWindowTest, RunsAreKeptListedAfterARestartComparedAndTabulated)
{
    window.ShowRunsWindow();
    RunsWindow* runs = window.RunsWindowIfOpen();
    ASSERT_NE(runs, nullptr);
    EXPECT_EQ(runs->List()->rowCount(), 0);
    std::size_t mostLiveSeries = 0;
    for (const char* sample : {"w1-d1", "w1-d2", "w2-d1"}) {
        runs->SampleBox()->clear();
        QTest::keyClicks(runs->SampleBox(), sample);
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            mostLiveSeries = std::max<std::size_t>(
                mostLiveSeries, runs->Charts()->CapacitanceChart()->chart()->series().size());
        });
        watch.start(0);
        QTest::mouseClick(ui.Command1, Qt::LeftButton);
        env.clock.Sleep(1000);
    }
    // The run in progress was drawn while it went, and is gone after.
    EXPECT_GE(mostLiveSeries, 1u);
    EXPECT_TRUE(runs->Charts()->CapacitanceChart()->chart()->series().isEmpty());
    EXPECT_EQ(Column(*runs, kSampleColumn), (std::vector<std::string>{"w2-d1", "w1-d2", "w1-d1"}));

    // Started again on the same folder: the runs are there, newest first.
    FormLCR restarted{env.Get()};
    restarted.ShowRunsWindow();
    RunsWindow* listed = restarted.RunsWindowIfOpen();
    ASSERT_NE(listed, nullptr);
    EXPECT_EQ(listed->SampleBox()->text(), "w2-d1");
    ASSERT_EQ(Column(*listed, kSampleColumn),
              (std::vector<std::string>{"w2-d1", "w1-d2", "w1-d1"}));
    EXPECT_EQ(Column(*listed, kFrequencyColumn)[0], "100 kHz");
    EXPECT_EQ(Column(*listed, kSweepColumn)[0], "-2 to 1 V, double");
    EXPECT_NE(Column(*listed, kCetColumn)[0], "n/a");

    listed->SetTicked(listed->ListedKeys()[0], true);
    listed->SetTicked(listed->ListedKeys()[2], true);
    // The legend's items take their visibility once the view lays them out.
    QCoreApplication::processEvents();
    int legendEntries = 0;
    for (QLegendMarker* marker : listed->Charts()->CapacitanceChart()->chart()->legend()->markers())
        legendEntries += marker->isVisible() ? 1 : 0;
    EXPECT_EQ(legendEntries, 2);
    env.desktop.saveAnswers.push_back(env.temp.File("wafer").string());
    QTest::mouseClick(listed->SaveTableButton(), Qt::LeftButton);
    const std::vector<std::string> table = testing::CrLfLines(env.temp.Read("wafer.csv"));
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].rfind("sample,note,started,file,frequency [Hz],Cox [F],CET [nm]", 0), 0u);
    EXPECT_EQ(table[1].rfind("w2-d1,,", 0), 0u) << table[1];
    EXPECT_EQ(table[2].rfind("w1-d1,,", 0), 0u) << table[2];
    EXPECT_EQ(std::count(table[1].begin(), table[1].end(), ','), 13);

    QTest::keyClicks(listed->FilterBox(), "W1");
    EXPECT_EQ(Column(*listed, kSampleColumn), (std::vector<std::string>{"w1-d2", "w1-d1"}));
}

TEST_F(RunsWindowTest, AnotherInstrumentsFileIsOpenedShownAndABadOneChangesNothing)
{
    env.temp.Write("probe.txt", "Vg [V]\tCp [pF]\tGp [uS]\n-1\t100\t1\n0\t60\t2\n1\t20\t0.5\n");
    env.temp.Write("binary.dat", std::string("V,C,G\n\0\x01\x02", 9));
    window.ShowRunsWindow();
    RunsWindow* runs = window.RunsWindowIfOpen();
    ASSERT_NE(runs, nullptr);
    env.desktop.openAnswers.push_back(
        {env.temp.File("binary.dat").string(), env.temp.File("probe.txt").string()});
    env.desktop.textAnswers = {"1e6", "2500"};  // frequency, pad area
    QTest::mouseClick(runs->OpenButton(), Qt::LeftButton);
    ASSERT_EQ(env.desktop.messages.size(), 1u);
    EXPECT_NE(env.desktop.messages[0].text.find("binary.dat"), std::string::npos);
    ASSERT_EQ(runs->List()->rowCount(), 1);
    EXPECT_EQ(Column(*runs, kFrequencyColumn), (std::vector<std::string>{"1 MHz"}));
    EXPECT_EQ(Column(*runs, kCmaxColumn), (std::vector<std::string>{"100.000"}));

    const QString caption = window.windowTitle();
    runs->ShowListedRun(0);
    EXPECT_EQ(window.windowTitle(), caption + " [shows probe.txt]");
    ASSERT_EQ(window.Sweep().PointCount, 3);
    EXPECT_DOUBLE_EQ(window.Sweep().Capacitance[2], 60e-12);
    EXPECT_DOUBLE_EQ(window.Sweep().Conductance[3], 0.5e-6);
    EXPECT_EQ(window.LastRunContext()->settings.text[kPadArea], "2500");
    // Saved again, it has no sweep the window's plan would make up for it.
    const std::string saved = CsvDataFileText(*window.LastRunContext(), window.Sweep());
    EXPECT_NE(saved.find("\r\n1.000,2.00000E-11,5.00000E-07,,\r\n"), std::string::npos) << saved;
    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    EXPECT_EQ(window.windowTitle(), caption);
    EXPECT_EQ(window.Sweep().PointCount, 26);
}

}  // namespace
}  // namespace quillon
