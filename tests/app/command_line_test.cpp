// quillon --run and --list over the simulated meter in virtual time, and the
// options that lead there.
#include "app/command_line.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "app/bus_choice.h"
#include "app/command_line_run.h"
#include "app/correction_settings.h"
#include "app/first_start_settings.h"
#include "gpib/gpib_binding.h"
#include "sim/simulated_lab.h"
#include "tests/support/crlf_lines.h"
#include "tests/support/interrupting_clock.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/temp_folder.h"

namespace quillon {
namespace {

TEST(ParseCommandLine, ReadsTheModesAndTheirValues)
{
    struct Case {
        std::vector<std::string> arguments;
        ProgramMode mode;
        std::optional<std::string> folder;
        std::optional<std::string> saveFile;
        std::optional<std::string> sample;
    };
    const Case cases[] = {
        {{}, ProgramMode::Window, {}, {}, {}},
        {{"--folder", "/lab"}, ProgramMode::Window, "/lab", {}, {}},
        {{"--run", "--save", "out 1.csv", "--folder=/lab"},
         ProgramMode::Run,
         "/lab",
         "out 1.csv",
         {}},
        {{"--save=a.csv", "--run", "--run"}, ProgramMode::Run, {}, "a.csv", {}},
        {{"--run", "--sample", "w3 d12", "--note="}, ProgramMode::Run, {}, {}, "w3 d12"},
        {{"--list"}, ProgramMode::List, {}, {}, {}},
        {{"--run", "--help"}, ProgramMode::Help, {}, {}, {}},
        {{"-h"}, ProgramMode::Help, {}, {}, {}},
        {{"--version"}, ProgramMode::Version, {}, {}, {}},
        {{"--correct", "short", "--spot"}, ProgramMode::Correct, {}, {}, {}},
        {{"--folder=/lab", "--correct=open"}, ProgramMode::Correct, "/lab", {}, {}},
    };
    for (const Case& c : cases) {
        const auto parsed = ParseCommandLine(c.arguments);
        ASSERT_TRUE(std::holds_alternative<CommandLineOptions>(parsed)) << c.arguments.size();
        const auto& options = std::get<CommandLineOptions>(parsed);
        EXPECT_EQ(options.mode, c.mode);
        EXPECT_EQ(options.folder, c.folder);
        EXPECT_EQ(options.saveFile, c.saveFile);
        EXPECT_EQ(options.sample, c.sample);
    }
}

TEST(ParseCommandLine, AWrongOptionGivesOneLineThatNamesIt)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--runn"}, "quillon: unknown option '--runn'"},
        {{"-platform", "xcb"}, "quillon: unknown option '-platform'"},
        {{"data.csv"}, "quillon: unexpected argument 'data.csv'"},
        {{"--run", "--folder"}, "quillon: --folder needs a folder"},
        {{"--run", "--save="}, "quillon: --save needs a file name"},
        {{"--save", "a.csv"}, "quillon: --save goes with --run"},
        {{"--sample", "w3"}, "quillon: --sample goes with --run"},
        {{"--run", "--note"}, "quillon: --note needs a value"},
        {{"--list", "--run"}, "quillon: --run and --list exclude each other"},
        {{"--correct", "load"}, "quillon: --correct takes open or short, not 'load'"},
        {{"--run", "--correct", "open"}, "quillon: --correct excludes --run and --list"},
        {{"--correct", "open", "--list"}, "quillon: --correct excludes --run and --list"},
        {{"--run", "--spot"}, "quillon: --spot goes with --correct"},
        {{"--run=1"}, "quillon: unknown option '--run=1'"},
        {{"--run", "--save", "a.csv", "--save=b.csv"}, "quillon: --save is given twice"},
        {{"--folder", "x", "--list", "--folder", "y"}, "quillon: --folder is given twice"},
    };
    for (const auto& [arguments, start] : cases) {
        const auto parsed = ParseCommandLine(arguments);
        ASSERT_TRUE(std::holds_alternative<WrongOption>(parsed)) << start;
        const std::string& message = std::get<WrongOption>(parsed).message;
        EXPECT_EQ(message, start + "; 'quillon --help' lists the options");
        EXPECT_EQ(message.find('\n'), std::string::npos);
    }
}

