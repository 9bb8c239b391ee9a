#include "platform/linux/X11Backend.h"

#include <X11/Xlib.h>

namespace pierline::x11 {
namespace {

bool displayOpens() {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XCloseDisplay(display);
    return true;
}

} // namespace
} // namespace pierline::x11

extern "C" Q_DECL_EXPORT const pierline::x11::Backend* pierlineX11Backend() {
    using namespace pierline::x11;
    static const Backend table{
        kBackendVersion,         &createHotkeyRegistrar, &createModifierMonitor, &createKeyboardRecorder,
        &createWorkspaceWatcher, &displayOpens,          &windowClassesByPid,    &setSkipTaskbar,
    };
    return &table;
}
