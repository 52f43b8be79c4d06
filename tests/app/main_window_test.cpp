#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <filesystem>

#include "app/pad_area_calculator.h"
#include "app/picture_box.h"
#include "app/tab_control.h"
#include "tests/app/app_environment.h"

namespace quillon {
namespace {

using testing::AppEnvironment;
using testing::TempFolder;

QRect Twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

// Where a control sits, relative to the window, tab control or frame the
// layout counts from.
QRect PlaceIn(const QWidget* control, const QWidget* origin)
{
    return QRect(control->mapTo(origin, QPoint(0, 0)), control->size());
}

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() : window(env.Get()), ui(window.Controls()) {}

    AppEnvironment env;
    TempFolder& temp = env.temp;
    FormLCR window;
    const FormLCRControls& ui;
};

TEST_F(MainWindowTest, WindowIsFixedAtItsClientArea)
{
    window.show();
    EXPECT_EQ(window.windowTitle().toStdString(),
              "Agilent 4284A controller C-V & G-V measurement ");
    EXPECT_EQ(window.size(), QSize(629, 454));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST_F(MainWindowTest, ControlsSitWhereTheLayoutPutsThem)
{
    const QWidget* tab1 = ui.SSTab1;
    const QWidget* tab2 = ui.SSTab2;
    struct Expected {
        const char* name;
        const QWidget* control;
        const QWidget* origin;
        QRect twips;
    };
    const Expected layout[] = {
        {"SSTab1", ui.SSTab1, &window, Twips(120, 120, 3015, 4935)},
        {"SSTab2", ui.SSTab2, &window, Twips(3240, 120, 6135, 5295)},
        {"Label3", ui.Label3, &window, Twips(240, 5160, 2895, 255)},
        {"Command1", ui.Command1, &window, Twips(120, 5520, 3015, 1215)},
        {"Frame4", ui.Frame4, &window, Twips(120, 5520, 3015, 855)},
        {"Command9", ui.Command9, &window, Twips(3240, 5520, 1575, 1215)},
        {"Command7", ui.Command7, &window, Twips(6720, 5520, 2655, 1215)},
        {"ProgressBar1", ui.ProgressBar1, &window, Twips(120, 6480, 3015, 255)},
        {"Label4(3)", ui.Label4[3], ui.Frame4, Twips(1560, 480, 855, 255)},
        // Page 1
        {"Command2", ui.Command2, tab1, Twips(120, 480, 1335, 255)},
        {"Text1(0)", ui.Text1[0], tab1, Twips(1920, 840, 855, 270)},
        {"Label2(2)", ui.Label2[2], tab1, Twips(240, 1560, 1215, 255)},
        {"Check1(1)", ui.Check1[1], tab1, Twips(240, 1920, 1575, 255)},
        {"Text1(10)", ui.Text1[10], tab1, Twips(1920, 2640, 855, 270)},
        {"Label2(7)", ui.Label2[7], tab1, Twips(240, 2640, 1215, 255)},
        {"Option2(1)", ui.Option2[1], ui.Frame2, Twips(1080, 240, 1215, 255)},
        {"Option2(2)", ui.Option2[2], ui.Frame2, Twips(120, 480, 855, 255)},
        {"Frame1", ui.Frame1, tab1, Twips(240, 3960, 2535, 615)},
        {"Text1(7)", ui.Text1[7], ui.Frame1, Twips(120, 240, 1095, 270)},
        {"Command4", ui.Command4, ui.Frame1, Twips(1320, 240, 1095, 255)},
        // Page 2
        {"Check1(0)", ui.Check1[0], tab1, Twips(480, 720, 1215, 255)},
        {"Check1(4)", ui.Check1[4], tab1, Twips(480, 1440, 1935, 255)},
        {"Label2(4)", ui.Label2[4], tab1, Twips(240, 2280, 1455, 255)},
        {"Text1(6)", ui.Text1[6], tab1, Twips(1680, 3000, 975, 270)},
        {"Frame3", ui.Frame3, tab1, Twips(240, 3720, 2535, 975)},
        {"Text1(9)", ui.Text1[9], ui.Frame3, Twips(960, 600, 495, 270)},
        {"Command5", ui.Command5, ui.Frame3, Twips(1560, 600, 855, 255)},
        // INFO
        {"Label1", ui.Label1, tab1, Twips(240, 600, 2535, 2535)},
        // C-V, G-V, TEXT
        {"Picture1", ui.Picture1, tab2, Twips(120, 360, 5895, 4815)},
        {"Picture2", ui.Picture2, tab2, Twips(120, 360, 5895, 4815)},
        {"RichTextBox1", ui.RichTextBox1, tab2, Twips(120, 360, 5895, 3735)},
        {"List1", ui.List1, tab2, Twips(120, 4200, 3255, 960)},
        {"Command6", ui.Command6, tab2, Twips(3480, 4200, 2535, 975)},
    };
    for (const Expected& e : layout) EXPECT_EQ(PlaceIn(e.control, e.origin), e.twips) << e.name;

    // The read-outs count from the picture's drawing area.
    const QPoint area = ui.Picture1->contentsRect().topLeft();
    EXPECT_EQ(PlaceIn(ui.Text3[1], ui.Picture1), Twips(720, 0, 1335, 270).translated(area));
    EXPECT_EQ(PlaceIn(ui.Text3[2], ui.Picture2), Twips(0, 0, 615, 270).translated(area));

    // The first row of a page sits just under the tabs.
    EXPECT_LE(ui.SSTab1->TabBar()->geometry().bottom(), Twips(0, 360, 0, 0).top());
}

TEST_F(MainWindowTest, EveryFrameDrawsItsBorderAboveItsFirstRow)
{
    window.show();
    for (QGroupBox* frame : {ui.Frame1, ui.Frame2, ui.Frame3, ui.Frame4}) {
        frame->setVisible(true);
        const QImage picture = frame->grab().toImage();
        // The border's top line, right of the caption.
        const int x = picture.width() - 4;
        int border = 0;
        while (border < picture.height() &&
               qGray(picture.pixel(x, border)) > qGray(frame->palette().color(QPalette::Mid).rgb()))
            ++border;
        ASSERT_LT(border, picture.height()) << frame->title().toStdString();
        for (const QWidget* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            EXPECT_GT(child->y(), border) << frame->title().toStdString();
    }
}

TEST_F(MainWindowTest, CaptionsAndDesignTexts)
{
    const std::pair<const QAbstractButton*, const char*> buttons[] = {
        {ui.Command1, "START &MEASUREMENT"},
        {ui.Command2, "Laod settong"},
        {ui.Command3, "Save setting"},
        {ui.Command4, "Calculator"},
        {ui.Command5, "Check"},
        {ui.Command6, "Show Result"},
        {ui.Command7, "Save Data"},
        {ui.Command9, "STOP! (Esc)"},
        {ui.Check1[0], "invert bias"},
        {ui.Check1[1], "Double sweep"},
        {ui.Check1[2], "Quit when UNBAL"},
        {ui.Check1[3], "BEEP when finished"},
        {ui.Check1[4], "BEEP when triggered"},
        {ui.Option2[0], "Short"},
        {ui.Option2[1], "Medium"},
        {ui.Option2[2], "LONG"},
    };
    for (const auto& [button, caption] : buttons) EXPECT_EQ(button->text().toStdString(), caption);

    const char* labels[kLabel2Count] = {"Start Bias [V]", "Stop Bias [V]",    "Bias Step [V]",
                                        "Frequency [Hz]", "Averaging(1-255)", "Trigger Delay [s]",
                                        "AC level [mV]",  "Cycle of Meas.",   "BOARD",
                                        "4284A"};
    for (int i = 0; i < kLabel2Count; ++i)
        EXPECT_EQ(ui.Label2[i]->text().toStdString(), labels[i]) << i;
    const char* live[kLabel4Count] = {"Now C", "Now G", "Cmax", "Gmax"};
    for (int i = 0; i < kLabel4Count; ++i) EXPECT_EQ(ui.Label4[i]->text().toStdString(), live[i]);

    EXPECT_EQ(ui.Frame1->title().toStdString(), "Pad Area (um2)");
    EXPECT_EQ(ui.Frame2->title().toStdString(), "AD Integration");
    EXPECT_EQ(ui.Frame3->title().toStdString(), "GPIB Setting");
    EXPECT_EQ(ui.Frame4->title().toStdString(), "STATUS");
    EXPECT_EQ(ui.Label1->text().toStdString(), "Measurement Information");
    EXPECT_EQ(ui.Label3->text().toStdString(), "Progress Done/Total");
    const QStringList tabs1 = {"Page 1", "Page 2", "INFO"};
    const QStringList tabs2 = {"C-V", "G-V", "TEXT"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ui.SSTab1->TabBar()->tabText(i), tabs1[i]);
        EXPECT_EQ(ui.SSTab2->TabBar()->tabText(i), tabs2[i]);
    }
    EXPECT_EQ(ui.ProgressBar1->minimum(), 0);
    EXPECT_EQ(ui.ProgressBar1->maximum(), 100);
}

TEST_F(MainWindowTest, StartsWithoutASettingsFileShowingTheFirstStartSweep)
{
    window.show();
    const char* first[kTextFieldCount] = {"-3", "3",     "0.05", "100000", "1", "0",
                                          "50", "10000", "0",    "17",     "1"};
    for (int i = 0; i < kTextFieldCount; ++i) EXPECT_EQ(window.Text1(i), first[i]) << i;
    for (int j = 0; j < kCheckFieldCount; ++j) EXPECT_EQ(window.Check1(j), 0) << j;
    EXPECT_EQ(window.SelectedOption2(), 0);
    for (const QLineEdit* readout : ui.Text3) EXPECT_TRUE(readout->text().isEmpty());
    EXPECT_TRUE(ui.RichTextBox1->toPlainText().isEmpty());
    EXPECT_FALSE(temp.Exists("Quillon.ini"));

    // A settings file that other settings made holds no inputs yet: still
    // the first start. One with the inputs' section shows a missing key as
    // it always did.
    temp.Write("Quillon.ini", "[results]\r\nShowEarlierRuns=1\r\n[Area]\r\nValue_00=100\r\n");
    QTest::mouseClick(ui.Command2, Qt::LeftButton);
    for (int i = 0; i < kTextFieldCount; ++i) EXPECT_EQ(window.Text1(i), first[i]) << i;
    temp.Write("Quillon.ini", "[Meas]\r\nValue_00=-2\r\n");
    QTest::mouseClick(ui.Command2, Qt::LeftButton);
    EXPECT_EQ(window.Text1(kStartBias), "-2");
    for (int i = 1; i < kTextFieldCount; ++i) EXPECT_EQ(window.Text1(i), "ERROR") << i;

    EXPECT_EQ(ui.SSTab1->CurrentTab(), kPage1Tab);
    EXPECT_EQ(ui.SSTab2->CurrentTab(), kCvTab);
    EXPECT_TRUE(ui.Text1[kStartBias]->isVisible());
    EXPECT_FALSE(ui.Check1[kInvertBias]->isVisible());
    EXPECT_TRUE(ui.Picture1->isVisible());
    EXPECT_FALSE(ui.Picture2->isVisible());

    const PictureScale cv = ui.Picture1->CurrentScale();
    EXPECT_EQ((std::array{cv.left, cv.top, cv.right, cv.bottom}),
              (std::array{-5.0, 1e-9, 5.0, -1e-10}));
    const PictureScale gv = ui.Picture2->CurrentScale();
    EXPECT_EQ((std::array{gv.left, gv.top, gv.right, gv.bottom}),
              (std::array{-5.0, 0.001, 5.0, -1e-7}));
    EXPECT_TRUE(ui.Picture1->Lines().empty());
}

TEST_F(MainWindowTest, ReadsTheRunParametersFromItsControls)
{
    ui.Text1[kStartBias]->setText("-1.25");
    ui.Check1[kInvertBias]->setChecked(true);
    ui.Option2[2]->setChecked(true);
    EXPECT_EQ(window.Text1(kStartBias), "-1.25");
    EXPECT_EQ(window.SelectedOption2(), 2);
    const auto start = StartBiasMillivolts(window, BiasSign(window));
    ASSERT_TRUE(std::holds_alternative<int16_t>(start));
    EXPECT_EQ(std::get<int16_t>(start), 1250);
}

TEST_F(MainWindowTest, RunningHidesStartAndLocksTheSettingButtons)
{
    window.show();
    EXPECT_TRUE(ui.Command1->isVisible());
    // START covers the STATUS frame while idle.
    EXPECT_EQ(window.childAt(ui.Frame4->geometry().center()), ui.Command1);

    window.SetRunning(true);
    EXPECT_TRUE(window.Running());
    EXPECT_FALSE(ui.Command1->isVisible());
    EXPECT_TRUE(ui.Frame4->isVisible());
    EXPECT_TRUE(ui.Label4[0]->isVisible());
    for (const QPushButton* locked : {ui.Command2, ui.Command3, ui.Command4, ui.Command7})
        EXPECT_FALSE(locked->isEnabled()) << locked->text().toStdString();
    for (const QPushButton* free : {ui.Command5, ui.Command6, ui.Command9})
        EXPECT_TRUE(free->isEnabled()) << free->text().toStdString();
    EXPECT_TRUE(ui.Text1[kStartBias]->isEnabled());

    window.SetRunning(false);
    EXPECT_TRUE(ui.Command1->isVisible());
    for (const QPushButton* button : {ui.Command2, ui.Command3, ui.Command4, ui.Command7})
        EXPECT_TRUE(button->isEnabled());
}

TEST_F(MainWindowTest, EscAnywhereAndStopRaiseTheStopRequest)
{
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.SetRunning(true);

    ui.Text1[kBiasStep]->setFocus();
    QTest::keyClick(ui.Text1[kBiasStep], Qt::Key_Escape);
    EXPECT_TRUE(window.StopRequested());
    window.ClearStopRequest();

    ui.SSTab2->SetCurrentTab(kTextTab);
    ui.RichTextBox1->setFocus();
    QTest::keyClick(ui.RichTextBox1, Qt::Key_Escape);
    EXPECT_TRUE(window.StopRequested());
    window.ClearStopRequest();

    QTest::mouseClick(ui.Command9, Qt::LeftButton);
    EXPECT_TRUE(window.StopRequested());
}

TEST_F(MainWindowTest, AltMPressesStartOnlyWhileItIsShown)
{
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    // A mnemonic pushes the button down at once and clicks it a moment later.
    window.SetRunning(true);
    QTest::keyClick(&window, Qt::Key_M, Qt::AltModifier);
    EXPECT_FALSE(ui.Command1->isDown());

    window.SetRunning(false);
    QTest::keyClick(&window, Qt::Key_M, Qt::AltModifier);
    EXPECT_TRUE(ui.Command1->isDown());
}

TEST_F(MainWindowTest, SettingsRoundTripThroughTheButtons)
{
    window.show();
    const char* typed[kTextFieldCount] = {"-3", "3",      "0.1", "1e6", "16", "0.1",
                                          "25", " 10000", "1",   "18",  "2"};
    for (int i = 0; i < kTextFieldCount; ++i) ui.Text1[i]->setText(typed[i]);
    ui.Check1[kDoubleSweep]->setChecked(true);
    ui.Check1[kBeepWhenFinished]->setChecked(true);
    ui.Option2[1]->setChecked(true);
    QTest::mouseClick(ui.Command3, Qt::LeftButton);
    EXPECT_NE(temp.Read("Quillon.ini").find("Check_01=1\r\nCheck_02=0\r\nCheck_03=1\r\n"),
              std::string::npos);

    for (QLineEdit* box : ui.Text1) box->setText("changed");
    for (QCheckBox* box : ui.Check1) box->setChecked(false);
    ui.Option2[2]->setChecked(true);
    QTest::mouseClick(ui.Command2, Qt::LeftButton);

    for (int i = 0; i < kTextFieldCount; ++i) {
        // The stored pad area loses its leading blank on the way back.
        const std::string expected = i == kPadArea ? "10000" : typed[i];
        EXPECT_EQ(window.Text1(i), expected) << i;
    }
    EXPECT_EQ(window.Check1(kDoubleSweep), 1);
    EXPECT_EQ(window.Check1(kBeepWhenFinished), 1);
    EXPECT_EQ(window.Check1(kInvertBias), 0);
    EXPECT_EQ(window.SelectedOption2(), 1);
}

TEST_F(MainWindowTest, SavedValuesKeepTheirBytesAndAFailedSaveIsReported)
{
    // Bytes that are not UTF-8 cannot be shown as they are, but they are the user's.
    temp.Write("Quillon.ini", "[meas]\r\nValue_00=-1\xE9\xE9\r\nValue_01=2\r\n");
    window.LoadSettings();
    ui.Text1[kStopBias]->setText("3");
    QTest::mouseClick(ui.Command3, Qt::LeftButton);
    const std::string saved = temp.Read("Quillon.ini");
    EXPECT_NE(saved.find("Value_00=-1\xE9\xE9\r\nValue_01=3\r\n"), std::string::npos) << saved;
    EXPECT_TRUE(env.desktop.messages.empty());

    // One message with the file and the reason, and the file as it was.
    std::filesystem::remove(temp.File("Quillon.ini"));
    std::filesystem::create_directory(temp.File("Quillon.ini"));
    QTest::mouseClick(ui.Command3, Qt::LeftButton);
    ASSERT_EQ(env.desktop.messages.size(), 1u);
    EXPECT_EQ(env.desktop.messages[0].text, "The settings could not be saved in " +
                                                temp.File("Quillon.ini").string() +
                                                ": not a regular file.");
}

TEST_F(MainWindowTest, LoadingAfterARunEmptiesTheTextResultsButKeepsTheGraphs)
{
    window.show();
    ui.RichTextBox1->setPlainText("V\tC\tG");
    for (QLineEdit* readout : ui.Text3) readout->setText("1.00V");
    ui.List1->addItem("run 1");
    ui.Picture1->Line(-1, 0, 1, 5e-10f, qRgb(255, 0, 0));
    ui.Label1->setText("Cmax = 1e-10");

    QTest::mouseClick(ui.Command2, Qt::LeftButton);
    EXPECT_TRUE(ui.RichTextBox1->toPlainText().isEmpty());
    for (const QLineEdit* readout : ui.Text3) EXPECT_TRUE(readout->text().isEmpty());
    EXPECT_EQ(ui.Picture1->Lines().size(), 1u);
    EXPECT_EQ(ui.List1->count(), 1);
    EXPECT_EQ(ui.Label1->text().toStdString(), "Cmax = 1e-10");
}

TEST_F(MainWindowTest, CalculatorOpensOnceAndStaysModeless)
{
    window.show();
    QTest::mouseClick(ui.Command4, Qt::LeftButton);
    Form1* calculator = window.Calculator();
    ASSERT_NE(calculator, nullptr);
    EXPECT_TRUE(calculator->isVisible());
    EXPECT_TRUE(calculator->isWindow());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    QTest::mouseClick(ui.Command4, Qt::LeftButton);
    EXPECT_EQ(window.Calculator(), calculator);
    int open = 0;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (qobject_cast<Form1*>(top) && top->isVisible()) ++open;
    EXPECT_EQ(open, 1);

    calculator->close();
    EXPECT_EQ(window.Calculator(), nullptr);
    QTest::mouseClick(ui.Command4, Qt::LeftButton);
    EXPECT_NE(window.Calculator(), nullptr);
}

}  // namespace
}  // namespace quillon
