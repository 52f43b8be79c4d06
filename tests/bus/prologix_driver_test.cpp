#include "bus/prologix_driver.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "common/text_number.h"
#include "measure/instrument_setup.h"
#include "measure/meter_correction.h"
#include "measure/point_acquisition.h"
#include "tests/bus/prologix_fixture.h"

namespace quillon {
namespace {

using namespace testing;  // the Prologix fixture, its runs and queries
using SteadyClock = std::chrono::steady_clock;

// What the meter heard and answered. The adapter reads a reply up to its
// EOI, where the bus itself leaves what does not fit the run's buffer to
// the next device clear, so reads are compared on what the run takes; and
// the adapter looks for the service request with serial polls, where the
// bus itself sees the SRQ line, so polls that found none are left out.
std::vector<std::string> Transcript(const Simulated4284A& meter)
{
    static const char* const kKinds[] = {"message", "clear", "read", "poll"};
    std::vector<std::string> lines;
    for (const DeviceEvent& event : meter.Transcript()) {
        if (event.kind == DeviceEvent::Kind::SerialPoll &&
            !(std::stoi(event.text) & MessageDevice::kRqs))
            continue;
        std::string text = event.text;
        if (event.kind == DeviceEvent::Kind::Read) text = text.substr(0, kReplyLength);
        lines.push_back(std::string(kKinds[static_cast<int>(event.kind)]) + " " + text);
    }
    return lines;
}

// ----- connection and set-up ------------------------------------------------

// The AR488 boards of these tests run their line at 1 Mbaud, which an Uno
// can, rather than the firmware's 115200: the tests take a third of the
// time, and the buffer overflows all the same while ++mode waits.
constexpr int kQuickBaud = 1'000'000;

TEST(PrologixAdapters, EachIsMadeAQuietControllerInItsOwnCommandsLosingNothingAndStoringNothing)
{
    using Adapter = SimulatedPrologixAdapter;
    // Prologix takes its set-up at once; AR488 on an Uno keeps 63 bytes
    // while ++mode waits 80 ms, so its set-up goes in batches, each
    // answered before the next; its ++savecfg would save.
    const std::vector<std::string> prologix = {
        "++savecfg 0",    "++mode 1",     "++auto 0",          "++eoi 1",    "++eos 3",
        "++eot_enable 1", "++eot_char 4", "++read_tmo_ms 100", "++eot_char", "++ver"};
    const std::vector<std::string> ar488 = {
        "++mode 1", "++auto 0",     "++eoi 1",           "++eos 3",     "++eot_enable 1",
        "++ver",    "++eot_char 4", "++read_tmo_ms 100", "++srqauto 0", "++idn 0",
        "++ver",    "++flags 0",    "++eot_char",        "++ver"};
    struct Case {
        const char* adapter;
        Adapter::Board board;
        const std::vector<std::string>& setUp;
        const char* version;
    };
    const Case cases[] = {
        {"Prologix GPIB-ETHERNET", Adapter::Board{}, prologix, Adapter::kVersion},
        {"AR488 on an Uno", Adapter::Ar488Uno(0, kQuickBaud), ar488, Adapter::kAr488Version},
        // A bootloader much shorter than a real one, as the driver asks
        // again more often than it would: the test stays short.
        {"AR488 on an Uno that restarts as its port opens", Adapter::Ar488Uno(60, kQuickBaud),
         ar488, Adapter::kAr488Version},
    };
    const RunRecord expected = RunOnTheSimulatedBus();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.adapter);
        AdapterBench bench(c.board);
        PrologixTimeouts timeouts;
        timeouts.connectMilliseconds = 1000;
        timeouts.versionRetryMilliseconds = 30;
        ASSERT_EQ(bench.Open(timeouts), "");
        EXPECT_EQ(bench.driver->adapterVersion(), c.version);
        EXPECT_TRUE(bench.driver->MarksReadEnd());
        // A real bus: nothing in the caption or the query list says otherwise.
        EXPECT_EQ(bench.driver->CaptionMark(), "");
        EXPECT_EQ(bench.driver->ListNotice(), "");

