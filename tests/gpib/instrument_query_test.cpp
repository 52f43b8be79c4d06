#include "gpib/instrument_query.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <optional>

#include "gpib/gpib_binding.h"
#include "sim/simulated_4284a.h"
#include "sim/simulated_bus.h"
#include "tests/support/recording_desktop.h"

namespace quillon {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using testing::RecordingDesktop;
using testing::ShownMessage;

constexpr const char* kMeterReply = Simulated4284A::kIdentification;
constexpr const char* kMultimeterReply = "HEWLETT-PACKARD,34401A,0,11-5-2";

// The window as the query sees it: every line, every refresh and every
// change of "Quit" and of the main window's address box.
class RecordingView final : public QueryView {
public:
    void AddReading(const std::string& line) override { lines.push_back(line); }
    void RefreshReadings() override { ++refreshes; }
    int ReadingCount() const override { return static_cast<int>(lines.size()); }
    void RemoveFirstReading() override { lines.erase(lines.begin()); }
    void EnableQuit(bool enabled) override { quitEnabled.push_back(enabled); }
    void SetMeterAddress(const std::string& address) override { addresses.push_back(address); }
    void AddListener(int address, const std::string& identification) override
    {
        listeners.push_back(std::to_string(address) + " " + identification);
    }

    std::vector<std::string> lines;
    int refreshes = 0;
    std::vector<bool> quitEnabled;
    std::vector<std::string> addresses;
    std::vector<std::string> listeners;  // "address reply"
};

// Talks when asked but has nothing to say: the receive ends at once with
// no byte.
class EmptyReplyDevice final : public SimulatedDevice {
public:
    explicit EmptyReplyDevice(Clock& clock) : clock_(clock) {}
    void Listen(std::string_view, bool) override {}
    std::optional<uint32_t> OutputReadyTick() override { return clock_.TickCount(); }
    std::string Talk(std::size_t, bool& end) override
    {
        end = true;
        return {};
    }
    void DeviceClear() override {}
    uint8_t SerialPoll() override { return 0; }
    std::optional<uint32_t> ServiceRequestTick() override { return std::nullopt; }

private:
    Clock& clock_;
};

// Listens but never answers, so a receive from it runs into the time limit.
class SilentDevice final : public SimulatedDevice {
public:
    void Listen(std::string_view, bool) override {}
    std::optional<uint32_t> OutputReadyTick() override { return std::nullopt; }
    std::string Talk(std::size_t, bool& end) override
    {
        end = false;
        return {};
    }
    void DeviceClear() override {}
    uint8_t SerialPoll() override { return 0; }
    std::optional<uint32_t> ServiceRequestTick() override { return std::nullopt; }
};

// A driver in front of a simulated bus that presents itself as a real one
// (no notice), records the calls it gets with Send's end mode, can make one
// kind of call fail, and can overstate the number of listeners found.
class FrontDriver final : public GpibDriver {
public:
    explicit FrontDriver(SimulatedBus& bus) : bus_(bus) {}

    std::string failingCall;
    int failingError = 0;
    int32_t failingCount = 0;  // a driver error's errno, as linux-gpib leaves it
    std::optional<int32_t> claimedListeners;
    std::vector<std::string> calls;
    std::vector<int> sendEndModes;

