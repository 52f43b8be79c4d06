// A simulated lab behind the stand-in Prologix adapter on loopback, on
// virtual time, and whole runs and queries made through it as START and
// "Check" make them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bus/prologix_driver.h"
#include "gpib/gpib_binding.h"
#include "gpib/instrument_query.h"
#include "measure/measurement_run.h"
#include "sim/simulated_lab.h"
#include "sim/simulated_prologix_adapter.h"
#include "tests/support/recording_desktop.h"
#include "tests/support/recording_run_window.h"
#include "tests/support/shared_virtual_clock.h"
#include "tests/support/temp_folder.h"
#include "tests/support/whole_run.h"

namespace quillon::testing {

inline constexpr int kMeter = kSimulatedMeterAddress;
inline constexpr int kMultimeter = kSimulatedMultimeterAddress;

class RecordingView final : public QueryView {
public:
    void AddReading(const std::string& line) override { lines.push_back(line); }
    void RefreshReadings() override {}
    int ReadingCount() const override { return static_cast<int>(lines.size()); }
    void RemoveFirstReading() override { lines.erase(lines.begin()); }
    void EnableQuit(bool enabled) override { quitEnabled.push_back(enabled); }
    void SetMeterAddress(const std::string& address) override { addresses.push_back(address); }

    std::vector<std::string> lines;
    std::vector<bool> quitEnabled;
    std::vector<std::string> addresses;
};

struct QueryRecord {
    std::vector<std::string> lines;
    std::vector<std::string> addresses;
    std::vector<std::string> messages;
};

inline QueryRecord Query()
{
    RecordingView view;
    RecordingDesktop desktop;
    RunQuery(view, desktop);
    QueryRecord record{view.lines, view.addresses, {}};
    for (const auto& message : desktop.messages) record.messages.push_back(message.text);
    return record;
}

// The same run and query on the simulated bus itself, which the adapter's
// must match; the binding is left on that bus.
inline RunRecord RunOnTheSimulatedBus()
{
    SharedVirtualClock clock{1000};
    SimulatedLab lab = MakeSimulatedLab(clock);
    SelectGpibDriver(*lab.bus);
    return MeasureRun(clock);
}

inline QueryRecord QueryOnTheSimulatedBus()
{
    SharedVirtualClock clock{1000};
    SimulatedLab lab = MakeSimulatedLab(clock);
    SelectGpibDriver(*lab.bus);
    return Query();
}

// A lab of its own behind an adapter of its own, on the board given: for
// tables of adapters.
struct AdapterBench {
    explicit AdapterBench(const SimulatedPrologixAdapter::Board& board,
                          std::vector<std::string> userCommands = {})
        : lab(MakeSimulatedLab(clock)), adapter(*lab.bus, {lab.multimeter, lab.meter})
    {
        adapter.SetBoard(board);
        adapter.SetUserCommands(std::move(userCommands));
    }
    ~AdapterBench() { DeselectGpibDriver(); }

    // Connects and puts the binding on the adapter; the refusal, empty when
    // there is none.
    std::string Open(const PrologixTimeouts& timeouts)
    {
        PrologixOpening opening = OpenPrologixAdapter(adapter.Location(), clock, timeouts);
        driver = std::move(opening.driver);
        if (driver) SelectGpibDriver(*driver);
        return opening.refusal;
    }

    SharedVirtualClock clock{1000};
    SimulatedLab lab;
    SimulatedPrologixAdapter adapter;
    std::unique_ptr<PrologixDriver> driver;
};

inline bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class PrologixDriverTest : public ::testing::Test {
protected:
    explicit PrologixDriverTest(
        SimulatedLabSettings settings = {},
        SimulatedPrologixAdapter::Link link = SimulatedPrologixAdapter::Link::Tcp)
        : lab(MakeSimulatedLab(clock, settings)), adapter(*lab.bus, Requesters(lab), link)
    {
        if (lab.meter) lab.meter->RecordTranscript(true);
    }
    ~PrologixDriverTest() override { DeselectGpibDriver(); }

    static std::vector<SimulatedDevice*> Requesters(const SimulatedLab& lab)
    {
        std::vector<SimulatedDevice*> devices{lab.multimeter};
        if (lab.meter) devices.push_back(lab.meter);
        return devices;
    }

    // Connects to the adapter and puts the binding on it.
    void Open(PrologixTimeouts timeouts = {})
    {
        PrologixOpening opening = OpenPrologixAdapter(adapter.Location(), clock, timeouts);
        ASSERT_TRUE(opening.driver) << opening.refusal;
        driver = std::move(opening.driver);
        SelectGpibDriver(*driver);
    }

    int16_t OpenDevice(int pad)
    {
        int16_t ud = -1;
        GpibOpenDevice(0, static_cast<int16_t>(pad), 0, ni::T10s, 1, 0, ud);
        return ud;
    }

    std::vector<std::string> LinesSince(std::size_t first) const
    {
        const std::vector<std::string> all = adapter.Lines();
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(first, all.size())), all.end()};
    }

    SharedVirtualClock clock{1000};
    SimulatedLab lab;
    SimulatedPrologixAdapter adapter;
    std::unique_ptr<PrologixDriver> driver;
};

}  // namespace quillon::testing
