#pragma once

#include <QtGlobal>

namespace pierline::x11 {

// The keysym a Carbon key code stands for on an X keyboard; 0 when the key has none.
unsigned long keysymForCarbonKeyCode(quint32 carbonKeyCode);
// That keysym's name ("Return", "KP_1", "XF86AudioMute"); nullptr when the key has none. Kept here
// rather than asked of Xlib, so naming a key loads no X library.
const char* keysymNameForCarbonKeyCode(quint32 carbonKeyCode);

// The Carbon key code (54-62) of a modifier keysym; 0 for any other keysym.
quint16 carbonModifierCodeForKeysym(unsigned long keysym);

// The Cocoa flag a modifier key (Carbon code 54-62) holds down; 0 for any other code.
quint64 cocoaFlagOfModifierCode(quint32 carbonKeyCode);

} // namespace pierline::x11
