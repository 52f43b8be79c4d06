#include "app/frequency_settings.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/module_ini.h"
#include "platform/profile_file.h"

namespace quillon {

namespace {

constexpr std::size_t kValueBufferSize = 4096;

// Each input with its key.
template <typename Inputs, typename Use>
void ForEachInput(Inputs& inputs, Use use)
{
    use("List", inputs.list);
    use("Start", inputs.start);
    use("Stop", inputs.stop);
    use("PerDecade", inputs.perDecade);
    use("Biases", inputs.biases);
}

}  // namespace

FrequencyInputs ReadFrequencyInputs(const ProgramFolder& folder)
{
    FrequencyInputs inputs;
    const std::string file = SettingsFilePath(folder);
    ForEachInput(inputs, [&](const char* key, std::string& value) {
        value = ReadProfileString(file, kFrequenciesSection, key, value, kValueBufferSize);
    });
    return inputs;
}

void WriteFrequencyInputs(const ProgramFolder& folder, const FrequencyInputs& inputs)
{
    // The profile writer keeps each value on its line.
    ForEachInput(inputs, [&](const char* key, const std::string& value) {
        WriteIni(folder, value, kFrequenciesSection, key);
    });
}

std::string FrequencySweepsFolderPath(const ProgramFolder& folder)
{
    return (std::filesystem::path(folder.Path()) / kFrequencySweepsFolderName).string();
}

KeptFrequencySweep KeepFrequencySweep(const ProgramFolder& folder, const CsvRunContext& context,
                                      const FrequencySweepPlan& plan,
                                      const std::vector<FrequencySweepPoint>& points)
{
    const std::string sweeps = FrequencySweepsFolderPath(folder);
    std::error_code error;
    std::filesystem::create_directories(sweeps, error);
    const AutoSaveResult saved =
        AutoSaveFile(sweeps, FrequencySweepFileStem(context.started, context.sample),
                     FrequencySweepFileText(context, plan, points));
    if (!saved.failure) return {saved.path, std::nullopt};
    return {{},
            *saved.failure +
                "\r\n\r\nSave the measurement with \"Save...\" in the Frequencies window: its "
                "points are still there."};
}

}  // namespace quillon
