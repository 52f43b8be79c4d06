#include "app/command_line_run.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "analysis/cv_analysis.h"
#include "analysis/result_table.h"
#include "app/command_line.h"
#include "app/correction_settings.h"
#include "app/results_settings.h"
#include "gpib/instrument_query.h"
#include "platform/file_replace.h"

namespace quillon {

namespace {

// A terminal takes a bare CR as "back to the start of the line", so the
// texts' CR LF, and the lone CRs some of them hold, become LF.
std::string PlainLines(std::string text)
{
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r')
            plain += text[i];
        else if (i + 1 == text.size() || text[i + 1] != '\n')
            plain += '\n';
    }
    return plain;
}

// The query's listing without a window: only the listeners' lines count.
class ListingView final : public QueryView {
public:
    explicit ListingView(std::ostream& out) : out_(out) {}
    void AddReading(const std::string&) override {}
    void RefreshReadings() override {}
    int ReadingCount() const override { return 0; }
    void RemoveFirstReading() override {}
    void EnableQuit(bool) override {}
    void SetMeterAddress(const std::string&) override { meterFound = true; }
    void AddListener(int address, const std::string& identification) override
    {
        out_ << address << '\t' << identification << '\n';
    }

    bool meterFound = false;

private:
    std::ostream& out_;
};

}  // namespace

void StreamDesktop::ShowMessage(const std::string& text, const std::string& title, MessageIcon)
{
    out_ << (title.empty() ? "" : title + ": ") << PlainLines(text) << '\n' << std::flush;
}

std::string ProgressLine(int done, int planned, const std::string& timeLeft)
{
    std::string line = std::to_string(done) + "/" + std::to_string(planned) + " points done";
    if (!timeLeft.empty()) line += ", " + timeLeft;
    return line;
}

CommandLineRunWindow::CommandLineRunWindow(const MeasurementSettings& settings,
                                           const StopSignals& stopSignals, std::ostream& progress,
                                           bool inPlace)
    : settings_(settings), stopSignals_(stopSignals), progress_(progress), inPlace_(inPlace)
{
}

void CommandLineRunWindow::SetProgressCaption(const std::string& caption)
{
    int measuring = 0;
    int planned = 0;
    if (std::sscanf(caption.c_str(), "Progress %d/%d", &measuring, &planned) != 2) return;
    planned_ = planned;
    done_ = measuring - 1;
}

void CommandLineRunWindow::SetTimeLeft(const std::string& text)
{
    if (planned_ > 0) PrintProgress(done_, text);
}

void CommandLineRunWindow::EndProgress(int pointsRead)
{
    if (planned_ == 0) return;
    PrintProgress(pointsRead, {});
    if (inPlace_) progress_ << '\n' << std::flush;
}

void CommandLineRunWindow::PrintProgress(int done, const std::string& timeLeft)
{
    if (inPlace_)
        progress_ << '\r' << ProgressLine(done, planned_, timeLeft) << "\x1b[K" << std::flush;
    else
        progress_ << ProgressLine(done, planned_, timeLeft) << '\n' << std::flush;
}

int RunExitStatus(RunEnding ending, bool settingsRefused)
{
    switch (ending) {
        case RunEnding::Refused:
            return settingsRefused ? kExitRefused : kExitMeterNotOpened;
        case RunEnding::NoCycles:
            return kExitRefused;
        case RunEnding::Completed:
            return kExitFinished;
        case RunEnding::Stopped:
            return kExitStopped;
        case RunEnding::Unbalanced:
        case RunEnding::TimedOut:
        case RunEnding::BusFailure:
            return kExitRunFault;
    }
    return kExitRunFault;
}

std::optional<std::string> UnwritableSaveFile(const std::string& path)
{
    const auto refused = [&path](const std::string& reason) {
        return "The data cannot be saved to " + path + ": " + reason +
               ".\nThe measurement was not started.";
    };
    // What the save itself would refuse after the run, refused now: a
    // folder, a pipe or a device of that name, a name too long for it.
    const ReplacementTarget target = FindReplacementTarget(path);
    if (target.refusal) return refused(*target.refusal);
    std::filesystem::path folder = target.file.parent_path();
    if (folder.empty()) folder = ".";
    if (::access(folder.c_str(), W_OK) != 0) return refused(std::strerror(errno));
    if (target.exists && ::access(target.file.c_str(), W_OK) != 0)
        return refused(std::strerror(errno));
    return std::nullopt;
}

std::optional<std::string> SaveRunForCommandLine(const std::string& path,
                                                 const CsvRunContext& context,
                                                 const SweepData& sweep)
{
    // A name that already ends in ".txt" asks for the table file.
    if (DataFileName(path) == path) return SaveDataFile(path, sweep);
    return SaveCsvDataFile(path, context, sweep);
}

