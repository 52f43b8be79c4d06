#include "bus/prologix_driver.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace quillon {

namespace {

constexpr int kDeviceOk = ni::CMPL;
constexpr int kBoardOk = ni::CMPL | ni::CIC;
constexpr int kBoard = 0;

std::string Bytes(const void* data, long count)
{
    return count > 0 ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(count))
                     : std::string();
}

}  // namespace

AdapterConnector LocationConnector(const PrologixLocation& location,
                                   const PrologixTimeouts& timeouts)
{
    return [location, timeouts] {
        if (!location.devicePath.empty()) return OpenSerialStream(location.devicePath);
        return ConnectTcpStream(location.host, location.port, timeouts.connectMilliseconds);
    };
}

PrologixDriver::PrologixDriver(AdapterConnector connector, std::string adapterName, Clock& clock,
                               PrologixTimeouts timeouts)
    : connector_(std::move(connector)),
      adapterName_(std::move(adapterName)),
      clock_(clock),
      timeouts_(timeouts)
{
}

PrologixDriver::~PrologixDriver() = default;

int PrologixDriver::Finish(int status, int error, long count)
{
    if (!(status & ni::ERR)) error = 0;
    cells_.Publish(status, error, static_cast<int32_t>(count));
    return status;
}

int PrologixDriver::Lose(int errorNumber)
{
    // A connection that was there is worth one more try; one that could
    // not be made again is not, until a run or a query begins.
    if (stream_) reconnectDue_ = true;
    if (errorNumber != EMSGSIZE) lossReason_ = std::strerror(errorNumber);
    stream_.reset();
    inbox_.clear();
    holdovers_.clear();
    requests_.clear();
    messageReady_.clear();
    lostError_ = errorNumber;
    return Finish(ni::ERR, ni::EDVR, errorNumber);
}

int PrologixDriver::EnsureConnected()
{
    return stream_ ? 0 : Connect();
}

int PrologixDriver::ReconnectIfDue()
{
    if (stream_ || !reconnectDue_) return 0;
    return Connect();
}

bool PrologixDriver::OnBoard(int board)
{
    if (board == kBoard) return true;
    Finish(ni::ERR, ni::ENEB, 0);
    return false;
}

PrologixDriver::Descriptor* PrologixDriver::FindDescriptor(int ud)
{
    const auto found = descriptors_.find(ud);
    return found == descriptors_.end() ? nullptr : &found->second;
}

void PrologixDriver::Forget(int address)
{
    holdovers_.erase(address);
    requests_.erase(address);
    messageReady_.erase(address);
}

bool PrologixDriver::KnownAbsent(int address) const
{
    const auto found = listening_.find(address);
    return found != listening_.end() && !found->second;
}

int PrologixDriver::ibdev(int board, int pad, int sad, int tmo, int eot, int eos)
{
    if (!OnBoard(board)) return -1;
    const bool validSad = sad == 0 || (sad >= 0x60 && sad <= 0x7E);
    if (pad < 0 || pad > 30 || !validSad || ni::TimeLimitMicroseconds(tmo) < 0 ||
        (eot != 0 && eot != 1)) {
        Finish(ni::ERR, ni::EARG, 0);
        return -1;
    }
    // Opening a device is where a run begins: a connection lost in an
    // earlier run is tried again here.
    if (int error = EnsureConnected()) {
        Finish(ni::ERR, ni::EDVR, error);
        return -1;
    }
    const int ud = nextDescriptor_++;
    descriptors_[ud] = Descriptor{pad | (sad << 8), tmo, eot == 1, eos};
    // An instrument switched on since a poll found its address silent is
    // given its chance again.
    listening_.erase(pad | (sad << 8));
    Finish(kDeviceOk, 0, 0);
    return ud;
}

int PrologixDriver::ibconfig(int ud, int option, int /*value*/)
{
    if (!FindDescriptor(ud)) return Finish(ni::ERR, ni::EDVR, 0);
    // The adapter unaddresses the bus after each transfer on its own.
    if (option != ni::IbcUnAddr) return Finish(ni::ERR, ni::ECAP, 0);
    return Finish(kDeviceOk, 0, 0);
}

