#include "sim/ar488_configuration.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(Ar488Eeprom, ASaveWritesTheCellsThatChangeAndTheCrc)
{
    Ar488Eeprom eeprom;
    EXPECT_FALSE(eeprom.Saved());
    Ar488Configuration settings;
    ASSERT_EQ(ConfigurationImage(settings).size(), kAr488ConfigurationBytes);
    // A new board's cells read 0xFF: every setting but the secondary
    // address (0xFF, none) is written, and both cells of the CRC.
    EXPECT_EQ(eeprom.Save(settings), 84);
    // The same settings again write nothing.
    EXPECT_EQ(eeprom.Save(settings), 0);
    // A new address: its cell, and the CRC's two.
    settings.primaryAddress = 17;
    EXPECT_EQ(eeprom.Save(settings), 3);
    EXPECT_EQ(eeprom.CellsWritten(), 87);
    ASSERT_TRUE(eeprom.Saved());
    EXPECT_EQ(eeprom.Saved()->primaryAddress, 17);
}

}  // namespace
}  // namespace quillon
