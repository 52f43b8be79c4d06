#include "bus/prologix_location.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "bus/prologix_driver.h"
#include "tests/bus/prologix_fixture.h"

namespace quillon {
namespace {

using testing::Contains;
using testing::SharedVirtualClock;

// ----- the adapter's location -----------------------------------------------

TEST(PrologixLocation, HostPortAndSerialDevice)
{
    auto location = ParsePrologixLocation("192.168.1.20");
    ASSERT_TRUE(location);
    EXPECT_EQ(location->host, "192.168.1.20");
    EXPECT_EQ(location->port, 1234);
    EXPECT_EQ(PrologixLocationText(*location), "192.168.1.20:1234");

    location = ParsePrologixLocation(" gpib-lab.example:5025 ");
    ASSERT_TRUE(location);
    EXPECT_EQ(location->host, "gpib-lab.example");
    EXPECT_EQ(location->port, 5025);

    location = ParsePrologixLocation("[fe80::1]:1235");
    ASSERT_TRUE(location);
    EXPECT_EQ(location->host, "fe80::1");
    EXPECT_EQ(PrologixLocationText(*location), "[fe80::1]:1235");
    location = ParsePrologixLocation("fe80::2");
    ASSERT_TRUE(location);
    EXPECT_EQ(location->port, 1234);

    location = ParsePrologixLocation("/dev/ttyUSB0");
    ASSERT_TRUE(location);
    EXPECT_EQ(location->devicePath, "/dev/ttyUSB0");
    EXPECT_EQ(location->host, "");
    EXPECT_EQ(PrologixLocationText(*location), "/dev/ttyUSB0");

    for (const char* bad : {"", "  ", "host:", "host:0", "host:65536", "host:12a", "[::1",
                            "[::1]1234", "two words", "[]:80"})
        EXPECT_FALSE(ParsePrologixLocation(bad)) << bad;
}

TEST(PrologixLocation, SerialDeviceThatIsNotATerminalIsRefusedWithTheReason)
{
    SharedVirtualClock clock;
    const PrologixOpening missing = OpenPrologixAdapter("/nonexistent/ttyUSB7", clock);
    EXPECT_FALSE(missing.driver);
    EXPECT_TRUE(Contains(missing.refusal, "/nonexistent/ttyUSB7"));
    EXPECT_TRUE(Contains(missing.refusal, std::strerror(ENOENT))) << missing.refusal;

    const PrologixOpening notTerminal = OpenPrologixAdapter("/dev/null", clock);
    EXPECT_FALSE(notTerminal.driver);
    EXPECT_TRUE(Contains(notTerminal.refusal, std::strerror(ENOTTY))) << notTerminal.refusal;
}

}  // namespace
}  // namespace quillon
