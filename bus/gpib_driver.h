// The GPIB driver as one table of functions, with the NI-488.2 calls the
// program makes and the driver's own argument widths. The binding in gpib/
// is written against this table only; which driver fills it (the simulated
// bus, a driver library loaded at start-up, a Prologix adapter, or none that
// can be used) is decided once, in main.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

// NI-488.2 address list entry; lists end with kNoAddr.
using Addr4882 = uint16_t;
inline constexpr Addr4882 kNoAddr = 0xFFFF;

class GpibDriver {
public:
    virtual ~GpibDriver() = default;

    // Device and board level ("traditional") calls. The return value carries
    // the status word in its low 16 bits; ibdev returns the descriptor.
    virtual int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) = 0;
    virtual int ibconfig(int ud, int option, int value) = 0;
    virtual int ibclr(int ud) = 0;
    virtual int ibwrt(int ud, const void* data, long count) = 0;
    virtual int ibrd(int ud, void* buffer, long count) = 0;
    virtual int ibwait(int ud, int mask) = 0;
    virtual int ibrsp(int ud, char* statusByte) = 0;
    virtual int ibonl(int ud, int value) = 0;

    // Multi-device (488.2) calls on a board.
    virtual void SendIFC(int board) = 0;
    virtual void FindLstn(int board, const Addr4882* padList, Addr4882* resultList, int limit) = 0;
    virtual void DevClearList(int board, const Addr4882* addrList) = 0;
    virtual void SendList(int board, const Addr4882* addrList, const void* data, long count,
                          int eotMode) = 0;
    virtual void Send(int board, Addr4882 addr, const void* data, long count, int eotMode) = 0;
    virtual void Receive(int board, Addr4882 addr, void* buffer, long count, int termination) = 0;

    // Per-thread status cells: after a successful registration the driver
    // stores the outcome of every call made on the registering thread into
    // them. Returns 0 (registered), 1 (this thread already has cells) or
    // another value (failure).
    virtual int RegisterGpibGlobalsForThread(int32_t* ibstaCell, int32_t* iberrCell,
                                             int32_t* ibcntCell, int32_t* ibcntlCell) = 0;
    virtual int UnregisterGpibGlobalsForThread() = 0;

    // How this bus presents itself to the user; both empty for a real
    // driver. A bus that measures nothing real says so in the main window's
    // caption (appended to it) and in the first line of the query list.
    virtual std::string CaptionMark() const { return {}; }
    virtual std::string ListNotice() const { return {}; }

    // Words for the last call that failed where its status cannot say why
    // (a setting the driver needs and could not make, a bus that cannot be
    // used); empty after a call that did not fail, and for any status that
    // says it all.
    virtual std::string FailureDetail() const { return {}; }
};

// NI-488.2 constants the program and the drivers share.
namespace ni {
inline constexpr int ERR = 0x8000;
inline constexpr int TIMO = 0x4000;
inline constexpr int END = 0x2000;
inline constexpr int SRQI = 0x1000;
inline constexpr int RQS = 0x0800;
inline constexpr int CMPL = 0x0100;
inline constexpr int LOK = 0x0080;
inline constexpr int REM = 0x0040;
inline constexpr int CIC = 0x0020;
inline constexpr int ATN = 0x0010;
inline constexpr int TACS = 0x0008;
inline constexpr int LACS = 0x0004;
inline constexpr int DTAS = 0x0002;
inline constexpr int DCAS = 0x0001;

inline constexpr int EDVR = 0;
inline constexpr int ECIC = 1;
inline constexpr int ENOL = 2;
inline constexpr int EADR = 3;
inline constexpr int EARG = 4;
inline constexpr int ESAC = 5;
inline constexpr int EABO = 6;
inline constexpr int ENEB = 7;
inline constexpr int EDMA = 8;
inline constexpr int EOIP = 10;
inline constexpr int ECAP = 11;
inline constexpr int EFSO = 12;
inline constexpr int EBUS = 14;
inline constexpr int ESTB = 15;
inline constexpr int ESRQ = 16;
inline constexpr int ECNF = 17;  // linux-gpib
inline constexpr int ETAB = 20;
inline constexpr int ELCK = 21;
inline constexpr int EARM = 22;
inline constexpr int EHDL = 23;
inline constexpr int ECFG = 24;
inline constexpr int EWIP = 26;
inline constexpr int ERST = 27;
inline constexpr int EPWR = 28;

inline constexpr int T10s = 13;
inline constexpr int IbcUnAddr = 27;

inline constexpr int NULLend = 0;
inline constexpr int NLend = 1;
inline constexpr int DABend = 2;
inline constexpr int STOPend = 0x100;

// Time limit codes T0 (none) .. T1000s, in microseconds.
int64_t TimeLimitMicroseconds(int code);
}  // namespace ni

}  // namespace quillon
