// The monthly record of every run beside the program: when it started, then
// the bias and the meter's raw reply of every point, one line each.
#pragma once

#include <ctime>
#include <string>

#include "platform/clock.h"
#include "platform/program_folder.h"

namespace quillon {

// "log-202403.log" in the program's folder for a run in March 2024.
std::string MeasurementLogPath(const ProgramFolder& folder, const std::tm& when);

// "Measurement:20240305 14:07:09".
std::string MeasurementLogFirstLine(const std::tm& when);

// The bias as sent to the meter with three decimals, a comma, and the
// 25-character reply as it stands: "-1.500,+1.23456E-10,+4.56789E-07".
// A CR or LF inside the reply ends the field there, so that a point is
// always one line.
std::string MeasurementLogPointLine(double biasVolts, const std::string& replyBuffer);

// One run's record, appended line by line. Every line is handed to the
// operating system as soon as it is written, so a crash mid-run loses at
// most the point being measured. A log that cannot be opened or written
// never stops the run: it only remembers why it failed, and from the first
// failure on it writes nothing more. A line that could be written only in
// part (a full disk) is cut off again, so that the file always ends on a
// whole line. While a record is open its file is locked: a second run on
// the same folder (another Quillon, or `quillon --run` beside the window)
// finds the lock, and measures without a log, as for one it cannot write.
class MeasurementLog {
public:
    MeasurementLog() = default;
    ~MeasurementLog();
    MeasurementLog(const MeasurementLog&) = delete;
    MeasurementLog& operator=(const MeasurementLog&) = delete;

    // Builds the month's file name and opens it for appending (creating it);
    // the month is taken now. Apart from StartRecord, so that a run can learn
    // that it has no log before it sends anything to the meter, and leave no
    // record when the meter cannot be opened. Anything but a regular file (a
    // FIFO, a device) is refused without waiting on it.
    void Open(const ProgramFolder& folder, const Clock& clock);
    // The first line; it starts on a line of its own even where an earlier
    // record was cut short.
    void StartRecord();
    void LogPointLine(double biasVolts, const std::string& replyBuffer);
    // The empty line that ends a record, then closing.
    void CloseMeasurementLog();
    // Closing without the empty line, after a run that ended on a bus fault.
    void Close();

    const std::string& Path() const { return path_; }
    bool Failed() const { return !failure_.empty(); }
    // Why the log is incomplete: "cannot open ...: Permission denied".
    const std::string& Failure() const { return failure_; }
    // Lines written so far in this record.
    int LinesWritten() const { return linesWritten_; }

private:
    void WriteLine(const std::string& line);
    bool EndsOnLineStart() const;

    int fd_ = -1;
    std::string path_;
    std::tm openedAt_{};
    bool createdEmpty_ = false;
    std::string failure_;
    int linesWritten_ = 0;
};

}  // namespace quillon