        // The version asked (twice a time) until the adapter answered, then
        // the set-up, all of it heard.
        const std::vector<std::string> lines = bench.adapter.Lines();
        const auto setUp = std::find(lines.begin(), lines.end(), c.setUp.front());
        EXPECT_EQ(std::vector<std::string>(setUp, lines.end()), c.setUp);
        if (c.board.restartMilliseconds == 0) {
            // Asked once, answered at once.
            EXPECT_EQ(std::vector<std::string>(lines.begin(), setUp),
                      (std::vector<std::string>{"++ver", "++ver"}));
            EXPECT_EQ(bench.adapter.LostBytes(), 0u);
        } else {
            // The first question went to the bootloader.
            EXPECT_GT(bench.adapter.LostBytes(), 0u);
        }
        EXPECT_EQ(bench.adapter.StoredConfigurations(), 0);
        EXPECT_EQ(bench.adapter.EepromCellsWritten(), 0);

        const std::size_t lostConnecting = bench.adapter.LostBytes();
        const RunRecord run = MeasureRun(bench.clock);
        EXPECT_EQ(run.result.ending, RunEnding::Completed)
            << ::testing::PrintToString(run.messages);
        EXPECT_EQ(run.capacitance, expected.capacitance);
        EXPECT_EQ(bench.adapter.LostBytes(), lostConnecting);
    }
}

TEST(PrologixAdapters, SettingsAUserLeftOnAnAr488ChangeNoReadingAndNoAnswer)
{
    struct Case {
        const char* left;
        std::vector<std::string> commands;
    };
    const Case cases[] = {
        {"a read time-out that lets no handshake byte through", {"++read_tmo_ms 1"}},
        {"its own serial poll whenever SRQ is asserted", {"++srqauto 1"}},
        {"verbose mode: its echo and prompts", {"++verbose"}},
        {"its own answer to *IDN?", {"++idn 1"}},
        {"its handshake flags after each line sent and each read", {"++flags 6"}},
    };
    const RunRecord expectedRun = RunOnTheSimulatedBus();
    const QueryRecord expectedQuery = QueryOnTheSimulatedBus();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.left);
        AdapterBench bench(SimulatedPrologixAdapter::Ar488Uno(0, kQuickBaud), c.commands);
        PrologixTimeouts quick;
        quick.connectMilliseconds = 1000;
        quick.replyMilliseconds = 200;
        quick.adapterReadMilliseconds = 200;
        ASSERT_EQ(bench.Open(quick), "");
        const RunRecord run = MeasureRun(bench.clock);
        EXPECT_EQ(run.result.ending, RunEnding::Completed)
            << ::testing::PrintToString(run.messages);
        EXPECT_EQ(run.capacitance, expectedRun.capacitance);
        EXPECT_EQ(run.conductance, expectedRun.conductance);
        const QueryRecord query = Query();
        EXPECT_EQ(query.lines, expectedQuery.lines);
        EXPECT_TRUE(query.messages.empty()) << ::testing::PrintToString(query.messages);
    }
}

TEST_F(PrologixDriverTest, RefusedConnectionNamesTheAdapterAndTheReasonAndRefusesTheRun)
{
    const std::string location = "127.0.0.1:" + std::to_string(ClosedLoopbackPort());
    const PrologixOpening refused = OpenPrologixAdapter(location, clock);
    EXPECT_FALSE(refused.driver);
    EXPECT_TRUE(Contains(refused.refusal, location)) << refused.refusal;
    EXPECT_TRUE(Contains(refused.refusal, std::strerror(ECONNREFUSED))) << refused.refusal;

    // A driver whose adapter is gone refuses START with the system's reason.
    PrologixDriver gone(LocationConnector(*ParsePrologixLocation(location), {}), location, clock);
    SelectGpibDriver(gone);
    const RunRecord run = MeasureRun(clock);
    EXPECT_EQ(run.result.ending, RunEnding::Refused);
    EXPECT_EQ(iberr, ni::EDVR);
    EXPECT_EQ(ibcntl, ECONNREFUSED);
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_TRUE(
        Contains(run.messages[0], "\r\nSystem error: " + std::string(std::strerror(ECONNREFUSED))))
        << run.messages[0];
}

