#include <QApplication>

#include "platform/environment.h"
#include "app/main_window.h"
#include "gpib/gpib_binding.h"
#include "platform/clock.h"
#include "platform/qt_desktop.h"
#include "sim/simulated_lab.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName("quillon");

    // The bus is chosen here, once; everything else talks to the binding.
    quillon::SystemClock clock;
    quillon::SimulatedLab lab = quillon::MakeSimulatedLab(clock);
    quillon::SelectGpibDriver(*lab.bus);

    quillon::ExecutableFolder programFolder;
    quillon::QtDesktop desktop;
    quillon::FormLCR window(quillon::Environment{clock, programFolder, desktop});
    window.show();
    return application.exec();
}