int PrologixDriver::ibclr(int ud)
{
    const Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor) return Finish(ni::ERR, ni::EDVR, 0);
    const int address = descriptor->address;
    // A clear puts the device in a known state again: after a loss it is
    // where a new connection carries on (a write or a wait in the middle of
    // a point's exchange would carry on as if nothing had been lost), and
    // the way back to idle begins with it.
    if (int error = ReconnectIfDue()) return Lose(error);
    if (int error = Begin()) return Lose(error);
    if (KnownAbsent(address)) return Finish(ni::ERR, ni::ENOL, 0);
    int error = Address(address);
    if (error == 0) error = SendLine("++clr");
    if (error != 0) return Lose(error);
    Forget(address);
    return Finish(kDeviceOk, 0, 0);
}

int PrologixDriver::ibwrt(int ud, const void* data, long count)
{
    const Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor) return Finish(ni::ERR, ni::EDVR, 0);
    if (count < 0) return Finish(ni::ERR, ni::EARG, 0);
    const int address = descriptor->address;
    if (int error = Begin()) return Lose(error);
    if (KnownAbsent(address)) return Finish(ni::ERR, ni::ENOL, 0);
    if (int error = WriteData(address, Bytes(data, count), descriptor->eot)) return Lose(error);
    return Finish(kDeviceOk, 0, count);
}

int PrologixDriver::ibrd(int ud, void* buffer, long count)
{
    const Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor) return Finish(ni::ERR, ni::EDVR, 0);
    if (count < 0) return Finish(ni::ERR, ni::EARG, 0);
    const Descriptor target = *descriptor;
    if (int error = Begin()) return Lose(error);
    const int stopByte = (target.eos & 0xFF) != 0 ? (target.eos & 0xFF) : -1;
    const ReadOutcome outcome =
        Read(target.address, target.timeLimit, static_cast<char*>(buffer), count, stopByte);
    if (outcome.lostError != 0) return Lose(outcome.lostError);
    if (outcome.timedOut) return Finish(ni::ERR | ni::TIMO | kDeviceOk, ni::EABO, outcome.count);
    return Finish(kDeviceOk | (outcome.end ? ni::END : 0), 0, outcome.count);
}

int PrologixDriver::ibwait(int ud, int mask)
{
    const Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor) return Finish(ni::ERR, ni::EDVR, 0);
    if (mask & ~(ni::TIMO | ni::END | ni::RQS | ni::CMPL)) return Finish(ni::ERR, ni::EARG, 0);
    if (!(mask & (ni::RQS | ni::TIMO))) return Finish(kDeviceOk, 0, 0);
    const Descriptor target = *descriptor;
    // Without a time limit the wait is still bounded, by the longest one.
    int64_t limitMicroseconds = ni::TimeLimitMicroseconds(target.timeLimit);
    if (limitMicroseconds <= 0) limitMicroseconds = ni::TimeLimitMicroseconds(17);
    const uint32_t limit = static_cast<uint32_t>(limitMicroseconds / 1000);
    if (!(mask & ni::RQS)) {
        clock_.Sleep(limit);
        return Finish(kDeviceOk | ni::TIMO, 0, 0);
    }
    if (int error = Begin()) return Lose(error);
    // What was sent before the wait reaches the device before the wait's
    // time runs, and a lost connection shows now rather than after it.
    if (!requests_.count(target.address))
        if (int error = Synchronise()) return Lose(error);

    // The meter's pace: the time it took to ask for service after it was
    // last told something is mostly slept through, then it is polled.
    RequestPace& pace = paces_[target.address];
    // A device that is there answers a serial poll at once.
    const int probe = timeouts_.listenerProbeMilliseconds;
    bool byLine = KnownAbsent(target.address);
    const uint32_t start = clock_.TickCount();
    std::optional<uint32_t> polled;
    for (;;) {
        if (requests_.count(target.address)) return Finish(kDeviceOk | ni::RQS, 0, 0);
        const uint32_t elapsed = clock_.TickCount() - start;
        if (elapsed >= limit) return Finish(kDeviceOk | ni::TIMO, 0, 0);
        const uint32_t pause = pace.PauseBeforePoll(clock_.TickCount(), start, polled);
        if (pause > 0) clock_.Sleep(std::min(pause, limit - elapsed));
        polled = clock_.TickCount();
        if (int error = LookForRequest(target.address, probe, byLine)) return Lose(error);
        if (requests_.count(target.address)) pace.Requested(*polled);
    }
}

