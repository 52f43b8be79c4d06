#include "sim/simulated_bus.h"

#include <cstring>

namespace quillon {

namespace {

constexpr int kDeviceOk = ni::CMPL;
constexpr int kBoardOk = ni::CMPL | ni::CIC;

std::string ListText(const Addr4882* list)
{
    std::string text;
    for (; *list != kNoAddr; ++list) text += (text.empty() ? "" : ",") + std::to_string(*list);
    return text;
}

std::string_view Bytes(const void* data, long count)
{
    return count > 0
               ? std::string_view(static_cast<const char*>(data), static_cast<std::size_t>(count))
               : std::string_view();
}

bool ValidPad(int pad)
{
    return pad >= 0 && pad <= 30;
}

}  // namespace

SimulatedBus::SimulatedBus(Clock& clock) : clock_(clock) {}

SimulatedBus::~SimulatedBus() = default;

SimulatedDevice& SimulatedBus::Attach(int board, int pad, std::unique_ptr<SimulatedDevice> device)
{
    auto& slot = boards_[board].devices[pad];
    slot = std::move(device);
    return *slot;
}

void SimulatedBus::Detach(int board, int pad)
{
    boards_[board].devices.erase(pad);
}

void SimulatedBus::SetBoardPresent(int board, bool present)
{
    boards_[board].present = present;
}

bool SimulatedBus::ValidBoard(int board) const
{
    return board >= 0 && board < kBoards && boards_[board].present;
}

SimulatedDevice* SimulatedBus::DeviceAt(int board, int pad)
{
    auto& devices = boards_[board].devices;
    auto found = devices.find(pad);
    return found == devices.end() ? nullptr : found->second.get();
}

SimulatedBus::Descriptor* SimulatedBus::FindDescriptor(int ud)
{
    auto found = descriptors_.find(ud);
    return found == descriptors_.end() ? nullptr : &found->second;
}

bool SimulatedBus::WaitUntil(std::optional<uint32_t> tick, int timeLimitCode)
{
    const int64_t limitUs = ni::TimeLimitMicroseconds(timeLimitCode);
    if (tick) {
        const int32_t ahead = static_cast<int32_t>(*tick - clock_.TickCount());
        if (ahead <= 0) return true;
        if (limitUs == 0 || ahead * int64_t{1000} <= limitUs) {
            clock_.Sleep(static_cast<uint32_t>(ahead));
            return true;
        }
    }
    // With no time limit nothing can end the wait; a simulation must not hang.
    if (limitUs > 0) clock_.Sleep(static_cast<uint32_t>((limitUs + 999) / 1000));
    return false;
}

int SimulatedBus::Finish(const char* call, int target, std::string_view data, int status, int error,
                         long count)
{
    if (!(status & ni::ERR)) error = 0;
    auto cells = registrations_.find(std::this_thread::get_id());
    if (cells != registrations_.end()) {
        *cells->second.ibsta = status;
        *cells->second.iberr = error;
        *cells->second.ibcnt = static_cast<int32_t>(count);
        *cells->second.ibcntl = static_cast<int32_t>(count);
    }
    if (recording_)
        calls_.push_back(
            BusCall{clock_.TickCount(), call, target, std::string(data), status, error, count});
    return status;
}

int SimulatedBus::ibdev(int board, int pad, int sad, int tmo, int eot, int eos)
{
    const std::string args = std::to_string(board) + "," + std::to_string(pad);
    if (board < 0 || board >= kBoards || !boards_[board].present) {
        Finish("ibdev", board, args, ni::ERR, ni::ENEB, 0);
        return -1;
    }
    const bool validSad = sad == 0 || (sad >= 0x60 && sad <= 0x7E);
    if (!ValidPad(pad) || !validSad || ni::TimeLimitMicroseconds(tmo) < 0 ||
        (eot != 0 && eot != 1)) {
        Finish("ibdev", board, args, ni::ERR, ni::EARG, 0);
        return -1;
    }
    const int ud = nextDescriptor_++;
    descriptors_[ud] = Descriptor{board, pad, tmo, eot == 1, eos, false};
    Finish("ibdev", board, args, kDeviceOk, 0, 0);
    return ud;
}

int SimulatedBus::ibconfig(int ud, int option, int value)
{
    const std::string args = std::to_string(option) + "," + std::to_string(value);
    Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor) return Finish("ibconfig", ud, args, ni::ERR, ni::EDVR, 0);
    if (option != ni::IbcUnAddr) return Finish("ibconfig", ud, args, ni::ERR, ni::ECAP, 0);
    descriptor->unaddress = value != 0;
    return Finish("ibconfig", ud, args, kDeviceOk, 0, 0);
}

