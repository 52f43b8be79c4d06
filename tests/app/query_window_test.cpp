#include "app/query_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "gpib/gpib_binding.h"
#include "gpib/ni_global.h"
#include "sim/simulated_lab.h"
#include "tests/support/recording_desktop.h"

namespace quillon {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::RecordingDesktop;
using testing::ShownMessage;

QRect Twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

std::vector<std::string> Lines(const QListWidget& list)
{
    std::vector<std::string> lines;
    for (int i = 0; i < list.count(); ++i) lines.push_back(list.item(i)->text().toStdString());
    return lines;
}

class QueryWindowTest : public ::testing::Test {
protected:
    QueryWindowTest() : lab(MakeSimulatedLab(clock))
    {
        SelectGpibDriver(*lab.bus);
        lab.bus->RecordCalls(true);
    }

    // The window deletes itself when it closes; whatever is left goes with
    // the test.
    ~QueryWindowTest() override
    {
        if (window) delete window.data();
    }

    quillon::Test& Open(bool measurementRunning = false)
    {
        window = new quillon::Test(desktop, &addressBox, measurementRunning);
        return *window;
    }

    VirtualClock clock{1000};
    SimulatedLab lab;
    RecordingDesktop desktop;
    QLineEdit addressBox{"5"};
    QPointer<quillon::Test> window;
};

TEST_F(QueryWindowTest, LoadingListsTheBenchAndHandsTheMeterOn)
{
    const quillon::Test& query = Open();
    const TestControls& ui = query.Controls();

    EXPECT_THAT(Lines(*ui.ReadingsList),
                ElementsAre(SimulatedBus::kListNotice, "Finding all listeners on the bus...",
                            "Number of instruments found =  2", "", Simulated4284A::kIdentification,
                            "\tLCR meter was found", "\tThe address is  17",
                            kSimulatedMultimeterIdentification));
    EXPECT_EQ(addressBox.text().toStdString(), "17");
    EXPECT_THAT(desktop.messages, IsEmpty());
    EXPECT_THAT(desktop.waitCursor, ElementsAre(true, false));
    EXPECT_TRUE(ui.QuitButton->isEnabled());
    EXPECT_TRUE(ui.RunRepeat->isEnabled());
    // Loaded before it is first shown.
    EXPECT_FALSE(query.isVisible());
}

TEST_F(QueryWindowTest, WindowIsFixedWithItsControlsInPlace)
{
    quillon::Test& query = Open();
    query.show();
    const TestControls& ui = query.Controls();

    EXPECT_EQ(query.windowTitle().toStdString(), "488.2 Query");
    EXPECT_EQ(query.size(), QSize(443, 291));
    EXPECT_EQ(query.minimumSize(), query.maximumSize());
    EXPECT_FALSE(query.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(query.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    EXPECT_EQ(ui.Readings->geometry(), Twips(360, 360, 5895, 255));
    EXPECT_EQ(ui.ReadingsList->geometry(), Twips(360, 720, 5895, 2550));
    EXPECT_EQ(ui.RunRepeat->geometry(), Twips(360, 3600, 1125, 495));
    EXPECT_EQ(ui.QuitButton->geometry(), Twips(5280, 3600, 1005, 495));
    EXPECT_EQ(ui.status->geometry(), Twips(840, 1200, 975, 255));
    for (QWidget* control : std::initializer_list<QWidget*>{ui.Readings, ui.ReadingsList,
                                                            ui.RunRepeat, ui.QuitButton, ui.status})
        EXPECT_EQ(control->parentWidget(), &query);

    EXPECT_EQ(ui.Readings->text(), "Readings");
    EXPECT_EQ(ui.RunRepeat->text(), "Run");
    EXPECT_EQ(ui.QuitButton->text(), "Quit");
    EXPECT_EQ(ui.status->text(), "STOPPED");
}

TEST_F(QueryWindowTest, ColoursAndFont)
{
    const TestControls& ui = Open().Controls();

    EXPECT_EQ(ui.Readings->palette().color(QPalette::WindowText), QColor(Qt::black));
    EXPECT_EQ(ui.Readings->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_TRUE(ui.Readings->autoFillBackground());
    EXPECT_EQ(ui.ReadingsList->palette().color(QPalette::Text), QColor(Qt::black));
    EXPECT_EQ(ui.ReadingsList->palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(ui.status->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(ui.status->palette().color(QPalette::Window), QColor(Qt::lightGray));
    EXPECT_TRUE(ui.status->autoFillBackground());
    // The label lies beneath the list, so it never hides a reply.
    const QObjectList& stack = window->children();
    EXPECT_LT(stack.indexOf(ui.status), stack.indexOf(ui.ReadingsList));

    EXPECT_EQ(ui.ReadingsList->font().pointSize(), 9);
    EXPECT_EQ(ui.RunRepeat->font().families(),
              QStringList({"MS PGothic", "IPAPGothic", "Noto Sans CJK JP"}));
    const QStringList installed = QFontDatabase::families();
    if (!installed.contains("MS PGothic")) {
        ASSERT_TRUE(installed.contains("IPAPGothic"))
            << "scripts/setup-packages installs fonts-ipafont-gothic";
        EXPECT_EQ(QFontInfo(ui.ReadingsList->font()).family(), "IPAPGothic");
    }
}

TEST_F(QueryWindowTest, QuitIsDisabledWhileTheQueryRuns)
{
    lab.bus->Detach(0, kSimulatedMeterAddress);
    std::vector<bool> quitEnabledAtMessage;
    // The message comes while the window is still being built, before
    // Open() has handed it out.
    desktop.onMessage = [&](const ShownMessage&) {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* query = qobject_cast<quillon::Test*>(top))
                quitEnabledAtMessage.push_back(query->Controls().QuitButton->isEnabled());
    };
    const quillon::Test& query = Open();

    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, "4284A was not found");
    EXPECT_THAT(quitEnabledAtMessage, ElementsAre(false));
    EXPECT_TRUE(query.Controls().QuitButton->isEnabled());
    EXPECT_EQ(addressBox.text().toStdString(), "5");
}

TEST_F(QueryWindowTest, RunShowsOnlyTheNewRun)
{
    quillon::Test& query = Open();
    lab.bus->Detach(0, kSimulatedMeterAddress);
    lab.bus->ClearCalls();
    QTest::mouseClick(query.Controls().RunRepeat, Qt::LeftButton);

    EXPECT_THAT(
        Lines(*query.Controls().ReadingsList),
        ElementsAre(SimulatedBus::kListNotice, "Finding all listeners on the bus...",
                    "Number of instruments found =  1", "", kSimulatedMultimeterIdentification));
    EXPECT_FALSE(lab.bus->Calls().empty());
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(addressBox.text().toStdString(), "17");
}

TEST_F(QueryWindowTest, QuitClosesAndDestroysTheWindow)
{
    quillon::Test& query = Open();
    query.show();
    QTest::mouseClick(query.Controls().QuitButton, Qt::LeftButton);
    EXPECT_FALSE(query.isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

TEST_F(QueryWindowTest, LoadingRegistersTheStatusCellsAnew)
{
    GpibSendIfc(0);
    ASSERT_EQ(statusCellsRegistered, 1);
    // A registration that fails shows up as the first step's failure.
    lab.bus->QueueRegistrationAnswers({5});
    Open();

    ASSERT_FALSE(desktop.messages.empty());
    EXPECT_THAT(desktop.messages[0].text, ::testing::StartsWith("Error sending IFC.\r\n"));
    EXPECT_THAT(desktop.messages[0].text,
                ::testing::HasSubstr("\r\niberr = EDVR <DOS Error>\r\nibcnt = 0x37F0\r\r"));
}

TEST_F(QueryWindowTest, DuringAMeasurementRunTheBusIsNotQueried)
{
    // The run registered the status cells with its first bus operation.
    GpibSendIfc(0);
    ASSERT_EQ(statusCellsRegistered, 1);
    lab.bus->ClearCalls();
    quillon::Test& query = Open(true);
    const TestControls& ui = query.Controls();

    EXPECT_THAT(lab.bus->Calls(), IsEmpty());
    EXPECT_EQ(statusCellsRegistered, 1);
    EXPECT_THAT(Lines(*ui.ReadingsList),
                ElementsAre(SimulatedBus::kListNotice, kMeasurementRunningLine));
    EXPECT_FALSE(ui.RunRepeat->isEnabled());
    EXPECT_TRUE(ui.QuitButton->isEnabled());
    EXPECT_EQ(addressBox.text().toStdString(), "5");
    EXPECT_THAT(desktop.messages, IsEmpty());

    query.SetMeasurementRunning(false);
    EXPECT_TRUE(ui.RunRepeat->isEnabled());
    EXPECT_THAT(lab.bus->Calls(), IsEmpty());

    QTest::mouseClick(ui.RunRepeat, Qt::LeftButton);
    EXPECT_EQ(addressBox.text().toStdString(), "17");
    EXPECT_EQ(Lines(*ui.ReadingsList).size(), 8u);

    query.SetMeasurementRunning(true);
    EXPECT_FALSE(ui.RunRepeat->isEnabled());
    lab.bus->ClearCalls();
    query.RunRepeat_Click();
    EXPECT_THAT(lab.bus->Calls(), IsEmpty());
}

TEST_F(QueryWindowTest, AnAddressBoxThatWentAwayIsLeftAlone)
{
    auto* box = new QLineEdit("5");
    window = new quillon::Test(desktop, box, true);
    delete box;
    window->SetMeasurementRunning(false);
    window->RunRepeat_Click();
    EXPECT_EQ(Lines(*window->Controls().ReadingsList).size(), 8u);
}

}  // namespace
}  // namespace quillon
