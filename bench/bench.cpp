// Performance figures, one "name value unit" line each.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/bus_choice.h"
#include "app/main_window.h"
#include "app/picture_box.h"
#include "app/settings_file.h"
#include "bench/comparison_charts_bench.h"
#include "bench/frequency_analysis_bench.h"
#include "bench/run_file_reading_bench.h"
#include "bench/runs_window_bench.h"
#include "bench/silent_desktop.h"
#include "common/text_number.h"
#include "gpib/gpib_binding.h"
#include "measure/measurement_run.h"
#include "sim/simulated_lab.h"
#include "sim/simulated_prologix_adapter.h"
#ifdef QUILLON_LINUX_GPIB_KERNEL
#include "tests/support/linux_gpib_kernel.h"
#endif

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// TriggerPoint + CollectPoint through the binding, over a meter that
// measures in no time: what the program itself costs per point.
double TriggerCollectMicroseconds()
{
    quillon::VirtualClock clock;
    quillon::SimulatedLab lab = quillon::MakeSimulatedLab(clock);
    lab.meter->SetInstantMeasurement(true);
    quillon::SelectGpibDriver(*lab.bus);
    quillon::InstrumentSettings settings;
    settings.integration = quillon::Integration::Short;
    settings.acLevel = "50";
    settings.triggerDelay = "0";
    const int16_t ud = quillon::SetUpInstrument(settings, clock).descriptor;
    lab.meter->ClearTranscript();

    std::string reply = quillon::FixedWidth("V,C,G", quillon::kReplyLength);
    constexpr int kPoints = 5000;
    std::vector<double> samples;
    samples.reserve(kPoints);
    for (int i = 0; i < kPoints; ++i) {
        const auto start = std::chrono::steady_clock::now();
        quillon::TriggerPoint(ud, -3.0 + 6.0 * i / kPoints);
        quillon::CollectPoint(ud, reply);
        const auto stop = std::chrono::steady_clock::now();
        samples.push_back(std::chrono::duration<double, std::micro>(stop - start).count());
        if (i % 1000 == 999) lab.meter->ClearTranscript();
    }
    return Median(samples);
}

// "Save setting" and "Laod settong" on a settings file in a scratch folder:
// one file access per key, and every save replaces the file safely.
struct SettingsTimes {
    double saveMilliseconds;
    double loadMilliseconds;
};