int SimulatedBus::ibclr(int ud)
{
    Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor) return Finish("ibclr", ud, "", ni::ERR, ni::EDVR, 0);
    SimulatedDevice* device = DeviceAt(descriptor->board, descriptor->pad);
    if (!device) return Finish("ibclr", ud, "", ni::ERR, ni::ENOL, 0);
    device->DeviceClear();
    return Finish("ibclr", ud, "", kDeviceOk, 0, 0);
}

int SimulatedBus::ibwrt(int ud, const void* data, long count)
{
    const std::string_view text = Bytes(data, count);
    Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor || count < 0)
        return Finish("ibwrt", ud, text, ni::ERR, descriptor ? ni::EARG : ni::EDVR, 0);
    SimulatedDevice* device = DeviceAt(descriptor->board, descriptor->pad);
    if (!device) return Finish("ibwrt", ud, text, ni::ERR, ni::ENOL, 0);
    device->Listen(text, descriptor->eot);
    return Finish("ibwrt", ud, text, kDeviceOk, 0, count);
}

long SimulatedBus::ReadFrom(SimulatedDevice& device, char* buffer, long count, int termination,
                            bool& end)
{
    end = false;
    if (termination & 0xFF) {
        const char stop = static_cast<char>(termination & 0xFF);
        long got = 0;
        while (got < count && !end) {
            std::string byte = device.Talk(1, end);
            if (byte.empty()) break;
            buffer[got++] = byte[0];
            if (byte[0] == stop) break;
        }
        return got;
    }
    std::string bytes = device.Talk(static_cast<std::size_t>(count), end);
    std::memcpy(buffer, bytes.data(), bytes.size());
    return static_cast<long>(bytes.size());
}

int SimulatedBus::ibrd(int ud, void* buffer, long count)
{
    Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor || count < 0)
        return Finish("ibrd", ud, "", ni::ERR, descriptor ? ni::EARG : ni::EDVR, 0);
    SimulatedDevice* device = DeviceAt(descriptor->board, descriptor->pad);
    if (!device || !WaitUntil(device->OutputReadyTick(), descriptor->timeLimit))
        return Finish("ibrd", ud, "", ni::ERR | ni::TIMO | ni::CMPL, ni::EABO, 0);
    bool end = false;
    const long got = ReadFrom(*device, static_cast<char*>(buffer), count, descriptor->eos, end);
    return Finish("ibrd", ud, Bytes(buffer, got), kDeviceOk | (end ? ni::END : 0), 0, got);
}

int SimulatedBus::ibwait(int ud, int mask)
{
    const std::string args = std::to_string(mask);
    Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor) return Finish("ibwait", ud, args, ni::ERR, ni::EDVR, 0);
    if (mask & ~(ni::TIMO | ni::END | ni::RQS | ni::CMPL))
        return Finish("ibwait", ud, args, ni::ERR, ni::EARG, 0);
    SimulatedDevice* device = DeviceAt(descriptor->board, descriptor->pad);
    if (!(mask & (ni::RQS | ni::TIMO))) return Finish("ibwait", ud, args, kDeviceOk, 0, 0);
    std::optional<uint32_t> request =
        device && (mask & ni::RQS) ? device->ServiceRequestTick() : std::nullopt;
    const int limit = (mask & ni::TIMO) ? descriptor->timeLimit : 0;
    if (WaitUntil(request, limit)) return Finish("ibwait", ud, args, kDeviceOk | ni::RQS, 0, 0);
    return Finish("ibwait", ud, args, kDeviceOk | ni::TIMO, 0, 0);
}

int SimulatedBus::ibrsp(int ud, char* statusByte)
{
    Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor) return Finish("ibrsp", ud, "", ni::ERR, ni::EDVR, 0);
    SimulatedDevice* device = DeviceAt(descriptor->board, descriptor->pad);
    if (!device) {
        WaitUntil(std::nullopt, descriptor->timeLimit);
        return Finish("ibrsp", ud, "", ni::ERR | ni::TIMO, ni::EABO, 0);
    }
    const uint8_t polled = device->SerialPoll();
    statusByte[0] = static_cast<char>(polled);
    return Finish("ibrsp", ud, std::to_string(polled), kDeviceOk, 0, 1);
}

int SimulatedBus::ibonl(int ud, int value)
{
    const std::string args = std::to_string(value);
    if (ud >= 0 && ud < kBoards) {
        if (!boards_[ud].present) return Finish("ibonl", ud, args, ni::ERR, ni::ENEB, 0);
        return Finish("ibonl", ud, args, kBoardOk, 0, 0);
    }
    Descriptor* descriptor = FindDescriptor(ud);
    if (!descriptor) return Finish("ibonl", ud, args, ni::ERR, ni::EDVR, 0);
    if (value == 0) descriptors_.erase(ud);
    return Finish("ibonl", ud, args, kDeviceOk, 0, 0);
}

void SimulatedBus::SendIFC(int board)
{
    if (!ValidBoard(board)) {
        Finish("SendIFC", board, "", ni::ERR, ni::ENEB, 0);
        return;
    }
    Finish("SendIFC", board, "", kBoardOk, 0, 0);
}

