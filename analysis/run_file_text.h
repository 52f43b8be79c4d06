// The lines and fields of a run file's text, shared by the readers of each
// format, and the problem a reader reports.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/run_file_reader.h"

namespace quillon {

struct TextLine {
    std::string_view text;  // without its line end
    int number = 0;         // from 1
};

// The lines of a text whose lines end in CR LF or LF (instruments write
// either), one at a time: a file of millions of empty lines must not cost
// a table of them. A last line without its line end counts, an empty one
// after the last line end does not.
class TextLineCursor {
public:
    explicit TextLineCursor(std::string_view text) : text_(text) {}
    // The next line; false after the last.
    bool Next(TextLine& line);
    // The line Next would give; no value after the last.
    std::optional<TextLine> Peek() const;
    // The bytes of the lines not taken yet.
    std::size_t RemainingBytes() const { return text_.size() - from_; }

private:
    std::string_view text_;
    std::size_t from_ = 0;
    int number_ = 0;
};

// A file holds at most this many runs: a month's log has a few thousand
// records, a table a few frequencies; beyond it a "frequency" column is not
// one of runs, and the Runs window would take minutes to list them.
inline constexpr std::size_t kMostRunsInAFile = 10000;

// The fields of a line between `separator`s, blanks around each removed,
// and double quotes around a whole field too (spreadsheets quote headers).
void SplitFields(std::string_view line, char separator, std::vector<std::string_view>& fields);

// A field that is a finite number as a whole ("1.5", "-2E-10", ".5");
// with `decimalComma`, "1,5" too. No value for "NaN", "inf", "1.5 pF", "".
std::optional<double> FieldNumber(std::string_view field, bool decimalComma = false);

// A piece of the file as a message can show it: in single quotes, cut
// after 40 characters, control bytes and bytes of no UTF-8 character as
// "?".
std::string Quoted(std::string_view text);

// A reading with no runs, only the problem.
RunFileReading Refusal(const std::string& path, int line, std::string reason);

// A text of the file as UTF-8 for the window: the text itself where it is
// UTF-8, else read as Latin-1 (an editor on an older system saves that).
std::string TextAsUtf8(std::string_view text);

}  // namespace quillon
