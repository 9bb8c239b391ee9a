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

} // namespace pierline::test
