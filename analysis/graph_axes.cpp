#include "analysis/graph_axes.h"

#include <algorithm>
#include <cmath>

#include "analysis/run_graph_history.h"
#include "common/text_number.h"

namespace quillon {

namespace {

// As many decimals as the spacing of the ticks needs, and never "-0".
std::string TickText(double shown, double shownStep)
{
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(shownStep) + 1e-9)));
    std::string label = CLocaleNumber(shown, decimals, 'f');
    if (label.find_first_not_of("-0.") == std::string::npos && label[0] == '-') label.erase(0, 1);
    return label;
}

// `prefixed`: with the SI prefix that suits the range; the bias is always
// in volts.
Axis MakeAxis(double low, double high, int most, const std::string& quantity,
              const std::string& unit, bool prefixed)
{
    const SiPrefix prefix =
        prefixed ? SiPrefixFor(std::max(std::fabs(low), std::fabs(high))) : SiPrefix{0, ""};
    const double factor = std::pow(10.0, -prefix.exponent);
    Axis axis;
    axis.title = quantity + " [" + prefix.symbol + unit + "]";
    const std::vector<double> values = RoundTicks(low, high, most);
    const double step = values.size() > 1 ? values[1] - values[0] : 1.0;
    for (const double value : values)
        axis.ticks.push_back({value, TickText(value * factor, step * factor)});
    return axis;
}

}  // namespace

SiPrefix SiPrefixFor(double magnitude)
{
    constexpr SiPrefix kPrefixes[] = {{-15, "f"}, {-12, "p"}, {-9, "n"}, {-6, "µ"}, {-3, "m"},
                                      {0, ""},    {3, "k"},   {6, "M"},  {9, "G"}};
    if (!(magnitude > 0) || !std::isfinite(magnitude)) return {0, ""};
    const int exponent = static_cast<int>(std::floor(std::log10(magnitude) / 3.0)) * 3;
    const SiPrefix* chosen = &kPrefixes[0];
    for (const SiPrefix& prefix : kPrefixes)
        if (prefix.exponent <= exponent) chosen = &prefix;
    return *chosen;
}

std::vector<double> RoundTicks(double low, double high, int most)
{
    if (low > high) std::swap(low, high);
    const double span = high - low;
    if (!(span > 0) || !std::isfinite(span) || most < 2) return {};
    // The finest spacing whose ticks are no more than `most`.
    const double power = std::pow(10.0, std::floor(std::log10(span / (most - 1))) - 1);
    const auto first = [&](double step) { return std::ceil(low / step - 1e-9); };
    const auto last = [&](double step) { return std::floor(high / step + 1e-9); };
    double step = 0;
    for (double scale = power; step == 0; scale *= 10)
        for (const double factor : {1.0, 2.0, 5.0})
            if (step == 0 && last(factor * scale) - first(factor * scale) + 1 <= most)
                step = factor * scale;
    std::vector<double> ticks;
    for (double k = first(step); k <= last(step); ++k) ticks.push_back(k == 0 ? 0.0 : k * step);
    return ticks;
}

GraphFrame FrameOfPlot(const Plot& plot, const std::string& quantity, const std::string& unit)
{
    GraphFrame frame;
    frame.x = MakeAxis(plot.scale.left, plot.scale.right, 9, "Bias", "V", false);
    frame.y = MakeAxis(plot.scale.bottom, plot.scale.top, 8, quantity, unit, true);
    const std::pair<uint32_t, const char*> kinds[] = {
        {kRed, "bias rising"}, {kBlue, "bias falling"}, {kEarlierRunGrey, "earlier runs"}};
    for (const auto& kind : kinds) {
        const bool drawn =
            std::any_of(plot.lines.begin(), plot.lines.end(),
                        [&kind](const PlotLine& line) { return line.colour == kind.first; });
        if (drawn) frame.legend.push_back({kind.first, kind.second});
    }
    return frame;
}

}  // namespace quillon
