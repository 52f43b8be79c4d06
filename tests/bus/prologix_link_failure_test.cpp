// A connection lost, an adapter that stops answering, answers slowly, or
// never stops sending: each call ends within its bounds, with its reason.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>

#include "bus/prologix_driver.h"
#include "measure/point_acquisition.h"
#include "tests/bus/prologix_fixture.h"

namespace quillon {
namespace {

using namespace testing;  // the Prologix fixture, its runs and queries
using SteadyClock = std::chrono::steady_clock;

// ----- failures of the link --------------------------------------------------

TEST_F(PrologixDriverTest, DroppedConnectionEndsTheRunWithItsReasonAndIdleConnectsAgain)
{
    Open();
    adapter.MisbehaveAt(SimulatedPrologixAdapter::Misbehaviour::Reset, "++read eoi", 2);
    const auto start = SteadyClock::now();
    const RunRecord broken = MeasureRun(clock);
    EXPECT_LT(SteadyClock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(broken.result.ending, RunEnding::BusFailure);
    EXPECT_EQ(broken.capacitance.size(), 1u);
    ASSERT_EQ(broken.messages.size(), 1u);
    const std::string& message = broken.messages[0];
    EXPECT_TRUE(Contains(message, "The meter's reply could not be read.")) << message;
    EXPECT_TRUE(Contains(message, "EDVR")) << message;
    EXPECT_TRUE(Contains(message, "\r\nSystem error: " + std::string(std::strerror(ECONNRESET))))
        << message;
    // The way back to idle connected again and switched the bias off.
    EXPECT_TRUE(driver->Connected());
    EXPECT_EQ(ibsta & ni::ERR, 0);
    EXPECT_FALSE(lab.meter->biasOn());
    EXPECT_EQ(adapter.Connections(), 2);

    const RunRecord again = MeasureRun(clock);
    EXPECT_EQ(again.result.ending, RunEnding::Completed);
    EXPECT_EQ(again.capacitance.size(), 3u);
    EXPECT_EQ(adapter.Connections(), 2);
}

TEST_F(PrologixDriverTest, IdleConnectsAgainOnceAfterALossAndThenFailsFastUntilTheNextRun)
{
    PrologixTimeouts quick;
    quick.connectMilliseconds = 200;
    quick.replyMilliseconds = 50;
    quick.listenerProbeMilliseconds = 10;
    int attempts = 0;
    const AdapterConnector connect =
        LocationConnector(*ParsePrologixLocation(adapter.Location()), quick);
    PrologixDriver counted([&] { return ++attempts, connect(); }, adapter.Location(), clock, quick);
    ASSERT_EQ(counted.Connect(), 0);
    SelectGpibDriver(counted);

    // An adapter silent for longer than its reply time in the second
    // point's wait; it is back, or it hangs for good.
    for (const bool hangs : {false, true}) {
        SCOPED_TRACE(hangs ? "hangs" : "back");
        const int attemptsBefore = attempts;
        adapter.MisbehaveAt(SimulatedPrologixAdapter::Misbehaviour::Silence, "++spoll", 3, hangs);
        const auto start = SteadyClock::now();
        const RunRecord run = MeasureRun(clock);
        EXPECT_LT(SteadyClock::now() - start, std::chrono::seconds(1));
        EXPECT_EQ(run.result.ending, RunEnding::BusFailure);
        ASSERT_EQ(run.messages.size(), 1u);
        EXPECT_TRUE(Contains(run.messages[0], std::strerror(ETIMEDOUT))) << run.messages[0];
        // One new connection, made by the device clear the way back to
        // idle begins with; what follows it does not try again.
        EXPECT_EQ(attempts, attemptsBefore + 1);
        EXPECT_EQ(lab.meter->biasOn(), hangs);
        if (hangs) {
            EXPECT_EQ(iberr, ni::EDVR);
            EXPECT_EQ(ibcntl, ETIMEDOUT);
            EXPECT_TRUE(Contains(counted.connectFailure(), "++ver")) << counted.connectFailure();
        } else {
            EXPECT_EQ(ibsta & ni::ERR, 0);
            EXPECT_EQ(adapter.Lines().back(), "++ver");
        }
    }
    // The next run tries again.
    adapter.Hold(false);
    const RunRecord again = MeasureRun(clock);
    EXPECT_EQ(again.result.ending, RunEnding::Completed);
    EXPECT_FALSE(lab.meter->biasOn());
    DeselectGpibDriver();
}

TEST_F(PrologixDriverTest, MisbehavingAdapterEndsTheCallWithinItsBoundsAndTheNextClearConnectsAgain)
{
    using Way = SimulatedPrologixAdapter::Misbehaviour;
    struct Case {
        Way way;
        const char* command;
        int error;
    };
    const Case cases[] = {
        {Way::EndlessLines, "++spoll", EMSGSIZE},    {Way::EndlessBytes, "++spoll", EMSGSIZE},
        {Way::Trickle, "++spoll", ETIMEDOUT},        {Way::Silence, "++spoll", ETIMEDOUT},
        {Way::Reset, "++spoll", ECONNRESET},         {Way::HugeReply, "++read eoi", EMSGSIZE},
        {Way::Trickle, "++read eoi", ETIMEDOUT},     {Way::EndlessBytes, "++clr", EMSGSIZE},
        {Way::EndlessLines, "++read eoi", EMSGSIZE},
    };
    PrologixTimeouts quick;
    quick.replyMilliseconds = 50;
    quick.adapterReadMilliseconds = 20;
    quick.listenerProbeMilliseconds = 10;
    Open(quick);
    const int16_t ud = OpenDevice(kMeter);
    int connections = adapter.Connections();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + std::to_string(static_cast<int>(c.way)));
        adapter.MisbehaveAt(c.way, c.command, 1);
        // A query as a point makes it, up to the call that fails.
        const std::function<void()> steps[] = {
            [&] { GpibClear(ud); },
            [&] { GpibWrite(ud, "*SRE 16;*IDN?"); },
            [&] { GpibWait(ud, kWaitMask); },
            [&] {
                int16_t statusByte = 0;
                GpibSerialPoll(ud, statusByte);
            },
            [&] {
                std::string reply(kReplyLength, ' ');
                GpibRead(ud, reply);
            },
        };
        std::chrono::steady_clock::duration longest{};
        for (const auto& step : steps) {
            const auto start = SteadyClock::now();
            step();
            longest = std::max(longest, SteadyClock::now() - start);
            if (ibsta & ni::ERR) break;
        }
        EXPECT_GE(adapter.MisbehavedAt(), 0);
        EXPECT_NE(ibsta & ni::ERR, 0);
        EXPECT_EQ(iberr, ni::EDVR);
        EXPECT_EQ(ibcntl, c.error) << std::strerror(ibcntl);
        if (c.error == EMSGSIZE) {
            EXPECT_TRUE(Contains(driver->lossReason(), "sent more than 1024 bytes"))
                << driver->lossReason();
        }
        EXPECT_LT(longest, std::chrono::milliseconds(500));
        EXPECT_FALSE(driver->Connected());

        // The misbehaviour went with its connection.
        GpibClear(ud);
        EXPECT_EQ(ibsta & ni::ERR, 0);
        EXPECT_EQ(adapter.Connections(), ++connections);
        GpibWrite(ud, "*IDN?");
        std::string reply(40, ' ');
        GpibRead(ud, reply);
        EXPECT_EQ(reply.substr(0, 15), "HEWLETT-PACKARD");
    }
}

TEST_F(PrologixDriverTest, SlowAdapterWithinTheBoundIsWaitedFor)
{
    PrologixTimeouts bounds;
    bounds.replyMilliseconds = 1000;
    Open(bounds);
    adapter.SetAnswerDelay(2);
    const QueryRecord query = Query();
    EXPECT_EQ(query.addresses, (std::vector<std::string>{"17"}));
    EXPECT_TRUE(query.messages.empty()) << ::testing::PrintToString(query.messages);
    EXPECT_EQ(query.lines.size(), 7u);
}

TEST_F(PrologixDriverTest, AdapterThatStopsAnsweringEndsTheRunWithinTheBound)
{
    PrologixTimeouts quick;
    quick.connectMilliseconds = 100;
    quick.replyMilliseconds = 60;
    Open(quick);
    const auto start = SteadyClock::now();
    const RunRecord run = MeasureRun(clock, [&](int point) {
        if (point == 2) adapter.Hold(true);
    });
    EXPECT_LT(SteadyClock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(run.result.ending, RunEnding::BusFailure) << ::testing::PrintToString(run.messages);
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_TRUE(
        Contains(run.messages[0], "\r\nSystem error: " + std::string(std::strerror(ETIMEDOUT))))
        << run.messages[0];
    EXPECT_EQ(run.capacitance.size(), 1u);
    EXPECT_FALSE(driver->Connected());
    adapter.Hold(false);
}

TEST_F(PrologixDriverTest, QueryAgainstASilentAdapterReportsTheFailedStep)
{
    PrologixTimeouts quick;
    quick.connectMilliseconds = 100;
    quick.replyMilliseconds = 60;
    Open(quick);
    adapter.Hold(true);
    const QueryRecord query = Query();
    ASSERT_EQ(query.messages.size(), 1u);
    EXPECT_EQ(query.messages[0].rfind(kFindListenersStep, 0), 0u) << query.messages[0];
    EXPECT_TRUE(Contains(query.messages[0], "EDVR")) << query.messages[0];
    adapter.Hold(false);
}

}  // namespace
}  // namespace quillon