void SimulatedBus::FindLstn(int board, const Addr4882* padList, Addr4882* resultList, int limit)
{
    const std::string args = ListText(padList);
    if (!ValidBoard(board)) {
        Finish("FindLstn", board, args, ni::ERR, ni::ENEB, 0);
        return;
    }
    long found = 0;
    for (const Addr4882* pad = padList; *pad != kNoAddr; ++pad) {
        if (!DeviceAt(board, *pad & 0xFF)) continue;
        if (found == limit) {
            Finish("FindLstn", board, args, ni::ERR | kBoardOk, ni::ETAB, found);
            return;
        }
        resultList[found++] = *pad;
    }
    Finish("FindLstn", board, args, kBoardOk, 0, found);
}

void SimulatedBus::DevClearList(int board, const Addr4882* addrList)
{
    const std::string args = ListText(addrList);
    if (!ValidBoard(board)) {
        Finish("DevClearList", board, args, ni::ERR, ni::ENEB, 0);
        return;
    }
    if (*addrList == kNoAddr) {  // an empty list sends the universal clear
        for (auto& entry : boards_[board].devices) entry.second->DeviceClear();
        Finish("DevClearList", board, args, kBoardOk, 0, 0);
        return;
    }
    for (const Addr4882* addr = addrList; *addr != kNoAddr; ++addr) {
        SimulatedDevice* device = DeviceAt(board, *addr & 0xFF);
        if (!device) {
            Finish("DevClearList", board, args, ni::ERR, ni::ENOL, 0);
            return;
        }
        device->DeviceClear();
    }
    Finish("DevClearList", board, args, kBoardOk, 0, 0);
}

void SimulatedBus::SendList(int board, const Addr4882* addrList, const void* data, long count,
                            int eotMode)
{
    std::string text(Bytes(data, count));
    const std::string args = ListText(addrList) + ":" + text;
    if (!ValidBoard(board)) {
        Finish("SendList", board, args, ni::ERR, ni::ENEB, 0);
        return;
    }
    if (count < 0 || (eotMode != ni::NULLend && eotMode != ni::NLend && eotMode != ni::DABend)) {
        Finish("SendList", board, args, ni::ERR, ni::EARG, 0);
        return;
    }
    std::vector<SimulatedDevice*> listeners;
    for (const Addr4882* addr = addrList; *addr != kNoAddr; ++addr)
        if (SimulatedDevice* device = DeviceAt(board, *addr & 0xFF)) listeners.push_back(device);
    if (listeners.empty()) {
        Finish("SendList", board, args, ni::ERR, ni::ENOL, 0);
        return;
    }
    if (eotMode == ni::NLend) text += '\n';
    for (SimulatedDevice* device : listeners) device->Listen(text, eotMode != ni::NULLend);
    Finish("SendList", board, args, kBoardOk, 0, static_cast<long>(text.size()));
}

void SimulatedBus::Send(int board, Addr4882 addr, const void* data, long count, int eotMode)
{
    const Addr4882 list[] = {addr, kNoAddr};
    SendList(board, list, data, count, eotMode);
}

void SimulatedBus::Receive(int board, Addr4882 addr, void* buffer, long count, int termination)
{
    const std::string args = std::to_string(addr);
    if (!ValidBoard(board)) {
        Finish("Receive", board, args, ni::ERR, ni::ENEB, 0);
        return;
    }
    if (count < 0) {
        Finish("Receive", board, args, ni::ERR, ni::EARG, 0);
        return;
    }
    SimulatedDevice* device = DeviceAt(board, addr & 0xFF);
    if (!device || !WaitUntil(device->OutputReadyTick(), ni::T10s)) {
        Finish("Receive", board, args, ni::ERR | ni::TIMO | kBoardOk, ni::EABO, 0);
        return;
    }
    bool end = false;
    const long got = ReadFrom(*device, static_cast<char*>(buffer), count,
                              termination == ni::STOPend ? 0 : termination, end);
    Finish("Receive", board, Bytes(buffer, got), kBoardOk | (end ? ni::END : 0), 0, got);
}

int SimulatedBus::RegisterGpibGlobalsForThread(int32_t* ibstaCell, int32_t* iberrCell,
                                               int32_t* ibcntCell, int32_t* ibcntlCell)
{
    if (!registrationAnswers_.empty()) {
        const int answer = registrationAnswers_.front();
        registrationAnswers_.pop_front();
        return answer;
    }
    const auto thread = std::this_thread::get_id();
    if (registrations_.count(thread)) return 1;
    registrations_[thread] = Cells{ibstaCell, iberrCell, ibcntCell, ibcntlCell};
    return 0;
}

int SimulatedBus::UnregisterGpibGlobalsForThread()
{
    registrations_.erase(std::this_thread::get_id());
    return 0;
}

}  // namespace quillon
