#include "measure/measurement_log.h"

#include <fcntl.h>
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
    return FormatNumber(biasVolts, "0.000") + "," + replyBuffer;
}

MeasurementLog::~MeasurementLog()
{
    Close();
}

void MeasurementLog::OpenMeasurementLog(const ProgramFolder& folder, const Clock& clock)
{
    Close();
    failure_.clear();
    linesWritten_ = 0;
    const std::tm now = clock.LocalTime();
    path_ = MeasurementLogPath(folder, now);
    fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        failure_ = "cannot open " + path_ + ": " + std::strerror(errno);
        return;
    }
    WriteLine(MeasurementLogFirstLine(now));
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
    if (::close(fd_) != 0 && failure_.empty())
        failure_ = "cannot write " + path_ + ": " + std::strerror(errno);
    fd_ = -1;
}

void MeasurementLog::WriteLine(const std::string& line)
{
    if (fd_ < 0 || Failed()) return;
    const std::string bytes = line + std::string(kCrLf);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            failure_ = "cannot write " + path_ + ": " +
                       (written < 0 ? std::strerror(errno) : "nothing was written");
            return;
        }
        done += static_cast<std::size_t>(written);
    }
    ++linesWritten_;
}

}  // namespace quillon
