// The program without a window: one measurement with the stored settings
// (--run) and the instrument query (--list), over the same run and query
// code as the main window's START and "Check". What the window would show
// goes to standard error, the summary and the listing to standard output.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "analysis/csv_data_file.h"
#include "measure/measurement_run.h"
#include "measure/meter_correction.h"
#include "platform/desktop.h"
#include "platform/environment.h"
#include "platform/stop_signals.h"

namespace quillon {

// A desktop for a terminal: each message is printed, with plain line ends;
// there is no beep, no pointer, and every question gets "No" or no name.
class StreamDesktop final : public Desktop {
public:
    explicit StreamDesktop(std::ostream& out) : out_(out) {}
    void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
    void Beep() override {}
    void SetWaitCursor(bool) override {}
    std::string AskSaveFileName(const std::string&, const std::string&) override { return {}; }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }

private:
    std::ostream& out_;
};

// "12/121 points done", and the time left where there is an estimate:
// "12/121 points done, 1:23 left".
std::string ProgressLine(int done, int planned, const std::string& timeLeft);

// A run window on a terminal: the progress as one line rewritten in place
// (`inPlace`, for a terminal) or as plain lines, and a stop signal as its
// STOP button. A signal is never cleared: one that arrived before the run
// stops it at its first point.
class CommandLineRunWindow final : public RunWindow {
public:
    CommandLineRunWindow(const MeasurementSettings& settings, const StopSignals& stopSignals,
                         std::ostream& progress, bool inPlace);

    const MeasurementSettings& Settings() const override { return settings_; }
    void SetRunning(bool) override {}
    void SetProgressValue(int) override {}
    // Reads the window's "Progress d/N": point d is being measured. The
    // line is printed once the run has given the time left with it.
    void SetProgressCaption(const std::string& caption) override;
    void SetTimeLeft(const std::string& text) override;
    void SetStatusCaptions(const std::array<std::string, kStatusCaptionCount>&) override {}
    void YieldOnce() override {}
    bool StopRequested() const override { return stopSignals_.Received() != 0; }
    void ClearStopRequest() override {}

    // The last progress line, with the points the run read, and the line end
    // a line rewritten in place still lacks. Nothing when no point was tried.
    void EndProgress(int pointsRead);

private:
    void PrintProgress(int done, const std::string& timeLeft);

    const MeasurementSettings& settings_;
    const StopSignals& stopSignals_;
    std::ostream& progress_;
    bool inPlace_;
    int planned_ = 0;
    int done_ = 0;
};

// The exit status of --run after RunMeasurement ended so.
// `settingsRefused`: the settings alone refuse the run, so a refusal did
// not come from the meter.
int RunExitStatus(RunEnding ending, bool settingsRefused);

// The reason a --save FILE could not be written, told before the run: its
// folder is missing or cannot be written, or the name is one the save would
// refuse (a folder, a pipe, a device, a name too long, a file it may not write).
std::optional<std::string> UnwritableSaveFile(const std::string& path);

// Writes the run's points to the --save file: the CSV data file with the
// run's settings, or the table of "Save Data" for a name ending in ".txt".
// The failure's message if any.
std::optional<std::string> SaveRunForCommandLine(const std::string& path,
                                                 const CsvRunContext& context,
                                                 const SweepData& sweep);

struct CommandLineRunRequest {
    std::optional<std::string> saveFile;
    std::string busDescription;  // for the CSV file: "simulated", the library, the adapter
    // --sample and --note; without them the Runs window's, as the settings
    // file keeps them.
    std::optional<std::string> sample;
    std::optional<std::string> note;
};

struct CommandLineStreams {
    std::ostream& out;  // the summary, the listing
    std::ostream& err;  // progress and messages
    bool errIsTerminal = false;
};

// quillon --run: one run with `settings` in `environment`, whose desktop
// prints the run's messages. Returns the exit status.
int RunFromCommandLine(const Environment& environment, const MeasurementSettings& settings,
                       const CommandLineRunRequest& request, const StopSignals& stopSignals,
                       const CommandLineStreams& streams);

// quillon --correct open|short: the Correction window's step without a
// window, for a station whose script has moved the probes: the prompt and
// the time waited on `err`, the meter's state read back on `out`, the time
// of a standard measured into the settings file. A stop signal cancels.
// Returns the exit status.
int CorrectFromCommandLine(const Environment& environment, const MeasurementSettings& settings,
                           CorrectionStandard standard, CorrectionSpan span,
                           const ProbeMover& probeMover, const StopSignals& stopSignals,
                           const CommandLineStreams& streams);

// quillon --list: the "Check" query on board 0, each listener's address and
// identification on a line of `out`. Returns kExitFinished when a 4284A
// answered, kExitRefused otherwise.
int ListFromCommandLine(Desktop& desktop, std::ostream& out);

}  // namespace quillon
