#include "analysis/graph_plot.h"

#include <cmath>
#include <cstddef>

#include "common/text_number.h"

namespace quillon {
namespace {

constexpr std::size_t kReadoutWidth = 10;

// The bias range of a run as single-precision values, the way the grid and
// the scale are worked out from it.
struct BiasRange {
    float low = 100.0f;
    float high = -100.0f;
};

// The whole volts that carry a vertical grid line, lowest first.
struct GridVolts {
    int first = 0;
    int last = -1;
};

GridVolts GridVoltsOf(const BiasRange& range)
{
    const std::optional<int16_t> low = RoundToInt16(range.low);
    const std::optional<int16_t> high = RoundToInt16(range.high);
    // A bias beyond what a 16-bit whole number holds cannot come from a
    // run's plan; such a sweep is drawn without the vertical grid rather
    // than with an unbounded number of lines.
    if (!low || !high) return {};
    return {*low - 1, *high};
}

bool IsMultipleOfFive(int volts)
{
    return volts % 5 == 0;
}

std::size_t LineCount(const GridVolts& grid, int points)
{
    std::size_t count = 0;
    for (int i = grid.first; i <= grid.last; ++i) count += IsMultipleOfFive(i) ? 13 : 11;
    // Horizontal grid with ticks, maximum line and tick, two axes.
    count += 3 * 2 + 1 + 1 + 2;
    if (points > 1) count += static_cast<std::size_t>(points - 1);
    return count;
}

void AddLine(Plot& plot, double x1, double y1, double x2, double y2, LineColour colour)
{
    plot.lines.push_back({static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2),
                          static_cast<float>(y2), colour});
}

// One picture: `values` are the y values of the points, `maximum` is M.
Plot DrawPicture(const SweepData& sweep, const std::vector<double>& values, double maximum,
                 const BiasRange& range, const GridVolts& grid, int points)
{
    const double m = maximum;
    const double left = static_cast<double>(range.low) - 0.5;
    const double right = static_cast<double>(range.high) + 0.5;

    Plot plot{{left, 1.1 * m, right, -0.1 * m}, {}};
    plot.lines.reserve(LineCount(grid, points));

    for (int i = grid.first; i <= grid.last; ++i) {
        AddLine(plot, i, -0.1 * m, i, 1.1 * m, kLightGrey);
        AddLine(plot, i, -0.02 * m, i, 0.02 * m, std::nullopt);
        if (IsMultipleOfFive(i)) {
            AddLine(plot, i, -0.1 * m, i, 1.1 * m, kLightBlue);
            AddLine(plot, i, -0.03 * m, i, 0.03 * m, std::nullopt);
        }
        for (int j = 1; j <= 9; ++j) {
            const double x = i + j / 10.0;
            AddLine(plot, x, -0.015 * m, x, 0.015 * m, kGrey);
        }
    }

    // The span is a difference of two single-precision values and stays one.
    const float span = range.high - range.low;
    const double tick = static_cast<double>(span) * 0.02 / 2;
    for (int k = 1; k <= 3; ++k) {
        const double y = m / 4 * k;
        AddLine(plot, left, y, right, y, kLightGrey);
        AddLine(plot, -tick, y, tick, y, kGrey);
    }

    AddLine(plot, left, m, right, m, kLightBlue);
    const double maximumTick = static_cast<double>(span) * 0.03 / 2;
    AddLine(plot, -maximumTick, m, maximumTick, m, std::nullopt);

    AddLine(plot, 0, -0.1 * m, 0, 1.1 * m, std::nullopt);
    AddLine(plot, range.low - 1.0f, 0, range.high + 1.0f, 0, std::nullopt);

    for (int i = 1; i < points; ++i) {
        const auto at = static_cast<std::size_t>(i);
        const LineColour colour = sweep.Bias[at + 1] - sweep.Bias[at] >= 0 ? kRed : kBlue;
        AddLine(plot, sweep.Bias[at], values[at], sweep.Bias[at + 1], values[at + 1], colour);
    }
    return plot;
}

std::string WithUnit(double shown, const char* unit)
{
    return FixedWidth(FormatNumber(shown, "0.00") + unit, kReadoutWidth);
}

}  // namespace

std::optional<Graphs> DrawGraphs(SweepData& sweep)
{
    const int points = sweep.ReadablePoints();
    BiasRange range;
    for (int i = 1; i <= points; ++i) {
        const auto at = static_cast<std::size_t>(i);
        if (sweep.Capacitance[at] > sweep.Cmax) sweep.Cmax = sweep.Capacitance[at];
        if (sweep.Conductance[at] > sweep.Gmax) sweep.Gmax = sweep.Conductance[at];
        const auto bias = static_cast<float>(sweep.Bias[at]);
        if (bias > range.high) range.high = bias;
        if (bias < range.low) range.low = bias;
    }

    // More than one farad means the meter's overflow value was stored.
    if (sweep.Cmax > 1.0) return std::nullopt;

    const GridVolts grid = GridVoltsOf(range);
    Graphs graphs;
    graphs.capacitance = DrawPicture(sweep, sweep.Capacitance, sweep.Cmax, range, grid, points);
    graphs.conductance = DrawPicture(sweep, sweep.Conductance, sweep.Gmax, range, grid, points);
    return graphs;
}

std::string VoltageReadout(float x)
{
    return FormatNumber(x, "0.00V");
}

std::string CapacitanceReadout(float y)
{
    // The ranges switch at single-precision thresholds, as the pointer's
    // coordinates are single-precision values.
    const float magnitude = std::fabs(y);
    const double value = y;
    if (magnitude >= 1.0f) return WithUnit(value, "F");
    if (magnitude >= 0.001f) return WithUnit(value * 1000, "mF");
    if (magnitude >= 1e-6f) return WithUnit(value * 1e6, "uF");
    if (magnitude >= 1e-9f) return WithUnit(value * 1e9, "nF");
    return WithUnit(value * 1e12, "pF");
}

std::string ConductanceReadout(float y)
{
    const double value = y;
    if (std::fabs(y) >= 0.001f) return WithUnit(value * 1000, "mS");
    return WithUnit(value * 1e6, "uS");
}

}  // namespace quillon
