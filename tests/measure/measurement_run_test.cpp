#include "measure/measurement_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "common/date_text.h"
#include "common/text_number.h"
#include "measure_fixture.h"
#include "tests/support/crlf_lines.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/recording_run_window.h"
#include "tests/support/temp_folder.h"

namespace quillon {
namespace {

using testing::RecordingRunWindow;

class MeasurementRunTest : public ::testing::Test {
protected:
    MeasurementRunTest()
    {
        // 0 V to 1 V in 0.25 V steps, once, at SHORT and 1 kHz.
        window.settings.text = {"0", "1", "0.25", "1000", "1", "0", "50", "10000", "0", "17", "1"};
        window.settings.option = 0;
    }

    RunResult Run()
    {
        bench.lab.meter->ClearTranscript();
        bench.lab.bus->ClearCalls();
        return RunMeasurement(window, sweep, environment,
                              [](SweepData& data, const RunTimes&) { RestoreUserBiasSign(data); });
    }

    // What reached the meter, one command per entry.
    std::vector<std::string> MeterMessages(const std::string& prefix) const
    {
        std::vector<std::string> messages;
        for (const DeviceEvent& event : bench.lab.meter->Transcript())
            if (event.kind == DeviceEvent::Kind::Message && event.text.rfind(prefix, 0) == 0)
                messages.push_back(event.text);
        return messages;
    }
    std::vector<std::string> Replies() const
    {
        std::vector<std::string> replies;
        for (const DeviceEvent& event : bench.lab.meter->Transcript())
            if (event.kind == DeviceEvent::Kind::Read) replies.push_back(event.text);
        return replies;
    }
    std::vector<std::string> LogLines() const
    {
        return testing::CrLfLines(temp.Read("log-202403.log"));
    }
    void SetCheck(CheckField field, bool on) { window.settings.check[field] = on ? 1 : 0; }
    void RecordBiasAtMessages()
    {
        desktop.onMessage = [this](const testing::ShownMessage&) {
            biasOnAtMessage.push_back(bench.lab.meter->biasOn());
        };
    }

    std::vector<bool> biasOnAtMessage;

