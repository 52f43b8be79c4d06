// The folder the program keeps its own files in: the settings file, the
// monthly logs and everything else it writes for itself. A copy kept in a
// folder of its own (the build folder, a folder on a lab PC) keeps them
// beside itself, as it always has; an installed program cannot write there
// and keeps them in the user's data folder instead.
#pragma once

#include <optional>
#include <string>

namespace quillon {

enum class FilesFolderReason {
    Named,           // --folder DIR
    ProgramFolder,   // the executable's folder, which can be written
    UserDataFolder,  // the executable's folder cannot be written, or is an installation's
};

struct FilesFolderCandidates {
    std::optional<std::string> named;  // --folder DIR, when given
    // The executable's folder. Where it lies in an installation (the
    // package's /usr/bin, or a prefix of `cmake --install`, known by the
    // desktop entry installed beside it in ../share/applications), it is
    // never used for files, even by a user who could write it: root would
    // otherwise litter a system folder.
    std::string programFolder;
    std::string userDataFolder;
};

struct FilesFolder {
    std::string path;
    FilesFolderReason reason = FilesFolderReason::ProgramFolder;
};

FilesFolder ChooseFilesFolder(const FilesFolderCandidates& candidates);

// "$XDG_DATA_HOME/quillon", normally "~/.local/share/quillon", as Qt's
// standard locations give it.
std::string UserDataFolder();

// The folder with its missing parents created. Gives the reason when it
// cannot be created or is not a folder.
std::optional<std::string> CreateFilesFolder(const std::string& path);

// "the program's folder", "the user's data folder (the program's folder
// cannot be written)": why this folder was chosen, for --help.
std::string DescribeFilesFolder(const FilesFolder& folder);

}  // namespace quillon
