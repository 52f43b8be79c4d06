#include "app/pad_area.h"

#include <cmath>
#include <optional>

#include "common/text_number.h"
#include "platform/module_ini.h"

namespace quillon {

namespace {

constexpr const char* kAreaSection = "Area";
constexpr double kPi = 3.1416;

double ValueOf(const AreaTexts& texts, AreaBox box)
{
    return NumberOfText(texts[static_cast<std::size_t>(box)]);
}

}  // namespace

AreaTexts ReadAreaValues(const ProgramFolder& folder)
{
    AreaTexts shown;
    for (int i = 0; i < kAreaBoxCount; ++i) {
        const auto index = static_cast<std::size_t>(i);
        const std::optional<double> stored =
            WholeNumberOfText(ReadIni(folder, kAreaSection, IndexedKey("Value_", i)));
        if (!stored) {
            shown[index] = kAreaDesignTexts[index];
            continue;
        }
        // The whole number in plain form: the signed form less its blank;
        // adding 0 turns a -0 into 0.
        std::string text = SignedDecimal(std::floor(*stored) + 0.0);
        if (text.front() == ' ') text.erase(0, 1);
        shown[index] = text;
    }
    return shown;
}

void WriteAreaValues(const ProgramFolder& folder, const AreaTexts& texts)
{
    for (int i = 0; i < kAreaBoxCount; ++i)
        WriteIni(folder, texts[static_cast<std::size_t>(i)], kAreaSection, IndexedKey("Value_", i));
}

std::string RectangleAreaText(const AreaTexts& texts)
{
    return SignedDecimal(ValueOf(texts, kRectangleWidth) * ValueOf(texts, kRectangleHeight) *
                         ValueOf(texts, kRectangleRatio));
}

std::string CircleAreaText(const AreaTexts& texts)
{
    const double radius = ValueOf(texts, kCircleDiameter) / 2;
    return SignedDecimal(radius * radius * kPi * ValueOf(texts, kCircleRatio));
}

}  // namespace quillon
