#include "analysis/comparison_curves.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>

#include "analysis/graph_axes.h"
#include "common/date_text.h"

namespace quillon {

namespace {

// Of the span, on each side of a linear axis.
constexpr double kMarginFraction = 0.05;
// Of a linear axis around values that are all equal: of their size, or 1
// where they are 0.
constexpr double kEqualValuesWidening = 0.1;
// Decades on each side of a logarithmic axis, before it is rounded out to
// whole decades.
constexpr double kLogMarginDecades = 0.1;

int Sign(double value)
{
    return (value > 0) - (value < 0);
}

bool SameLeg(const SweepLeg& a, const SweepLeg& b)
{
    return a.direction == b.direction && a.cycle == b.cycle;
}

bool Drawable(double value, bool logarithmic)
{
    return std::isfinite(value) && (!logarithmic || value > 0);
}

std::string FileName(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}

// Labels made distinct by a count: the second "x" becomes "x (2)", unless
// another run is labelled so.
std::vector<std::string> DistinctLabels(const std::vector<std::string>& labels)
{
    const std::set<std::string> given(labels.begin(), labels.end());
    std::set<std::string> used;
    std::vector<std::string> distinct;
    for (const std::string& label : labels) {
        std::string chosen = label;
        for (int count = 2; used.count(chosen) || (chosen != label && given.count(chosen)); ++count)
            chosen = label + " (" + std::to_string(count) + ")";
        used.insert(chosen);
        distinct.push_back(chosen);
    }
    return distinct;
}

Polyline Scaled(const Polyline& line, double factor)
{
    Polyline scaled;
    scaled.reserve(line.size());
    for (const ChartPoint& point : line) scaled.push_back({point.x, point.y * factor});
    return scaled;
}

void AddSpans(ComparisonChart& chart, const RunCurves& curves)
{
    for (const Polyline& line : curves.lines)
        for (const ChartPoint& point : line) {
            chart.xSpan.Add(point.x);
            chart.ySpan.Add(point.y);
        }
}

}  // namespace

LegChange TakeNextPoint(LegSplit& split, const StoredRun& run)
{
    const std::size_t i = split.pointsSeen++;
    if (i == 0) {
        split.starts = {0};
        split.direction = 0;
        return LegChange::NewLeg;
    }
    const std::vector<MeasuredPoint>& points = run.points;
    const int step = Sign(points[i].bias - points[i - 1].bias);
    if (i < run.legs.size()) {
        split.direction = step;
        if (SameLeg(run.legs[i], run.legs[i - 1])) return LegChange::None;
        split.starts.push_back(i);
        return LegChange::NewLeg;
    }
    if (step == 0) return LegChange::None;
    if (split.direction == 0 || step == split.direction) {
        split.direction = step;
        return LegChange::None;
    }
    // A double sweep's return that starts by measuring the stop bias again:
    // that second point is the return's first.
    if (i >= 2 && points[i - 1].bias == points[i - 2].bias && split.starts.back() + 2 <= i) {
        split.starts.push_back(i - 1);
        split.direction = step;
        return LegChange::NewLegAtPrevious;
    }
    // A jump against the sweep (back to the start of the next cycle): the
    // new leg's direction is that of the steps after it.
    split.starts.push_back(i);
    split.direction = 0;
    return LegChange::NewLeg;
}

void ExtendRunTrace(RunTrace& trace, const StoredRun& run)
{
    while (trace.split.pointsSeen < run.points.size()) {
        const std::size_t i = trace.split.pointsSeen;
        const LegChange change = TakeNextPoint(trace.split, run);
        if (change == LegChange::NewLeg) {
            trace.capacitance.emplace_back();
            trace.conductanceOpen = false;
        } else if (change == LegChange::NewLegAtPrevious) {
            const MeasuredPoint& moved = run.points[i - 1];
            Polyline& previous = trace.capacitance.back();
            const ChartPoint movedC = previous.back();
            previous.pop_back();
            trace.capacitance.push_back({movedC});
            trace.conductanceOpen = false;
            if (Drawable(moved.conductance, trace.logConductance)) {
                trace.conductance.back().pop_back();
                if (trace.conductance.back().empty()) trace.conductance.pop_back();
                trace.conductance.push_back({{moved.bias, moved.conductance}});
                trace.conductanceOpen = true;
            }
            ++trace.rewrites;
        }

        const MeasuredPoint& point = run.points[i];
        trace.capacitance.back().push_back({point.bias, point.capacitance});
        trace.largestCapacitance = std::max(trace.largestCapacitance, point.capacitance);
        trace.largestCapacitanceMagnitude =
            std::max(trace.largestCapacitanceMagnitude, std::fabs(point.capacitance));
        if (Drawable(point.conductance, trace.logConductance)) {
            if (!trace.conductanceOpen) trace.conductance.emplace_back();
            trace.conductanceOpen = true;
            trace.conductance.back().push_back({point.bias, point.conductance});
            trace.largestConductanceMagnitude =
                std::max(trace.largestConductanceMagnitude, std::fabs(point.conductance));
        } else {
            trace.conductanceOpen = false;
            if (trace.logConductance) ++trace.conductanceLeftOut;
        }
    }
}

void ValueSpan::Add(double value)
{
    if (!std::isfinite(value)) return;
    low = std::min(low, value);
    high = std::max(high, value);
}

AxisRange RangeWithMargin(const ValueSpan& span, bool logarithmic)
{
    if (logarithmic) {
        if (span.Empty() || !(span.low > 0)) return {1, 10};
        const double low = std::log10(span.low) - kLogMarginDecades;
        const double high = std::log10(span.high) + kLogMarginDecades;
        return {std::pow(10.0, std::floor(low)), std::pow(10.0, std::ceil(high))};
    }
    if (span.Empty()) return {0, 1};
    double margin = (span.high - span.low) * kMarginFraction;
    if (!(margin > 0)) {
        const double size = std::max(std::fabs(span.low), std::fabs(span.high));
        margin = size > 0 ? size * kEqualValuesWidening : 1.0;
    }
    return {span.low - margin, span.high + margin};
}

ChartUnit CapacitanceUnit(double largestFarads)
{
    const SiPrefix prefix = SiPrefixFor(largestFarads);
    return {std::string("C [") + prefix.symbol + "F]", std::pow(10.0, -prefix.exponent)};
}

ChartUnit ConductanceUnit(double largestSiemens)
{
    const SiPrefix prefix = SiPrefixFor(largestSiemens);
    return {std::string("G [") + prefix.symbol + "S]", std::pow(10.0, -prefix.exponent)};
}

uint32_t PaletteColour(std::size_t index)
{
    // Tableau's ten.
    constexpr uint32_t kPalette[] = {0x1f77b4, 0xff7f0e, 0x2ca02c, 0xd62728, 0x9467bd,
                                     0x8c564b, 0xe377c2, 0x7f7f7f, 0xbcbd22, 0x17becf};
    return kPalette[index % (sizeof kPalette / sizeof kPalette[0])];
}

std::string RunLabel(const StoredRun& run)
{
    const std::string file = FileName(run.path);
    if (run.started) {
        const std::string when = FormatDate(*run.started, "yyyy-mm-dd hh:mm:ss");
        const std::string who = !run.sample.empty() ? run.sample : file;
        return who.empty() ? when : who + ", " + when;
    }
    std::string where = file;
    if (!run.partOfFile.empty()) where += (where.empty() ? "" : " / ") + run.partOfFile;
    if (run.sample.empty()) {
        if (!where.empty()) return where;
        return run.source == RunSource::InProgress ? "run in progress" : "run";
    }
    return where.empty() ? run.sample : run.sample + ", " + where;
}

std::string ConductanceLeftOutNote(const std::string& label, std::size_t points)
{
    return label + ": " + std::to_string(points) + (points == 1 ? " point" : " points") +
           " with G <= 0 left out of the logarithmic G axis.";
}

ComparisonCurves MakeComparisonCurves(const std::vector<ComparedRun>& runs,
                                      const ComparisonOptions& options)
{
    std::vector<RunTrace> traces(runs.size());
    std::vector<std::string> labels;
    ComparisonCurves curves;
    ComparisonChart& c = curves.capacitance;
    ComparisonChart& g = curves.conductance;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        traces[r].logConductance = options.logConductance;
        ExtendRunTrace(traces[r], *runs[r].run);
        labels.push_back(RunLabel(*runs[r].run));
        c.largestMagnitude = std::max(c.largestMagnitude, traces[r].largestCapacitanceMagnitude);
        g.largestMagnitude = std::max(g.largestMagnitude, traces[r].largestConductanceMagnitude);
    }
    labels = DistinctLabels(labels);

