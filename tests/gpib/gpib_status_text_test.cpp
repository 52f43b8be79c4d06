#include "gpib/gpib_status_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "gpib/ni_global.h"

namespace quillon {
namespace {

class StatusTextTest : public ::testing::Test {
protected:
    void SetStatus(int status, int error, int count)
    {
        ibsta = static_cast<int16_t>(status);
        iberr = static_cast<int16_t>(error);
        ibcnt = static_cast<int16_t>(count);
    }
};

TEST_F(StatusTextTest, StatusWordNamesItsBitsInOrder)
{
    SetStatus(0, 0, 0);
    EXPECT_EQ(DescribeIbsta(), "\r\nibsta = &H0 <>");
    SetStatus(0x8100, 0, 0);
    EXPECT_EQ(DescribeIbsta(), "\r\nibsta = &H8100 < ERR CMPL>");
    SetStatus(0xFFFF, 0, 0);
    EXPECT_EQ(
        DescribeIbsta(),
        "\r\nibsta = &HFFFF < ERR TIMO END SRQI RQS CMPL LOK REM CIC ATN TACS LACS DTAS DCAS>");
    SetStatus(0x0600, 0, 0);  // bits without a name
    EXPECT_EQ(DescribeIbsta(), "\r\nibsta = &H600 <>");
    SetStatus(0x4900, 0, 0);
    EXPECT_EQ(DescribeIbsta(), "\r\nibsta = &H4900 < TIMO RQS CMPL>");
}

TEST_F(StatusTextTest, ErrorTextOnlyWhileErrIsSet)
{
    SetStatus(0x8000, 2, 0);
    EXPECT_EQ(DescribeIberr(), "\r\niberr = ENOL <No Listener>");
    SetStatus(0x8000, 7, 0);
    EXPECT_EQ(DescribeIberr(), "\r\niberr = ENEB <No GPIB board>");
    SetStatus(0x8000, 20, 0);
    EXPECT_EQ(DescribeIberr(), "\r\niberr = ETAB <Table overflow>");
    SetStatus(0x8000, 0, 0);
    EXPECT_EQ(DescribeIberr(), "\r\niberr = EDVR <DOS Error>");
    // A malformed /etc/gpib.conf gives ECNF: without its name the message had no reason at all.
    // clang-format off
    const std::pair<int, const char*> driverSpecific[] = {
        {8, "EDMA"},  {17, "ECNF"}, {21, "ELCK"}, {22, "EARM"}, {23, "EHDL"},
        {24, "ECFG"}, {26, "EWIP"}, {27, "ERST"}, {28, "EPWR"}};
    // clang-format on
    for (const auto& [code, name] : driverSpecific) {
        SetStatus(0x8000, code, 0);
        EXPECT_EQ(DescribeIberr().rfind(std::string("\r\niberr = ") + name + " <", 0), 0u) << code;
    }
    for (int unnamed : {9, 13, 18, 19, 25, 29, -1}) {
        SetStatus(0x8000, unnamed, 0);
        EXPECT_EQ(DescribeIberr(), "") << unnamed;
    }
    SetStatus(0, 0, 0);
    EXPECT_EQ(DescribeIberr(), "\r\nNo error, iberr =  0");
    SetStatus(0x0100, 6, 0);
    EXPECT_EQ(DescribeIberr(), "\r\nNo error, iberr =  6");
    SetStatus(0x0100, -3, 0);
    EXPECT_EQ(DescribeIberr(), "\r\nNo error, iberr = -3");
}

TEST_F(StatusTextTest, CountInHexadecimal)
{
    SetStatus(0, 0, 30);
    EXPECT_EQ(DescribeIbcnt(), "\r\nibcnt = 0x1E");
    SetStatus(0, 0, -1);
    EXPECT_EQ(DescribeIbcnt(), "\r\nibcnt = 0xFFFF");
    SetStatus(0, 0, 0);
    EXPECT_EQ(DescribeIbcnt(), "\r\nibcnt = 0x0");
    EXPECT_EQ(HexForm(255), "FF");
    EXPECT_EQ(HexForm(static_cast<int16_t>(0x8100)), "8100");
}

TEST_F(StatusTextTest, TextsChangeNothing)
{
    SetStatus(0x8000, 2, 5);
    DescribeIbsta();
    DescribeIberr();
    DescribeIbcnt();
    EXPECT_EQ(static_cast<uint16_t>(ibsta), 0x8000);
    EXPECT_EQ(iberr, 2);
    EXPECT_EQ(ibcnt, 5);
}

}  // namespace
}  // namespace quillon
