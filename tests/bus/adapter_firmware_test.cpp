#include "bus/adapter_firmware.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon {
namespace {

// The commands every firmware is sent, around those of its own.
std::vector<std::string> CommandsAround(std::vector<std::string> before,
                                        std::vector<std::string> after)
{
    std::vector<std::string> commands = std::move(before);
    commands.insert(commands.end(), {"++mode 1", "++auto 0", "++eoi 1", "++eos 3", "++eot_enable 1",
                                     "++eot_char 4", "++read_tmo_ms 100"});
    commands.insert(commands.end(), after.begin(), after.end());
    commands.push_back("++eot_char");
    return commands;
}

TEST(AdapterFirmware, TheVersionLineTellsTheFirmwareAndWhatItIsSent)
{
    using Family = AdapterFirmwareFamily;
    struct Case {
        const char* versionLine;
        Family family;
        std::vector<std::string> commands;
        std::size_t batchBytes;
        int leastReadTimeout;
    };
    const std::vector<std::string> prologix = CommandsAround({"++savecfg 0"}, {});
    const Case cases[] = {
        {"Prologix GPIB-ETHERNET version 1.6.6.0", Family::Prologix, prologix, 0, 1},
        {"Prologix GPIB-USB Controller version 6.107", Family::Prologix, prologix, 0, 1},
        {"AR488 GPIB controller, ver. 0.53.04, 13/04/2025", Family::Ar488,
         CommandsAround({}, {"++srqauto 0", "++idn 0", "++flags 0"}), 63, 50},
        // Releases before ++flags, and before ++idn.
        {"AR488 GPIB controller, ver. 0.51.09, 20/06/2022", Family::Ar488,
         CommandsAround({}, {"++srqauto 0", "++idn 0"}), 63, 50},
        {"AR488 GPIB controller, ver. 0.48.08, 27/01/2020", Family::Ar488,
         CommandsAround({}, {"++srqauto 0"}), 63, 50},
        // Version texts of the user's own, as the AR488 manual suggests for
        // programs that look for a Prologix.
        {"AR488 GPIB-USB version 6", Family::Ar488,
         CommandsAround({}, {"++srqauto 0", "++idn 0", "++flags 0"}), 63, 50},
        {"GPIB-USB version 6.1", Family::Other, prologix, 63, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.versionLine);
        const AdapterFirmware firmware = FirmwareOfVersionLine(c.versionLine);
        EXPECT_EQ(firmware.family, c.family);
        EXPECT_EQ(SetUpCommands(firmware, 100), c.commands);
        EXPECT_EQ(SetUpBatchBytes(firmware), c.batchBytes);
        EXPECT_EQ(LeastReadTimeoutMilliseconds(firmware), c.leastReadTimeout);
    }
}

}  // namespace
}  // namespace quillon
