#include "bus/driver_library.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#define QUILLON_NI488CC __stdcall
#else
#include <dlfcn.h>
#define QUILLON_NI488CC
#endif

namespace quillon {

namespace {

// ---------------------------------------------------------------------------
// Opening, looking up and closing a library, the system's way.

void* OpenLibrary(const std::string& path, std::string& error)
{
#ifdef _WIN32
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) {
        char text[512] = {};
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       GetLastError(), 0, text, sizeof text, nullptr);
        error = text;
    }
    return reinterpret_cast<void*>(module);
#else
    dlerror();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* text = dlerror();
        error = text ? text : "unknown error";
    }
    return handle;
#endif
}

void* FindSymbol(void* handle, const char* name)
{
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
#else
    return dlsym(handle, name);
#endif
}

void CloseLibrary(void* handle)
{
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(handle));
#else
    dlclose(handle);
#endif
}

// ---------------------------------------------------------------------------
// The two families' C prototypes, as their headers declare them.

// linux-gpib, gpib/ib.h.
struct LinuxGpibApi {
    using Addr = uint16_t;
    using Count = long;
    using Limit = int;
    using Result = int;

    struct Functions {
        int (*ibdev)(int, int, int, int, int, int);
        int (*ibconfig)(int, int, int);
        int (*ibclr)(int);
        int (*ibwrt)(int, const void*, long);
        int (*ibrd)(int, void*, long);
        int (*ibwait)(int, int);
        int (*ibrsp)(int, char*);
        int (*ibonl)(int, int);
        void (*SendIFC)(int);
        void (*FindLstn)(int, const Addr*, Addr*, int);
        void (*DevClearList)(int, const Addr*);
        void (*SendList)(int, const Addr*, const void*, long, int);
        void (*Send)(int, Addr, const void*, long, int);
        void (*Receive)(int, Addr, void*, long, int);
        int (*ThreadIbsta)();
        int (*ThreadIberr)();
        int (*ThreadIbcnt)();
        long (*ThreadIbcntl)();  // missing from old releases
    };

    // linux-gpib numbers its end modes the other way round.
    static int EndMode(int niMode)
    {
        if (niMode == ni::NLend) return 2;
        if (niMode == ni::DABend) return 1;
        return niMode;
    }

    // A board starts with automatic serial polling off (lib/ibBoard.c), and
    // only an autopoll puts a device's status byte where its ibwait sees
    // RQS: without it the run's wait for the meter's service request times
    // out at every point. gpib.conf's "autopoll" is read by nothing; only
    // ibconfig on the board switches it on.
    static constexpr bool kAutopollStartsOff = true;
    static constexpr int kIbcAutopoll = 0x7;
    // ibonl(board, 0) asks the kernel to close the board's own handle, which
    // it never opened as a device, and the kernel refuses with EINVAL
    // (lib/ibOnl.c, drivers/gpib/sys/osfuncs.c close_dev_ioctl). Board
    // descriptors are the board indexes; devices get the descriptors from
    // GPIB_MAX_NUM_BOARDS on (lib/ibutil.c insert_descriptor).
    static constexpr bool kBoardOfflineRefused = true;
    static constexpr int kFirstDeviceDescriptor = 16;
    // With IbcUnAddr set, ibwrt returns the status of the unaddressing
    // after the data instead of the write's own (lib/ibWrt.c my_ibwrt): a
    // write that no listener took comes back without ERR, its iberr and
    // short count still set.
    static constexpr bool kWriteStatusMayHideAShortWrite = true;
};

// NI-488.2, ni4882.h. The older libgpibapi.so and gpib-32.dll take long
// counts; size_t is at least as wide, so declaring it serves both.
struct NiApi {
    using Addr = short;
    using Count = std::size_t;
    using Limit = std::size_t;
    using Result = unsigned long;

    struct Functions {
        int(QUILLON_NI488CC* ibdev)(int, int, int, int, int, int);
        unsigned long(QUILLON_NI488CC* ibconfig)(int, int, int);
        unsigned long(QUILLON_NI488CC* ibclr)(int);
        unsigned long(QUILLON_NI488CC* ibwrt)(int, const void*, std::size_t);
        unsigned long(QUILLON_NI488CC* ibrd)(int, void*, std::size_t);
        unsigned long(QUILLON_NI488CC* ibwait)(int, int);
        unsigned long(QUILLON_NI488CC* ibrsp)(int, char*);
        unsigned long(QUILLON_NI488CC* ibonl)(int, int);
        void(QUILLON_NI488CC* SendIFC)(int);
        void(QUILLON_NI488CC* FindLstn)(int, const Addr*, Addr*, std::size_t);
        void(QUILLON_NI488CC* DevClearList)(int, const Addr*);
        void(QUILLON_NI488CC* SendList)(int, const Addr*, const void*, std::size_t, int);
        void(QUILLON_NI488CC* Send)(int, Addr, const void*, std::size_t, int);
        void(QUILLON_NI488CC* Receive)(int, Addr, void*, std::size_t, int);
        unsigned long(QUILLON_NI488CC* ThreadIbsta)();
        unsigned long(QUILLON_NI488CC* ThreadIberr)();
        // ni4882.h makes ThreadIbcntl a macro for ThreadIbcnt, which then
        // returns the full count; gpib-32.dll exports both.
        unsigned long(QUILLON_NI488CC* ThreadIbcnt)();
        long(QUILLON_NI488CC* ThreadIbcntl)();
    };

