// A GPIB reached through a Prologix GPIB-ETHERNET or GPIB-USB adapter (or an
// AR488 clone speaking the same "++" protocol), behind the driver table the
// binding uses. The adapter is one controller on one bus (board 0); it
// answers its own commands with text lines and hands data read from the bus
// straight through, so every table entry is emulated over its commands, and
// the NI-488.2 status, errors and counts are made here: the calls in
// prologix_driver.cpp, the conversation with the adapter they are made of
// in prologix_exchange.cpp, and what each firmware is sent at connection in
// adapter_firmware.h.
//
// Time: the GPIB time limits and the pauses between service-request polls
// run on the Clock seam. Waits for the adapter itself are real (poll()).
// Every exchange with the adapter has a deadline for all of its answer and
// a limit on the bytes it may bring, so a lost connection, an adapter that
// stops answering, or one that never stops sending ends the call with ERR,
// EDVR and the system's error number in ibcntl, never with a hang, and the
// memory held stays small whatever the adapter sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bus/adapter_firmware.h"
#include "bus/adapter_stream.h"
#include "bus/gpib_driver.h"
#include "bus/prologix_location.h"
#include "bus/request_pace.h"
#include "bus/thread_status_cells.h"
#include "platform/clock.h"

namespace quillon {

// What the adapter adds after the last byte of a read that ended with EOI.
inline constexpr char kPrologixEndMark = '\x04';
// The most one exchange with the adapter may bring (a read may bring its
// buffer's worth if that is more). The meter's replies and the adapter's
// own lines are a few dozen bytes; more is an adapter out of step.
inline constexpr std::size_t kPrologixExchangeBytes = 1024;

// Real-time bounds of the waits for the adapter.
struct PrologixTimeouts {
    int connectMilliseconds = 3000;
    // How long the adapter may take to answer, beyond the bus time its
    // command needs.
    int replyMilliseconds = 1000;
    // The most handed to the adapter as its read time-out (++read_tmo_ms,
    // which accepts at most 3000); a descriptor's shorter limit is used as is.
    int adapterReadMilliseconds = 3000;
    // The adapter's read time-out while each address is polled in the
    // listener search, and in the polls for a service request: a device
    // that is there answers a serial poll at once.
    int listenerProbeMilliseconds = 100;
    // How often the version is asked at connection while the adapter says
    // nothing: a board that restarts as its port opens (an Arduino Uno or
    // Nano, for one to two seconds) hears nothing until it is up.
    int versionRetryMilliseconds = 250;
};

// Opens the stream; called at start and again to reconnect.
using AdapterConnector = std::function<AdapterStreamOpening()>;

AdapterConnector LocationConnector(const PrologixLocation& location,
                                   const PrologixTimeouts& timeouts);

class PrologixDriver final : public GpibDriver {
public:
    static constexpr int kFirstDeviceDescriptor = 32;

    PrologixDriver(AdapterConnector connector, std::string adapterName, Clock& clock,
                   PrologixTimeouts timeouts = {});
    ~PrologixDriver() override;
    PrologixDriver(const PrologixDriver&) = delete;
    PrologixDriver& operator=(const PrologixDriver&) = delete;

    // Opens the stream, learns the adapter's firmware from its version
    // line and sets it up as controller in the commands that firmware
    // understands, all within the connection time limit (the adapter's
    // answers are given at least the reply limit). 0, or the errno of the
    // failure (ETIMEDOUT when the adapter does not answer).
    int Connect();
    bool Connected() const { return stream_ != nullptr; }
    const std::string& adapterName() const { return adapterName_; }
    // The adapter's own "++ver" line.
    const std::string& adapterVersion() const { return version_; }
    // The adapter marks the end of a read (++eot_char); without it a reply
    // ends at its line feed.
    bool MarksReadEnd() const { return endMark_; }
    // Why the last Connect failed, in words.
    const std::string& connectFailure() const { return connectFailure_; }
    // Why the connection was last dropped, in words ("the adapter sent more
    // than 1024 bytes"); the errno in ibcntl says it more briefly.
    const std::string& lossReason() const { return lossReason_; }

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

private:
    struct Descriptor {
        int address = 0;  // primary address, secondary (0x60..0x7E) in the high byte
        int timeLimit = ni::T10s;
        bool eot = true;
        int eos = 0;
    };
    // Bytes of a message read from the bus and not yet delivered: the
    // adapter reads up to EOI whatever the caller's buffer holds.
    struct Holdover {
        std::string bytes;
        bool end = false;
    };
    struct ReadOutcome {
        long count = 0;
        bool end = false;
        bool timedOut = false;
        int lostError = 0;
    };
    // What one exchange with the adapter may still bring, and by when.
    struct Exchange;
    // RQS in a status byte, and MAV: IEEE 488.2's "message available".
    static constexpr uint8_t kRequestingService = 0x40;
    static constexpr uint8_t kMessageAvailable = 0x10;

