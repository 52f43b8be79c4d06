#include "platform/stop_signals.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <csignal>

namespace quillon {
namespace {

bool Readable(int descriptor)
{
    pollfd entry{descriptor, POLLIN, 0};
    return ::poll(&entry, 1, 0) == 1;
}

TEST(StopSignals, EachSignalMarksTheFirstRequestAndWakesTheReader)
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        const StopSignals stopSignals;
        EXPECT_EQ(stopSignals.Received(), 0);
        EXPECT_FALSE(Readable(stopSignals.WakeDescriptor()));
        std::raise(signal);
        EXPECT_EQ(stopSignals.Received(), signal);
        EXPECT_TRUE(Readable(stopSignals.WakeDescriptor()));
        std::raise(signal == SIGINT ? SIGTERM : SIGINT);
        EXPECT_EQ(stopSignals.Received(), signal) << "a later signal changes nothing";
        stopSignals.Drain();
        EXPECT_FALSE(Readable(stopSignals.WakeDescriptor()));
        EXPECT_EQ(stopSignals.Received(), signal);
    }
}

volatile std::sig_atomic_t ownHandlerCalls = 0;
extern "C" void CountCall(int)
{
    ownHandlerCalls = ownHandlerCalls + 1;
}

TEST(StopSignals, EndingGivesTheSignalsBackToTheHandlersTheyHad)
{
    struct sigaction own {};
    own.sa_handler = CountCall;
    struct sigaction before {};
    ASSERT_EQ(::sigaction(SIGHUP, &own, &before), 0);
    {
        const StopSignals stopSignals;
        std::raise(SIGHUP);
        EXPECT_EQ(ownHandlerCalls, 0);
    }
    std::raise(SIGHUP);
    EXPECT_EQ(ownHandlerCalls, 1);
    ::sigaction(SIGHUP, &before, nullptr);
}

}  // namespace
}  // namespace quillon
