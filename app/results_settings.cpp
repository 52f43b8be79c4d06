#include "app/results_settings.h"

#include <filesystem>

#include "common/text_number.h"
#include "platform/module_ini.h"
#include "platform/profile_file.h"

namespace quillon {

namespace {
// A folder's path may well be longer than the 254 characters of the other
// values.
constexpr std::size_t kFolderBufferSize = 4096;
}  // namespace

bool ReadShowEarlierRuns(const ProgramFolder& folder)
{
    return WholeNumberOfText(ReadIni(folder, kResultsSection, kShowEarlierRunsKey)) == 1.0;
}

void WriteShowEarlierRuns(const ProgramFolder& folder, bool show)
{
    // Like "Save setting", a folder that cannot be written keeps the old
    // choice without a word; the menu still shows the new one.
    WriteIni(folder, show ? "1" : "0", kResultsSection, kShowEarlierRunsKey);
}

std::string ReadAutoSaveFolder(const ProgramFolder& folder)
{
    const std::string value = ReadProfileString(SettingsFilePath(folder), kResultsSection,
                                                kAutoSaveFolderKey, "", kFolderBufferSize);
    if (value.empty()) return value;
    const std::filesystem::path path(value);
    return path.is_absolute() ? value : (std::filesystem::path(folder.Path()) / path).string();
}

std::optional<std::string> SaveRunToAutoSaveFolder(const ProgramFolder& folder,
                                                   const CsvRunContext& context,
                                                   const SweepData& sweep)
{
    const std::string autoSaveFolder = ReadAutoSaveFolder(folder);
    if (autoSaveFolder.empty()) return std::nullopt;
    const std::optional<std::string> failure = AutoSaveRun(autoSaveFolder, context, sweep);
    if (!failure) return std::nullopt;
    return *failure + " Set " + kAutoSaveFolderKey + " in section [" + kResultsSection + "] of " +
           kSettingsFileName + " to a folder you may write, or save the run with \"Save Data\".";
}

}  // namespace quillon
