#include "measure/measurement_settings.h"

#include "common/text_number.h"

namespace quillon {

namespace {

constexpr const char* kBiasRange = "-32.768 to 32.767 V";
constexpr const char* kInt16Range = "-32768 to 32767";
constexpr const char* kInt32Range = "-2147483648 to 2147483647";

double Number(const MeasurementSettings& settings, TextField field)
{
    return NumberOfText(settings.Text1(field));
}

SettingOr<int16_t> Int16Of(double value, const char* label, const char* range)
{
    if (std::optional<int16_t> rounded = RoundToInt16(value)) return *rounded;
    return SettingOutOfRange{label, range};
}

SettingOr<int32_t> Int32Of(double value, const char* label)
{
    if (std::optional<int32_t> rounded = RoundToInt32(value)) return *rounded;
    return SettingOutOfRange{label, kInt32Range};
}

// Moves a converted value into place, or keeps why it could not be converted.
template <typename T>
bool Take(const SettingOr<T>& reading, T& into, std::optional<SettingOutOfRange>& outOfRange)
{
    if (const auto* bad = std::get_if<SettingOutOfRange>(&reading)) {
        outOfRange = *bad;
        return false;
    }
    into = std::get<T>(reading);
    return true;
}

}  // namespace

MeasurementSettingsValues CopySettings(const MeasurementSettings& settings)
{
    MeasurementSettingsValues copy;
    for (int i = 0; i < kTextFieldCount; ++i)
        copy.text[static_cast<std::size_t>(i)] = settings.Text1(i);
    for (int j = 0; j < kCheckFieldCount; ++j)
        copy.check[static_cast<std::size_t>(j)] = settings.Check1(j);
    copy.option = settings.SelectedOption2();
    return copy;
}

int16_t BiasSign(const MeasurementSettings& settings)
{
    return settings.Check1(kInvertBias) == 1 ? -1 : 1;
}

SettingOr<int16_t> StartBiasMillivolts(const MeasurementSettings& settings, int16_t biasSign)
{
    return Int16Of(Number(settings, kStartBias) * biasSign * 1000.0, "Start Bias [V]", kBiasRange);
}

SettingOr<int16_t> StopBiasMillivolts(const MeasurementSettings& settings, int16_t biasSign)
{
    return Int16Of(Number(settings, kStopBias) * biasSign * 1000.0, "Stop Bias [V]", kBiasRange);
}

SettingOr<int16_t> BiasStepMillivolts(const MeasurementSettings& settings, int16_t startMillivolts,
                                      int16_t stopMillivolts)
{
    const int span = stopMillivolts - startMillivolts;
    const int direction = (span > 0) - (span < 0);
    return Int16Of(Number(settings, kBiasStep) * 1000.0 * direction, "Bias Step [V]", kBiasRange);
}

SettingOr<int16_t> CycleCount(const MeasurementSettings& settings)
{
    return Int16Of(Number(settings, kCycles), "Cycle of Meas.", kInt16Range);
}

double PadAreaSquareMicrons(const MeasurementSettings& settings)
{
    return Number(settings, kPadArea);
}

bool DoubleSweep(const MeasurementSettings& settings)
{
    return settings.Check1(kDoubleSweep) == 1;
}

bool QuitWhenUnbal(const MeasurementSettings& settings)
{
    return settings.Check1(kQuitWhenUnbal) != 0;
}

bool BeepWhenFinished(const MeasurementSettings& settings)
{
    return settings.Check1(kBeepWhenFinished) == 1;
}

bool BeepWhenTriggered(const MeasurementSettings& settings)
{
    return settings.Check1(kBeepWhenTriggered) == 1;
}

SettingOr<InstrumentSettings> ReadInstrumentSettings(const MeasurementSettings& settings)
{
    InstrumentSettings result;
    std::optional<SettingOutOfRange> outOfRange;
    const bool converted = Take(Int16Of(Number(settings, kGpibBoard), "BOARD", kInt16Range),
                                result.board, outOfRange) &&
                           Take(Int16Of(Number(settings, kInstrumentAddress), "4284A", kInt16Range),
                                result.address, outOfRange) &&
                           Take(Int32Of(Number(settings, kAveraging), "Averaging(1-255)"),
                                result.averaging, outOfRange) &&
                           Take(Int32Of(Number(settings, kFrequency), "Frequency [Hz]"),
                                result.frequencyHertz, outOfRange);
    if (!converted) return *outOfRange;
    if (std::optional<int> option = settings.SelectedOption2();
        option && *option >= 0 && *option <= 2)
        result.integration = static_cast<Integration>(*option);
    result.acLevel = settings.Text1(kAcLevel);
    result.triggerDelay = std::string(Trimmed(settings.Text1(kTriggerDelay), " "));
    return result;
}

}  // namespace quillon
