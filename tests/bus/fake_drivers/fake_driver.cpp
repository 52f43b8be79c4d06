// A stand-in for a GPIB driver library, built once per family: with
// FAKE_LINUX_GPIB it has linux-gpib's prototypes and end-mode values,
// otherwise NI-488.2's. It answers through whatever driver the test hands it
// (a simulated bus), after mapping its own end modes back to NI values, and
// keeps a journal of the values it received in its own family's terms.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "bus/gpib_driver.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

#ifdef FAKE_LINUX_GPIB
using Addr = uint16_t;
using Count = long;
using Limit = int;
using Result = int;
using StatusResult = int;
constexpr int kNLend = 2;
constexpr int kDABend = 1;
#else
using Addr = short;
using Count = std::size_t;
using Limit = std::size_t;
using Result = unsigned long;
using StatusResult = unsigned long;
constexpr int kNLend = 1;
constexpr int kDABend = 2;
#endif

quillon::GpibDriver* bus = nullptr;
int failOpenWithErrno = 0;
std::mutex journalMutex;
std::string journal;

struct ThreadCells {
    int32_t ibsta = 0;
    int32_t iberr = 0;
    int32_t ibcnt = 0;
    int32_t ibcntl = 0;
};
thread_local ThreadCells status;

void Note(const std::string& line)
{
    std::lock_guard<std::mutex> lock(journalMutex);
    journal += line + "\n";
}

// The bus keeps the outcome of the call in this thread's cells; they are
// registered for one call at a time so that no finished thread stays behind.
template <typename Call>
void Forward(Call call)
{
    ThreadCells cells;
    bus->RegisterGpibGlobalsForThread(&cells.ibsta, &cells.iberr, &cells.ibcnt, &cells.ibcntl);
    call();
    bus->UnregisterGpibGlobalsForThread();
    status = cells;
}

int NiEndMode(int ownMode)
{
    if (ownMode == kNLend) return quillon::ni::NLend;
    if (ownMode == kDABend) return quillon::ni::DABend;
    return ownMode;
}

const quillon::Addr4882* List(const Addr* list)
{
    return reinterpret_cast<const quillon::Addr4882*>(list);
}

}  // namespace

// ----- test hooks -----------------------------------------------------------

FAKE_EXPORT void FakeDriverConnect(quillon::GpibDriver* driver)
{
    bus = driver;
    failOpenWithErrno = 0;
    status = ThreadCells{};
    std::lock_guard<std::mutex> lock(journalMutex);
    journal.clear();
}

// The next ibdev fails the way an unconfigured board does.
FAKE_EXPORT void FakeDriverFailNextOpen(int errnoValue)
{
    failOpenWithErrno = errnoValue;
}

FAKE_EXPORT const char* FakeDriverJournal()
{
    std::lock_guard<std::mutex> lock(journalMutex);
    thread_local std::string copy;
    copy = journal;
    return copy.c_str();
}

// ----- the family's functions -----------------------------------------------

FAKE_EXPORT int ibdev(int board, int pad, int sad, int tmo, int eot, int eos)
{
    if (failOpenWithErrno != 0) {
        status =
            ThreadCells{quillon::ni::ERR, quillon::ni::EDVR, failOpenWithErrno, failOpenWithErrno};
        failOpenWithErrno = 0;
        return -1;
    }
    int ud = -1;
    Forward([&] { ud = bus->ibdev(board, pad, sad, tmo, eot, eos); });
    return ud;
}

FAKE_EXPORT Result ibconfig(int ud, int option, int value)
{
#ifdef FAKE_LINUX_GPIB
    // linux-gpib's board descriptors are the board indexes, and automatic
    // serial polling (IbcAUTOPOLL) is a board's setting; the simulated bus
    // hands out RQS without it.
    if (ud >= 0 && ud < 16 && option == 0x7) {
        Note("ibconfig board " + std::to_string(ud) + " autopoll " + std::to_string(value));
        status = ThreadCells{quillon::ni::CMPL | quillon::ni::CIC, 0, 0, 0};
        return static_cast<Result>(status.ibsta);
    }
#endif
    Forward([&] { bus->ibconfig(ud, option, value); });
    return static_cast<Result>(status.ibsta);
}

