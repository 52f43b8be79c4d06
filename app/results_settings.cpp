#include "app/results_settings.h"

#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

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

RunLabels ReadRunLabels(const ProgramFolder& folder)
{
    const std::string file = SettingsFilePath(folder);
    return {ReadProfileString(file, kRunsSection, kSampleKey, "", kFolderBufferSize),
            ReadProfileString(file, kRunsSection, kNoteKey, "", kFolderBufferSize)};
}

void WriteRunLabels(const ProgramFolder& folder, const RunLabels& labels)
{
    // The profile writer keeps each value on its line.
    WriteIni(folder, labels.sample, kRunsSection, kSampleKey);
    WriteIni(folder, labels.note, kRunsSection, kNoteKey);
}

bool ReadKeepRuns(const ProgramFolder& folder)
{
    return Trimmed(ReadIni(folder, kRunsSection, kKeepRunsKey)) != "0";
}

std::string RunsFolderPath(const ProgramFolder& folder)
{
    return (std::filesystem::path(folder.Path()) / kRunsFolderName).string();
}

KeptRun KeepFinishedRun(const ProgramFolder& folder, const CsvRunContext& context,
                        const SweepData& sweep)
{
    KeptRun kept;
    // One text for every copy.
    const std::string text = CsvDataFileText(context, sweep);
    std::vector<std::string> failures;
    std::string runsFolder;
    if (ReadKeepRuns(folder)) {
        runsFolder = RunsFolderPath(folder);
        std::error_code error;
        std::filesystem::create_directories(runsFolder, error);
        const AutoSaveResult saved = AutoSaveRun(runsFolder, context, text);
        if (saved.failure)
            failures.push_back(*saved.failure + " Let the program write the folder, or set " +
                               kKeepRunsKey + "=0 in section [" + kRunsSection + "] of " +
                               kSettingsFileName + " to keep no runs there.");
        else
            kept.runsFolderFile = saved.path;
    }
    const std::string autoSaveFolder = ReadAutoSaveFolder(folder);
    std::error_code unknown;
    const bool sameFolder = !runsFolder.empty() && !autoSaveFolder.empty() &&
                            std::filesystem::equivalent(runsFolder, autoSaveFolder, unknown);
    if (!autoSaveFolder.empty() && !sameFolder) {
        const AutoSaveResult saved = AutoSaveRun(autoSaveFolder, context, text);
        if (saved.failure)
            failures.push_back(*saved.failure + " Set " + kAutoSaveFolderKey + " in section [" +
                               kResultsSection + "] of " + kSettingsFileName +
                               " to a folder you may write.");
    }
    if (failures.empty()) return kept;
    std::string message;
    for (const std::string& failure : failures) message += failure + "\r\n\r\n";
    kept.failure = message + "Save the run with \"Save Data\": its points are still in the window.";
    return kept;
}

}  // namespace quillon
