// A thousand runs back to back through the main window, in virtual time,
// with faults injected at random points, and the settings file and the log
// folder disturbed between runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <fstream>
#include <random>

#include "app/main_window.h"
#include "app/settings_file.h"
#include "common/text_number.h"
#include "gpib/gpib_binding.h"
#include "sim/simulated_lab.h"
#include "tests/app/fault_injecting_driver.h"
#include "tests/app/temp_folder.h"
#include "tests/common/crlf_lines.h"
#include "tests/platform/recording_desktop.h"

namespace quillon {
namespace {

// The program's folder, which a test can point somewhere nothing can be
// written, as a folder that turned read-only (root may write anywhere else).
class SwitchableFolder final : public ProgramFolder {
public:
    std::string Path() const override { return path; }
    std::string path;
};

std::string ReadFrom(const std::filesystem::path& file, std::size_t offset)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) return {};
    in.seekg(static_cast<std::streamoff>(offset));
    return std::string(std::istreambuf_iterator<char>(in), {});
}

long ResidentKilobytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer keeps freed memory aside for a while: resident memory grows
// whatever the program does.
constexpr bool kResidentMemoryTellsGrowth = false;
#else
constexpr bool kResidentMemoryTellsGrowth = true;
#endif

enum class Fault { None, TimeOut, BusFailure, Overflow, ShortReply, Stop };

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
        const std::filesystem::path settings = temp.File("Quillon.ini");
        std::mt19937 random(20261207);
        const auto chance = [&](int in) { return random() % static_cast<unsigned>(in) == 0; };
        long residentAfterWarmUp = 0;
        // How the runs ended, to show that every kind of fault was met.
        int refusedRuns = 0, logLessRuns = 0, busEndings = 0, unbalancedEndings = 0, shortRuns = 0,
            settingsChecks = 0;

        for (int run = 0; run < 1000; ++run) {
            SCOPED_TRACE("run " + std::to_string(run));
            // Between runs: the log folder, and the settings file.
            const bool folderUnwritable = chance(12);
            folder.path = folderUnwritable ? "/proc/self/no-such-folder" : temp.Folder().Path();
            if (!folderUnwritable) {
                if (chance(15)) std::filesystem::remove(settings);
                if (chance(15))
                    std::ofstream(settings, std::ios::binary) << "\x01[meas\r\n=garbage\n\xff";
                if (chance(10)) window.Command2_Click();
                if (chance(10)) {
                    window.Command3_Click();
                    ++settingsChecks;
                    const StoredSettings stored = ReadStoredSettings(folder);
                    // The new content: every box as typed, less the blanks
                    // around it that reading a profile value drops.
                    for (int i = 0; i < kTextFieldCount; ++i)
                        ASSERT_EQ(stored.values[static_cast<std::size_t>(i)],
                                  QString::fromStdString(window.Text1(i)).trimmed().toStdString());
                }
            }

            // The run's parameters.
            const int points = 1 + static_cast<int>(random() % 12);
            const double step = chance(2) ? 0.25 : 0.5;
            const int cycles = chance(4) ? 2 : 1;
            const bool doubleSweep = chance(3);
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
            ui.Check1[kQuitWhenUnbal]->setChecked(chance(2));
            ui.Option2[static_cast<std::size_t>(random() % 2)]->setChecked(true);

            // One fault at a random wait for a point, or none.
            const int planned = cycles * points * (doubleSweep ? 2 : 1);
            const Fault fault = chance(2) ? Fault::None : static_cast<Fault>(1 + random() % 5);
            const int faultAt = 1 + static_cast<int>(random() % static_cast<unsigned>(planned));
            lab.meter->SetFault(Simulated4284A::Fault::None);
            int waits = 0;
            driver.beforeCall = [&](const std::string& call) {
                if (call != "ibwait" || ++waits != faultAt) return;
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
                    case Fault::None:
                        break;
                }
            };

            const std::size_t logBefore =
                std::filesystem::exists(log) ? std::filesystem::file_size(log) : 0;
            desktop.messages.clear();
            window.Command1_Click();
            driver.beforeCall = nullptr;

            // The window is idle and usable, the bias is off.
            ASSERT_FALSE(window.Running());
            ASSERT_TRUE(ui.Command1->isVisible());
            for (const QPushButton* button : {ui.Command2, ui.Command3, ui.Command4, ui.Command7})
                ASSERT_TRUE(button->isEnabled());
            ASSERT_FALSE(lab.meter->biasOn());

            // Every point read is in the log once, in order, with the bias
            // the meter was sent.
            const SweepData& sweep = window.Sweep();
            const std::string record = ReadFrom(log, logBefore);
            if (points == 1) {
                // Start equal to stop: refused before anything is sent.
                ASSERT_TRUE(record.empty());
                ASSERT_EQ(desktop.messages.size(), 1u);
                ASSERT_EQ(desktop.messages[0].text.rfind("Bias Step [V] must not be 0", 0), 0u);
                ++refusedRuns;
                continue;
            }
            if (folderUnwritable) {
                ASSERT_TRUE(record.empty());
                ASSERT_FALSE(desktop.messages.empty());
                ASSERT_EQ(desktop.messages[0].text.rfind("This run has no log: ", 0), 0u);
                ++logLessRuns;
                continue;
            }
            const std::vector<std::string> lines = testing::CrLfLines(record);
            ASSERT_GE(lines.size(), 2u) << record;
            ASSERT_EQ(lines[0].rfind("Measurement:", 0), 0u);
            bool endedOnBus = false;
            for (const testing::ShownMessage& message : desktop.messages)
                endedOnBus |= message.text.rfind("time over", 0) == 0 ||
                              message.text.rfind("The meter's reply could not be read.", 0) == 0;
            const std::size_t pointLines = lines.size() - (endedOnBus ? 2 : 3);
            if (sweep.PointCount > 0 || !endedOnBus) {
                ASSERT_EQ(lines[1], "0.000,V,C,G                    ");
            }
            ASSERT_EQ(pointLines, static_cast<std::size_t>(sweep.PointCount)) << record;
            for (int i = 1; i <= sweep.PointCount; ++i) {
                const std::string& line = lines[static_cast<std::size_t>(i + 1)];
                ASSERT_EQ(line.substr(0, line.find(',')),
                          FormatNumber(sweep.Bias[static_cast<std::size_t>(i)] * sweep.BiasSign,
                                       "0.000"));
            }
            if (!endedOnBus) {
                ASSERT_EQ(lines.back(), "");
            }
            busEndings += endedOnBus;
            for (const testing::ShownMessage& message : desktop.messages)
                unbalancedEndings += message.text == kUnbalancedMessage;
            shortRuns += sweep.PointCount < planned;

            if (run == 100) residentAfterWarmUp = ResidentKilobytes();
        }

        for (int count :
             {refusedRuns, logLessRuns, busEndings, unbalancedEndings, shortRuns, settingsChecks})
            EXPECT_GE(count, 10);

        // Memory does not grow with the number of runs (the run list gains a
        // short line per run; allow for that and for the allocator).
        if (kResidentMemoryTellsGrowth) {
            EXPECT_LT(ResidentKilobytes() - residentAfterWarmUp, 8 * 1024);
        }
    }
    DeselectGpibDriver();
}

}  // namespace
}  // namespace quillon
