// Any bytes as a settings file, any section, key and value: reading never
// gives more than the buffer holds, writing into a writable file works, a
// plain value written under a plain name reads back as written, and such a
// write leaves the program's other keys as they were.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_target.h"
#include "platform/profile_file.h"

namespace {

bool PlainName(const std::string& name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '_';
    });
}

bool PlainValue(const std::string& value)
{
    if (value.empty()) return true;
    if (value.front() == ' ' || value.back() == ' ') return false;
    return std::all_of(value.begin(), value.end(), [](unsigned char c) {
        return std::isalnum(c) || c == ' ' || c == '.' || c == ',' || c == '-' || c == '+' ||
               c == '_' || c == ':';
    });
}

bool SameLetters(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

const std::string& ScratchFile();

void RemoveScratchFile()
{
    std::remove(ScratchFile().c_str());
}

const std::string& ScratchFile()
{
    static const std::string path = (std::filesystem::temp_directory_path() /
                                     ("quillon-fuzz-" + std::to_string(::getpid()) + ".ini"))
                                        .string();
    // Registered once the path exists, so that it runs before the path is
    // destroyed.
    static const bool removedAtExit = std::atexit(RemoveScratchFile) == 0;
    (void)removedAtExit;
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    quillon::fuzz::FuzzInput input(data, size);
    const std::string section = input.Text(24);
    const std::string key = input.Text(24);
    const std::string value = input.Text(300);
    const std::string content = input.Rest();
    const std::string& file = ScratchFile();
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;

    const std::string before = quillon::ReadProfileString(file, section, key, "DEFAULT", 255);
    FUZZ_REQUIRE(before.size() <= 254);
    const std::string otherBefore = quillon::ReadProfileString(file, "meas", "Value_00", "-", 4096);

    FUZZ_REQUIRE(quillon::WriteProfileString(file, section, key, value));
    // A name with "=", "]" or a line break in it cannot be found again (as
    // with the system's own profile functions); the program's names are
    // plain, and for plain names a write is read back and is idempotent.
    if (!PlainName(section) || !PlainName(key)) return 0;
    const std::string after = quillon::ReadProfileString(file, section, key, "DEFAULT", 4096);
    if (PlainValue(value)) FUZZ_REQUIRE(after == value);
    if (!SameLetters(section, "meas") || !SameLetters(key, "Value_00"))
        FUZZ_REQUIRE(quillon::ReadProfileString(file, "meas", "Value_00", "-", 4096) ==
                     otherBefore);
    // Writing the same again changes nothing.
    std::ifstream once(file, std::ios::binary);
    const std::string firstWrite((std::istreambuf_iterator<char>(once)), {});
    FUZZ_REQUIRE(quillon::WriteProfileString(file, section, key, value));
    std::ifstream twice(file, std::ios::binary);
    const std::string secondWrite((std::istreambuf_iterator<char>(twice)), {});
    FUZZ_REQUIRE(firstWrite == secondWrite);
    return 0;
}
