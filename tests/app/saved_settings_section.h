// The [meas] section a save of the main window's inputs writes into a
// settings file that did not have one, spelled out by hand.
#pragma once

#include <string>

#include "measure/measurement_settings.h"
#include "platform/module_ini.h"

namespace quillon::testing {

inline std::string SavedSettingsSection(const MeasurementSettings& settings)
{
    std::string section = "[meas]\r\n";
    for (int i = 0; i < kTextFieldCount; ++i)
        section += IndexedKey("Value_", i) + "=" + settings.Text1(i) + "\r\n";
    for (int j = 0; j < kCheckFieldCount; ++j)
        section += IndexedKey("Check_", j) + "=" + std::to_string(settings.Check1(j)) + "\r\n";
    if (const std::optional<int> option = settings.SelectedOption2())
        section += "INTEG= " + std::to_string(*option) + "\r\n";
    return section + "Invert= " + std::to_string(settings.Check1(kInvertBias)) + "\r\n";
}

}  // namespace quillon::testing
