// The run parameters as the main window's inputs hold them, and how a run
// reads them. The window implements MeasurementSettings over its controls;
// tests and tools use MeasurementSettingsValues.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace quillon {

// Indices of Text1(0..10).
enum TextField : int {
    kStartBias = 0,
    kStopBias = 1,
    kBiasStep = 2,
    kFrequency = 3,
    kAveraging = 4,
    kTriggerDelay = 5,
    kAcLevel = 6,
    kPadArea = 7,
    kGpibBoard = 8,
    kInstrumentAddress = 9,
    kCycles = 10,
};
inline constexpr int kTextFieldCount = 11;

// Indices of Check1(0..4).
enum CheckField : int {
    kInvertBias = 0,
    kDoubleSweep = 1,
    kQuitWhenUnbal = 2,
    kBeepWhenFinished = 3,
    kBeepWhenTriggered = 4,
};
inline constexpr int kCheckFieldCount = 5;

// Option2(0..2): the AD integration time.
enum class Integration { Short = 0, Medium = 1, Long = 2 };

class MeasurementSettings {
public:
    virtual ~MeasurementSettings() = default;
    virtual std::string Text1(int index) const = 0;
    virtual int Check1(int index) const = 0;
    // Index of the selected Option2 button; none selected gives no value.
    virtual std::optional<int> SelectedOption2() const = 0;
};

// The same parameters as plain values; starts with the window's design texts.
class MeasurementSettingsValues final : public MeasurementSettings {
public:
    std::array<std::string, kTextFieldCount> text = {
        "START", "STOP", "STEP", "FREQ", "AVG", "TRIG_DEL", "LEVEL", "400", "0", "17", "1"};
    std::array<int, kCheckFieldCount> check = {0, 0, 0, 0, 0};
    std::optional<int> option;

    std::string Text1(int index) const override { return text.at(static_cast<std::size_t>(index)); }
    int Check1(int index) const override { return check.at(static_cast<std::size_t>(index)); }
    std::optional<int> SelectedOption2() const override { return option; }
};

// The parameters as they are at this moment, kept apart from their source.
MeasurementSettingsValues CopySettings(const MeasurementSettings& settings);

// A parameter whose value does not fit the integer a run needs.
struct SettingOutOfRange {
    std::string label;  // the input's caption, e.g. "Frequency [Hz]"
    std::string range;  // e.g. "-32.768 to 32.767 V"
};

template <typename T>
using SettingOr = std::variant<T, SettingOutOfRange>;

// -1 when "invert bias" is checked, otherwise +1.
int16_t BiasSign(const MeasurementSettings& settings);
// Number x sign x 1000, rounded half to even to 16-bit millivolts.
SettingOr<int16_t> StartBiasMillivolts(const MeasurementSettings& settings, int16_t biasSign);
SettingOr<int16_t> StopBiasMillivolts(const MeasurementSettings& settings, int16_t biasSign);
// Number x 1000 x the sign of (stop - start): the step always points at stop.
SettingOr<int16_t> BiasStepMillivolts(const MeasurementSettings& settings, int16_t startMillivolts,
                                      int16_t stopMillivolts);
SettingOr<int16_t> CycleCount(const MeasurementSettings& settings);
double PadAreaSquareMicrons(const MeasurementSettings& settings);
bool DoubleSweep(const MeasurementSettings& settings);
bool QuitWhenUnbal(const MeasurementSettings& settings);
bool BeepWhenFinished(const MeasurementSettings& settings);
bool BeepWhenTriggered(const MeasurementSettings& settings);

// What the instrument set-up needs, converted.
struct InstrumentSettings {
    int16_t board = 0;
    int16_t address = 17;
    std::optional<Integration> integration;
    int32_t averaging = 1;
    int32_t frequencyHertz = 1000;
    std::string acLevel;       // sent as typed
    std::string triggerDelay;  // sent with the surrounding blanks removed
};

SettingOr<InstrumentSettings> ReadInstrumentSettings(const MeasurementSettings& settings);

}  // namespace quillon