    testing::Bench bench;
    testing::TempFolder temp;
    testing::RecordingDesktop desktop;
    Environment environment{bench.clock, temp.Folder(), desktop};
    RecordingRunWindow window;
    SweepData sweep;
};

TEST_F(MeasurementRunTest, CompletedRunMeasuresEveryPlannedPointInOrder)
{
    const RunResult result = Run();
    EXPECT_EQ(result.ending, RunEnding::Completed);
    EXPECT_EQ(window.running, (std::vector<bool>{true, false}));
    EXPECT_EQ(window.progress, (std::vector<int>{20, 40, 60, 80, 100}));
    EXPECT_EQ(window.captions.back(), "Progress 5/5");
    EXPECT_EQ(window.captions.front(), "Progress 1/5");
    EXPECT_EQ(MeterMessages("BIAS:VOLT"),
              (std::vector<std::string>{"BIAS:VOLT  0", "BIAS:VOLT  .25", "BIAS:VOLT  .5",
                                        "BIAS:VOLT  .75", "BIAS:VOLT  1"}));
    EXPECT_EQ(MeterMessages("BIAS:STAT"),
              (std::vector<std::string>{"BIAS:STAT ON", "BIAS:STAT OFF"}));

    ASSERT_EQ(sweep.PointCount, 5);
    ASSERT_EQ(sweep.Bias.size(), 6u);
    EXPECT_EQ(sweep.Bias, (std::vector<double>{0, 0, 0.25, 0.5, 0.75, 1}));
    const std::vector<std::string> replies = Replies();
    ASSERT_EQ(replies.size(), 5u);
    double cmax = 0;
    for (int i = 1; i <= 5; ++i) {
        const PointReading expected = ParseReply(replies[static_cast<std::size_t>(i - 1)]);
        EXPECT_EQ(sweep.Capacitance[static_cast<std::size_t>(i)], expected.capacitance);
        EXPECT_EQ(sweep.Conductance[static_cast<std::size_t>(i)], expected.conductance);
        EXPECT_GT(expected.capacitance, 0.0);
        if (i < 5) cmax = std::max(cmax, expected.capacitance);
    }
    EXPECT_EQ(sweep.Capacitance[0], 0.0);
    // The maxima are kept up to the last-but-one point while running.
    EXPECT_EQ(sweep.Cmax, cmax);

    // STATUS lags one point: the first update shows point 0.
    ASSERT_EQ(window.status.size(), 5u);
    EXPECT_EQ(window.status[0],
              (std::array<std::string, 4>{"0.000pF", "0.000uS", "0.000pF", "0.000uS"}));
    const PointReading fourth = ParseReply(replies[3]);
    EXPECT_EQ(window.status[4][0], FormatNumber(fourth.capacitance * 1e12, "0.000") + "pF");
    EXPECT_EQ(window.status[4][1], FormatNumber(fourth.conductance * 1e6, "0.000") + "uS");

    // t0 at the first trigger, t1 with the meter back to idle: 5 points at
    // 40 ms plus the three idle pauses.
    EXPECT_EQ(result.times.t1 - result.times.t0, 5u * 40u + 150u);
    EXPECT_TRUE(desktop.messages.empty());
    EXPECT_FALSE(bench.lab.meter->biasOn());
}

TEST_F(MeasurementRunTest, LogHoldsTheRecordOfTheRun)
{
    Run();
    const std::vector<std::string> replies = Replies();
    std::vector<std::string> expected = {"Measurement:20240305 14:07:09",
                                         "0.000,V,C,G                    "};
    const char* biases[] = {"0.000", "0.250", "0.500", "0.750", "1.000"};
    for (std::size_t i = 0; i < 5; ++i)
        expected.push_back(std::string(biases[i]) + "," + replies[i]);
    expected.push_back("");
    EXPECT_EQ(LogLines(), expected);  // N + 3 lines

    // A second run in the same month appends its own record.
    Run();
    EXPECT_EQ(LogLines().size(), 16u);
}

TEST_F(MeasurementRunTest, DoubleSweepAndCyclesRepeatThePlan)
{
    SetCheck(kDoubleSweep, true);
    window.settings.text[kCycles] = "2";
    Run();
    ASSERT_EQ(sweep.PointCount, 20);
    const std::vector<double> cycle = {0, 0.25, 0.5, 0.75, 1, 1, 0.75, 0.5, 0.25, 0};
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(sweep.Bias[static_cast<std::size_t>(i + 1)],
                  cycle[static_cast<std::size_t>(i % 10)]);
    EXPECT_EQ(LogLines().size(), 23u);
    EXPECT_EQ(window.captions.back(), "Progress 20/20");
}

TEST_F(MeasurementRunTest, InvertBiasSendsTheOppositeSignAndGivesTheUserSignBack)
{
    SetCheck(kInvertBias, true);
    window.settings.text[kStartBias] = "-2";
    window.settings.text[kStopBias] = "2";
    window.settings.text[kBiasStep] = "1";
    Run();
    EXPECT_EQ(MeterMessages("BIAS:VOLT"),
              (std::vector<std::string>{"BIAS:VOLT  2", "BIAS:VOLT  1", "BIAS:VOLT  0",
                                        "BIAS:VOLT -1", "BIAS:VOLT -2"}));
    const std::vector<std::string> log = LogLines();
    ASSERT_EQ(log.size(), 8u);
    EXPECT_EQ(log[2].substr(0, 6), "2.000,");
    EXPECT_EQ(log[6].substr(0, 7), "-2.000,");
    EXPECT_EQ(sweep.BiasSign, -1);
    EXPECT_EQ(sweep.Bias, (std::vector<double>{0, -2, -1, 0, 1, 2}));
}

TEST_F(MeasurementRunTest, StopDuringAPointKeepsThePointsReadAndSwitchesTheBiasOff)
{
    SetCheck(kBeepWhenFinished, true);
    window.onYield = [&](int point) {
        if (point == 3) window.stopRequested = true;
    };
    const RunResult result = Run();
    EXPECT_EQ(result.ending, RunEnding::Stopped);
    EXPECT_EQ(sweep.PointCount, 2);
    // Point 3 was triggered and is never read.
    EXPECT_EQ(Replies().size(), 2u);
    EXPECT_EQ(MeterMessages("BIAS:VOLT").size(), 3u);
    EXPECT_EQ(MeterMessages("BIAS:STAT").back(), "BIAS:STAT OFF");
    EXPECT_FALSE(bench.lab.meter->biasOn());
    // k + 2 lines: each point read is logged exactly once.
    const std::vector<std::string> log = LogLines();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[2], "0.000," + Replies()[0]);
    EXPECT_EQ(log[3], "0.250," + Replies()[1]);
    EXPECT_EQ(log[4], "");
    EXPECT_EQ(window.captions.back(), "Progress 3/5");
    EXPECT_EQ(desktop.beeps, 1);
    EXPECT_EQ(window.running.back(), false);
}

TEST_F(MeasurementRunTest, UnbalancedBridgeEndsTheRunOnlyWhenAsked)
{
    RecordBiasAtMessages();
    bench.lab.meter->SetFault(Simulated4284A::Fault::Overflow);
    Run();
    ASSERT_EQ(sweep.PointCount, 5);
    EXPECT_EQ(sweep.Capacitance[1], 9.9e37);
    EXPECT_TRUE(desktop.messages.empty());

    SetCheck(kQuitWhenUnbal, true);
    const RunResult result = Run();
    EXPECT_EQ(result.ending, RunEnding::Unbalanced);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, "測定エラー発生\r\n測定を終了します");
    EXPECT_EQ(biasOnAtMessage, std::vector<bool>{false});
    // The overflowing point stays; the one triggered after it is not read.
    EXPECT_EQ(sweep.PointCount, 1);
    EXPECT_EQ(sweep.Capacitance[1], 9.9e37);
    EXPECT_EQ(MeterMessages("BIAS:STAT").back(), "BIAS:STAT OFF");
    const std::vector<std::string> log = LogLines();
    ASSERT_EQ(log.size(), 8u + 4u);
    EXPECT_EQ(log[10], "0.000,+9.90000E+37,+9.90000E+37");
    EXPECT_EQ(log[11], "");
}

