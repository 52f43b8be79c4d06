#include "platform/display_connection.h"

#include <xcb/xcb.h>

#include <QGuiApplication>

namespace quillon {

bool DisplayConnectionLost()
{
    const auto* guiApplication = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!guiApplication) return false;
    const auto* x11 = guiApplication->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return false;
    return xcb_connection_has_error(x11->connection()) != 0;
}

}  // namespace quillon
