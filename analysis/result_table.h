// The points of the last run as a three-column text table: bias, C and G,
// separated by TAB. "Show Result" shows it, "Save Data" writes it to a file.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "measure/sweep_data.h"
#include "platform/desktop.h"

namespace quillon {

inline constexpr const char* kResultTableHeader = "V[V]\tC[F]\tG[S]";
// The two types "Save Data" offers: the table, the default, and the CSV
// data file with the run's settings (analysis/csv_data_file.h).
inline constexpr const char* kDataFileFilter =
    "Table (*.txt)|*.txt|CSV with settings (*.csv)|*.csv";
inline constexpr int kCsvDataFileType = 1;
inline constexpr const char* kDataFileExtension = ".txt";

// "-1.500\t1.23457E-10\t3.20000E-06" for point i; the CSV data file puts a
// comma between the same numbers.
std::string ResultRow(const SweepData& sweep, int i, char separator = '\t');

// The header and every point that exists, each line ending with CR LF.
std::string ResultTableText(const SweepData& sweep);

// The same lines for a file: no line end after the last row.
std::string DataFileText(const SweepData& sweep);

// The name chosen in a save dialog with `extension` appended unless it ends
// exactly (case included) in it: data -> data.txt, data.TXT -> data.TXT.txt.
std::string WithExtension(const std::string& chosen, std::string_view extension);
// The same with ".txt".
std::string DataFileName(const std::string& chosen);

// The question before the ".txt" added to a chosen name replaces a file
// the save dialog did not ask about.
std::string ReplaceQuestion(const std::string& path);

// Writes the text to the file in one step (the old file stays whole when
// anything fails). Gives no value on success, otherwise the message for the
// user naming what was saved ("data"), the file and the reason.
std::optional<std::string> SaveTextFile(const std::string& path, std::string_view text,
                                        const std::string& what);

// SaveTextFile of the table, as "data".
std::optional<std::string> SaveDataFile(const std::string& path, const SweepData& sweep);

// The name chosen in a save dialog with `extension` added; no value when
// that longer name is a file the dialog did not ask about and the user,
// asked in a question titled `title`, keeps it.
std::optional<std::string> ConfirmedFileName(Desktop& desktop, const std::string& chosen,
                                             std::string_view extension, const std::string& title);

// A save as the user asks for it: the save dialog with `filter`, offering
// `suggestedName`, `extension` (".txt") added to the name chosen (with the question,
// titled `title`, before that longer name replaces a file), then
// SaveTextFile of `text()`, a failure shown as a message. Nothing happens
// when the dialog is cancelled.
void AskAndSaveTextFile(Desktop& desktop, const std::string& filter,
                        const std::string& suggestedName, const std::string& title,
                        const std::string& what, const std::function<std::string()>& text,
                        std::string_view extension = kDataFileExtension);

}  // namespace quillon
