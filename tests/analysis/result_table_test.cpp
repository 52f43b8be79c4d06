#include "analysis/result_table.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>

#include "tests/support/temp_folder.h"

namespace quillon {
namespace {

SweepData Points(std::initializer_list<std::array<double, 3>> points)
{
    SweepData sweep;
    sweep.Allocate(static_cast<int>(points.size()));
    std::size_t i = 1;
    for (const auto& point : points) {
        sweep.Bias[i] = point[0];
        sweep.Capacitance[i] = point[1];
        sweep.Conductance[i] = point[2];
        ++i;
    }
    sweep.PointCount = static_cast<int16_t>(points.size());
    return sweep;
}

TEST(ResultTable, RowsUseTheTablePatternsAndTabs)
{
    const SweepData sweep = Points({{-1.5, 1.2345678e-10, 3.2e-6}, {0, 0, 0}, {2, -4.5e-12, 1e-3}});
    EXPECT_EQ(ResultRow(sweep, 1), "-1.500\t1.23457E-10\t3.20000E-06");
    EXPECT_EQ(ResultRow(sweep, 2), "0.000\t0.00000E+00\t0.00000E+00");
    EXPECT_EQ(ResultRow(sweep, 3), "2.000\t-4.50000E-12\t1.00000E-03");
}

TEST(ResultTable, TableEndsEveryLineFileNotTheLast)
{
    const SweepData sweep = Points({{0, 1e-10, 1e-6}, {0.5, 2e-10, 2e-6}});
    EXPECT_EQ(ResultTableText(sweep),
              "V[V]\tC[F]\tG[S]\r\n0.000\t1.00000E-10\t1.00000E-06\r\n"
              "0.500\t2.00000E-10\t2.00000E-06\r\n");
    EXPECT_EQ(DataFileText(sweep),
              "V[V]\tC[F]\tG[S]\r\n0.000\t1.00000E-10\t1.00000E-06\r\n"
              "0.500\t2.00000E-10\t2.00000E-06");
    EXPECT_EQ(DataFileText(Points({{1, 1e-10, 1e-6}})),
              "V[V]\tC[F]\tG[S]\r\n1.000\t1.00000E-10\t1.00000E-06");
    EXPECT_EQ(ResultTableText(SweepData{}), "V[V]\tC[F]\tG[S]\r\n");
}

TEST(ResultTable, OnlyPointsThatExistAreRead)
{
    // A run in progress: new arrays of 2 points, the count of the last run,
    // and one point of the new run read so far.
    SweepData sweep = Points({{0, 1e-10, 1e-6}, {1, 2e-10, 2e-6}, {2, 3e-10, 3e-6}});
    sweep.Allocate(2);
    sweep.Bias = {0, -0.5, 0.5};
    sweep.Capacitance[1] = 4e-10;
    sweep.RunPointsRead = 1;
    EXPECT_EQ(ResultTableText(sweep), "V[V]\tC[F]\tG[S]\r\n-0.500\t4.00000E-10\t0.00000E+00\r\n");
    // Ended with fewer points than the last run had: the arrays bound the rows.
    sweep.RunPointsRead.reset();
    EXPECT_EQ(ResultTableText(sweep),
              "V[V]\tC[F]\tG[S]\r\n-0.500\t4.00000E-10\t0.00000E+00\r\n"
              "0.500\t0.00000E+00\t0.00000E+00\r\n");
}

TEST(ResultTable, DecimalPointWhateverTheLocale)
{
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no decimal-comma locale installed";
    const std::string row = ResultRow(Points({{-0.25, 1.5e-10, 2.5e-7}}), 1);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(row, "-0.250\t1.50000E-10\t2.50000E-07");
}

TEST(DataFileName, TxtIsAppendedUnlessTheNameEndsExactlyInIt)
{
    EXPECT_EQ(DataFileName("data"), "data.txt");
    EXPECT_EQ(DataFileName("data.txt"), "data.txt");
    EXPECT_EQ(DataFileName("data.TXT"), "data.TXT.txt");
    EXPECT_EQ(DataFileName("/home/lab/run 3.dat"), "/home/lab/run 3.dat.txt");
    EXPECT_EQ(DataFileName(".txt"), ".txt");
    EXPECT_EQ(DataFileName("txt"), "txt.txt");
}

TEST(SaveDataFile, ReplacesTheFileWholeOrNotAtAll)
{
    testing::TempFolder temp;
    const std::string path = temp.File("run.txt").string();
    temp.Write("run.txt", "an older run");
    std::filesystem::permissions(path, std::filesystem::perms(0640));
    const SweepData sweep = Points({{0, 1e-10, 1e-6}});
    EXPECT_EQ(SaveDataFile(path, sweep), std::nullopt);
    EXPECT_EQ(temp.Read("run.txt"), DataFileText(sweep));
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));
    // Nothing else is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.File("")), {}), 1);

    const std::string nowhere = temp.File("missing/run.txt").string();
    EXPECT_EQ(SaveDataFile(nowhere, sweep),
              "The data could not be saved to " + nowhere + ": No such file or directory.");
    std::filesystem::create_directory(temp.File("folder.txt"));
    EXPECT_EQ(SaveDataFile(temp.File("folder.txt").string(), sweep),
              "The data could not be saved to " + temp.File("folder.txt").string() +
                  ": not a regular file.");
    // A name no folder can hold is refused for that, not taken for a folder or the like.
    const std::string tooLong = temp.File(std::string(300, 'r') + ".txt").string();
    EXPECT_EQ(SaveDataFile(tooLong, sweep),
              "The data could not be saved to " + tooLong + ": File name too long.");
}

}  // namespace
}  // namespace quillon