TEST_F(PrologixDriverTest, NameServiceThatDoesNotAnswerIsGivenUpWithinTheConnectionTime)
{
    // A name service that answers only once the test lets it, or after two
    // seconds, and then with the adapter's address.
    struct HeldNameService {
        std::mutex mutex;
        std::condition_variable released;
        bool answering = false;
        int asked = 0;
    };
    auto service = std::make_shared<HeldNameService>();
    const NameLookup lookup = [service](const char*, const char* port, const addrinfo* hints,
                                        addrinfo** found) {
        std::unique_lock<std::mutex> lock(service->mutex);
        ++service->asked;
        service->released.wait_for(lock, std::chrono::seconds(2),
                                   [&] { return service->answering; });
        return ::getaddrinfo("127.0.0.1", port, hints, found);
    };

    const auto start = SteadyClock::now();
    const AdapterStreamOpening late =
        ConnectTcpStream("gpib.lab.example", adapter.port(), 50, lookup);
    EXPECT_LT(SteadyClock::now() - start, std::chrono::seconds(1));
    EXPECT_FALSE(late.stream);
    EXPECT_EQ(late.error, ETIMEDOUT);
    EXPECT_TRUE(Contains(late.reason, "gpib.lab.example")) << late.reason;
    {
        std::lock_guard<std::mutex> lock(service->mutex);
        service->answering = true;
    }
    service->released.notify_all();

    // A name service that answers leads to the adapter.
    const AdapterStreamOpening found =
        ConnectTcpStream("gpib.lab.example", adapter.port(), 2000, lookup);
    EXPECT_TRUE(found.stream) << found.reason;
    std::lock_guard<std::mutex> lock(service->mutex);
    EXPECT_EQ(service->asked, 2);
}

TEST_F(PrologixDriverTest, SomethingThatDoesNotAnswerIsNoAdapter)
{
    adapter.Hold(true);
    PrologixTimeouts quick;
    quick.connectMilliseconds = 20;
    quick.replyMilliseconds = 20;
    const auto start = SteadyClock::now();
    const PrologixOpening opening = OpenPrologixAdapter(adapter.Location(), clock, quick);
    EXPECT_LT(SteadyClock::now() - start, std::chrono::seconds(1));
    EXPECT_FALSE(opening.driver);
    EXPECT_TRUE(Contains(opening.refusal, "++ver")) << opening.refusal;
    adapter.Hold(false);
}

// ----- a whole run and a whole query ----------------------------------------

TEST_F(PrologixDriverTest, WholeRunGivesTheReadingsAndTranscriptOfTheSimulatedBusItself)
{
    Open();
    const RunRecord run = MeasureRun(clock);

    SharedVirtualClock directClock{1000};
    SimulatedLab direct = MakeSimulatedLab(directClock);
    direct.meter->RecordTranscript(true);
    SelectGpibDriver(*direct.bus);
    const RunRecord expected = MeasureRun(directClock);

    ASSERT_EQ(run.result.ending, RunEnding::Completed) << ::testing::PrintToString(run.messages);
    ASSERT_EQ(expected.result.ending, RunEnding::Completed);
    ASSERT_EQ(run.capacitance.size(), 3u);
    EXPECT_EQ(run.capacitance, expected.capacitance);
    EXPECT_EQ(run.conductance, expected.conductance);
    EXPECT_GT(run.capacitance[0], 1e-12);
    EXPECT_EQ(Transcript(*lab.meter), Transcript(*direct.meter));
    EXPECT_FALSE(lab.meter->biasOn());
    EXPECT_FALSE(lab.meter->busTrigger());
    EXPECT_TRUE(run.messages.empty());

    // The service request is looked for at the meter's pace: the points
    // end within a few milliseconds of the meter's own reply.
    const uint32_t late = clock.TickCount() - directClock.TickCount();
    EXPECT_LT(late, 10u);
    // One read per point, and the meter's front panel given back at the end.
    EXPECT_EQ(adapter.CountOf("++read eoi"), 3);
    EXPECT_EQ(adapter.Lines().back(), "++ver");
    EXPECT_EQ(adapter.CountOf("++loc"), 1);
}

