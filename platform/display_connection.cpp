#include "platform/display_connection.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <QGuiApplication>

namespace quillon {

bool DisplayConnectionLost()
{
    const auto* guiApplication = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!guiApplication) return false;
    const auto* x11 = guiApplication->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return false;
    xcb_connection_t* connection = x11->connection();
    if (xcb_connection_has_error(connection)) return true;
    // xcb learns of a server that went away only when it next reads or
    // writes, which Qt does inside its event loop and then ends the process
    // at once. The socket says so before: the server's end is closed. Nothing
    // is read from it here.
    pollfd socket{xcb_get_file_descriptor(connection), POLLRDHUP, 0};
    return ::poll(&socket, 1, 0) == 1 && (socket.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

}  // namespace quillon