    int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) override
    {
        calls.push_back("ibdev");
        return bus_.ibdev(board, pad, sad, tmo, eot, eos);
    }
    int ibconfig(int ud, int option, int value) override
    {
        calls.push_back("ibconfig");
        return bus_.ibconfig(ud, option, value);
    }
    int ibclr(int ud) override
    {
        calls.push_back("ibclr");
        return bus_.ibclr(ud);
    }
    int ibwrt(int ud, const void* data, long count) override
    {
        calls.push_back("ibwrt");
        return bus_.ibwrt(ud, data, count);
    }
    int ibrd(int ud, void* buffer, long count) override
    {
        calls.push_back("ibrd");
        return bus_.ibrd(ud, buffer, count);
    }
    int ibwait(int ud, int mask) override
    {
        calls.push_back("ibwait");
        return bus_.ibwait(ud, mask);
    }
    int ibrsp(int ud, char* statusByte) override
    {
        calls.push_back("ibrsp");
        return bus_.ibrsp(ud, statusByte);
    }
    int ibonl(int ud, int value) override
    {
        if (Fail("ibonl")) return ni::ERR;
        return bus_.ibonl(ud, value);
    }
    void SendIFC(int board) override
    {
        if (!Fail("SendIFC")) bus_.SendIFC(board);
    }
    void FindLstn(int board, const Addr4882* padList, Addr4882* resultList, int limit) override
    {
        if (Fail("FindLstn")) return;
        bus_.FindLstn(board, padList, resultList, limit);
        if (claimedListeners) *cells_.ibcntl = *cells_.ibcnt = *claimedListeners;
    }
    void DevClearList(int board, const Addr4882* addrList) override
    {
        if (!Fail("DevClearList")) bus_.DevClearList(board, addrList);
    }
    void SendList(int board, const Addr4882* addrList, const void* data, long count,
                  int eotMode) override
    {
        if (!Fail("SendList")) bus_.SendList(board, addrList, data, count, eotMode);
    }
    void Send(int board, Addr4882 addr, const void* data, long count, int eotMode) override
    {
        sendEndModes.push_back(eotMode);
        if (!Fail("Send")) bus_.Send(board, addr, data, count, eotMode);
    }
    void Receive(int board, Addr4882 addr, void* buffer, long count, int termination) override
    {
        if (!Fail("Receive")) bus_.Receive(board, addr, buffer, count, termination);
    }
    int RegisterGpibGlobalsForThread(int32_t* ibstaCell, int32_t* iberrCell, int32_t* ibcntCell,
                                     int32_t* ibcntlCell) override
    {
        cells_ = {ibstaCell, iberrCell, ibcntCell, ibcntlCell};
        return bus_.RegisterGpibGlobalsForThread(ibstaCell, iberrCell, ibcntCell, ibcntlCell);
    }
    int UnregisterGpibGlobalsForThread() override { return bus_.UnregisterGpibGlobalsForThread(); }

private:
    struct Cells {
        int32_t* ibsta = nullptr;
        int32_t* iberr = nullptr;
        int32_t* ibcnt = nullptr;
        int32_t* ibcntl = nullptr;
    };

    bool Fail(const std::string& call)
    {
        calls.push_back(call);
        if (call != failingCall) return false;
        *cells_.ibsta = ni::ERR | ni::CIC;
        *cells_.iberr = failingError;
        *cells_.ibcnt = *cells_.ibcntl = failingCount;
        return true;
    }

    SimulatedBus& bus_;
    Cells cells_;
};

class InstrumentQueryTest : public ::testing::Test {
protected:
    InstrumentQueryTest()
    {
        SelectGpibDriver(bus);
        bus.RecordCalls(true);
    }

    void AttachInstrument(int pad, const std::string& identification)
    {
        bus.Attach(0, pad, std::make_unique<SimulatedInstrument>(clock, identification));
    }
    Simulated4284A& AttachMeter(int pad)
    {
        return static_cast<Simulated4284A&>(
            bus.Attach(0, pad, std::make_unique<Simulated4284A>(clock)));
    }

    void Run() { ClearAndRunQuery(view, desktop, false); }

    // Every call the bus saw, as "call target data".
    std::vector<std::string> BusCalls() const
    {
        std::vector<std::string> seen;
        for (const BusCall& call : bus.Calls())
            seen.push_back(call.call + " " + std::to_string(call.target) + " " + call.data);
        return seen;
    }
    std::vector<std::string> BusCallNames() const
    {
        std::vector<std::string> names;
        for (const BusCall& call : bus.Calls()) names.push_back(call.call);
        return names;
    }