TEST_F(PrologixDriverTest, WholeQueryListsTheMeterAndTheMultimeterAsTheSimulatedBusDoes)
{
    Open();
    const QueryRecord query = Query();

    SharedVirtualClock directClock{1000};
    SimulatedLab direct = MakeSimulatedLab(directClock);
    SelectGpibDriver(*direct.bus);
    const QueryRecord expected = Query();

    EXPECT_EQ(query.lines,
              (std::vector<std::string>{
                  kFindingListenersLine, std::string(kInstrumentsFoundLine) + " 2", "",
                  Simulated4284A::kIdentification, kMeterFoundLine,
                  std::string(kMeterAddressLine) + " 17", kSimulatedMultimeterIdentification}));
    EXPECT_EQ(query.lines, expected.lines);
    EXPECT_EQ(query.addresses, (std::vector<std::string>{"17"}));
    EXPECT_TRUE(query.messages.empty()) << ::testing::PrintToString(query.messages);

    // Interface clear, then one serial poll per address.
    EXPECT_EQ(adapter.CountOf("++ifc"), 1);
    // The search changes the address thirty times: none of the changes
    // went to the adapter's EEPROM.
    EXPECT_EQ(adapter.StoredConfigurations(), 0);
    EXPECT_EQ(adapter.CountOf("++spoll"), 30);
    EXPECT_EQ(adapter.CountOf("++clr"), 2);
    EXPECT_EQ(adapter.CountOf("data *IDN?\n"), 2);
    // Nobody listens at 1: nothing is sent there.
    EXPECT_EQ(adapter.CountOf("data *idn?"), 0);
}

TEST_F(PrologixDriverTest, SerialAdapterOnAPseudoTerminalAnswersTheQuery)
{
    // A separate bench: the adapter of this test talks over a terminal line.
    SharedVirtualClock serialClock{1000};
    SimulatedLab serialLab = MakeSimulatedLab(serialClock);
    SimulatedPrologixAdapter serial(*serialLab.bus, {serialLab.meter, serialLab.multimeter},
                                    SimulatedPrologixAdapter::Link::PseudoTerminal);
    ASSERT_EQ(serial.Location().rfind("/dev/", 0), 0u) << serial.Location();
    PrologixOpening opening = OpenPrologixAdapter(serial.Location(), serialClock);
    ASSERT_TRUE(opening.driver) << opening.refusal;
    SelectGpibDriver(*opening.driver);

    const QueryRecord query = Query();
    EXPECT_EQ(query.addresses, (std::vector<std::string>{"17"}));
    ASSERT_EQ(query.lines.size(), 7u) << ::testing::PrintToString(query.lines);
    EXPECT_EQ(query.lines[3], Simulated4284A::kIdentification);
    EXPECT_EQ(query.lines[6], kSimulatedMultimeterIdentification);
    DeselectGpibDriver();
}

// ----- the emulated calls ---------------------------------------------------

