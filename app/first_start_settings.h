// What the main window's inputs show before anything was ever saved. With no
// settings file at all, every box would read "ERROR" (what a missing key
// reads as), which a new user takes for a fault; a first start shows a
// sweep that runs as it stands instead, and writes nothing until "Save
// setting". A settings file that exists is read as it always was.
#pragma once

#include "app/settings_file.h"
#include "platform/program_folder.h"

namespace quillon {

// -3 V to 3 V in 0.05 V steps at 100000 Hz, one cycle, Short, averaging 1,
// trigger delay 0, 50 mV, pad area 10000 um2, board 0, address 17, every
// check box clear.
StoredSettings FirstStartSettings();

// The settings file's inputs, or the first start's where the file does not
// exist.
StoredSettings InitialSettings(const ProgramFolder& folder);

// The inputs as a run reads them, for a run without a window.
MeasurementSettingsValues SettingsValues(const StoredSettings& stored);

}  // namespace quillon
