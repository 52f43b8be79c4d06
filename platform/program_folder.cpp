#include "platform/program_folder.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace quillon {

std::string ExecutableFolder::Path() const
{
    std::filesystem::path program;
#ifdef _WIN32
    wchar_t buffer[32768];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, 32768);
    program.assign(buffer, buffer + length);
#else
    std::error_code error;
    program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) program = std::filesystem::current_path(error) / "quillon";
#endif
    return program.parent_path().string();
}

}  // namespace quillon
