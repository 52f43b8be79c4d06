#include "tests/support/linux_gpib_kernel.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>
#include <vector>

#include "sim/simulated_lab.h"

// The library's own copies of the kernel interface, from its built tree.
#include "gpib/gpib.h"
#include "gpib/gpib_ioctl.h"
#include "gpib/gpib_user.h"

namespace quillon::testing {

namespace {

LinuxGpibKernel* installed = nullptr;

bool Ahead(uint32_t tick, uint32_t now)
{
    return static_cast<int32_t>(tick - now) > 0;
}

// The requests that drivers/gpib/sys/osfuncs.c serves only to the thread
// holding the board's mutex (IBMUTEX), as the library takes it around a call.
bool NeedsBoardMutex(unsigned long request)
{
    switch (request) {
        case IBCMD:
        case IBWRT:
        case IBRD:
        case IBRSP:
        case IBSIC:
        case IBSRE:
        case IBTMO:
        case IBEOS:
        case IBGTS:
        case IBCAC:
            return true;
        default:
            return false;
    }
}

}  // namespace

LinuxGpibKernel* InstalledLinuxGpibKernel()
{
    return installed;
}

LinuxGpibKernel::LinuxGpibKernel(Clock& clock)
    : clock_(clock),
      meter_(clock),
      multimeter_(clock, kSimulatedMultimeterIdentification),
      devices_{{kMeterPad, &meter_}, {kMultimeterPad, &multimeter_}}
{
    installed = this;
}

LinuxGpibKernel::~LinuxGpibKernel()
{
    installed = nullptr;
    // The library never closes its board's file; the stand-in descriptors go.
    for (const auto& [fd, file] : files_) ::close(file.realFd);
}

bool LinuxGpibKernel::IsDeviceFile(const char* path) const
{
    return path && std::strcmp(path, kDeviceFile) == 0;
}

int LinuxGpibKernel::Open()
{
    if (!deviceFilePresent_) {
        errno = ENOENT;
        return -1;
    }
    const int fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (fd < 0) return -1;
    File& file = files_[fd];
    file.realFd = fd;
    // Handle 0 is the board's own (osfuncs.c init_gpib_file_private).
    file.descriptors[0].isBoard = true;
    return fd;
}

int LinuxGpibKernel::Close(int fd)
{
    File& file = files_.at(fd);
    if (file.autopollEnabled && autospollers_ > 0) --autospollers_;
    for (const auto& [handle, descriptor] : file.descriptors) {
        if (descriptor.isBoard) continue;
        auto open = openDevices_.find({descriptor.pad, descriptor.sad});
        if (open != openDevices_.end() && --open->second.references == 0) openDevices_.erase(open);
    }
    if (mutexHolder_ == &file) mutexHolder_ = nullptr;
    files_.erase(fd);
    return ::close(fd);
}

void LinuxGpibKernel::Sleep(uint64_t microseconds)
{
    clock_.Sleep(static_cast<uint32_t>((microseconds + 999) / 1000));
}

int LinuxGpibKernel::Ioctl(int fd, unsigned long request, void* argument)
{
    File& file = files_.at(fd);
    // The autopoll thread would have run by now if SRQ is asserted.
    Autopoll();
    const int result = Handle(file, request, argument);
    if (result < 0) {
        errno = -result;
        return -1;
    }
    return result;
}

int LinuxGpibKernel::Handle(File& file, unsigned long request, void* argument)
{
    if (NeedsBoardMutex(request) && mutexHolder_ != &file) return -EPERM;
    switch (request) {
        case IBMUTEX: {
            const int lock = *static_cast<const int*>(argument);
            if (lock) {
                // Another holder would block this thread for good.
                if (mutexHolder_ && mutexHolder_ != &file) return -EDEADLK;
                mutexHolder_ = &file;
            } else {
                if (mutexHolder_ != &file) return -EPERM;
                mutexHolder_ = nullptr;
            }
            return 0;
        }
        case IBAUTOSPOLL: {
            if (autopollErrno_ != 0) return -autopollErrno_;
            const bool enable = *static_cast<const short*>(argument) != 0;
            if (enable == file.autopollEnabled) return enable ? 0 : -EINVAL;
            file.autopollEnabled = enable;
            autospollers_ += enable ? 1 : -1;
            return 0;
        }
        case IBBOARD_INFO: {
            auto* info = static_cast<gpib_board_info_ioctl*>(argument);
            std::memset(info, 0, sizeof *info);
            info->pad = kBoardPad;
            info->sad = -1;
            info->autopolling = autospollers_ > 0;
            info->is_system_controller = 1;
            info->t1_delay = 2000;
            return 0;
        }
        case IBOPENDEV:
            return OpenDescriptor(file, argument);
        case IBCLOSEDEV:
            return CloseDescriptor(file, argument);
        case IBWAIT:
            return Wait(file, argument);
        case IBLINES: {
            bool listening = false;
            for (int pad : listeners_) listening = listening || DeviceAt(pad);
            short lines = VALID_NDAC | VALID_NRFD | VALID_SRQ;
            // An addressed listener holds NRFD and NDAC: FindLstn's test.
            if (listening) lines |= BUS_NDAC | BUS_NRFD;
            if (ServiceRequested()) lines |= BUS_SRQ;
            *static_cast<short*>(argument) = lines;
            return 0;
        }
        case IBCMD: {
            auto* command = static_cast<gpib_read_write_ioctl*>(argument);
            if (!file.descriptors.count(command->handle)) return -EINVAL;
            const auto* bytes = reinterpret_cast<const uint8_t*>(command->buffer_ptr);
            Command(bytes + command->completed_transfer_count,
                    command->requested_transfer_count - command->completed_transfer_count);
            command->completed_transfer_count = command->requested_transfer_count;
            return 0;
        }
        case IBWRT:
            if (!file.descriptors.count(static_cast<gpib_read_write_ioctl*>(argument)->handle))
                return -EINVAL;
            return Write(argument);
        case IBRD:
            if (!file.descriptors.count(static_cast<gpib_read_write_ioctl*>(argument)->handle))
                return -EINVAL;
            return Read(argument);
        case IBRSP:
            return SerialPoll(argument);
        case IBTMO:
            timeLimitMicroseconds_ = *static_cast<const unsigned*>(argument);
            return 0;
        case IBSIC:
            // IFC: every talker and listener unaddressed.
            talker_.reset();
            listeners_.clear();
            boardTalks_ = boardListens_ = false;
            return 0;
        case IBSRE:
        case IBEOS:
        case IBGTS:
        case IBCAC:
            return 0;
        default:
            return -ENOTTY;
    }
}

void LinuxGpibKernel::Command(const uint8_t* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const uint8_t command = bytes[i] & gpib_command_mask;
        if (command == UNL) {
            listeners_.clear();
            boardListens_ = false;
        } else if (command == UNT) {
            talker_.reset();
            boardTalks_ = false;
        } else if (in_listen_address_group(command)) {
            const int pad = command & 0x1f;
            if (pad == kBoardPad)
                boardListens_ = true;
            else
                listeners_.insert(pad);
        } else if (in_talk_address_group(command)) {
            // A new talk address untalks whoever talked before.
            const int pad = command & 0x1f;
            boardTalks_ = pad == kBoardPad;
            talker_.reset();
            if (pad != kBoardPad) talker_ = pad;
        } else if (command == SDC) {
            for (int pad : listeners_)
                if (SimulatedDevice* device = DeviceAt(pad)) device->DeviceClear();
        } else if (command == DCL) {
            for (const auto& [pad, device] : devices_) device->DeviceClear();
        }
        // Secondary addresses (none of the instruments has one) and the
        // other commands change nothing here.
    }
}

