#include <QApplication>

#include "app/main_window.h"
#include "bus/bus_choice.h"
#include "gpib/gpib_binding.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/qt_desktop.h"

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
    window.show();
    return application.exec();
}
