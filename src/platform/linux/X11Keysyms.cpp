#include "platform/linux/X11Keysyms.h"

#include "platform/ModifierMonitor.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>

#include <array>

namespace pierline::x11 {
namespace {

struct Mapping {
    quint32 carbonKeyCode;
    unsigned long keysym;
    const char* name; // the keysym's name, as the desktop's accelerators spell it
};

// Carbon virtual key codes and the X keysym of the same key. A Mac key with no PC counterpart
// (fn) is absent; the modifiers map command to Super, option to Alt.
constexpr std::array kTable{
    Mapping{0x00, XK_a, "a"},
    Mapping{0x01, XK_s, "s"},
    Mapping{0x02, XK_d, "d"},
    Mapping{0x03, XK_f, "f"},
    Mapping{0x04, XK_h, "h"},
    Mapping{0x05, XK_g, "g"},
    Mapping{0x06, XK_z, "z"},
    Mapping{0x07, XK_x, "x"},
    Mapping{0x08, XK_c, "c"},
    Mapping{0x09, XK_v, "v"},
    Mapping{0x0A, XK_section, "section"},
    Mapping{0x0B, XK_b, "b"},
    Mapping{0x0C, XK_q, "q"},
    Mapping{0x0D, XK_w, "w"},
    Mapping{0x0E, XK_e, "e"},
    Mapping{0x0F, XK_r, "r"},
    Mapping{0x10, XK_y, "y"},
    Mapping{0x11, XK_t, "t"},
    Mapping{0x12, XK_1, "1"},
    Mapping{0x13, XK_2, "2"},
    Mapping{0x14, XK_3, "3"},
    Mapping{0x15, XK_4, "4"},
    Mapping{0x16, XK_6, "6"},
    Mapping{0x17, XK_5, "5"},
    Mapping{0x18, XK_equal, "equal"},
    Mapping{0x19, XK_9, "9"},
    Mapping{0x1A, XK_7, "7"},
    Mapping{0x1B, XK_minus, "minus"},
    Mapping{0x1C, XK_8, "8"},
    Mapping{0x1D, XK_0, "0"},
    Mapping{0x1E, XK_bracketright, "bracketright"},
    Mapping{0x1F, XK_o, "o"},
    Mapping{0x20, XK_u, "u"},
    Mapping{0x21, XK_bracketleft, "bracketleft"},
    Mapping{0x22, XK_i, "i"},
    Mapping{0x23, XK_p, "p"},
    Mapping{0x24, XK_Return, "Return"},
    Mapping{0x25, XK_l, "l"},
    Mapping{0x26, XK_j, "j"},
    Mapping{0x27, XK_apostrophe, "apostrophe"},
    Mapping{0x28, XK_k, "k"},
    Mapping{0x29, XK_semicolon, "semicolon"},
    Mapping{0x2A, XK_backslash, "backslash"},
    Mapping{0x2B, XK_comma, "comma"},
    Mapping{0x2C, XK_slash, "slash"},
    Mapping{0x2D, XK_n, "n"},
    Mapping{0x2E, XK_m, "m"},
    Mapping{0x2F, XK_period, "period"},
    Mapping{0x30, XK_Tab, "Tab"},
    Mapping{0x31, XK_space, "space"},
    Mapping{0x32, XK_grave, "grave"},
    Mapping{0x33, XK_BackSpace, "BackSpace"},
    Mapping{0x35, XK_Escape, "Escape"},
    Mapping{0x36, XK_Super_R, "Super_R"},
    Mapping{0x37, XK_Super_L, "Super_L"},
    Mapping{0x38, XK_Shift_L, "Shift_L"},
    Mapping{0x39, XK_Caps_Lock, "Caps_Lock"},
    Mapping{0x3A, XK_Alt_L, "Alt_L"},
    Mapping{0x3B, XK_Control_L, "Control_L"},
    Mapping{0x3C, XK_Shift_R, "Shift_R"},
    Mapping{0x3D, XK_Alt_R, "Alt_R"},
    Mapping{0x3E, XK_Control_R, "Control_R"},
    Mapping{0x40, XK_F17, "F17"},
    Mapping{0x41, XK_KP_Decimal, "KP_Decimal"},
    Mapping{0x43, XK_KP_Multiply, "KP_Multiply"},
    Mapping{0x45, XK_KP_Add, "KP_Add"},
    Mapping{0x47, XK_Clear, "Clear"},
    Mapping{0x48, XF86XK_AudioRaiseVolume, "XF86AudioRaiseVolume"},
    Mapping{0x49, XF86XK_AudioLowerVolume, "XF86AudioLowerVolume"},
    Mapping{0x4A, XF86XK_AudioMute, "XF86AudioMute"},
    Mapping{0x4B, XK_KP_Divide, "KP_Divide"},
    Mapping{0x4C, XK_KP_Enter, "KP_Enter"},
    Mapping{0x4E, XK_KP_Subtract, "KP_Subtract"},
    Mapping{0x4F, XK_F18, "F18"},
    Mapping{0x50, XK_F19, "F19"},
    Mapping{0x51, XK_KP_Equal, "KP_Equal"},
    Mapping{0x52, XK_KP_0, "KP_0"},
    Mapping{0x53, XK_KP_1, "KP_1"},
    Mapping{0x54, XK_KP_2, "KP_2"},
    Mapping{0x55, XK_KP_3, "KP_3"},
    Mapping{0x56, XK_KP_4, "KP_4"},
    Mapping{0x57, XK_KP_5, "KP_5"},
    Mapping{0x58, XK_KP_6, "KP_6"},
    Mapping{0x59, XK_KP_7, "KP_7"},
    Mapping{0x5A, XK_F20, "F20"},
    Mapping{0x5B, XK_KP_8, "KP_8"},
    Mapping{0x5C, XK_KP_9, "KP_9"},
    Mapping{0x60, XK_F5, "F5"},
    Mapping{0x61, XK_F6, "F6"},
    Mapping{0x62, XK_F7, "F7"},
    Mapping{0x63, XK_F3, "F3"},
    Mapping{0x64, XK_F8, "F8"},
    Mapping{0x65, XK_F9, "F9"},
    Mapping{0x67, XK_F11, "F11"},
    Mapping{0x69, XK_F13, "F13"},
    Mapping{0x6A, XK_F16, "F16"},
    Mapping{0x6B, XK_F14, "F14"},
    Mapping{0x6D, XK_F10, "F10"},
    Mapping{0x6F, XK_F12, "F12"},
    Mapping{0x71, XK_F15, "F15"},
    Mapping{0x72, XK_Help, "Help"},
    Mapping{0x73, XK_Home, "Home"},
    Mapping{0x74, XK_Prior, "Prior"},
    Mapping{0x75, XK_Delete, "Delete"},
    Mapping{0x76, XK_F4, "F4"},
    Mapping{0x77, XK_End, "End"},
    Mapping{0x78, XK_F2, "F2"},
    Mapping{0x79, XK_Next, "Next"},
    Mapping{0x7A, XK_F1, "F1"},
    Mapping{0x7B, XK_Left, "Left"},
    Mapping{0x7C, XK_Right, "Right"},
    Mapping{0x7D, XK_Down, "Down"},
    Mapping{0x7E, XK_Up, "Up"},
};

} // namespace

unsigned long keysymForCarbonKeyCode(quint32 carbonKeyCode) {
    for (const Mapping& m : kTable)
        if (m.carbonKeyCode == carbonKeyCode)
            return m.keysym;
    return 0;
}

const char* keysymNameForCarbonKeyCode(quint32 carbonKeyCode) {
    for (const Mapping& m : kTable)
        if (m.carbonKeyCode == carbonKeyCode)
            return m.name;
    return nullptr;
}

quint16 carbonModifierCodeForKeysym(unsigned long keysym) {
    if (keysym == 0)
        return 0;
    for (const Mapping& m : kTable)
        if (m.keysym == keysym && m.carbonKeyCode >= 54 && m.carbonKeyCode <= 62)
            return static_cast<quint16>(m.carbonKeyCode);
    return 0;
}

quint64 cocoaFlagOfModifierCode(quint32 carbonKeyCode) {
    switch (carbonKeyCode) {
    case 54:
    case 55:
        return kCocoaCommandFlag;
    case 56:
    case 60:
        return kCocoaShiftFlag;
    case 57:
        return kCocoaCapsLockFlag;
    case 58:
    case 61:
        return kCocoaOptionFlag;
    case 59:
    case 62:
        return kCocoaControlFlag;
    default:
        return 0;
    }
}

} // namespace pierline::x11
