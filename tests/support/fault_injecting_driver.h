// A driver in front of the simulated bus that lets a test act before any
// call (press STOP, change the meter's faults), fail one wait outright, as a
// glitch on the bus would, and see every reply the program reads.
#pragma once

#include <functional>
#include <string>

#include "bus/gpib_driver.h"

namespace quillon::testing {

class FaultInjectingDriver final : public GpibDriver {
public:
    explicit FaultInjectingDriver(GpibDriver& bus) : bus_(bus) {}

    // Called before every call with its name ("ibwait", "ibwrt", ...).
    std::function<void(const std::string& call)> beforeCall;
    // The next ibwait fails with ERR and this error, once; -1 for none.
    int failNextWaitWith = -1;
    // Called after every ibrd that did not fail, with the whole buffer as
    // the caller now holds it (a short reply leaves older bytes behind it)
    // and the number of bytes the read brought.
    std::function<void(const std::string& buffer, long bytesRead)> afterRead;

    int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) override
    {
        Before("ibdev");
        return bus_.ibdev(board, pad, sad, tmo, eot, eos);
    }
    int ibconfig(int ud, int option, int value) override
    {
        Before("ibconfig");
        return bus_.ibconfig(ud, option, value);
    }
    int ibclr(int ud) override
    {
        Before("ibclr");
        return bus_.ibclr(ud);
    }
    int ibwrt(int ud, const void* data, long count) override
    {
        Before("ibwrt");
        return bus_.ibwrt(ud, data, count);
    }
    int ibrd(int ud, void* buffer, long count) override
    {
        Before("ibrd");
        const int status = bus_.ibrd(ud, buffer, count);
        if (afterRead && !(status & ni::ERR) && count > 0)
            afterRead(
                std::string(static_cast<const char*>(buffer), static_cast<std::size_t>(count)),
                cells_.ibcntl ? *cells_.ibcntl : count);
        return status;
    }
    int ibwait(int ud, int mask) override
    {
        Before("ibwait");
        if (failNextWaitWith >= 0 && cells_.ibsta) {
            *cells_.ibsta = ni::ERR;
            *cells_.iberr = failNextWaitWith;
            *cells_.ibcnt = *cells_.ibcntl = 0;
            failNextWaitWith = -1;
            return ni::ERR;
        }
        return bus_.ibwait(ud, mask);
    }
    int ibrsp(int ud, char* statusByte) override
    {
        Before("ibrsp");
        return bus_.ibrsp(ud, statusByte);
    }
    int ibonl(int ud, int value) override
    {
        Before("ibonl");
        return bus_.ibonl(ud, value);
    }
    void SendIFC(int board) override { bus_.SendIFC(board); }
    void FindLstn(int board, const Addr4882* padList, Addr4882* resultList, int limit) override
    {
        bus_.FindLstn(board, padList, resultList, limit);
    }
    void DevClearList(int board, const Addr4882* addrList) override
    {
        bus_.DevClearList(board, addrList);
    }
    void SendList(int board, const Addr4882* addrList, const void* data, long count,
                  int eotMode) override
    {
        bus_.SendList(board, addrList, data, count, eotMode);
    }
    void Send(int board, Addr4882 addr, const void* data, long count, int eotMode) override
    {
        bus_.Send(board, addr, data, count, eotMode);
    }
    void Receive(int board, Addr4882 addr, void* buffer, long count, int termination) override
    {
        bus_.Receive(board, addr, buffer, count, termination);
    }
    int RegisterGpibGlobalsForThread(int32_t* ibstaCell, int32_t* iberrCell, int32_t* ibcntCell,
                                     int32_t* ibcntlCell) override
    {
        cells_ = {ibstaCell, iberrCell, ibcntCell, ibcntlCell};
        return bus_.RegisterGpibGlobalsForThread(ibstaCell, iberrCell, ibcntCell, ibcntlCell);
    }
    int UnregisterGpibGlobalsForThread() override { return bus_.UnregisterGpibGlobalsForThread(); }
    std::string CaptionMark() const override { return bus_.CaptionMark(); }
    std::string ListNotice() const override { return bus_.ListNotice(); }

private:
    void Before(const std::string& call)
    {
        if (beforeCall) beforeCall(call);
    }

    struct Cells {
        int32_t* ibsta = nullptr;
        int32_t* iberr = nullptr;
        int32_t* ibcnt = nullptr;
        int32_t* ibcntl = nullptr;
    };

    GpibDriver& bus_;
    Cells cells_;
};

}  // namespace quillon::testing
