#include "platform/GraphicalDisplay.h"

#include <QByteArray>
#include <QtGlobal>
#include <X11/Xlib.h>

namespace pierline {

bool graphicalDisplayReachable() {
    // A platform plugin chosen by hand (offscreen in tests) needs no server.
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    // Opening a connection is the only sure test: a stale DISPLAY would abort QApplication.
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XCloseDisplay(display);
    return true;
}

} // namespace pierline
