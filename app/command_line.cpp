#include "app/command_line.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <utility>

#include "common/program_version.h"

namespace quillon {

namespace {

constexpr const char* kSeeHelp = "; 'quillon --help' lists the options";

WrongOption Wrong(const std::string& what)
{
    return {"quillon: " + what + kSeeHelp};
}

}  // namespace

std::variant<CommandLineOptions, WrongOption> ParseCommandLine(
    const std::vector<std::string>& arguments)
{
    CommandLineOptions options;
    bool help = false;
    bool version = false;
    std::optional<ProgramMode> work;
    // A second --save or --folder must not quietly win over the first: the
    // script that gave both meant one of them.
    std::set<std::string> given;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const std::pair<const char*, std::optional<std::string>*> valued[] = {
            {"--folder", &options.folder},
            {"--save", &options.saveFile},
            {"--sample", &options.sample},
            {"--note", &options.note},
            {"--correct", &options.correct}};
        const auto* option = std::find_if(std::begin(valued), std::end(valued),
                                          [&name](const auto& o) { return name == o.first; });
        if (option != std::end(valued)) {
            if (!given.insert(name).second) return Wrong(name + " is given twice");
            std::optional<std::string> value;
            if (equals != std::string::npos)
                value = argument.substr(equals + 1);
            else if (i + 1 < arguments.size())
                value = arguments[++i];
            // An empty sample or note is a choice: none. An empty folder or
            // file is not.
            const bool label = name == "--sample" || name == "--note";
            if (!value || (value->empty() && !label))
                return Wrong(name + (name == "--folder" ? " needs a folder"
                                     : label            ? " needs a value"
                                                        : " needs a file name"));
            if (name == "--correct" && *value != "open" && *value != "short")
                return Wrong("--correct takes open or short, not '" + *value + "'");
            *option->second = value;
            if (name == "--correct") {
                if (work && *work != ProgramMode::Correct)
                    return Wrong("--correct excludes --run and --list");
                work = ProgramMode::Correct;
            }
            continue;
        }
        std::optional<ProgramMode> mode;
        if (argument == "--run") mode = ProgramMode::Run;
        if (argument == "--list") mode = ProgramMode::List;
        if (argument == "--help" || argument == "-h") help = true;
        if (argument == "--version") version = true;
        if (argument == "--spot") {
            options.spot = true;
            continue;
        }
        if (mode && work == ProgramMode::Correct)
            return Wrong("--correct excludes --run and --list");
        if (mode && work && *work != *mode) return Wrong("--run and --list exclude each other");
        if (mode) work = mode;
        if (mode || help || version) continue;
        if (!argument.empty() && argument[0] == '-')
            return Wrong("unknown option '" + argument + "'");
        return Wrong("unexpected argument '" + argument + "'");
    }
    for (const auto& [name, value] :
         {std::pair("--save", &options.saveFile), std::pair("--sample", &options.sample),
          std::pair("--note", &options.note)})
        if (*value && work != ProgramMode::Run)
            return Wrong(std::string(name) + " goes with --run");
    if (options.spot && work != ProgramMode::Correct) return Wrong("--spot goes with --correct");
    options.mode = help      ? ProgramMode::Help
                   : version ? ProgramMode::Version
                             : work.value_or(ProgramMode::Window);
    return options;
}

std::string HelpText(const std::string& filesFolderLine)
{
    return "Usage: quillon [--folder DIR]\n"
           "       quillon --run [--folder DIR] [--save FILE] [--sample NAME] [--note TEXT]\n"
           "       quillon --list [--folder DIR]\n"
           "       quillon --correct open|short [--spot] [--folder DIR]\n"
           "Measures C-V and G-V curves of MOS capacitors with an Agilent 4284A LCR meter.\n"
           "Without --run or --list the main window opens.\n"
           "\n"
           "  --run          one measurement with the stored settings, without a window:\n"
           "                 progress on standard error, the summary on standard output\n"
           "  --save FILE    with --run: the points read go to FILE\n"
           "  --sample NAME  with --run: the sample measured, for the data file and its\n"
           "                 name (the Runs window's sample otherwise)\n"
           "  --note TEXT    with --run: a note for the data file\n"
           "  --list         the instruments on GPIB board 0 (the \"Check\" query), one\n"
           "                 \"address<TAB>identification\" line each\n"
           "  --correct open|short  without a window: the meter's open correction (the\n"
           "                 probes lifted off the pad) or short correction (the probes\n"
           "                 on the short pad); the state read back on standard output\n"
           "  --spot         with --correct: at the stored frequency alone (seconds), not\n"
           "                 at the meter's preset frequencies (about 90 s)\n"
           "  --folder DIR   keep the settings file, the logs and the runs in DIR\n"
           "  --help         this text\n"
           "  --version      the program's version\n"
           "\n"
           "Exit status of --run: 0 finished; 1 refused before anything was sent;\n"
           "3 the meter could not be opened; 4 time over, a bus failure or UNBAL;\n"
           "5 stopped (Ctrl+C, SIGTERM, SIGHUP); 6 the points could not be saved.\n"
           "Exit status of --list: 0 a 4284A was found, 1 not. A wrong option: 2.\n"
           "Exit status of --correct: 0 measured; 1 the stored settings cannot be used;\n"
           "3 the meter could not be opened; 4 no answer in time, a bus failure or a short\n"
           "that reads as none; 5 stopped.\n"
           "All: 3 when the Driver chosen in Quillon.ini cannot be used.\n"
           "\n" +
           filesFolderLine + "\n";
}

std::string VersionText()
{
    return std::string("quillon ") + ProgramVersion();
}

}  // namespace quillon
