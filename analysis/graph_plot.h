// The C-V and G-V graphs as plain plot data: the coordinate system and the
// lines of each picture in the order they are drawn, and the texts of the
// cursor read-outs. The main window replays a Plot onto its picture surface.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "measure/sweep_data.h"

namespace quillon {

// Colours as 0xRRGGBB.
inline constexpr uint32_t kLightGrey = 0xE6E6E6;  // 230, 230, 230
inline constexpr uint32_t kLightBlue = 0xC8C8FF;  // 200, 200, 255
inline constexpr uint32_t kGrey = 0x808080;       // 128, 128, 128
inline constexpr uint32_t kRed = 0xFF0000;
inline constexpr uint32_t kBlue = 0x0000FF;

// A colour of a line; no value means the surface's foreground colour.
using LineColour = std::optional<uint32_t>;

struct PlotLine {
    float x1, y1, x2, y2;
    LineColour colour;
};

// The user coordinates at the left, top, right and bottom edges.
struct PlotScale {
    double left, top, right, bottom;
};

// One picture as drawn after clearing it: its coordinate system, then its
// lines in drawing order.
struct Plot {
    PlotScale scale;
    std::vector<PlotLine> lines;
};

struct Graphs {
    Plot capacitance;  // Picture1, y in farads
    Plot conductance;  // Picture2, y in siemens
};

// The coordinates the pictures have before the first graph is drawn.
inline constexpr PlotScale kCapacitanceStartScale{-5, 1e-9, 5, -1e-10};
inline constexpr PlotScale kConductanceStartScale{-5, 0.001, 5, -1e-7};

// Both graphs of the readable points of a run. Raises sweep.Cmax and
// sweep.Gmax to the largest capacitance and conductance among the points.
// No value when Cmax exceeds one farad (an overflow reply was stored): the
// pictures then keep what they show.
std::optional<Graphs> DrawGraphs(SweepData& sweep);

// The pointer's coordinates over a picture as the read-out boxes show them:
// the bias as "0.00V", the y value with a unit in a field of 10 characters.
std::string VoltageReadout(float x);
std::string CapacitanceReadout(float y);
std::string ConductanceReadout(float y);

}  // namespace quillon