    static int EndMode(int niMode) { return niMode; }

    static constexpr bool kAutopollStartsOff = false;
    static constexpr bool kBoardOfflineRefused = false;
    static constexpr bool kWriteStatusMayHideAShortWrite = false;
};

// ---------------------------------------------------------------------------
// Symbol lookup with a list of what is missing.

class SymbolTable {
public:
    explicit SymbolTable(void* handle) : handle_(handle) {}

    template <typename F>
    void Require(F& function, const char* name)
    {
        Optional(function, name);
        if (!function) missing_.push_back(name);
    }

    template <typename F>
    void Optional(F& function, const char* name)
    {
        function = reinterpret_cast<F>(FindSymbol(handle_, name));
    }

    void NoteMissing(const char* name) { missing_.push_back(name); }
    bool Has(const char* name) const { return FindSymbol(handle_, name) != nullptr; }
    const std::vector<std::string>& missing() const { return missing_; }

private:
    void* handle_;
    std::vector<std::string> missing_;
};

template <typename Api>
typename Api::Functions ResolveFunctions(SymbolTable& symbols)
{
    typename Api::Functions f{};
    symbols.Require(f.ibdev, "ibdev");
    symbols.Require(f.ibconfig, "ibconfig");
    symbols.Require(f.ibclr, "ibclr");
    symbols.Require(f.ibwrt, "ibwrt");
    symbols.Require(f.ibrd, "ibrd");
    symbols.Require(f.ibwait, "ibwait");
    symbols.Require(f.ibrsp, "ibrsp");
    symbols.Require(f.ibonl, "ibonl");
    symbols.Require(f.SendIFC, "SendIFC");
    symbols.Require(f.FindLstn, "FindLstn");
    symbols.Require(f.DevClearList, "DevClearList");
    symbols.Require(f.SendList, "SendList");
    symbols.Require(f.Send, "Send");
    symbols.Require(f.Receive, "Receive");
    symbols.Require(f.ThreadIbsta, "ThreadIbsta");
    symbols.Require(f.ThreadIberr, "ThreadIberr");
    symbols.Optional(f.ThreadIbcntl, "ThreadIbcntl");
    symbols.Optional(f.ThreadIbcnt, "ThreadIbcnt");
    if (!f.ThreadIbcntl && !f.ThreadIbcnt) symbols.NoteMissing("ThreadIbcntl");
    return f;
}

// ---------------------------------------------------------------------------
// One family's calls, mapped to the program's NI-488.2 view.

template <typename Api>
class FamilyLibrary final : public DriverLibrary {
public:
    FamilyLibrary(void* handle, std::string path, DriverFamily family,
                  typename Api::Functions functions, RegisterFunction libraryRegister,
                  UnregisterFunction libraryUnregister)
        : DriverLibrary(handle, std::move(path), family, libraryRegister, libraryUnregister),
          f_(functions)
    {
    }

