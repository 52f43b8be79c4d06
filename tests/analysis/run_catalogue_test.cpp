#include "analysis/run_catalogue.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "analysis/csv_data_file.h"
#include "common/date_text.h"
#include "tests/support/temp_folder.h"
#include "tests/support/three_point_sweep.h"

namespace quillon {
namespace {

std::string CsvOf(const std::string& sample)
{
    CsvRunContext context;
    context.started = CalendarDate(2026, 12, 7, 10, 0, 0);
    context.sample = sample;
    context.settings.text = {"0", "1", "0.5", "1000", "1", "0", "50", "100", "0", "17", "1"};
    // The correction's line, times and all, is read past as any comment.
    context.correction = CorrectionState{
        true, true, 1, CalendarDate(2026, 12, 7, 9, 50, 0), std::nullopt, std::nullopt};
    return CsvDataFileText(context, testing::ThreePointSweep());
}

std::vector<std::string> Samples(const RunCatalogue& catalogue)
{
    std::vector<std::string> samples;
    for (const CataloguedRun& entry : catalogue.Runs()) samples.push_back(entry.run.sample);
    return samples;
}

// The folder read again replaces what it gave before: a deleted file goes,
// a broken one is named and left out, files of other folders stay, and two
// files of one name in two folders are two runs.
TEST(RunCatalogue, AFolderReadAgainReplacesItsRunsAndKeepsTheFilesOpenedElsewhere)
{
    testing::TempFolder temp;
    std::filesystem::create_directories(temp.File("runs"));
    std::filesystem::create_directories(temp.File("other"));
    temp.Write("runs/a.csv", CsvOf("a"));
    temp.Write("runs/b.csv", CsvOf("b"));
    temp.Write("runs/notes.txt", "not a run");
    temp.Write("other/a.csv", CsvOf("elsewhere"));
    RunCatalogue catalogue;
    const std::string runs = temp.File("runs").string();
    EXPECT_TRUE(catalogue.ReadFolder(runs).empty());
    EXPECT_EQ(catalogue.ReadFile(temp.File("other/a.csv").string()), std::nullopt);
    EXPECT_EQ(Samples(catalogue), (std::vector<std::string>{"a", "b", "elsewhere"}));

    std::filesystem::remove(temp.File("runs/a.csv"));
    temp.Write("runs/c.csv", "# quillon: C-V and G-V measurement\r\n");
    const std::vector<RunFileProblem> problems = catalogue.ReadFolder(runs);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].file, temp.File("runs/c.csv").string());
    EXPECT_EQ(Samples(catalogue), (std::vector<std::string>{"elsewhere", "b"}));
    ASSERT_NE(catalogue.Find(RunKey(catalogue.Runs()[1].run)), nullptr);
    EXPECT_EQ(catalogue.Runs()[1].row[kSampleColumn].text, "b");

    // A folder not made yet has no runs and no problem.
    EXPECT_TRUE(catalogue.ReadFolder(temp.File("none").string()).empty());
}

}  // namespace
}  // namespace quillon
