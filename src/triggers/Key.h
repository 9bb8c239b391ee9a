#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <optional>
#include <span>

namespace pierline {

// The named keys, in their fixed order (the order is the ordinal other tables rely on).
// `return` and `delete` are C++ keywords, hence the trailing underscore on those two.
enum class Key {
    a,
    b,
    c,
    d,
    e,
    f,
    g,
    h,
    i,
    j,
    k,
    l,
    m,
    n,
    o,
    p,
    q,
    r,
    s,
    t,
    u,
    v,
    w,
    x,
    y,
    z,
    zero,
    one,
    two,
    three,
    four,
    five,
    six,
    seven,
    eight,
    nine,
    period,
    quote,
    rightBracket,
    semicolon,
    slash,
    backslash,
    comma,
    equal,
    grave,
    leftBracket,
    minus,
    section,
    space,
    tab,
    return_,
    command,
    rightCommand,
    option,
    rightOption,
    control,
    rightControl,
    shift,
    rightShift,
    function,
    capsLock,
    pageUp,
    pageDown,
    home,
    end,
    upArrow,
    rightArrow,
    downArrow,
    leftArrow,
    f1,
    f2,
    f3,
    f4,
    f5,
    f6,
    f7,
    f8,
    f9,
    f10,
    f11,
    f12,
    f13,
    f14,
    f15,
    f16,
    f17,
    f18,
    f19,
    f20,
    keypad0,
    keypad1,
    keypad2,
    keypad3,
    keypad4,
    keypad5,
    keypad6,
    keypad7,
    keypad8,
    keypad9,
    keypadClear,
    keypadDecimal,
    keypadDivide,
    keypadEnter,
    keypadEquals,
    keypadMinus,
    keypadMultiply,
    keypadPlus,
    escape,
    delete_,
    forwardDelete,
    help,
    volumeUp,
    volumeDown,
    mute
};

inline constexpr int kKeyCount = 114;

// Every key, in order.
std::span<const Key> allKeys();

// The Carbon virtual key code of the key.
quint32 carbonKeyCode(Key key);
// The key a Carbon virtual key code names; nullopt for codes no key names.
std::optional<Key> keyForCarbonKeyCode(quint32 carbonKeyCode);

// The text that shows the key to the user ("A", "⌥", "↩︎", "F1" with its grouping mark).
QString keyDisplayText(Key key);

// The key's case name as written in command lines and logs ("one", "f8", "option", "return").
QString keyCaseName(Key key);
// The key of a case name, ignoring letter case; nullopt for an unknown name.
std::optional<Key> keyForCaseName(QStringView name);

} // namespace pierline
