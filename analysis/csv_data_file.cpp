#include "analysis/csv_data_file.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "analysis/result_table.h"
#include "analysis/sweep_legs.h"
#include "common/date_text.h"
#include "common/text_number.h"
#include "platform/file_replace.h"

namespace quillon {

namespace {

constexpr const char* kValuePattern = "0.00000E+00";
// More runs a second than this into one folder is not a lab's pace.
constexpr int kMostSameSecondNames = 100;
constexpr std::size_t kMostSampleNameBytes = 60;

// A value on one comment line: no line breaks, no blanks around it.
std::string OneLine(std::string value)
{
    for (char& c : value)
        if (c == '\r' || c == '\n') c = ' ';
    return std::string(Trimmed(value));
}

std::string YesNo(int check)
{
    return check == 1 ? "yes" : "no";
}

std::string IntegrationName(const std::optional<int>& option)
{
    static const char* const kNames[] = {"SHORT", "MEDIUM", "LONG"};
    if (!option || *option < 0 || *option > 2) return "not selected";
    return kNames[*option];
}

class CommentLines {
public:
    void Add(const std::string& key, const std::string& value)
    {
        text_ += "# " + key + ": " + OneLine(value);
        text_ += kCrLf;
    }
    void AddTyped(const std::string& key, const MeasurementSettingsValues& settings,
                  TextField field)
    {
        Add(key, settings.Text1(field));
    }
    std::string Take() { return std::move(text_); }

private:
    std::string text_;
};

void AddSettings(CommentLines& lines, const MeasurementSettingsValues& settings, bool sweepInputs)
{
    if (sweepInputs) {
        lines.AddTyped("start bias [V]", settings, kStartBias);
        lines.AddTyped("stop bias [V]", settings, kStopBias);
        lines.AddTyped("bias step [V]", settings, kBiasStep);
        lines.Add("double sweep", YesNo(settings.Check1(kDoubleSweep)));
        lines.AddTyped("cycles", settings, kCycles);
    }
    lines.Add("invert bias", YesNo(settings.Check1(kInvertBias)));
    lines.Add("quit when unbalanced", YesNo(settings.Check1(kQuitWhenUnbal)));
    if (sweepInputs) lines.AddTyped("frequency [Hz]", settings, kFrequency);
    lines.AddTyped("AC level [mV]", settings, kAcLevel);
    lines.AddTyped("trigger delay [s]", settings, kTriggerDelay);
    lines.AddTyped("averaging", settings, kAveraging);
    lines.Add("integration", IntegrationName(settings.SelectedOption2()));
    lines.AddTyped("pad area [um2]", settings, kPadArea);
    lines.AddTyped("GPIB board", settings, kGpibBoard);
    lines.AddTyped("4284A address", settings, kInstrumentAddress);
}

void AddSummary(CommentLines& lines, const SummaryFigures& summary)
{
    lines.Add("rate", RateText(summary.pointCount, summary.elapsedMilliseconds));
    lines.Add("Cmax [F]", FormatNumber(summary.cmax, kValuePattern));
    lines.Add("Cmin [F]", FormatNumber(summary.cmin, kValuePattern));
    lines.Add("Gmax [S]", FormatNumber(summary.gmax, kValuePattern));
    lines.Add("CET", CetText(summary.cet));
    lines.Add("Nsub [cm-3]", DopingText(summary.doping));
    lines.Add("CFB / Cmax", CfbRatioText(summary.cfbRatio));
}

}  // namespace

std::string CsvComment(const std::string& key, const std::string& value)
{
    CommentLines line;
    line.Add(key, value);
    return line.Take();
}

std::string CsvOpeningComments(const std::string& kind, const CsvRunContext& context,
                               const std::string& insertedAfterNote, bool sweepInputs)
{
    CommentLines lines;
    lines.Add("quillon", kind);
    lines.Add("started", FormatDate(context.started, "yyyy-mm-dd hh:nn:ss"));
    lines.Add("sample", context.sample);
    lines.Add("note", context.note);
    std::string text = lines.Take() + insertedAfterNote;
    AddSettings(lines, context.settings, sweepInputs);
    lines.Add("meter",
              context.meterIdentification.empty() ? "not read" : context.meterIdentification);
    lines.Add("bus", context.bus.empty() ? "not known" : context.bus);
    lines.Add("program", "quillon " + context.programVersion);
    lines.Add("correction", CorrectionStateText(context.correction));
    return text + lines.Take();
}

std::string CsvDataFileText(const CsvRunContext& context, const SweepData& sweep)
{
    const int points = sweep.ReadablePoints();
    CommentLines lines;
    lines.Add("points", std::to_string(points));
    lines.Add("duration [s]", FormatNumber(context.elapsedMilliseconds / 1000.0, "0.000"));
    if (context.summary) AddSummary(lines, *context.summary);
    lines.Add("columns",
              "V bias [V] as typed, C parallel capacitance Cp [F], G conductance [S], "
              "sweep up or down as the bias went, cycle from 1");
    const std::vector<SweepLeg> legs =
        context.legs ? *context.legs : PlannedLegs(context.settings, points);

    std::string text = CsvOpeningComments("C-V and G-V measurement", context, {}, true);
    text += lines.Take();
    // About 40 characters a row: one allocation for the rows.
    text.reserve(text.size() + 24 + 48 * static_cast<std::size_t>(points));
    text += kCsvHeader;
    text += kCrLf;
    for (int i = 1; i <= points; ++i) {
        text += ResultRow(sweep, i, ',');
        // Without a plan that the points fit, the two fields stay empty
        // rather than guess.
        if (legs.size() < static_cast<std::size_t>(points)) {
            text += ",,";
        } else {
            const SweepLeg& leg = legs[static_cast<std::size_t>(i - 1)];
            text += ',';
            text += SweepDirectionName(leg.direction);
            text += ',';
            text += std::to_string(leg.cycle);
        }
        text += kCrLf;
    }
    return text;
}

std::optional<std::string> SaveCsvDataFile(const std::string& path, const CsvRunContext& context,
                                           const SweepData& sweep)
{
    return SaveTextFile(path, CsvDataFileText(context, sweep), "data");
}

std::string FileNameOfSample(const std::string& sample)
{
    std::string name;
    for (const char c : Trimmed(sample)) {
        const auto byte = static_cast<unsigned char>(c);
        const bool reserved = byte < 0x20 || byte == 0x7f ||
                              std::string_view("/\\:*?\"<>| ").find(c) != std::string_view::npos;
        if (name.empty() && (c == '.' || reserved)) continue;
        name += reserved ? '_' : c;
    }
    if (name.size() > kMostSampleNameBytes) {
        std::size_t cut = kMostSampleNameBytes;
        // Back to the first byte of a UTF-8 character.
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    return name;
}

std::string RunFileStem(const std::tm& started, const std::string& sample)
{
    const std::string name = FileNameOfSample(sample);
    return "cv-" + (name.empty() ? std::string() : name + "-") +
           FormatDate(started, "yyyymmdd-hhnnss");
}

std::string AutoSaveFileName(const std::tm& started, const std::string& sample)
{
    return RunFileStem(started, sample) + kCsvExtension;
}

AutoSaveResult AutoSaveRun(const std::string& folder, const CsvRunContext& context,
                           std::string_view fileText)
{
    return AutoSaveFile(folder, RunFileStem(context.started, context.sample), fileText);
}

AutoSaveResult AutoSaveFile(const std::string& folder, const std::string& stem,
                            std::string_view fileText)
{
    namespace fs = std::filesystem;
    fs::path path = fs::path(folder) / (stem + kCsvExtension);
    std::error_code unknown;
    for (int n = 2; n <= kMostSameSecondNames && fs::exists(path, unknown); ++n)
        path = fs::path(folder) / (stem + "-" + std::to_string(n) + kCsvExtension);
    if (fs::exists(path, unknown))
        return {path.string(),
                "The data could not be saved to " + path.string() + ": the file is there already."};
    return {path.string(), SaveTextFile(path.string(), fileText, "data")};
}

}  // namespace quillon