FAKE_EXPORT Result ibclr(int ud)
{
    Forward([&] { bus->ibclr(ud); });
    return static_cast<Result>(status.ibsta);
}

FAKE_EXPORT Result ibwrt(int ud, const void* data, Count count)
{
    Note("ibwrt " + std::to_string(count));
    Forward([&] { bus->ibwrt(ud, data, static_cast<long>(count)); });
    return static_cast<Result>(status.ibsta);
}

FAKE_EXPORT Result ibrd(int ud, void* buffer, Count count)
{
    Note("ibrd " + std::to_string(count));
    Forward([&] { bus->ibrd(ud, buffer, static_cast<long>(count)); });
    return static_cast<Result>(status.ibsta);
}

FAKE_EXPORT Result ibwait(int ud, int mask)
{
    Forward([&] { bus->ibwait(ud, mask); });
    return static_cast<Result>(status.ibsta);
}

FAKE_EXPORT Result ibrsp(int ud, char* statusByte)
{
    Forward([&] { bus->ibrsp(ud, statusByte); });
    return static_cast<Result>(status.ibsta);
}

FAKE_EXPORT Result ibonl(int ud, int value)
{
    Forward([&] { bus->ibonl(ud, value); });
    return static_cast<Result>(status.ibsta);
}

FAKE_EXPORT void SendIFC(int board)
{
    Forward([&] { bus->SendIFC(board); });
}

#ifndef FAKE_WITHOUT_FIND_LSTN
FAKE_EXPORT void FindLstn(int board, const Addr* padList, Addr* resultList, Limit limit)
{
    Note("FindLstn " + std::to_string(limit));
    Forward([&] {
        bus->FindLstn(board, List(padList), reinterpret_cast<quillon::Addr4882*>(resultList),
                      static_cast<int>(limit));
    });
}
#endif

FAKE_EXPORT void DevClearList(int board, const Addr* addrList)
{
    Forward([&] { bus->DevClearList(board, List(addrList)); });
}

FAKE_EXPORT void SendList(int board, const Addr* addrList, const void* data, Count count,
                          int eotMode)
{
    Note("SendList " + std::to_string(count) + " end " + std::to_string(eotMode));
    Forward([&] {
        bus->SendList(board, List(addrList), data, static_cast<long>(count), NiEndMode(eotMode));
    });
}

FAKE_EXPORT void Send(int board, Addr addr, const void* data, Count count, int eotMode)
{
    Note("Send " + std::to_string(count) + " end " + std::to_string(eotMode));
    Forward([&] {
        bus->Send(board, static_cast<quillon::Addr4882>(addr), data, static_cast<long>(count),
                  NiEndMode(eotMode));
    });
}

FAKE_EXPORT void Receive(int board, Addr addr, void* buffer, Count count, int termination)
{
    Note("Receive " + std::to_string(count) + " termination " + std::to_string(termination));
    Forward([&] {
        bus->Receive(board, static_cast<quillon::Addr4882>(addr), buffer, static_cast<long>(count),
                     termination);
    });
}

FAKE_EXPORT StatusResult ThreadIbsta()
{
    return static_cast<StatusResult>(status.ibsta);
}

FAKE_EXPORT StatusResult ThreadIberr()
{
    return static_cast<StatusResult>(status.iberr);
}

#ifdef FAKE_LINUX_GPIB
// linux-gpib gives the count as an int and as a long.
FAKE_EXPORT int ThreadIbcnt()
{
    return status.ibcnt;
}

FAKE_EXPORT long ThreadIbcntl()
{
    return status.ibcntl;
}

// Only linux-gpib has it; a loader may tell the family by it.
FAKE_EXPORT const char* gpib_error_string(int)
{
    return "fake";
}
#else
// NI's ThreadIbcnt returns the full count.
FAKE_EXPORT unsigned long ThreadIbcnt()
{
    return static_cast<unsigned long>(static_cast<uint32_t>(status.ibcntl));
}

#ifndef FAKE_WITHOUT_THREAD_IBCNTL
FAKE_EXPORT long ThreadIbcntl()
{
    return status.ibcntl;
}
#endif
#endif