    c.yUnit = options.normalisedCapacitance ? ChartUnit{"C/Cmax", 1}
                                            : CapacitanceUnit(c.largestMagnitude);
    g.yUnit = ConductanceUnit(g.largestMagnitude);
    g.logarithmic = options.logConductance;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const RunTrace& trace = traces[r];
        if (trace.capacitance.empty()) continue;
        RunCurves run{r, labels[r], PaletteColour(runs[r].colour), c.yUnit.factor, {}, 0};
        if (options.normalisedCapacitance) {
            if (trace.largestCapacitance > 0) {
                run.yFactor = 1 / trace.largestCapacitance;
            } else {
                c.notes.push_back(labels[r] +
                                  ": left out of C/Cmax, its largest C is not above 0.");
                run.yFactor = 0;
            }
        }
        if (run.yFactor > 0) {
            for (const Polyline& line : trace.capacitance)
                run.lines.push_back(Scaled(line, run.yFactor));
            AddSpans(c, run);
            c.runs.push_back(run);
        }

        run.yFactor = g.yUnit.factor;
        run.lines.clear();
        for (const Polyline& line : trace.conductance)
            run.lines.push_back(Scaled(line, run.yFactor));
        run.pointsLeftOut = trace.conductanceLeftOut;
        if (run.pointsLeftOut > 0)
            g.notes.push_back(ConductanceLeftOutNote(run.label, run.pointsLeftOut));
        AddSpans(g, run);
        g.runs.push_back(run);
    }
    for (ComparisonChart* chart : {&c, &g}) {
        chart->xRange = RangeWithMargin(chart->xSpan, false);
        chart->yRange = RangeWithMargin(chart->ySpan, chart->logarithmic);
    }
    return curves;
}

}  // namespace quillon
