// START, STOP and closing the window, over the simulated meter in virtual time.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <filesystem>

#include "analysis/result_table.h"
#include "app/main_window.h"
#include "app/picture_box.h"
#include "app/picture_export.h"
#include "app/query_window.h"
#include "app/window_stop.h"
#include "common/text_number.h"
#include "gpib/gpib_binding.h"
#include "platform/module_ini.h"
#include "sim/message_device.h"
#include "sim/simulated_lab.h"
#include "tests/app/app_environment.h"

namespace quillon {
namespace {

class MeasurementWindowTest : public ::testing::Test {
protected:
    MeasurementWindowTest()
    {
        const char* texts[kTextFieldCount] = {"0",  "1",     "0.25", "1000", "1", "0",
                                              "50", "10000", "0",    "17",   "1"};
        for (int i = 0; i < kTextFieldCount; ++i) ui.Text1[i]->setText(texts[i]);
        ui.Option2[0]->setChecked(true);
        window.show();
    }

    ~MeasurementWindowTest() override { DeselectGpibDriver(); }

    std::string Caption(const QLabel* label) const { return label->text().toStdString(); }

    testing::AppEnvironment env;
    SimulatedLab lab = testing::SelectedSimulatedLab(env.clock);
    FormLCR window{env.Get()};
    const FormLCRControls& ui = window.Controls();
};

TEST_F(MeasurementWindowTest, CaptionSaysTheBusIsSimulated)
{
    EXPECT_EQ(window.windowTitle().toStdString(),
              "Agilent 4284A controller C-V & G-V measurement [simulated]");
}

TEST_F(MeasurementWindowTest, StartMeasuresAndShowsTheRunLive)
{
    std::vector<bool> statusSeen;
    // The run yields once a point: the STATUS frame is uncovered meanwhile.
    QTimer::singleShot(0, &window, [&] { statusSeen.push_back(ui.Command1->isHidden()); });
    QTest::mouseClick(ui.Command1, Qt::LeftButton);

    EXPECT_EQ(statusSeen, (std::vector<bool>{true}));
    EXPECT_EQ(window.Sweep().PointCount, 5);
    EXPECT_EQ(ui.ProgressBar1->value(), 100);
    // One point behind: the fourth point and the maxima up to it.
    const SweepData& sweep = window.Sweep();
    EXPECT_EQ(Caption(ui.Label4[0]), FormatNumber(sweep.Capacitance[4] * 1e12, "0.000") + "pF");
    const double gmaxUpToFour = *std::max_element(&sweep.Conductance[1], &sweep.Conductance[5]);
    EXPECT_EQ(Caption(ui.Label4[3]), FormatNumber(gmaxUpToFour * 1e6, "0.000") + "uS");

    // The end-of-run pass: 5 points in 350 ms.
    EXPECT_EQ(Caption(ui.Label3), "Progress finished 0.350 s");
    ASSERT_EQ(ui.List1->count(), 1);
    EXPECT_EQ(ui.List1->item(0)->text(), " 1\t14.286/s");
    EXPECT_TRUE(Caption(ui.Label1).rfind("5Points\n 0.35sec\n14.286/s\nCmax:", 0) == 0)
        << Caption(ui.Label1);
    int red = 0;
    for (const PictureLine& line : ui.Picture1->Lines()) red += line.colour == qRgb(255, 0, 0);
    EXPECT_EQ(red, 4);
    EXPECT_EQ(ui.Picture2->CurrentScale().left, -0.5);
    EXPECT_EQ(ui.Picture2->CurrentScale().top, 1.1 * sweep.Gmax);
    EXPECT_TRUE(ui.Command1->isVisible());
    for (const QPushButton* button : {ui.Command2, ui.Command3, ui.Command4, ui.Command7})
        EXPECT_TRUE(button->isEnabled());
    EXPECT_FALSE(window.Running());
    EXPECT_EQ(window.LastRunTimes().t1 - window.LastRunTimes().t0, 5u * 40u + 150u);
    EXPECT_TRUE(env.temp.Exists("log-202403.log"));
}

TEST_F(MeasurementWindowTest, SummaryOfTheSimulatedDeviceGivesItsOxideAndDoping)
{
    // Accumulation to strong inversion on the default device: 10 nm oxide,
    // p-type 1e16 cm-3, a pad of 100 um x 100 um.
    const char* texts[kTextFieldCount] = {"-3", "3",     "0.05", "100000", "1", "0",
                                          "50", "10000", "0",    "17",     "1"};
    for (int i = 0; i < kTextFieldCount; ++i) ui.Text1[i]->setText(texts[i]);
    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    ASSERT_EQ(window.Sweep().PointCount, 121);

    const QStringList lines = ui.Label1->text().split('\n');
    ASSERT_EQ(lines.size(), 9);
    // CET:x.xxnm and Nsub:x.xxE+yy (cm-3), read back from the texts shown.
    const double cetNm = lines[6].mid(4, lines[6].size() - 6).toDouble();
    const double nsub = lines[7].mid(5, lines[7].indexOf(' ') - 5).toDouble();
    EXPECT_NEAR(cetNm, 10.0, 0.3) << lines[6].toStdString();
    EXPECT_NEAR(nsub, 1e16, 0.15e16) << lines[7].toStdString();
    EXPECT_NEAR(window.Analysis().Cet, 10e-9, 0.3e-9);
}

TEST_F(MeasurementWindowTest, ReadOutsFollowThePointerFromTheStart)
{
    // Before any run: x -5..5 V, C from 1e-9 F at the top edge down to
    // -1e-10 F; half-way down lies about 450 pF.
    const QRect area = ui.Picture1->contentsRect();
    QTest::mouseMove(ui.Picture1, QPoint(area.left(), area.center().y()));
    EXPECT_EQ(ui.Text3[0]->text(), "-5.00V");
    EXPECT_TRUE(ui.Text3[1]->text().startsWith("45")) << ui.Text3[1]->text().toStdString();
    EXPECT_TRUE(ui.Text3[1]->text().endsWith("pF  ")) << ui.Text3[1]->text().toStdString();

    window.Picture1_MouseMove(Qt::NoButton, Qt::NoModifier, -1.25f, 2.5e-10f);
    EXPECT_EQ(ui.Text3[0]->text(), "-1.25V");
    EXPECT_EQ(ui.Text3[1]->text(), "250.00pF  ");
    window.Picture2_MouseMove(Qt::NoButton, Qt::NoModifier, 0.5f, 2.0f);
    EXPECT_EQ(ui.Text3[2]->text(), "0.50V");
    EXPECT_EQ(ui.Text3[3]->text(), "2000.00mS ");

    // Longer than its box: the start stays in view, sign and all.
    window.Picture1_MouseMove(Qt::NoButton, Qt::NoModifier, -12.5f, 2.5e-10f);
    window.Picture2_MouseMove(Qt::NoButton, Qt::NoModifier, -12.5f, 2.0f);
    for (const int bias : {0, 2}) {
        EXPECT_EQ(ui.Text3[bias]->text(), "-12.50V");
        EXPECT_EQ(ui.Text3[bias]->cursorPosition(), 0) << bias;
    }
}

TEST_F(MeasurementWindowTest, EscDuringTheRunStopsItAtThatPoint)
{
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ui.Text1[kBiasStep]->setFocus();
    QTimer::singleShot(0, &window, [&] { QTest::keyClick(ui.Text1[kBiasStep], Qt::Key_Escape); });
    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    EXPECT_EQ(window.Sweep().PointCount, 0);
    EXPECT_EQ(Caption(ui.Label3), "Progress 1/5");
    EXPECT_FALSE(lab.meter->biasOn());
    EXPECT_TRUE(ui.Command1->isVisible());
}

TEST_F(MeasurementWindowTest, ClosingDuringARunStopsItFirst)
{
    bool stillOpenWhileRunning = false;
    QTimer::singleShot(0, &window, [&] {
        window.close();
        stillOpenWhileRunning = window.isVisible();
    });
    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    EXPECT_TRUE(stillOpenWhileRunning);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.Sweep().PointCount, 0);
    EXPECT_FALSE(lab.meter->biasOn());
    // The log record is complete: first line, header, empty line.
    EXPECT_EQ(env.temp.Read("log-202403.log"),
              "Measurement:20240305 14:07:09\r\n0.000,V,C,G                    \r\n\r\n");
}

TEST_F(MeasurementWindowTest, StopSignalEndsTheRunAsStopDoesThenExits)
{
    std::vector<int> exits;
    const auto recordExit = [&](int status) { exits.push_back(status); };
    {
        const StopSignals stopSignals;
        const SignalQuit signalQuit(stopSignals, window, recordExit);
        QTimer::singleShot(0, &window, [] { std::raise(SIGTERM); });
        QTest::mouseClick(ui.Command1, Qt::LeftButton);
    }
    EXPECT_EQ(exits, (std::vector<int>{128 + SIGTERM}));
    EXPECT_LT(window.Sweep().PointCount, 5);
    EXPECT_FALSE(window.Running());
    EXPECT_FALSE(lab.meter->biasOn());
    const std::string log = env.temp.Read("log-202403.log");
    EXPECT_EQ(log.substr(log.size() - 4), "\r\n\r\n") << "the record is closed";
    EXPECT_TRUE(env.desktop.messages.empty());

    // Idle, the program exits at once.
    const StopSignals stopSignals;
    const SignalQuit signalQuit(stopSignals, window, recordExit);
    std::raise(SIGHUP);
    QApplication::processEvents();
    EXPECT_EQ(exits, (std::vector<int>{128 + SIGTERM, 128 + SIGHUP}));
}

TEST_F(MeasurementWindowTest, AnExitInTheMiddleOfARunSwitchesTheBiasOffFirst)
{
    const ExitDuringRunGuard guard(window, env.clock);
    lab.bus->RecordCalls(true);
    guard.IdleMeterOfUnfinishedRun();
    EXPECT_TRUE(lab.bus->Calls().empty()) << "no run, nothing to switch off";

    bool biasOnBefore = false;
    bool biasOnAfter = true;
    QTimer::singleShot(0, &window, [&] {
        biasOnBefore = lab.meter->biasOn();
        guard.IdleMeterOfUnfinishedRun();
        biasOnAfter = lab.meter->biasOn();
    });
    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    EXPECT_TRUE(biasOnBefore);
    EXPECT_FALSE(biasOnAfter);
}

TEST_F(MeasurementWindowTest, MessagesGoThroughTheDesktop)
{
    ui.Text1[kStopBias]->setText("0");
    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    ASSERT_EQ(env.desktop.messages.size(), 1u);
    EXPECT_EQ(env.desktop.messages[0].text.rfind("Bias Step [V] must not be 0", 0), 0u);
    EXPECT_TRUE(ui.Command1->isVisible());
    EXPECT_TRUE(window.isVisible());
}

TEST_F(MeasurementWindowTest, ShowResultListsTheLastRunOnce)
{
    QTest::mouseClick(ui.Command6, Qt::LeftButton);
    EXPECT_EQ(ui.RichTextBox1->toPlainText(), "V[V]\tC[F]\tG[S]\n");

    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    QTest::mouseClick(ui.Command6, Qt::LeftButton);
    QTest::mouseClick(ui.Command6, Qt::LeftButton);
    const QStringList lines = ui.RichTextBox1->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 7);  // header, 5 rows, and the empty rest after the last line end
    EXPECT_EQ(lines[0], "V[V]\tC[F]\tG[S]");
    EXPECT_EQ(lines[1].toStdString(), ResultRow(window.Sweep(), 1));
    EXPECT_TRUE(lines[5].startsWith("1.000\t"));
    EXPECT_EQ(lines[6], "");
}

