// The measurement subsystem: what a run reads from the window, the set-up
// of the meter, and the per-point bus transactions.
#pragma once

#include "measure/instrument_setup.h"
#include "measure/measurement_settings.h"
#include "measure/point_acquisition.h"