TEST_F(PrologixDriverTest, DataIsEscapedSoThatNothingInItEndsTheLineOrBecomesACommand)
{
    Open();
    const int16_t ud = OpenDevice(kMeter);
    const std::size_t before = adapter.Received().size();
    const std::string data = "A+B\r\nC\x1b++ifc";
    GpibWrite(ud, data);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    EXPECT_EQ(ibcntl, static_cast<int32_t>(data.size()));
    GpibOnline(ud, 0);  // answered only once the adapter has taken the write

    const std::string wire = adapter.Received().substr(before);
    EXPECT_TRUE(Contains(wire, "++addr 17\nA\x1b+B\x1b\r\x1b\nC\x1b\x1b\x1b+\x1b+ifc\n"))
        << ::testing::PrintToString(wire);
    EXPECT_EQ(adapter.CountOf("data " + data), 1);
    EXPECT_EQ(adapter.CountOf("++ifc"), 0);
    // The meter took it whole, with EOI after the last byte.
    std::vector<std::string> heard;
    for (const DeviceEvent& event : lab.meter->Transcript())
        if (event.kind == DeviceEvent::Kind::Message) heard.push_back(event.text);
    EXPECT_EQ(heard, (std::vector<std::string>{"A+B\r", "C\x1b++ifc"}));
}

TEST_F(PrologixDriverTest, EndModesChooseEoiAndTheNewline)
{
    Open();
    const std::vector<int16_t> meter{kMeter, kNoAddr16};
    GpibSend(0, kMeter, "*TRG", ni::NULLend);
    EXPECT_EQ(ibcntl, 4);
    GpibSendList(0, meter, ";*IDN?", ni::NLend);
    EXPECT_EQ(ibcntl, 7);
    GpibSendList(0, meter, "*CLS", ni::DABend);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    GpibOnline(0, 0);

    // What the meter hears is the same for every driver; how the adapter is
    // told is this driver's own.
    const std::vector<std::string> lines = adapter.Lines();
    const auto first = std::find(lines.begin(), lines.end(), "data *TRG");
    ASSERT_NE(first, lines.end());
    EXPECT_EQ(*(first - 1), "++eoi 0");
    EXPECT_EQ(*(first + 1), "++eoi 1");
    EXPECT_EQ(*(first + 2), "data ;*IDN?\n");
}

TEST_F(PrologixDriverTest, ReadsAreBoundedByTheBufferAndTheRestWaitsForTheNextRead)
{
    Open();
    const int16_t ud = OpenDevice(kMeter);
    GpibWrite(ud, "*IDN?");
    const std::string reply = std::string(Simulated4284A::kIdentification) + "\n";

    std::string first(10, '#');
    GpibRead(ud, first);
    EXPECT_EQ(ibsta & (ni::ERR | ni::END), 0);
    EXPECT_EQ(ibcntl, 10);
    EXPECT_EQ(first, reply.substr(0, 10));

    std::string rest(50, ' ');
    GpibRead(ud, rest);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    EXPECT_NE(ibsta & ni::END, 0);
    const std::size_t left = reply.size() - 10;
    EXPECT_EQ(ibcntl, static_cast<int32_t>(left));
    EXPECT_EQ(rest, reply.substr(10) + std::string(50 - left, ' '));
    EXPECT_EQ(adapter.CountOf("++read eoi"), 1);

    // A device clear drops what the device still had to say.
    GpibWrite(ud, "*IDN?");
    GpibRead(ud, first);
    GpibClear(ud);
    GpibWrite(ud, "*IDN?");
    std::string whole(reply.size(), ' ');
    GpibRead(ud, whole);
    EXPECT_EQ(whole, reply);
    EXPECT_NE(ibsta & ni::END, 0);
}

