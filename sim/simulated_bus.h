// A GPIB in memory that fills the driver table: boards with devices at
// primary addresses, device descriptors with their time limits, the
// multi-device calls, per-thread status cells and NI-488.2 error codes.
// Waits are slept on the given clock, so tests run on virtual time.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bus/gpib_driver.h"
#include "platform/clock.h"
#include "sim/simulated_device.h"

namespace quillon {

// One driver call as the bus saw it, for tests.
struct BusCall {
    uint32_t tick = 0;
    std::string call;  // "ibwrt", "ibclr", "SendList", ...
    int target = 0;    // descriptor or board
    std::string data;  // text written or read, address list, options
    int status = 0;
    int error = 0;
    long count = 0;
};

class SimulatedBus final : public GpibDriver {
public:
    static constexpr int kBoards = 4;
    static constexpr int kFirstDeviceDescriptor = 32;

    explicit SimulatedBus(Clock& clock);
    ~SimulatedBus() override;

    // Takes the device and puts it at a primary address of a board.
    SimulatedDevice& Attach(int board, int pad, std::unique_ptr<SimulatedDevice> device);
    void Detach(int board, int pad);
    void SetBoardPresent(int board, bool present);

    // Registration answers to give, one per call, before the bus answers on
    // its own again; for exercising the binding's registration paths.
    void QueueRegistrationAnswers(std::deque<int> answers)
    {
        registrationAnswers_ = std::move(answers);
    }

    void RecordCalls(bool on) { recording_ = on; }
    const std::vector<BusCall>& Calls() const { return calls_; }
    void ClearCalls() { calls_.clear(); }

    Clock& clock() { return clock_; }

    int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) override;
    int ibconfig(int ud, int option, int value) override;
    int ibclr(int ud) override;
    int ibwrt(int ud, const void* data, long count) override;
    int ibrd(int ud, void* buffer, long count) override;
    int ibwait(int ud, int mask) override;
    int ibrsp(int ud, char* statusByte) override;
    int ibonl(int ud, int value) override;
    void SendIFC(int board) override;
    void FindLstn(int board, const Addr4882* padList, Addr4882* resultList, int limit) override;
    void DevClearList(int board, const Addr4882* addrList) override;
    void SendList(int board, const Addr4882* addrList, const void* data, long count,
                  int eotMode) override;
    void Send(int board, Addr4882 addr, const void* data, long count, int eotMode) override;
    void Receive(int board, Addr4882 addr, void* buffer, long count, int termination) override;
    int RegisterGpibGlobalsForThread(int32_t* ibstaCell, int32_t* iberrCell, int32_t* ibcntCell,
                                     int32_t* ibcntlCell) override;
    int UnregisterGpibGlobalsForThread() override;
    std::string CaptionMark() const override { return kCaptionMark; }
    std::string ListNotice() const override { return kListNotice; }

    static constexpr const char* kCaptionMark = "[simulated]";
    static constexpr const char* kListNotice = "Simulated bus: no real instrument is connected.";

private:
    struct Board {
        bool present = true;
        std::map<int, std::unique_ptr<SimulatedDevice>> devices;
    };
    struct Descriptor {
        int board = 0;
        int pad = 0;
        int timeLimit = ni::T10s;
        bool eot = true;
        int eos = 0;
        bool unaddress = false;
    };
    struct Cells {
        int32_t* ibsta;
        int32_t* iberr;
        int32_t* ibcnt;
        int32_t* ibcntl;
    };

    bool ValidBoard(int board) const;
    SimulatedDevice* DeviceAt(int board, int pad);
    Descriptor* FindDescriptor(int ud);
    // Sleeps until the tick, or for the time limit; true when the tick came first.
    bool WaitUntil(std::optional<uint32_t> tick, int timeLimitCode);
    long ReadFrom(SimulatedDevice& device, char* buffer, long count, int termination, bool& end);
    int Finish(const char* call, int target, std::string_view data, int status, int error,
               long count);

    Clock& clock_;
    Board boards_[kBoards];
    std::map<int, Descriptor> descriptors_;
    int nextDescriptor_ = kFirstDeviceDescriptor;
    std::map<std::thread::id, Cells> registrations_;
    std::deque<int> registrationAnswers_;
    bool recording_ = false;
    std::vector<BusCall> calls_;
};

}  // namespace quillon