    int Finish(int status, int error, long count);
    // Drops the stream: it is out of step or gone. The call ends with ERR,
    // EDVR and the errno in ibcntl; so do later calls until a reconnect.
    int Lose(int errorNumber);
    int EnsureConnected();
    // After a loss, the next device clear connects again, once.
    int ReconnectIfDue();
    // Only board 0 exists: any other ends the call with ENEB.
    bool OnBoard(int board);
    // Before a call uses the stream: it is still there, and nothing stale
    // waits in it. 0 or an errno.
    int Begin();
    Descriptor* FindDescriptor(int ud);

    // The steps of Connect: the version asked until the adapter gives it;
    // what is still coming after it dropped; an AR488's echo turned off;
    // the settings sent in batches that the adapter's buffer holds, each
    // answered before the next.
    int Identify(AdapterDeadline deadline, int& asked, bool& echoes);
    int Settle(AdapterDeadline deadline);
    int EndEcho(AdapterDeadline deadline);
    int SetUp(AdapterDeadline deadline);
    // Drops what has come and not been asked for: lines that came before a
    // question are not its answer. 0, ETIMEDOUT when the adapter is still
    // sending after the reply time, or the errno of the failure.
    int Drain();

    int SendLine(const std::string& line);
    int Address(int address);
    int AdapterReadTimeout(int milliseconds);
    int Eoi(bool on);
    int WriteData(int address, std::string_view data, bool eoi);
    // Sends the command (none when empty), then "++ver", and collects the
    // lines that came before the version line. 0 or an errno.
    int Ask(const std::string& command, int busMilliseconds, std::vector<std::string>& lines);
    // Collects lines until the version line, by `deadline`.
    int CollectUntilVersion(AdapterDeadline deadline, std::vector<std::string>& lines);
    // Waits until the adapter has taken everything sent so far.
    int Synchronise();
    // Appends what comes within `milliseconds` (0: only looks) to the
    // inbox. 0, ETIMEDOUT when nothing came, EMSGSIZE past the exchange's
    // byte limit, or the errno of the failure.
    int Take(Exchange& exchange, int milliseconds);
    // Take, waiting until the exchange's deadline; ETIMEDOUT once it has
    // passed, even while bytes still come.
    int TakeInTime(Exchange& exchange);
    int ReceiveLine(std::string& line, Exchange& exchange);
    // The status byte, none when nobody answered the poll.
    int SerialPoll(int address, int probeMilliseconds, std::optional<uint8_t>& statusByte);
    // A serial poll of a device expected to answer: its one line is all
    // that is waited for. None when nobody answered.
    int PollStatus(int address, int probeMilliseconds, std::optional<uint8_t>& statusByte);
    // One look for the service request of a device: its own status byte,
    // or the SRQ line for a device that does not answer serial polls.
    int LookForRequest(int address, int probeMilliseconds, bool& byLine);
    ReadOutcome Read(int address, int timeLimit, char* buffer, long count, int stopByte);
    void Forget(int address);
    bool KnownAbsent(int address) const;
    int ReadTimeoutFor(int timeLimit) const;
    // `milliseconds` as the adapter is given it: within ++read_tmo_ms's
    // range, and no less than its firmware needs.
    int AdapterReadMilliseconds(int milliseconds) const;

    AdapterConnector connector_;
    std::string adapterName_;
    Clock& clock_;
    PrologixTimeouts timeouts_;
    std::unique_ptr<AdapterStream> stream_;
    int lostError_ = 0;
    // A connection was lost and not yet tried again.
    bool reconnectDue_ = false;
    std::string connectFailure_;
    std::string lossReason_;
    std::string version_;
    AdapterFirmware firmware_;
    bool endMark_ = true;
    std::string inbox_;
    // What the adapter is set to; -1 when not known.
    int currentAddress_ = -1;
    int currentReadTimeout_ = -1;
    int currentEoi_ = -1;
    std::map<int, Descriptor> descriptors_;
    int nextDescriptor_ = kFirstDeviceDescriptor;
    std::map<int, Holdover> holdovers_;
    // Status bytes with RQS taken by a wait or a search, for the next poll.
    std::map<int, uint8_t> requests_;
    // Addresses whose last status byte handed out said MAV, told nothing
    // since: their message is in their output queue, and they talk at once.
    std::set<int> messageReady_;
    // Addresses a serial poll found (true) or found silent (false).
    std::map<int, bool> listening_;
    std::map<int, RequestPace> paces_;
    ThreadStatusCells cells_;
};

// A driver connected to the adapter, or why there is none.
struct PrologixOpening {
    std::unique_ptr<PrologixDriver> driver;
    std::string refusal;
};

// `text` is what follows "prologix:" in the settings.
PrologixOpening OpenPrologixAdapter(const std::string& text, Clock& clock,
                                    const PrologixTimeouts& timeouts = {});

}  // namespace quillon