TEST_F(MeasurementRunTest, TimeOutKeepsThePointsReadAndReturnsTheMeterToIdle)
{
    SetCheck(kInvertBias, true);
    SetCheck(kBeepWhenFinished, true);
    window.onYield = [&](int point) {
        if (point == 3) bench.lab.meter->SetFault(Simulated4284A::Fault::NoServiceRequest);
    };
    RecordBiasAtMessages();
    const uint32_t before = bench.clock.TickCount();
    const RunResult result = Run();
    EXPECT_EQ(result.ending, RunEnding::TimedOut);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, "time over\r\nReturn to initial state");
    EXPECT_EQ(biasOnAtMessage, std::vector<bool>{false});
    EXPECT_EQ(sweep.PointCount, 2);
    EXPECT_EQ(sweep.Bias[1], 0.0);
    EXPECT_EQ(sweep.Bias[2], 0.25);  // the user's sign again
    EXPECT_EQ(MeterMessages("BIAS:STAT").back(), "BIAS:STAT OFF");
    EXPECT_FALSE(bench.lab.meter->biasOn());
    EXPECT_EQ(desktop.beeps, 1);
    // Only the 10 s time limit passed in virtual time, not in real time.
    EXPECT_GE(bench.clock.TickCount() - before, 10000u);
    EXPECT_LT(bench.clock.TickCount() - before, 11000u);
    // The record ends without its empty line, and the file is closed: the
    // next run appends after it.
    EXPECT_EQ(LogLines().size(), 4u);
    bench.lab.meter->SetFault(Simulated4284A::Fault::None);
    window.onYield = nullptr;
    desktop.messages.clear();
    EXPECT_EQ(Run().ending, RunEnding::Completed);
    EXPECT_EQ(LogLines().size(), 4u + 8u);
}

TEST_F(MeasurementRunTest, BusFailureEndsTheRunLikeATimeOutWithItsOwnMessage)
{
    window.onYield = [&](int point) {
        if (point == 2) bench.lab.bus->ibonl(32, 0);  // somebody takes the descriptor away
    };
    const RunResult result = Run();
    EXPECT_EQ(result.ending, RunEnding::BusFailure);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text.rfind("The meter's reply could not be read.\r\n", 0), 0u)
        << desktop.messages[0].text;
    EXPECT_NE(desktop.messages[0].text.find("EDVR"), std::string::npos);
    // With the descriptor gone the bias cannot be switched off either: the
    // user is told to do it at the meter.
    EXPECT_NE(desktop.messages[0].text.find(
                  "Return to initial state\r\n\r\nThe DC bias may still be on: switch it off "
                  "at the meter.\r\nibsta = &H8000 < ERR>\r\niberr = EDVR"),
              std::string::npos)
        << desktop.messages[0].text;
    EXPECT_TRUE(bench.lab.meter->biasOn());
    EXPECT_EQ(sweep.PointCount, 1);
}

TEST_F(MeasurementRunTest, AReplyThatIsNotTheMetersEndsTheRunAsABusFailureAndQuotesIt)
{
    window.onYield = [&](int point) {
        if (point == 2) bench.lab.meter->SetFault(Simulated4284A::Fault::ShortReply);
    };
    EXPECT_EQ(Run().ending, RunEnding::BusFailure);
    ASSERT_EQ(desktop.messages.size(), 1u);
    const std::string& message = desktop.messages[0].text;
    EXPECT_EQ(message.rfind("The meter's reply is not two numbers in its format "
                            "(+1.23456E-10,+4.56789E-07): \"+",
                            0),
              0u)
        << message;
    EXPECT_NE(message.find("\".\r\nReturn to initial state"), std::string::npos) << message;
    EXPECT_FALSE(bench.lab.meter->biasOn());
    // The points before it stay; it is neither a point nor a log line.
    EXPECT_EQ(sweep.PointCount, 2);
    EXPECT_EQ(LogLines().size(), 4u);
}

