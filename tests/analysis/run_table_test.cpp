#include "analysis/run_table.h"

#include <gtest/gtest.h>

#include "common/date_text.h"
#include "tests/support/crlf_lines.h"

namespace quillon {
namespace {

RunListRow Row(const std::string& started, const std::string& sample, const std::string& note,
               std::optional<double> cet)
{
    RunListRow row(kRunListColumnCount);
    row[kStartedColumn] = {started.empty() ? kNotAvailable : started, {}, {}};
    row[kSampleColumn].text = sample;
    row[kNoteColumn].text = note;
    row[kCetColumn] = cet ? RunListCell{"x", cet, {}} : RunListCell{kNotAvailable, {}, "why"};
    return row;
}

// Newest first by default; cells without a value last in either order;
// the filter looks at sample and note only, ignoring case.
TEST(RunTable, ListedRowsSortWithMissingValuesLastAndFilterBySampleAndNote)
{
    const std::vector<RunListRow> rows = {
        Row("2026-12-07 10:00:00", "W1-d1", "", 3.1),
        Row("", "w2-d1", "after anneal", std::nullopt),
        Row("2026-12-08 09:00:00", "w1-d2", "", 2.5),
        Row("2026-12-06 09:00:00", "", "w1 repeat", 4.0),
    };
    struct Case {
        int column;
        bool ascending;
        std::string filter;
        std::vector<std::size_t> listed;
    };
    const Case cases[] = {
        {kStartedColumn, false, "", {2, 0, 3, 1}}, {kStartedColumn, true, "", {3, 0, 2, 1}},
        {kCetColumn, true, "", {2, 0, 3, 1}},      {kCetColumn, false, "", {3, 0, 2, 1}},
        {kSampleColumn, true, "", {0, 2, 1, 3}},   {kStartedColumn, false, "w1", {2, 0, 3}},
        {kStartedColumn, false, "ANNEAL", {1}},    {kStartedColumn, false, "nothing", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ListedRows(rows, c.column, c.ascending, c.filter), c.listed)
            << c.column << c.ascending << c.filter;
}

TEST(RunTable, TheTableQuotesAsCsvDoesAndSaysNaForMissingValues)
{
    StoredRun run;
    run.path = "/runs/cv-a-20261207-100000.csv";
    run.started = CalendarDate(2026, 12, 7, 10, 0, 0);
    run.sample = "w1, \"d1\"";
    run.note = "line\nbreak";
    run.frequencyHertz = 100000;
    RunOverview overview;
    overview.oxideCapacitance.value = 1.234567e-10;
    overview.equivalentThickness.value = 2.8e-9;
    overview.flatBandUp.value = -0.8125;
    overview.seriesResistance.value = 12.34;
    const std::vector<std::string> csv = testing::CrLfLines(RunTableText({{&run, &overview}}, ','));
    ASSERT_EQ(csv.size(), 2u);
    EXPECT_EQ(csv[1],
              "\"w1, \"\"d1\"\"\",\"line\nbreak\",2026-12-07 10:00:00,cv-a-20261207-100000.csv,"
              "100000,1.23457E-10,2.80,n/a,-0.813,n/a,n/a,n/a,n/a,12.3");
    const std::vector<std::string> tabs =
        testing::CrLfLines(RunTableText({{&run, &overview}}, '\t'));
    EXPECT_EQ(tabs[1].rfind("w1, \"d1\"\tline break\t2026-12-07 10:00:00\t", 0), 0u) << tabs[1];
}

}  // namespace
}  // namespace quillon
