// The kernel side of /dev/gpib0 as linux-gpib's drivers/gpib answers the
// real user library: the ioctls the program's calls come down to, on one
// board (system controller at primary address 0) with the simulated 4284A
// at 17 and a multimeter at 22 behind it. Autopolling is the kernel's: a
// device's wait sees RQS only once the board's autopoll is on and has
// taken a status byte with RQS from it. Times pass on the given clock.
//
// While it lives, the process's open, ioctl and close of /dev/gpib0 reach
// it (tests/support/device_file_interposer.cpp, linked into the executable)
// and so does the library's usleep. One at a time, from one thread.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "bus/driver_library.h"
#include "platform/clock.h"
#include "sim/message_device.h"
#include "sim/simulated_4284a.h"

namespace quillon::testing {

class LinuxGpibKernel {
public:
    static constexpr const char* kDeviceFile = "/dev/gpib0";
    static constexpr int kBoardPad = 0;
    static constexpr int kMeterPad = 17;
    static constexpr int kMultimeterPad = 22;

    explicit LinuxGpibKernel(Clock& clock);
    ~LinuxGpibKernel();
    LinuxGpibKernel(const LinuxGpibKernel&) = delete;
    LinuxGpibKernel& operator=(const LinuxGpibKernel&) = delete;

    Simulated4284A& meter() { return meter_; }
    SimulatedInstrument& multimeter() { return multimeter_; }
    // The instrument at `pad` is gone from the bus (unplugged, switched off).
    void Disconnect(int pad) { devices_.erase(pad); }
    // No /dev/gpib0: the module is not loaded.
    void RemoveDeviceFile() { deviceFilePresent_ = false; }
    // IBAUTOSPOLL fails with this errno, as on a kernel that refuses it.
    void FailAutopollWith(int errnoValue) { autopollErrno_ = errnoValue; }
    bool AutopollOn() const { return autospollers_ > 0; }
    // Device addresses some descriptor has open (IBOPENDEV, not yet closed).
    std::size_t OpenDeviceCount() const { return openDevices_.size(); }

    // What the interposed calls hand over; -1 with errno set on failure.
    bool IsDeviceFile(const char* path) const;
    bool Owns(int fd) const { return files_.count(fd) != 0; }
    int Open();
    int Ioctl(int fd, unsigned long request, void* argument);
    int Close(int fd);
    void Sleep(uint64_t microseconds);

private:
    struct Descriptor {
        bool isBoard = false;
        int pad = 0;
        int sad = -1;
        bool ioInProgress = false;
    };
    struct File {
        int realFd = -1;  // a /dev/null descriptor, so that the number is the process's own
        std::map<int, Descriptor> descriptors;
        bool autopollEnabled = false;
        bool holdingMutex = false;
    };
    struct OpenDevice {
        int references = 0;
        std::deque<uint8_t> statusBytes;
    };

    int Handle(File& file, unsigned long request, void* argument);
    void Command(const uint8_t* bytes, std::size_t count);
    int Write(void* argument);
    int Read(void* argument);
    int Wait(File& file, void* argument);
    int SerialPoll(void* argument);
    int OpenDescriptor(File& file, void* argument);
    int CloseDescriptor(File& file, void* argument);
    // The board's status as general_ibstatus gives it, for `descriptor`.
    int Status(Descriptor* descriptor, int clearMask, int setMask);
    // What the kernel's autopoll thread does once SRQ is asserted.
    void Autopoll();
    bool ServiceRequested();
    std::optional<uint32_t> NextServiceRequestTick();
    SimulatedDevice* DeviceAt(int pad);
    // Sleeps until `tick` or for the time limit; true when the tick came first.
    bool SleepUntil(std::optional<uint32_t> tick, uint32_t limitMicroseconds);

    Clock& clock_;
    Simulated4284A meter_;
    SimulatedInstrument multimeter_;
    std::map<int, SimulatedDevice*> devices_;
    bool deviceFilePresent_ = true;
    int autopollErrno_ = 0;
    std::map<int, File> files_;
    File* mutexHolder_ = nullptr;
    int autospollers_ = 0;
    bool stuckServiceRequest_ = false;
    uint32_t timeLimitMicroseconds_ = 3000000;
    std::map<std::pair<int, int>, OpenDevice> openDevices_;
    std::optional<int> talker_;
    std::set<int> listeners_;
    bool boardTalks_ = false;
    bool boardListens_ = false;
};

// The kernel emulation the device file reaches, if one lives.
LinuxGpibKernel* InstalledLinuxGpibKernel();

// The real library, loaded as the program loads it, in an instance of its
// own: the library keeps its boards and descriptors in static data for the
// life of the process, so each test gets a copy of the file in `folder`,
// which stays loaded (its static data stays reachable). The gpib.conf it
// reads (IB_CONFIG) is written beside it: board 0 at primary address 0,
// system controller. The refusal names what is missing, the script to run
// included, when there is no library.
DriverLibraryLoad LoadLinuxGpibInstance(const std::filesystem::path& folder);

}  // namespace quillon::testing