TEST_F(PrologixDriverTest, AddressWithoutListenerGivesEnolAndNothingIsSentThere)
{
    Open();
    // Before anything is known, a poll nobody answers shows the gap.
    const int16_t ud = OpenDevice(9);
    int16_t statusByte = -1;
    GpibSerialPoll(ud, statusByte);
    EXPECT_NE(ibsta & ni::ERR, 0);
    EXPECT_NE(ibsta & ni::TIMO, 0);
    EXPECT_EQ(iberr, ni::EABO);
    const std::size_t before = adapter.Lines().size();
    GpibWrite(ud, "*RST");
    EXPECT_NE(ibsta & ni::ERR, 0);
    EXPECT_EQ(iberr, ni::ENOL);
    GpibClear(ud);
    EXPECT_EQ(iberr, ni::ENOL);
    GpibOnline(0, 0);
    EXPECT_EQ(LinesSince(before), std::vector<std::string>{"++ver"});
    // Opening the address anew tries it again.
    const int16_t again = OpenDevice(9);
    GpibWrite(again, "*RST");
    EXPECT_EQ(ibsta & ni::ERR, 0);

    // The listener search knows every address it polled.
    std::vector<int16_t> pads{1, 5, kMeter, kNoAddr16};
    std::vector<int16_t> found(4, 0);
    GpibFindListeners(0, pads, found, 4);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    EXPECT_EQ(ibcntl, 1);
    EXPECT_EQ(found[0], kMeter);
    GpibSend(0, 5, "*idn?", ni::NULLend);
    EXPECT_EQ(iberr, ni::ENOL);
    GpibClearList(0, {1, kMeter, kNoAddr16});
    EXPECT_EQ(iberr, ni::ENOL);
    // A list with one listener reaches it alone.
    GpibSendList(0, {5, kMeter, kNoAddr16}, "*IDN?", ni::NLend);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    GpibOnline(0, 0);
    EXPECT_EQ(adapter.CountOf("data *IDN?\n"), 1);
    EXPECT_EQ(adapter.CountOf("++addr 5"), 1);  // the poll of the search only
}

TEST_F(PrologixDriverTest, ErrorsOfTheCallItself)
{
    Open();
    GpibWrite(99, "*IDN?");
    EXPECT_EQ(iberr, ni::EDVR);
    EXPECT_EQ(ibcntl, 0);
    int16_t ud = 0;
    GpibOpenDevice(1, kMeter, 0, ni::T10s, 1, 0, ud);  // the adapter is board 0
    EXPECT_EQ(ud, -1);
    EXPECT_EQ(iberr, ni::ENEB);
    GpibOpenDevice(0, 31, 0, ni::T10s, 1, 0, ud);
    EXPECT_EQ(iberr, ni::EARG);
    ud = OpenDevice(kMeter);
    GpibConfigure(ud, ni::IbcUnAddr, 1);
    EXPECT_EQ(ibsta & ni::ERR, 0);
    GpibConfigure(ud, 3, 11);
    EXPECT_EQ(iberr, ni::ECAP);
    GpibWait(ud, 0x0001);
    EXPECT_EQ(iberr, ni::EARG);
}

// ----- service requests on virtual time -------------------------------------

class PrologixWithoutServiceRequestTest : public PrologixDriverTest {
protected:
    static SimulatedLabSettings NoRequest()
    {
        SimulatedLabSettings settings;
        settings.fault = SimulatedMeterFault::NoServiceRequest;
        return settings;
    }
    PrologixWithoutServiceRequestTest() : PrologixDriverTest(NoRequest()) {}
};

TEST_F(PrologixWithoutServiceRequestTest, WaitEndsWithTimoAfterTheTimeLimitPollingAtMostEvery20Ms)
{
    Open();
    const int16_t ud = OpenDevice(kMeter);
    GpibWrite(ud, "TRIG:SOUR BUS;*SRE 16");
    GpibWrite(ud, "*TRG");
    const int polls = adapter.CountOf("++spoll");
    const uint32_t start = clock.TickCount();
    GpibWait(ud, 0x4800);
    EXPECT_NE(ibsta & ni::TIMO, 0);
    EXPECT_EQ(ibsta & (ni::ERR | ni::RQS), 0);
    EXPECT_EQ(clock.TickCount() - start, 10000u);
    // Polled often while the meter is new, every 20 ms once it is late.
    EXPECT_LE(adapter.CountOf("++spoll") - polls, 10000 / 20 + 40);

    // The whole run ends as the meter's silence demands.
    const RunRecord run = MeasureRun(clock);
    EXPECT_EQ(run.result.ending, RunEnding::TimedOut);
    EXPECT_EQ(run.messages, (std::vector<std::string>{kTimeOverMessage}));
}

