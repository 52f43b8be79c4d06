// The main window's inputs in the settings file: what a load reads and in
// which order, and what a save writes. The window applies a load to its
// controls; everything else happens here, without widgets.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "measure/measurement_settings.h"
#include "platform/program_folder.h"

namespace quillon {

// What a load gives the window's inputs.
struct StoredSettings {
    std::array<std::string, kTextFieldCount> values;  // Text1(0..10), as stored
    std::array<int, kCheckFieldCount> checks{};       // Check1(0..4), 0 or 1
    int integration = 0;                              // the Option2 index to select
};

// Reads Value_00..Value_10, Check_00..Check_04 and integ, in that order.
// A missing value reads as "ERROR" and is shown as such; a check value or an
// integ whose integer part is not one the window knows counts as 0.
StoredSettings ReadStoredSettings(const ProgramFolder& folder);

// Writes the inputs, in the order the file keeps them, in one replacement
// of the file: a crash leaves all the old values or all the new ones.
// Nothing is validated or trimmed. No value on success, otherwise the
// message for the user, with the file and the reason.
std::optional<std::string> WriteStoredSettings(const ProgramFolder& folder,
                                               const MeasurementSettings& settings);

}  // namespace quillon
