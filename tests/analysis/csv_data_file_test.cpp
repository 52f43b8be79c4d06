#include "analysis/csv_data_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <vector>

#include "analysis/result_table.h"
#include "tests/app/temp_folder.h"
#include "tests/common/calendar_date.h"

namespace quillon {
namespace {

SweepData ThreePoints()
{
    SweepData sweep;
    sweep.Allocate(3);
    sweep.Bias = {0, -1.5, 0, 1.5};
    sweep.Capacitance = {0, 1.2345678e-10, 3.3e-10, -4.5e-12};
    sweep.Conductance = {0, 3.2e-6, 1e-3, 0};
    sweep.PointCount = 3;
    return sweep;
}

CsvRunContext Context()
{
    CsvRunContext context;
    context.started = testing::CalendarDate(2026, 12, 7, 14, 30, 15);
    context.settings.text = {"-3", "3", "0.05", "100000", "4", "0.01", "50", " 10000", "0", "17",
                             "2"};
    context.settings.check = {1, 1, 0, 1, 0};
    context.settings.option = 2;
    context.meterIdentification = "HEWLETT-PACKARD,4284A,0,REV01.20\n";
    context.bus = "simulated";
    context.programVersion = "0.1";
    context.elapsedMilliseconds = 7270;
    SummaryFigures summary;
    summary.pointCount = 3;
    summary.elapsedMilliseconds = 7270;
    summary.cmax = 3.3e-10;
    summary.cmin = -4.5e-12;
    summary.gmax = 1e-3;
    summary.cet = 1.019e-8f;
    summary.doping = 9.66e15;
    context.summary = summary;
    return context;
}

TEST(CsvDataFile, CommentsThenTheHeaderThenTheTableRowsWithCommas)
{
    const SweepData sweep = ThreePoints();
    EXPECT_EQ(CsvDataFileText(Context(), sweep),
              "# quillon: C-V and G-V measurement\r\n"
              "# started: 2026-12-07 14:30:15\r\n"
              "# start bias [V]: -3\r\n"
              "# stop bias [V]: 3\r\n"
              "# bias step [V]: 0.05\r\n"
              "# double sweep: yes\r\n"
              "# cycles: 2\r\n"
              "# invert bias: yes\r\n"
              "# quit when unbalanced: no\r\n"
              "# frequency [Hz]: 100000\r\n"
              "# AC level [mV]: 50\r\n"
              "# trigger delay [s]: 0.01\r\n"
              "# averaging: 4\r\n"
              "# integration: LONG\r\n"
              "# pad area [um2]: 10000\r\n"
              "# GPIB board: 0\r\n"
              "# 4284A address: 17\r\n"
              "# meter: HEWLETT-PACKARD,4284A,0,REV01.20\r\n"
              "# bus: simulated\r\n"
              "# program: quillon 0.1\r\n"
              "# points: 3\r\n"
              "# duration [s]: 7.270\r\n"
              "# rate: 0.413/s\r\n"
              "# Cmax [F]: 3.30000E-10\r\n"
              "# Cmin [F]: -4.50000E-12\r\n"
              "# Gmax [S]: 1.00000E-03\r\n"
              "# CET: 10.19nm\r\n"
              "# Nsub [cm-3]: 9.66E+15\r\n"
              "# CFB / Cmax: n/a\r\n"
              "# columns: V bias [V] as typed, C parallel capacitance Cp [F], G conductance [S]\r\n"
              "V,C,G\r\n"
              "-1.500,1.23457E-10,3.20000E-06\r\n"
              "0.000,3.30000E-10,1.00000E-03\r\n"
              "1.500,-4.50000E-12,0.00000E+00\r\n");
}

TEST(CsvDataFile, WhatIsNotKnownIsSaidSoAndNoValueBreaksItsLine)
{
    CsvRunContext context;
    context.started = testing::CalendarDate(2024, 3, 5, 9, 7, 9);
    context.settings.text[kStartBias] = "1\r\n# injected: line";
    const std::string text = CsvDataFileText(context, SweepData{});
    for (const char* line :
         {"# start bias [V]: 1  # injected: line\r\n", "# integration: not selected\r\n",
          "# meter: not read\r\n", "# bus: not known\r\n", "# points: 0\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    // Without a summary there are no summary lines; the header follows.
    EXPECT_EQ(text.find("# Cmax"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 7), "V,C,G\r\n");
}

// What a reader such as pandas' read_csv(path, comment="#") does: lines
// that start with "#" and empty lines are skipped, the first line left names
// the columns, the rest are rows of numbers.
TEST(CsvDataFile, ReadsBackAsColumnsVCAndGWithTheTableNumbers)
{
    const SweepData sweep = ThreePoints();
    std::istringstream file(CsvDataFileText(Context(), sweep));
    std::vector<std::string> header;
    std::vector<std::vector<double>> rows;
    for (std::string line; std::getline(file, line);) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r');
        line.pop_back();
        if (line[0] == '#') continue;
        std::istringstream fields(line);
        std::vector<std::string> cells;
        for (std::string cell; std::getline(fields, cell, ',');) cells.push_back(cell);
        ASSERT_EQ(cells.size(), 3u) << line;
        if (header.empty()) {
            header = cells;
            continue;
        }
        std::vector<double> row;
        for (const std::string& cell : cells) {
            std::size_t used = 0;
            row.push_back(std::stod(cell, &used));
            EXPECT_EQ(used, cell.size()) << cell;
        }
        rows.push_back(row);
    }
    EXPECT_EQ(header, (std::vector<std::string>{"V", "C", "G"}));
    ASSERT_EQ(rows.size(), 3u);
    for (int i = 1; i <= 3; ++i) {
        std::string table = ResultRow(sweep, i);
        std::istringstream cells(table);
        for (double value : rows[static_cast<std::size_t>(i - 1)]) {
            double expected = 0;
            cells >> expected;
            EXPECT_EQ(value, expected) << table;
        }
    }
}

TEST(CsvDataFile, AutoSaveNamesTheFileByTheStartAndNeverReplacesOne)
{
    testing::TempFolder temp;
    const std::string folder = temp.File("").string();
    const CsvRunContext context = Context();
    const SweepData sweep = ThreePoints();
    EXPECT_EQ(AutoSaveFileName(context.started), "cv-20261207-143015.csv");
    temp.Write("cv-20261207-143015.csv", "a run of the same second");
    ASSERT_EQ(AutoSaveRun(folder, context, sweep), std::nullopt);
    ASSERT_EQ(AutoSaveRun(folder, context, sweep), std::nullopt);
    EXPECT_EQ(temp.Read("cv-20261207-143015.csv"), "a run of the same second");
    EXPECT_EQ(temp.Read("cv-20261207-143015-2.csv"), CsvDataFileText(context, sweep));
    EXPECT_TRUE(temp.Exists("cv-20261207-143015-3.csv"));

    const std::string missing = temp.File("missing").string();
    EXPECT_EQ(AutoSaveRun(missing, context, sweep),
              "The data could not be saved to " + missing +
                  "/cv-20261207-143015.csv: No such file or directory.");
    EXPECT_EQ(WithExtension("run", kCsvExtension), "run.csv");
}

}  // namespace
}  // namespace quillon
