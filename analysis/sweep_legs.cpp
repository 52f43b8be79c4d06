#include "analysis/sweep_legs.h"

#include <variant>

#include "measure/measurement_run.h"

namespace quillon {

std::vector<SweepLeg> PlannedLegs(const MeasurementSettings& settings, int points)
{
    const RunPreparation preparation = PrepareRun(settings);
    const auto* plan = std::get_if<RunPlan>(&preparation);
    if (!plan || points < 0 || static_cast<std::size_t>(points) > plan->biasMillivolts.size())
        return {};
    BiasSweep forwardOnly = plan->sweep;
    forwardOnly.cycles = 1;
    forwardOnly.doubleSweep = false;
    const int64_t forward = BiasPlanLength(forwardOnly);
    const int64_t perCycle = BiasPlanLength(plan->sweep) / plan->sweep.cycles;
    // The plan runs in the meter's sign; the points are kept in the user's.
    const bool forwardRises =
        (plan->sweep.stopMillivolts - plan->sweep.startMillivolts) * plan->biasSign > 0;
    std::vector<SweepLeg> legs;
    legs.reserve(static_cast<std::size_t>(points));
    for (int64_t i = 0; i < points; ++i) {
        const bool onForward = i % perCycle < forward;
        legs.push_back({onForward == forwardRises ? SweepDirection::Up : SweepDirection::Down,
                        static_cast<int>(i / perCycle) + 1});
    }
    return legs;
}

std::vector<SweepLeg> PlannedLegs(const MeasurementSettings& settings)
{
    const RunPreparation preparation = PrepareRun(settings);
    const auto* plan = std::get_if<RunPlan>(&preparation);
    return plan ? PlannedLegs(settings, static_cast<int>(plan->biasMillivolts.size()))
                : std::vector<SweepLeg>();
}

const char* SweepDirectionName(SweepDirection direction)
{
    return direction == SweepDirection::Up ? "up" : "down";
}

}  // namespace quillon
