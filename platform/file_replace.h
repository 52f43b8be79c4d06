// Replacing a file's whole content in one step, for the settings file and
// the data files: a crash, a power cut or a full disk leaves either the old
// file or the new one, never a mixture or a truncated file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// The file a chain of symbolic links ends at; the path itself when it is no
// link. Writing goes there: renaming over the link would replace the link
// with a plain file and leave its target stale.
std::filesystem::path FollowLinks(std::filesystem::path path);

// The file a replacement of `path` writes (links followed) and whether it
// exists yet; the refusal says why it cannot be replaced ("not a regular
// file", "File name too long", ...).
struct ReplacementTarget {
    std::filesystem::path file;
    bool exists = false;
    std::optional<std::string> refusal;
};
ReplacementTarget FindReplacementTarget(const std::string& path);

// Writes `bytes` to a new file beside the target, brings it to the disk and
// renames it over the target (creating the target when missing). An
// existing file keeps its owner and permissions; one its owner made
// read-only, or anything but a regular file, is left alone. Gives no value
// on success, otherwise the reason ("Permission denied",
// "No space left on device", ...); the target is then as it was.
std::optional<std::string> ReplaceFileContent(const std::string& path, std::string_view bytes);

}  // namespace quillon
