#include "analysis/run_table.h"

#include <algorithm>
#include <cctype>
#include <numeric>

#include "analysis/cv_analysis.h"
#include "common/text_number.h"

namespace quillon {

namespace {

struct Unit {
    const char* pattern;
    double scale;
};
constexpr Unit kPicofarads{"0.000", 1e12};
constexpr Unit kNanometres{"0.00", 1e9};
constexpr Unit kVolts{"0.000", 1};
constexpr Unit kExponent{"0.00E+00", 1};
constexpr Unit kFile{"0.00000E+00", 1};

RunListCell Cell(const Extracted& value, const Unit& unit)
{
    if (!value.value) return {kNotAvailable, std::nullopt, value.reason};
    return {FormatNumber(*value.value * unit.scale, unit.pattern), *value.value, value.doubt};
}

std::string Lower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

std::string Field(std::string value, char separator)
{
    if (separator != ',') {
        for (char& c : value)
            if (c == separator || c == '\r' || c == '\n') c = ' ';
        return value;
    }
    if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
    std::string quoted = "\"";
    for (const char c : value) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string TableValue(const Extracted& value, const Unit& unit)
{
    return value.value ? FormatNumber(*value.value * unit.scale, unit.pattern) : kNotAvailable;
}

}  // namespace

const char* RunListColumnTitle(int column)
{
    static const char* const kTitles[kRunListColumnCount] = {
        "Started",   "Sample",   "Note",        "Frequency", "Points",          "Sweep",
        "Cmax [pF]", "CET [nm]", "Nsub [cm-3]", "Vfb [V]",   "Dit [cm-2 eV-1]", "File"};
    return column >= 0 && column < kRunListColumnCount ? kTitles[column] : "";
}

RunListRow RunListRowOf(const StoredRun& run, const RunOverview& overview)
{
    RunListRow row(kRunListColumnCount);
    row[kStartedColumn] = {StartedText(run), std::nullopt, {}};
    if (row[kStartedColumn].text.empty())
        row[kStartedColumn] = {kNotAvailable, {}, "the file does not say"};
    row[kSampleColumn].text = run.sample;
    row[kNoteColumn].text = run.note;
    row[kFrequencyColumn] = {FrequencyText(run.frequencyHertz), run.frequencyHertz,
                             run.frequencyHertz ? "" : "the file does not say"};
    row[kPointsColumn] = {
        std::to_string(run.points.size()), static_cast<double>(run.points.size()), {}};
    row[kSweepColumn].text = SweepText(run);
    if (overview.cmax)
        row[kCmaxColumn] = {FormatNumber(*overview.cmax * kPicofarads.scale, kPicofarads.pattern),
                            overview.cmax,
                            {}};
    else
        row[kCmaxColumn] = {kNotAvailable, std::nullopt, "no readable point"};
    row[kCetColumn] = Cell(overview.equivalentThickness, kNanometres);
    row[kNsubColumn] = Cell(overview.doping, kExponent);
    row[kVfbColumn] = Cell(overview.flatBand, kVolts);
    row[kDitColumn] = Cell(overview.trapDensity, kExponent);
    row[kSourceColumn] = {SourceText(run), std::nullopt, run.path};
    return row;
}

std::vector<std::size_t> ListedRows(const std::vector<RunListRow>& rows, int column, bool ascending,
                                    std::string_view filter)
{
    const std::string wanted = Lower(filter);
    std::vector<std::size_t> listed;
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (wanted.empty() ||
            Lower(rows[i][kSampleColumn].text).find(wanted) != std::string::npos ||
            Lower(rows[i][kNoteColumn].text).find(wanted) != std::string::npos)
            listed.push_back(i);
    if (column < 0 || column >= kRunListColumnCount) return listed;
    const auto key = static_cast<std::size_t>(column);
    const auto has = [](const RunListCell& cell) {
        return cell.number.has_value() || (!cell.text.empty() && cell.text != kNotAvailable);
    };
    std::stable_sort(listed.begin(), listed.end(), [&](std::size_t a, std::size_t b) {
        const RunListCell& x = rows[a][key];
        const RunListCell& y = rows[b][key];
        if (has(x) != has(y)) return has(x);
        if (!has(x)) return false;
        const bool before = x.number && y.number ? *x.number < *y.number : x.text < y.text;
        const bool after = x.number && y.number ? *y.number < *x.number : y.text < x.text;
        return ascending ? before : after;
    });
    return listed;
}

std::string RunTableText(const std::vector<TabulatedRun>& runs, char separator)
{
    const char* const header[] = {"sample",          "note",         "started",  "file",
                                  "frequency [Hz]",  "Cox [F]",      "CET [nm]", "Nsub [cm-3]",
                                  "Vfb up [V]",      "Vfb down [V]", "dVfb [V]", "Vth [V]",
                                  "Dit [cm-2 eV-1]", "Rs [Ohm]"};
    std::string text;
    const auto addLine = [&](const std::vector<std::string>& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i > 0) text += separator;
            text += Field(fields[i], separator);
        }
        text += kCrLf;
    };
    addLine(std::vector<std::string>(std::begin(header), std::end(header)));
    for (const TabulatedRun& entry : runs) {
        const StoredRun& run = *entry.run;
        const RunOverview& o = *entry.overview;
        const std::string started = StartedText(run);
        addLine({run.sample, run.note, started.empty() ? kNotAvailable : started, SourceText(run),
                 run.frequencyHertz ? FormatNumber(*run.frequencyHertz, "0") : kNotAvailable,
                 TableValue(o.oxideCapacitance, kFile),
                 TableValue(o.equivalentThickness, kNanometres), TableValue(o.doping, kExponent),
                 TableValue(o.flatBandUp, kVolts), TableValue(o.flatBandDown, kVolts),
                 TableValue(o.hysteresis, kVolts), TableValue(o.threshold, kVolts),
                 TableValue(o.trapDensity, kExponent), TableValue(o.seriesResistance, {"0.0", 1})});
    }
    return text;
}

}  // namespace quillon