TEST_F(MeasurementWindowTest, SaveDataWritesTheChosenFile)
{
    // Nothing measured yet: no dialog, and a word why.
    QTest::mouseClick(ui.Command7, Qt::LeftButton);
    EXPECT_TRUE(env.desktop.saveFilters.empty());
    ASSERT_EQ(env.desktop.messages.size(), 1u);
    EXPECT_EQ(env.desktop.messages[0].text, kNothingToSaveMessage);
    env.desktop.messages.clear();

    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    // Cancelled: nothing is written.
    QTest::mouseClick(ui.Command7, Qt::LeftButton);
    EXPECT_EQ(env.desktop.saveFilters,
              (std::vector<std::string>{"Table (*.txt)|*.txt|CSV with settings (*.csv)|*.csv"}));
    // The dialog offers the name the run's automatic file has.
    EXPECT_EQ(env.desktop.saveSuggestions, (std::vector<std::string>{"cv-20240305-140709"}));

    env.desktop.saveAnswers = {env.temp.File("sweep").string()};
    QTest::mouseClick(ui.Command7, Qt::LeftButton);
    EXPECT_EQ(env.temp.Read("sweep.txt"), DataFileText(window.Sweep()));
    EXPECT_TRUE(env.desktop.messages.empty());

    const std::string unwritable = env.temp.File("no/such/folder/x.txt").string();
    env.desktop.saveAnswers = {unwritable};
    QTest::mouseClick(ui.Command7, Qt::LeftButton);
    ASSERT_EQ(env.desktop.messages.size(), 1u);
    EXPECT_EQ(env.desktop.messages[0].text,
              "The data could not be saved to " + unwritable + ": No such file or directory.");
}

