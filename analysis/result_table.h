// The points of the last run as a three-column text table: bias, C and G,
// separated by TAB. "Show Result" shows it, "Save Data" writes it to a file.
#pragma once

#include <optional>
#include <string>

#include "measure/sweep_data.h"

namespace quillon {

inline constexpr const char* kResultTableHeader = "V[V]\tC[F]\tG[S]";
inline constexpr const char* kDataFileFilter = "Data(*.txt)|*.txt";

// "-1.500\t1.23457E-10\t3.20000E-06" for point i.
std::string ResultRow(const SweepData& sweep, int i);

// The header and every point that exists, each line ending with CR LF.
std::string ResultTableText(const SweepData& sweep);

// The same lines for a file: no line end after the last row.
std::string DataFileText(const SweepData& sweep);

// The name chosen in the save dialog with ".txt" appended unless it ends
// exactly (case included) in ".txt": data -> data.txt, data.TXT ->
// data.TXT.txt.
std::string DataFileName(const std::string& chosen);

// The question before the ".txt" added to a chosen name replaces a file
// the save dialog did not ask about.
std::string ReplaceQuestion(const std::string& path);

// Writes the table to the file in one step (the old file stays whole when
// anything fails). Gives no value on success, otherwise the message for the
// user naming the file and the reason.
std::optional<std::string> SaveDataFile(const std::string& path, const SweepData& sweep);

}  // namespace quillon