int LinuxGpibKernel::Write(void* argument)
{
    auto* write = static_cast<gpib_read_write_ioctl*>(argument);
    const std::size_t remain = write->requested_transfer_count - write->completed_transfer_count;
    if (remain == 0) return 0;
    std::vector<SimulatedDevice*> listening;
    for (int pad : listeners_)
        if (SimulatedDevice* device = DeviceAt(pad)) listening.push_back(device);
    // What the tnt4882 and ni_usb drivers say when nobody takes the data.
    if (listening.empty()) return -ECOMM;
    const auto* bytes = reinterpret_cast<const char*>(write->buffer_ptr);
    const std::string_view data(bytes + write->completed_transfer_count, remain);
    for (SimulatedDevice* device : listening) device->Listen(data, write->end != 0);
    write->completed_transfer_count = write->requested_transfer_count;
    return 0;
}

int LinuxGpibKernel::Read(void* argument)
{
    auto* read = static_cast<gpib_read_write_ioctl*>(argument);
    SimulatedDevice* device = talker_ && boardListens_ ? DeviceAt(*talker_) : nullptr;
    auto* buffer = reinterpret_cast<char*>(read->buffer_ptr);
    bool end = false;
    read->end = 0;
    while (read->completed_transfer_count < read->requested_transfer_count && !end) {
        if (!device || !SleepUntil(device->OutputReadyTick(), timeLimitMicroseconds_))
            return -ETIMEDOUT;
        const std::string bytes =
            device->Talk(read->requested_transfer_count - read->completed_transfer_count, end);
        if (bytes.empty()) return -ETIMEDOUT;
        std::memcpy(buffer + read->completed_transfer_count, bytes.data(), bytes.size());
        read->completed_transfer_count += static_cast<uint32_t>(bytes.size());
    }
    read->end = end;
    return 0;
}

