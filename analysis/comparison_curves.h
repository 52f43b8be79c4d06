// The curves the Runs window compares: the C-V and G-V points of each
// ticked run as polylines, one per sweep, so that a sweep repeated over
// cycles never draws a line from its stop back to its start; C in a unit
// that reads well or normalised to the run's largest C; G on a linear or a
// logarithmic axis; a legend label and a colour for each run; the axes'
// ranges and titles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "analysis/stored_run.h"

namespace quillon {

struct ChartPoint {
    double x = 0;
    double y = 0;
};
using Polyline = std::vector<ChartPoint>;

// Where a run's sweeps (legs) start, found point by point so that a run in
// progress is split as it grows.
struct LegSplit {
    std::vector<std::size_t> starts;  // the index of each leg's first point
    std::size_t pointsSeen = 0;
    int direction = 0;  // of the current leg by its bias: +1, -1, 0 while not known
};

// What the next point did to the legs.
enum class LegChange {
    None,             // it continues the current leg
    NewLeg,           // it starts a new leg
    NewLegAtPrevious  // the leg before it ended one point earlier: the point
                      // before it repeated the stop bias and starts the return
};

// Takes in point `split.pointsSeen` of the run. With `legs` for that point a
// new leg starts where its direction or cycle changes; without, where the
// bias goes against the leg's direction.
LegChange TakeNextPoint(LegSplit& split, const StoredRun& run);

// One run's polylines in volts, farads and siemens, extended as its points
// come.
struct RunTrace {
    bool logConductance = false;  // G <= 0 is left out and breaks the G line
    LegSplit split;
    std::vector<Polyline> capacitance;  // one per leg
    std::vector<Polyline> conductance;  // one per leg, and per stretch of drawable G
    bool conductanceOpen = false;       // whether the next G point extends the last line
    double largestCapacitance = -std::numeric_limits<double>::infinity();  // Cmax [F]
    double largestCapacitanceMagnitude = 0;                                // |C| [F]
    double largestConductanceMagnitude = 0;  // |G| [S] of the points drawn
    std::size_t conductanceLeftOut = 0;
    // Counts the times a point already in a line moved to the next leg's:
    // whoever draws the lines must draw the last two again.
    std::size_t rewrites = 0;
};

// Takes in the run's points that the trace has not seen.
void ExtendRunTrace(RunTrace& trace, const StoredRun& run);

// The smallest and largest of the values added.
struct ValueSpan {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();

    void Add(double value);
    bool Empty() const { return low > high; }
    bool Holds(double value) const { return value >= low && value <= high; }
};

struct AxisRange {
    double low = 0;
    double high = 1;

    bool Holds(double value) const { return value >= low && value <= high; }
};

// The span with a margin on both sides; never of zero width (one value, or
// all equal). Logarithmic: whole decades around the span, which must be of
// values > 0.
AxisRange RangeWithMargin(const ValueSpan& span, bool logarithmic);

// The title of a chart's y axis and the factor from the SI unit to it.
struct ChartUnit {
    std::string title;  // "C [pF]", "G [µS]", "C/Cmax"
    double factor = 1;  // chart units per F or S
};
ChartUnit CapacitanceUnit(double largestFarads);
ChartUnit ConductanceUnit(double largestSiemens);

// Colours that are told apart on screen and on paper, 0xRRGGBB, cycled.
uint32_t PaletteColour(std::size_t index);

// The legend label of a run: its sample (else its file's name) and its
// start (else its file's name and which part of the file it is).
// "wafer3-d12, 2026-12-07 14:30:15", "log-202612.txt / record 3".
std::string RunLabel(const StoredRun& run);

struct ComparedRun {
    const StoredRun* run = nullptr;
    std::size_t colour = 0;  // into PaletteColour
};

struct ComparisonOptions {
    bool normalisedCapacitance = false;  // C / Cmax of each run
    bool logConductance = false;
};

// A run as one chart draws it.
struct RunCurves {
    std::size_t run = 0;          // in the list compared
    std::string label;            // distinct among the runs compared
    uint32_t colour = 0;          // 0xRRGGBB
    double yFactor = 1;           // chart units per F or S (1 / Cmax when normalised)
    std::vector<Polyline> lines;  // in the chart's units
    std::size_t pointsLeftOut = 0;
};

struct ComparisonChart {
    std::string xTitle = "Bias [V]";
    ChartUnit yUnit;
    bool logarithmic = false;
    ValueSpan xSpan, ySpan;  // of the points drawn, in the chart's units
    AxisRange xRange, yRange;
    double largestMagnitude = 0;  // of the runs' values in F or S, which chose the unit
    std::vector<RunCurves> runs;  // the runs drawn, in the order compared
    // Why a run or some of its points are left out, one sentence each.
    std::vector<std::string> notes;
};

struct ComparisonCurves {
    ComparisonChart capacitance;
    ComparisonChart conductance;
};

ComparisonCurves MakeComparisonCurves(const std::vector<ComparedRun>& runs,
                                      const ComparisonOptions& options);

// The sentence for a run whose points with G <= 0 the logarithmic axis
// leaves out.
std::string ConductanceLeftOutNote(const std::string& label, std::size_t points);

}  // namespace quillon