class CommandLineRunTest : public ::testing::Test {
protected:
    ~CommandLineRunTest() override { DeselectGpibDriver(); }

    // 0 V to 1 V in 0.25 V steps at 1 kHz: five points of 40 ms.
    void StartLab(SimulatedMeterFault fault = SimulatedMeterFault::None)
    {
        SimulatedLabSettings labSettings;
        labSettings.fault = fault;
        lab = MakeSimulatedLab(clock, labSettings);
        SelectGpibDriver(*lab.bus);
        if (lab.meter) lab.meter->RecordTranscript(true);
        settings.text = {"0", "1", "0.25", "1000", "1", "0", "50", "10000", "0", "17", "1"};
        settings.option = 0;
    }

    int Run(const std::optional<std::string>& saveFile = std::nullopt)
    {
        CommandLineRunRequest request;
        request.saveFile = saveFile;
        request.busDescription = "simulated";
        request.sample = sample;
        return RunFromCommandLine(Environment{clock, temp.Folder(), desktop}, settings, request,
                                  stopSignals, {out, err, false});
    }

    std::string Messages() const
    {
        std::string all;
        for (const auto& message : desktop.messages) all += message.text + "|";
        return all;
    }

    std::optional<std::string> sample;
    testing::InterruptingClock clock;
    SimulatedLab lab;
    testing::TempFolder temp;
    testing::RecordingDesktop desktop;
    StopSignals stopSignals;
    MeasurementSettingsValues settings;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(CommandLineRunTest, AFinishedRunPrintsItsProgressAndSummaryAndSavesItsPoints)
{
    StartLab();
    temp.Write("Quillon.ini", "[results]\r\nAutoSaveFolder=runs\r\n");
    std::filesystem::create_directory(temp.File("runs"));
    EXPECT_EQ(Run(temp.File("out.csv").string()), kExitFinished);
    // The time left from the second point on, as the window's progress bar shows it.
    EXPECT_EQ(err.str(),
              "0/5 points done\n1/5 points done, 0:00 left\n2/5 points done, 0:00 left\n"
              "3/5 points done, 0:00 left\n4/5 points done, 0:00 left\n5/5 points done\n");
    EXPECT_EQ(out.str().rfind("5Points\n 0.35sec\n14.286/s\nCmax:", 0), 0u) << out.str();
    // The CSV file with the run's settings; the table of "Save Data" for ".txt".
    const std::string csv = temp.Read("out.csv");
    for (const char* line : {"\r\n# bus: simulated\r\n", "\r\n# points: 5\r\n",
                             "\r\nV,C,G,sweep,cycle\r\n0.000,", "\r\n1.000,"})
        EXPECT_NE(csv.find(line), std::string::npos) << line << csv;
    EXPECT_EQ(Run(temp.File("out.txt").string()), kExitFinished);
    const std::vector<std::string> table = testing::CrLfLines(temp.Read("out.txt"));
    ASSERT_EQ(table.size(), 6u);
    EXPECT_EQ(table[0], "V[V]\tC[F]\tG[S]");
    EXPECT_EQ(table[5].rfind("1.000\t", 0), 0u) << table[5];
    EXPECT_EQ(Messages(), "");
    // Both runs also went where START puts every run.
    std::vector<std::string> autoSaved;
    for (const auto& entry : std::filesystem::directory_iterator(temp.File("runs")))
        autoSaved.push_back(entry.path().filename().string());
    std::sort(autoSaved.begin(), autoSaved.end());
    ASSERT_EQ(autoSaved.size(), 2u);
    EXPECT_EQ(autoSaved[0].rfind("cv-20240305-", 0), 0u) << autoSaved[0];
    EXPECT_TRUE(temp.Read("runs/" + autoSaved[0]) == csv ||
                temp.Read("runs/" + autoSaved[1]) == csv);
    EXPECT_FALSE(lab.meter->biasOn());
}

TEST_F(CommandLineRunTest, EachEndingHasItsExitStatus)
{
    struct Case {
        const char* what;
        SimulatedMeterFault fault;
        int field;
        const char* value;
        int status;
        const char* messageStart;
    };
    const Case cases[] = {
        {"a step of 0", SimulatedMeterFault::None, kBiasStep, "0", kExitRefused,
         "Bias Step [V] must not be 0"},
        {"no cycles", SimulatedMeterFault::None, kCycles, "0", kExitRefused, "Cycle of Meas. is 0"},
        {"no board 9", SimulatedMeterFault::None, kGpibBoard, "9", kExitMeterNotOpened,
         "The 4284A could not be opened (GPIB board 9"},
        {"a silent meter", SimulatedMeterFault::NoServiceRequest, kCycles, "1", kExitRunFault,
         "time over"},
        {"UNBAL", SimulatedMeterFault::Overflow, kCycles, "1", kExitRunFault, "測定エラー発生"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        desktop.messages.clear();
        StartLab(c.fault);
        settings.text[static_cast<std::size_t>(c.field)] = c.value;
        settings.check[kQuitWhenUnbal] = 1;
        const std::string saved = temp.File(std::string(c.what) + ".csv").string();
        EXPECT_EQ(Run(saved), c.status);
        EXPECT_EQ(Messages().rfind(c.messageStart, 0), 0u) << Messages();
        // Only the overflowing point was read; nothing else was there to save.
        EXPECT_EQ(std::filesystem::exists(saved), c.fault == SimulatedMeterFault::Overflow);
        if (lab.meter) {
            EXPECT_FALSE(lab.meter->biasOn());
        }
    }
}

TEST_F(CommandLineRunTest, ASaveFileThatCannotBeWrittenRefusesTheRunBeforeTheBus)
{
    StartLab();
    std::filesystem::create_directory(temp.File("folder.csv"));
    ASSERT_EQ(::mkfifo(temp.File("pipe.csv").c_str(), 0600), 0);
    const std::pair<std::string, std::string> cases[] = {
        {temp.File("missing/out.csv").string(), std::strerror(ENOENT)},
        {temp.File("folder.csv").string(), "not a regular file"},
        {temp.File("pipe.csv").string(), "not a regular file"},
        {"/dev/full", "not a regular file"},
        {temp.File(std::string(300, 'a') + ".csv").string(), std::strerror(ENAMETOOLONG)},
    };
    for (const auto& [path, reason] : cases) {
        desktop.messages.clear();
        EXPECT_EQ(Run(path), kExitRefused) << path;
        EXPECT_EQ(Messages(), "The data cannot be saved to " + path + ": " + reason +
                                  ".\nThe measurement was not started.|");
    }
    EXPECT_TRUE(lab.meter->Transcript().empty());
}

TEST_F(CommandLineRunTest, CtrlCStopsTheRunAsStopDoesAndKeepsItsPoints)
{
    StartLab();
    settings.text[kBiasStep] = "0.01";  // 101 points: 4 s
    clock.interruptAt = clock.TickCount() + 1000;
    EXPECT_EQ(Run(temp.File("stopped.txt").string()), kExitStopped);

    EXPECT_EQ(stopSignals.Received(), SIGINT);
    EXPECT_FALSE(lab.meter->biasOn());
    const std::vector<std::string> log = testing::CrLfLines(temp.Read("log-202403.log"));
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log.back(), "") << "the record is closed by its empty line";
    const std::vector<std::string> table = testing::CrLfLines(temp.Read("stopped.txt"));
    EXPECT_GT(table.size(), 2u);
    EXPECT_LT(table.size(), 60u);
    // The log holds the header line, the points read and the empty line.
    EXPECT_EQ(log.size(), table.size() + 2);
    EXPECT_NE(out.str().find("Points\n"), std::string::npos) << out.str();
    EXPECT_EQ(Messages(), "");

    // A signal that came before the run lets it send nothing at all.
    lab.meter->ClearTranscript();
    EXPECT_EQ(Run(), kExitStopped);
    EXPECT_TRUE(lab.meter->Transcript().empty());
}

TEST_F(CommandLineRunTest, ListPrintsEachListenerAndSaysWhetherA4284AAnswered)
{
    StartLab();
    EXPECT_EQ(ListFromCommandLine(desktop, out), kExitFinished);
    const std::string listing = out.str();
    EXPECT_EQ(listing.find("17\t"), 0u) << listing;
    EXPECT_NE(listing.find("4284A"), std::string::npos);
    EXPECT_NE(listing.find("\n22\tHEWLETT-PACKARD,34401A"), std::string::npos) << listing;

    std::ostringstream absentListing;
    StartLab(SimulatedMeterFault::Absent);
    EXPECT_EQ(ListFromCommandLine(desktop, absentListing), kExitRefused);
    EXPECT_EQ(Messages(), "4284A was not found|");
}

TEST_F(CommandLineRunTest, CorrectMeasuresAStandardOrSaysWhyNotWithItsExitStatus)
{
    struct Case {
        const char* what;
        CorrectionStandard standard;
        bool moveProbes;  // as the simulated bench's prompts do
        int board;
        bool stop;
        int status;
        const char* out;
        const char* err;
    };
    const Case cases[] = {
        {"an open", CorrectionStandard::Open, true, 0, false, kExitFinished,
         "open on, short off, cable 0 m, open 2024-03-05 14:0",
         "Lift the probes off the pad: measuring the open at the meter's preset frequencies\n"
         "open: 10 s\n"},
        {"a short on the device", CorrectionStandard::Short, false, 0, false, kExitRunFault,
         "open off, short off", "quillon: The short reads 5.06E+07 ohm uncorrected at 1000 Hz"},
        {"no board 9", CorrectionStandard::Open, true, 9, false, kExitMeterNotOpened, "",
         "quillon: The 4284A could not be opened (GPIB board 9"},
        {"Ctrl+C", CorrectionStandard::Open, true, 0, true, kExitStopped, "open off",
         "quillon: The open correction was cancelled"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StartLab();
        out.str({});
        err.str({});
        settings.text[kGpibBoard] = std::to_string(c.board);
        if (c.stop) clock.interruptAt = clock.TickCount() + 20000;
        const int status =
            CorrectFromCommandLine(Environment{clock, temp.Folder(), desktop}, settings, c.standard,
                                   CorrectionSpan::AllFrequencies,
                                   c.moveProbes ? SimulatedProbeMover(*lab.meter) : ProbeMover{},
                                   stopSignals, {out, err, false});
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(out.str().rfind(c.out, 0), 0u) << out.str();
        EXPECT_NE(err.str().find(c.err), std::string::npos) << err.str();
        EXPECT_EQ(lab.meter->probePosition(), ProbePlacement::OnDevice);
    }
    EXPECT_TRUE(ReadCorrectionTimes(temp.Folder()).lastOpen);
    EXPECT_FALSE(ReadCorrectionTimes(temp.Folder()).lastShort);
}

TEST(StreamDesktop, EveryLineEndOnATerminalIsALineFeed)
{
    std::ostringstream err;
    StreamDesktop desktop(err);
    desktop.ShowMessage("Error putting board offline.\r\nibcnt = 0x16\r\rI'm quitting!", "Error",
                        MessageIcon::Exclamation);
    EXPECT_EQ(err.str(), "Error: Error putting board offline.\nibcnt = 0x16\n\nI'm quitting!\n");
}

TEST(FirstStartSettings, TheFirstStartSweepRunsAsItStands)
{
    testing::TempFolder temp;
    const StoredSettings first = InitialSettings(temp.Folder());
    EXPECT_EQ(first.values[kBiasStep], "0.05");
    const RunPreparation preparation = PrepareRun(SettingsValues(first));
    ASSERT_TRUE(std::holds_alternative<RunPlan>(preparation));
    EXPECT_EQ(std::get<RunPlan>(preparation).biasMillivolts.size(), 121u);
}

}  // namespace
}  // namespace quillon
