#include "common/text_number.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

namespace quillon {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(NumberOfText, ReadsTheLeadingNumber)
{
    EXPECT_DOUBLE_EQ(NumberOfText(".5"), 0.5);
    EXPECT_DOUBLE_EQ(NumberOfText(" 10000"), 10000);
    EXPECT_DOUBLE_EQ(NumberOfText("\t 7"), 7);
    EXPECT_DOUBLE_EQ(NumberOfText("-1.25"), -1.25);
    EXPECT_DOUBLE_EQ(NumberOfText("+2"), 2);
    EXPECT_DOUBLE_EQ(NumberOfText("0.01 "), 0.01);
    EXPECT_DOUBLE_EQ(NumberOfText("3."), 3);
    EXPECT_DOUBLE_EQ(NumberOfText("  +3.5E-2xyz"), 0.035);
    EXPECT_DOUBLE_EQ(NumberOfText("1e3"), 1000);
    EXPECT_DOUBLE_EQ(NumberOfText("2E+2"), 200);
}

TEST(NumberOfText, StopsWhereTheNumberEnds)
{
    EXPECT_DOUBLE_EQ(NumberOfText("1,000"), 1);
    EXPECT_DOUBLE_EQ(NumberOfText("12abc"), 12);
    EXPECT_DOUBLE_EQ(NumberOfText("1.2.3"), 1.2);
    EXPECT_DOUBLE_EQ(NumberOfText("1e"), 1);
    EXPECT_DOUBLE_EQ(NumberOfText("1e+"), 1);
    EXPECT_DOUBLE_EQ(NumberOfText("5E-x"), 5);
    EXPECT_DOUBLE_EQ(NumberOfText("+-1"), 0);
}

TEST(NumberOfText, TextWithoutANumberGivesZero)
{
    for (const char* text : {"", "ERROR", "-", "+", ".", "-.", " ", "e5", "\n1", "--1"})
        EXPECT_EQ(NumberOfText(text), 0) << '"' << text << '"';
}

TEST(WholeNumberOfText, AcceptsOnlyANumberAsAWhole)
{
    EXPECT_EQ(WholeNumberOfText("1.00"), 1.0);
    EXPECT_EQ(WholeNumberOfText(" -2.5\t"), -2.5);
    EXPECT_EQ(WholeNumberOfText("+1e3"), 1000.0);
    EXPECT_EQ(WholeNumberOfText(".85"), 0.85);
    for (const char* text : {"", " ", "ERROR", "1.5V", "1,5", "1 2", "-", "1e400", "inf", "nan"})
        EXPECT_FALSE(WholeNumberOfText(text).has_value()) << '"' << text << '"';
}

TEST(NumberOfText, OutOfRangeMagnitudes)
{
    EXPECT_EQ(NumberOfText("1e400"), kInf);
    EXPECT_EQ(NumberOfText("-1e400"), -kInf);
    EXPECT_EQ(NumberOfText("0.001e312"), kInf);
    EXPECT_EQ(NumberOfText("1e99999999999999999999"), kInf);
    EXPECT_EQ(NumberOfText("1e-400"), 0);
    EXPECT_EQ(NumberOfText("1000e-330"), 0);
    EXPECT_DOUBLE_EQ(NumberOfText("1.5e308"), 1.5e308);
}

TEST(NumberOfText, IgnoresTheProcessLocale)
{
    // A locale with a decimal comma may not be installed; the check only
    // means something when it is.
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no decimal-comma locale installed";
    const double value = NumberOfText("1.5");
    const std::string text = FormatNumber(1.5, "0.00");
    const std::string printed = CLocaleNumber(4.8625e10, 4, 'g') + " " +
                                CLocaleNumber(-0.75, 3, 'f') + " " + CLocaleNumber(2.5e-6, 3, 'e');
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_DOUBLE_EQ(value, 1.5);
    EXPECT_EQ(text, "1.50");
    EXPECT_EQ(printed, "4.862e+10 -0.750 2.500e-06");
}

TEST(RoundToInt, HalvesGoToTheEvenNeighbour)
{
    EXPECT_EQ(RoundToInt16(0.5), 0);
    EXPECT_EQ(RoundToInt16(1.5), 2);
    EXPECT_EQ(RoundToInt16(2.5), 2);
    EXPECT_EQ(RoundToInt16(-2.5), -2);
    EXPECT_EQ(RoundToInt16(-3.5), -4);
    EXPECT_EQ(RoundToInt16(2.4999999999999996), 2);
    EXPECT_EQ(RoundToInt16(2.5000000000000004), 3);
    EXPECT_EQ(RoundToInt16(-0.4), 0);
    EXPECT_EQ(RoundToInt32(-0.7), -1);
    EXPECT_EQ(RoundToInt32(4.5), 4);
    EXPECT_EQ(RoundToInt32(5.5), 6);
}

TEST(RoundToInt, Int16Limits)
{
    EXPECT_EQ(RoundToInt16(32767.4), 32767);
    EXPECT_EQ(RoundToInt16(32767.5), std::nullopt);
    EXPECT_EQ(RoundToInt16(-32768.5), -32768);
    EXPECT_EQ(RoundToInt16(-32768.6), std::nullopt);
    EXPECT_EQ(RoundToInt16(40000), std::nullopt);
    EXPECT_EQ(RoundToInt16(-40000), std::nullopt);
}

TEST(RoundToInt, Int32Limits)
{
    EXPECT_EQ(RoundToInt32(2147483647.4), 2147483647);
    EXPECT_EQ(RoundToInt32(2147483647.5), std::nullopt);
    EXPECT_EQ(RoundToInt32(-2147483648.5), -2147483647 - 1);
    EXPECT_EQ(RoundToInt32(-2147483648.6), std::nullopt);
    EXPECT_EQ(RoundToInt32(40000), 40000);
    EXPECT_EQ(RoundToInt32(1e300), std::nullopt);
}

TEST(RoundToInt, NotANumberGivesNoValue)
{
    for (double value : {kNaN, kInf, -kInf}) {
        EXPECT_EQ(RoundToInt16(value), std::nullopt);
        EXPECT_EQ(RoundToInt32(value), std::nullopt);
    }
}

TEST(SignedDecimal, PlainForm)
{
    EXPECT_EQ(SignedDecimal(0.5), " .5");
    EXPECT_EQ(SignedDecimal(-1.25), "-1.25");
    EXPECT_EQ(SignedDecimal(0), " 0");
    EXPECT_EQ(SignedDecimal(-0.0), " 0");
    EXPECT_EQ(SignedDecimal(1000), " 1000");
    EXPECT_EQ(SignedDecimal(7), " 7");
    EXPECT_EQ(SignedDecimal(17), " 17");
    EXPECT_EQ(SignedDecimal(-3), "-3");
    EXPECT_EQ(SignedDecimal(0.01), " .01");
    EXPECT_EQ(SignedDecimal(-0.25), "-.25");
    EXPECT_EQ(SignedDecimal(0.0001), " .0001");
    EXPECT_EQ(SignedDecimal(100.125), " 100.125");
}

TEST(SignedDecimal, FifteenSignificantDigits)
{
    EXPECT_EQ(SignedDecimal(0.1 + 0.2), " .3");
    EXPECT_EQ(SignedDecimal(123456789012345), " 123456789012345");
    EXPECT_EQ(SignedDecimal(1.0 / 3), " .333333333333333");
    EXPECT_EQ(SignedDecimal(-2.0 / 3), "-.666666666666667");
    EXPECT_EQ(SignedDecimal(12345.678901234567), " 12345.6789012346");
    // Rounding to 15 digits reaches 1E+15 and so switches to exponent form.
    EXPECT_EQ(SignedDecimal(999999999999999.9), " 1E+15");
}

TEST(SignedDecimal, ExponentFormOutsideThePlainRange)
{
    EXPECT_EQ(SignedDecimal(1e15), " 1E+15");
    EXPECT_EQ(SignedDecimal(1.5e20), " 1.5E+20");
    EXPECT_EQ(SignedDecimal(-1.5e20), "-1.5E+20");
    EXPECT_EQ(SignedDecimal(1e-5), " 1E-05");
    EXPECT_EQ(SignedDecimal(-2.5e-7), "-2.5E-07");
    EXPECT_EQ(SignedDecimal(9.99e-5), " 9.99E-05");
    EXPECT_EQ(SignedDecimal(1.7976931348623157e308), " 1.79769313486232E+308");
    EXPECT_EQ(SignedDecimal(5e-324), " 4.94065645841247E-324");
}

TEST(SignedDecimal, NonFiniteValues)
{
    EXPECT_EQ(SignedDecimal(kInf), " Inf");
    EXPECT_EQ(SignedDecimal(-kInf), "-Inf");
    EXPECT_EQ(SignedDecimal(kNaN), " NaN");
}

TEST(FormatNumber, FixedPatterns)
{
    EXPECT_EQ(FormatNumber(41, "0"), "41");
    EXPECT_EQ(FormatNumber(0.4, "0"), "0");
    EXPECT_EQ(FormatNumber(3.14159, "0.00"), "3.14");
    EXPECT_EQ(FormatNumber(0.786, "0.000"), "0.786");
    EXPECT_EQ(FormatNumber(-1.5, "0.000"), "-1.500");
    EXPECT_EQ(FormatNumber(0.00005, "0.0000"), "0.0001");
    EXPECT_EQ(FormatNumber(2.71828, "0.0000"), "2.7183");
    EXPECT_EQ(FormatNumber(9.9996, "0.000"), "10.000");
    EXPECT_EQ(FormatNumber(1234567.891, "0.00"), "1234567.89");
    EXPECT_EQ(FormatNumber(1e20, "0"), "100000000000000000000");
}

TEST(FormatNumber, OptionalIntegerDigits)
{
    EXPECT_EQ(FormatNumber(123.456, "###0.000"), "123.456");
    EXPECT_EQ(FormatNumber(0.5, "###0.000"), "0.500");
    EXPECT_EQ(FormatNumber(12345.6789, "###0.000"), "12345.679");
    EXPECT_EQ(FormatNumber(-7, "###0.000"), "-7.000");
    EXPECT_EQ(FormatNumber(0.5, "#.00"), ".50");
    EXPECT_EQ(FormatNumber(1.5, "0.0#"), "1.5");
    EXPECT_EQ(FormatNumber(1.25, "0.0#"), "1.25");
    EXPECT_EQ(FormatNumber(2, "0.##"), "2");
}

TEST(FormatNumber, RoundsTiesAwayFromZero)
{
    EXPECT_EQ(FormatNumber(2.5, "0"), "3");
    EXPECT_EQ(FormatNumber(-2.5, "0"), "-3");
    EXPECT_EQ(FormatNumber(0.5, "0"), "1");
    EXPECT_EQ(FormatNumber(0.125, "0.00"), "0.13");
    EXPECT_EQ(FormatNumber(-0.125, "0.00"), "-0.13");
    EXPECT_EQ(FormatNumber(10.254, "0.00nm"), "10.25nm");
    // The double nearest 1.005 lies below the half, so it rounds down.
    EXPECT_EQ(FormatNumber(1.005, "0.00"), "1.00");
    EXPECT_EQ(FormatNumber(0.1 + 0.2, "0.0000"), "0.3000");
}

TEST(FormatNumber, NegativeZeroLosesItsSign)
{
    EXPECT_EQ(FormatNumber(-0.0001, "0.000"), "0.000");
    EXPECT_EQ(FormatNumber(-0.0, "0.00"), "0.00");
    EXPECT_EQ(FormatNumber(-0.4, "0"), "0");
    EXPECT_EQ(FormatNumber(-0.0005, "0.000"), "-0.001");
}

TEST(FormatNumber, ExponentPatterns)
{
    EXPECT_EQ(FormatNumber(1.23e15, "0.00E+00"), "1.23E+15");
    EXPECT_EQ(FormatNumber(1.2345678e-10, "0.00000E+00"), "1.23457E-10");
    EXPECT_EQ(FormatNumber(3.2e-6, "0.00000E+00"), "3.20000E-06");
    EXPECT_EQ(FormatNumber(0, "0.00000E+00"), "0.00000E+00");
    EXPECT_EQ(FormatNumber(9.999e5, "0.00E+00"), "1.00E+06");
    EXPECT_EQ(FormatNumber(9.99e5, "0.00E+00"), "9.99E+05");
    EXPECT_EQ(FormatNumber(1e100, "0.00E+00"), "1.00E+100");
    EXPECT_EQ(FormatNumber(1, "0.00E+00"), "1.00E+00");
    EXPECT_EQ(FormatNumber(-4.5e-12, "0.00E+00"), "-4.50E-12");
    EXPECT_EQ(FormatNumber(1.235, "0.00E+00"), "1.24E+00");
    EXPECT_EQ(FormatNumber(-1.5625e-2, "0.000E+00"), "-1.563E-02");
    EXPECT_EQ(FormatNumber(1e-3 * 123.456e-12 * 1e12, "0.00000E+00"), "1.23456E-01");
}

TEST(FormatNumber, ExponentSignAndWidth)
{
    EXPECT_EQ(FormatNumber(1.5e3, "0.0E-00"), "1.5E03");
    EXPECT_EQ(FormatNumber(1.5e-3, "0.0E-00"), "1.5E-03");
    EXPECT_EQ(FormatNumber(1.5e3, "0.0E+0"), "1.5E+3");
    EXPECT_EQ(FormatNumber(1.5e3, "0.0E+000"), "1.5E+003");
    EXPECT_EQ(FormatNumber(1.5e3, "0.0e+00"), "1.5e+03");
    EXPECT_EQ(FormatNumber(1234, "00.0E+00"), "12.3E+02");
}

TEST(FormatNumber, LiteralsAroundTheNumber)
{
    EXPECT_EQ(FormatNumber(-1.25, "0.00V"), "-1.25V");
    EXPECT_EQ(FormatNumber(0.004, "0.00V"), "0.00V");
    EXPECT_EQ(FormatNumber(1.5, "C=0.0 pF"), "C=1.5 pF");
    EXPECT_EQ(FormatNumber(1.5, "0.0E"), "1.5E");
    EXPECT_EQ(FormatNumber(2, "no digits"), "no digits");
    EXPECT_EQ(FormatNumber(2, ""), "");
}

TEST(FormatNumber, NonFiniteValues)
{
    EXPECT_EQ(FormatNumber(kInf, "0.00"), "Inf");
    EXPECT_EQ(FormatNumber(-kInf, "0.00E+00"), "-Inf");
    EXPECT_EQ(FormatNumber(kNaN, "0.00V"), "NaN");
}

TEST(FixedWidth, PadsOrCuts)
{
    EXPECT_EQ(FixedWidth("V,C,G", 25), "V,C,G" + std::string(20, ' '));
    EXPECT_EQ(FixedWidth("abcdef", 3), "abc");
    EXPECT_EQ(FixedWidth("abc", 3), "abc");
    EXPECT_EQ(FixedWidth("abc", 0), "");
    EXPECT_EQ(FixedWidth("", 2), "  ");
}

TEST(Trimmed, TakesTheGivenBlanksFromBothEnds)
{
    EXPECT_EQ(Trimmed(" \t 10.0.0.5\t"), "10.0.0.5");
    EXPECT_EQ(Trimmed(" a b "), "a b");
    EXPECT_EQ(Trimmed(" \t "), "");
    EXPECT_EQ(Trimmed("\t0.1 ", " "), "\t0.1");
    EXPECT_EQ(Trimmed("\r\nFREQ 1KHZ\n", " \t\r\n"), "FREQ 1KHZ");
}

}  // namespace
}  // namespace quillon
