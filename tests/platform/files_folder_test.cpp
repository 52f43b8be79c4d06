#include "platform/files_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/temp_folder.h"

namespace quillon {
namespace {

TEST(FilesFolder, NamedFolderThenAWritableProgramFolderThenTheUserDataFolder)
{
    const testing::TempFolder program;
    const std::string programPath = program.Folder().Path();
    std::ofstream(program.File("quillon")) << "a file, not a folder";
    const testing::TempFolder prefix;
    std::filesystem::create_directories(prefix.File("bin"));
    std::filesystem::create_directories(prefix.File("share/applications"));
    std::ofstream(prefix.File("share/applications/quillon.desktop")) << "[Desktop Entry]\n";
    const std::string data = "/home/user/.local/share/quillon";
    struct Case {
        const char* what;
        FilesFolderCandidates candidates;
        FilesFolder chosen;
    };
    const Case cases[] = {
        {"named", {"/lab/run", programPath, data}, {"/lab/run", FilesFolderReason::Named}},
        {"a folder of its own",
         {{}, programPath, data},
         {programPath, FilesFolderReason::ProgramFolder}},
        {"a folder that is not there",
         {{}, programPath + "/gone", data},
         {data, FilesFolderReason::UserDataFolder}},
        {"a file", {{}, programPath + "/quillon", data}, {data, FilesFolderReason::UserDataFolder}},
        {"installed under a prefix",
         {{}, prefix.File("bin").string(), data},
         {data, FilesFolderReason::UserDataFolder}},
    };
    for (const Case& c : cases) {
        const FilesFolder chosen = ChooseFilesFolder(c.candidates);
        EXPECT_EQ(chosen.path, c.chosen.path) << c.what;
        EXPECT_EQ(chosen.reason, c.chosen.reason) << c.what;
    }
}

TEST(FilesFolder, CreatedWithItsParentsUnlessAFileIsInTheWay)
{
    const testing::TempFolder temp;
    const std::string nested = temp.File("share/quillon").string();
    EXPECT_EQ(CreateFilesFolder(nested), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_directory(nested));
    EXPECT_EQ(CreateFilesFolder(nested), std::nullopt) << "an existing folder is fine";

    temp.Write("taken", "");
    const std::optional<std::string> problem = CreateFilesFolder(temp.File("taken").string());
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->rfind("cannot create the folder " + temp.File("taken").string() + ": ", 0),
              0u)
        << *problem;
}

}  // namespace
}  // namespace quillon