TEST_F(MeasurementWindowTest, SaveDataAsksBeforeTheAddedExtensionReplacesAFile)
{
    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    const std::string kept = env.temp.File("kept.txt").string();
    env.temp.Write("kept.txt", "earlier run");

    // "kept" becomes kept.txt, a file the dialog never saw: No keeps it.
    env.desktop.saveAnswers = {env.temp.File("kept").string()};
    QTest::mouseClick(ui.Command7, Qt::LeftButton);
    ASSERT_EQ(env.desktop.questions.size(), 1u);
    EXPECT_EQ(env.desktop.questions[0].text, kept + " already exists. Do you want to replace it?");
    EXPECT_EQ(env.temp.Read("kept.txt"), "earlier run");

    env.desktop.saveAnswers = {env.temp.File("kept").string()};
    env.desktop.yesNoAnswers = {true};
    QTest::mouseClick(ui.Command7, Qt::LeftButton);
    EXPECT_EQ(env.temp.Read("kept.txt"), DataFileText(window.Sweep()));

    // The name the dialog itself asked about is not asked about again.
    env.desktop.saveAnswers = {kept};
    QTest::mouseClick(ui.Command7, Qt::LeftButton);
    EXPECT_EQ(env.desktop.questions.size(), 2u);
    EXPECT_TRUE(env.desktop.messages.empty());
}

