// The program's own run and query through the real linux-gpib user library,
// whose calls come down to an emulation of the kernel's /dev/gpib0.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/command_line_run.h"
#include "bus/driver_library.h"
#include "gpib/gpib_binding.h"
#include "measure/measurement_run.h"
#include "platform/stop_signals.h"
#include "sim/simulated_lab.h"
#include "tests/support/interrupting_clock.h"
#include "tests/support/linux_gpib_kernel.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/recording_run_window.h"
#include "tests/support/temp_folder.h"
#include "tests/support/whole_run.h"

namespace quillon {
namespace {

using testing::LinuxGpibKernel;

// -1 V to 1 V in 0.5 V steps and back at 100 kHz, SHORT: ten points.
MeasurementSettingsValues DoubleSweepSettings()
{
    MeasurementSettingsValues settings;
    settings.text = {"-1", "1", "0.5", "100000", "1", "0", "50", "10000", "0", "17", "1"};
    settings.check[kDoubleSweep] = 1;
    settings.option = static_cast<int>(Integration::Short);
    return settings;
}

std::string AllMessages(const testing::RecordingDesktop& desktop)
{
    std::string all;
    for (const auto& message : desktop.messages) all += message.text + "|";
    return all;
}

class RealLinuxGpibTest : public ::testing::Test {
protected:
    RealLinuxGpibTest()
    {
        DriverLibraryLoad load = testing::LoadLinuxGpibInstance(temp.File(""));
        driver = std::move(load.driver);
        if (!driver) {
            ADD_FAILURE() << load.refusal;
            return;
        }
        SelectGpibDriver(*driver);
        kernel.meter().RecordTranscript(true);
        window.settings = DoubleSweepSettings();
    }
    ~RealLinuxGpibTest() override { DeselectGpibDriver(); }

    RunResult Run(SweepData& sweep)
    {
        return RunMeasurement(window, sweep, Environment{clock, temp.Folder(), desktop},
                              [](SweepData&, const RunTimes&) {});
    }