TEST_F(PrologixDriverTest, ServiceRequestIsAwaitedAtTheMetersPaceWithFewLinesAPoint)
{
    Open();
    InstrumentSettings settings;
    settings.integration = Integration::Short;
    settings.acLevel = "50";
    settings.triggerDelay = "0";
    const int16_t ud = SetUpInstrument(settings, clock).descriptor;
    uint32_t measuring = 0;
    std::string reply(kReplyLength, ' ');
    for (int point = 0; point < 8; ++point) {
        SCOPED_TRACE("point " + std::to_string(point));
        const std::size_t before = adapter.Lines().size();
        TriggerPoint(ud, 0.25 * point);
        const uint32_t triggered = clock.TickCount();
        const PointReading reading = CollectPoint(ud, reply);
        ASSERT_EQ(reading.outcome, PointReading::Outcome::Read);
        EXPECT_EQ(reading.capacitance, NumberOfText(reply.substr(0, 12)));
        const uint32_t took = clock.TickCount() - triggered;
        measuring = lab.meter->MeasurementMilliseconds();
        EXPECT_GE(took, measuring);
        // Once the meter's time is learnt, its reply is taken within a
        // millisecond of its request, and few lines go to the adapter: the
        // meter's status byte says its message is ready (MAV), so the read
        // needs no other time-out than the polls.
        if (point > 0) {
            EXPECT_LE(took, measuring + 1);
            const std::vector<std::string> lines = LinesSince(before);
            EXPECT_LE(lines.size(), 10u) << ::testing::PrintToString(lines);
            EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                    [](const std::string& line) {
                                        return line.rfind("++read_tmo_ms", 0) == 0;
                                    }),
                      0)
                << ::testing::PrintToString(lines);
        }
    }
}

