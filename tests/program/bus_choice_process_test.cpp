// The program as a script meets it: a Driver setting that cannot be used
// ends --run and --list at once, with status 3 and the reason, in lines a
// terminal shows one below the other.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/bus_choice.h"
#include "app/command_line.h"
#include "tests/support/program_process.h"
#include "tests/support/temp_folder.h"

namespace quillon {
namespace {

TEST(ProgramProcess, AnUnusableDriverEndsRunAndListWithStatusThreeAndTheReason)
{
    testing::TempFolder folder;
    folder.Write("Quillon.ini", "[gpib]\r\nDriver=/nonexistent/quillon/libgpib.so.0\r\n");
    for (const char* mode : {"--run", "--list"}) {
        SCOPED_TRACE(mode);
        const testing::ProgramOutcome outcome =
            testing::RunProgram(QUILLON_PROGRAM, {mode, "--folder", folder.File("").string()});
        EXPECT_EQ(outcome.exitStatus, kExitMeterNotOpened) << outcome.err;
        EXPECT_EQ(outcome.out, "");
        EXPECT_NE(outcome.err.find("The GPIB driver library /nonexistent/quillon/libgpib.so.0 "
                                   "could not be loaded"),
                  std::string::npos)
            << outcome.err;
        EXPECT_NE(outcome.err.find(std::string("\n") + kUnusableBusNotice + "\n"),
                  std::string::npos)
            << outcome.err;
        EXPECT_EQ(outcome.err.find('\r'), std::string::npos) << outcome.err;
        for (const auto& entry : std::filesystem::directory_iterator(folder.File("")))
            EXPECT_EQ(entry.path().filename(), "Quillon.ini") << "nothing measured, nothing logged";
    }
}

}  // namespace
}  // namespace quillon
