// The Correction window over the simulated meter with a probe station in
// front of the device, in virtual time: cable length, open, short and a
// run as a new user does them, the run's file saying so; Cancel; refused
// during a run; opened from the graphs' menu and the Runs window.
#include "app/correction_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "app/bus_choice.h"
#include "app/correction_settings.h"
#include "app/main_window.h"
#include "app/results_settings.h"
#include "common/date_text.h"
#include "tests/app/app_environment.h"

namespace quillon {
namespace {

SimulatedLabSettings StationLab()
{
    SimulatedLabSettings settings;
    settings.fixture = {0.5e-12, 0.0, 2.0, 50e-9, 0.0};
    return settings;
}

class CorrectionWindowTest : public ::testing::Test {
protected:
    CorrectionWindowTest()
    {
        const char* texts[kTextFieldCount] = {"-3", "-2",    "0.25", "100000", "1", "0",
                                              "50", "10000", "0",    "17",     "1"};
        for (int i = 0; i < kTextFieldCount; ++i) ui.Text1[i]->setText(texts[i]);
        ui.Option2[2]->setChecked(true);  // LONG: the meter's scatter well below 0.1 %
        window.SetProbeMover(SimulatedProbeMover(*lab.meter));
        window.show();
    }
    ~CorrectionWindowTest() override { DeselectGpibDriver(); }

    double CmaxOfRun()
    {
        QTest::mouseClick(ui.Command1, Qt::LeftButton);
        EXPECT_TRUE(window.LastRunContext() && window.LastRunContext()->summary);
        return window.LastRunContext()->summary->cmax;
    }
    static double DeviceCmax()
    {
        return EvaluateMosCapacitor(MosDevice{}, -3.0, 100000.0).capacitanceFarads;
    }
    CorrectionWindow* Open()
    {
        QMenu menu;
        window.AddAnalysisAction(menu);
        const QList<QAction*> items = menu.actions();
        // Where it stands in the menu the menu tests check.
        const auto correction = std::find_if(
            items.begin(), items.end(), [](QAction* a) { return a->text() == "Correction..."; });
        if (correction == items.end()) return nullptr;
        (*correction)->trigger();
        return window.CorrectionWindowIfOpen();
    }

