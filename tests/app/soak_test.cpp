// A thousand runs back to back through the main window, in virtual time,
// with faults (stop signals among them) injected at random points, and the
// settings file and the log folder disturbed between runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <array>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>

#if defined(__SANITIZE_ADDRESS__)
// From the address sanitizer's run-time library; GCC ships no header for it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

#include "app/main_window.h"
#include "app/results_settings.h"
#include "app/settings_file.h"
#include "app/window_stop.h"
#include "common/text_number.h"
#include "gpib/gpib_binding.h"
#include "measure/point_acquisition.h"
#include "platform/module_ini.h"
#include "sim/simulated_lab.h"
#include "tests/app/saved_settings_section.h"
#include "tests/support/crlf_lines.h"
#include "tests/support/fault_injecting_driver.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/temp_folder.h"

namespace quillon {
namespace {

// The program's folder, which a test can point somewhere nothing can be
// written, as a folder that turned read-only (root may write anywhere else).
class SwitchableFolder final : public ProgramFolder {
public:
    std::string Path() const override { return path; }
    std::string path;
};

std::optional<std::string> ContentOf(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string ReadFrom(const std::filesystem::path& file, std::size_t offset)
{
    return ContentOf(file).value_or(std::string()).substr(offset);
}

// What the heap has handed out and not taken back. Resident memory would
// hide a slow leak behind pages the allocator keeps, and the address
// sanitizer keeps freed blocks aside for a while.
std::size_t HeapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 heap = ::mallinfo2();
    return heap.uordblks + heap.hblkhd;
#endif
}

bool Shown(const testing::RecordingDesktop& desktop, const std::string& start)
{
    for (const testing::ShownMessage& message : desktop.messages)
        if (message.text.rfind(start, 0) == 0) return true;
    return false;
}

// Signal: SIGTERM, SIGINT or SIGHUP, which end the run as STOP does and
// then the program.
enum class Fault { None, TimeOut, BusFailure, Overflow, ShortReply, Stop, Signal };
constexpr int kFaultKinds = 7;

// Not a profile file at all: no section, a key without a name, a lone LF
// and no line end at the end.
constexpr const char* kGarbage = "\x01[meas\r\n=garbage\n\xff";

TEST(Soak, AThousandRunsWithFaultsLeaveTheWindowTheMeterAndTheFilesSound)
{
    VirtualClock clock{1000};
    SimulatedLab lab = MakeSimulatedLab(clock);
    testing::FaultInjectingDriver driver(*lab.bus);
    SelectGpibDriver(driver);
    testing::TempFolder temp;
    SwitchableFolder folder;
    folder.path = temp.Folder().Path();
    testing::RecordingDesktop desktop;
    {
        FormLCR window(Environment{clock, folder, desktop});
        window.show();
        const FormLCRControls& ui = window.Controls();
        const std::filesystem::path log = temp.File("log-202403.log");
        const std::filesystem::path settings = temp.File(kSettingsFileName);
        std::mt19937 random(20261207);
        const auto chance = [&](int in) { return random() % static_cast<unsigned>(in) == 0; };

        // The settings file as it has to be (none at all at first), and what
        // a save keeps in front of the section it writes.
        std::optional<std::string> settingsContent;
        std::string beforeSection;
        std::size_t heapAfterWarmUp = 0;
        // How the runs went, to show that every disturbance was met often.
        std::array<int, kFaultKinds> faultsInjected{};
        int refusedRuns = 0, logLessRuns = 0, saves = 0, unwritableSaves = 0, deletions = 0,
            garbageFiles = 0;

        for (int run = 0; run < 1000; ++run) {
            SCOPED_TRACE("run " + std::to_string(run));
            // Between runs: the log folder, and the settings file.
            const bool folderUnwritable = chance(12);
            folder.path = folderUnwritable ? "/proc/self/no-such-folder" : temp.Folder().Path();
            if (!folderUnwritable) {
                if (chance(15)) {
                    std::filesystem::remove(settings);
                    settingsContent.reset();
                    beforeSection.clear();
                    ++deletions;
                }
                if (chance(15)) {
                    std::ofstream(settings, std::ios::binary) << kGarbage;
                    settingsContent = kGarbage;
                    beforeSection = std::string(kGarbage) + "\r\n";
                    ++garbageFiles;
                }
            }
            if (chance(10)) window.Command2_Click();
            if (chance(10)) {
                window.Command3_Click();
                if (folderUnwritable) {
                    ++unwritableSaves;
                } else {
                    // A save into a file that already has the section keeps
                    // its lines in their order, so it reads as a first save.
                    settingsContent = beforeSection + testing::SavedSettingsSection(window);
                    ++saves;
                }
            }

            // The run's parameters.
            const int points = 1 + static_cast<int>(random() % 12);
            const double step = chance(2) ? 0.25 : 0.5;
            const int cycles = chance(4) ? 2 : 1;
            const bool doubleSweep = chance(3);
            const bool quitWhenUnbal = chance(2);
            const std::string texts[kTextFieldCount] = {"-1",
                                                        SignedDecimal(-1 + (points - 1) * step),
                                                        SignedDecimal(step),
                                                        chance(2) ? "1000" : "100000",
                                                        "1",
                                                        "0",
                                                        "50",
                                                        "10000",
                                                        "0",
                                                        "17",
                                                        std::to_string(cycles)};
            for (int i = 0; i < kTextFieldCount; ++i)
                ui.Text1[static_cast<std::size_t>(i)]->setText(QString::fromStdString(texts[i]));
            ui.Check1[kInvertBias]->setChecked(chance(3));
            ui.Check1[kDoubleSweep]->setChecked(doubleSweep);
            ui.Check1[kQuitWhenUnbal]->setChecked(quitWhenUnbal);
            ui.Option2[static_cast<std::size_t>(random() % 2)]->setChecked(true);

            // One fault at a random wait for a point, or none. The program
            // waits once per point. The meter makes its reply at the
            // trigger, so that a fault of the replies set during a wait
            // shows from the next point on; such a fault comes before the
            // last wait.
            const int planned = cycles * points * (doubleSweep ? 2 : 1);
            const Fault fault = chance(2) ? Fault::None : static_cast<Fault>(1 + random() % 6);
            const int signalNumber = std::array{SIGTERM, SIGINT, SIGHUP}[run % 3];
            const bool replyFault = fault == Fault::Overflow || fault == Fault::ShortReply;
            const int faultAt =
                1 + static_cast<int>(random() % static_cast<unsigned>(replyFault
                                                                          ? std::max(planned - 1, 1)
                                                                          : planned));
            SCOPED_TRACE("fault " + std::to_string(static_cast<int>(fault)) + " at wait " +
                         std::to_string(faultAt) + " of " + std::to_string(planned));
            lab.meter->SetFault(Simulated4284A::Fault::None);
            int waits = 0;
            bool faultInjected = false;
            driver.beforeCall = [&](const std::string& call) {
                if (call != "ibwait" || ++waits != faultAt) return;
                faultInjected = fault != Fault::None;
                switch (fault) {
                    case Fault::TimeOut:
                        lab.meter->SetFault(Simulated4284A::Fault::NoServiceRequest);
                        break;
                    case Fault::BusFailure:
                        driver.failNextWaitWith = ni::EBUS;
                        break;
                    case Fault::Overflow:
                        lab.meter->SetFault(Simulated4284A::Fault::Overflow);
                        break;
                    case Fault::ShortReply:
                        lab.meter->SetFault(Simulated4284A::Fault::ShortReply);
                        break;
                    case Fault::Stop:
                        window.Command9_Click();
                        break;
                    case Fault::Signal:
                        std::raise(signalNumber);
                        break;
                    case Fault::None:
                        break;
                }
            };
            // Every reply the program read, as its log line has to show it:
            // the bias the meter was at, and the reply buffer.
            std::vector<std::string> pointsRead;
            bool biasOnAtEveryRead = true;
            std::size_t shortReads = 0, overflowReads = 0;
            driver.afterRead = [&](const std::string& buffer, long bytesRead) {
                biasOnAtEveryRead &= lab.meter->biasOn();
                pointsRead.push_back(FormatNumber(lab.meter->biasVolts(), "0.000") + "," + buffer);
                shortReads += bytesRead < static_cast<long>(kReplyLength);
                overflowReads += buffer.find(kOverflowReply) != std::string::npos;
            };

            const std::size_t logBefore =
                std::filesystem::exists(log) ? std::filesystem::file_size(log) : 0;
            desktop.messages.clear();
            const int pointsBefore = window.Sweep().PointCount;
            std::vector<int> exits;
            std::optional<StopSignals> stopSignals;
            std::optional<SignalQuit> signalQuit;
            if (fault == Fault::Signal) {
                stopSignals.emplace();
                signalQuit.emplace(*stopSignals, window,
                                   [&](int status) { exits.push_back(status); });
            }
            window.Command1_Click();
            // A signal at the last point comes through once the run is over.
            QApplication::processEvents();
            ASSERT_EQ(exits, fault == Fault::Signal && faultInjected
                                 ? std::vector<int>{SignalExitStatus(signalNumber)}
                                 : std::vector<int>{});
            signalQuit.reset();
            stopSignals.reset();
            driver.beforeCall = nullptr;
            driver.afterRead = nullptr;

            // The window is idle and usable, the bias is off.
            ASSERT_FALSE(window.Running());
            ASSERT_TRUE(ui.Command1->isVisible());
            for (const QPushButton* button : {ui.Command2, ui.Command3, ui.Command4, ui.Command7})
                ASSERT_TRUE(button->isEnabled());
            ASSERT_FALSE(lab.meter->biasOn());
            ASSERT_TRUE(biasOnAtEveryRead);

            // The settings file is byte for byte the old content, or the new
            // one when a save reached it; a save leaves no file of its own.
            ASSERT_EQ(ContentOf(settings), settingsContent);
            for (const auto& entry : std::filesystem::directory_iterator(temp.File("")))
                ASSERT_TRUE(entry.path().filename() == settings.filename() ||
                            entry.path().filename() == log.filename() ||
                            entry.path().filename() == kRunsFolderName)
                    << entry.path();

            // The heap does not grow with the runs: after a warm-up, a run
            // may add its line to the run list (some 300 bytes) and little
            // else.
            if (run == 100) heapAfterWarmUp = HeapInUse();
            if (run > 100) {
                ASSERT_LE(HeapInUse(),
                          heapAfterWarmUp + 128 * 1024 + static_cast<std::size_t>(run - 100) * 400);
            }

            if (points == 1) {
                // Start equal to stop: refused before anything is sent.
                ASSERT_TRUE(pointsRead.empty());
                ASSERT_EQ(ReadFrom(log, logBefore), "");
                ASSERT_EQ(desktop.messages.size(), 1u);
                ASSERT_EQ(desktop.messages[0].text.rfind("Bias Step [V] must not be 0", 0), 0u);
                ++refusedRuns;
                continue;
            }

            // The fault was met, and the run ended as that fault ends it.
            ASSERT_EQ(faultInjected, fault != Fault::None);
            ++faultsInjected[static_cast<std::size_t>(fault)];
            const bool unbalanced =
                fault == Fault::Overflow && quitWhenUnbal && faultAt + 1 < planned;
            int expectedPoints = planned;
            if (fault == Fault::TimeOut || fault == Fault::BusFailure) expectedPoints = faultAt - 1;
            if ((fault == Fault::Stop || fault == Fault::Signal) && faultAt < planned)
                expectedPoints = faultAt;
            if (unbalanced) expectedPoints = faultAt + 1;
            if (fault == Fault::ShortReply) expectedPoints = faultAt;
            // A run that read nothing leaves the previous run's points.
            ASSERT_EQ(window.Sweep().PointCount,
                      expectedPoints > 0 ? expectedPoints : pointsBefore);
            // The first short reply is read, and ends the run without being a point.
            const std::size_t shortReadsExpected = fault == Fault::ShortReply ? 1 : 0;
            ASSERT_EQ(pointsRead.size(), expectedPoints + shortReadsExpected);
            ASSERT_EQ(shortReads, shortReadsExpected);
            pointsRead.resize(static_cast<std::size_t>(expectedPoints));
            const std::size_t fromFault = pointsRead.size() - static_cast<std::size_t>(faultAt);
            ASSERT_EQ(overflowReads, fault == Fault::Overflow ? fromFault : 0u);
            ASSERT_EQ(Shown(desktop, kTimeOverMessage), fault == Fault::TimeOut);
            ASSERT_EQ(Shown(desktop, "The meter's reply could not be read."),
                      fault == Fault::BusFailure);
            ASSERT_EQ(Shown(desktop, "The meter's reply is not two numbers in its format"),
                      fault == Fault::ShortReply);
            ASSERT_EQ(Shown(desktop, kUnbalancedMessage), unbalanced);

            // Every point read is in the log once, in order, with the bias
            // the meter was at and the reply as read.
            const std::string record = ReadFrom(log, logBefore);
            if (folderUnwritable) {
                ASSERT_EQ(record, "");
                ASSERT_FALSE(desktop.messages.empty());
                ASSERT_EQ(desktop.messages[0].text.rfind("This run has no log: ", 0), 0u);
                ++logLessRuns;
                continue;
            }
            const bool endedOnBus =
                fault == Fault::TimeOut || fault == Fault::BusFailure || fault == Fault::ShortReply;
            const std::vector<std::string> lines = testing::CrLfLines(record);
            ASSERT_EQ(lines.size(), 2 + pointsRead.size() + (endedOnBus ? 0 : 1)) << record;
            ASSERT_EQ(lines[0].rfind("Measurement:", 0), 0u);
            ASSERT_EQ(lines[1], "0.000,V,C,G                    ");
            for (std::size_t i = 0; i < pointsRead.size(); ++i)
                ASSERT_EQ(lines[2 + i], pointsRead[i]);
            if (!endedOnBus) {
                ASSERT_EQ(lines.back(), "");
            }
        }

        for (int count : faultsInjected) EXPECT_GE(count, 10);
        for (int count : {refusedRuns, logLessRuns, saves, deletions, garbageFiles})
            EXPECT_GE(count, 10);
        EXPECT_GE(unwritableSaves, 3);
    }
    DeselectGpibDriver();
}

}  // namespace
}  // namespace quillon
