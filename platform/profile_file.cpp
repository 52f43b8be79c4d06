#include "platform/profile_file.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "common/text_number.h"
#include "platform/file_replace.h"

namespace quillon {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kLineEnd = "\r\n";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return text;
}

// Only ASCII letters fold: the file is 8-bit text of unknown code page, and
// folding by the C locale would make a name match differently on each PC.
char FoldCase(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldCase(x) == FoldCase(y);
           });
}

// A line break inside a name or a value would end the line early and turn
// the rest into a header or a key of its own.
std::string WithoutLineBreaks(std::string_view text)
{
    std::string result(text);
    std::replace(result.begin(), result.end(), '\r', ' ');
    std::replace(result.begin(), result.end(), '\n', ' ');
    return result;
}

std::string CleanName(std::string_view name)
{
    return std::string(Trimmed(WithoutLineBreaks(name)));
}

std::string_view Unquote(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

// One line as offsets into the file's bytes. [contentEnd, end) is the line's
// own terminator: CR LF, LF, nothing, or a lone CR on the file's last line.
struct Line {
    std::size_t begin = 0;
    std::size_t contentEnd = 0;
    std::size_t end = 0;
};

Line LineAt(std::string_view bytes, std::size_t begin)
{
    Line line;
    line.begin = begin;
    const std::size_t lineFeed = bytes.find('\n', begin);
    line.contentEnd = lineFeed == std::string_view::npos ? bytes.size() : lineFeed;
    line.end = lineFeed == std::string_view::npos ? bytes.size() : lineFeed + 1;
    if (line.contentEnd > begin && bytes[line.contentEnd - 1] == '\r') --line.contentEnd;
    return line;
}

enum class LineKind { Other, Header, Key };

struct LineMeaning {
    LineKind kind = LineKind::Other;
    std::string_view name;
    std::string_view value;
};

LineMeaning Interpret(std::string_view content)
{
    LineMeaning meaning;
    const std::string_view text = TrimLeft(content);
    if (text.empty() || text.front() == ';') return meaning;
    if (text.front() == '[') {
        // The first ']' closes the name, so "[a]b]" is section "a" and
        // whatever follows the bracket, a comment for instance, is ignored.
        const std::size_t close = text.find(']', 1);
        if (close != std::string_view::npos) {
            meaning.kind = LineKind::Header;
            meaning.name = Trimmed(text.substr(1, close - 1));
            return meaning;
        }
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) return meaning;
    meaning.kind = LineKind::Key;
    meaning.name = Trimmed(text.substr(0, equals));
    meaning.value = Trimmed(text.substr(equals + 1));
    return meaning;
}

std::size_t ContentStart(std::string_view bytes)
{
    return bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark ? kByteOrderMark.size() : 0;
}

// Where a key is, or where it would go.
struct Search {
    bool sectionFound = false;
    bool keyFound = false;
    Line keyLine;
    std::string_view storedKey;
    std::string_view value;
    // The section's last line that is not blank; the header when there is
    // none, so that a new key always lands inside the section.
    Line lastFilled;
};

Search Find(std::string_view bytes, std::string_view section, std::string_view key)
{
    Search search;
    bool inSection = false;
    for (std::size_t pos = ContentStart(bytes); pos < bytes.size();) {
        const Line line = LineAt(bytes, pos);
        pos = line.end;
        const std::string_view content = bytes.substr(line.begin, line.contentEnd - line.begin);
        const LineMeaning meaning = Interpret(content);
        if (meaning.kind == LineKind::Header) {
            // Only the first section of that name counts, as for the keys.
            if (inSection) break;
            if (SameName(meaning.name, section)) {
                inSection = search.sectionFound = true;
                search.lastFilled = line;
            }
            continue;
        }
        if (!inSection) continue;
        if (!Trimmed(content).empty()) search.lastFilled = line;
        if (meaning.kind == LineKind::Key && SameName(meaning.name, key)) {
            search.keyFound = true;
            search.keyLine = line;
            search.storedKey = meaning.name;
            search.value = meaning.value;
            break;
        }
    }
    return search;
}

// What has to come before text added right after `before`, so that the line
// `before` ends in is finished first.
std::string_view MissingLineEnd(std::string_view before)
{
    if (before.empty() || before.back() == '\n') return {};
    if (before.back() == '\r') return kLineEnd.substr(1);
    return kLineEnd;
}

bool ReadWholeFile(const fs::path& path, std::string& bytes)
{
    std::error_code error;
    // A folder, a device or a pipe is no settings file, and reading a pipe
    // could block the program for good.
    if (!fs::is_regular_file(path, error)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.clear();
    char chunk[64 * 1024];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    return !in.bad();
}

}  // namespace

std::string ReadProfileString(const std::string& fileName, std::string_view section,
                              std::string_view key, std::string_view defaultValue,
                              std::size_t bufferSize)
{
    if (bufferSize == 0) return {};
    std::string bytes;
    std::string_view result = defaultValue;
    if (ReadWholeFile(fs::path(fileName), bytes)) {
        const Search search = Find(bytes, CleanName(section), CleanName(key));
        if (search.keyFound) result = Unquote(search.value);
    }
    return std::string(result.substr(0, bufferSize - 1));
}

std::optional<bool> ProfileHasSection(const std::string& fileName, std::string_view section)
{
    std::string bytes;
    if (!ReadWholeFile(fs::path(fileName), bytes)) return std::nullopt;
    return Find(bytes, CleanName(section), {}).sectionFound;
}

namespace {

// Sets one key in the file's bytes, as WriteProfileString describes.
void SetKey(std::string& bytes, std::string_view section, std::string_view key,
            std::string_view value)
{
    const std::string sectionName = CleanName(section);
    const std::string keyName = CleanName(key);
    const std::string cleanValue = WithoutLineBreaks(value);
    const std::size_t start = ContentStart(bytes);
    const Search search = Find(bytes, sectionName, keyName);
    if (search.keyFound) {
        const std::string line = std::string(search.storedKey) + '=' + cleanValue;
        bytes.replace(search.keyLine.begin, search.keyLine.contentEnd - search.keyLine.begin, line);
    } else if (search.sectionFound) {
        const std::size_t at = search.lastFilled.end;
        std::string line(MissingLineEnd(std::string_view(bytes).substr(start, at - start)));
        line += keyName + '=' + cleanValue;
        line += kLineEnd;
        bytes.insert(at, line);
    } else {
        bytes += MissingLineEnd(std::string_view(bytes).substr(start));
        bytes += '[' + sectionName + ']';
        bytes += kLineEnd;
        bytes += keyName + '=' + cleanValue;
        bytes += kLineEnd;
    }
}

}  // namespace

std::optional<std::string> WriteProfileStrings(const std::string& fileName,
                                               const std::vector<ProfileEntry>& entries)
{
    const ReplacementTarget target = FindReplacementTarget(fileName);
    if (target.refusal) return target.refusal;
    std::string bytes;
    // Without reading it the file's other lines would be lost.
    if (target.exists && !ReadWholeFile(target.file, bytes))
        return std::string("the file cannot be read");
    for (const ProfileEntry& entry : entries) SetKey(bytes, entry.section, entry.key, entry.value);
    return ReplaceFileContent(target.file.string(), bytes);
}

bool WriteProfileString(const std::string& fileName, std::string_view section, std::string_view key,
                        std::string_view value)
{
    return !WriteProfileStrings(fileName,
                                {{std::string(section), std::string(key), std::string(value)}});
}

}  // namespace quillon
