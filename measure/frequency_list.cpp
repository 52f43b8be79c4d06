#include "measure/frequency_list.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "common/text_number.h"

namespace quillon {

namespace {

std::vector<std::string_view> Words(std::string_view text)
{
    std::vector<std::string_view> words;
    static constexpr std::string_view kSeparators = " \t\r\n,;";
    std::size_t start = text.find_first_not_of(kSeparators);
    while (start != std::string_view::npos) {
        const std::size_t end = text.find_first_of(kSeparators, start);
        words.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        start = text.find_first_not_of(kSeparators, end);
    }
    return words;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view ending)
{
    if (text.size() < ending.size()) return false;
    return std::equal(ending.begin(), ending.end(), text.end() - ending.size(), [](char a, char b) {
        return a == std::tolower(static_cast<unsigned char>(b));
    });
}

std::string Quoted(std::string_view word)
{
    return "\"" + std::string(word) + "\"";
}

// Hertz of one word, or the problem with it.
TypedList<double> HertzOfWord(std::string_view word)
{
    std::string_view number = word;
    if (EndsWithIgnoringCase(number, "hz")) number.remove_suffix(2);
    double scale = 1.0;
    if (!number.empty() && (number.back() == 'k' || number.back() == 'K')) {
        scale = 1e3;
        number.remove_suffix(1);
    } else if (!number.empty() && number.back() == 'M') {
        scale = 1e6;
        number.remove_suffix(1);
    } else if (!number.empty() && number.back() == 'm') {
        return {{}, Quoted(word) + ": m would be milli; write 1M or 1MHz for a megahertz."};
    }
    const std::optional<double> value = WholeNumberOfText(number);
    if (!value || number.find_first_of(" \t") != std::string_view::npos)
        return {{}, Quoted(word) + " is not a frequency (written as 1k 10k 100k 1M)."};
    return {{*value * scale}, {}};
}

std::string RangeProblem(double hertz)
{
    return HertzText(hertz) + " is outside the meter's 20 Hz to 1 MHz.";
}

std::optional<int32_t> TestFrequency(double hertz)
{
    const std::optional<int32_t> rounded =
        std::isfinite(hertz) ? RoundToInt32(hertz) : std::nullopt;
    if (!rounded || *rounded < kLowestTestFrequencyHertz || *rounded > kHighestTestFrequencyHertz)
        return std::nullopt;
    return rounded;
}

}  // namespace

TypedList<int32_t> ReadFrequencyList(std::string_view text)
{
    TypedList<int32_t> list;
    std::set<int32_t> seen;
    for (const std::string_view word : Words(text)) {
        const TypedList<double> hertz = HertzOfWord(word);
        if (!hertz.problem.empty()) return {{}, hertz.problem};
        const std::optional<int32_t> frequency = TestFrequency(hertz.values.front());
        if (!frequency) return {{}, RangeProblem(hertz.values.front())};
        if (!seen.insert(*frequency).second)
            return {{}, HertzText(*frequency) + " is in the list twice."};
        list.values.push_back(*frequency);
    }
    if (list.values.empty())
        list.problem = "The list has no frequency (written as 1k 10k 100k 1M).";
    return list;
}

TypedList<int32_t> DecadeFrequencyList(double startHertz, double stopHertz, int pointsPerDecade)
{
    for (const double hertz : {startHertz, stopHertz})
        if (!TestFrequency(hertz)) return {{}, RangeProblem(hertz)};
    if (pointsPerDecade < 1 || pointsPerDecade > 100)
        return {{}, "The points per decade must be 1 to 100."};
    TypedList<int32_t> list;
    const double decades = std::log10(stopHertz / startHertz);
    const int steps = static_cast<int>(std::floor(std::fabs(decades) * pointsPerDecade + 1e-9));
    const double direction = decades < 0 ? -1.0 : 1.0;
    std::set<int32_t> seen;
    const auto add = [&](double hertz) {
        const int32_t frequency = *TestFrequency(hertz);
        if (seen.insert(frequency).second) list.values.push_back(frequency);
    };
    for (int k = 0; k <= steps; ++k)
        add(startHertz * std::pow(10.0, direction * k / pointsPerDecade));
    add(stopHertz);
    return list;
}

std::string FrequencyListText(const std::vector<int32_t>& frequenciesHertz)
{
    std::string text;
    for (const int32_t hertz : frequenciesHertz) {
        if (!text.empty()) text += ' ';
        const std::pair<int32_t, const char*> units[] = {{1000000, "M"}, {1000, "k"}, {1, ""}};
        for (const auto& [scale, unit] : units) {
            if (hertz >= scale) {
                text +=
                    std::string(Trimmed(SignedDecimal(static_cast<double>(hertz) / scale))) + unit;
                break;
            }
        }
    }
    return text;
}

TypedList<int16_t> ReadBiasList(std::string_view text)
{
    TypedList<int16_t> list;
    std::set<int16_t> seen;
    for (std::string_view word : Words(text)) {
        const std::string_view typed = word;
        if (!word.empty() && (word.back() == 'V' || word.back() == 'v')) word.remove_suffix(1);
        const std::optional<double> volts = WholeNumberOfText(word);
        if (!volts || word.find_first_of(" \t") != std::string_view::npos)
            return {{}, Quoted(typed) + " is not a bias in volts (written as -2 -1.5 -1)."};
        const std::optional<int16_t> millivolts = RoundToInt16(*volts * 1000.0);
        if (!millivolts)
            return {{}, Quoted(typed) + " is beyond the -32.768 to 32.767 V a bias is held in."};
        if (!seen.insert(*millivolts).second) return {{}, Quoted(typed) + " is in the list twice."};
        list.values.push_back(*millivolts);
    }
    if (list.values.empty()) list.problem = "The list has no bias (written as -2 -1.5 -1).";
    return list;
}

}  // namespace quillon
