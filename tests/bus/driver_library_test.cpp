#include "bus/driver_library.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "common/text_number.h"
#include "gpib/gpib_binding.h"
#include "measure/measurement_run.h"
#include "sim/simulated_lab.h"
#include "tests/bus/fake_driver_control.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/recording_run_window.h"
#include "tests/support/temp_folder.h"
#include "tests/support/whole_run.h"

namespace quillon {
namespace {

using testing::FakeDriverControl;

struct FakeLibrary {
    const char* name;
    const char* path;
    DriverFamily family;
    int nlEnd;  // the family's own values
    int dabEnd;
};

void PrintTo(const FakeLibrary& library, std::ostream* out)
{
    *out << library.name;
}

const FakeLibrary kLinuxGpib{"LinuxGpib", FAKE_LINUX_GPIB_PATH, DriverFamily::LinuxGpib, 2, 1};
const FakeLibrary kNi{"Ni", FAKE_NI4882_PATH, DriverFamily::Ni, 1, 2};
const FakeLibrary kNiWithoutIbcntl{"NiWithoutThreadIbcntl", FAKE_NI4882_WITHOUT_IBCNTL_PATH,
                                   DriverFamily::Ni, 1, 2};

// What reached the meter as a listener, without the empty message an EOI
// after a newline makes.
std::vector<std::string> Heard(const Simulated4284A& meter)
{
    std::vector<std::string> lines;
    for (const DeviceEvent& event : meter.Transcript()) {
        if (event.kind == DeviceEvent::Kind::Clear) lines.push_back("clear");
        if (event.kind == DeviceEvent::Kind::Message && !event.text.empty())
            lines.push_back(event.text);
    }
    return lines;
}

std::vector<std::string> Messages(const Simulated4284A& meter)
{
    std::vector<std::string> lines;
    for (const DeviceEvent& event : meter.Transcript())
        lines.push_back(std::to_string(static_cast<int>(event.kind)) + "@" +
                        std::to_string(event.tick) + " " + event.text);
    return lines;
}

class LoadedDriverTest : public ::testing::TestWithParam<FakeLibrary> {
protected:
    LoadedDriverTest() : lab(MakeSimulatedLab(clock)), control(GetParam().path)
    {
        DriverLibraryLoad load = LoadDriverLibrary(GetParam().path);
        driver = std::move(load.driver);
        if (!driver) {
            ADD_FAILURE() << load.refusal;
            return;
        }
        control.Connect(*lab.bus);
        lab.meter->RecordTranscript(true);
        SelectGpibDriver(*driver);
    }

    int16_t OpenMeter()
    {
        int16_t ud = -1;
        GpibOpenDevice(0, kSimulatedMeterAddress, 0, ni::T10s, 1, 0, ud);
        return ud;
    }