    VirtualClock clock{1000};
    SimulatedBus bus{clock};
    RecordingView view;
    RecordingDesktop desktop;
};

std::string AllPrimaryAddresses()
{
    std::string text = "1";
    for (int pad = 2; pad <= 30; ++pad) text += "," + std::to_string(pad);
    return text;
}

std::string ErrorMessage(const std::string& step, const std::string& ibstaLine,
                         const std::string& iberrLine, const std::string& ibcntLine)
{
    return step + "\r\n" + ibstaLine + "\r\n" + iberrLine + "\r\n" + ibcntLine +
           "\r\rI'm quitting!";
}

TEST_F(InstrumentQueryTest, OneMeterIsListedAndItsAddressHandedOn)
{
    AttachMeter(17);
    Run();

    EXPECT_THAT(view.lines,
                ElementsAre(SimulatedBus::kListNotice, "Finding all listeners on the bus...",
                            "Number of instruments found =  1", "", kMeterReply,
                            "\tLCR meter was found", "\tThe address is  17"));
    EXPECT_THAT(view.addresses, ElementsAre("17"));
    EXPECT_THAT(desktop.messages, IsEmpty());
    EXPECT_THAT(view.quitEnabled, ElementsAre(false, true));
    EXPECT_THAT(desktop.waitCursor, ElementsAre(true, false));
    EXPECT_THAT(BusCalls(),
                ElementsAre("SendIFC 0 ", "FindLstn 0 " + AllPrimaryAddresses(),
                            "DevClearList 0 17", "SendList 0 17:*IDN?", "SendList 0 1:*idn?",
                            "Receive 0 " + std::string(kMeterReply) + "\n", "ibonl 0 0"));
}

TEST_F(InstrumentQueryTest, TheNoticeLineIsExactlyWhatTheBusSays)
{
    Run();
    ASSERT_FALSE(view.lines.empty());
    EXPECT_EQ(view.lines.front(), bus.ListNotice());
}

TEST_F(InstrumentQueryTest, ABusWithoutNoticeStartsTheListWithTheSearch)
{
    FrontDriver front(bus);
    SelectGpibDriver(front);
    AttachMeter(17);
    Run();

    EXPECT_THAT(view.lines, ElementsAre("Finding all listeners on the bus...",
                                        "Number of instruments found =  1", "", kMeterReply,
                                        "\tLCR meter was found", "\tThe address is  17"));
    // The lower-case query to address 1 goes without newline and EOI.
    EXPECT_THAT(front.sendEndModes, ElementsAre(ni::NULLend));
}

TEST_F(InstrumentQueryTest, TwoListenersWithoutMeterEndInTheNotFoundMessage)
{
    AttachInstrument(5, "ACME,SCOPE-1,0,1.0");
    AttachInstrument(22, kMultimeterReply);
    desktop.onMessage = [this](const ShownMessage&) {
        EXPECT_THAT(view.quitEnabled, ElementsAre(false));
    };
    Run();

    EXPECT_THAT(view.lines,
                ElementsAre(SimulatedBus::kListNotice, "Finding all listeners on the bus...",
                            "Number of instruments found =  2", "", "ACME,SCOPE-1,0,1.0",
                            kMultimeterReply));
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, "4284A was not found");
    EXPECT_EQ(desktop.messages[0].title, "");
    EXPECT_EQ(desktop.messages[0].icon, MessageIcon::None);
    EXPECT_THAT(view.addresses, IsEmpty());
    EXPECT_THAT(view.quitEnabled, ElementsAre(false, true));
    ASSERT_FALSE(bus.Calls().empty());
    EXPECT_EQ(bus.Calls().back().call, "ibonl");
}