    int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) override
    {
        const int ud = f_.ibdev(board, pad, sad, tmo, eot, eos);
        const ThreadStatus opened = LibraryStatus();
        if constexpr (Api::kAutopollStartsOff) {
            if (ud >= 0 && !(opened.ibsta & ni::ERR)) {
                errno = 0;
                f_.ibconfig(board, Api::kIbcAutopoll, 1);
                const int systemError = errno;
                const ThreadStatus autopoll = LibraryStatus();
                if (autopoll.ibsta & ni::ERR) {
                    // A device whose service requests are never seen is of
                    // no use to a run: it is given back, and the open fails.
                    f_.ibonl(ud, 0);
                    Publish(autopoll, AutopollRefusal(board, systemError));
                    return -1;
                }
            }
        }
        Publish(opened);
        return ud;
    }
    int ibconfig(int ud, int option, int value) override
    {
        return Done(f_.ibconfig(ud, option, value));
    }
    int ibclr(int ud) override { return Done(f_.ibclr(ud)); }
    int ibwrt(int ud, const void* data, long count) override
    {
        const int result = StatusWord(f_.ibwrt(ud, data, Count(count)));
        ThreadStatus status = LibraryStatus();
        if constexpr (Api::kWriteStatusMayHideAShortWrite) {
            if (!(status.ibsta & ni::ERR) && status.ibcntl < count) {
                status.ibsta |= ni::ERR;
                Publish(status);
                return result | ni::ERR;
            }
        }
        Publish(status);
        return result;
    }
    int ibrd(int ud, void* buffer, long count) override
    {
        return Done(f_.ibrd(ud, buffer, Count(count)));
    }
    int ibwait(int ud, int mask) override { return Done(f_.ibwait(ud, mask)); }
    int ibrsp(int ud, char* statusByte) override { return Done(f_.ibrsp(ud, statusByte)); }
    int ibonl(int ud, int value) override
    {
        const int result = StatusWord(f_.ibonl(ud, value));
        ThreadStatus status = LibraryStatus();
        if constexpr (Api::kBoardOfflineRefused) {
            // Exactly the known refusal: the status before the close came
            // back complete (CMPL), then the close failed with EINVAL. The
            // board stays as it was, which is all a query's end needs.
            const bool board = ud >= 0 && ud < Api::kFirstDeviceDescriptor;
            if (value == 0 && board && (status.ibsta & ni::ERR) && (status.ibsta & ni::CMPL) &&
                status.iberr == ni::EDVR && status.ibcntl == EINVAL) {
                status.ibsta &= ~ni::ERR;
                status.ibcntl = 0;
                Publish(status);
                return result & ~ni::ERR;
            }
        }
        Publish(status);
        return result;
    }

    void SendIFC(int board) override
    {
        f_.SendIFC(board);
        Done();
    }
    void FindLstn(int board, const Addr4882* padList, Addr4882* resultList, int limit) override
    {
        f_.FindLstn(board, List(padList), reinterpret_cast<typename Api::Addr*>(resultList),
                    static_cast<typename Api::Limit>(limit));
        Done();
    }
    void DevClearList(int board, const Addr4882* addrList) override
    {
        f_.DevClearList(board, List(addrList));
        Done();
    }
    void SendList(int board, const Addr4882* addrList, const void* data, long count,
                  int eotMode) override
    {
        f_.SendList(board, List(addrList), data, Count(count), Api::EndMode(eotMode));
        Done();
    }
    void Send(int board, Addr4882 addr, const void* data, long count, int eotMode) override
    {
        f_.Send(board, static_cast<typename Api::Addr>(addr), data, Count(count),
                Api::EndMode(eotMode));
        Done();
    }
    void Receive(int board, Addr4882 addr, void* buffer, long count, int termination) override
    {
        f_.Receive(board, static_cast<typename Api::Addr>(addr), buffer, Count(count), termination);
        Done();
    }

private:
    static typename Api::Count Count(long count) { return static_cast<typename Api::Count>(count); }
    // Both families' address entries are 16 bits; only the signedness of
    // the declared type differs.
    static const typename Api::Addr* List(const Addr4882* list)
    {
        return reinterpret_cast<const typename Api::Addr*>(list);
    }

    // The status word is in the low 16 bits whatever the result's width.
    static int StatusWord(typename Api::Result result)
    {
        return static_cast<int>(static_cast<uint32_t>(result));
    }

    int Done(typename Api::Result result)
    {
        Done();
        return StatusWord(result);
    }

    void Done() { Publish(LibraryStatus()); }

    ThreadStatus LibraryStatus() const
    {
        ThreadStatus status;
        status.ibsta = static_cast<int32_t>(f_.ThreadIbsta());
        status.iberr = static_cast<int32_t>(f_.ThreadIberr());
        status.ibcntl = f_.ThreadIbcntl ? static_cast<int32_t>(f_.ThreadIbcntl())
                                        : static_cast<int32_t>(f_.ThreadIbcnt());
        return status;
    }

    static std::string AutopollRefusal(int board, int systemError)
    {
        const std::string reason =
            systemError != 0 ? std::strerror(systemError) : std::string("the driver refused it");
        return DriverFamilyName(DriverFamily::LinuxGpib) +
               " could not switch on automatic serial polling (IbcAUTOPOLL) for board " +
               std::to_string(board) + ": " + reason +
               ". Without it the meter's service request is never seen, and every point would "
               "wait out its time limit.";
    }

    typename Api::Functions f_;
};

// Functions only linux-gpib exports.
bool LooksLikeLinuxGpib(const SymbolTable& symbols)
{
    return symbols.Has("gpib_error_string") || symbols.Has("ibvers") || symbols.Has("AsyncIbsta");
}

std::string MissingText(const std::string& path, const std::vector<std::string>& missing)
{
    std::string names;
    for (std::size_t i = 0; i < missing.size(); ++i)
        names += (i == 0 ? "" : i + 1 == missing.size() ? " and " : ", ") + missing[i];
    return "The GPIB driver library " + path + " lacks the function" +
           (missing.size() > 1 ? "s " : " ") + names + ".";
}

}  // namespace

