#include "bus/prologix_location.h"

#include <algorithm>
#include <cctype>

#include "common/text_number.h"

namespace quillon {

namespace {

bool AllDigits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
}

}  // namespace

std::optional<PrologixLocation> ParsePrologixLocation(const std::string& text)
{
    const std::string value(Trimmed(text));
    if (value.empty()) return std::nullopt;
    PrologixLocation location;
    if (value[0] == '/') {
        location.devicePath = value;
        return location;
    }
    std::string portText;
    if (value[0] == '[') {
        const auto close = value.find(']');
        if (close == std::string::npos || close == 1) return std::nullopt;
        location.host = value.substr(1, close - 1);
        const std::string rest = value.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':') return std::nullopt;
            portText = rest.substr(1);
            if (portText.empty()) return std::nullopt;
        }
    } else {
        const auto colon = value.find(':');
        if (colon != std::string::npos && value.find(':', colon + 1) != std::string::npos) {
            location.host = value;  // a bare IPv6 address
        } else if (colon != std::string::npos) {
            location.host = value.substr(0, colon);
            portText = value.substr(colon + 1);
            if (portText.empty()) return std::nullopt;
        } else {
            location.host = value;
        }
    }
    if (location.host.empty() ||
        std::any_of(location.host.begin(), location.host.end(),
                    [](unsigned char c) { return std::isspace(c) || c == '/'; }))
        return std::nullopt;
    if (!portText.empty()) {
        if (!AllDigits(portText) || portText.size() > 5) return std::nullopt;
        location.port = std::stoi(portText);
        if (location.port < 1 || location.port > 65535) return std::nullopt;
    }
    return location;
}

std::string PrologixLocationText(const PrologixLocation& location)
{
    if (!location.devicePath.empty()) return location.devicePath;
    const bool ipv6 = location.host.find(':') != std::string::npos;
    return (ipv6 ? "[" + location.host + "]" : location.host) + ":" + std::to_string(location.port);
}

}  // namespace quillon
