// A stand-in for a windowed app: maps one window with the WM_CLASS given as argv[1] and our pid,
// and, standing in for the window manager, lists it in the root's _NET_CLIENT_LIST. Prints "ready"
// once listed; when stdin closes it takes the window off the list and exits.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return value;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CLASS\n", argv[0]);
        return 2;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "no display\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, root, 0, 0, 50, 50, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    const std::string wmClass = std::string("instance") + '\0' + argv[1] + '\0';
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        static_cast<uint32_t>(wmClass.size()), wmClass.data());
    const uint32_t pid = static_cast<uint32_t>(::getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
    xcb_map_window(c, window);
    const xcb_atom_t clientList = atom(c, "_NET_CLIENT_LIST");
    xcb_change_property(c, XCB_PROP_MODE_APPEND, root, clientList, XCB_ATOM_WINDOW, 32, 1, &window);
    // A round trip: the server holds all of it before we say ready.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    std::printf("ready\n");
    std::fflush(stdout);

    char buffer[64];
    while (::read(0, buffer, sizeof buffer) > 0) {
    }

    // Off the list again, keeping any other window on it.
    xcb_get_property_reply_t* list =
        xcb_get_property_reply(c, xcb_get_property(c, 0, root, clientList, XCB_ATOM_WINDOW, 0, 1 << 16), nullptr);
    std::vector<xcb_window_t> rest;
    if (list && list->format == 32) {
        const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(list));
        for (int i = 0; i < xcb_get_property_value_length(list) / 4; ++i)
            if (windows[i] != window)
                rest.push_back(windows[i]);
    }
    std::free(list);
    if (rest.empty())
        xcb_delete_property(c, root, clientList);
    else
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, clientList, XCB_ATOM_WINDOW, 32,
                            static_cast<uint32_t>(rest.size()), rest.data());
    xcb_disconnect(c);
    return 0;
}
