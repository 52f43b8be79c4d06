// The settings file "Quillon.ini" in the program's folder, read and written
// one key per call. There is no copy in memory: every value comes from the
// file, or goes to it, at the moment it is needed.
#pragma once

#include <string>
#include <string_view>

#include "platform/program_folder.h"

namespace quillon {

inline constexpr const char* kSettingsFileName = "Quillon.ini";
// What a read gives for a missing file, section or key.
inline constexpr const char* kMissingValue = "ERROR";

// The file's path, built anew from the program's folder on every call.
std::string SettingsFilePath(const ProgramFolder& folder);

// The stored value, at most 254 characters, or "ERROR".
std::string ReadIni(const ProgramFolder& folder, std::string_view section, std::string_view key);
// True when the value was stored. A failed write leaves the file as it was.
bool WriteIni(const ProgramFolder& folder, std::string_view value, std::string_view section,
              std::string_view key);

// "Value_" + 7 gives "Value_07": the index with at least two digits.
std::string IndexedKey(std::string_view prefix, int index);

}  // namespace quillon
