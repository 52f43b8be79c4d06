#include "analysis/result_table.h"

#include <filesystem>
#include <system_error>

#include "common/text_number.h"
#include "platform/file_replace.h"

namespace quillon {

namespace {

constexpr const char* kValuePattern = "0.00000E+00";

// The header, then the rows, each line followed by `lineEnd` except, when
// `endAfterLast` is false, the last one.
std::string Table(const SweepData& sweep, bool endAfterLast)
{
    const int points = sweep.ReadablePoints();
    std::string text;
    // About 40 characters a row: one allocation for the whole table.
    text.reserve(32 + 40 * static_cast<std::size_t>(points));
    text += kResultTableHeader;
    for (int i = 1; i <= points; ++i) {
        text += kCrLf;
        text += ResultRow(sweep, i);
    }
    if (endAfterLast) text += kCrLf;
    return text;
}

}  // namespace

std::string ResultRow(const SweepData& sweep, int i, char separator)
{
    const auto index = static_cast<std::size_t>(i);
    return FormatNumber(sweep.Bias[index], "0.000") + separator +
           FormatNumber(sweep.Capacitance[index], kValuePattern) + separator +
           FormatNumber(sweep.Conductance[index], kValuePattern);
}

std::string ResultTableText(const SweepData& sweep)
{
    return Table(sweep, true);
}

std::string DataFileText(const SweepData& sweep)
{
    return Table(sweep, false);
}

std::string WithExtension(const std::string& chosen, std::string_view extension)
{
    const bool hasExtension =
        chosen.size() >= extension.size() &&
        chosen.compare(chosen.size() - extension.size(), extension.size(), extension) == 0;
    return hasExtension ? chosen : chosen + std::string(extension);
}

std::string DataFileName(const std::string& chosen)
{
    return WithExtension(chosen, kDataFileExtension);
}

std::optional<std::string> SaveTextFile(const std::string& path, std::string_view text,
                                        const std::string& what)
{
    if (std::optional<std::string> reason = ReplaceFileContent(path, text))
        return "The " + what + " could not be saved to " + path + ": " + *reason + ".";
    return std::nullopt;
}

std::optional<std::string> SaveDataFile(const std::string& path, const SweepData& sweep)
{
    return SaveTextFile(path, DataFileText(sweep), "data");
}

std::string ReplaceQuestion(const std::string& path)
{
    return path + " already exists. Do you want to replace it?";
}

std::optional<std::string> ConfirmedFileName(Desktop& desktop, const std::string& chosen,
                                             std::string_view extension, const std::string& title)
{
    const std::string fileName = WithExtension(chosen, extension);
    // The dialog asked about the name it was given; the extension added
    // here may name another file that is already there.
    std::error_code unknown;
    if (fileName != chosen && std::filesystem::exists(fileName, unknown) &&
        !desktop.AskYesNo(ReplaceQuestion(fileName), title))
        return std::nullopt;
    return fileName;
}

void AskAndSaveTextFile(Desktop& desktop, const std::string& filter,
                        const std::string& suggestedName, const std::string& title,
                        const std::string& what, const std::function<std::string()>& text,
                        std::string_view extension)
{
    const std::string chosen = desktop.AskSaveFileName(filter, suggestedName);
    if (chosen.empty()) return;
    const std::optional<std::string> fileName =
        ConfirmedFileName(desktop, chosen, extension, title);
    if (!fileName) return;
    if (std::optional<std::string> failure = SaveTextFile(*fileName, text(), what))
        desktop.ShowMessage(*failure);
}

}  // namespace quillon
