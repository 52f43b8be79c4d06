#include "sim/simulated_bus.h"

#include <gtest/gtest.h>

#include "sim/simulated_lab.h"

namespace quillon {
namespace {

// The bus driven directly through the driver table, with cells registered.
class SimulatedBusTest : public ::testing::Test {
protected:
    SimulatedBusTest() : lab(MakeSimulatedLab(clock))
    {
        EXPECT_EQ(bus().RegisterGpibGlobalsForThread(&status, &error, &count, &countLong), 0);
    }
    ~SimulatedBusTest() override { bus().UnregisterGpibGlobalsForThread(); }

    SimulatedBus& bus() { return *lab.bus; }
    int Open(int pad, int tmo = ni::T10s) { return bus().ibdev(0, pad, 0, tmo, 1, 0); }

    VirtualClock clock;
    SimulatedLab lab;
    int32_t status = 0, error = 0, count = 0, countLong = 0;
};

TEST_F(SimulatedBusTest, DriverErrorsCarryTheirCodes)
{
    bus().ibclr(12345);
    EXPECT_EQ(status, ni::ERR);
    EXPECT_EQ(error, ni::EDVR);

    EXPECT_EQ(bus().ibdev(0, 31, 0, ni::T10s, 1, 0), -1);
    EXPECT_EQ(error, ni::EARG);
    EXPECT_EQ(bus().ibdev(0, 5, 0, 99, 1, 0), -1);
    EXPECT_EQ(error, ni::EARG);
    EXPECT_EQ(bus().ibdev(7, 5, 0, ni::T10s, 1, 0), -1);
    EXPECT_EQ(error, ni::ENEB);

    const int nobody = Open(3);  // opening does not look for the device
    ASSERT_GE(nobody, SimulatedBus::kFirstDeviceDescriptor);
    EXPECT_EQ(status & ni::ERR, 0);
    bus().ibwrt(nobody, "X", 1);
    EXPECT_EQ(status, ni::ERR);
    EXPECT_EQ(error, ni::ENOL);

    bus().SetBoardPresent(0, false);
    bus().SendIFC(0);
    EXPECT_EQ(error, ni::ENEB);
}

TEST_F(SimulatedBusTest, ReadTimesOutAfterTheDescriptorsLimit)
{
    const int meter = Open(kSimulatedMeterAddress, 11);  // T1s
    char buffer[8];
    bus().ibrd(meter, buffer, sizeof buffer);
    EXPECT_EQ(status & (ni::ERR | ni::TIMO), ni::ERR | ni::TIMO);
    EXPECT_EQ(error, ni::EABO);
    EXPECT_EQ(countLong, 0);
    EXPECT_EQ(clock.TickCount(), 1000u);
}

TEST_F(SimulatedBusTest, WaitEndsAtTheServiceRequestOrTheLimit)
{
    const int meter = Open(kSimulatedMeterAddress);
    bus().ibwait(meter, ni::TIMO | ni::RQS);
    EXPECT_EQ(status & (ni::TIMO | ni::RQS | ni::ERR), ni::TIMO);
    EXPECT_EQ(clock.TickCount(), 10000u);

    // Without *SRE 16 a reply raises no request.
    const char* query = "*IDN?";
    bus().ibwrt(meter, query, 5);
    bus().ibwait(meter, ni::TIMO | ni::RQS);
    EXPECT_NE(status & ni::TIMO, 0);

    bus().ibwrt(meter, "*SRE 16", 7);
    bus().ibwrt(meter, query, 5);
    const uint32_t before = clock.TickCount();
    bus().ibwait(meter, ni::TIMO | ni::RQS);
    EXPECT_EQ(status & (ni::TIMO | ni::RQS), ni::RQS);
    EXPECT_EQ(clock.TickCount(), before);

    bus().ibwait(meter, ni::TIMO);  // a plain wait for the time limit
    EXPECT_NE(status & ni::TIMO, 0);
    EXPECT_EQ(clock.TickCount(), before + 10000);

    bus().ibwait(meter, 0x0001);  // not a mask a device wait accepts
    EXPECT_EQ(error, ni::EARG);
}

TEST_F(SimulatedBusTest, FindListenersHonoursTheLimit)
{
    const Addr4882 pads[] = {1, 17, 22, kNoAddr};
    Addr4882 results[3] = {0, 0, 0};
    bus().FindLstn(0, pads, results, 3);
    EXPECT_EQ(countLong, 2);
    EXPECT_EQ(results[0], 17);
    EXPECT_EQ(results[1], 22);
    EXPECT_EQ(results[2], 0);

    Addr4882 one[1] = {0};
    bus().FindLstn(0, pads, one, 1);
    EXPECT_EQ(status & ni::ERR, ni::ERR);
    EXPECT_EQ(error, ni::ETAB);
    EXPECT_EQ(one[0], 17);
}

TEST_F(SimulatedBusTest, EndModesAndTermination)
{
    const Addr4882 meter[] = {kSimulatedMeterAddress, kNoAddr};
    bus().SendList(0, meter, "*IDN?", 5, ni::NLend);

    char buffer[64];
    bus().Receive(0, kSimulatedMeterAddress, buffer, 10, ni::STOPend);
    EXPECT_EQ(countLong, 10);
    EXPECT_EQ(status & ni::END, 0);  // cut by the count, not by EOI
    EXPECT_EQ(std::string(buffer, 10), "HEWLETT-PA");

    bus().Receive(0, kSimulatedMeterAddress, buffer, sizeof buffer, ',');
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(countLong)), "CKARD,");

    bus().Receive(0, kSimulatedMeterAddress, buffer, sizeof buffer, ni::STOPend);
    EXPECT_NE(status & ni::END, 0);
    EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(countLong)),
              "4284A,2940J05127,REV01.20\n");

    const Addr4882 none[] = {4, kNoAddr};
    bus().SendList(0, none, "X", 1, ni::NLend);
    EXPECT_EQ(error, ni::ENOL);
    bus().SendList(0, meter, "X", 1, 7);
    EXPECT_EQ(error, ni::EARG);
}

TEST_F(SimulatedBusTest, DeviceClearDiscardsWaitingOutput)
{
    const Addr4882 both[] = {kSimulatedMeterAddress, kSimulatedMultimeterAddress, kNoAddr};
    bus().SendList(0, both, "*IDN?", 5, ni::NLend);
    bus().DevClearList(0, both);
    EXPECT_EQ(status & ni::ERR, 0);
    EXPECT_FALSE(lab.meter->OutputReadyTick().has_value());
    EXPECT_FALSE(lab.multimeter->OutputReadyTick().has_value());

    const Addr4882 missing[] = {kSimulatedMeterAddress, 9, kNoAddr};
    bus().DevClearList(0, missing);
    EXPECT_EQ(error, ni::ENOL);
}

TEST_F(SimulatedBusTest, OfflineDescriptorIsGone)
{
    const int meter = Open(kSimulatedMeterAddress);
    bus().ibonl(meter, 0);
    EXPECT_EQ(status & ni::ERR, 0);
    bus().ibwrt(meter, "*TRG", 4);
    EXPECT_EQ(error, ni::EDVR);
}

}  // namespace
}  // namespace quillon
