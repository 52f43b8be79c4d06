#include "analysis/csv_data_file.h"

#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <utility>
#include <vector>

#include "analysis/result_table.h"
#include "analysis/sweep_legs.h"
#include "common/date_text.h"
#include "tests/support/temp_folder.h"
#include "tests/support/three_point_sweep.h"

namespace quillon {
namespace {

CsvRunContext Context()
{
    CsvRunContext context;
    context.started = CalendarDate(2026, 12, 7, 14, 30, 15);
    context.sample = "wafer3/d12";
    context.note = "after anneal\nat 400 C";
    context.settings.text = {"-3", "3",      "0.05", "100000", "4", "0.01",
                             "50", " 10000", "0",    "17",     "2"};
    context.settings.check = {1, 1, 0, 1, 0};
    context.settings.option = 2;
    context.meterIdentification = "HEWLETT-PACKARD,4284A,0,REV01.20\n";
    // A line break in a value must not start a line of its own.
    context.bus = "simulated\r\nV,C,G";
    context.programVersion = "0.1";
    context.elapsedMilliseconds = 7270;
    // No flat-band ratio: it shows as n/a.
    context.summary = SummaryFigures{3, 7270, 3.3e-10, -4.5e-12, 1e-3, 1.019e-8f, 9.66e15, {}};
    context.correction = CorrectionState{
        true, false, 1, CalendarDate(2026, 12, 7, 14, 2, 11), std::nullopt, std::nullopt};
    return context;
}

TEST(CsvDataFile, CommentsThenTheHeaderThenTheTableRowsWithCommas)
{
    EXPECT_EQ(CsvDataFileText(Context(), testing::ThreePointSweep()),
              "# quillon: C-V and G-V measurement\r\n"
              "# started: 2026-12-07 14:30:15\r\n"
              "# sample: wafer3/d12\r\n"
              "# note: after anneal at 400 C\r\n"
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
              "# bus: simulated  V,C,G\r\n"
              "# program: quillon 0.1\r\n"
              "# correction: open on, short off, cable 1 m, open 2026-12-07 14:02:11, short "
              "never\r\n"
              "# points: 3\r\n"
              "# duration [s]: 7.270\r\n"
              "# rate: 0.413/s\r\n"
              "# Cmax [F]: 3.30000E-10\r\n"
              "# Cmin [F]: -4.50000E-12\r\n"
              "# Gmax [S]: 1.00000E-03\r\n"
              "# CET: 10.19nm\r\n"
              "# Nsub [cm-3]: 9.66E+15\r\n"
              "# CFB / Cmax: n/a\r\n"
              "# columns: V bias [V] as typed, C parallel capacitance Cp [F], G conductance [S], "
              "sweep up or down as the bias went, cycle from 1\r\n"
              "V,C,G,sweep,cycle\r\n"
              "-1.500,1.23457E-10,3.20000E-06,up,1\r\n"
              "0.000,3.30000E-10,1.00000E-03,up,1\r\n"
              "1.500,-4.50000E-12,0.00000E+00,up,1\r\n");
}

// What pandas' read_csv(path, comment="#") does: lines that start with "#"
// are skipped, the first line left names the columns, every other one is a
// row of numbers.
TEST(CsvDataFile, ReadsBackAsTheColumnsVCAndGOfNumbers)
{
    std::istringstream file(CsvDataFileText(Context(), testing::ThreePointSweep()));
    std::vector<std::vector<std::string>> table;
    for (std::string line; std::getline(file, line);) {
        ASSERT_EQ(line.back(), '\r');
        if (line[0] == '#') continue;
        std::istringstream fields(line.substr(0, line.size() - 1));
        table.emplace_back();
        for (std::string cell; std::getline(fields, cell, ',');) table.back().push_back(cell);
    }
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[0], (std::vector<std::string>{"V", "C", "G", "sweep", "cycle"}));
    for (std::size_t row = 1; row < table.size(); ++row) {
        ASSERT_EQ(table[row].size(), 5u);
        for (std::size_t column = 0; column < 3; ++column) {
            const std::string& cell = table[row][column];
            std::size_t used = 0;
            std::stod(cell, &used);
            EXPECT_EQ(used, cell.size()) << cell;
        }
    }
}

// Each point's sweep as the plan laid it out, in the user's sign: a double
// sweep of two cycles, an inverted single sweep that falls, and settings
// that make no plan or one shorter than the points.
TEST(CsvDataFile, SweepColumnFollowsThePlanInTheUsersSign)
{
    struct Case {
        std::array<std::string, 3> startStopStep;
        int invert;
        int doubleSweep;
        std::string cycles;
        int points;
        std::string legs;  // direction letter and cycle per point
    };
    const Case cases[] = {
        {{"0", "1", "0.5"}, 0, 1, "2", 12, "u1u1u1d1d1d1u2u2u2d2d2d2"},
        {{"0", "1", "0.5"}, 1, 0, "2", 6, "u1u1u1u2u2u2"},
        {{"1", "0", "0.5"}, 1, 1, "1", 6, "d1d1d1u1u1u1"},
        {{"0", "1", "0.5"}, 0, 0, "1", 4, ""},
        {{"0", "1", "0"}, 0, 0, "1", 1, ""},
    };
    for (const Case& c : cases) {
        MeasurementSettingsValues settings;
        settings.text = {c.startStopStep[0],
                         c.startStopStep[1],
                         c.startStopStep[2],
                         "1000",
                         "1",
                         "0",
                         "50",
                         "100",
                         "0",
                         "17",
                         c.cycles};
        settings.check[kInvertBias] = c.invert;
        settings.check[kDoubleSweep] = c.doubleSweep;
        std::string legs;
        for (const SweepLeg& leg : PlannedLegs(settings, c.points))
            legs += (leg.direction == SweepDirection::Up ? "u" : "d") + std::to_string(leg.cycle);
        EXPECT_EQ(legs, c.legs) << c.startStopStep[0] << " to " << c.startStopStep[1];
    }
}

TEST(CsvDataFile, SampleNamesAreMadeSafeForFileNames)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {" wafer 3/d12 ", "wafer_3_d12"},
        {"../..\\x:y*?\"<>|\t", "x_y______"},
        {"..", ""},
        {"試料" + std::string(60, 'a'), "試料" + std::string(54, 'a')},
        {std::string(59, 'a') + "é", std::string(59, 'a')},
    };
    for (const auto& [sample, name] : cases) EXPECT_EQ(FileNameOfSample(sample), name) << sample;
    EXPECT_EQ(AutoSaveFileName(Context().started, "wafer3/d12"),
              "cv-wafer3_d12-20261207-143015.csv");
}