int LinuxGpibKernel::Wait(File& file, void* argument)
{
    auto* wait = static_cast<gpib_wait_ioctl*>(argument);
    auto found = file.descriptors.find(wait->handle);
    if (found == file.descriptors.end()) return -EINVAL;
    Descriptor& descriptor = found->second;
    if (wait->wait_mask == 0) {
        wait->ibsta = Status(&descriptor, wait->clear_mask, wait->set_mask);
        return 0;
    }
    const uint32_t limitMilliseconds = (wait->usec_timeout + 999) / 1000;
    const uint32_t deadline = clock_.TickCount() + limitMilliseconds;
    for (;;) {
        Autopoll();
        const bool timedOut = wait->usec_timeout > 0 && !Ahead(deadline, clock_.TickCount());
        const int status = Status(&descriptor, 0, 0) | (timedOut ? TIMO : 0);
        if (wait->wait_mask & status) {
            wait->ibsta = status;
            break;
        }
        // Only an autopoll changes what a device's wait looks for.
        std::optional<uint32_t> next =
            autospollers_ > 0 && !descriptor.isBoard ? NextServiceRequestTick() : std::nullopt;
        if (wait->usec_timeout > 0 && !timedOut && (!next || Ahead(*next, deadline)))
            next = deadline;
        // Nothing would ever end this wait; a test must not hang on it.
        if (!next) return -EINTR;
        clock_.Sleep(*next - clock_.TickCount());
    }
    if ((wait->ibsta & wait->clear_mask) || wait->set_mask)
        Status(&descriptor, wait->ibsta & wait->clear_mask, wait->set_mask);
    return 0;
}

int LinuxGpibKernel::SerialPoll(void* argument)
{
    auto* poll = static_cast<gpib_serial_poll_ioctl*>(argument);
    // A byte the autopoll took is handed out first (autopoll.c).
    auto open = openDevices_.find({static_cast<int>(poll->pad), poll->sad});
    if (open != openDevices_.end() && !open->second.statusBytes.empty()) {
        poll->status_byte = open->second.statusBytes.front();
        open->second.statusBytes.pop_front();
        return 0;
    }
    SimulatedDevice* device = DeviceAt(static_cast<int>(poll->pad));
    if (!device) {
        SleepUntil(std::nullopt, timeLimitMicroseconds_);
        return -ETIMEDOUT;
    }
    poll->status_byte = device->SerialPoll();
    return 0;
}

int LinuxGpibKernel::OpenDescriptor(File& file, void* argument)
{
    auto* open = static_cast<gpib_open_dev_ioctl*>(argument);
    int handle = 0;
    while (file.descriptors.count(handle)) ++handle;
    if (handle >= GPIB_MAX_NUM_DESCRIPTORS) return -ERANGE;
    Descriptor& descriptor = file.descriptors[handle];
    descriptor.pad = static_cast<int>(open->pad);
    descriptor.sad = open->sad;
    descriptor.isBoard = open->is_board != 0;
    ++openDevices_[{descriptor.pad, descriptor.sad}].references;
    stuckServiceRequest_ = false;
    open->handle = static_cast<uint32_t>(handle);
    return 0;
}

int LinuxGpibKernel::CloseDescriptor(File& file, void* argument)
{
    const auto handle = static_cast<int>(static_cast<gpib_close_dev_ioctl*>(argument)->handle);
    auto found = file.descriptors.find(handle);
    if (found == file.descriptors.end()) return -EINVAL;
    // The board's own handle was never counted as an open device, so the
    // kernel refuses it ("tried to close address that was never opened").
    auto open = openDevices_.find({found->second.pad, found->second.sad});
    if (open == openDevices_.end()) return -EINVAL;
    if (--open->second.references == 0) openDevices_.erase(open);
    file.descriptors.erase(found);
    return 0;
}