int RunFromCommandLine(const Environment& environment, const MeasurementSettings& settings,
                       const CommandLineRunRequest& request, const StopSignals& stopSignals,
                       const CommandLineStreams& streams)
{
    const std::optional<std::string>& saveFile = request.saveFile;
    CsvRunContext context;
    context.started = environment.clock.LocalTime();
    context.settings = CopySettings(settings);
    context.bus = request.busDescription;
    const RunLabels stored = ReadRunLabels(environment.programFolder);
    context.sample = request.sample.value_or(stored.sample);
    context.note = request.note.value_or(stored.note);
    if (saveFile) {
        if (std::optional<std::string> problem = UnwritableSaveFile(*saveFile)) {
            environment.desktop.ShowMessage(*problem);
            return kExitRefused;
        }
    }
    if (stopSignals.Received()) return kExitStopped;

    CommandLineRunWindow window(settings, stopSignals, streams.err, streams.errIsTerminal);
    SweepData sweep;
    AnalysisResults analysis;
    std::optional<RunSummary> summary;
    const EndOfRunPass endOfRun = [&](SweepData& data, const RunTimes& times) {
        summary = SummarizeRun(data, times, settings.Text1(kPadArea), 0, analysis);
    };
    const RunResult result = RunMeasurement(window, sweep, environment, endOfRun);
    window.EndProgress(sweep.PointCount);
    const bool settingsRefused = !std::holds_alternative<RunPlan>(PrepareRun(settings));
    int status = RunExitStatus(result.ending, settingsRefused);
    if (result.ending == RunEnding::NoCycles)
        environment.desktop.ShowMessage("Cycle of Meas. is 0: there is nothing to measure.");

    if (summary && summary->information)
        streams.out << PlainLines(*summary->information) << '\n' << std::flush;
    else if (summary)
        streams.out << "No summary: it takes two points or more with a capacitance above 0.\n"
                    << std::flush;

    context.elapsedMilliseconds = ElapsedMilliseconds(result.times);
    if (summary) context.summary = summary->figures;
    // As after START: every run that read a point is kept.
    if (result.pointsRead > 0)
        if (const KeptRun kept = KeepFinishedRun(environment.programFolder, context, sweep);
            kept.failure)
            environment.desktop.ShowMessage(*kept.failure);
    if (saveFile && sweep.ReadablePoints() > 0) {
        if (std::optional<std::string> failure = SaveRunForCommandLine(*saveFile, context, sweep)) {
            environment.desktop.ShowMessage(*failure);
            status = kExitNotSaved;
        }
    } else if (saveFile && status != kExitRefused && status != kExitMeterNotOpened) {
        environment.desktop.ShowMessage("No point was read: nothing was saved to " + *saveFile +
                                        ".");
    }
    return status;
}

int ListFromCommandLine(Desktop& desktop, std::ostream& out)
{
    ListingView view(out);
    ClearAndRunQuery(view, desktop, false);
    out << std::flush;
    return view.meterFound ? kExitFinished : kExitRefused;
}

int CorrectFromCommandLine(const Environment& environment, const MeasurementSettings& settings,
                           CorrectionStandard standard, CorrectionSpan span,
                           const ProbeMover& probeMover, const StopSignals& stopSignals,
                           const CommandLineStreams& streams)
{
    const SettingOr<InstrumentSettings> instrument = ReadInstrumentSettings(settings);
    if (const auto* bad = std::get_if<SettingOutOfRange>(&instrument)) {
        streams.err << "quillon: " << OutOfRangeText(*bad) << "\n";
        return kExitRefused;
    }
    const auto& target = std::get<InstrumentSettings>(instrument);
    const char* name = StandardName(standard);
    streams.err << PromptFor(standard) << ": measuring the " << name
                << (span == CorrectionSpan::Spot
                        ? " at " + std::to_string(target.frequencyHertz) + " Hz"
                        : std::string(" at the meter's preset frequencies"))
                << "\n";
    uint32_t shown = 0;
    const CorrectionOutcome outcome = MeasureAndKeepTime(
        environment.programFolder, environment.clock, {target.board, target.address}, standard,
        span, target.frequencyHertz, probeMover, [&](uint32_t elapsed) {
            // A line every 10 s: a log of the script stays short.
            if (elapsed / 10000 > shown / 10000)
                streams.err << name << ": " << elapsed / 1000 << " s\n";
            shown = elapsed;
            return stopSignals.Received() == 0;
        });
    if (outcome.failure) streams.err << "quillon: " << *outcome.failure << "\n";
    if (outcome.meterState)
        streams.out << CorrectionStateText(
                           WithCorrectionTimes(*outcome.meterState, environment.programFolder))
                    << "\n";
    if (outcome.done) return kExitFinished;
    if (!outcome.opened) return kExitMeterNotOpened;
    if (outcome.cancelled) return kExitStopped;
    return kExitRunFault;
}

}  // namespace quillon
