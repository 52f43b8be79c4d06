#include "analysis/frequency_sweep_file.h"

#include "common/text_number.h"
#include "measure/frequency_list.h"

namespace quillon {

std::string FrequencySweepFileText(const CsvRunContext& context, const FrequencySweepPlan& plan,
                                   const std::vector<FrequencySweepPoint>& points)
{
    std::string biases;
    for (const int16_t millivolts : plan.biasMillivolts)
        biases += (biases.empty() ? "" : " ") + FormatNumber(millivolts / 1000.0, "0.###");
    std::string text = CsvOpeningComments(
        "C-f and G-f measurement", context,
        CsvComment("biases [V]", biases) +
            CsvComment("frequencies [Hz]", FrequencyListText(plan.frequenciesHertz)),
        false);
    text += CsvComment("points", std::to_string(points.size()));
    text += CsvComment("duration [s]", FormatNumber(context.elapsedMilliseconds / 1000.0, "0.000"));
    text += CsvComment("columns",
                       "V bias [V] as typed, f test frequency [Hz], C parallel capacitance Cp "
                       "[F], G conductance [S]");
    text += kFrequencySweepHeader;
    text += kCrLf;
    for (const FrequencySweepPoint& point : points) {
        text += FormatNumber(point.biasVolts, "0.000") + "," +
                std::to_string(point.frequencyHertz) + "," +
                FormatNumber(point.capacitanceFarads, "0.00000E+00") + "," +
                FormatNumber(point.conductanceSiemens, "0.00000E+00");
        text += kCrLf;
    }
    return text;
}

std::string FrequencySweepFileStem(const std::tm& started, const std::string& sample)
{
    return "cf" + RunFileStem(started, sample).substr(2);
}

}  // namespace quillon
