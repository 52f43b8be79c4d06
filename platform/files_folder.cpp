#include "platform/files_folder.h"

#include <unistd.h>

#include <QStandardPaths>
#include <filesystem>
#include <system_error>

namespace quillon {

namespace {

bool WritableFolder(const std::string& path)
{
    std::error_code error;
    return std::filesystem::is_directory(path, error) && ::access(path.c_str(), W_OK) == 0;
}

bool InstalledProgramFolder(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(path + "/../share/applications/quillon.desktop", error);
}

}  // namespace

FilesFolder ChooseFilesFolder(const FilesFolderCandidates& candidates)
{
    if (candidates.named) return {*candidates.named, FilesFolderReason::Named};
    if (WritableFolder(candidates.programFolder) &&
        !InstalledProgramFolder(candidates.programFolder))
        return {candidates.programFolder, FilesFolderReason::ProgramFolder};
    return {candidates.userDataFolder, FilesFolderReason::UserDataFolder};
}

std::string UserDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString() +
           "/quillon";
}

std::optional<std::string> CreateFilesFolder(const std::string& path)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (!error && !std::filesystem::is_directory(path, error) && !error)
        error = std::make_error_code(std::errc::not_a_directory);
    if (error) return "cannot create the folder " + path + ": " + error.message();
    return std::nullopt;
}

std::string DescribeFilesFolder(const FilesFolder& folder)
{
    switch (folder.reason) {
        case FilesFolderReason::Named:
            return "the folder named by --folder";
        case FilesFolderReason::ProgramFolder:
            return "the program's folder";
        case FilesFolderReason::UserDataFolder:
            break;
    }
    return "the user's data folder, since the program's folder is not one it may write to";
}

}  // namespace quillon