SettingsTimes SettingsMilliseconds()
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("quillon-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const quillon::FixedFolder programFolder(folder.string());
    quillon::MeasurementSettingsValues values;
    values.text = {"-3", "3", "0.1", "100000", "4", "0.01", "50", " 10000", "0", "17", "1"};
    values.option = 1;

    constexpr int kRounds = 20;
    std::vector<double> saves;
    std::vector<double> loads;
    for (int i = 0; i < kRounds; ++i) {
        auto start = std::chrono::steady_clock::now();
        quillon::WriteStoredSettings(programFolder, values);
        auto stop = std::chrono::steady_clock::now();
        saves.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
        start = std::chrono::steady_clock::now();
        const quillon::StoredSettings stored = quillon::ReadStoredSettings(programFolder);
        stop = std::chrono::steady_clock::now();
        if (stored.integration != 1) std::fprintf(stderr, "settings did not read back\n");
        loads.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    std::filesystem::remove_all(folder);
    return {Median(saves), Median(loads)};
}

// A desktop that shows nothing: the runs below must not wait for anybody.
// The main window as the run sees it, with the time each point's
// bookkeeping starts (the progress bar is its first window update).
class TimedWindow final : public quillon::RunWindow {
public:
    explicit TimedWindow(quillon::FormLCR& window) : window_(window) {}
    const quillon::MeasurementSettings& Settings() const override { return window_.Settings(); }
    void SetRunning(bool running) override { window_.SetRunning(running); }
    void SetProgressValue(int percent) override
    {
        pointStarts.push_back(std::chrono::steady_clock::now());
        window_.SetProgressValue(percent);
    }
    void SetProgressCaption(const std::string& caption) override
    {
        window_.SetProgressCaption(caption);
    }
    void SetTimeLeft(const std::string& text) override { window_.SetTimeLeft(text); }
    void SetStatusCaptions(const std::array<std::string, quillon::kStatusCaptionCount>& c) override
    {
        window_.SetStatusCaptions(c);
    }
    void YieldOnce() override { window_.YieldOnce(); }
    bool StopRequested() const override { return window_.StopRequested(); }
    void ClearStopRequest() override { window_.ClearStopRequest(); }

    std::vector<std::chrono::steady_clock::time_point> pointStarts;

private:
    quillon::FormLCR& window_;
};

struct ScratchFolder {
    ScratchFolder()
        : path(std::filesystem::temp_directory_path() /
               ("quillon-bench-run-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(path);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path); }
    std::filesystem::path path;
};

// Runs a sweep of `points` points at SHORT and `hertz` through the main
// window; returns the time stamps of the points.
std::vector<std::chrono::steady_clock::time_point> RunThroughWindow(quillon::Clock& clock,
                                                                    int points, int hertz)
{
    ScratchFolder scratch;
    const quillon::FixedFolder folder(scratch.path.string());
    quillon::SilentDesktop desktop;
    quillon::FormLCR window(quillon::Environment{clock, folder, desktop});
    const auto& ui = window.Controls();
    const std::string stop = quillon::SignedDecimal((points - 1) * 0.001);
    const char* texts[quillon::kTextFieldCount] = {"0",  stop.c_str(), "0.001", "",   "1", "0",
                                                   "50", "10000",      "0",     "17", "1"};
    for (int i = 0; i < quillon::kTextFieldCount; ++i) ui.Text1[i]->setText(texts[i]);
    ui.Text1[quillon::kFrequency]->setText(QString::number(hertz));
    ui.Option2[0]->setChecked(true);
    window.show();
    TimedWindow timed(window);
    quillon::SweepData sweep;
    quillon::RunMeasurement(timed, sweep, quillon::Environment{clock, folder, desktop},
                            [](quillon::SweepData&, const quillon::RunTimes&) {});
    if (sweep.PointCount != points)
        std::fprintf(stderr, "the run read %d of %d points\n", sweep.PointCount, points);
    return timed.pointStarts;
}

// The program's own cost per point of a run through the main window over a
// meter that measures in no time.
double PointOverheadMicroseconds()
{
    quillon::VirtualClock clock;
    quillon::SimulatedLab lab = quillon::MakeSimulatedLab(clock);
    lab.meter->SetInstantMeasurement(true);
    quillon::SelectGpibDriver(*lab.bus);
    const auto starts = RunThroughWindow(clock, 5000, 1000);
    std::vector<double> samples;
    for (std::size_t i = 1; i < starts.size(); ++i)
        samples.push_back(
            std::chrono::duration<double, std::micro>(starts[i] - starts[i - 1]).count());
    quillon::DeselectGpibDriver();
    return samples.empty() ? 0.0 : Median(samples);
}

struct LargeRunTimes {
    double drawGraphsMilliseconds;
    double showResultMilliseconds;
};

// A 32767-point run through the main window (virtual time, instant meter),
// then the graphs of its points drawn into both pictures, and "Show Result".
LargeRunTimes LargeRunMilliseconds()
{
    quillon::VirtualClock clock;
    quillon::SimulatedLab lab = quillon::MakeSimulatedLab(clock);
    lab.meter->SetInstantMeasurement(true);
    quillon::SelectGpibDriver(*lab.bus);
    ScratchFolder scratch;
    const quillon::FixedFolder folder(scratch.path.string());
    quillon::SilentDesktop desktop;
    quillon::FormLCR window(quillon::Environment{clock, folder, desktop});
    const auto& ui = window.Controls();
    const char* texts[quillon::kTextFieldCount] = {"-16.383", "16.383", "0.001", "1000", "1", "0",
                                                   "50",      "10000",  "0",     "17",   "1"};
    for (int i = 0; i < quillon::kTextFieldCount; ++i) ui.Text1[i]->setText(texts[i]);
    ui.Option2[0]->setChecked(true);
    window.show();
    window.Command1_Click();
    if (window.Sweep().PointCount != quillon::kMostPlannedPoints)
        std::fprintf(stderr, "the large run read %d points\n", window.Sweep().PointCount);

    std::vector<double> draws;
    std::vector<double> shows;
    for (int round = 0; round < 5; ++round) {
        auto start = std::chrono::steady_clock::now();
        quillon::SweepData sweep = window.Sweep();
        if (std::optional<quillon::Graphs> graphs = quillon::DrawGraphs(sweep))
            window.ShowGraphs(*graphs);
        // Both drawings finished, the hidden tab's included.
        ui.Picture1->BackingImage();
        ui.Picture2->BackingImage();
        QApplication::processEvents();
        auto stop = std::chrono::steady_clock::now();
        draws.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
        start = std::chrono::steady_clock::now();
        window.Command6_Click();
        QApplication::processEvents();
        stop = std::chrono::steady_clock::now();
        shows.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    quillon::DeselectGpibDriver();
    return {Median(draws), Median(shows)};
}

struct RunWallTime {
    double wallMilliseconds;
    double expectedMilliseconds;
};

// A run in real time over the meter's own timing, against the time the
// meter and the fixed pauses take by themselves (the same run on virtual
// time, where the program costs nothing).
RunWallTime RunWallMilliseconds(int points, int hertz)
{
    quillon::VirtualClock virtualClock;
    {
        quillon::SimulatedLab lab = quillon::MakeSimulatedLab(virtualClock);
        quillon::SelectGpibDriver(*lab.bus);
        RunThroughWindow(virtualClock, points, hertz);
        quillon::DeselectGpibDriver();
    }
    quillon::SystemClock systemClock;
    quillon::SimulatedLab lab = quillon::MakeSimulatedLab(systemClock);
    quillon::SelectGpibDriver(*lab.bus);
    const auto start = std::chrono::steady_clock::now();
    RunThroughWindow(systemClock, points, hertz);
    const auto stop = std::chrono::steady_clock::now();
    quillon::DeselectGpibDriver();
    return {std::chrono::duration<double, std::milli>(stop - start).count(),
            static_cast<double>(virtualClock.TickCount())};
}

// The time from the meter's first trigger to its last reply read, against
// `points` times the meter's own measuring time.
double RunOverMeterTime(const quillon::Simulated4284A& meter, int points)
{
    std::optional<uint32_t> firstTrigger;
    uint32_t lastReply = 0;
    for (const quillon::DeviceEvent& event : meter.Transcript()) {
        if (event.kind == quillon::DeviceEvent::Kind::Message && event.text == "*TRG" &&
            !firstTrigger)
            firstTrigger = event.tick;
        if (event.kind == quillon::DeviceEvent::Kind::Read) lastReply = event.tick;
    }
    const double meterMilliseconds = points * meter.MeasurementMilliseconds();
    return firstTrigger ? (lastReply - *firstTrigger) / meterMilliseconds : 0.0;
}

struct PrologixRunFigures {
    double efficiency;
    double linesPerPoint;
};

// A 100-point run at SHORT and 100 kHz, where the meter takes 30 ms a
// point, through the main window and the stand-in Prologix adapter on TCP
// loopback, in real time; each of the adapter's answers waits
// `answerDelayMilliseconds` before it goes, and the adapter is the `board`
// given (an AR488 on an Uno: its bytes paced both ways at 115200 baud, 63 of
// them kept while it is busy). The time from the meter's first trigger to
// its last reply read, against 100 times the meter's own time; and the
// adapter's command and data lines a point costs, set-up included.
PrologixRunFigures PrologixRun(int answerDelayMilliseconds,
                               const quillon::SimulatedPrologixAdapter::Board& board = {})
{
    constexpr int kPoints = 100;
    quillon::SystemClock clock;
    quillon::SimulatedLab lab = quillon::MakeSimulatedLab(clock);
    quillon::SimulatedPrologixAdapter adapter(*lab.bus, {lab.meter, lab.multimeter});
    adapter.SetAnswerDelay(answerDelayMilliseconds);
    adapter.SetBoard(board);
    quillon::PrologixOpening opening = quillon::OpenPrologixAdapter(adapter.Location(), clock);
    if (!opening.driver) {
        std::fprintf(stderr, "%s\n", opening.refusal.c_str());
        return {0, 0};
    }
    quillon::SelectGpibDriver(*opening.driver);
    lab.meter->RecordTranscript(true);
    const std::size_t linesBefore = adapter.Lines().size();
    RunThroughWindow(clock, kPoints, 100000);
    const std::size_t lines = adapter.Lines().size() - linesBefore;
    quillon::DeselectGpibDriver();
    if (adapter.LostBytes() > 0)
        std::fprintf(stderr, "the adapter lost %zu bytes\n", adapter.LostBytes());
    return {RunOverMeterTime(*lab.meter, kPoints), static_cast<double>(lines) / kPoints};
}

#ifdef QUILLON_LINUX_GPIB_KERNEL
// The same run through the real linux-gpib library, its calls answered by
// the emulation of the kernel's /dev/gpib0, in real time.
double LinuxGpibRunEfficiency()
{
    constexpr int kPoints = 100;
    quillon::SystemClock clock;
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("quillon-bench-linux-gpib-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    double efficiency = 0.0;
    {
        quillon::testing::LinuxGpibKernel kernel(clock);
        quillon::DriverLibraryLoad load = quillon::testing::LoadLinuxGpibInstance(folder);
        if (load.driver) {
            quillon::SelectGpibDriver(*load.driver);
            kernel.meter().RecordTranscript(true);
            RunThroughWindow(clock, kPoints, 100000);
            quillon::DeselectGpibDriver();
            efficiency = RunOverMeterTime(kernel.meter(), kPoints);
        } else {
            std::fprintf(stderr, "%s\n", load.refusal.c_str());
        }
    }
    std::filesystem::remove_all(folder);
    return efficiency;
}
#endif

// The start-up of the program, as main() does it, in a process of its own:
// the bus chosen from the settings file, the window made, its settings
// loaded, shown. Writes one line when the window is on screen.
int StartUpChild(int argc, char* argv[], const std::string& folderPath)
{
    QApplication application(argc, argv);
    quillon::SystemClock clock;
    const quillon::FixedFolder folder(folderPath);
    quillon::SilentDesktop desktop;
    quillon::ChosenBus bus = quillon::ChooseBus(folder, clock);
    quillon::SelectGpibDriver(quillon::ChosenDriver(bus));
    quillon::FormLCR window(quillon::Environment{clock, folder, desktop});
    window.show();
    QApplication::processEvents();
    std::printf("shown\n");
    std::fflush(stdout);
    quillon::DeselectGpibDriver();
    return 0;
}

// A 32767-point run with both graphs drawn, in a process of its own; writes
// the process's peak resident memory in kB.
int PeakMemoryChild(int argc, char* argv[])
{
    QApplication application(argc, argv);
    LargeRunMilliseconds();
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) std::printf("%ld\n", std::atol(line.c_str() + 6));
    return 0;
}

// Starts this program with `mode`; returns the milliseconds until its first
// line arrived, and the line.
std::pair<double, std::string> RunChild(const char* self, const char* mode, const char* argument)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return {0, {}};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    char* const arguments[] = {const_cast<char*>(self), const_cast<char*>(mode),
                               const_cast<char*>(argument), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawned = posix_spawn(&child, self, &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    std::string line;
    char c = 0;
    while (spawned == 0 && ::read(pipeEnds[0], &c, 1) == 1 && c != '\n') line += c;
    const auto arrived = std::chrono::steady_clock::now();
    ::close(pipeEnds[0]);
    if (spawned == 0) ::waitpid(child, nullptr, 0);
    return {std::chrono::duration<double, std::milli>(arrived - start).count(), line};
}

double StartUpMilliseconds(const char* self)
{
    ScratchFolder scratch;
    // A settings file as a user's would be.
    std::ofstream(scratch.path / "Quillon.ini", std::ios::binary)
        << "[meas]\r\nValue_00=-3\r\nValue_01=3\r\nValue_02=0.1\r\nValue_03=100000\r\n"
           "Value_04=4\r\nValue_05=0.01\r\nValue_06=50\r\nValue_07= 10000\r\nValue_08=0\r\n"
           "Value_09=17\r\nValue_10=1\r\nINTEG= 1\r\n";
    std::vector<double> samples;
    for (int i = 0; i < 7; ++i) {
        const auto [milliseconds, line] = RunChild(self, "--start-up", scratch.path.c_str());
        if (line == "shown") samples.push_back(milliseconds);
    }
    return samples.empty() ? 0.0 : Median(samples);
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && std::string(argv[1]) == "--start-up") return StartUpChild(1, argv, argv[2]);
    if (argc >= 2 && std::string(argv[1]) == "--peak-memory") return PeakMemoryChild(1, argv);
    QApplication application(argc, argv);

    std::printf("trigger_collect_us %.2f us\n", TriggerCollectMicroseconds());
    const SettingsTimes settings = SettingsMilliseconds();
    std::printf("settings_save_ms %.2f ms\n", settings.saveMilliseconds);
    std::printf("settings_load_ms %.2f ms\n", settings.loadMilliseconds);
    std::printf("point_overhead_us %.1f us\n", PointOverheadMicroseconds());
    const LargeRunTimes large = LargeRunMilliseconds();
    std::printf("draw_graphs_ms %.1f ms\n", large.drawGraphsMilliseconds);
    std::printf("show_result_ms %.1f ms\n", large.showResultMilliseconds);
    const RunWallTime run = RunWallMilliseconds(200, 1000);
    std::printf("run_200_points_ms %.1f ms\n", run.wallMilliseconds);
    std::printf("run_meter_and_pauses_ms %.1f ms\n", run.expectedMilliseconds);
    std::printf("run_efficiency %.4f ratio\n", run.wallMilliseconds / run.expectedMilliseconds);
    const PrologixRunFigures prologix = PrologixRun(0);
    std::printf("prologix_run_efficiency %.4f ratio\n", prologix.efficiency);
    std::printf("prologix_lines_per_point %.1f lines\n", prologix.linesPerPoint);
    std::printf("prologix_run_efficiency_2ms_latency %.4f ratio\n", PrologixRun(2).efficiency);
    std::printf("prologix_run_efficiency_ar488_115200_baud %.4f ratio\n",
                PrologixRun(0, quillon::SimulatedPrologixAdapter::Ar488Uno()).efficiency);
#ifdef QUILLON_LINUX_GPIB_KERNEL
    std::printf("linux_gpib_run_efficiency %.4f ratio\n", LinuxGpibRunEfficiency());
#else
    std::fprintf(stderr, "linux_gpib_run_efficiency not measured: run scripts/linux-gpib first\n");
#endif
    std::printf("open_32767_point_file_ms %.2f ms\n", quillon::OpenLargeRunFileMilliseconds());
    std::printf("list_1000_runs_ms %.1f ms\n", quillon::ListThousandRunsMilliseconds());
    std::printf("live_run_point_us %.1f us\n", quillon::LiveRunPointMicroseconds());
    std::printf("analyse_20_frequencies_241_biases_ms %.2f ms\n",
                quillon::AnalyseFamilyMilliseconds());
    std::printf("startup_ms %.1f ms\n", StartUpMilliseconds(argv[0]));
    const std::string peak = RunChild(argv[0], "--peak-memory", nullptr).second;
    std::printf("peak_rss_mb %.1f MB\n", std::atof(peak.c_str()) / 1024.0);
    return 0;
}
