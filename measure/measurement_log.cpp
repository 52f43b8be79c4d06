#include "measure/measurement_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/date_text.h"
#include "common/text_number.h"

namespace quillon {

std::string MeasurementLogPath(const ProgramFolder& folder, const std::tm& when)
{
    return folder.Path() + "/log-" + FormatDate(when, "yyyymm") + ".log";
}

std::string MeasurementLogFirstLine(const std::tm& when)
{
    return "Measurement:" + FormatDate(when, "yyyymmdd hh:mm:ss");
}

std::string MeasurementLogPointLine(double biasVolts, const std::string& replyBuffer)
{
    const std::size_t lineBreak = replyBuffer.find_first_of("\r\n");
    return FormatNumber(biasVolts, "0.000") + "," + replyBuffer.substr(0, lineBreak);
}

MeasurementLog::~MeasurementLog()
{
    Close();
}

void MeasurementLog::Open(const ProgramFolder& folder, const Clock& clock)
{
    Close();
    failure_.clear();
    linesWritten_ = 0;
    openedAt_ = clock.LocalTime();
    path_ = MeasurementLogPath(folder, openedAt_);
    // Without O_NONBLOCK, opening a FIFO waits for a reader for ever; with
    // it, a FIFO without one gives ENXIO. Reading serves only to find out
    // whether the last record ended on a whole line.
    const auto open = [this](int create) {
        const int flags = O_APPEND | O_CLOEXEC | O_NONBLOCK | create;
        fd_ = ::open(path_.c_str(), O_RDWR | flags, 0666);
        if (fd_ < 0 && errno == EACCES) fd_ = ::open(path_.c_str(), O_WRONLY | flags, 0666);
    };
    // A file removed between our open and our lock (a record that never
    // started is taken away again) would swallow this run's record: the
    // lock must be on the file the name still stands for.
    for (int attempt = 0; attempt < 3; ++attempt) {
        open(0);
        createdEmpty_ = false;
        if (fd_ < 0 && errno == ENOENT) {
            open(O_CREAT | O_EXCL);
            // Another run made the month's file just now: open that one.
            if (fd_ < 0 && errno == EEXIST) continue;
            createdEmpty_ = fd_ >= 0;
        }
        struct stat status {};
        if (fd_ < 0 && errno != ENXIO) {
            failure_ = "cannot open " + path_ + ": " + std::strerror(errno);
            return;
        }
        if (fd_ < 0 || ::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode)) {
            failure_ = "cannot open " + path_ + ": not a regular file";
            Close();
            return;
        }
        // One run at a time keeps its record in the month's file: a second
        // program on the same folder would put its lines between ours. The
        // lock goes with the descriptor, so a killed program leaves none.
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            failure_ =
                path_ + " is held by another measurement run (another Quillon on this folder)";
            createdEmpty_ = false;
            Close();
            return;
        }
        struct stat named {};
        if (::stat(path_.c_str(), &named) == 0 && named.st_dev == status.st_dev &&
            named.st_ino == status.st_ino) {
            ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
            return;
        }
        createdEmpty_ = false;
        Close();
    }
    failure_ = "cannot open " + path_ + ": it was removed and made anew while being opened";
}

void MeasurementLog::StartRecord()
{
    const std::string firstLine = MeasurementLogFirstLine(openedAt_);
    WriteLine(EndsOnLineStart() ? firstLine : std::string(kCrLf) + firstLine);
}

bool MeasurementLog::EndsOnLineStart() const
{
    if (fd_ < 0) return true;
    const off_t size = ::lseek(fd_, 0, SEEK_END);
    char last = '\n';
    return size <= 0 || ::pread(fd_, &last, 1, size - 1) != 1 || last == '\n';
}

void MeasurementLog::LogPointLine(double biasVolts, const std::string& replyBuffer)
{
    WriteLine(MeasurementLogPointLine(biasVolts, replyBuffer));
}

void MeasurementLog::CloseMeasurementLog()
{
    WriteLine("");
    Close();
}

void MeasurementLog::Close()
{
    if (fd_ < 0) return;
    // A month's file made for a record that never started (the meter could
    // not be opened) would only be an empty log.
    if (createdEmpty_ && linesWritten_ == 0) ::unlink(path_.c_str());
    if (::close(fd_) != 0 && failure_.empty())
        failure_ = "cannot write " + path_ + ": " + std::strerror(errno);
    fd_ = -1;
}

void MeasurementLog::WriteLine(const std::string& line)
{
    if (fd_ < 0 || Failed()) return;
    const std::string bytes = line + std::string(kCrLf);
    const off_t lineStart = ::lseek(fd_, 0, SEEK_END);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            failure_ = "cannot write " + path_ + ": " +
                       (written < 0 ? std::strerror(errno) : "nothing was written");
            // A half line would glue the next record onto it.
            if (done > 0 && lineStart >= 0 && ::ftruncate(fd_, lineStart) != 0) {
                // The next record then starts with a line end of its own.
            }
            return;
        }
        done += static_cast<std::size_t>(written);
    }
    ++linesWritten_;
}

}  // namespace quillon
