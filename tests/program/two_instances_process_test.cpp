// Two programs measuring into one folder at once: each record in the
// month's log stays whole, and the run that cannot have the log says so
// and measures all the same.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/crlf_lines.h"
#include "tests/support/program_process.h"
#include "tests/support/temp_folder.h"

namespace quillon {
namespace {

// -1 V to 1 V in 20 mV steps on the simulated meter at a third of its real
// pace: 101 points, about a second a run.
constexpr const char* kSettings =
    "[meas]\r\nValue_00=-1\r\nValue_01=1\r\nValue_02=0.02\r\nValue_03=100000\r\nValue_04=1\r\n"
    "Value_05=0\r\nValue_06=50\r\nValue_07=10000\r\nValue_08=0\r\nValue_09=17\r\nValue_10=1\r\n"
    "Check_00=0\r\nCheck_01=0\r\nCheck_02=0\r\nCheck_03=0\r\nCheck_04=0\r\nINTEG=0\r\n"
    "[gpib]\r\nDriver=simulated\r\n[simulator]\r\nTimeScale=0.3\r\n";
constexpr int kPoints = 101;
constexpr const char* kNoLog = "This run has no log: ";

TEST(ProgramProcess, TwoRunsOnOneFolderKeepEveryRecordWholeAndApart)
{
    testing::TempFolder folder;
    folder.Write("Quillon.ini", kSettings);
    const std::vector<std::string> arguments{"--run", "--folder", folder.File("").string()};
    std::vector<std::unique_ptr<testing::ProgramProcess>> runs;
    for (int i = 0; i < 2; ++i)
        runs.push_back(std::make_unique<testing::ProgramProcess>(QUILLON_PROGRAM, arguments));
    int logged = 0;
    for (auto& run : runs) {
        const testing::ProgramOutcome outcome = run->Wait();
        EXPECT_EQ(outcome.exitStatus, 0) << outcome.err;
        EXPECT_NE(outcome.out.find(std::to_string(kPoints) + "Points\n"), std::string::npos)
            << outcome.out;
        const auto noLog = outcome.err.find(kNoLog);
        if (noLog == std::string::npos) {
            ++logged;
        } else {
            EXPECT_NE(outcome.err.find("held by another measurement run", noLog), std::string::npos)
                << outcome.err;
        }
    }

    // Each record: its first line, the header, every point in order, the
    // empty line; nothing of another record in between.
    std::string month;
    for (const auto& entry : std::filesystem::directory_iterator(folder.File("")))
        if (entry.path().extension() == ".log") month = entry.path().filename().string();
    ASSERT_FALSE(month.empty());
    const std::vector<std::string> lines = testing::CrLfLines(folder.Read(month));
    const std::size_t recordLines = 3 + kPoints;
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(logged) * recordLines);
    for (std::size_t start = 0; start < lines.size(); start += recordLines) {
        EXPECT_EQ(lines[start].rfind("Measurement:", 0), 0u) << lines[start];
        EXPECT_EQ(lines[start + 1].rfind("0.000,V,C,G", 0), 0u) << lines[start + 1];
        for (int k = 0; k < kPoints; ++k) {
            const int millivolts = -1000 + 20 * k;
            char bias[16];
            std::snprintf(bias, sizeof bias, "%s%d.%03d,", millivolts < 0 ? "-" : "",
                          std::abs(millivolts) / 1000, std::abs(millivolts) % 1000);
            const std::string& line = lines[start + 2 + static_cast<std::size_t>(k)];
            EXPECT_EQ(line.rfind(bias, 0), 0u) << line;
        }
        EXPECT_EQ(lines[start + recordLines - 1], "");
    }
}

}  // namespace
}  // namespace quillon
