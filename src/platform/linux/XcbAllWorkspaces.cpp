#include "platform/AllWorkspaces.h"

#include <QGuiApplication>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

namespace pierline {

bool showOnAllWorkspaces(QWindow& window, QString* error) {
    // Through Qt's own connection, so the request follows the window's creation. Other platforms
    // (offscreen among them) may offer the interface without a connection.
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection =
        x11 && QGuiApplication::platformName() == QLatin1String("xcb") ? x11->connection() : nullptr;
    if (!connection) {
        if (error)
            *error = QStringLiteral("the window system is not X11");
        return false;
    }
    const QByteArray name("_NET_WM_DESKTOP");
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.constData()), nullptr);
    if (!atom) {
        if (error)
            *error = QStringLiteral("the X server did not name _NET_WM_DESKTOP");
        return false;
    }
    const uint32_t allDesktops = 0xFFFFFFFFu;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window.winId()), atom->atom,
                        XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
    free(atom);
    xcb_flush(connection);
    return true;
}

} // namespace pierline
