#include "analysis/cv_analysis.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "common/physical_constants.h"
#include "common/text_number.h"

namespace quillon {

namespace {

constexpr double kThicknessConstant = 34.25276;
constexpr double kThicknessScale = 1e-24;
constexpr double kSquareMicronsPerSquareCentimetre = 1e8;
constexpr double kDopingStart = 1e20;
constexpr int kDopingIterations = 10;
constexpr double kMaximumDepletionConstant = 6.18735e29;
constexpr double kPerCubicCentimetreToPerCubicMetre = 1e6;
constexpr double kDebyeNumerator = 3510;
constexpr double kDebyeScale = 69.01;

// A plain cast of a double beyond the range of a float is not defined by the
// language; the analysis wants the overflow to show as infinity.
float ToSingle(double value)
{
    if (std::isfinite(value) && std::fabs(value) > static_cast<double>(FLT_MAX))
        return value > 0 ? std::numeric_limits<float>::infinity()
                         : -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

std::string RangedText(double value, const char* pattern, const char* milli, const char* micro,
                       const char* nano, const char* pico)
{
    std::string text;
    if (!std::isfinite(value))
        text = kNotAvailable;
    else if (value >= 1e-3)
        text = FormatNumber(value * 1e3, pattern) + milli;
    else if (value >= 1e-6)
        text = FormatNumber(value * 1e6, pattern) + micro;
    else if (value >= 1e-9)
        text = FormatNumber(value * 1e9, pattern) + nano;
    else
        text = FormatNumber(value * 1e12, pattern) + pico;
    return FixedWidth(text, kValueTextWidth);
}

}  // namespace

float CapacitanceEquivalentThickness(double padAreaSquareMicrons, double cmax)
{
    return ToSingle(padAreaSquareMicrons * kThicknessConstant / cmax * kThicknessScale);
}

double DopingFactor(double largest, double smallest, float padAreaSquareMicrons)
{
    const float areaSquareCentimetres =
        ToSingle(padAreaSquareMicrons / kSquareMicronsPerSquareCentimetre);
    const double depletionCapacitance = 1 / (1 / largest - 1 / smallest);
    const double perArea = depletionCapacitance / areaSquareCentimetres;
    return perArea * perArea * kMaximumDepletionConstant;
}

double IterateDoping(double dopingFactor, int iterations)
{
    double doping = kDopingStart;
    for (int i = 0; i < iterations; ++i)
        doping = std::fabs(std::log(doping / kIntrinsicDensityPerCubicCm)) * dopingFactor;
    return doping;
}

std::optional<double> ComputeDoping(double largest, double smallest, float padAreaSquareMicrons,
                                    AnalysisResults& results)
{
    if (largest == 0 || smallest == 0) return std::nullopt;
    const double doping =
        IterateDoping(DopingFactor(largest, smallest, padAreaSquareMicrons), kDopingIterations);
    const double nsub = doping * kPerCubicCentimetreToPerCubicMetre;
    const double debyeLength = kDebyeScale * std::sqrt(kDebyeNumerator / nsub);
    // An infinite doping gives a Debye length of 0, which looks computed but
    // is not; neither may reach the results.
    if (!std::isfinite(doping) || !std::isfinite(nsub) || !std::isfinite(debyeLength))
        return std::numeric_limits<double>::quiet_NaN();
    results.Nsub = nsub;
    results.DebyeLength = debyeLength;
    if (results.Cet > 0)
        results.CfbRatio = 1 / ((kOxideRelativePermittivity / kSiliconRelativePermittivity) *
                                    results.DebyeLength / results.Cet +
                                1);
    return doping;
}

std::string CmaxText(double cmax)
{
    return RangedText(cmax, "###0.000", "[mF]", "[uF]", "[nF]", "[pF]");
}

std::string CminText(double cmin)
{
    return RangedText(cmin, "0.000", "[mF]", "[uF]", "[nF]", "[pF]");
}

std::string GmaxText(double gmax)
{
    const std::string text = !std::isfinite(gmax) ? std::string(kNotAvailable)
                             : gmax >= 1e-3       ? FormatNumber(gmax * 1e3, "0.0000") + "[mS]"
                                                  : FormatNumber(gmax * 1e6, "0.0000") + "[uS]";
    return FixedWidth(text, kValueTextWidth);
}

uint32_t ElapsedMilliseconds(const RunTimes& times)
{
    return static_cast<uint32_t>(times.t1 - times.t0);
}

std::string RateText(int pointCount, uint32_t elapsedMilliseconds)
{
    if (elapsedMilliseconds == 0) return kNotAvailable;
    const double rate = static_cast<double>(pointCount) / elapsedMilliseconds * 1000;
    return FormatNumber(rate, "0.000") + "/s";
}

std::string RunListEntry(int entriesBefore, const std::string& rateText)
{
    return " " + std::to_string(entriesBefore + 1) + "\t" + rateText;
}

std::string ElapsedSecondsText(uint32_t elapsedMilliseconds)
{
    std::string text = " " + std::to_string(elapsedMilliseconds / 1000);
    const uint32_t fraction = elapsedMilliseconds % 1000;
    if (fraction != 0) {
        std::string decimals = std::to_string(1000 + fraction).substr(1);
        decimals.erase(decimals.find_last_not_of('0') + 1);
        text += "." + decimals;
    }
    return text;
}

std::string FinishText(uint32_t elapsedMilliseconds)
{
    return "Progress finished " + FormatNumber(elapsedMilliseconds / 1000.0, "0.000") + " s";
}

std::string CetText(float cet)
{
    return std::isfinite(cet) ? FormatNumber(static_cast<double>(cet) * 1e9, "0.00nm")
                              : kNotAvailable;
}

std::string DopingText(const std::optional<double>& doping)
{
    const double value = doping.value_or(0);
    return std::isfinite(value) ? FormatNumber(value, "0.00E+00") : kNotAvailable;
}

std::string CfbRatioText(const std::optional<double>& ratio)
{
    return ratio ? FormatNumber(*ratio, "0.000") : kNotAvailable;
}

std::string InformationText(const SummaryFigures& figures)
{
    const std::string lines[] = {
        FormatNumber(figures.pointCount, "0") + "Points",
        ElapsedSecondsText(figures.elapsedMilliseconds) + "sec",
        RateText(figures.pointCount, figures.elapsedMilliseconds),
        "Cmax:" + CmaxText(figures.cmax),
        "Cmin:" + CminText(figures.cmin),
        "Gmax:" + GmaxText(figures.gmax),
        "CET:" + CetText(figures.cet),
        "Nsub:" + DopingText(figures.doping) + " (cm-3)",
        "CFB: Cmax*" + CfbRatioText(figures.cfbRatio),
    };
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty()) text += kCrLf;
        text += line;
    }
    return text;
}