    testing::AppEnvironment env;
    SimulatedLab lab = testing::SelectedSimulatedLab(env.clock, StationLab());
    FormLCR window{env.Get()};
    const FormLCRControls& ui = window.Controls();
};

TEST_F(CorrectionWindowTest, CableOpenShortAndARunAsANewUserDoesThem)
{
    EXPECT_GT(std::fabs(CmaxOfRun() / DeviceCmax() - 1.0), 0.01);

    CorrectionWindow* correction = Open();
    ASSERT_NE(correction, nullptr);
    EXPECT_EQ(correction->StateLabel()->text().toStdString(),
              "The meter: open off, short off, cable 0 m, open never, short never");
    correction->CableBox()->setCurrentIndex(1);
    correction->SetCable();
    EXPECT_EQ(lab.meter->Unrecognised(), std::vector<std::string>{});
    EXPECT_EQ(correction->ProgressLabel()->text().toStdString(),
              "Cable length changed: measure the open and the short again.");
    EXPECT_NE(correction->StateLabel()->text().indexOf("cable 1 m"), -1);
    correction->CableBox()->setCurrentIndex(0);
    correction->SetCable();

    env.desktop.yesNoAnswers = {true, true};
    QTest::mouseClick(correction->OpenButton(), Qt::LeftButton);
    EXPECT_EQ(env.desktop.questions.at(0).text,
              "Lift the probes off the pad, then press Yes to measure the open.");
    EXPECT_TRUE(correction->OpenOnBox()->isChecked());
    EXPECT_EQ(lab.meter->probePosition(), ProbePlacement::OnDevice);
    QTest::mouseClick(correction->ShortButton(), Qt::LeftButton);
    EXPECT_EQ(env.desktop.questions.at(1).text,
              "Land the probes on the short pad, then press Yes to measure the short.");
    EXPECT_TRUE(correction->ShortOnBox()->isChecked());
    EXPECT_TRUE(env.desktop.messages.empty()) << env.desktop.messages[0].text;
    const CorrectionTimes times = ReadCorrectionTimes(env.temp.Folder());
    ASSERT_TRUE(times.lastOpen && times.lastShort);

    EXPECT_LT(std::fabs(CmaxOfRun() / DeviceCmax() - 1.0), 0.001);
    const std::string expected = "# correction: open on, short on, cable 0 m, open " +
                                 FormatDate(*times.lastOpen, "yyyy-mm-dd hh:nn:ss") + ", short " +
                                 FormatDate(*times.lastShort, "yyyy-mm-dd hh:nn:ss");
    const std::string file = CsvDataFileText(*window.LastRunContext(), window.Sweep());
    EXPECT_NE(file.find(expected + "\r\n"), std::string::npos) << file;
    // The Analysis window's report says it too.
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(ui.Text1[kStartBias], Qt::Key_A, Qt::AltModifier);
    AnalysisWindow* analysis = window.AnalysisWindowIfOpen();
    ASSERT_NE(analysis, nullptr);
    env.desktop.saveAnswers.push_back(env.temp.File("report").string());
    QTest::mouseClick(analysis->SaveButton(), Qt::LeftButton);
    EXPECT_NE(
        env.temp.Read("report.txt").find("\r\nMeter correction\t" + expected.substr(14) + "\r\n"),
        std::string::npos);
    analysis->close();

    // Switched off from the window, the next run's file says so.
    correction->ShortOnBox()->click();
    EXPECT_FALSE(correction->ShortOnBox()->isChecked());
    CmaxOfRun();
    EXPECT_FALSE(window.LastRunContext()->correction->shortOn);
}

TEST_F(CorrectionWindowTest, CancelClearsTheMeterAndShowsItsStateRefusedDuringARun)
{
    CorrectionWindow* correction = Open();
    ASSERT_NE(correction, nullptr);
    env.desktop.yesNoAnswers = {true};
    QString during;
    QTimer::singleShot(0, correction, [&] {
        during = correction->ProgressLabel()->text();
        QTest::mouseClick(ui.Command1, Qt::LeftButton);
        QTest::mouseClick(correction->CancelButton(), Qt::LeftButton);
    });
    QTest::mouseClick(correction->OpenButton(), Qt::LeftButton);
    EXPECT_EQ(during.toStdString(), "Open: 1 s of about 90 s");
    ASSERT_EQ(env.desktop.messages.size(), 2u);
    EXPECT_EQ(env.desktop.messages[0].text, kRunDuringCorrectionMessage);
    EXPECT_FALSE(window.LastRunContext());
    EXPECT_EQ(env.desktop.messages[1].text.rfind("The open correction was cancelled", 0), 0u);
    EXPECT_FALSE(correction->OpenOnBox()->isChecked());
    EXPECT_FALSE(ReadCorrectionTimes(env.temp.Folder()).lastOpen);
    EXPECT_FALSE(correction->Busy());

    correction->close();
    window.SetRunning(true);
    window.ShowCorrectionWindow();
    EXPECT_EQ(window.CorrectionWindowIfOpen(), nullptr);
    EXPECT_EQ(env.desktop.messages.back().text, kCorrectionDuringRunMessage);
    window.SetRunning(false);

    window.ShowRunsWindow();
    ASSERT_NE(window.RunsWindowIfOpen(), nullptr);
    QTest::mouseClick(window.RunsWindowIfOpen()->CorrectionButton(), Qt::LeftButton);
    EXPECT_NE(window.CorrectionWindowIfOpen(), nullptr);
}

}  // namespace
}  // namespace quillon
