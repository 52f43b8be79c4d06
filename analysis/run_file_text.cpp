#include "analysis/run_file_text.h"

#include <utility>

#include "common/text_number.h"

namespace quillon {

namespace {

constexpr std::size_t kMostQuotedCharacters = 40;

// The length of the UTF-8 character at `text[i]`, 0 when none starts there.
std::size_t Utf8CharacterLength(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char first = byte(i);
    if (first < 0x80) return 1;
    std::size_t length = 0;
    if (first >= 0xC2 && first <= 0xDF)
        length = 2;
    else if (first >= 0xE0 && first <= 0xEF)
        length = 3;
    else if (first >= 0xF0 && first <= 0xF4)
        length = 4;
    if (length == 0 || i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    // Overlong forms and surrogates are no characters either.
    const unsigned char second = byte(i + 1);
    if ((first == 0xE0 && second < 0xA0) || (first == 0xED && second > 0x9F) ||
        (first == 0xF0 && second < 0x90) || (first == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

bool IsUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8CharacterLength(text, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

}  // namespace

bool TextLineCursor::Next(TextLine& line)
{
    if (from_ >= text_.size()) return false;
    std::size_t end = text_.find('\n', from_);
    const std::size_t next = end == std::string_view::npos ? text_.size() : end + 1;
    if (end == std::string_view::npos) end = text_.size();
    if (end > from_ && text_[end - 1] == '\r') --end;
    line = {text_.substr(from_, end - from_), ++number_};
    from_ = next;
    return true;
}

std::optional<TextLine> TextLineCursor::Peek() const
{
    TextLineCursor ahead = *this;
    TextLine line;
    if (!ahead.Next(line)) return std::nullopt;
    return line;
}

void SplitFields(std::string_view line, char separator, std::vector<std::string_view>& fields)
{
    fields.clear();
    std::size_t from = 0;
    while (true) {
        const std::size_t end = line.find(separator, from);
        std::string_view field =
            Trimmed(line.substr(from, end == std::string_view::npos ? end : end - from));
        if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
            field = Trimmed(field.substr(1, field.size() - 2));
        fields.push_back(field);
        if (end == std::string_view::npos) break;
        from = end + 1;
    }
}

std::optional<double> FieldNumber(std::string_view field, bool decimalComma)
{
    if (!decimalComma || field.find(',') == std::string_view::npos) return WholeNumberOfText(field);
    // A number is short: a copy on the stack with the comma made a point.
    char copy[64];
    if (field.size() > sizeof copy) return std::nullopt;
    std::size_t commas = 0;
    for (std::size_t i = 0; i < field.size(); ++i) {
        copy[i] = field[i] == ',' ? '.' : field[i];
        commas += field[i] == ',';
    }
    if (commas > 1 || field.find('.') != std::string_view::npos) return std::nullopt;
    return WholeNumberOfText(std::string_view(copy, field.size()));
}

std::string Quoted(std::string_view text)
{
    std::string shown = "'";
    std::size_t i = 0;
    for (std::size_t characters = 0; i < text.size() && characters < kMostQuotedCharacters;
         ++characters) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8CharacterLength(text, i);
        if (length == 0 || byte < 0x20 || byte == 0x7F) {
            shown += '?';
            ++i;
        } else {
            shown.append(text.substr(i, length));
            i += length;
        }
    }
    if (i < text.size()) shown += "...";
    return shown + "'";
}

RunFileReading Refusal(const std::string& path, int line, std::string reason)
{
    RunFileReading reading;
    reading.problem = RunFileProblem{path, line, std::move(reason)};
    return reading;
}

std::string TextAsUtf8(std::string_view text)
{
    if (IsUtf8(text)) return std::string(text);
    std::string converted;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            converted += c;
        } else {
            converted += static_cast<char>(0xC0 | (byte >> 6));
            converted += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return converted;
}

}  // namespace quillon