    testing::InterruptingClock clock;
    testing::TempFolder temp;
    LinuxGpibKernel kernel{clock};
    std::unique_ptr<DriverLibrary> driver;
    testing::RecordingDesktop desktop;
    testing::RecordingRunWindow window;
};

TEST_F(RealLinuxGpibTest, DoubleSweepReadsEveryPointWithTheMetersValues)
{
    ASSERT_TRUE(driver);
    SweepData sweep;
    const RunResult result = Run(sweep);
    // Without autopolling every wait for the service request times out.
    EXPECT_EQ(result.ending, RunEnding::Completed) << AllMessages(desktop);
    EXPECT_TRUE(kernel.AutopollOn());
    EXPECT_TRUE(desktop.messages.empty()) << AllMessages(desktop);
    ASSERT_EQ(sweep.PointCount, 10);
    EXPECT_EQ(kernel.meter().triggers(), 10);
    EXPECT_FALSE(kernel.meter().biasOn());
    EXPECT_FALSE(kernel.meter().busTrigger());

    // The same run on the simulated bus directly: the meter's own values.
    VirtualClock directClock{1000};
    SimulatedLab direct = MakeSimulatedLab(directClock);
    SelectGpibDriver(*direct.bus);
    const testing::RunRecord expected = testing::MeasureRun(directClock, {}, window.settings);
    ASSERT_EQ(expected.capacitance.size(), 10u);
    for (std::size_t i = 1; i <= 10; ++i) {
        EXPECT_EQ(sweep.Capacitance[i], expected.capacitance[i - 1]) << i;
        EXPECT_EQ(sweep.Conductance[i], expected.conductance[i - 1]) << i;
        EXPECT_GT(sweep.Capacitance[i], 1e-12) << i;
    }
    // Each point in the meter's own time, not the 10 s limit.
    EXPECT_LT(result.times.t1 - result.times.t0, 10 * 40u + 4 * 50u);
}

TEST_F(RealLinuxGpibTest, QueryListsBothInstrumentsAndEndsCleanly)
{
    ASSERT_TRUE(driver);
    std::ostringstream out;
    EXPECT_EQ(ListFromCommandLine(desktop, out), kExitFinished);
    EXPECT_EQ(out.str(), "17\t" + std::string(Simulated4284A::kIdentification) + "\n22\t" +
                             kSimulatedMultimeterIdentification + "\n");
    // The board's offline at the end, refused by the kernel for the board's
    // own handle, is no error.
    EXPECT_TRUE(desktop.messages.empty()) << AllMessages(desktop);
    EXPECT_EQ(ibsta & ni::ERR, 0);

    // "Run" again: the board is still there for it.
    std::ostringstream again;
    EXPECT_EQ(ListFromCommandLine(desktop, again), kExitFinished);
    EXPECT_EQ(again.str(), out.str());
    EXPECT_TRUE(desktop.messages.empty()) << AllMessages(desktop);
}

TEST_F(RealLinuxGpibTest, MeterVanishingMidRunLeavesTheWarningThatTheBiasMayBeOn)
{
    ASSERT_TRUE(driver);
    window.onYield = [&](int point) {
        if (point == 3) kernel.Disconnect(LinuxGpibKernel::kMeterPad);
    };
    SweepData sweep;
    const RunResult result = Run(sweep);
    EXPECT_EQ(result.ending, RunEnding::TimedOut);
    EXPECT_EQ(result.pointsRead, 2);
    ASSERT_EQ(desktop.messages.size(), 1u) << AllMessages(desktop);
    const std::string& text = desktop.messages[0].text;
    EXPECT_EQ(text.rfind(kTimeOverMessage, 0), 0u) << text;
    // "BIAS:STAT OFF" reached nobody: the library's ENOL, with ERR.
    EXPECT_NE(text.find(std::string(kBiasMayBeOnMessage) + "\r\nibsta = &H"), std::string::npos)
        << text;
    EXPECT_NE(text.find("iberr = ENOL <No Listener>"), std::string::npos) << text;
}

TEST_F(RealLinuxGpibTest, WriteThatNoListenerTookFailsInItsStatusAndTheCells)
{
    ASSERT_TRUE(driver);
    int16_t meter = -1;
    int16_t multimeter = -1;
    GpibOpenDevice(0, LinuxGpibKernel::kMeterPad, 0, ni::T10s, 1, 0, meter);
    GpibOpenDevice(0, LinuxGpibKernel::kMultimeterPad, 0, ni::T10s, 1, 0, multimeter);
    ASSERT_GE(meter, 0);
    ASSERT_GE(multimeter, 0);
    GpibConfigure(meter, ni::IbcUnAddr, 1);
    GpibConfigure(multimeter, ni::IbcUnAddr, 1);
    kernel.Disconnect(LinuxGpibKernel::kMultimeterPad);

    EXPECT_NE(driver->ibwrt(multimeter, "*CLS", 4) & ni::ERR, 0);
    RefreshGpibStatus();
    EXPECT_NE(ibsta & ni::ERR, 0);
    EXPECT_EQ(iberr, ni::ENOL);
    EXPECT_EQ(ibcntl, 0);

    EXPECT_EQ(driver->ibwrt(meter, "*CLS", 4) & ni::ERR, 0);
    RefreshGpibStatus();
    EXPECT_EQ(ibsta & ni::ERR, 0);
    EXPECT_EQ(ibcntl, 4);
}

TEST_F(RealLinuxGpibTest, StopSignalEndsTheRunAsStopDoes)
{
    ASSERT_TRUE(driver);
    // After the set-up's 15 pauses of 20 ms, in the second point's measurement.
    clock.interruptAt = clock.TickCount() + 15 * 20 + 45;
    const StopSignals stopSignals;
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunFromCommandLine(
        Environment{clock, temp.Folder(), desktop}, window.settings,
        {std::nullopt, "linux-gpib", std::nullopt, std::nullopt}, stopSignals, {out, err, false});
    EXPECT_EQ(status, kExitStopped) << err.str();
    EXPECT_FALSE(clock.interruptAt) << "the signal came";
    EXPECT_LT(kernel.meter().triggers(), 10);
    EXPECT_FALSE(kernel.meter().biasOn());
    const std::string log = temp.Read("log-202403.log");
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log.substr(log.size() - 4), "\r\n\r\n") << "the record is closed";
}

// ----- the meter cannot be opened ---------------------------------------------

struct OpenFailure {
    const char* name;
    void (*arrange)(LinuxGpibKernel&);
    std::string expected;  // in the message
};

void PrintTo(const OpenFailure& failure, std::ostream* out)
{
    *out << failure.name;
}

class RealLinuxGpibOpenFailureTest : public RealLinuxGpibTest,
                                     public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(RealLinuxGpibOpenFailureTest, RefusesTheRunAndSaysWhy)
{
    ASSERT_TRUE(driver);
    GetParam().arrange(kernel);
    SweepData sweep;
    const RunResult result = Run(sweep);
    EXPECT_EQ(result.ending, RunEnding::Refused);
    ASSERT_EQ(desktop.messages.size(), 1u) << AllMessages(desktop);
    const std::string& text = desktop.messages[0].text;
    EXPECT_EQ(text.rfind("The 4284A could not be opened (GPIB board 0, address 17).", 0), 0u)
        << text;
    EXPECT_NE(text.find("\r\nibsta = &H8000"), std::string::npos) << text;
    EXPECT_NE(text.find(GetParam().expected), std::string::npos) << text;
    // Nothing reached the meter, no log record was begun, and no
    // descriptor stayed open.
    EXPECT_TRUE(kernel.meter().Transcript().empty());
    EXPECT_FALSE(temp.Exists("log-202403.log"));
    EXPECT_EQ(kernel.OpenDeviceCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, RealLinuxGpibOpenFailureTest,
    ::testing::Values(
        OpenFailure{"NoDeviceFile", [](LinuxGpibKernel& kernel) { kernel.RemoveDeviceFile(); },
                    "iberr = EDVR <DOS Error>\r\nSystem error: No such file or directory"},
        OpenFailure{"AutopollRefused",
                    [](LinuxGpibKernel& kernel) { kernel.FailAutopollWith(EPERM); },
                    "\r\nlinux-gpib could not switch on automatic serial polling (IbcAUTOPOLL) "
                    "for board 0: Operation not permitted. Without it the meter's service "
                    "request is never seen"}),
    [](const auto& refusal) { return std::string(refusal.param.name); });

}  // namespace
}  // namespace quillon
