#include "analysis/run_file_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/csv_data_file.h"
#include "common/date_text.h"
#include "common/text_number.h"
#include "tests/measure/measure_fixture.h"
#include "tests/support/temp_folder.h"
#include "tests/support/three_point_sweep.h"
#include "tests/support/whole_run.h"

namespace quillon {
namespace {

struct ExpectedRun {
    RunSource source;
    std::string partOfFile;
    std::optional<double> frequencyHertz;
    std::string started;  // "" when not known
    std::vector<MeasuredPoint> points;
    std::vector<SweepLeg> legs = {};
    std::string sample = "";
};

struct GoodFile {
    const char* what;
    std::string text;
    std::vector<ExpectedRun> runs;
};

constexpr auto kUp = SweepDirection::Up;
constexpr auto kDown = SweepDirection::Down;

const std::string kCsvStart =
    "# quillon: C-V and G-V measurement\r\n# started: 2026-12-07 14:30:15\r\n";

const GoodFile kGoodFiles[] = {
    {"an older CSV data file, one point only",
     kCsvStart +
         "# frequency [Hz]: 100000\r\n# points: 1\r\nV,C,G\r\n-1.500,1.23457E-10,3.20000E-06\r\n",
     {{RunSource::CsvDataFile, "", 100000, "2026-12-07 14:30:15", {{-1.5, 1.23457e-10, 3.2e-6}}}}},
    {"a CSV data file with the sweep of each point",
     kCsvStart + "# sample: wafer 7\r\n# note:\r\nV,C,G,sweep,cycle\r\n"
                 "-1.000,1.0E-10,1.0E-06,up,1\r\n1.000,2.0E-10,2.0E-06,down,1\r\n"
                 "-1.000,1.5E-10,1.5E-06,up,2\r\n",
     {{RunSource::CsvDataFile,
       "",
       std::nullopt,
       "2026-12-07 14:30:15",
       {{-1, 1e-10, 1e-6}, {1, 2e-10, 2e-6}, {-1, 1.5e-10, 1.5e-6}},
       {{kUp, 1}, {kDown, 1}, {kUp, 2}},
       "wafer 7"}}},
    {"a CSV data file where one sweep is not known: no legs; a start that cannot be: unknown",
     "# quillon: x\r\n# started: 1900-01-00 "
     "00:00:00\r\nV,C,G,sweep,cycle\r\n-1.000,1.0E-10,1.0E-06,up,1\r\n1.000,2.0E-10,2.0E-06,,\r\n",
     {{RunSource::CsvDataFile, "", std::nullopt, "", {{-1, 1e-10, 1e-6}, {1, 2e-10, 2e-6}}}}},
    {"the table of \"Save Data\"",
     "V[V]\tC[F]\tG[S]\r\n-1.500\t1.23457E-10\t3.20000E-06\r\n0.000\t3.30000E-10\t1.00000E-03",
     {{RunSource::TableFile,
       "",
       std::nullopt,
       "",
       {{-1.5, 1.23457e-10, 3.2e-6}, {0, 3.3e-10, 1e-3}}}}},
    {"a log: a record cut short mid-line, one without points, one closed",
     "Measurement:20240305 14:07:09\r\n0.000,V,C,G                    \r\n"
     "-1.500,+1.23456E-10,+4.56789E-07\r\n-1.000,+1.2\r\n"
     "Measurement:20240305 15:00:00\r\n0.000,V,C,G                    \r\n\r\n"
     "Measurement:20240306 09:00:00\r\n0.000,V,C,G                    \r\n"
     "2.000,+9.90000E+37,+9.90000E+37\r\n\r\n",
     {{RunSource::LogRecord,
       "record 1",
       std::nullopt,
       "2024-03-05 14:07:09",
       {{-1.5, 1.23456e-10, 4.56789e-7}}},
      {RunSource::LogRecord,
       "record 3",
       std::nullopt,
       "2024-03-06 09:00:00",
       {{2, 9.9e37, 9.9e37}}}}},
    {"semicolons, decimal commas, units in brackets, metadata lines before the header",
     "Keithley 4200 export\nDate;2024-03-05\n\nVg [V];Cp [pF];Gp (uS);Time\n"
     "-2,5;12,5;0,5;10:00\n3;1,5E1;2;10:01\n",
     {{RunSource::OtherInstrument,
       "",
       std::nullopt,
       "",
       {{-2.5, 12.5e-12, 0.5e-6}, {3, 15e-12, 2e-6}}}}},
    {"TAB, units after an underscore, one run per frequency in first-appearance order",
     "# sweep of two frequencies\r\nBias_mV\tC_nF\tG_mS\tFreq [kHz]\r\n-500\t1\t2\t100\t\r\n"
     "-500\t3\t4\t1000\r\n500\t5\t6\t100\r\n",
     {{RunSource::OtherInstrument, "100 kHz", 1e5, "", {{-0.5, 1e-9, 2e-3}, {0.5, 5e-9, 6e-3}}},
      {RunSource::OtherInstrument, "1 MHz", 1e6, "", {{-0.5, 3e-9, 4e-3}}}}},
    {"a byte order mark, quoted names, micro signs, fF, trailing separators, LF",
     "\xEF\xBB\xBF\"VGATE\",\"cap(fF)\",\"G [\xC2\xB5S]\",\"frequency\",\n1e-1,2,3,1e6,\n",
     {{RunSource::OtherInstrument, "", 1e6, "", {{0.1, 2e-15, 3e-6}}}}},
};

void PrintTo(const GoodFile& file, std::ostream* out)
{
    *out << file.what;
}

class GoodFiles : public ::testing::TestWithParam<GoodFile> {};

TEST_P(GoodFiles, GiveTheirRuns)
{
    const GoodFile& file = GetParam();
    const RunFileReading reading = ReadRunText("runs.txt", file.text);
    ASSERT_FALSE(reading.problem) << RunFileProblemText(*reading.problem);
    ASSERT_EQ(reading.runs.size(), file.runs.size());
    for (std::size_t r = 0; r < file.runs.size(); ++r) {
        const StoredRun& run = reading.runs[r];
        const ExpectedRun& expected = file.runs[r];
        EXPECT_EQ(run.source, expected.source);
        EXPECT_EQ(run.path, "runs.txt");
        EXPECT_EQ(run.partOfFile, expected.partOfFile);
        EXPECT_EQ(run.frequencyHertz, expected.frequencyHertz);
        EXPECT_EQ(run.sample, expected.sample);
        EXPECT_EQ(run.started ? FormatDate(*run.started, "yyyy-mm-dd hh:nn:ss") : "",
                  expected.started);
        ASSERT_EQ(run.points.size(), expected.points.size()) << "run " << r;
        for (std::size_t i = 0; i < run.points.size(); ++i) {
            EXPECT_DOUBLE_EQ(run.points[i].bias, expected.points[i].bias) << i;
            EXPECT_DOUBLE_EQ(run.points[i].capacitance, expected.points[i].capacitance) << i;
            EXPECT_DOUBLE_EQ(run.points[i].conductance, expected.points[i].conductance) << i;
        }
        ASSERT_EQ(run.legs.size(), expected.legs.size());
        for (std::size_t i = 0; i < run.legs.size(); ++i) {
            EXPECT_EQ(run.legs[i].direction, expected.legs[i].direction) << i;
            EXPECT_EQ(run.legs[i].cycle, expected.legs[i].cycle) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RunFileReader, GoodFiles, ::testing::ValuesIn(kGoodFiles));

struct BadFile {
    const char* what;
    std::string text;
    int line;
    const char* reason;
};

const BadFile kBadFiles[] = {
    {"empty", "", 0, "the file is empty"},
    {"blank lines only", "\r\n \r\n", 0, "the file is empty"},
    {"a NUL byte", "V,C,G\n1,2,3\n" + std::string(1, '\0'), 3, "not a text file"},
    {"UTF-16", std::string("V\0,\0C\0", 6), 1, "byte 0x00"},
    {"no bias column", "Voltage,C,G\n1,2,3\n", 1, "no bias column (V, Bias"},
    {"a unit glued to the name", "V,CpF,G\n1,2,3\n", 1, "no capacitance column (C, Cp or Cap)"},
    {"no conductance column", "V,C\n1,2\n", 1, "no conductance column (G or Gp)"},
    {"no header", "\n1,2,3\n", 2, "the table has no header"},
    {"no table at all", "hello\nworld\n", 0, "no line names the columns"},
    {"a unit that is not one", "V,C [pV],G\n1,2,3\n", 1,
     "'pV' of column 'C [pV]' is not a capacitance unit"},
    {"two bias columns", "V;Vg;C;G\n1;2;3;4\n", 1, "two bias columns, 'V' and 'Vg'"},
    {"mixed column counts", "V,C,G\n1,2,3\n1,2\n", 3, "2 fields where the header (line 1) has 3"},
    {"a decimal comma beside comma separators", "V,C,G\n1,5,2,3\n", 2, "4 fields"},
    {"NaN", "V\tC\tG\n1\tNaN\t3\n", 2, "'NaN' in column 'C' is not a number"},
    {"inf", "V;C;G\n1;2;-inf\n", 2, "'-inf' in column 'G' is not a number"},
    {"text in a number", "V,C,G\n1,2 pF,3\n", 2, "'2 pF' in column 'C'"},
    {"a number beyond a double once in its unit", "V,C,G,f [MHz]\n1,2,3,1e305\n", 2,
     "'1e305' in column 'f [MHz]' is beyond the range"},
    {"a frequency of 0", "V,C,G,f\n1,2,3,0\n", 2, "the frequency '0' is not above 0"},
    {"a header and no rows", "V,C,G\n", 0, "no rows after its header (line 1)"},
    {"a CSV data file cut short", kCsvStart + "# points: 3\r\nV,C,G\r\n1,2,3\r\n1,2,3\r\n", 0,
     "says it holds 3 points but holds 2"},
    {"a CSV data file with another header", kCsvStart + "V,C\r\n1,2\r\n", 3, "the header is 'V,C'"},
    {"a CSV data file with a broken check", kCsvStart + "# double sweep: maybe\r\nV,C,G\r\n", 3,
     "'maybe' of \"double sweep\" is neither yes nor no"},
    {"a CSV data file with a broken sweep", kCsvStart + "V,C,G,sweep,cycle\r\n1,2,3,sideways,1\r\n",
     4, "'sideways' in column sweep is neither up nor down"},
    {"a CSV data file with cycle 0", kCsvStart + "V,C,G,sweep,cycle\r\n1,2,3,up,0\r\n", 4,
     "'0' in column cycle is not a cycle number"},
    {"a CSV data file with NaN", kCsvStart + "V,C,G\r\n1,NaN,3\r\n", 4, "'NaN' in column C"},
    {"a CSV data file without points", kCsvStart + "V,C,G\r\n", 0, "no points, only its header"},
    {"a table file row of two fields", "V[V]\tC[F]\tG[S]\r\n1\t2", 2,
     "2 fields where the header has 3"},
    {"a broken point inside a closed record",
     "Measurement:20240305 "
     "14:07:09\r\n0.000,V,C,G\r\n1.000,+1.2\r\n2.000,+1.00000E-10,+1.00000E-06\r\n\r\n",
     3, "'1.000,+1.2' is not a point of the log"},
    {"a line between records", "Measurement:20240305 14:07:09\r\n0.000,V,C,G\r\n\r\nhello\r\n", 4,
     "'hello' stands outside any record"},
    {"a log without points", "Measurement:20240305 14:07:09\r\n0.000,V,C,G\r\n\r\n", 0,
     "no record of the log holds a point"},
};

void PrintTo(const BadFile& file, std::ostream* out)
{
    *out << file.what;
}

class BadFiles : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadFiles, GiveOneProblemAndNoRuns)
{
    const BadFile& file = GetParam();
    const RunFileReading reading = ReadRunText("bad.csv", file.text);
    ASSERT_TRUE(reading.problem) << file.what;
    EXPECT_TRUE(reading.runs.empty());
    EXPECT_EQ(reading.problem->file, "bad.csv");
    EXPECT_EQ(reading.problem->line, file.line) << reading.problem->reason;
    EXPECT_NE(reading.problem->reason.find(file.reason), std::string::npos)
        << reading.problem->reason;
}

INSTANTIATE_TEST_SUITE_P(RunFileReader, BadFiles, ::testing::ValuesIn(kBadFiles));

TEST(RunFileReader, ProblemTextNamesTheFileAndTheLineWhereThereIsOne)
{
    EXPECT_EQ(RunFileProblemText({"a.csv", 12, "x"}), "a.csv, line 12: x");
    EXPECT_EQ(RunFileProblemText({"a.csv", 0, "x"}), "a.csv: x");
}

TEST(RunFileReader, FilesThatCannotBeReadGiveTheirReasonWithoutBlocking)
{
    testing::TempFolder temp;
    const std::string folder = temp.File("").string();
    temp.Write("huge.txt", "");
    std::filesystem::resize_file(temp.File("huge.txt"), kLargestRunFileBytes + 1);
    ASSERT_EQ(::mkfifo(temp.File("fifo").c_str(), 0600), 0);
    temp.Write("locked.csv", "V,C,G\n1,2,3\n");
    std::filesystem::permissions(temp.File("locked.csv"), std::filesystem::perms::none);
    const struct {
        std::string name;
        const char* reason;
    } cases[] = {
        {"gone.csv", "the file is not there"}, {"", "this is a folder"},
        {"huge.txt", "larger than 64 MiB"},    {"fifo", "not a regular file"},
        {"locked.csv", "not allowed to read"},
    };
    for (const auto& c : cases) {
        if (c.name == "locked.csv" && ::geteuid() == 0) continue;  // root reads it anyway
        const std::string path = temp.File(c.name).string();
        const RunFileReading reading = ReadRunFile(path);
        ASSERT_TRUE(reading.problem) << c.name;
        EXPECT_EQ(reading.problem->file, path);
        EXPECT_EQ(reading.problem->line, 0);
        EXPECT_NE(reading.problem->reason.find(c.reason), std::string::npos)
            << reading.problem->reason;
    }
}

TEST(RunFileReader, TheCsvDataFileReadsBackAsWritten)
{
    CsvRunContext context;
    context.started = CalendarDate(2026, 12, 7, 14, 30, 15);
    context.settings.text = {"-3", "3",      "0.05", "100000", "4", "0.01",
                             "50", " 10000", "0",    "17",     "2"};
    context.settings.check = {1, 1, 0, 0, 0};
    context.settings.option = 2;
    context.bus = "simulated";
    const SweepData sweep = testing::ThreePointSweep();

    testing::TempFolder temp;
    ASSERT_FALSE(SaveCsvDataFile(temp.File("run.csv").string(), context, sweep));
    const RunFileReading reading = ReadRunFile(temp.File("run.csv").string());
    ASSERT_FALSE(reading.problem) << RunFileProblemText(*reading.problem);
    ASSERT_EQ(reading.runs.size(), 1u);
    const StoredRun& run = reading.runs[0];
    ASSERT_TRUE(run.settings);
    for (int field = 0; field < kTextFieldCount; ++field)
        EXPECT_EQ(run.settings->Text1(field), Trimmed(context.settings.Text1(field))) << field;
    for (const int check : {kInvertBias, kDoubleSweep, kQuitWhenUnbal})
        EXPECT_EQ(run.settings->Check1(check), context.settings.Check1(check)) << check;
    EXPECT_EQ(run.settings->SelectedOption2(), 2);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(FormatDate(*run.started, "yyyy-mm-dd hh:nn:ss"), "2026-12-07 14:30:15");
    EXPECT_EQ(run.frequencyHertz, 100000);
    EXPECT_EQ(run.padAreaSquareMicrons, 10000);
    ASSERT_EQ(run.points.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(run.points[i].bias, sweep.Bias[i + 1]);
        EXPECT_EQ(run.points[i].capacitance, sweep.Capacitance[i + 1]);
        EXPECT_EQ(run.points[i].conductance, sweep.Conductance[i + 1]);
    }
}

TEST(RunFileReader, ALogRecordGivesTheRunsPointsWithTheBiasAsSent)
{
    testing::Bench bench;
    MeasurementSettingsValues settings = testing::ThreePointSettings();
    settings.check[kInvertBias] = 1;
    const testing::RunRecord measured = testing::MeasureRun(bench.clock, {}, settings);
    ASSERT_EQ(measured.capacitance.size(), 3u);

    const RunFileReading reading = ReadRunText("log-202612.log", measured.log);
    ASSERT_FALSE(reading.problem) << RunFileProblemText(*reading.problem);
    ASSERT_EQ(reading.runs.size(), 1u);
    const StoredRun& run = reading.runs[0];
    EXPECT_EQ(run.partOfFile, "record 1");
    EXPECT_TRUE(run.started);
    const double userBias[] = {-3, -0.5, 2};
    ASSERT_EQ(run.points.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(run.points[i].bias, -userBias[i]);
        EXPECT_EQ(run.points[i].capacitance, measured.capacitance[i]);
        EXPECT_EQ(run.points[i].conductance, measured.conductance[i]);
    }
}

}  // namespace
}  // namespace quillon
