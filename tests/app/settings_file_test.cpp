#include "app/settings_file.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QCoreApplication>
#include <optional>
#include <string>

#include "platform/module_ini.h"
#include "tests/app/saved_settings_section.h"
#include "tests/support/temp_folder.h"

namespace quillon {
namespace {

using testing::TempFolder;

constexpr const char* kIni = "Quillon.ini";

TEST(IndexedKey, UsesAtLeastTwoDigits)
{
    EXPECT_EQ(IndexedKey("Value_", 0), "Value_00");
    EXPECT_EQ(IndexedKey("Value_", 7), "Value_07");
    EXPECT_EQ(IndexedKey("Value_", 10), "Value_10");
    EXPECT_EQ(IndexedKey("Check_", 4), "Check_04");
}

TEST(ReadIni, GivesErrorForAnythingMissingAndCutsLongValues)
{
    TempFolder temp;
    EXPECT_EQ(ReadIni(temp.Folder(), "meas", "Value_00"), "ERROR");

    temp.Write(kIni, "[meas]\r\nValue_00=" + std::string(300, 'x') + "\r\nValue_01=\r\n");
    EXPECT_EQ(ReadIni(temp.Folder(), "meas", "Value_00"), std::string(254, 'x'));
    EXPECT_EQ(ReadIni(temp.Folder(), "meas", "Value_01"), "");
    EXPECT_EQ(ReadIni(temp.Folder(), "meas", "Value_02"), "ERROR");
    EXPECT_EQ(ReadIni(temp.Folder(), "Area", "Value_00"), "ERROR");
}

TEST(ReadIni, TheFileLivesInTheProgramFolderWhateverTheWorkingDirectory)
{
    EXPECT_EQ(ExecutableFolder().Path(), QCoreApplication::applicationDirPath().toStdString());
    EXPECT_EQ(SettingsFilePath(ExecutableFolder()),
              QCoreApplication::applicationDirPath().toStdString() + "/Quillon.ini");

    TempFolder temp;
    ASSERT_TRUE(WriteIni(temp.Folder(), "5", "meas", "Value_00"));
    EXPECT_TRUE(temp.Exists(kIni));
    EXPECT_EQ(SettingsFilePath(temp.Folder()), temp.File(kIni).string());
    EXPECT_EQ(ReadIni(temp.Folder(), "MEAS", "value_00"), "5");
}

TEST(StoredSettings, NoFileReadsErrorEverywhereAndShort)
{
    TempFolder temp;
    const StoredSettings stored = ReadStoredSettings(temp.Folder());
    for (const std::string& value : stored.values) EXPECT_EQ(value, "ERROR");
    for (int check : stored.checks) EXPECT_EQ(check, 0);
    EXPECT_EQ(stored.integration, 0);
    EXPECT_FALSE(temp.Exists(kIni)) << "a load must not create the file";
}

TEST(StoredSettings, FirstSaveWritesTheSectionLineForLine)
{
    TempFolder temp;
    MeasurementSettingsValues values;
    values.text = {"-3", "3", ".1", "1e3", "4", "0.01", "50", " 10000", "0", "17", "2"};
    values.check = {1, 0, 1, 0, 1};
    values.option = 2;
    WriteStoredSettings(temp.Folder(), values);
    EXPECT_EQ(temp.Read(kIni), testing::SavedSettingsSection(values));

    // What a load of "ERROR" everywhere shows is stored as it is shown.
    TempFolder empty;
    MeasurementSettingsValues shown;
    shown.text.fill("ERROR");
    shown.option = 0;
    WriteStoredSettings(empty.Folder(), shown);
    EXPECT_EQ(empty.Read(kIni), testing::SavedSettingsSection(shown));
}

TEST(StoredSettings, SaveThenLoadGivesTheSameInputs)
{
    TempFolder temp;
    MeasurementSettingsValues values;
    values.text = {"-2.5", "2.5", "0.05", "100000", "8", " 0.02 ", "20", "1234.5", "1", "23", "3"};
    values.check = {0, 1, 1, 1, 0};
    values.option = 1;
    WriteStoredSettings(temp.Folder(), values);
    EXPECT_NE(temp.Read(kIni).find("\r\nValue_10=3\r\n"), std::string::npos);
    EXPECT_NE(temp.Read(kIni).find("\r\nINTEG= 1\r\n"), std::string::npos);

    const StoredSettings stored = ReadStoredSettings(temp.Folder());
    for (int i = 0; i < kTextFieldCount; ++i) {
        if (i != kTriggerDelay) {
            EXPECT_EQ(stored.values[i], values.text[i]) << i;
        }
    }
    // Blanks around a value do not survive; a run trims this one anyway.
    EXPECT_EQ(stored.values[kTriggerDelay], "0.02");
    EXPECT_EQ(stored.checks, values.check);
    EXPECT_EQ(stored.integration, 1);

    // A second save rewrites the values in place and adds nothing.
    const std::string first = temp.Read(kIni);
    values.text[kStartBias] = "-1";
    WriteStoredSettings(temp.Folder(), values);
    std::string expected = first;
    expected.replace(expected.find("Value_00=-2.5"), 13, "Value_00=-1");
    EXPECT_EQ(temp.Read(kIni), expected);
}

TEST(StoredSettings, NamesMatchWithoutRegardToCase)
{
    TempFolder temp;
    temp.Write(kIni, "[MEAS]\r\nValue_03=1000\r\nInteg=2\r\nCHECK_02=1\r\n");
    const StoredSettings stored = ReadStoredSettings(temp.Folder());
    EXPECT_EQ(stored.values[kFrequency], "1000");
    EXPECT_EQ(stored.integration, 2);
    EXPECT_EQ(stored.checks[kQuitWhenUnbal], 1);
}

TEST(StoredSettings, ChecksAndIntegrationTakeTheIntegerPartOrFallBack)
{
    TempFolder temp;
    temp.Write(kIni,
               "[meas]\r\nCheck_00=abc\r\nCheck_01=1.9\r\nCheck_02=2\r\nCheck_03=-0.5\r\n"
               "Check_04= 1 \r\ninteg=1.7\r\n");
    StoredSettings stored = ReadStoredSettings(temp.Folder());
    EXPECT_EQ(stored.checks, (std::array<int, kCheckFieldCount>{0, 1, 0, 0, 1}));
    EXPECT_EQ(stored.integration, 1);

    for (const char* integ : {"3", "-1", "LONG", "", "1e9"}) {
        temp.Write(kIni, std::string("[meas]\r\ninteg=") + integ + "\r\n");
        EXPECT_EQ(ReadStoredSettings(temp.Folder()).integration, 0) << integ;
    }
}

TEST(StoredSettings, InvertIsWrittenButNeverRead)
{
    TempFolder temp;
    MeasurementSettingsValues values;
    values.check[kInvertBias] = 1;
    values.option = 0;
    WriteStoredSettings(temp.Folder(), values);
    EXPECT_NE(temp.Read(kIni).find("\r\nInvert= 1\r\n"), std::string::npos);

    temp.Write(kIni, "[meas]\r\nCheck_00=0\r\nInvert= 1\r\n");
    EXPECT_EQ(ReadStoredSettings(temp.Folder()).checks[kInvertBias], 0);
}

TEST(StoredSettings, NoOptionSelectedWritesNoInteg)
{
    TempFolder temp;
    WriteStoredSettings(temp.Folder(), MeasurementSettingsValues{});
    EXPECT_EQ(temp.Read(kIni).find("INTEG"), std::string::npos);
}

TEST(StoredSettings, OtherFileShapesLoadAndKeepTheirContent)
{
    TempFolder temp;
    MeasurementSettingsValues values;
    values.option = 2;

    // LF line ends, a byte-order mark, comments and a foreign section.
    const std::string handEdited =
        "\xEF\xBB\xBF; lab PC 3\n[meas]\nValue_00=-4\nCheck_01=1\n\n[Area]\nValue_00=50\n";
    temp.Write(kIni, handEdited);
    StoredSettings stored = ReadStoredSettings(temp.Folder());
    EXPECT_EQ(stored.values[kStartBias], "-4");
    EXPECT_EQ(stored.checks[kDoubleSweep], 1);
    WriteStoredSettings(temp.Folder(), values);
    const std::string saved = temp.Read(kIni);
    EXPECT_EQ(saved.rfind("\xEF\xBB\xBF; lab PC 3\n[meas]\n", 0), 0u);
    EXPECT_NE(saved.find("\n\n[Area]\nValue_00=50\n"), std::string::npos);
    EXPECT_EQ(ReadStoredSettings(temp.Folder()).values[kStartBias], "START");
    EXPECT_EQ(ReadIni(temp.Folder(), "Area", "Value_00"), "50");

    // Binary garbage: nothing reads from it, and a save keeps it and adds the section.
    std::string garbage;
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) % 256);
    temp.Write(kIni, garbage);
    stored = ReadStoredSettings(temp.Folder());
    EXPECT_EQ(stored.values[kStopBias], "ERROR");
    WriteStoredSettings(temp.Folder(), values);
    EXPECT_EQ(temp.Read(kIni).compare(0, garbage.size(), garbage), 0);
    EXPECT_EQ(ReadStoredSettings(temp.Folder()).values[kStopBias], "STOP");
    EXPECT_EQ(ReadStoredSettings(temp.Folder()).integration, 2);
}