int BusCalls(const SimulatedBus& bus, const std::string& name)
{
    int calls = 0;
    for (const BusCall& call : bus.Calls()) calls += call.call == name;
    return calls;
}

TEST_F(MeasurementWindowTest, CheckLoadsTheQueryWindowOnceAndQuitUnloadsIt)
{
    lab.bus->RecordCalls(true);
    ui.Text1[kInstrumentAddress]->setText("5");
    QTest::mouseClick(ui.Command5, Qt::LeftButton);
    quillon::Test* query = window.QueryWindow();
    ASSERT_NE(query, nullptr);
    EXPECT_TRUE(query->isVisible());
    EXPECT_EQ(ui.Text1[kInstrumentAddress]->text(), "17");
    EXPECT_EQ(BusCalls(*lab.bus, "SendIFC"), 1);
    EXPECT_FALSE(query->Controls()
                     .ReadingsList->findItems("HEWLETT-PACKARD,4284A", Qt::MatchStartsWith)
                     .isEmpty());

    // Shown again, not loaded again.
    QTest::mouseClick(ui.Command5, Qt::LeftButton);
    EXPECT_EQ(window.QueryWindow(), query);
    EXPECT_EQ(BusCalls(*lab.bus, "SendIFC"), 1);

    QTest::mouseClick(query->Controls().QuitButton, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window.QueryWindow(), nullptr);
    QTest::mouseClick(ui.Command5, Qt::LeftButton);
    EXPECT_EQ(BusCalls(*lab.bus, "SendIFC"), 2);
}

TEST_F(MeasurementWindowTest, CheckDuringARunLeavesTheBusToTheRun)
{
    lab.bus->RecordCalls(true);
    bool runDisabled = false;
    QTimer::singleShot(0, &window, [&] {
        QTest::mouseClick(ui.Command5, Qt::LeftButton);
        runDisabled =
            window.QueryWindow() && !window.QueryWindow()->Controls().RunRepeat->isEnabled();
    });
    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    ASSERT_NE(window.QueryWindow(), nullptr);
    EXPECT_TRUE(runDisabled);
    EXPECT_EQ(window.Sweep().PointCount, 5);
    for (const char* call : {"SendIFC", "FindLstn", "DevClearList", "SendList"})
        EXPECT_EQ(BusCalls(*lab.bus, call), 0) << call;
    // Once the run is over the query may run.
    EXPECT_TRUE(window.QueryWindow()->Controls().RunRepeat->isEnabled());
}

