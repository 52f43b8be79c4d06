// Opening the 4284A and sending it the configuration every run relies on:
// Cp-G, bus trigger, DC bias on and a service request on message available.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "measure/measurement_settings.h"
#include "platform/clock.h"

namespace quillon {

inline constexpr uint32_t kSetUpPauseMilliseconds = 20;

struct InstrumentConnection {
    int16_t descriptor = -1;
    // False when ibdev gave no usable descriptor; nothing else was sent then,
    // so the bus status is still the one ibdev left.
    bool opened = false;
};

// "APER SHORT,4" and the like; empty when no integration time is selected.
std::string ApertureCommand(std::optional<Integration> integration, int32_t averaging);

// "FREQ  1000Hz": the test frequency as the set-up sends it.
std::string FrequencyCommand(int32_t frequencyHertz);

InstrumentConnection SetUpInstrument(const InstrumentSettings& settings, Clock& clock);

}  // namespace quillon
