#include "app/settings_file.h"

#include <cmath>
#include <vector>

#include "common/text_number.h"
#include "platform/module_ini.h"
#include "platform/profile_file.h"

namespace quillon {

namespace {

constexpr int kOptionCount = 3;

// The integer part, rounded down, of the number the text starts with; a
// value outside 0 .. count-1 falls back to 0, as a missing one does.
int IndexOfText(const std::string& text, int count)
{
    const double whole = std::floor(NumberOfText(text));
    if (whole >= 0 && whole < count) return static_cast<int>(whole);
    return 0;
}

}  // namespace

StoredSettings ReadStoredSettings(const ProgramFolder& folder)
{
    StoredSettings stored;
    for (int i = 0; i < kTextFieldCount; ++i)
        stored.values[static_cast<std::size_t>(i)] =
            ReadIni(folder, "Meas", IndexedKey("Value_", i));
    for (int j = 0; j < kCheckFieldCount; ++j)
        stored.checks[static_cast<std::size_t>(j)] =
            IndexOfText(ReadIni(folder, "Meas", IndexedKey("Check_", j)), 2);
    stored.integration = IndexOfText(ReadIni(folder, "meas", "integ"), kOptionCount);
    return stored;
}

std::optional<std::string> WriteStoredSettings(const ProgramFolder& folder,
                                               const MeasurementSettings& settings)
{
    std::vector<ProfileEntry> entries;
    for (int i = 0; i < kTextFieldCount; ++i)
        entries.push_back({"meas", IndexedKey("Value_", i), settings.Text1(i)});
    for (int j = 0; j < kCheckFieldCount; ++j)
        entries.push_back({"meas", IndexedKey("Check_", j), std::to_string(settings.Check1(j))});
    if (const std::optional<int> selected = settings.SelectedOption2())
        entries.push_back({"MEAS", "INTEG", " " + std::to_string(*selected)});
    entries.push_back({"Meas", "Invert", " " + std::to_string(settings.Check1(kInvertBias))});
    const std::string path = SettingsFilePath(folder);
    if (const std::optional<std::string> failure = WriteProfileStrings(path, entries))
        return "The settings could not be saved in " + path + ": " + *failure + ".";
    return std::nullopt;
}

}  // namespace quillon
