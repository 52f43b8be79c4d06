#include "analysis/analysis_report.h"

#include <variant>

#include "analysis/cv_analysis.h"
#include "common/text_number.h"

namespace quillon {

namespace {

constexpr const char* kCurvePattern = "0.00000E+00";

struct Quantity {
    const char* pattern;
    double scale;
    const char* unit;
};
constexpr Quantity kOhms{"0.0", 1, "Ohm"};
constexpr Quantity kPicofarads{"0.000", 1e12, "pF"};
constexpr Quantity kNanometres{"0.00", 1e9, "nm"};
constexpr Quantity kVolts{"0.000", 1, "V"};
constexpr Quantity kPerCubicCm{"0.00E+00", 1, "cm-3"};
constexpr Quantity kPerSquareCmElectronVolt{"0.00E+00", 1, "cm-2 eV-1"};

// The note says where the value comes from, why it has none, or, before
// anything else, why it may be wrong.
ParameterRow Row(const char* name, const Extracted& extracted, const Quantity& quantity,
                 std::string noteWithValue = {})
{
    if (!extracted.value) return {name, kNotAvailable, quantity.unit, extracted.reason};
    const std::string value = FormatNumber(*extracted.value * quantity.scale, quantity.pattern);
    if (!extracted.doubt.empty()) return {name, value, quantity.unit, extracted.doubt, true};
    return {name, value, quantity.unit, std::move(noteWithValue)};
}

void AddLine(std::string& text, const std::string& line)
{
    text += line;
    text += kCrLf;
}

}  // namespace

RunForAnalysis CaptureRun(const SweepData& sweep, const MeasurementSettings& settings,
                          std::optional<std::tm> started)
{
    RunForAnalysis run;
    run.started = started;
    for (int i = 1; i <= sweep.ReadablePoints(); ++i) {
        const auto index = static_cast<std::size_t>(i);
        run.points.push_back(
            {sweep.Bias[index], sweep.Capacitance[index], sweep.Conductance[index]});
    }
    for (int i = 0; i < kTextFieldCount; ++i)
        run.settings.text[static_cast<std::size_t>(i)] = settings.Text1(i);
    for (int i = 0; i < kCheckFieldCount; ++i)
        run.settings.check[static_cast<std::size_t>(i)] = settings.Check1(i);
    run.settings.option = settings.SelectedOption2();
    return run;
}

ExtractionInput InputOfRun(const RunForAnalysis& run, bool correctSeriesResistance)
{
    ExtractionInput input;
    input.points = run.points;
    const SettingOr<InstrumentSettings> instrument = ReadInstrumentSettings(run.settings);
    if (const auto* read = std::get_if<InstrumentSettings>(&instrument))
        input.frequencyHertz = read->frequencyHertz;
    else
        input.frequencyHertz = 0;
    if (!run.frequencyKnown) input.frequencyHertz.reset();
    if (run.padAreaKnown) input.padAreaSquareMicrons = NumberOfText(run.settings.Text1(kPadArea));
    input.correctSeriesResistance = correctSeriesResistance;
    return input;
}

std::vector<ParameterRow> ParameterRows(const Extraction& e, bool correctSeriesResistance)
{
    std::vector<ParameterRow> rows;
    const char* substrate = !e.substrate                       ? kNotAvailable
                            : *e.substrate == SubstrateType::P ? "p-type"
                                                               : "n-type";
    rows.push_back({"Substrate", substrate, "",
                    e.substrate ? "C falls towards inversion" : e.substrateReason});
    rows.push_back(Row("Series resistance Rs", e.seriesResistance, kOhms,
                       correctSeriesResistance ? "used to correct the curve"
                                               : "not applied: \"Correct for Rs\" is off"));
    rows.push_back(
        Row("Oxide capacitance Cox", e.oxideCapacitance, kPicofarads, "largest C in accumulation"));
    rows.push_back(Row("Equivalent thickness CET", e.equivalentThickness, kNanometres,
                       "from Cox, SiO2 permittivity"));
    rows.push_back(Row("Doping (Cmax, Cmin)", e.depletionDoping, kPerCubicCm,
                       "maximum depletion, as in INFO"));
    rows.push_back(Row("Flat-band capacitance CFB", e.flatBandCapacitance, kPicofarads));
    rows.push_back(Row("Flat-band voltage Vfb, up sweep", e.flatBandUp, kVolts));
    rows.push_back(Row("Flat-band voltage Vfb, down sweep", e.flatBandDown, kVolts));
    rows.push_back(Row("Hysteresis dVfb", e.hysteresis, kVolts, "Vfb(down) - Vfb(up)"));
    rows.push_back(Row("Threshold voltage Vth", e.threshold, kVolts, "from the first sweep"));
    rows.push_back(Row("Interface-trap density Dit", e.trapDensity, kPerSquareCmElectronVolt,
                       "conductance method, Hill-Coleman"));
    rows.push_back(Row("Conductance peak at", e.trapPeakBias, kVolts));
    rows.push_back(Row("Mean doping of the profile", e.meanProfileDoping, kPerCubicCm,
                       std::to_string(e.profile.size()) + " depths"));
    return rows;
}

std::string ParameterTableText(const std::vector<ParameterRow>& rows)
{
    std::string text;
    AddLine(text, "Parameter\tValue\tUnit\tNote");
    for (const ParameterRow& row : rows)
        AddLine(text, row.name + '\t' + row.value + '\t' + row.unit + '\t' + row.note);
    return text;
}

std::string ReportText(const RunForAnalysis& run, const Extraction& extraction,
                       bool correctSeriesResistance)
{
    std::string text;
    AddLine(text, "Analysis of the last run");
    AddLine(text, "");
    AddLine(text, "[run]");
    AddLine(text, "Points\t" + std::to_string(run.points.size()));
    const std::pair<const char*, TextField> fields[] = {
        {"Start Bias [V]", kStartBias},   {"Stop Bias [V]", kStopBias},
        {"Bias Step [V]", kBiasStep},     {"Frequency [Hz]", kFrequency},
        {"Averaging(1-255)", kAveraging}, {"Trigger Delay [s]", kTriggerDelay},
        {"AC level [mV]", kAcLevel},      {"Pad Area (um2)", kPadArea},
        {"Cycle of Meas.", kCycles},
    };
    for (const auto& [label, field] : fields)
        AddLine(text, std::string(label) + '\t' + run.settings.Text1(field));
    const char* integrations[] = {"Short", "Medium", "LONG"};
    const std::optional<int> option = run.settings.SelectedOption2();
    AddLine(text, std::string("AD Integration\t") +
                      (option && *option >= 0 && *option < 3 ? integrations[*option] : ""));
    AddLine(text, "Double sweep\t" + std::to_string(run.settings.Check1(kDoubleSweep)));
    AddLine(text, "invert bias\t" + std::to_string(run.settings.Check1(kInvertBias)));
    AddLine(text, "Correct for Rs\t" + std::to_string(correctSeriesResistance ? 1 : 0));
    AddLine(text, "Meter correction\t" + CorrectionStateText(run.correction));
    AddLine(text, "");

    AddLine(text, "[parameters]");
    text += ParameterTableText(ParameterRows(extraction, correctSeriesResistance));
    for (const std::string& note : extraction.notes) AddLine(text, "Note\t" + note);
    AddLine(text, "");

    AddLine(text, extraction.curveCorrected ? "[curve corrected for Rs]" : "[curve as measured]");
    AddLine(text, "V[V]\tC[F]\tG[S]");
    for (const CurvePoint& point : extraction.curve)
        AddLine(text, FormatNumber(point.bias, "0.000") + '\t' +
                          FormatNumber(point.capacitance, kCurvePattern) + '\t' +
                          (point.conductance ? FormatNumber(*point.conductance, kCurvePattern)
                                             : std::string(kNotAvailable)));
    return text;
}

}  // namespace quillon