int PrologixDriver::ibrsp(int ud, char* statusByte)
{
    const Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor) return Finish(ni::ERR, ni::EDVR, 0);
    const Descriptor target = *descriptor;
    if (int error = Begin()) return Lose(error);
    std::optional<uint8_t> polled;
    const auto request = requests_.find(target.address);
    if (request != requests_.end()) {
        polled = request->second;
        requests_.erase(request);
    } else {
        if (int error = SerialPoll(target.address, ReadTimeoutFor(target.timeLimit), polled))
            return Lose(error);
        listening_[target.address] = polled.has_value();
        if (!polled) return Finish(ni::ERR | ni::TIMO, ni::EABO, 0);
    }
    if (*polled & kMessageAvailable) {
        messageReady_.insert(target.address);
    } else {
        messageReady_.erase(target.address);
    }
    statusByte[0] = static_cast<char>(*polled);
    return Finish(kDeviceOk, 0, 1);
}

int PrologixDriver::ibonl(int ud, int value)
{
    if (ud == kBoard) {
        // Nothing to release on the adapter; the answer tells that it is
        // still there.
        if (int error = Begin()) return Lose(error);
        if (int error = Synchronise()) return Lose(error);
        return Finish(kBoardOk, 0, 0);
    }
    if (ud > kBoard && ud < kFirstDeviceDescriptor) return Finish(ni::ERR, ni::ENEB, 0);
    const Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor) return Finish(ni::ERR, ni::EDVR, 0);
    if (value != 0) return Finish(kDeviceOk, 0, 0);
    const int address = descriptor->address;
    descriptors_.erase(ud);
    // The instrument's front panel is the user's again; and everything the
    // run sent has been taken by the adapter once it answers.
    if (int error = Begin()) return Lose(error);
    int error = Address(address);
    if (error == 0) error = SendLine("++loc");
    if (error == 0) error = Synchronise();
    if (error != 0) return Lose(error);
    return Finish(kDeviceOk, 0, 0);
}

void PrologixDriver::SendIFC(int board)
{
    if (!OnBoard(board)) return;
    // The query begins here: a lost connection is tried again.
    int error = EnsureConnected();
    if (error == 0) error = Begin();
    if (error == 0) error = SendLine("++ifc");
    if (error != 0) {
        Lose(error);
        return;
    }
    holdovers_.clear();
    requests_.clear();
    messageReady_.clear();
    Finish(kBoardOk, 0, 0);
}

void PrologixDriver::FindLstn(int board, const Addr4882* padList, Addr4882* resultList, int limit)
{
    if (!OnBoard(board)) return;
    if (int error = Begin()) {
        Lose(error);
        return;
    }
    // A device that answers a serial poll is there; the adapter has no
    // other way to see a listener.
    long found = 0;
    for (const Addr4882* entry = padList; *entry != kNoAddr; ++entry) {
        const int address = *entry;
        std::optional<uint8_t> statusByte;
        if (int error = SerialPoll(address, timeouts_.listenerProbeMilliseconds, statusByte)) {
            Lose(error);
            return;
        }
        listening_[address] = statusByte.has_value();
        if (!statusByte) continue;
        if (*statusByte & kRequestingService) requests_[address] = *statusByte;
        if (found == limit) {
            Finish(ni::ERR | kBoardOk, ni::ETAB, found);
            return;
        }
        resultList[found++] = *entry;
    }
    Finish(kBoardOk, 0, found);
}