TEST_F(MeasurementRunTest, NothingHappensWithoutCycles)
{
    SetCheck(kBeepWhenFinished, true);
    for (const char* cycles : {"0", "", "none", "0.4"}) {
        window.settings.text[kCycles] = cycles;
        EXPECT_EQ(Run().ending, RunEnding::NoCycles) << cycles;
    }
    EXPECT_TRUE(bench.lab.bus->Calls().empty());
    EXPECT_FALSE(temp.Exists("log-202403.log"));
    EXPECT_EQ(desktop.beeps, 0);
    EXPECT_TRUE(desktop.messages.empty());
    EXPECT_EQ(window.running.back(), false);
}

TEST_F(MeasurementRunTest, RefusedStartsSendNothingAndKeepThePreviousRun)
{
    Run();
    const SweepData previous = sweep;
    struct Case {
        TextField field;
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {kStopBias, "0",
         "Bias Step [V] must not be 0, and Start Bias [V] must differ from Stop Bias [V]."},
        {kBiasStep, "0",
         "Bias Step [V] must not be 0, and Start Bias [V] must differ from Stop Bias [V]."},
        {kStartBias, "40",
         "Start Bias [V] is out of range: it must lie within -32.768 to 32.767 V."},
        {kStopBias, "-33",
         "Stop Bias [V] is out of range: it must lie within -32.768 to 32.767 V."},
        {kStartBias, "-20",
         "Stop Bias [V] - Start Bias [V] is out of range: it must lie within -32.768 to 32.767 V."},
        {kBiasStep, "33", "Bias Step [V] is out of range: it must lie within -32.768 to 32.767 V."},
        {kCycles, "40000", "Cycle of Meas. is out of range: it must lie within -32768 to 32767."},
        {kCycles, "-1", "Cycle of Meas. is out of range: it must lie within 0 to 32767."},
        {kCycles, "7000", "The sweep has 35000 points, more than the 32767 a run can hold."},
        {kGpibBoard, "40000", "BOARD is out of range: it must lie within -32768 to 32767."},
        {kInstrumentAddress, "-1e6", "4284A is out of range: it must lie within -32768 to 32767."},
        {kFrequency, "3e9",
         "Frequency [Hz] is out of range: it must lie within -2147483648 to 2147483647."},
    };
    window.settings.text[kStopBias] = "1";
    SetCheck(kBeepWhenFinished, true);
    for (const Case& c : cases) {
        MeasurementSettingsValues saved = window.settings;
        if (c.field == kStartBias && std::string(c.text) == "-20")
            window.settings.text[kStopBias] = "20";
        window.settings.text[c.field] = c.text;
        desktop.messages.clear();
        EXPECT_EQ(Run().ending, RunEnding::Refused) << c.text;
        ASSERT_EQ(desktop.messages.size(), 1u) << c.text;
        EXPECT_EQ(desktop.messages[0].text,
                  std::string(c.message) + "\r\nThe measurement was not started.");
        EXPECT_TRUE(bench.lab.bus->Calls().empty()) << c.text;
        EXPECT_EQ(window.running.back(), false);
        window.settings = saved;
    }
    EXPECT_EQ(desktop.beeps, 0);
    EXPECT_EQ(sweep.Bias, previous.Bias);
    EXPECT_EQ(sweep.Capacitance, previous.Capacitance);
    EXPECT_EQ(sweep.PointCount, previous.PointCount);
    EXPECT_EQ(sweep.Cmax, previous.Cmax);
    EXPECT_EQ(LogLines().size(), 8u);
}

