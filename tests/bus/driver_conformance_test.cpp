// What every filler of the driver table must do alike, whatever it drives:
// the simulated bus, the two families of driver library (as fakes here),
// the real linux-gpib library over its kernel's interface, and a Prologix
// adapter. One table of drivers, each check run over all of them.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bus/driver_library.h"
#include "bus/prologix_driver.h"
#include "gpib/gpib_binding.h"
#include "sim/simulated_lab.h"
#include "sim/simulated_prologix_adapter.h"
#include "tests/bus/fake_driver_control.h"
#include "tests/support/linux_gpib_kernel.h"
#include "tests/support/shared_virtual_clock.h"
#include "tests/support/temp_folder.h"

namespace quillon {
namespace {

// A driver with the simulated 4284A at 17 and the multimeter at 22 behind it.
class DriverBench {
public:
    virtual ~DriverBench() = default;
    // None when the driver could not be had; the test then fails with why.
    virtual GpibDriver* driver() = 0;
    virtual Simulated4284A& meter() = 0;
    std::string refusal;
};

class SimulatedBench final : public DriverBench {
public:
    GpibDriver* driver() override { return lab.bus.get(); }
    Simulated4284A& meter() override { return *lab.meter; }

    VirtualClock clock{1000};
    SimulatedLab lab = MakeSimulatedLab(clock);
};

class FakeLibraryBench final : public DriverBench {
public:
    explicit FakeLibraryBench(const char* path) : control(path)
    {
        DriverLibraryLoad load = LoadDriverLibrary(path);
        library = std::move(load.driver);
        refusal = load.refusal;
        if (library) control.Connect(*lab.bus);
    }
    GpibDriver* driver() override { return library.get(); }
    Simulated4284A& meter() override { return *lab.meter; }

    VirtualClock clock{1000};
    SimulatedLab lab = MakeSimulatedLab(clock);
    testing::FakeDriverControl control;
    std::unique_ptr<DriverLibrary> library;
};

class RealLinuxGpibBench final : public DriverBench {
public:
    RealLinuxGpibBench()
    {
        DriverLibraryLoad load = testing::LoadLinuxGpibInstance(temp.File(""));
        library = std::move(load.driver);
        refusal = load.refusal;
    }
    GpibDriver* driver() override { return library.get(); }
    Simulated4284A& meter() override { return kernel.meter(); }

    VirtualClock clock{1000};
    testing::TempFolder temp;
    testing::LinuxGpibKernel kernel{clock};
    std::unique_ptr<DriverLibrary> library;
};

class PrologixBench final : public DriverBench {
public:
    PrologixBench()
    {
        PrologixOpening opening = OpenPrologixAdapter(adapter.Location(), clock);
        prologix = std::move(opening.driver);
        refusal = opening.refusal;
    }
    GpibDriver* driver() override { return prologix.get(); }
    Simulated4284A& meter() override { return *lab.meter; }

    testing::SharedVirtualClock clock{1000};
    SimulatedLab lab = MakeSimulatedLab(clock);
    SimulatedPrologixAdapter adapter{*lab.bus, {lab.meter, lab.multimeter}};
    std::unique_ptr<PrologixDriver> prologix;
};

struct OtherThreadCells {
    int32_t sta = 0, err = -1, cnt = 0, cntl = 0;
    int firstAnswer = -1, secondAnswer = -1;
};

// On a thread of its own: registers cells twice, and makes a write to a
// descriptor nobody opened fail.
OtherThreadCells FailAWriteOnAnotherThread(GpibDriver& driver)
{
    OtherThreadCells cells;
    std::thread other([&] {
        cells.firstAnswer =
            driver.RegisterGpibGlobalsForThread(&cells.sta, &cells.err, &cells.cnt, &cells.cntl);
        cells.secondAnswer =
            driver.RegisterGpibGlobalsForThread(&cells.sta, &cells.err, &cells.cnt, &cells.cntl);
        driver.ibwrt(1234, "x", 1);
    });
    other.join();
    return cells;
}

struct DriverKind {
    const char* name;
    std::function<std::unique_ptr<DriverBench>()> make;
    // What a call on a descriptor nobody opened gives as iberr.
    int unknownDescriptorError;
};

void PrintTo(const DriverKind& kind, std::ostream* out)
{
    *out << kind.name;
}

const DriverKind kDrivers[] = {
    {"Simulated", [] { return std::make_unique<SimulatedBench>(); }, ni::EDVR},
    {"FakeLinuxGpib", [] { return std::make_unique<FakeLibraryBench>(FAKE_LINUX_GPIB_PATH); },
     ni::EDVR},
    {"FakeNi", [] { return std::make_unique<FakeLibraryBench>(FAKE_NI4882_PATH); }, ni::EDVR},
    {"FakeNiWithoutIbcntl",
     [] { return std::make_unique<FakeLibraryBench>(FAKE_NI4882_WITHOUT_IBCNTL_PATH); }, ni::EDVR},
    {"RealLinuxGpib", [] { return std::make_unique<RealLinuxGpibBench>(); }, ni::EARG},
    {"Prologix", [] { return std::make_unique<PrologixBench>(); }, ni::EDVR},
};

class DriverConformance : public ::testing::TestWithParam<DriverKind> {
protected:
    DriverConformance() : bench(GetParam().make())
    {
        driver = bench->driver();
        if (!driver) {
            ADD_FAILURE() << bench->refusal;
            return;
        }
        bench->meter().RecordTranscript(true);
        SelectGpibDriver(*driver);
    }
    ~DriverConformance() override { DeselectGpibDriver(); }

