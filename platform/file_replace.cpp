#include "platform/file_replace.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#endif

namespace quillon {

namespace fs = std::filesystem;

fs::path FollowLinks(fs::path path)
{
    std::error_code error;
    // Past this many hops the links form a loop, and the status check after
    // this rejects the path.
    for (int hop = 0; hop < 40; ++hop) {
        if (!fs::is_symlink(fs::symlink_status(path, error))) break;
        const fs::path target = fs::read_symlink(path, error);
        if (error) break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

namespace {

std::uint64_t Mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Only has to differ between tries and between programs sharing a folder;
// creating the file exclusively deals with any name that is taken anyway.
std::string RandomSuffix()
{
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t seed =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    seed ^= Mix(counter.fetch_add(1) + reinterpret_cast<std::uintptr_t>(&counter));
#ifndef _WIN32
    seed ^= Mix(static_cast<std::uint64_t>(getpid()) << 32);
#endif
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix(6, ' ');
    std::uint64_t bits = Mix(seed);
    for (char& c : suffix) {
        c = kLetters[bits % (sizeof kLetters - 1)];
        bits /= sizeof kLetters - 1;
    }
    return suffix;
}

fs::path FolderOf(const fs::path& file)
{
    return file.has_parent_path() ? file.parent_path() : fs::path(".");
}

// The new content's name beside the target. Its length does not depend on
// the target's, so that any name the folder takes can be replaced.
fs::path TemporaryName(const fs::path& target)
{
    return FolderOf(target) / (".quillon-" + RandomSuffix() + ".tmp");
}

#ifndef _WIN32

// The new content on its way to replacing the file; removed again unless the
// rename went through.
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile()
    {
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty()) ::unlink(path_.c_str());
    }

    bool Create(const fs::path& target)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const fs::path candidate = TemporaryName(target);
            // 0666 lets the umask decide for a file that is new, the same as
            // for any other file the program creates.
            const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                fd_ = fd;
                path_ = candidate;
                return true;
            }
            if (errno != EEXIST) return false;
        }
        return false;
    }

    int fd() const { return fd_; }
    const fs::path& path() const { return path_; }

    bool Write(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
            if (written < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
        return true;
    }

    // The data has to be on the disk before the rename: otherwise a power
    // cut shortly after could leave the new name pointing at an empty file.
    bool SyncAndClose()
    {
        if (::fsync(fd_) != 0) return false;
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

    bool RenameTo(const fs::path& target)
    {
        if (std::rename(path_.c_str(), target.c_str()) != 0) return false;
        path_.clear();
        return true;
    }

private:
    int fd_ = -1;
    fs::path path_;
};

// Makes the rename itself survive a power cut; the file is complete either
// way, so a folder that cannot be synced is no failure.
void SyncFolder(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

std::optional<std::string> SystemError()
{
    return std::string(std::strerror(errno));
}

std::optional<std::string> ReplaceContent(const fs::path& target, bool exists,
                                          std::string_view bytes)
{
    struct stat existing {};
    if (exists) {
        if (::stat(target.c_str(), &existing) != 0) return SystemError();
        // The rename needs only the folder to be writable and would
        // silently replace a file its owner made read-only.
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return SystemError();
    }
    TemporaryFile temporary;
    if (!temporary.Create(target) || !temporary.Write(bytes)) return SystemError();
    if (exists) {
        // Keeps a file that an administrator saved usable by its owner.
        if ((existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) &&
            ::fchown(temporary.fd(), existing.st_uid, existing.st_gid) != 0) {
            // Without the rights to hand it back the file changes owner; the
            // content is still saved.
        }
        if (::fchmod(temporary.fd(), existing.st_mode & 07777) != 0) return SystemError();
    }
    if (!temporary.SyncAndClose() || !temporary.RenameTo(target)) return SystemError();
    SyncFolder(FolderOf(target));
    return std::nullopt;
}

#else

std::optional<std::string> ReplaceContent(const fs::path& target, bool exists,
                                          std::string_view bytes)
{
    std::error_code error;
    fs::perms permissions = fs::perms::none;
    if (exists) {
        permissions = fs::status(target, error).permissions();
        if (error) return error.message();
        // The read-only attribute shows as missing write permission; the
        // rename would ignore it.
        if ((permissions & fs::perms::owner_write) == fs::perms::none)
            return std::string("the file is read-only");
    }
    fs::path temporary;
    for (int attempt = 0; attempt < 100 && temporary.empty(); ++attempt) {
        const fs::path candidate = TemporaryName(target);
        if (!fs::exists(candidate, error) && !error) temporary = candidate;
    }
    if (temporary.empty()) return std::string("no temporary file could be created");
    std::ofstream out(temporary, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    bool replaced = !out.fail();
    if (replaced && exists) {
        fs::permissions(temporary, permissions, error);
        replaced = !error;
    }
    if (replaced) {
        fs::rename(temporary, target, error);
        replaced = !error;
    }
    if (replaced) return std::nullopt;
    const std::string reason =
        error ? error.message() : std::string("the file could not be written");
    fs::remove(temporary, error);
    return reason;
}

#endif

}  // namespace

ReplacementTarget FindReplacementTarget(const std::string& path)
{
    ReplacementTarget target;
    if (path.empty()) {
        target.refusal = "no file name";
        return target;
    }
    target.file = FollowLinks(fs::path(path));
    if (!target.file.has_filename()) {
        target.refusal = "not a file name";
        return target;
    }
    std::error_code error;
    const fs::file_type type = fs::symlink_status(target.file, error).type();
    // A path that cannot be looked at (a name too long for its folder, a
    // folder that may not be searched) has no type; the user needs the why.
    if (type == fs::file_type::none && error) {
        target.refusal = error.message();
        return target;
    }
    target.exists = type != fs::file_type::not_found;
    if (target.exists && type != fs::file_type::regular) target.refusal = "not a regular file";
    return target;
}

std::optional<std::string> ReplaceFileContent(const std::string& path, std::string_view bytes)
{
    const ReplacementTarget target = FindReplacementTarget(path);
    if (target.refusal) return target.refusal;
    return ReplaceContent(target.file, target.exists, bytes);
}

}  // namespace quillon
