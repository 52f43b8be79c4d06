#include "app/first_start_settings.h"

#include <filesystem>
#include <system_error>

#include "platform/module_ini.h"
#include "platform/profile_file.h"

namespace quillon {

StoredSettings FirstStartSettings()
{
    StoredSettings first;
    first.values = {"-3", "3", "0.05", "100000", "1", "0", "50", "10000", "0", "17", "1"};
    first.integration = static_cast<int>(Integration::Short);
    return first;
}

StoredSettings InitialSettings(const ProgramFolder& folder)
{
    const std::string path = SettingsFilePath(folder);
    std::error_code unknown;
    // A file that cannot be looked at counts as there: it is read as today.
    const bool missing = !std::filesystem::exists(path, unknown) && !unknown;
    // A file that other settings made ("Show earlier runs", the calculator)
    // holds no inputs yet: its first start is still to come.
    const bool noInputs = ProfileHasSection(path, "meas") == false;
    return missing || noInputs ? FirstStartSettings() : ReadStoredSettings(folder);
}

MeasurementSettingsValues SettingsValues(const StoredSettings& stored)
{
    MeasurementSettingsValues values;
    values.text = stored.values;
    values.check = stored.checks;
    values.option = stored.integration;
    return values;
}

}  // namespace quillon