std::string DriverFamilyName(DriverFamily family)
{
    return family == DriverFamily::LinuxGpib ? "linux-gpib" : "NI-488.2";
}

DriverLibrary::DriverLibrary(void* handle, std::string path, DriverFamily family,
                             RegisterFunction libraryRegister, UnregisterFunction libraryUnregister)
    : handle_(handle),
      path_(std::move(path)),
      family_(family),
      libraryRegister_(libraryRegister),
      libraryUnregister_(libraryUnregister)
{
}

DriverLibrary::~DriverLibrary()
{
    CloseLibrary(handle_);
}

int DriverLibrary::RegisterGpibGlobalsForThread(int32_t* ibstaCell, int32_t* iberrCell,
                                                int32_t* ibcntCell, int32_t* ibcntlCell)
{
    if (libraryRegister_)
        return libraryRegister_(
            reinterpret_cast<long*>(ibstaCell), reinterpret_cast<long*>(iberrCell),
            reinterpret_cast<long*>(ibcntCell), reinterpret_cast<long*>(ibcntlCell));
    return cells_.Register(ibstaCell, iberrCell, ibcntCell, ibcntlCell);
}

int DriverLibrary::UnregisterGpibGlobalsForThread()
{
    if (libraryUnregister_) return libraryUnregister_();
    cells_.Unregister();
    return 0;
}

void DriverLibrary::Publish(const ThreadStatus& status, std::string failureDetail)
{
    {
        const std::lock_guard<std::mutex> lock(failureDetailMutex_);
        failureDetail_ = std::move(failureDetail);
    }
    if (libraryRegister_) return;
    cells_.Publish(status.ibsta, status.iberr, status.ibcntl);
}

std::string DriverLibrary::FailureDetail() const
{
    const std::lock_guard<std::mutex> lock(failureDetailMutex_);
    return failureDetail_;
}

DriverLibraryLoad LoadDriverLibrary(const std::string& path, std::optional<DriverFamily> family)
{
    DriverLibraryLoad load;
    std::string error;
    void* handle = OpenLibrary(path, error);
    if (!handle) {
        load.refusal = "The GPIB driver library " + path + " could not be loaded: " + error;
        return load;
    }
    load.opened = true;

    SymbolTable symbols(handle);
    const DriverFamily chosen = family                        ? *family
                                : LooksLikeLinuxGpib(symbols) ? DriverFamily::LinuxGpib
                                                              : DriverFamily::Ni;

    // The library's own registration writes long cells; ours are 32 bits,
    // which matches only where long is 32 bits (Windows).
    DriverLibrary::RegisterFunction libraryRegister = nullptr;
    DriverLibrary::UnregisterFunction libraryUnregister = nullptr;
    if (sizeof(long) == sizeof(int32_t)) {
        symbols.Optional(libraryRegister, "RegisterGpibGlobalsForThread");
        symbols.Optional(libraryUnregister, "UnregisterGpibGlobalsForThread");
        if (!libraryRegister || !libraryUnregister) {
            libraryRegister = nullptr;
            libraryUnregister = nullptr;
        }
    }

    if (chosen == DriverFamily::LinuxGpib) {
        const auto functions = ResolveFunctions<LinuxGpibApi>(symbols);
        if (symbols.missing().empty())
            load.driver = std::make_unique<FamilyLibrary<LinuxGpibApi>>(
                handle, path, chosen, functions, libraryRegister, libraryUnregister);
    } else {
        const auto functions = ResolveFunctions<NiApi>(symbols);
        if (symbols.missing().empty())
            load.driver = std::make_unique<FamilyLibrary<NiApi>>(
                handle, path, chosen, functions, libraryRegister, libraryUnregister);
    }
    if (!load.driver) {
        load.refusal = MissingText(path, symbols.missing());
        CloseLibrary(handle);
    }
    return load;
}

std::vector<DriverCandidate> AutoDriverCandidates()
{
#ifdef _WIN32
    return {{"ni4882.dll", DriverFamily::Ni}, {"gpib-32.dll", DriverFamily::Ni}};
#else
    return {{"libgpib.so.0", DriverFamily::LinuxGpib},
            {"libni4882.so", DriverFamily::Ni},
            {"libni4882.so.1", DriverFamily::Ni},
            {"libgpibapi.so", DriverFamily::Ni}};
#endif
}

std::vector<DriverCandidate> DriverCandidates(DriverFamily family)
{
    std::vector<DriverCandidate> candidates;
    for (const DriverCandidate& candidate : AutoDriverCandidates())
        if (candidate.family == family) candidates.push_back(candidate);
    return candidates;
}

}  // namespace quillon