TEST_F(InstrumentQueryTest, RepliesAreCutAtTheBufferAndWithoutTheirLastByte)
{
    const std::string longReply = "MAKER,MODEL-WITH-A-VERY-LONG-NAME,SERIAL-0123456789,FIRMWARE-2";
    ASSERT_GT(longReply.size() + 1, 50u);
    AttachInstrument(4, longReply);
    AttachInstrument(9, "X,4284a,1,2");
    bus.Attach(0, 12, std::make_unique<EmptyReplyDevice>(clock));
    Run();

    // 50 bytes arrive, the last of them is taken for the newline.
    EXPECT_THAT(view.lines,
                ElementsAre(SimulatedBus::kListNotice, "Finding all listeners on the bus...",
                            "Number of instruments found =  3", "", longReply.substr(0, 49),
                            "X,4284a,1,2", ""));
    // A lower-case model letter does not name the meter.
    EXPECT_THAT(view.addresses, IsEmpty());
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, "4284A was not found");
}

TEST_F(InstrumentQueryTest, EveryMeterGetsItsLinesAndTheLastAddressStays)
{
    AttachMeter(3);
    AttachInstrument(8, kMultimeterReply);
    AttachInstrument(17, "Agilent Technologies,4284A,MY1234,01.20");
    Run();

    EXPECT_THAT(view.lines,
                ElementsAre(SimulatedBus::kListNotice, "Finding all listeners on the bus...",
                            "Number of instruments found =  3", "", kMeterReply,
                            "\tLCR meter was found", "\tThe address is  3", kMultimeterReply,
                            "Agilent Technologies,4284A,MY1234,01.20", "\tLCR meter was found",
                            "\tThe address is  17"));
    EXPECT_THAT(view.addresses, ElementsAre("3", "17"));
    EXPECT_THAT(view.listeners,
                ElementsAre(std::string("3 ") + kMeterReply, std::string("8 ") + kMultimeterReply,
                            "17 Agilent Technologies,4284A,MY1234,01.20"));
    EXPECT_THAT(desktop.messages, IsEmpty());
}

TEST_F(InstrumentQueryTest, RunningAgainShowsOnlyTheNewRun)
{
    AttachMeter(17);
    AttachInstrument(22, kMultimeterReply);
    Run();
    bus.Detach(0, 17);
    Run();

    EXPECT_THAT(view.lines,
                ElementsAre(SimulatedBus::kListNotice, "Finding all listeners on the bus...",
                            "Number of instruments found =  1", "", kMultimeterReply));
    EXPECT_THAT(view.addresses, ElementsAre("17"));
    ASSERT_EQ(desktop.messages.size(), 1u);
}

TEST_F(InstrumentQueryTest, ClearingRemovesEveryLineAndRefreshes)
{
    view.lines = {"a", "b", "c"};
    ClearReadings(view);
    EXPECT_THAT(view.lines, ElementsAre(SimulatedBus::kListNotice));
    EXPECT_EQ(view.refreshes, 1);
    EXPECT_THAT(BusCalls(), IsEmpty());
}

TEST_F(InstrumentQueryTest, NoBoardIsReportedAtTheInterfaceClear)
{
    bus.SetBoardPresent(0, false);
    desktop.onMessage = [this](const ShownMessage&) {
        EXPECT_THAT(view.quitEnabled, ElementsAre(false));
    };
    Run();

    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text,
              ErrorMessage("Error sending IFC.", "ibsta = &H8000 < ERR>",
                           "iberr = ENEB <No GPIB board>", "ibcnt = 0x0"));
    EXPECT_EQ(desktop.messages[0].title, "Error");
    EXPECT_EQ(desktop.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_THAT(BusCallNames(), ElementsAre("SendIFC", "ibonl"));
    EXPECT_THAT(view.lines, ElementsAre(SimulatedBus::kListNotice));
    EXPECT_THAT(view.quitEnabled, ElementsAre(false, true));
    EXPECT_THAT(desktop.waitCursor, IsEmpty());
}

