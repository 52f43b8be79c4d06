// Three points of a finished run, -1.5 V to 1.5 V, with a capacitance below
// 0 among them; numbers of six digits, so that a file written of them reads
// back to the same doubles.
#pragma once

#include "measure/sweep_data.h"

namespace quillon::testing {

inline SweepData ThreePointSweep()
{
    SweepData sweep;
    sweep.Allocate(3);
    sweep.Bias = {0, -1.5, 0, 1.5};
    sweep.Capacitance = {0, 1.23457e-10, 3.3e-10, -4.5e-12};
    sweep.Conductance = {0, 3.2e-6, 1e-3, 0};
    sweep.PointCount = 3;
    return sweep;
}

}  // namespace quillon::testing
