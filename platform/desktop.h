// What the program asks of the desktop besides its own windows: modal
// message boxes and questions, the system beep, the busy pointer and the
// save dialog. Tests put a recorder in its place, so nothing modal ever
// waits for a click there.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

enum class MessageIcon { None, Exclamation };

// What a save dialog gave: the name, empty when the user cancelled, and
// which of the filter's types was selected, counted from 0.
struct SaveChoice {
    std::string path;
    std::size_t type = 0;
};

class Desktop {
public:
    virtual ~Desktop() = default;
    // A modal message with an OK button. An empty title shows the program's
    // name, as a message box without a title of its own does.
    virtual void ShowMessage(const std::string& text, const std::string& title = {},
                             MessageIcon icon = MessageIcon::None) = 0;
    virtual void Beep() = 0;
    // The hourglass over every window of the program, or the normal pointer.
    virtual void SetWaitCursor(bool on) = 0;
    // A save dialog starting with `suggestedName` (a name without a folder,
    // "cv-20261207-143015", or empty); `filter` is written
    // "Description|pattern", e.g. "Data(*.txt)|*.txt". Asks before an
    // existing file is replaced. An empty name means the user cancelled.
    virtual std::string AskSaveFileName(const std::string& filter,
                                        const std::string& suggestedName) = 0;
    // The same dialog for a filter of several types ("Table (*.txt)|*.txt|
    // CSV with settings (*.csv)|*.csv"), the first one selected at the
    // start. A desktop that offers no choice of type gives the first.
    virtual SaveChoice AskSaveFile(const std::string& filter, const std::string& suggestedName)
    {
        return {AskSaveFileName(filter, suggestedName)};
    }
    // A modal question with Yes and No, No being the default; true for Yes.
    virtual bool AskYesNo(const std::string& text, const std::string& title) = 0;
    // An open dialog for one file or several, `filter` written as for the
    // save dialog; none when the user cancelled. A desktop without one
    // (a terminal) always cancels.
    virtual std::vector<std::string> AskOpenFileNames(const std::string& /*filter*/) { return {}; }
    // A modal one-line input offering `initial`; no value when cancelled.
    virtual std::optional<std::string> AskText(const std::string& /*prompt*/,
                                               const std::string& /*title*/,
                                               const std::string& /*initial*/)
    {
        return std::nullopt;
    }
};

}  // namespace quillon