int LinuxGpibKernel::Status(Descriptor* descriptor, int clearMask, int setMask)
{
    // The board is system controller, in charge since it went online.
    int status = CIC;
    if (boardTalks_) status |= TACS;
    if (boardListens_) status |= LACS;
    if (ServiceRequested()) status |= SRQI;
    if (descriptor && !descriptor->isBoard) {
        auto open = openDevices_.find({descriptor->pad, descriptor->sad});
        if (open != openDevices_.end() && !open->second.statusBytes.empty()) status |= RQS;
    }
    if (descriptor) {
        if (setMask & CMPL)
            descriptor->ioInProgress = false;
        else if (clearMask & CMPL)
            descriptor->ioInProgress = true;
        if (!descriptor->ioInProgress) status |= CMPL;
    }
    return status;
}

void LinuxGpibKernel::Autopoll()
{
    if (autospollers_ == 0 || stuckServiceRequest_ || !ServiceRequested()) return;
    int taken = 0;
    for (auto& [address, open] : openDevices_) {
        SimulatedDevice* device = DeviceAt(address.first);
        if (!device) continue;
        const uint8_t statusByte = device->SerialPoll();
        if (statusByte & IB_STB_RQS) {
            open.statusBytes.push_back(statusByte);
            ++taken;
        }
    }
    // SRQ from a device nobody opened: the kernel stops autopolling.
    if (taken == 0) stuckServiceRequest_ = true;
}

bool LinuxGpibKernel::ServiceRequested()
{
    for (const auto& [pad, device] : devices_) {
        const std::optional<uint32_t> tick = device->ServiceRequestTick();
        if (tick && !Ahead(*tick, clock_.TickCount())) return true;
    }
    return false;
}

std::optional<uint32_t> LinuxGpibKernel::NextServiceRequestTick()
{
    std::optional<uint32_t> next;
    for (const auto& [pad, device] : devices_) {
        const std::optional<uint32_t> tick = device->ServiceRequestTick();
        if (tick && Ahead(*tick, clock_.TickCount()) && (!next || Ahead(*next, *tick))) next = tick;
    }
    return next;
}

SimulatedDevice* LinuxGpibKernel::DeviceAt(int pad)
{
    const auto found = devices_.find(pad);
    return found == devices_.end() ? nullptr : found->second;
}

bool LinuxGpibKernel::SleepUntil(std::optional<uint32_t> tick, uint32_t limitMicroseconds)
{
    const uint32_t limitMilliseconds = (limitMicroseconds + 999) / 1000;
    if (tick) {
        const int32_t ahead = static_cast<int32_t>(*tick - clock_.TickCount());
        if (ahead <= 0) return true;
        if (limitMicroseconds == 0 || static_cast<uint32_t>(ahead) <= limitMilliseconds) {
            clock_.Sleep(static_cast<uint32_t>(ahead));
            return true;
        }
    }
    clock_.Sleep(limitMilliseconds);
    return false;
}

DriverLibraryLoad LoadLinuxGpibInstance(const std::filesystem::path& folder)
{
    const std::filesystem::path library = QUILLON_LINUX_GPIB_LIBRARY;
    if (!std::filesystem::exists(library)) {
        DriverLibraryLoad missing;
        missing.refusal = "The real linux-gpib library " + library.string() +
                          " is not built: run scripts/linux-gpib, then build again.";
        return missing;
    }
    const std::filesystem::path configuration = folder / "gpib.conf";
    std::ofstream(configuration) << "interface {\n"
                                    "\tminor = 0\n"
                                    "\tboard_type = \"emulated\"\n"
                                    "\tpad = 0\n"
                                    "\tmaster = yes\n"
                                    "}\n";
    ::setenv("IB_CONFIG", configuration.c_str(), 1);
    const std::filesystem::path copy = folder / "libgpib.so.0";
    std::filesystem::copy_file(library, copy, std::filesystem::copy_options::overwrite_existing);
    // Never closed: the instance stays loaded after the driver goes.
    ::dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    return LoadDriverLibrary(copy.string());
}

}  // namespace quillon::testing
