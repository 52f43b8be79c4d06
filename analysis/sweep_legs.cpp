#include "analysis/sweep_legs.h"

#include <variant>

#include "measure/measurement_run.h"

namespace quillon {

namespace {

std::vector<SweepLeg> LegsOfPlan(const RunPlan& plan, std::size_t points)
{
    BiasSweep forwardOnly = plan.sweep;
    forwardOnly.cycles = 1;
    forwardOnly.doubleSweep = false;
    const auto forward = static_cast<std::size_t>(BiasPlanLength(forwardOnly));
    const auto perCycle = static_cast<std::size_t>(BiasPlanLength(plan.sweep) / plan.sweep.cycles);
    // The plan runs in the meter's sign; the points are kept in the user's.
    const bool forwardRises =
        (plan.sweep.stopMillivolts - plan.sweep.startMillivolts) * plan.biasSign > 0;
    std::vector<SweepLeg> legs;
    legs.reserve(points);
    for (std::size_t i = 0; i < points; ++i) {
        const bool onForward = i % perCycle < forward;
        legs.push_back({onForward == forwardRises ? SweepDirection::Up : SweepDirection::Down,
                        static_cast<int>(i / perCycle) + 1});
    }
    return legs;
}

}  // namespace

std::vector<SweepLeg> PlannedLegs(const MeasurementSettings& settings, int points)
{
    const RunPreparation preparation = PrepareRun(settings);
    const auto* plan = std::get_if<RunPlan>(&preparation);
    if (!plan || points < 0 || static_cast<std::size_t>(points) > plan->biasMillivolts.size())
        return {};
    return LegsOfPlan(*plan, static_cast<std::size_t>(points));
}

std::vector<SweepLeg> PlannedLegs(const MeasurementSettings& settings)
{
    const RunPreparation preparation = PrepareRun(settings);
    const auto* plan = std::get_if<RunPlan>(&preparation);
    return plan ? LegsOfPlan(*plan, plan->biasMillivolts.size()) : std::vector<SweepLeg>();
}

const char* SweepDirectionName(SweepDirection direction)
{
    return direction == SweepDirection::Up ? "up" : "down";
}

}  // namespace quillon