// The items of a graph's right-click menu by caption.
struct GraphMenu {
    GraphMenu(FormLCR& window, ResultTab graph) { window.FillGraphMenu(menu, graph); }
    QAction* Item(int index) const { return menu.actions().value(index); }
    QMenu menu;
};

int GreyLines(const PictureBox& picture)
{
    int grey = 0;
    for (const PictureLine& line : picture.Lines()) grey += line.colour == qRgb(180, 180, 180);
    return grey;
}

TEST_F(MeasurementWindowTest, GraphMenuCopiesAndSavesPicturesOnceARunDrewThem)
{
    QStringList shown;
    QTimer::singleShot(0, &window, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (const QAction* item : menu->actions())
                shown << item->text() + (item->isEnabled() ? "" : " (off)");
            menu->close();
        }
    });
    const QPoint at(9, 9);
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, ui.Picture2->mapToGlobal(at));
    QApplication::sendEvent(ui.Picture2, &click);
    EXPECT_EQ(shown,
              (QStringList{"Copy picture (off)", "Save picture... (off)", "Show earlier runs", "",
                           "Analysis...", "Runs...", "Frequencies...", "Correction..."}));

    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    GraphMenu(window, kGvTab).Item(0)->trigger();
    const GraphFrame gvFrame = window.PictureFrame(kGvTab);
    EXPECT_EQ(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
              PictureImage(*ui.Picture2, gvFrame).convertToFormat(QImage::Format_RGB32));
    env.desktop.saveAnswers = {env.temp.File("cv").string(), env.temp.File("gv").string()};
    env.desktop.saveTypes = {1, 0};
    GraphMenu(window, kCvTab).Item(1)->trigger();
    GraphMenu(window, kGvTab).Item(1)->trigger();
    EXPECT_EQ(env.desktop.saveFilters[0], kPictureFileFilter);
    EXPECT_EQ(env.desktop.saveSuggestions,
              (std::vector<std::string>{"cv-20240305-140709-cv", "cv-20240305-140709-gv"}));
    const std::string cv = env.temp.Read("cv.svg");
    EXPECT_EQ(cv, PictureFileBytes(*ui.Picture1, window.PictureFrame(kCvTab), PictureFormat::Svg)
                      .toStdString());
    // The frame a user sees on the slide: the bias and C with their units,
    // and which colour is which sweep direction.
    for (const char* text : {">Bias [V]<", ">C [pF]<", ">bias rising<"})
        EXPECT_NE(cv.find(text), std::string::npos) << text;
    EXPECT_EQ(env.temp.Read("gv.png"),
              PictureFileBytes(*ui.Picture2, gvFrame, PictureFormat::Png).toStdString());
}

TEST_F(MeasurementWindowTest, EarlierRunsLieBeneathInGreyWhileChosenAndTheChoiceIsKept)
{
    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    ui.Text1[kStopBias]->setText("0.5");
    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    const std::size_t today = ui.Picture1->Lines().size();

    GraphMenu(window, kCvTab).Item(2)->trigger();
    EXPECT_EQ(ReadIni(env.temp.Folder(), "results", "ShowEarlierRuns"), "1");
    // The first run's four segments, under the second run's scale.
    EXPECT_EQ(GreyLines(*ui.Picture2), 4);
    EXPECT_EQ(ui.Picture1->Lines().size(), today + 4);
    EXPECT_EQ(ui.Picture1->CurrentScale().right, 1.0);

    const GraphMenu menu(window, kGvTab);
    EXPECT_TRUE(menu.Item(2)->isChecked());
    menu.Item(2)->trigger();
    EXPECT_EQ(ReadIni(env.temp.Folder(), "results", "ShowEarlierRuns"), "0");
    EXPECT_EQ(ui.Picture1->Lines().size(), today);
    EXPECT_EQ(GreyLines(*ui.Picture1), 0);

    WriteIni(env.temp.Folder(), "1", "Results", "showearlierruns");
    EXPECT_TRUE(FormLCR(env.Get()).ShowingEarlierRuns());
}

