#include "sim/ar488_configuration.h"

namespace quillon {

namespace {

constexpr std::size_t kVersionTextBytes = 48;
constexpr std::size_t kNameBytes = 16;
// The settings follow the CRC.
constexpr std::size_t kFirstSettingsCell = 2;

void Append(std::vector<uint8_t>& image, const std::string& text, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i)
        image.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

}  // namespace

std::vector<uint8_t> ConfigurationImage(const Ar488Configuration& c)
{
    std::vector<uint8_t> image = {static_cast<uint8_t>(c.eotEnable),
                                  static_cast<uint8_t>(c.eoi),
                                  c.mode,
                                  c.ownAddress,
                                  c.primaryAddress,
                                  c.secondaryAddress,
                                  c.eos,
                                  c.statusByte,
                                  c.autoMode,
                                  static_cast<uint8_t>(c.readTimeoutMilliseconds & 0xFF),
                                  static_cast<uint8_t>(c.readTimeoutMilliseconds >> 8),
                                  c.eotChar};
    Append(image, c.versionText, kVersionTextBytes);
    image.push_back(c.eor);
    Append(image, c.name, kNameBytes);
    for (int shift = 0; shift < 32; shift += 8)
        image.push_back(static_cast<uint8_t>((c.serial >> shift) & 0xFF));
    image.push_back(c.idn);
    image.push_back(c.flags);
    return image;
}

uint16_t ConfigurationCrc(const std::vector<uint8_t>& image)
{
    uint16_t crc = 0xFFFF;
    for (const uint8_t byte : image) {
        uint8_t x = static_cast<uint8_t>((crc >> 8) ^ byte);
        x = static_cast<uint8_t>(x ^ (x >> 4));
        crc = static_cast<uint16_t>((crc << 8) ^ (x << 12) ^ (x << 5) ^ x);
    }
    return crc;
}

Ar488Eeprom::Ar488Eeprom()
{
    cells_.fill(0xFF);
}

int Ar488Eeprom::Save(const Ar488Configuration& configuration)
{
    const std::vector<uint8_t> image = ConfigurationImage(configuration);
    const uint16_t crc = ConfigurationCrc(image);
    int written = 0;
    const auto update = [&](std::size_t cell, uint8_t value) {
        if (cells_[cell] == value) return;
        cells_[cell] = value;
        ++written;
    };
    for (std::size_t i = 0; i < image.size(); ++i) update(kFirstSettingsCell + i, image[i]);
    update(0, static_cast<uint8_t>(crc & 0xFF));
    update(1, static_cast<uint8_t>(crc >> 8));
    saved_ = configuration;
    cellsWritten_ += written;
    return written;
}

}  // namespace quillon
