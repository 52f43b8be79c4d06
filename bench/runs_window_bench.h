// How long the Runs window takes to open on a full runs folder: a lab keeps
// a thousand runs within weeks, and the list must come up in under a second.
#pragma once

namespace quillon {

// Writes 1000 CSV data files of 241-point double sweeps into a temporary
// runs folder and gives the wall time of opening the Runs window on it,
// every file read, analysed and listed [ms]; -1 when a file could not be
// written or a run is missing from the list.
double ListThousandRunsMilliseconds();

}  // namespace quillon
