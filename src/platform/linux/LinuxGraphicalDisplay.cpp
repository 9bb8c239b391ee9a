#include "platform/GraphicalDisplay.h"

#include "platform/linux/X11Backend.h"

#include <QtGlobal>

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
    const x11::Backend* x = x11::backend();
    return x && x->displayOpens();
}

} // namespace pierline
