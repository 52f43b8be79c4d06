// Each folder of the program includes only the folders below it, so that a
// driver never learns of a window and the simulated bus is chosen from
// above, never from within the drivers. The table is the layering; a new
// include that crosses it fails here, with its file and line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

namespace quillon {
namespace {

const std::map<std::string, std::set<std::string>> kMayInclude = {
    {"common", {}},
    {"platform", {"common"}},
    {"bus", {"platform", "common"}},
    {"gpib", {"bus", "platform", "common"}},
    {"sim", {"bus", "platform", "common"}},
    {"measure", {"gpib", "bus", "platform", "common"}},
    {"analysis", {"measure", "gpib", "bus", "platform", "common"}},
    {"app", {"analysis", "measure", "gpib", "sim", "bus", "platform", "common"}},
    {"fuzz", {"analysis", "measure", "gpib", "sim", "bus", "platform", "common"}},
};

TEST(IncludeLayers, EachFolderIncludesOnlyTheFoldersBelowIt)
{
    const std::filesystem::path source(QUILLON_SOURCE_DIR);
    const std::regex include(R"(^\s*#\s*include\s*"([a-z_]+)/)");
    int filesRead = 0;
    for (const auto& [folder, below] : kMayInclude) {
        for (const auto& entry : std::filesystem::directory_iterator(source / folder)) {
            const std::string extension = entry.path().extension().string();
            if (extension != ".cpp" && extension != ".h") continue;
            ++filesRead;
            std::ifstream in(entry.path());
            int lineNumber = 0;
            for (std::string line; std::getline(in, line);) {
                ++lineNumber;
                std::smatch match;
                if (!std::regex_search(line, match, include)) continue;
                const std::string included = match[1];
                EXPECT_TRUE(included == folder || below.count(included))
                    << entry.path().lexically_relative(source).string() << ":" << lineNumber
                    << " includes " << included << "/";
            }
        }
    }
    EXPECT_GT(filesRead, 100);
}

}  // namespace
}  // namespace quillon
