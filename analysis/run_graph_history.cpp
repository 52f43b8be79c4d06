#include "analysis/run_graph_history.h"

#include <algorithm>
#include <utility>

namespace quillon {

namespace {

// The last lines of a plot DrawGraphs made, one between each two points.
std::vector<PlotLine> GreyCurve(const Plot& plot, std::size_t curveLines)
{
    std::vector<PlotLine> curve(plot.lines.end() - static_cast<std::ptrdiff_t>(curveLines),
                                plot.lines.end());
    for (PlotLine& line : curve) line.colour = kEarlierRunGrey;
    return curve;
}

Plot WithCurvesBeneath(const Plot& current, std::size_t curveLines,
                       const std::vector<const std::vector<PlotLine>*>& earlier)
{
    Plot plot{current.scale, {}};
    std::size_t total = current.lines.size();
    for (const std::vector<PlotLine>* curve : earlier) total += curve->size();
    plot.lines.reserve(total);
    const auto curveStart = current.lines.end() - static_cast<std::ptrdiff_t>(curveLines);
    plot.lines.insert(plot.lines.end(), current.lines.begin(), curveStart);
    for (const std::vector<PlotLine>* curve : earlier)
        plot.lines.insert(plot.lines.end(), curve->begin(), curve->end());
    plot.lines.insert(plot.lines.end(), curveStart, current.lines.end());
    return plot;
}

}  // namespace

void RunGraphHistory::Add(Graphs graphs, int points)
{
    if (current_) {
        earlier_.push_back({GreyCurve(current_->capacitance, currentCurveLines_),
                            GreyCurve(current_->conductance, currentCurveLines_)});
        if (earlier_.size() > kMostEarlierRuns) earlier_.pop_front();
    }
    current_ = std::move(graphs);
    // Never more than the plots hold, whatever `points` says.
    const std::size_t joins = points > 1 ? static_cast<std::size_t>(points - 1) : 0;
    currentCurveLines_ =
        std::min({joins, current_->capacitance.lines.size(), current_->conductance.lines.size()});
}

std::optional<Graphs> RunGraphHistory::WithEarlierRuns() const
{
    if (!current_) return std::nullopt;
    std::vector<const std::vector<PlotLine>*> capacitance;
    std::vector<const std::vector<PlotLine>*> conductance;
    for (const Curves& curves : earlier_) {
        capacitance.push_back(&curves.capacitance);
        conductance.push_back(&curves.conductance);
    }
    return Graphs{WithCurvesBeneath(current_->capacitance, currentCurveLines_, capacitance),
                  WithCurvesBeneath(current_->conductance, currentCurveLines_, conductance)};
}

}  // namespace quillon