    // What reached the meter as whole messages.
    std::vector<std::string> Heard()
    {
        std::vector<std::string> messages;
        for (const DeviceEvent& event : bench->meter().Transcript())
            if (event.kind == DeviceEvent::Kind::Message && !event.text.empty())
                messages.push_back(event.text);
        return messages;
    }

    std::unique_ptr<DriverBench> bench;
    GpibDriver* driver = nullptr;
};

TEST_P(DriverConformance, CountsBeyond16BitsKeepTheirFullValue)
{
    ASSERT_TRUE(driver);
    int16_t ud = -1;
    GpibOpenDevice(0, kSimulatedMultimeterAddress, 0, ni::T10s, 1, 0, ud);
    ASSERT_GE(ud, 0);
    GpibWrite(ud, std::string(40000, 'A'));
    EXPECT_EQ(ibsta & ni::ERR, 0);
    EXPECT_EQ(ibcntl, 40000);
    EXPECT_EQ(ibcnt, -25536);
    GpibWrite(ud, "*CLS");
    EXPECT_EQ(ibcntl, 4);
}

TEST_P(DriverConformance, EndModesEndTheMessageWithEoiANewlineOrNeither)
{
    ASSERT_TRUE(driver);
    const std::vector<int16_t> meter{kSimulatedMeterAddress, kNoAddr16};
    // DABend: EOI with the last byte, no newline; the meter takes it whole.
    GpibSendList(0, meter, "*IDN?", ni::DABend);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    EXPECT_EQ(ibcntl, 5);
    // NULLend: no EOI, so the meter waits for the rest of the message.
    GpibSend(0, kSimulatedMeterAddress, "*TRG", ni::NULLend);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    EXPECT_EQ(ibcntl, 4);
    GpibSend(0, kSimulatedMeterAddress, ";*IDN?", ni::NLend);
    EXPECT_EQ(ibcntl, 7);
    // Data to an adapter goes unanswered: the end of the query waits until
    // it has all been carried out.
    GpibOnline(0, 0);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    EXPECT_EQ(Heard(), (std::vector<std::string>{"*IDN?", "*TRG;*IDN?"}));
}

TEST_P(DriverConformance, StatusCellsAreKeptPerThreadAndRegisteredAgainAfterReselection)
{
    ASSERT_TRUE(driver);
    int16_t ud = -1;
    GpibOpenDevice(0, kSimulatedMeterAddress, 0, ni::T10s, 1, 0, ud);
    GpibWrite(ud, "*CLS");
    ASSERT_EQ(statusCellsRegistered, 1);
    ASSERT_EQ(ibstaCell & ni::ERR, 0);

    // Another thread with cells of its own: its failure stays there.
    const OtherThreadCells other = FailAWriteOnAnotherThread(*driver);
    EXPECT_EQ(other.firstAnswer, 0);
    EXPECT_EQ(other.secondAnswer, 1);
    EXPECT_NE(other.sta & ni::ERR, 0);
    EXPECT_EQ(other.err, GetParam().unknownDescriptorError);
    EXPECT_EQ(ibstaCell & ni::ERR, 0);
    EXPECT_EQ(ibcntl, 4);

    // Reselecting the driver, as the query window does on loading, makes
    // the binding register again; the driver answers "already registered".
    SelectGpibDriver(*driver);
    GpibWrite(ud, "*RST");
    EXPECT_EQ(statusCellsRegistered, 1);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    EXPECT_EQ(ibcntl, 4);
}

INSTANTIATE_TEST_SUITE_P(EveryDriver, DriverConformance, ::testing::ValuesIn(kDrivers),
                         [](const auto& kind) { return std::string(kind.param.name); });

}  // namespace
}  // namespace quillon
