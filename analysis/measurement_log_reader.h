// The runs of a monthly log (measure/measurement_log.h): one per record
// with a point, in the file's order.
#pragma once

#include <string>
#include <string_view>

#include "analysis/run_file_reader.h"
#include "analysis/run_file_text.h"

namespace quillon {

// "Measurement:..." : the first line of a record.
bool IsMeasurementLogRecordStart(std::string_view line);

// Each record as the run logged it: its first point line pairs the bias
// before the first point (0 V) with the reply buffer as it stood before the
// first reading ("V,C,G"), and is no point; every line after it is a point
// that was read, the bias as sent to the meter with the meter's reply, the
// overflow reply included. A record cut short by a crash may lack its
// closing empty line, and its last line may then be cut too: that line is
// the point being written when the program stopped, and is left out.
RunFileReading ReadMeasurementLogLines(const std::string& path, TextLineCursor lines);

}  // namespace quillon
