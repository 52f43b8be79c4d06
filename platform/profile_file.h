// Reading and writing one key of an INI ("profile") file, with the behaviour
// lab users know from the Windows profile functions: names matched without
// regard to case, a default for anything missing, the file and the section
// created on demand, every other line of the file left as it was.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The value of `key` in `section` of the file, or `defaultValue` when the
// file, the section or the key does not exist. Section and key names are
// compared without regard to ASCII letter case and without their surrounding
// blanks; the first matching section and the first matching key count.
// The value loses its surrounding blanks and tabs, and one pair of matching
// quotes around it. Like a C buffer of `bufferSize` characters, the result
// holds at most bufferSize - 1 characters (the default too).
// Lines may end in CR LF or LF; a UTF-8 byte-order mark is skipped.
std::string ReadProfileString(const std::string& fileName, std::string_view section,
                              std::string_view key, std::string_view defaultValue,
                              std::size_t bufferSize);

// Stores `key`=`value` in `section`: an existing key keeps its line and its
// spelling and gets the new value; a new key is appended after the last
// line of its section that is not blank; a missing section is appended at
// the end of the file; a missing file is created. New lines end in CR LF;
// existing lines, comments and other sections stay byte for byte.
// A CR or LF inside the value becomes a blank, so that a value can never
// break the file's structure.
// The new content is written beside the file and then renamed over it, so
// that the file is either the old one or the new one, never half written.
// Returns false, and leaves the file as it was, when the folder or the file
// cannot be written.
bool WriteProfileString(const std::string& fileName, std::string_view section, std::string_view key,
                        std::string_view value);

// Whether the file holds `section` (names compared as ReadProfileString
// compares them); no value when the file cannot be read, or is missing.
std::optional<bool> ProfileHasSection(const std::string& fileName, std::string_view section);

struct ProfileEntry {
    std::string section;
    std::string key;
    std::string value;
};

// Stores every entry, in order and each as WriteProfileString would, in one
// replacement of the file: a crash or a full disk leaves all the old values
// or all the new ones. No value on success, otherwise the reason
// ("Permission denied", "No space left on device", "not a regular file").
std::optional<std::string> WriteProfileStrings(const std::string& fileName,
                                               const std::vector<ProfileEntry>& entries);

}  // namespace quillon