TEST(StoredSettings, ASaveReplacesTheFileOnceForAllItsKeys)
{
    // Replaced once per key, a kill between two would leave old and new values mixed.
    TempFolder temp;
    temp.Write(kIni, "[other]\r\nx=1\r\n");
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, temp.Folder().Path().c_str(), IN_MOVED_TO), 0);
    EXPECT_EQ(WriteStoredSettings(temp.Folder(), MeasurementSettingsValues{}), std::nullopt);
    alignas(inotify_event) char events[16 * (sizeof(inotify_event) + 256)];
    const ssize_t length = ::read(watch, events, sizeof events);
    ::close(watch);
    int replacements = 0;
    for (ssize_t at = 0; at < length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(events + at);
        replacements += std::string(event->name) == kIni ? 1 : 0;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    EXPECT_EQ(replacements, 1);
    EXPECT_EQ(ReadStoredSettings(temp.Folder()).values[kAcLevel], "LEVEL");
}

TEST(StoredSettings, AFolderThatCannotBeWrittenLosesNothing)
{
    TempFolder temp;
    // A "folder" that is a file cannot take a settings file, whoever runs the test.
    temp.Write("not-a-folder", "keep me");
    const FixedFolder blocked(temp.File("not-a-folder").string());
    EXPECT_EQ(WriteStoredSettings(blocked, MeasurementSettingsValues{}),
              "The settings could not be saved in " + temp.File("not-a-folder").string() +
                  "/Quillon.ini: Not a directory.");
    EXPECT_EQ(temp.Read("not-a-folder"), "keep me");
    EXPECT_EQ(ReadStoredSettings(blocked).values[kStartBias], "ERROR");
    EXPECT_FALSE(WriteIni(blocked, "1", "meas", "Value_00"));
}

}  // namespace
}  // namespace quillon