TEST_F(PrologixDriverTest, AdapterWithoutEndMarkEndsRepliesAtTheirLineFeedNotAtTheTimeOut)
{
    adapter.SetKnowsEndMark(false);
    Open();
    EXPECT_FALSE(driver->MarksReadEnd());
    const auto start = SteadyClock::now();
    const RunRecord run = MeasureRun(clock);
    const QueryRecord query = Query();
    // Each reply would otherwise wait for the adapter's 3 s time-out.
    EXPECT_LT(SteadyClock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(run.result.ending, RunEnding::Completed) << ::testing::PrintToString(run.messages);
    EXPECT_EQ(run.capacitance.size(), 3u);
    EXPECT_GT(run.capacitance[2], 1e-12);
    EXPECT_EQ(query.addresses, (std::vector<std::string>{"17"}));
    EXPECT_EQ(query.lines.size(), 7u) << ::testing::PrintToString(query.lines);
}

TEST(PrologixAdapters, ReadOfADeviceWithNothingToSayEndsWithTimoAndEabo)
{
    // A read time-out of 1 ms asked for: a Prologix is given it; an AR488,
    // which would then let no handshake byte through, its least.
    struct Case {
        const char* adapter;
        SimulatedPrologixAdapter::Board board;
        const char* readTimeout;
    };
    const Case cases[] = {
        {"Prologix GPIB-ETHERNET", {}, "++read_tmo_ms 1"},
        {"AR488 on an Uno", SimulatedPrologixAdapter::Ar488Uno(0, kQuickBaud), "++read_tmo_ms 50"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.adapter);
        AdapterBench bench(c.board);
        PrologixTimeouts quick;
        quick.adapterReadMilliseconds = 1;
        quick.replyMilliseconds = 60;
        ASSERT_EQ(bench.Open(quick), "");
        int16_t ud = -1;
        GpibOpenDevice(0, kMultimeter, 0, ni::T10s, 1, 0, ud);
        std::string buffer(20, ' ');
        GpibRead(ud, buffer);
        EXPECT_NE(ibsta & ni::ERR, 0);
        EXPECT_NE(ibsta & ni::TIMO, 0);
        EXPECT_EQ(iberr, ni::EABO);
        EXPECT_EQ(ibcntl, 0);
        EXPECT_EQ(buffer, std::string(20, ' '));
        EXPECT_TRUE(bench.driver->Connected());
        const std::vector<std::string> lines = bench.adapter.Lines();
        EXPECT_EQ(std::count_if(
                      lines.begin(), lines.end(),
                      [](const std::string& line) { return line.rfind("++read_tmo_ms", 0) == 0; }),
                  2)
            << ::testing::PrintToString(lines);
        EXPECT_EQ(bench.adapter.CountOf(c.readTimeout), 1);

        // The adapter is still in step: the next query is answered.
        GpibWrite(ud, "*IDN?");
        std::string reply(40, ' ');
        GpibRead(ud, reply);
        EXPECT_EQ(ibsta & ni::ERR, 0);
        EXPECT_EQ(reply.substr(0, 15), "HEWLETT-PACKARD");
    }
}

TEST_F(PrologixDriverTest, ServiceRequestFoundByTheSearchIsKeptForThePoll)
{
    Open();
    const int16_t ud = OpenDevice(kMeter);
    GpibWrite(ud, "*SRE 16;*IDN?");
    std::vector<int16_t> found(2, 0);
    GpibFindListeners(0, {kMeter, kNoAddr16}, found, 2);
    ASSERT_EQ(ibcntl, 1);
    const uint32_t start = clock.TickCount();
    GpibWait(ud, 0x4800);
    EXPECT_NE(ibsta & ni::RQS, 0);
    EXPECT_EQ(clock.TickCount(), start);
    int16_t statusByte = 0;
    GpibSerialPoll(ud, statusByte);
    EXPECT_EQ(statusByte, 0x40 | 0x10);
    EXPECT_EQ(ibcntl, 1);
}

}  // namespace
}  // namespace quillon

namespace quillon {
namespace {

TEST_F(PrologixDriverTest, AnAnswerLaterThanTheAdaptersReadTimeIsWaitedForByTheCorrectionsSteps)
{
    lab.meter->SetTimeScale(0.25);  // a spot correction done in 500 ms
    PrologixTimeouts quick;
    quick.adapterReadMilliseconds = 200;
    quick.replyMilliseconds = 60;
    Open(quick);
    // One read ends with the adapter's read time, long before the answer.
    int16_t ud = -1;
    GpibOpenDevice(0, kMeter, 0, ni::T10s, 1, 0, ud);
    GpibWrite(ud, "CORR:SPOT1:OPEN");
    GpibWrite(ud, "*OPC?");
    std::string reply(10, ' ');
    GpibRead(ud, reply);
    EXPECT_NE(ibsta & ni::ERR, 0);
    EXPECT_EQ(reply.substr(0, 2), "  ");
    GpibClear(ud);
    GpibOnline(ud, 0);

    // The correction's own wait reads in steps shorter than the meter takes.
    const CorrectionOutcome outcome =
        MeasureStandard({0, kMeter}, CorrectionStandard::Open, CorrectionSpan::Spot, 100000.0,
                        clock, [](uint32_t) { return true; });
    EXPECT_TRUE(outcome.done) << outcome.failure.value_or("");
    ASSERT_TRUE(outcome.meterState);
    EXPECT_TRUE(outcome.meterState->openOn);
    EXPECT_EQ(outcome.meterState->spotFrequencyHertz, 100000.0);
}

}  // namespace
}  // namespace quillon
