#include "gpib/gpib_binding.h"

#include <gtest/gtest.h>

#include "sim/simulated_lab.h"

namespace quillon {
namespace {

class GpibBindingTest : public ::testing::Test {
protected:
    GpibBindingTest() : lab(MakeSimulatedLab(clock)) { SelectGpibDriver(*lab.bus); }

    int16_t OpenMeter()
    {
        int16_t ud = -1;
        GpibOpenDevice(0, kSimulatedMeterAddress, 0, ni::T10s, 1, 0, ud);
        return ud;
    }

    VirtualClock clock;
    SimulatedLab lab;
};

TEST(LowWordToInt16, TakesTheLowWordAsSigned)
{
    EXPECT_EQ(LowWordToInt16(65535), -1);
    EXPECT_EQ(LowWordToInt16(32768), -32768);
    EXPECT_EQ(LowWordToInt16(static_cast<int32_t>(0xDEAD37F0u)), 14320);
    EXPECT_EQ(LowWordToInt16(40000), -25536);
    EXPECT_EQ(LowWordToInt16(-1), -1);
    EXPECT_EQ(LowWordToInt16(0x12345), 0x2345);
}

TEST_F(GpibBindingTest, CountsBeyond16BitsKeepTheFullCountInIbcntl)
{
    const int16_t ud = OpenMeter();
    GpibWrite(ud, std::string(40000, 'A'));
    EXPECT_EQ(ibcntl, 40000);
    EXPECT_EQ(ibcnt, -25536);
    EXPECT_EQ(ibsta & ni::ERR, 0);
}

TEST_F(GpibBindingTest, FailedOpenGivesDescriptorMinusOneAndTheDriverError)
{
    lab.bus->SetBoardPresent(1, false);
    int16_t ud = 5;
    GpibOpenDevice(1, 17, 0, ni::T10s, 1, 0, ud);
    EXPECT_EQ(ud, -1);
    EXPECT_NE(ibsta & ni::ERR, 0);
    EXPECT_EQ(iberr, ni::ENEB);
}

TEST_F(GpibBindingTest, SerialPollDeliversTheStatusByteAsNumber)
{
    const int16_t ud = OpenMeter();
    GpibWrite(ud, "*SRE 16");
    GpibWrite(ud, "*IDN?");
    int16_t spr = 0;
    GpibSerialPoll(ud, spr);
    EXPECT_EQ(spr, 0x50);  // RQS and message available
    GpibSerialPoll(ud, spr);
    EXPECT_EQ(spr, 0x10);  // the poll released the request
}

TEST_F(GpibBindingTest, ReadReplacesOnlyTheBytesReceived)
{
    lab.bus->Attach(0, 5, std::make_unique<SimulatedInstrument>(clock, "ABCDEFGHI"));
    int16_t ud = -1;
    GpibOpenDevice(0, 5, 0, ni::T10s, 1, 0, ud);
    GpibWrite(ud, "*IDN?");
    std::string buffer(25, ' ');
    GpibRead(ud, buffer);
    EXPECT_EQ(buffer, "ABCDEFGHI\n" + std::string(15, ' '));
    EXPECT_EQ(ibcntl, 10);
    EXPECT_NE(ibsta & ni::END, 0);

    // A short answer leaves the tail of what the buffer held before.
    GpibWrite(ud, "*IDN?");
    std::string previous = "0123456789012345678901234";
    GpibRead(ud, previous);
    EXPECT_EQ(previous, "ABCDEFGHI\n012345678901234");
}

TEST_F(GpibBindingTest, RegistrationAnsweredAlreadyRegisteredRegistersAgain)
{
    lab.bus->RecordCalls(true);
    lab.bus->QueueRegistrationAnswers({1});
    const int16_t ud = OpenMeter();
    EXPECT_EQ(statusCellsRegistered, 1);
    EXPECT_GE(ud, 0);
    // The cells now follow every call: a failed call shows in the globals.
    GpibWrite(99, "x");
    EXPECT_NE(ibsta & ni::ERR, 0);
    EXPECT_EQ(iberr, ni::EDVR);
}

TEST_F(GpibBindingTest, FailedRegistrationReportsItsOwnStatusAndRetriesNextTime)
{
    lab.bus->QueueRegistrationAnswers({5});
    const int16_t ud = OpenMeter();
    EXPECT_EQ(statusCellsRegistered, 0);
    EXPECT_EQ(static_cast<uint16_t>(ibsta), 0x8000);
    EXPECT_EQ(iberr, 0);
    EXPECT_EQ(ibcnt, 14320);
    EXPECT_EQ(static_cast<uint32_t>(ibcntl), 0xDEAD37F0u);
    // The driver call was still made.
    EXPECT_GE(ud, SimulatedBus::kFirstDeviceDescriptor);

    GpibWrite(ud, "*IDN?");
    EXPECT_EQ(statusCellsRegistered, 1);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    EXPECT_EQ(ibcntl, 5);
}

TEST_F(GpibBindingTest, RegistrationAnswersTwoAndThreeUnregisterAndFail)
{
    for (int answer : {2, 3}) {
        SelectGpibDriver(*lab.bus);
        lab.bus->QueueRegistrationAnswers({answer});
        GpibSendIfc(0);
        EXPECT_EQ(statusCellsRegistered, 0) << answer;
        EXPECT_EQ(static_cast<uint16_t>(ibsta), 0x8000) << answer;
        EXPECT_EQ(ibcnt, 14320) << answer;
    }
}

TEST_F(GpibBindingTest, ReloadingTheQueryWindowRegistersAnewWithoutLosingStatus)
{
    OpenMeter();
    ASSERT_EQ(statusCellsRegistered, 1);
    statusCellsRegistered = 0;  // as the query window does when it loads
    GpibSendIfc(0);
    EXPECT_EQ(statusCellsRegistered, 1);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    EXPECT_NE(ibsta & ni::CIC, 0);
}

TEST_F(GpibBindingTest, MultiDeviceCallsPassListsAndModes)
{
    lab.bus->RecordCalls(true);
    std::vector<int16_t> pads;
    for (int16_t pad = 1; pad <= 30; ++pad) pads.push_back(pad);
    pads.push_back(kNoAddr16);
    pads.push_back(0);
    std::vector<int16_t> results(31, 0);
    GpibFindListeners(0, pads, results, 31);
    EXPECT_EQ(ibcntl, 2);
    EXPECT_EQ(ibcnt, 2);
    EXPECT_EQ(results[0], 17);
    EXPECT_EQ(results[1], 22);

    results[2] = kNoAddr16;
    GpibClearList(0, results);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    GpibSendList(0, results, "*IDN?", ni::NLend);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    EXPECT_EQ(ibcntl, 6);  // the newline goes out too

    std::string buffer(50, ' ');
    GpibReceive(0, 22, buffer, ni::STOPend);
    EXPECT_EQ(buffer.substr(0, static_cast<std::size_t>(ibcntl)),
              std::string(kSimulatedMultimeterIdentification) + "\n");
    EXPECT_EQ(buffer.size(), 50u);

    GpibSend(0, 1, "*idn?", ni::NULLend);
    EXPECT_EQ(iberr, ni::ENOL);  // nobody listens at address 1
    const BusCall& send = lab.bus->Calls().back();
    EXPECT_EQ(send.call, "SendList");
    EXPECT_EQ(send.data, "1:*idn?");
}

TEST_F(GpibBindingTest, AnAddressListWithoutTerminatorEndsAtItsLastEntry)
{
    lab.bus->RecordCalls(true);
    GpibClearList(0, {17});
    EXPECT_EQ(ibsta & ni::ERR, 0);
    EXPECT_EQ(lab.bus->Calls().back().data, "17");
}

TEST_F(GpibBindingTest, FindListenersNeverWritesPastTheCallersList)
{
    std::vector<int16_t> pads = {17, 22, kNoAddr16};
    std::vector<int16_t> results(1, 0);
    GpibFindListeners(0, pads, results, 31);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0], 17);
    EXPECT_EQ(ibcntl, 2);
}

TEST_F(GpibBindingTest, OnlineStatusReturnsTheLowWordOfTheStatus)
{
    const int16_t value = GpibOnlineStatus(0, 0);
    EXPECT_EQ(value, ibsta);
    EXPECT_EQ(value, ni::CMPL | ni::CIC);
}

}  // namespace
}  // namespace quillon