TEST_F(InstrumentQueryTest, AnEmptyBusIsReportedWhenTheQueryFindsNoListener)
{
    Run();

    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text,
              ErrorMessage("Error sending '*IDN?'. ", "ibsta = &H8000 < ERR>",
                           "iberr = ENOL <No Listener>", "ibcnt = 0x0"));
    EXPECT_EQ(desktop.messages[0].title, "Error");
    EXPECT_EQ(desktop.messages[0].icon, MessageIcon::Exclamation);
    // No lower-case query, no receive and no "not found" after the report.
    EXPECT_THAT(BusCallNames(),
                ElementsAre("SendIFC", "FindLstn", "DevClearList", "SendList", "ibonl"));
    EXPECT_THAT(view.lines,
                ElementsAre(SimulatedBus::kListNotice, "Finding all listeners on the bus...",
                            "Number of instruments found =  0", ""));
    EXPECT_THAT(view.quitEnabled, ElementsAre(false, true));
}

TEST_F(InstrumentQueryTest, ASilentListenerIsReportedAndTheRestIsNotAsked)
{
    bus.Attach(0, 5, std::make_unique<SilentDevice>());
    AttachMeter(17);
    const uint32_t start = clock.TickCount();
    Run();

    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, ErrorMessage("Error in receiving response to '*IDN?'. ",
                                                     "ibsta = &HC120 < ERR TIMO CMPL CIC>",
                                                     "iberr = EABO <Op. aborted>", "ibcnt = 0x0"));
    EXPECT_EQ(desktop.messages[0].title, "Error");
    EXPECT_EQ(desktop.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_THAT(BusCalls(), ElementsAre("SendIFC 0 ", "FindLstn 0 " + AllPrimaryAddresses(),
                                        "DevClearList 0 5,17", "SendList 0 5,17:*IDN?",
                                        "SendList 0 1:*idn?", "Receive 0 5", "ibonl 0 0"));
    EXPECT_THAT(view.addresses, IsEmpty());
    EXPECT_EQ(view.lines.back(), "");
    EXPECT_EQ(clock.TickCount() - start, 10000u);  // the bus's 10 s limit, in virtual time
}

TEST_F(InstrumentQueryTest, ADriverErrorQuotesTheSystemsReasonAsStartDoes)
{
    FrontDriver front(bus);
    SelectGpibDriver(front);
    front.failingCall = "SendIFC";
    front.failingError = ni::EDVR;
    front.failingCount = ENOENT;  // linux-gpib without /etc/gpib.conf
    Run();

    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text,
              ErrorMessage("Error sending IFC.", "ibsta = &H8020 < ERR CIC>",
                           "iberr = EDVR <DOS Error>\r\nSystem error: No such file or directory",
                           "ibcnt = 0x2"));
}

struct FailingStep {
    const char* call;
    const char* stepText;
    std::vector<std::string> callsUpToTheFailure;
};

class InstrumentQueryStepTest : public InstrumentQueryTest,
                                public ::testing::WithParamInterface<FailingStep> {};