TEST_F(MeasurementWindowTest, SaveDataWritesTheCsvWithTheRunsSettingsAndTheMeterChecked)
{
    window.SetBusDescription("simulated");
    QTest::mouseClick(ui.Command5, Qt::LeftButton);
    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    ui.Text1[kFrequency]->setText("2000");  // after the run: not the run's

    env.desktop.saveAnswers = {env.temp.File("run").string()};
    env.desktop.saveTypes = {kCsvDataFileType};
    QTest::mouseClick(ui.Command7, Qt::LeftButton);
    const std::string csv = env.temp.Read("run.csv");
    EXPECT_EQ(csv, CsvDataFileText(*window.LastRunContext(), window.Sweep()));
    for (const char* line : {"# frequency [Hz]: 1000\r\n", "# bus: simulated\r\n",
                             "# meter: HEWLETT-PACKARD,4284A,2940J05127,REV01.20\r\n"})
        EXPECT_NE(csv.find(line), std::string::npos) << line;

    // A 4284A found after it at another address is not the one measured.
    lab.bus->Attach(0, 20, std::make_unique<SimulatedInstrument>(env.clock, "X,4284A,1,1"));
    window.QueryWindow()->RunRepeat_Click();
    ui.Text1[kInstrumentAddress]->setText("17");
    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    EXPECT_EQ(window.LastRunContext()->meterIdentification, "");

    // A run that reads no point leaves the last run's points and their context.
    ui.Text1[kInstrumentAddress]->setText("18");
    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    EXPECT_EQ(window.LastRunContext()->settings.text[kInstrumentAddress], "17");
    EXPECT_EQ(window.Sweep().PointCount, 5);
}

TEST_F(MeasurementWindowTest, EveryRunIsKeptAndEachRunSaysOnceWhatCouldNotBeWritten)
{
    WriteIni(env.temp.Folder(), "copies", "results", "AutoSaveFolder");
    WriteIni(env.temp.Folder(), "wafer3", "runs", "Sample");
    std::filesystem::create_directory(env.temp.File("copies"));
    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    const std::string name = AutoSaveFileName(window.LastRunContext()->started, "wafer3");
    const std::string csv = CsvDataFileText(*window.LastRunContext(), window.Sweep());
    EXPECT_EQ(env.temp.Read("runs/" + name), csv);
    EXPECT_EQ(env.temp.Read("copies/" + name), csv);
    EXPECT_NE(csv.find("\r\n# sample: wafer3\r\n"), std::string::npos);

    // Neither folder can be written: one message names both, then the next
    // run says so again, once.
    std::filesystem::remove_all(env.temp.File("copies"));
    std::filesystem::remove_all(env.temp.File("runs"));
    env.temp.Write("runs", "a file where the folder was");
    for (int run = 1; run <= 2; ++run) {
        QTest::mouseClick(ui.Command1, Qt::LeftButton);
        ASSERT_EQ(env.desktop.messages.size(), static_cast<std::size_t>(run));
        const std::string& message = env.desktop.messages.back().text;
        for (const char* part : {"KeepRuns=0 in section [runs]",
                                 "AutoSaveFolder in section [results]", "\"Save Data\""})
            EXPECT_NE(message.find(part), std::string::npos) << part << message;
    }
    EXPECT_EQ(ui.List1->count(), 3);
    EXPECT_TRUE(env.desktop.saveFilters.empty());

    // Turned off, no run is kept in the runs folder.
    std::filesystem::remove(env.temp.File("runs"));
    WriteIni(env.temp.Folder(), "0", "runs", "KeepRuns");
    WriteIni(env.temp.Folder(), "", "results", "AutoSaveFolder");
    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    EXPECT_FALSE(env.temp.Exists("runs"));
    EXPECT_EQ(env.desktop.messages.size(), 2u);
}

TEST_F(MeasurementWindowTest, TimeLeftShowsInsideTheProgressBarOnlyDuringTheRun)
{
    window.SetTimeLeft("1:23 left");
    EXPECT_TRUE(ui.ProgressBar1->isTextVisible());
    EXPECT_EQ(ui.ProgressBar1->text(), "1:23 left");
    QTest::mouseClick(ui.Command1, Qt::LeftButton);
    EXPECT_FALSE(ui.ProgressBar1->isTextVisible());
}

}  // namespace
}  // namespace quillon
