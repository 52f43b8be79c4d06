#include "platform/module_ini.h"

#include <algorithm>

#include "platform/profile_file.h"

namespace quillon {

namespace {
// The reader's buffer: 254 characters and the terminating NUL.
constexpr std::size_t kReadBufferSize = 255;
}  // namespace

std::string SettingsFilePath(const ProgramFolder& folder)
{
    return folder.Path() + "/" + kSettingsFileName;
}

std::string ReadIni(const ProgramFolder& folder, std::string_view section, std::string_view key)
{
    std::string value =
        ReadProfileString(SettingsFilePath(folder), section, key, kMissingValue, kReadBufferSize);
    value.erase(std::remove(value.begin(), value.end(), '\0'), value.end());
    return value;
}

bool WriteIni(const ProgramFolder& folder, std::string_view value, std::string_view section,
              std::string_view key)
{
    return WriteProfileString(SettingsFilePath(folder), section, key, value);
}

std::string IndexedKey(std::string_view prefix, int index)
{
    std::string digits = std::to_string(index);
    if (digits.size() < 2) digits.insert(0, 2 - digits.size(), '0');
    return std::string(prefix) + digits;
}

}  // namespace quillon
