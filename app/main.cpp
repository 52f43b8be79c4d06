#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/bus_choice.h"
#include "app/command_line.h"
#include "app/command_line_run.h"
#include "app/first_start_settings.h"
#include "app/main_window.h"
#include "app/window_stop.h"
#include "gpib/gpib_binding.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/files_folder.h"
#include "platform/qt_desktop.h"
#include "platform/qt_message_filter.h"
#include "platform/stop_signals.h"

namespace {

// How the program reaches the bus, as the CSV data files record it.
std::string BusDescription(const quillon::ChosenBus& bus)
{
    if (bus.library) return "GPIB driver library " + bus.library->path();
    if (bus.prologix) return "Prologix adapter " + bus.prologix->adapterName();
    if (bus.unusable) return "none";
    return "simulated";
}

// The bus is chosen here, once, from the settings file; everything else
// talks to the binding.
quillon::ChosenBus SelectBus(const quillon::ProgramFolder& folder, quillon::Clock& clock,
                             quillon::Desktop& desktop)
{
    quillon::ChosenBus bus = quillon::ChooseBus(folder, clock);
    quillon::SelectGpibDriver(quillon::ChosenDriver(bus));
    for (const std::string& message : bus.messages)
        desktop.ShowMessage(message, {}, quillon::MessageIcon::Exclamation);
    return bus;
}

int RunWithoutWindow(const quillon::CommandLineOptions& options,
                     const quillon::ProgramFolder& folder)
{
    quillon::SystemClock clock;
    quillon::StreamDesktop desktop(std::cerr);
    quillon::ChosenBus bus = SelectBus(folder, clock, desktop);
    // The message that says why has just been printed; a script must not
    // mistake the fallback for a measurement or a listing.
    if (bus.unusable) return quillon::kExitMeterNotOpened;
    // Without a caption to mark, the simulated bus says so on every use.
    const std::string notice = quillon::ChosenDriver(bus).ListNotice();
    if (bus.messages.empty() && !notice.empty()) desktop.ShowMessage(notice, {}, {});

    if (options.mode == quillon::ProgramMode::List)
        return quillon::ListFromCommandLine(desktop, std::cout);
    const quillon::MeasurementSettingsValues settings =
        quillon::SettingsValues(quillon::InitialSettings(folder));
    const quillon::StopSignals stopSignals;
    if (options.mode == quillon::ProgramMode::Correct)
        return quillon::CorrectFromCommandLine(
            quillon::Environment{clock, folder, desktop}, settings,
            *options.correct == "open" ? quillon::CorrectionStandard::Open
                                       : quillon::CorrectionStandard::Short,
            options.spot ? quillon::CorrectionSpan::Spot : quillon::CorrectionSpan::AllFrequencies,
            bus.probeMover, stopSignals, {std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1});
    return quillon::RunFromCommandLine(
        quillon::Environment{clock, folder, desktop}, settings,
        {options.saveFile, BusDescription(bus), options.sample, options.note}, stopSignals,
        {std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1});
}

int RunWindow(const quillon::ProgramFolder& folder, const std::optional<std::string>& folderProblem)
{
    quillon::SystemClock clock;
    quillon::QtDesktop desktop;
    if (folderProblem) desktop.ShowMessage(*folderProblem, {}, quillon::MessageIcon::Exclamation);
    quillon::ChosenBus bus = SelectBus(folder, clock, desktop);

    quillon::FormLCR window(quillon::Environment{clock, folder, desktop});
    window.SetBusDescription(BusDescription(bus));
    window.SetProbeMover(bus.probeMover);
    const quillon::StopSignals stopSignals;
    const quillon::SignalQuit signalQuit(stopSignals, window, &QCoreApplication::exit);
    const quillon::ExitDuringRunGuard exitGuard(window, clock);
    window.show();
    return QApplication::exec();
}

}  // namespace

int main(int argc, char* argv[])
{
    const auto parsed = quillon::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto* wrong = std::get_if<quillon::WrongOption>(&parsed)) {
        std::cerr << wrong->message << '\n';
        return quillon::kExitWrongOption;
    }
    const auto& options = std::get<quillon::CommandLineOptions>(parsed);
    if (options.mode == quillon::ProgramMode::Version) {
        std::cout << quillon::VersionText() << '\n';
        return 0;
    }

    // --run and --list must work without a display, and so must --help.
    const bool window = options.mode == quillon::ProgramMode::Window;
    quillon::InstallQtMessageFilter();
    const std::unique_ptr<QCoreApplication> application =
        window ? std::make_unique<QApplication>(argc, argv)
               : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName("quillon");

    const quillon::FilesFolder files = quillon::ChooseFilesFolder(
        {options.folder, quillon::ExecutableFolder().Path(), quillon::UserDataFolder()});
    if (options.mode == quillon::ProgramMode::Help) {
        std::cout << quillon::HelpText("Files: " + files.path + ", " +
                                       quillon::DescribeFilesFolder(files) + ".");
        return 0;
    }
    const std::optional<std::string> folderProblem = quillon::CreateFilesFolder(files.path);
    if (folderProblem && files.reason == quillon::FilesFolderReason::Named) {
        std::cerr << "quillon: --folder: " << *folderProblem << '\n';
        return quillon::kExitWrongOption;
    }
    if (folderProblem && !window) std::cerr << "quillon: " << *folderProblem << '\n';
    const quillon::FixedFolder folder(files.path);

    if (!window) return RunWithoutWindow(options, folder);
    return RunWindow(folder, folderProblem);
}
