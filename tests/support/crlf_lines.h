// The lines of a text whose lines end in CR LF; a last line without its
// line end is marked, so that a test sees it.
#pragma once

#include <string>
#include <vector>

namespace quillon::testing {

inline std::vector<std::string> CrLfLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = text.find("\r\n", from);
        if (end == std::string::npos) {
            lines.push_back(text.substr(from) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(from, end - from));
        from = end + 2;
    }
    return lines;
}

}  // namespace quillon::testing
