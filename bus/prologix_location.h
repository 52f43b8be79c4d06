// Where a Prologix adapter is, as the settings file names it.
#pragma once

#include <optional>
#include <string>

namespace quillon {

inline constexpr int kPrologixDefaultPort = 1234;

// Where the adapter is, as the settings file names it after "prologix:":
// HOST, HOST:PORT, [IPv6]:PORT, or the path of a serial device.
struct PrologixLocation {
    std::string host;
    int port = kPrologixDefaultPort;
    std::string devicePath;  // set for a serial adapter, host empty then
};

std::optional<PrologixLocation> ParsePrologixLocation(const std::string& text);
// "host:port" or the device path, for messages.
std::string PrologixLocationText(const PrologixLocation& location);

}  // namespace quillon
