#include "app/pad_area.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/main_window.h"
#include "app/pad_area_calculator.h"
#include "platform/module_ini.h"
#include "tests/app/app_environment.h"

namespace quillon {
namespace {

using testing::AppEnvironment;
using testing::TempFolder;

TEST(PadArea, RectangleAndCircleInSignedDecimalForm)
{
    AreaTexts texts = {"100", "100", "400", "1", "1"};
    EXPECT_EQ(RectangleAreaText(texts), " 10000");
    EXPECT_EQ(CircleAreaText(texts), " 125664");
    texts[kCircleRatio] = "0.5";
    EXPECT_EQ(CircleAreaText(texts), " 62832");
    texts[kRectangleRatio] = "0.9";
    texts[kRectangleWidth] = "55.5";
    EXPECT_EQ(RectangleAreaText(texts), " 4995");
    // Not validated: text counts as 0, a negative side gives a negative area.
    texts[kRectangleHeight] = "abc";
    EXPECT_EQ(RectangleAreaText(texts), " 0");
    texts[kRectangleHeight] = "-10";
    EXPECT_EQ(RectangleAreaText(texts), "-499.5");
    texts[kCircleDiameter] = "1,5";
    texts[kCircleRatio] = "1";
    EXPECT_EQ(CircleAreaText(texts), " .7854");
}

TEST(PadArea, StoredInputsShowRoundedDown)
{
    TempFolder temp;
    WriteAreaValues(temp.Folder(), {"100", "100", "400", "1.00", "1.00"});
    EXPECT_EQ(ReadAreaValues(temp.Folder()), (AreaTexts{"100", "100", "400", "1", "1"}));

    WriteAreaValues(temp.Folder(), {"99.9", "-2.5", "0.85", "1e3", "-0.2"});
    EXPECT_EQ(ReadAreaValues(temp.Folder()), (AreaTexts{"99", "-3", "0", "1000", "-1"}));
}

TEST(PadArea, UnusableStoredInputsShowTheDesignTexts)
{
    TempFolder temp;
    EXPECT_EQ(ReadAreaValues(temp.Folder()), kAreaDesignTexts);

    temp.Write("Quillon.ini",
               "[Area]\r\nValue_00=\r\nValue_01=12abc\r\nValue_02=ERROR\r\nValue_04=1e999\r\n");
    EXPECT_EQ(ReadAreaValues(temp.Folder()), kAreaDesignTexts);
}

class CalculatorTest : public ::testing::Test {
protected:
    CalculatorTest() : window(env.Get())
    {
        window.show();
        QTest::mouseClick(window.Controls().Command4, Qt::LeftButton);
    }

    Form1& Calculator()
    {
        Form1* open = window.Calculator();
        EXPECT_NE(open, nullptr);
        return *open;
    }
    QLineEdit* Box(int index) { return Calculator().Controls().Text1[index]; }
    std::string PadArea() const { return window.Text1(kPadArea); }

    AppEnvironment env;
    TempFolder& temp = env.temp;
    FormLCR window;
};

TEST_F(CalculatorTest, OpensWithTheStoredInputs)
{
    // Nothing stored yet: the design texts.
    for (int i = 0; i < kAreaBoxCount; ++i)
        EXPECT_EQ(Box(i)->text().toStdString(), kAreaDesignTexts[i]);
    EXPECT_EQ(Calculator().windowTitle().toStdString(), "Form1");
    EXPECT_EQ(Calculator().size(), QSize(316, 220));
    Calculator().close();

    WriteAreaValues(temp.Folder(), {"100", "100", "400", "1.00", "1.00"});
    QTest::mouseClick(window.Controls().Command4, Qt::LeftButton);
    const char* shown[] = {"100", "100", "400", "1", "1"};
    for (int i = 0; i < kAreaBoxCount; ++i) EXPECT_EQ(Box(i)->text().toStdString(), shown[i]);
}

TEST_F(CalculatorTest, RectangleWritesThePadAreaStoresTheInputsAndCloses)
{
    Box(kRectangleRatio)->setText("1");
    QTest::mouseClick(Calculator().Controls().Command1, Qt::LeftButton);
    EXPECT_EQ(PadArea(), " 10000");
    EXPECT_EQ(window.Calculator(), nullptr);
    EXPECT_EQ(ReadIni(temp.Folder(), "Area", "Value_00"), "100");
    EXPECT_EQ(ReadIni(temp.Folder(), "Area", "Value_03"), "1");
    EXPECT_EQ(ReadIni(temp.Folder(), "Area", "Value_04"), "1.00");
    // Only "Save setting" stores the pad area itself.
    EXPECT_EQ(ReadIni(temp.Folder(), "meas", "Value_07"), "ERROR");
}

TEST_F(CalculatorTest, CircleUsesTheRadiusAndItsRatio)
{
    Box(kCircleRatio)->setText("1");
    QTest::mouseClick(Calculator().Controls().Command2, Qt::LeftButton);
    EXPECT_EQ(PadArea(), " 125664");

    QTest::mouseClick(window.Controls().Command4, Qt::LeftButton);
    Box(kCircleRatio)->setText("0.5");
    QTest::mouseClick(Calculator().Controls().Command2, Qt::LeftButton);
    EXPECT_EQ(PadArea(), " 62832");

    QTest::mouseClick(window.Controls().Command4, Qt::LeftButton);
    Box(kCircleRatio)->setText("0.9");
    QTest::mouseClick(Calculator().Controls().Command2, Qt::LeftButton);
    EXPECT_EQ(ReadIni(temp.Folder(), "Area", "Value_04"), "0.9");
    QTest::mouseClick(window.Controls().Command4, Qt::LeftButton);
    EXPECT_EQ(Box(kCircleRatio)->text().toStdString(), "0");
}

TEST_F(CalculatorTest, CloseBoxChangesNothing)
{
    window.Controls().Text1[kPadArea]->setText("400");
    Box(kRectangleWidth)->setText("5");
    Calculator().close();
    EXPECT_EQ(PadArea(), "400");
    EXPECT_FALSE(temp.Exists("Quillon.ini"));
}

TEST_F(CalculatorTest, AnOpenCalculatorStillWorksDuringARun)
{
    window.SetRunning(true);
    EXPECT_FALSE(window.Controls().Command4->isEnabled());
    QTest::mouseClick(Calculator().Controls().Command1, Qt::LeftButton);
    EXPECT_EQ(PadArea(), " 10000");
    EXPECT_DOUBLE_EQ(PadAreaSquareMicrons(window), 10000);
}

}  // namespace
}  // namespace quillon