TEST_P(InstrumentQueryStepTest, AFailedStepIsReportedAndEndsTheRun)
{
    const FailingStep& step = GetParam();
    FrontDriver front(bus);
    SelectGpibDriver(front);
    AttachMeter(17);
    front.failingCall = step.call;
    front.failingError = ni::EBUS;
    std::vector<bool> waitCursorAtReport;
    desktop.onMessage = [&](const ShownMessage&) {
        EXPECT_THAT(view.quitEnabled, ElementsAre(false));
        waitCursorAtReport = desktop.waitCursor;
    };
    Run();

    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text,
              ErrorMessage(step.stepText, "ibsta = &H8020 < ERR CIC>",
                           "iberr = EBUS <Command error>", "ibcnt = 0x0"));
    EXPECT_EQ(desktop.messages[0].title, "Error");
    EXPECT_EQ(desktop.messages[0].icon, MessageIcon::Exclamation);
    // The report takes the board offline; nothing else follows the failure.
    std::vector<std::string> expected = step.callsUpToTheFailure;
    expected.push_back("ibonl");
    EXPECT_THAT(front.calls, ElementsAreArray(expected));
    EXPECT_THAT(view.quitEnabled, ElementsAre(false, true));
    // The hourglass covers the search only, and is gone before any report.
    const std::vector<bool> searchOnly =
        step.callsUpToTheFailure.size() > 1 ? std::vector<bool>{true, false} : std::vector<bool>{};
    EXPECT_EQ(waitCursorAtReport, searchOnly);
    EXPECT_EQ(desktop.waitCursor, searchOnly);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, InstrumentQueryStepTest,
    ::testing::Values(
        FailingStep{"SendIFC", "Error sending IFC.", {"SendIFC"}},
        FailingStep{"FindLstn", "Error finding all listeners.", {"SendIFC", "FindLstn"}},
        FailingStep{"DevClearList",
                    "Error in clearing the devices. ",
                    {"SendIFC", "FindLstn", "DevClearList"}},
        FailingStep{"SendList",
                    "Error sending '*IDN?'. ",
                    {"SendIFC", "FindLstn", "DevClearList", "SendList"}},
        FailingStep{"Receive",
                    "Error in receiving response to '*IDN?'. ",
                    {"SendIFC", "FindLstn", "DevClearList", "SendList", "Send", "Receive"}},
        FailingStep{
            "ibonl",
            "Error putting board offline.",
            {"SendIFC", "FindLstn", "DevClearList", "SendList", "Send", "Receive", "ibonl"}}),
    [](const ::testing::TestParamInfo<FailingStep>& step) { return std::string(step.param.call); });

TEST_F(InstrumentQueryTest, AFailedSearchPutsThePointerBackBeforeTheReport)
{
    FrontDriver front(bus);
    SelectGpibDriver(front);
    front.failingCall = "FindLstn";
    front.failingError = ni::ENEB;
    std::vector<bool> waitCursorAtReport;
    desktop.onMessage = [&](const ShownMessage&) { waitCursorAtReport = desktop.waitCursor; };
    Run();

    EXPECT_THAT(waitCursorAtReport, ElementsAre(true, false));
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_THAT(desktop.messages[0].text, ::testing::HasSubstr("\r\niberr = ENEB <No GPIB board>"));
    EXPECT_THAT(view.lines, ElementsAre("Finding all listeners on the bus..."));
}

TEST_F(InstrumentQueryTest, AnOverstatedListenerCountKeepsTheTerminatorInTheList)
{
    FrontDriver front(bus);
    SelectGpibDriver(front);
    AttachMeter(17);
    front.claimedListeners = 40;
    Run();

    // Entry 30 closes the list; the entries the search did not fill are 0.
    std::string cleared = "DevClearList 0 17";
    for (int i = 1; i < 30; ++i) cleared += ",0";
    ASSERT_GE(bus.Calls().size(), 3u);
    const BusCall& clear = bus.Calls()[2];
    EXPECT_EQ(clear.call + " " + std::to_string(clear.target) + " " + clear.data, cleared);
    EXPECT_EQ(view.lines[1], "Number of instruments found =  40");
}

TEST_F(InstrumentQueryTest, DuringAMeasurementRunTheBusIsLeftAlone)
{
    Simulated4284A& meter = AttachMeter(17);
    meter.RecordTranscript(true);
    ClearAndRunQuery(view, desktop, true);

    EXPECT_THAT(BusCalls(), IsEmpty());
    EXPECT_THAT(meter.Transcript(), IsEmpty());
    EXPECT_THAT(view.lines, ElementsAre(SimulatedBus::kListNotice, kMeasurementRunningLine));
    EXPECT_THAT(view.quitEnabled, IsEmpty());
    EXPECT_THAT(view.addresses, IsEmpty());
    EXPECT_THAT(desktop.messages, IsEmpty());
}

}  // namespace
}  // namespace quillon
