// What a picture of a graph shows around the drawing, for slides and
// papers: numbers on both axes, the axes' titles with their units, and a
// legend of the curves' colours. The graphs on screen have none of it; only
// the pictures taken away do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/graph_plot.h"

namespace quillon {

struct AxisTick {
    double value = 0;  // in the plot's own unit (V, F, S)
    std::string label;
};

struct Axis {
    std::string title;  // "Bias [V]", "C [pF]"
    std::vector<AxisTick> ticks;
};

struct LegendEntry {
    uint32_t colour = 0;  // 0xRRGGBB, as the curve is drawn
    std::string text;
};

struct GraphFrame {
    Axis x;
    Axis y;
    std::vector<LegendEntry> legend;
};

struct SiPrefix {
    int exponent;  // the power of ten the prefix stands for
    const char* symbol;
};

// The prefix whose numbers for `magnitude` lie between 1 and 1000 ("p" for
// 3.3e-10); none for 0 or a value not finite.
SiPrefix SiPrefixFor(double magnitude);

// Round values from low to high, as many as fit in `most`, spaced 1, 2 or 5
// times a power of ten; none when the range is empty or not finite.
std::vector<double> RoundTicks(double low, double high, int most);

// The frame of a plot drawn by DrawGraphs: the bias in volts along x; along
// y `quantity` in `unit` with the SI prefix that keeps the numbers between
// 1 and 1000 ("C", "F" gives "C [pF]" for picofarads); a legend entry for
// each kind of curve the plot has: rising and falling bias, earlier runs.
GraphFrame FrameOfPlot(const Plot& plot, const std::string& quantity, const std::string& unit);

}  // namespace quillon
