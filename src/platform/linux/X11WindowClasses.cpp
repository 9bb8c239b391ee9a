#include "platform/linux/X11Backend.h"

#include <QByteArray>
#include <QList>
#include <QScopeGuard>
#include <cstdlib>
#include <unistd.h>
#include <xcb/xcb.h>

namespace pierline {

// WM_CLASS names (instance and class) of the windows the window manager lists, by the pid each
// window gives. `answered` is false when there is no display or no window manager list.
QHash<qint64, QStringList> x11::windowClassesByPid(bool* answered) {
    *answered = false;
    QHash<qint64, QStringList> out;
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    const auto done = qScopeGuard([&] { xcb_disconnect(connection); });
    if (xcb_connection_has_error(connection))
        return out;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem)
        return out;
    const xcb_window_t root = screens.data->root;

    const auto atom = [&](const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 1, static_cast<uint16_t>(qstrlen(name)), name), nullptr);
        const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        return value;
    };
    const xcb_atom_t clientList = atom("_NET_CLIENT_LIST");
    const xcb_atom_t wmPid = atom("_NET_WM_PID");
    if (clientList == XCB_ATOM_NONE || wmPid == XCB_ATOM_NONE)
        return out;
    xcb_get_property_reply_t* list = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, root, clientList, XCB_ATOM_WINDOW, 0, 1 << 16), nullptr);
    if (!list || list->type != XCB_ATOM_WINDOW || list->format != 32) {
        free(list);
        return out;
    }
    *answered = true;
    const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(list));
    const int count = xcb_get_property_value_length(list) / 4;

    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    struct Cookies {
        xcb_get_property_cookie_t pid, wmClass, machine;
    };
    QList<Cookies> cookies;
    for (int i = 0; i < count; ++i)
        cookies.append(
            {xcb_get_property(connection, 0, windows[i], wmPid, XCB_ATOM_CARDINAL, 0, 1),
             xcb_get_property(connection, 0, windows[i], XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256),
             xcb_get_property(connection, 0, windows[i], XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 0, 64)});
    free(list);
    const auto text = [](xcb_get_property_reply_t* reply) {
        return reply ? QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                                  xcb_get_property_value_length(reply))
                     : QByteArray();
    };
    for (const Cookies& c : cookies) {
        xcb_get_property_reply_t* pid = xcb_get_property_reply(connection, c.pid, nullptr);
        xcb_get_property_reply_t* wmClass = xcb_get_property_reply(connection, c.wmClass, nullptr);
        xcb_get_property_reply_t* machine = xcb_get_property_reply(connection, c.machine, nullptr);
        const QByteArray machineName = text(machine);
        // A window of another machine gives a pid of that machine.
        const bool local = machineName.isEmpty() || machineName.split('\0').value(0) == host;
        if (local && pid && pid->format == 32 && xcb_get_property_value_length(pid) == 4) {
            const qint64 value = *static_cast<const uint32_t*>(xcb_get_property_value(pid));
            for (const QByteArray& part : text(wmClass).split('\0'))
                if (!part.isEmpty())
                    out[value].append(QString::fromUtf8(part));
        }
        free(pid);
        free(wmClass);
        free(machine);
    }
    return out;
}

} // namespace pierline
