// The settings an AR488 adapter keeps, and its EEPROM, which ++savecfg
// writes them to: byte for byte the firmware's own layout and CRC (0.53.04),
// so that a save changes the cells the firmware's save would.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

// At power-up without saved settings: the firmware's defaults.
struct Ar488Configuration {
    bool eotEnable = false;
    bool eoi = false;
    uint8_t mode = 2;  // 2 controller, 1 device
    uint8_t ownAddress = 0;
    uint8_t primaryAddress = 1;
    uint8_t secondaryAddress = 0xFF;  // none
    uint8_t eos = 0;
    uint8_t statusByte = 0;
    uint8_t autoMode = 0;
    uint16_t readTimeoutMilliseconds = 1200;
    uint8_t eotChar = 0;
    std::string versionText;  // ++ver's answer instead of the firmware's own
    uint8_t eor = 0;
    std::string name;  // ++idn's answer
    uint32_t serial = 0;
    uint8_t idn = 0;
    uint8_t flags = 0;
};

inline constexpr std::size_t kAr488ConfigurationBytes = 83;

// The settings as the firmware's union lays them out (an 8-bit AVR: no
// padding, little-endian).
std::vector<uint8_t> ConfigurationImage(const Ar488Configuration& configuration);

// The firmware's CRC-16 over the image.
uint16_t ConfigurationCrc(const std::vector<uint8_t>& image);

class Ar488Eeprom {
public:
    // A new board's: every cell reads 0xFF.
    Ar488Eeprom();
    // As the firmware's save: each cell written only where it changes, the
    // CRC in the first two. Returns the cells written.
    int Save(const Ar488Configuration& configuration);
    // What the board starts with: the settings saved last, none when none.
    const std::optional<Ar488Configuration>& Saved() const { return saved_; }
    int CellsWritten() const { return cellsWritten_; }

private:
    std::array<uint8_t, 256> cells_{};
    std::optional<Ar488Configuration> saved_;
    int cellsWritten_ = 0;
};

}  // namespace quillon