    VirtualClock clock{1000};
    SimulatedLab lab;
    FakeDriverControl control;
    std::unique_ptr<DriverLibrary> driver;
};

TEST_P(LoadedDriverTest, FamilyIsToldByTheExportedFunctions)
{
    ASSERT_TRUE(driver);
    EXPECT_EQ(driver->family(), GetParam().family);
    EXPECT_EQ(driver->path(), GetParam().path);
    EXPECT_FALSE(driver->LibraryRegistersCells());
    EXPECT_EQ(driver->CaptionMark(), "");
    EXPECT_EQ(driver->ListNotice(), "");
}

TEST_P(LoadedDriverTest, WholeRunReachesTheMeterAsOnTheSimulatedBusItself)
{
    ASSERT_TRUE(driver);
    const testing::RunRecord loaded = testing::MeasureRun(clock);

    // The same run with the binding on the simulated bus directly.
    VirtualClock directClock{1000};
    SimulatedLab direct = MakeSimulatedLab(directClock);
    direct.meter->RecordTranscript(true);
    SelectGpibDriver(*direct.bus);
    const testing::RunRecord expected = testing::MeasureRun(directClock);

    EXPECT_EQ(loaded.result.ending, RunEnding::Completed);
    ASSERT_EQ(loaded.capacitance.size(), 3u);
    EXPECT_EQ(loaded.capacitance, expected.capacitance);
    EXPECT_EQ(loaded.conductance, expected.conductance);
    for (const double capacitance : loaded.capacitance) EXPECT_GT(capacitance, 1e-12);
    EXPECT_EQ(Messages(*lab.meter), Messages(*direct.meter));
    EXPECT_EQ(clock.TickCount(), directClock.TickCount());
    EXPECT_EQ(lab.meter->triggers(), 3);
    EXPECT_FALSE(lab.meter->biasOn());
    EXPECT_FALSE(lab.meter->busTrigger());

    // Counts arrive widened to the family's type with their full value.
    const std::string journal = control.Journal();
    EXPECT_NE(journal.find("ibwrt " + std::to_string(std::strlen("BIAS:VOLT  2")) + "\n"),
              std::string::npos)
        << journal;
    EXPECT_NE(journal.find("ibrd 25\n"), std::string::npos) << journal;
    // linux-gpib's board gets automatic serial polling at the open (its
    // service requests are seen only so); NI-488.2 needs nothing of the kind.
    EXPECT_EQ(journal.find("ibconfig board 0 autopoll 1\n") != std::string::npos,
              GetParam().family == DriverFamily::LinuxGpib)
        << journal;
}

TEST_P(LoadedDriverTest, QuerySequenceShowsListenersRepliesAndStatus)
{
    ASSERT_TRUE(driver);
    const FakeLibrary& family = GetParam();

    GpibSendIfc(0);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    EXPECT_NE(ibsta & ni::CIC, 0);

    std::vector<int16_t> pads;
    for (int16_t pad = 1; pad <= 30; ++pad) pads.push_back(pad);
    pads.push_back(kNoAddr16);
    std::vector<int16_t> found(31, 0);
    GpibFindListeners(0, pads, found, 31);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    ASSERT_EQ(ibcntl, 2);
    EXPECT_EQ(ibcnt, 2);
    EXPECT_EQ(found[0], kSimulatedMeterAddress);
    EXPECT_EQ(found[1], kSimulatedMultimeterAddress);

    std::vector<int16_t> listeners{found[0], found[1], kNoAddr16};
    GpibClearList(0, listeners);
    EXPECT_EQ(ibsta & ni::ERR, 0);

    GpibSendList(0, listeners, "*IDN?", ni::NLend);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    EXPECT_EQ(ibcntl, 6);  // the text and the newline

    GpibSend(0, 1, "*idn?", ni::NULLend);
    EXPECT_NE(ibsta & ni::ERR, 0);  // nobody listens at 1
    EXPECT_EQ(iberr, ni::ENOL);

    std::string buffer(50, ' ');
    GpibReceive(0, kSimulatedMeterAddress, buffer, ni::STOPend);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    EXPECT_NE(ibsta & ni::END, 0);
    const std::string identification = std::string(Simulated4284A::kIdentification) + "\n";
    EXPECT_EQ(ibcntl, static_cast<int32_t>(identification.size()));
    EXPECT_EQ(buffer.substr(0, identification.size()), identification);
    EXPECT_EQ(buffer.substr(identification.size()), std::string(50 - identification.size(), ' '));

    const int16_t online = GpibOnlineStatus(0, 0);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    EXPECT_EQ(online, ibsta);

    // The clear, then the query ended by the newline.
    EXPECT_EQ(Heard(*lab.meter), (std::vector<std::string>{"clear", "*IDN?"}));

    // The library got its own family's end modes.
    EXPECT_EQ(control.Journal(),
              "FindLstn 31\n"
              "SendList 5 end " +
                  std::to_string(family.nlEnd) +
                  "\n"
                  "Send 5 end 0\n"
                  "Receive 50 termination 256\n");
}

TEST_P(LoadedDriverTest, UnconfiguredBoardRefusesTheRunWithTheSystemsReason)
{
    ASSERT_TRUE(driver);
    testing::TempFolder temp;
    testing::RecordingDesktop desktop;
    testing::RecordingRunWindow window;
    window.settings.text = {"0", "1", "0.5", "1000", "1", "0", "50", "10000", "0", "17", "1"};
    for (int error : {ENOENT, EACCES, ENODEV}) {
        control.FailNextOpen(error);
        desktop.messages.clear();
        SweepData sweep;
        const RunResult result =
            RunMeasurement(window, sweep, Environment{clock, temp.Folder(), desktop},
                           [](SweepData&, const RunTimes&) {});
        EXPECT_EQ(result.ending, RunEnding::Refused);
        EXPECT_EQ(ibsta & ni::ERR, ni::ERR);
        EXPECT_EQ(iberr, ni::EDVR);
        EXPECT_EQ(ibcntl, error);
        ASSERT_EQ(desktop.messages.size(), 1u);
        const std::string& text = desktop.messages[0].text;
        EXPECT_NE(text.find("EDVR"), std::string::npos) << text;
        EXPECT_NE(text.find("\r\nSystem error: " + std::string(std::strerror(error)) + "\r\n"),
                  std::string::npos)
            << text;
    }
    // Nothing reached the meter, and no log was begun.
    EXPECT_TRUE(lab.meter->Transcript().empty());
    EXPECT_FALSE(temp.Exists("log-202403.log"));
}

TEST_P(LoadedDriverTest, FailedCallsShowTheDriversErrorCode)
{
    ASSERT_TRUE(driver);
    GpibWrite(99, "*IDN?");
    EXPECT_NE(ibsta & ni::ERR, 0);
    EXPECT_EQ(iberr, ni::EDVR);

    int16_t ud = 0;
    GpibOpenDevice(7, 17, 0, ni::T10s, 1, 0, ud);  // no such board
    EXPECT_EQ(ud, -1);
    EXPECT_EQ(iberr, ni::ENEB);

    // A time-out: the TIMO bit reaches the caller through the loader.
    ud = OpenMeter();
    GpibWait(ud, 0x4800);
    EXPECT_NE(ibsta & ni::TIMO, 0);
}

INSTANTIATE_TEST_SUITE_P(Families, LoadedDriverTest,
                         ::testing::Values(kLinuxGpib, kNi, kNiWithoutIbcntl),
                         [](const auto& family) { return std::string(family.param.name); });

// ----- refusals --------------------------------------------------------------

TEST(LoadDriverLibrary, RefusesALibraryThatLacksAFunctionAndNamesBoth)
{
    const std::string path = FAKE_NI4882_WITHOUT_FINDLSTN_PATH;
    const DriverLibraryLoad load = LoadDriverLibrary(path);
    EXPECT_FALSE(load.driver);
    EXPECT_TRUE(load.opened);
    EXPECT_NE(load.refusal.find(path), std::string::npos) << load.refusal;
    EXPECT_NE(load.refusal.find("FindLstn"), std::string::npos) << load.refusal;
    // Only what is missing is named.
    EXPECT_EQ(load.refusal.find("ibwrt"), std::string::npos) << load.refusal;
}

TEST(LoadDriverLibrary, RefusesAFileThatIsNotALibraryWithTheSystemsReason)
{
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("quillon-not-a-library-" + std::to_string(::getpid()) + ".so");
    std::ofstream(file) << "[gpib]\nDriver=auto\n";

    dlerror();
    void* own = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_EQ(own, nullptr);
    const std::string reason = dlerror();

    const DriverLibraryLoad load = LoadDriverLibrary(file.string());
    std::filesystem::remove(file);
    EXPECT_FALSE(load.driver);
    EXPECT_FALSE(load.opened);
    EXPECT_NE(load.refusal.find(file.string()), std::string::npos) << load.refusal;
    EXPECT_NE(load.refusal.find(reason), std::string::npos) << load.refusal;
}

TEST(LoadDriverLibrary, MissingFileIsNotOpened)
{
    const DriverLibraryLoad load = LoadDriverLibrary("/nonexistent/quillon/libgpib.so.0");
    EXPECT_FALSE(load.driver);
    EXPECT_FALSE(load.opened);
    EXPECT_NE(load.refusal.find("/nonexistent/quillon/libgpib.so.0"), std::string::npos);
}

TEST(LoadDriverLibrary, AGivenFamilyOverridesTheDetection)
{
    const DriverLibraryLoad load = LoadDriverLibrary(FAKE_NI4882_PATH, DriverFamily::LinuxGpib);
    ASSERT_TRUE(load.driver);
    EXPECT_EQ(load.driver->family(), DriverFamily::LinuxGpib);
}

TEST(DriverCandidates, LinuxGpibFirstThenNiInItsOrder)
{
    const std::vector<DriverCandidate> all = AutoDriverCandidates();
    std::vector<std::string> names;
    for (const DriverCandidate& candidate : all) names.push_back(candidate.fileName);
    EXPECT_EQ(names, (std::vector<std::string>{"libgpib.so.0", "libni4882.so", "libni4882.so.1",
                                               "libgpibapi.so"}));
    ASSERT_EQ(DriverCandidates(DriverFamily::LinuxGpib).size(), 1u);
    EXPECT_EQ(DriverCandidates(DriverFamily::Ni).size(), 3u);
    EXPECT_EQ(all[0].family, DriverFamily::LinuxGpib);
}

}  // namespace
}  // namespace quillon
