#include "platform/linux/X11Backend.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>
#include <xcb/xcb.h>

namespace pierline {
namespace {

struct ConnectionCloser {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply(xcb_intern_atom_reply(connection, cookie, nullptr),
                                                                    &free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

} // namespace

bool x11::setSkipTaskbar(quintptr nativeWindow, bool skip, QString* error) {
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    int screenNumber = 0;
    std::unique_ptr<xcb_connection_t, ConnectionCloser> connection(xcb_connect(nullptr, &screenNumber));
    if (!connection || xcb_connection_has_error(connection.get()))
        return fail(QStringLiteral("cannot reach the X display"));
    xcb_connection_t* c = connection.get();
    const auto window = static_cast<xcb_window_t>(nativeWindow);
    const xcb_atom_t state = atom(c, "_NET_WM_STATE");
    const xcb_atom_t skipTaskbar = atom(c, "_NET_WM_STATE_SKIP_TASKBAR");
    if (state == XCB_ATOM_NONE || skipTaskbar == XCB_ATOM_NONE)
        return fail(QStringLiteral("the display has no window states"));

    std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&free)> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr), &free);
    if (!attributes)
        return fail(QStringLiteral("no such window"));

    if (attributes->map_state == XCB_MAP_STATE_UNMAPPED) {
        // Before the first map the client owns the property; Qt adds its own states to it.
        std::unique_ptr<xcb_get_property_reply_t, decltype(&free)> current(
            xcb_get_property_reply(c, xcb_get_property(c, 0, window, state, XCB_ATOM_ATOM, 0, 64), nullptr), &free);
        std::vector<xcb_atom_t> atoms;
        if (current && current->format == 32) {
            const auto* values = static_cast<const xcb_atom_t*>(xcb_get_property_value(current.get()));
            atoms.assign(values, values + xcb_get_property_value_length(current.get()) / 4);
        }
        std::erase(atoms, skipTaskbar);
        if (skip)
            atoms.push_back(skipTaskbar);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, state, XCB_ATOM_ATOM, 32,
                            static_cast<uint32_t>(atoms.size()), atoms.data());
    } else {
        // A mapped window's states belong to the window manager: ask it.
        const xcb_setup_t* setup = xcb_get_setup(c);
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
        for (int i = 0; i < screenNumber && screens.rem; ++i)
            xcb_screen_next(&screens);
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = state;
        event.data.data32[0] = skip ? 1 : 0; // _NET_WM_STATE_ADD / _REMOVE
        event.data.data32[1] = skipTaskbar;
        event.data.data32[3] = 1; // a normal application
        xcb_send_event(c, 0, screens.data->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
    }
    // A round trip: the server has taken the change before the window is mapped on Qt's connection.
    std::unique_ptr<xcb_get_input_focus_reply_t, decltype(&free)> synced(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr), &free);
    if (!synced || xcb_connection_has_error(c))
        return fail(QStringLiteral("the display connection failed"));
    return true;
}

} // namespace pierline
