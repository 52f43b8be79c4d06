#include "bus/adapter_firmware.h"

#include <charconv>

namespace quillon {

namespace {

using Release = std::array<int, 3>;

// The newest AR488 release considered, and the first that knew ++idn and
// ++flags; ++srqauto and ++verbose are older than any considered.
constexpr Release kNewestAr488{0, 53, 4};
constexpr Release kAr488WithIdn{0, 48, 26};
constexpr Release kAr488WithFlags{0, 52, 25};

// An Arduino Uno or Nano: HardwareSerial's 64-byte ring holds 63.
constexpr std::size_t kSmallReceiveBuffer = 63;

// A listener that is there takes a handshake byte in microseconds; this
// leaves a slow one room, and keeps a poll of an empty address short.
constexpr int kAr488LeastReadTimeoutMilliseconds = 50;

// "ver. 0.53.04" as {0, 53, 4}; none when the line has no such number.
bool ReleaseIn(const std::string& line, Release& release)
{
    const std::string mark = "ver. ";
    const std::size_t at = line.find(mark);
    if (at == std::string::npos) return false;
    const char* next = line.data() + at + mark.size();
    const char* end = line.data() + line.size();
    for (std::size_t field = 0; field < release.size(); ++field) {
        if (field > 0) {
            if (next == end || *next != '.') return false;
            ++next;
        }
        const auto [stop, failure] = std::from_chars(next, end, release[field]);
        if (failure != std::errc()) return false;
        next = stop;
    }
    return true;
}

}  // namespace

AdapterFirmware FirmwareOfVersionLine(const std::string& versionLine)
{
    AdapterFirmware firmware;
    if (versionLine.find("AR488") != std::string::npos) {
        firmware.family = AdapterFirmwareFamily::Ar488;
        if (!ReleaseIn(versionLine, firmware.release)) firmware.release = kNewestAr488;
    } else if (versionLine.find("Prologix") != std::string::npos) {
        firmware.family = AdapterFirmwareFamily::Prologix;
    }
    return firmware;
}

std::vector<std::string> SetUpCommands(const AdapterFirmware& firmware, int readTimeoutMilliseconds)
{
    std::vector<std::string> commands;
    // Prologix stores every change of a setting in its EEPROM unless told
    // not to; AR488 stores only at ++savecfg, whatever follows it.
    if (firmware.family != AdapterFirmwareFamily::Ar488) commands.push_back("++savecfg 0");
    const std::string read = "++read_tmo_ms " + std::to_string(readTimeoutMilliseconds);
    commands.insert(commands.end(), {"++mode 1", "++auto 0", "++eoi 1", "++eos 3", "++eot_enable 1",
                                     "++eot_char 4", read});
    if (firmware.family == AdapterFirmwareFamily::Ar488) {
        // Its own serial polls whenever SRQ is asserted, its own answer to
        // *IDN?, and its handshake lines ("Read^OK"): all would be taken
        // for the instrument's.
        commands.push_back("++srqauto 0");
        if (firmware.release >= kAr488WithIdn) commands.push_back("++idn 0");
        if (firmware.release >= kAr488WithFlags) commands.push_back("++flags 0");
    }
    commands.push_back("++eot_char");
    return commands;
}

std::size_t SetUpBatchBytes(const AdapterFirmware& firmware)
{
    // Prologix adapters take what they are sent under flow control (USB) or
    // TCP's.
    return firmware.family == AdapterFirmwareFamily::Prologix ? 0 : kSmallReceiveBuffer;
}

int LeastReadTimeoutMilliseconds(const AdapterFirmware& firmware)
{
    return firmware.family == AdapterFirmwareFamily::Prologix ? 1
                                                              : kAr488LeastReadTimeoutMilliseconds;
}

}  // namespace quillon
