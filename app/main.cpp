#include <QApplication>
#include <string>

#include "app/bus_choice.h"
#include "app/main_window.h"
#include "gpib/gpib_binding.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/qt_desktop.h"

namespace {

// How the program reaches the bus, as the CSV data files record it.
std::string BusDescription(const quillon::ChosenBus& bus)
{
    if (bus.library) return "GPIB driver library " + bus.library->path();
    if (bus.prologix) return "Prologix adapter " + bus.prologix->adapterName();
    return "simulated";
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName("quillon");

    quillon::SystemClock clock;
    quillon::ExecutableFolder programFolder;
    quillon::QtDesktop desktop;

    // The bus is chosen here, once, from the settings file; everything else
    // talks to the binding.
    quillon::ChosenBus bus = quillon::ChooseBus(programFolder, clock);
    quillon::SelectGpibDriver(quillon::ChosenDriver(bus));
    for (const std::string& message : bus.messages)
        desktop.ShowMessage(message, {}, quillon::MessageIcon::Exclamation);

    quillon::FormLCR window(quillon::Environment{clock, programFolder, desktop});
    window.SetBusDescription(BusDescription(bus));
    window.show();
    return application.exec();
}