TEST(CsvDataFile, AutoSaveNamesTheFileByTheStartAndNeverReplacesOne)
{
    testing::TempFolder temp;
    const std::string folder = temp.File("").string();
    const CsvRunContext context = Context();
    const SweepData sweep = testing::ThreePointSweep();
    EXPECT_EQ(AutoSaveFileName(context.started), "cv-20261207-143015.csv");
    temp.Write("cv-wafer3_d12-20261207-143015.csv", "a run of the same second");
    const std::string text = CsvDataFileText(context, sweep);
    EXPECT_EQ(AutoSaveRun(folder, context, text).failure, std::nullopt);
    const AutoSaveResult third = AutoSaveRun(folder, context, text);
    EXPECT_EQ(third.failure, std::nullopt);
    EXPECT_EQ(third.path, temp.File("cv-wafer3_d12-20261207-143015-3.csv").string());
    EXPECT_EQ(temp.Read("cv-wafer3_d12-20261207-143015.csv"), "a run of the same second");
    EXPECT_EQ(temp.Read("cv-wafer3_d12-20261207-143015-2.csv"), CsvDataFileText(context, sweep));
    EXPECT_TRUE(temp.Exists("cv-wafer3_d12-20261207-143015-3.csv"));
}

}  // namespace
}  // namespace quillon