TEST_F(MeasurementRunTest, AMeterThatCannotBeOpenedIsReportedAndNothingIsLost)
{
    Run();
    const SweepData previous = sweep;
    bench.lab.bus->SetBoardPresent(0, false);
    EXPECT_EQ(Run().ending, RunEnding::Refused);
    ASSERT_EQ(desktop.messages.size(), 1u);
    const std::string& text = desktop.messages[0].text;
    EXPECT_EQ(text.rfind("The 4284A could not be opened (GPIB board 0, address 17).\r\n", 0), 0u)
        << text;
    EXPECT_NE(text.find("ENEB"), std::string::npos) << text;
    EXPECT_EQ(sweep.Capacitance, previous.Capacitance);
    EXPECT_EQ(sweep.PointCount, 5);
    EXPECT_EQ(LogLines().size(), 8u);

    // Nobody at the address: the open succeeds and the first point times
    // out. The previous run's points stay until a new one has been read.
    bench.lab.bus->SetBoardPresent(0, true);
    window.settings.text[kInstrumentAddress] = "5";
    desktop.messages.clear();
    EXPECT_EQ(Run().ending, RunEnding::TimedOut);
    EXPECT_EQ(sweep.Bias, previous.Bias);
    EXPECT_EQ(sweep.Capacitance, previous.Capacitance);
    EXPECT_EQ(sweep.PointCount, 5);
    EXPECT_EQ(sweep.ReadablePoints(), 5);
}

TEST_F(MeasurementRunTest, AnEmptyPlanSetsTheMeterUpAndLogsTwoLines)
{
    window.settings.text[kBiasStep] = "-0.25";
    Run();
    EXPECT_EQ(sweep.PointCount, 0);
    EXPECT_EQ(sweep.Bias.size(), 1u);
    EXPECT_EQ(MeterMessages("BIAS:STAT"),
              (std::vector<std::string>{"BIAS:STAT ON", "BIAS:STAT OFF"}));
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"Measurement:20240305 14:07:09", ""}));
}

TEST_F(MeasurementRunTest, BeepsWhenTriggeredAndWhenFinished)
{
    SetCheck(kBeepWhenTriggered, true);
    Run();
    EXPECT_EQ(desktop.beeps, 5);
    // Read at every point: switched off during the run, it stops beeping.
    desktop.beeps = 0;
    SetCheck(kBeepWhenFinished, true);
    window.onYield = [&](int point) {
        if (point == 2) SetCheck(kBeepWhenTriggered, false);
    };
    Run();
    EXPECT_EQ(desktop.beeps, 1 + 1);
}

TEST_F(MeasurementRunTest, AnUnwritableLogDoesNotStopTheRun)
{
    std::filesystem::create_directory(temp.File("log-202403.log"));
    std::size_t sentAtMessage = 1;
    desktop.onMessage = [&](const testing::ShownMessage&) {
        sentAtMessage = bench.lab.bus->Calls().size();
    };
    const RunResult result = Run();
    EXPECT_EQ(result.ending, RunEnding::Completed);
    // Said before the set-up, not with the last run's bias on the device.
    EXPECT_EQ(sentAtMessage, 0u);
    EXPECT_EQ(sweep.PointCount, 5);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, "This run has no log: cannot open " +
                                            temp.File("log-202403.log").string() +
                                            ": Is a directory.");
}

TEST_F(MeasurementRunTest, ANewMonthStartsANewLog)
{
    Run();
    bench.clock.SetLocalTime(CalendarDate(2024, 4, 1));
    Run();
    EXPECT_EQ(LogLines().size(), 8u);
    EXPECT_EQ(testing::CrLfLines(temp.Read("log-202404.log")).front(),
              "Measurement:20240401 00:00:00");
}

TEST_F(MeasurementRunTest, ReadersDuringARunSeeOnlyThePointsReadSoFar)
{
    std::vector<int> readable;
    window.onYield = [&](int) { readable.push_back(sweep.ReadablePoints()); };

    // More points before than the new arrays hold.
    window.settings.text[kBiasStep] = "0.1";
    Run();
    ASSERT_EQ(sweep.PointCount, 11);
    window.settings.text[kBiasStep] = "0.5";
    readable.clear();
    Run();
    // The previous run's until the first point is read.
    EXPECT_EQ(readable, (std::vector<int>{11, 1, 2}));
    EXPECT_EQ(sweep.ReadablePoints(), 3);

    // Fewer points before than the new run reads: its own points count.
    window.settings.text[kBiasStep] = "0.25";
    readable.clear();
    Run();
    EXPECT_EQ(readable, (std::vector<int>{3, 1, 2, 3, 4}));
    EXPECT_EQ(sweep.ReadablePoints(), 5);
}

TEST_F(MeasurementRunTest, TimeLeftFollowsTheMeanTimeOfThePointsReadFromTheSecondPointOn)
{
    window.settings.text[kTriggerDelay] = "5";  // 5.04 s a point
    Run();
    EXPECT_EQ(window.timeLeft,
              (std::vector<std::string>{"", "0:20 left", "0:15 left", "0:10 left", "0:05 left"}));
}

}  // namespace
}  // namespace quillon
