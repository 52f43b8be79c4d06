// The firmware behind a "++" adapter, told apart by its ++ver line, and what
// each is sent at connection to become a quiet controller: the commands it
// understands, how much may be sent to it before it has answered, and the
// least read time-out worth giving it.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace quillon {

enum class AdapterFirmwareFamily {
    // Prologix GPIB-ETHERNET 1.6 and GPIB-USB 6: "Prologix GPIB-ETHERNET
    // version 1.6.6.0", "Prologix GPIB-USB Controller version 6.107".
    Prologix,
    // AR488 on an Arduino or similar board: "AR488 GPIB controller, ver.
    // 0.53.04, 13/04/2025", or a version text its user gave it that still
    // names it.
    Ar488,
    // Any other clone of the Prologix command set.
    Other,
};

struct AdapterFirmware {
    AdapterFirmwareFamily family = AdapterFirmwareFamily::Other;
    // AR488's release (0.53.04 is {0, 53, 4}); the newest considered when
    // its version line does not say.
    std::array<int, 3> release{};
};

AdapterFirmware FirmwareOfVersionLine(const std::string& versionLine);

// What the adapter is sent at connection, in order: controller; no read
// after every write; EOI with the last byte and nothing appended to it;
// after a read that ended with EOI, the end mark, which tells that the read
// is over without waiting for silence; a sane read time-out; and whatever of
// the firmware's own would add output to its answers, switched off. The
// last line asks for the end mark, which an adapter that knows it answers.
// Nothing is stored in the adapter's memory.
std::vector<std::string> SetUpCommands(const AdapterFirmware& firmware,
                                       int readTimeoutMilliseconds);

// The most bytes sent to the adapter at connection before it has answered
// them all (0: no limit): an Arduino keeps 63 received bytes while it
// carries a command out and drops the rest. A firmware not known to buffer
// more is treated as one of those.
std::size_t SetUpBatchBytes(const AdapterFirmware& firmware);

// The least ++read_tmo_ms the adapter is given: AR488 applies it to every
// handshake byte, the bytes it writes included, so that a time-out of 1 ms
// lets no byte through at all.
int LeastReadTimeoutMilliseconds(const AdapterFirmware& firmware);

}  // namespace quillon
