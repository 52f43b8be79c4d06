// How long opening the largest run takes: the Runs window reads a file as
// the user opens it and extracts the values its list shows, so a
// 32767-point CSV data file must come in well under 200 ms.
#pragma once

namespace quillon {

// Writes a 32767-point CSV data file into a fresh temporary folder and
// gives the median time of a few openings of it, read and analysed as the
// Runs window lists it [ms]; -1 when the file could not be written or did
// not read back whole.
double OpenLargeRunFileMilliseconds();

}  // namespace quillon
