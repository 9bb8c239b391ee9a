#pragma once

// Key sequences typed on the test display with XTest.
#include <initializer_list>
#include <utility>
#include <vector>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace pierline::test {

using Keys = std::vector<std::pair<KeySym, bool>>; // keysym, down

inline Keys chord(std::initializer_list<KeySym> modifiers, KeySym key) {
    Keys keys;
    for (KeySym m : modifiers)
        keys.emplace_back(m, true);
    keys.emplace_back(key, true);
    keys.emplace_back(key, false);
    for (KeySym m : modifiers)
        keys.emplace_back(m, false);
    return keys;
}

inline Keys operator+(Keys first, const Keys& then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

inline void type(Display* display, const Keys& keys) {
    for (const auto& [sym, down] : keys)
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, sym), down, CurrentTime);
    XSync(display, False);
}

// Whether another client grabs `key` with `modifiers` on the root window: our own grab of it is
// refused with BadAccess then. Lets a suite wait for the app's hotkeys before it types them.
inline bool keyGrabbedElsewhere(Display* display, KeySym key, unsigned int modifiers) {
    static bool refused = false;
    refused = false;
    XSync(display, False);
    XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent* error) {
        if (error->error_code == BadAccess)
            refused = true;
        return 0;
    });
    const Window root = DefaultRootWindow(display);
    const KeyCode code = XKeysymToKeycode(display, key);
    XGrabKey(display, code, modifiers, root, False, GrabModeAsync, GrabModeAsync);
    XSync(display, False);
    if (!refused)
        XUngrabKey(display, code, modifiers, root);
    XSync(display, False);
    XSetErrorHandler(previous);
    return refused;
}

// Windows of the app under test come and go while a suite looks at them: a request on one that
// has just closed fails with BadWindow, which Xlib's default handler turns into an exit. Within
// this scope such errors are ignored and the request simply reports failure.
class IgnoreWindowErrors {
public:
    explicit IgnoreWindowErrors(Display* display) : display_(display) {
        XSync(display_, False);
        previous_ = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    }
    ~IgnoreWindowErrors() {
        XSync(display_, False);
        XSetErrorHandler(previous_);
    }
    IgnoreWindowErrors(const IgnoreWindowErrors&) = delete;
    IgnoreWindowErrors& operator=(const IgnoreWindowErrors&) = delete;

private:
    Display* display_;
    XErrorHandler previous_ = nullptr;
};

// The shown window that holds the keyboard (a box, say); 0 when there is none. A closed window
// hands the focus back to the root.
inline Window focusedShownWindow(Display* display) {
    const IgnoreWindowErrors closing(display);
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    if (focus == None || focus == PointerRoot || focus == DefaultRootWindow(display))
        return 0;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, focus, &attributes) || attributes.map_state != IsViewable)
        return 0;
    return focus;
}

} // namespace pierline::test
