// The program's command line: the window by default, one measurement from a
// script (--run), the instrument query (--list), and the folder the program
// keeps its files in (--folder). Plain values, read before any application
// object exists: --run and --list must work without a display.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quillon {

enum class ProgramMode { Window, Run, List, Correct, Help, Version };

struct CommandLineOptions {
    ProgramMode mode = ProgramMode::Window;
    std::optional<std::string> folder;    // --folder DIR
    std::optional<std::string> saveFile;  // --save FILE, with --run only
    // --sample NAME and --note TEXT, with --run only: in place of the
    // Runs window's, which the settings file keeps.
    std::optional<std::string> sample;
    std::optional<std::string> note;
    // --correct open|short: the standard measured without a window; with
    // --spot at the stored frequency alone, else at every preset frequency.
    std::optional<std::string> correct;
    bool spot = false;
};

// The line to print, "quillon: ...", before exiting with kExitWrongOption.
struct WrongOption {
    std::string message;
};

// The arguments after the program's name. "--folder DIR" may also be written
// "--folder=DIR", and so may --save, --sample and --note.
std::variant<CommandLineOptions, WrongOption> ParseCommandLine(
    const std::vector<std::string>& arguments);

// The exit statuses of --run and --list. A failed save, the one ending the
// run itself does not tell, has a status of its own.
inline constexpr int kExitFinished = 0;
// --run refused before anything was sent; --list found no 4284A.
inline constexpr int kExitRefused = 1;
inline constexpr int kExitWrongOption = 2;
// The meter could not be opened; for --list too, the Driver chosen cannot be used.
inline constexpr int kExitMeterNotOpened = 3;
// Time over, a bus failure, or UNBAL with "Quit when UNBAL"; for --correct,
// no "*OPC?" in time, a bus failure or an implausible short.
inline constexpr int kExitRunFault = 4;
inline constexpr int kExitStopped = 5;   // Ctrl+C, SIGTERM or SIGHUP
inline constexpr int kExitNotSaved = 6;  // the points could not be written to the --save file

// What --help prints; `filesFolderLine` says where the files are kept.
std::string HelpText(const std::string& filesFolderLine);
// "quillon 0.1".
std::string VersionText();

}  // namespace quillon
