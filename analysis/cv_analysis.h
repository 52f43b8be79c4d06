// The analysis subsystem: the end-of-run pass that evaluates the C-V curve
// of a MOS capacitor on silicon (largest and smallest capacitance, largest
// conductance, capacitance-equivalent thickness, substrate doping, Debye
// length and flat-band capacitance ratio) and words the run's summary.
//
// Values that cannot be computed. A pad area of 0, Cmax equal to Cmin, or
// numbers so extreme that a result overflows would give inf or NaN. The
// summary never shows either: a line whose value cannot be computed shows
// "n/a" in place of the number, and a unit glued to the number goes with it
// while a unit set apart by a blank stays ("CET:n/a", "Nsub:n/a (cm-3)",
// "CFB: Cmax*n/a"). When the doping cannot be computed the Debye length and
// the flat-band ratio cannot either: Nsub, DebyeLength and CfbRatio then keep
// their previous values, so AnalysisResults never holds inf or NaN. The rest
// of the pass (run-list entry, extremes, bias sign, finish text, graphs)
// happens as usual. A run that took 0 ms has no rate: "n/a" stands for the
// whole rate text, in the run-list entry and in the summary.
// A smallest (or largest) capacitance of 0 is not such a case: the doping
// then has no value and the summary shows it as 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "analysis/graph_plot.h"
#include "analysis/result_table.h"
#include "measure/measurement_run.h"
#include "measure/sweep_data.h"

namespace quillon {

inline constexpr const char* kNotAvailable = "n/a";

// The results of the last summary, kept by the main window for its life time;
// all 0 until the first one.
struct AnalysisResults {
    float Cet = 0;           // capacitance-equivalent thickness [m]
    double Nsub = 0;         // substrate doping [m^-3]
    double DebyeLength = 0;  // extrinsic Debye length [m]
    double CfbRatio = 0;     // flat-band capacitance / Cmax
};

// Capacitance-equivalent thickness [m] of a pad of the given area [um^2]
// whose oxide capacitance is cmax [F], as a 32-bit real. An area too large
// for a 32-bit real gives infinity.
float CapacitanceEquivalentThickness(double padAreaSquareMicrons, double cmax);

// K of the maximum-depletion relation: the square of the depletion
// capacitance per area [F/cm^2] of the pad, times 6.18735e29.
double DopingFactor(double largest, double smallest, float padAreaSquareMicrons);

// The doping [cm^-3] after the given number of iterations of
// N = |ln(N / 1.45e10)| x K, starting from 1e20.
double IterateDoping(double dopingFactor, int iterations);

// The substrate doping [cm^-3] from the largest and smallest capacitance [F]
// and the pad area [um^2]. No value, and nothing changed, when either
// capacitance is 0. A result that is not finite means the doping cannot be
// computed; nothing is changed then either. Otherwise writes Nsub and
// DebyeLength, and CfbRatio when results.Cet is positive.
std::optional<double> ComputeDoping(double largest, double smallest, float padAreaSquareMicrons,
                                    AnalysisResults& results);

// The 20-character value fields of the summary: "100.000[pF]" and blanks;
// "n/a" for a value that is not finite.
inline constexpr std::size_t kValueTextWidth = 20;
std::string CmaxText(double cmax);
std::string CminText(double cmin);
std::string GmaxText(double gmax);

// The run's length from its two tick counts; the tick count may have
// wrapped around in between.
uint32_t ElapsedMilliseconds(const RunTimes& times);

// Points per second: "3.321/s", or "n/a" for a run that took 0 ms.
std::string RateText(int pointCount, uint32_t elapsedMilliseconds);

// " 3" TAB "3.321/s": the entry that follows `entriesBefore` earlier ones.
std::string RunListEntry(int entriesBefore, const std::string& rateText);

// The elapsed seconds with a leading blank and only the decimals they need:
// " 12.345", " 12", " 0.5".
std::string ElapsedSecondsText(uint32_t elapsedMilliseconds);

// "Progress finished 12.345 s".
std::string FinishText(uint32_t elapsedMilliseconds);

// What the nine lines of the information label show.
struct SummaryFigures {
    int pointCount = 0;
    uint32_t elapsedMilliseconds = 0;
    double cmax = 0;
    double cmin = 0;
    double gmax = 0;
    float cet = 0;                   // [m]; not finite shows n/a
    std::optional<double> doping;    // [cm^-3]; no value shows 0, not finite n/a
    std::optional<double> cfbRatio;  // no value shows n/a
};

// Three of the values as the summary shows them: "10.19nm", "9.66E+15"
// (no value shows 0) and "0.881"; "n/a" for a value that is not finite or,
// for the ratio, missing.
std::string CetText(float cet);
std::string DopingText(const std::optional<double>& doping);
std::string CfbRatioText(const std::optional<double>& ratio);

// The nine lines separated by CR LF, without a line end after the last.
std::string InformationText(const SummaryFigures& figures);

// What the main window shows after the pass. Without information the
// information label, the progress label and the graphs keep what they show.
struct RunSummary {
    std::string runListEntry;
    std::optional<std::string> information;
    // What the information shows, for records of the run.
    std::optional<SummaryFigures> figures;
    std::optional<std::string> finishText;
    bool redrawGraphs = false;
};

// The end-of-run pass over the run's points: settles Cmax, Cmin and Gmax,
// turns Bias back to the user's sign and, for a run of two or more points
// with a positive Cmax, analyses the curve into `results`.
// `runListEntries` is the number of entries the run list already holds.
RunSummary SummarizeRun(SweepData& sweep, const RunTimes& times, const std::string& padAreaText,
                        int runListEntries, AnalysisResults& results);

}  // namespace quillon