void PrologixDriver::DevClearList(int board, const Addr4882* addrList)
{
    if (!OnBoard(board)) return;
    if (int error = Begin()) {
        Lose(error);
        return;
    }
    std::vector<int> targets;
    if (*addrList == kNoAddr) {
        // The adapter has no universal clear: every device found is
        // cleared on its own.
        for (const auto& [address, present] : listening_)
            if (present) targets.push_back(address);
    } else {
        for (const Addr4882* entry = addrList; *entry != kNoAddr; ++entry) {
            if (KnownAbsent(*entry)) {
                Finish(ni::ERR, ni::ENOL, 0);
                return;
            }
            targets.push_back(*entry);
        }
    }
    for (const int address : targets) {
        int error = Address(address);
        if (error == 0) error = SendLine("++clr");
        if (error != 0) {
            Lose(error);
            return;
        }
        Forget(address);
    }
    Finish(kBoardOk, 0, 0);
}

void PrologixDriver::SendList(int board, const Addr4882* addrList, const void* data, long count,
                              int eotMode)
{
    if (!OnBoard(board)) return;
    if (count < 0 || (eotMode != ni::NULLend && eotMode != ni::NLend && eotMode != ni::DABend)) {
        Finish(ni::ERR, ni::EARG, 0);
        return;
    }
    if (int error = Begin()) {
        Lose(error);
        return;
    }
    std::string text = Bytes(data, count);
    if (eotMode == ni::NLend) text += '\n';
    std::vector<int> listeners;
    for (const Addr4882* entry = addrList; *entry != kNoAddr; ++entry)
        if (!KnownAbsent(*entry)) listeners.push_back(*entry);
    if (listeners.empty()) {
        Finish(ni::ERR, ni::ENOL, 0);
        return;
    }
    for (const int address : listeners) {
        if (int error = WriteData(address, text, eotMode != ni::NULLend)) {
            Lose(error);
            return;
        }
    }
    Finish(kBoardOk, 0, static_cast<long>(text.size()));
}

void PrologixDriver::Send(int board, Addr4882 addr, const void* data, long count, int eotMode)
{
    const Addr4882 list[] = {addr, kNoAddr};
    SendList(board, list, data, count, eotMode);
}

void PrologixDriver::Receive(int board, Addr4882 addr, void* buffer, long count, int termination)
{
    if (!OnBoard(board)) return;
    if (count < 0) {
        Finish(ni::ERR, ni::EARG, 0);
        return;
    }
    if (int error = Begin()) {
        Lose(error);
        return;
    }
    const int stopByte =
        termination != ni::STOPend && (termination & 0xFF) != 0 ? (termination & 0xFF) : -1;
    const ReadOutcome outcome = Read(addr, ni::T10s, static_cast<char*>(buffer), count, stopByte);
    if (outcome.lostError != 0) {
        Lose(outcome.lostError);
        return;
    }
    if (outcome.timedOut) {
        Finish(ni::ERR | ni::TIMO | kBoardOk, ni::EABO, outcome.count);
        return;
    }
    Finish(kBoardOk | (outcome.end ? ni::END : 0), 0, outcome.count);
}

int PrologixDriver::RegisterGpibGlobalsForThread(int32_t* ibstaCell, int32_t* iberrCell,
                                                 int32_t* ibcntCell, int32_t* ibcntlCell)
{
    return cells_.Register(ibstaCell, iberrCell, ibcntCell, ibcntlCell);
}

int PrologixDriver::UnregisterGpibGlobalsForThread()
{
    cells_.Unregister();
    return 0;
}

PrologixOpening OpenPrologixAdapter(const std::string& text, Clock& clock,
                                    const PrologixTimeouts& timeouts)
{
    PrologixOpening opening;
    const std::optional<PrologixLocation> location = ParsePrologixLocation(text);
    if (!location) {
        opening.refusal = "\"prologix:" + text +
                          "\" names no Prologix adapter: give HOST, HOST:PORT or the path of a "
                          "serial device.";
        return opening;
    }
    auto driver = std::make_unique<PrologixDriver>(
        LocationConnector(*location, timeouts), PrologixLocationText(*location), clock, timeouts);
    if (driver->Connect() != 0) {
        opening.refusal = "The Prologix adapter at " + driver->adapterName() +
                          " could not be used: " + driver->connectFailure();
        return opening;
    }
    opening.driver = std::move(driver);
    return opening;
}

}  // namespace quillon
