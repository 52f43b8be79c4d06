// The system calls through which the real linux-gpib library reaches the
// kernel, taken over in the executable that hosts the library's tests: the
// library, loaded later, binds to these (the executable exports them), and
// /dev/gpib0 then goes to the kernel emulation while one lives. Everything
// else goes on to the next definition, the C library's or a sanitizer's.
// Compiled into those executables only, never into a library: a library
// member defining open would be pulled into the program.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdarg>

#include "tests/support/linux_gpib_kernel.h"

namespace {

using quillon::testing::InstalledLinuxGpibKernel;
using quillon::testing::LinuxGpibKernel;

template <typename Function>
Function Next(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

LinuxGpibKernel* KernelFor(const char* path)
{
    LinuxGpibKernel* kernel = InstalledLinuxGpibKernel();
    return kernel && kernel->IsDeviceFile(path) ? kernel : nullptr;
}

LinuxGpibKernel* KernelFor(int fd)
{
    LinuxGpibKernel* kernel = InstalledLinuxGpibKernel();
    return kernel && kernel->Owns(fd) ? kernel : nullptr;
}

// open's mode argument is there only when the flags create a file.
mode_t ModeArgument(int flags, va_list arguments)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(arguments, mode_t) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...)
{
    if (LinuxGpibKernel* kernel = KernelFor(path)) return kernel->Open();
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    static const auto next = Next<int (*)(const char*, int, ...)>("open");
    return next(path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    if (LinuxGpibKernel* kernel = KernelFor(path)) return kernel->Open();
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = ModeArgument(flags, arguments);
    va_end(arguments);
    static const auto next = Next<int (*)(const char*, int, ...)>("open64");
    return next(path, flags, mode);
}

// What open becomes in code built with _FORTIFY_SOURCE.
int __open_2(const char* path, int flags)
{
    if (LinuxGpibKernel* kernel = KernelFor(path)) return kernel->Open();
    static const auto next = Next<int (*)(const char*, int)>("__open_2");
    return next(path, flags);
}

int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (LinuxGpibKernel* kernel = KernelFor(fd)) return kernel->Ioctl(fd, request, argument);
    static const auto next = Next<int (*)(int, unsigned long, ...)>("ioctl");
    return next(fd, request, argument);
}

int close(int fd)
{
    if (LinuxGpibKernel* kernel = KernelFor(fd)) return kernel->Close(fd);
    static const auto next = Next<int (*)(int)>("close");
    return next(fd);
}

// FindLstn waits 1.5 ms per address for the bus lines to settle; on the
// emulation they settle at once, and the wait is the emulation's time.
int usleep(useconds_t microseconds)
{
    if (LinuxGpibKernel* kernel = InstalledLinuxGpibKernel()) {
        kernel->Sleep(microseconds);
        return 0;
    }
    static const auto next = Next<int (*)(useconds_t)>("usleep");
    return next(microseconds);
}

}  // extern "C"
