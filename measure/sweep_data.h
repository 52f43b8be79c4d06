// The points of the last run, kept by the main window until the next START.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace quillon {

struct SweepData {
    // Indices 0..N; index 0 is never a point and stays 0.
    std::vector<double> Bias{0.0};         // V: as sent while running, the user's sign after
    std::vector<double> Capacitance{0.0};  // Cp [F]
    std::vector<double> Conductance{0.0};  // G [S]
    int16_t PointCount = 0;                // points read by the last run
    double Cmax = 0.0;
    double Gmax = 0.0;
    double Cmin = 0.0;
    int16_t BiasSign = 1;
    // While a run fills the arrays: how many of its points have been read.
    // No value once the run has ended and PointCount counts them.
    std::optional<int> RunPointsRead;

    // Fresh arrays for n planned points, all 0.
    void Allocate(int n)
    {
        const std::size_t size = static_cast<std::size_t>(std::max(n, 0)) + 1;
        Bias.assign(size, 0.0);
        Capacitance.assign(size, 0.0);
        Conductance.assign(size, 0.0);
    }

    // The points a reader may show. A run fills a sweep of its own until it
    // has read its first point, and only then takes the window's place (a
    // START whose meter does not answer keeps the previous run's points).
    // From then on, while the run goes on, PointCount still counts the
    // previous run's points: only the points read so far are real, the rest
    // of the arrays are planned biases with no reading yet.
    int ReadablePoints() const
    {
        const int arrays = static_cast<int>(Bias.size()) - 1;  // the three share their size
        const int points = RunPointsRead ? *RunPointsRead : PointCount;
        return std::max(0, std::min(points, arrays));
    }
};

// Turns Bias(1..PointCount) from the meter's sign back into the user's.
inline void RestoreUserBiasSign(SweepData& sweep)
{
    for (int i = 1; i <= sweep.ReadablePoints(); ++i)
        sweep.Bias[static_cast<std::size_t>(i)] *= sweep.BiasSign;
}

}  // namespace quillon