RunSummary SummarizeRun(SweepData& sweep, const RunTimes& times, const std::string& padAreaText,
                        int runListEntries, AnalysisResults& results)
{
    RunSummary summary;
    const uint32_t elapsed = ElapsedMilliseconds(times);
    summary.runListEntry = RunListEntry(runListEntries, RateText(sweep.PointCount, elapsed));

    sweep.Cmin = 1.0;
    for (int i = 1; i <= sweep.ReadablePoints(); ++i) {
        const std::size_t index = static_cast<std::size_t>(i);
        if (sweep.Capacitance[index] > sweep.Cmax) sweep.Cmax = sweep.Capacitance[index];
        if (sweep.Capacitance[index] < sweep.Cmin) sweep.Cmin = sweep.Capacitance[index];
        if (sweep.Conductance[index] > sweep.Gmax) sweep.Gmax = sweep.Conductance[index];
    }
    RestoreUserBiasSign(sweep);

    if (sweep.Cmax <= 0 || sweep.PointCount <= 1) return summary;

    const double padArea = NumberOfText(padAreaText);
    const float cet = CapacitanceEquivalentThickness(padArea, sweep.Cmax);
    // An overflowing thickness is shown as n/a; kept as 0 it leaves the
    // flat-band ratio alone rather than feeding it an infinity.
    results.Cet = std::isfinite(cet) ? cet : 0.0f;
    const std::optional<double> doping =
        ComputeDoping(sweep.Cmax, sweep.Cmin, ToSingle(padArea), results);

    SummaryFigures figures;
    figures.pointCount = sweep.PointCount;
    figures.elapsedMilliseconds = elapsed;
    figures.cmax = sweep.Cmax;
    figures.cmin = sweep.Cmin;
    figures.gmax = sweep.Gmax;
    figures.cet = cet;
    figures.doping = doping;
    // The ratio follows the doping: with the doping beyond computing, and a
    // pad area of 0 is always that, the ratio is too.
    if (!doping || std::isfinite(*doping)) figures.cfbRatio = results.CfbRatio;

    summary.information = InformationText(figures);
    summary.figures = figures;
    summary.finishText = FinishText(elapsed);
    summary.redrawGraphs = true;
    return summary;
}

}  // namespace quillon
