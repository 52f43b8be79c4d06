// The bus when the settings name a driver that cannot be used: a library
// that does not load, a family with no library, an adapter that does not
// answer. It fills the driver table so that nothing else needs to know:
// every call fails with ENEB, and says why, until the setting is mended
// and the program started again. Measuring on the simulated meter instead
// would hand a script plausible data from no instrument at all.
#pragma once

#include <string>

#include "bus/gpib_driver.h"
#include "bus/thread_status_cells.h"

namespace quillon {

class UnusableBus final : public GpibDriver {
public:
    // `reason`: why the chosen driver cannot be used, as the user was told.
    explicit UnusableBus(std::string reason) : reason_(std::move(reason)) {}

    const std::string& reason() const { return reason_; }

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
    std::string FailureDetail() const override { return reason_; }

    static constexpr const char* kCaptionMark = "[no usable GPIB]";
    static constexpr const char* kListNotice =
        "The GPIB driver chosen in Quillon.ini cannot be used: nothing is measured.";

private:
    int Fail();

    std::string reason_;
    ThreadStatusCells cells_;
};

}  // namespace quillon
