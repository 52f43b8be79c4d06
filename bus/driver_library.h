// A GPIB driver library loaded at run time (linux-gpib, or NI-488.2 for
// Linux or Windows) behind the driver table the binding already uses.
// The two families differ in their end-mode values, their count types and
// how they hand out the status of a call; the loaded driver hides that, so
// the binding sees NI-488.2 values and per-thread status cells either way.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "bus/gpib_driver.h"
#include "bus/thread_status_cells.h"

namespace quillon {

enum class DriverFamily {
    LinuxGpib,  // NLend 2, DABend 1, long counts, int results
    Ni,         // NLend 1, DABend 2, size_t counts, unsigned long results
};

// "linux-gpib" or "NI-488.2".
std::string DriverFamilyName(DriverFamily family);

// Owns the loaded library; the library is closed when the driver goes.
class DriverLibrary : public GpibDriver {
public:
    ~DriverLibrary() override;
    DriverLibrary(const DriverLibrary&) = delete;
    DriverLibrary& operator=(const DriverLibrary&) = delete;

    const std::string& path() const { return path_; }
    DriverFamily family() const { return family_; }
    // True when the library keeps the status cells itself (the legacy
    // Windows DLL); otherwise this loader keeps them.
    bool LibraryRegistersCells() const { return libraryRegister_ != nullptr; }

    int RegisterGpibGlobalsForThread(int32_t* ibstaCell, int32_t* iberrCell, int32_t* ibcntCell,
                                     int32_t* ibcntlCell) override;
    int UnregisterGpibGlobalsForThread() override;
    // What this loader adds where the library's status cannot say why a call
    // failed: a setting the family needs that the library refused.
    std::string FailureDetail() const override;

    // The library's own registration, as the legacy Windows DLL declares it
    // (its long is 32 bits there).
    using RegisterFunction = int (*)(long*, long*, long*, long*);
    using UnregisterFunction = int (*)();

    // What the thread-status functions said after the last call.
    struct ThreadStatus {
        int32_t ibsta = 0;
        int32_t iberr = 0;
        int32_t ibcntl = 0;
    };

protected:
    DriverLibrary(void* handle, std::string path, DriverFamily family,
                  RegisterFunction libraryRegister, UnregisterFunction libraryUnregister);

    // Called on the calling thread right after every driver call, with the
    // words for a failure the status cannot explain (none for any other).
    void Publish(const ThreadStatus& status, std::string failureDetail = {});

private:
    void* handle_;
    std::string path_;
    DriverFamily family_;
    RegisterFunction libraryRegister_;
    UnregisterFunction libraryUnregister_;
    ThreadStatusCells cells_;
    mutable std::mutex failureDetailMutex_;
    std::string failureDetail_;
};

// A loaded driver, or why there is none.
struct DriverLibraryLoad {
    std::unique_ptr<DriverLibrary> driver;
    // Names the library and the reason: the loader's error text, or the
    // functions the library lacks. Empty when a driver was loaded.
    std::string refusal;
    // False when the file could not be opened at all (as opposed to opened
    // and refused), which is how a library that is not installed shows.
    bool opened = false;
};

// Loads `path` (a file name searched the system's way, or a path). Without a
// family the library's exported symbols decide: linux-gpib's own functions
// mark it, anything else is taken as NI-488.2.
DriverLibraryLoad LoadDriverLibrary(const std::string& path,
                                    std::optional<DriverFamily> family = std::nullopt);

// A library file name and the family it belongs to.
struct DriverCandidate {
    std::string fileName;
    DriverFamily family;
};

// The libraries tried, in order, where the settings say "auto": linux-gpib,
// then NI-488.2 (on Windows the two NI DLLs).
std::vector<DriverCandidate> AutoDriverCandidates();
// The same, restricted to one family.
std::vector<DriverCandidate> DriverCandidates(DriverFamily family);

}  // namespace quillon
