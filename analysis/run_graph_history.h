// The graphs of the run on show and the curves of the runs before it, so
// that a device can be seen beside the ones measured before: the earlier
// curves in light grey beneath the current run's, under its coordinates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "analysis/graph_plot.h"

namespace quillon {

inline constexpr std::size_t kMostEarlierRuns = 5;
// Darker than the grid's light grey, lighter than its ticks.
inline constexpr uint32_t kEarlierRunGrey = 0xB4B4B4;  // 180, 180, 180

class RunGraphHistory {
public:
    // The graphs DrawGraphs made of a run's `points` readable points. The
    // run on show until now becomes the latest earlier run; beyond
    // kMostEarlierRuns the oldest is forgotten.
    void Add(Graphs graphs, int points);

    // The run on show, exactly as drawn; null before the first.
    const Graphs* Current() const { return current_ ? &*current_ : nullptr; }

    // The run on show with the curves of the earlier runs, oldest first,
    // drawn after its grid and axes and before its own curves. No value
    // before the first run.
    std::optional<Graphs> WithEarlierRuns() const;

    std::size_t EarlierRunCount() const { return earlier_.size(); }

private:
    struct Curves {
        std::vector<PlotLine> capacitance;
        std::vector<PlotLine> conductance;
    };

    std::optional<Graphs> current_;
    // How many of the last lines of each current plot join its points.
    std::size_t currentCurveLines_ = 0;
    std::deque<Curves> earlier_;
};

}  // namespace quillon
