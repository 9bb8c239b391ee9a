#include "triggers/Key.h"

#include <array>

namespace pierline {
namespace {

struct KeyInfo {
    Key key;
    const char* caseName;
    quint32 carbonKeyCode; // the kVK_ constant of the same name
    QStringView display;
};

// One row per key, in the order of the enumeration.
constexpr std::array<KeyInfo, kKeyCount> kKeys{{
    {Key::a, "a", 0, u"A"},
    {Key::b, "b", 11, u"B"},
    {Key::c, "c", 8, u"C"},
    {Key::d, "d", 2, u"D"},
    {Key::e, "e", 14, u"E"},
    {Key::f, "f", 3, u"F"},
    {Key::g, "g", 5, u"G"},
    {Key::h, "h", 4, u"H"},
    {Key::i, "i", 34, u"I"},
    {Key::j, "j", 38, u"J"},
    {Key::k, "k", 40, u"K"},
    {Key::l, "l", 37, u"L"},
    {Key::m, "m", 46, u"M"},
    {Key::n, "n", 45, u"N"},
    {Key::o, "o", 31, u"O"},
    {Key::p, "p", 35, u"P"},
    {Key::q, "q", 12, u"Q"},
    {Key::r, "r", 15, u"R"},
    {Key::s, "s", 1, u"S"},
    {Key::t, "t", 17, u"T"},
    {Key::u, "u", 32, u"U"},
    {Key::v, "v", 9, u"V"},
    {Key::w, "w", 13, u"W"},
    {Key::x, "x", 7, u"X"},
    {Key::y, "y", 16, u"Y"},
    {Key::z, "z", 6, u"Z"},
    {Key::zero, "zero", 29, u"0"},
    {Key::one, "one", 18, u"1"},
    {Key::two, "two", 19, u"2"},
    {Key::three, "three", 20, u"3"},
    {Key::four, "four", 21, u"4"},
    {Key::five, "five", 23, u"5"},
    {Key::six, "six", 22, u"6"},
    {Key::seven, "seven", 26, u"7"},
    {Key::eight, "eight", 28, u"8"},
    {Key::nine, "nine", 25, u"9"},
    {Key::period, "period", 47, u"."},
    {Key::quote, "quote", 39, u"\""},
    {Key::rightBracket, "rightBracket", 30, u"]"},
    {Key::semicolon, "semicolon", 41, u";"},
    {Key::slash, "slash", 44, u"/"},
    {Key::backslash, "backslash", 42, u"\\"},
    {Key::comma, "comma", 43, u","},
    {Key::equal, "equal", 24, u"="},
    {Key::grave, "grave", 50, u"`"},
    {Key::leftBracket, "leftBracket", 33, u"["},
    {Key::minus, "minus", 27, u"-"},
    {Key::section, "section", 10, u"\u00A7"},
    {Key::space, "space", 49, u"\u2423"},
    {Key::tab, "tab", 48, u"\u21E5"},
    {Key::return_, "return", 36, u"\u21A9\uFE0E"},
    {Key::command, "command", 55, u"\u2318"},
    {Key::rightCommand, "rightCommand", 54, u"\u2318"},
    {Key::option, "option", 58, u"\u2325"},
    {Key::rightOption, "rightOption", 61, u"\u2325"},
    {Key::control, "control", 59, u"\u2303"},
    {Key::rightControl, "rightControl", 62, u"\u2303"},
    {Key::shift, "shift", 56, u"\u21E7"},
    {Key::rightShift, "rightShift", 60, u"\u21E7"},
    {Key::function, "function", 63, u"fn"},
    {Key::capsLock, "capsLock", 57, u"\u21EA"},
    {Key::pageUp, "pageUp", 116, u"\u21DE"},
    {Key::pageDown, "pageDown", 121, u"\u21DF"},
    {Key::home, "home", 115, u"\u2196"},
    {Key::end, "end", 119, u"\u2198"},
    {Key::upArrow, "upArrow", 126, u"\u2191"},
    {Key::rightArrow, "rightArrow", 124, u"\u2192"},
    {Key::downArrow, "downArrow", 125, u"\u2193"},
    {Key::leftArrow, "leftArrow", 123, u"\u2190"},
    {Key::f1, "f1", 122, u"\uF860F1"},
    {Key::f2, "f2", 120, u"\uF860F2"},
    {Key::f3, "f3", 99, u"\uF860F3"},
    {Key::f4, "f4", 118, u"\uF860F4"},
    {Key::f5, "f5", 96, u"\uF860F5"},
    {Key::f6, "f6", 97, u"\uF860F6"},
    {Key::f7, "f7", 98, u"\uF860F7"},
    {Key::f8, "f8", 100, u"\uF860F8"},
    {Key::f9, "f9", 101, u"\uF860F9"},
    {Key::f10, "f10", 109, u"\uF861F10"},
    {Key::f11, "f11", 103, u"\uF861F11"},
    {Key::f12, "f12", 111, u"\uF861F12"},
    {Key::f13, "f13", 105, u"\uF861F13"},
    {Key::f14, "f14", 107, u"\uF861F14"},
    {Key::f15, "f15", 113, u"\uF861F15"},
    {Key::f16, "f16", 106, u"\uF861F16"},
    {Key::f17, "f17", 64, u"\uF861F17"},
    {Key::f18, "f18", 79, u"\uF861F18"},
    {Key::f19, "f19", 80, u"\uF861F19"},
    {Key::f20, "f20", 90, u"\uF861F20"},
    {Key::keypad0, "keypad0", 82, u"0"},
    {Key::keypad1, "keypad1", 83, u"1"},
    {Key::keypad2, "keypad2", 84, u"2"},
    {Key::keypad3, "keypad3", 85, u"3"},
    {Key::keypad4, "keypad4", 86, u"4"},
    {Key::keypad5, "keypad5", 87, u"5"},
    {Key::keypad6, "keypad6", 88, u"6"},
    {Key::keypad7, "keypad7", 89, u"7"},
    {Key::keypad8, "keypad8", 91, u"8"},
    {Key::keypad9, "keypad9", 92, u"9"},
    {Key::keypadClear, "keypadClear", 71, u"\u2327"},
    {Key::keypadDecimal, "keypadDecimal", 65, u"."},
    {Key::keypadDivide, "keypadDivide", 75, u"/"},
    {Key::keypadEnter, "keypadEnter", 76, u"\u21A9\uFE0E"},
    {Key::keypadEquals, "keypadEquals", 81, u"="},
    {Key::keypadMinus, "keypadMinus", 78, u"-"},
    {Key::keypadMultiply, "keypadMultiply", 67, u"\U0001D5D1"},
    {Key::keypadPlus, "keypadPlus", 69, u"+"},
    {Key::escape, "escape", 53, u"\u238B"},
    {Key::delete_, "delete", 51, u"\u232B"},
    {Key::forwardDelete, "forwardDelete", 117, u"\u2326"},
    {Key::help, "help", 114, u"?\u20DD"},
    {Key::volumeUp, "volumeUp", 72, u"\U0001F50A"},
    {Key::volumeDown, "volumeDown", 73, u"\U0001F509"},
    {Key::mute, "mute", 74, u"\U0001F507"},
}};

constexpr bool tableFollowsEnumeration() {
    for (int i = 0; i < kKeyCount; ++i)
        if (static_cast<int>(kKeys[i].key) != i)
            return false;
    return true;
}
static_assert(tableFollowsEnumeration(), "each key's row sits at the key's ordinal");

constexpr std::array<Key, kKeyCount> makeAllKeys() {
    std::array<Key, kKeyCount> keys{};
    for (int i = 0; i < kKeyCount; ++i)
        keys[i] = kKeys[i].key;
    return keys;
}
constexpr std::array<Key, kKeyCount> kAllKeys = makeAllKeys();

// Carbon key codes run from 0 to 126; the slot holds the key's ordinal plus one, 0 for none.
constexpr std::array<quint8, 127> makeKeyByCode() {
    std::array<quint8, 127> byCode{};
    for (int i = 0; i < kKeyCount; ++i)
        byCode[kKeys[i].carbonKeyCode] = static_cast<quint8>(i + 1);
    return byCode;
}
constexpr std::array<quint8, 127> kKeyByCode = makeKeyByCode();

const KeyInfo& info(Key key) {
    return kKeys[static_cast<std::size_t>(key)];
}

} // namespace

std::span<const Key> allKeys() {
    return kAllKeys;
}

quint32 carbonKeyCode(Key key) {
    return info(key).carbonKeyCode;
}

std::optional<Key> keyForCarbonKeyCode(quint32 carbonKeyCode) {
    if (carbonKeyCode >= kKeyByCode.size() || kKeyByCode[carbonKeyCode] == 0)
        return std::nullopt;
    return kKeys[kKeyByCode[carbonKeyCode] - 1].key;
}

QString keyDisplayText(Key key) {
    return info(key).display.toString();
}

QString keyCaseName(Key key) {
    return QString::fromLatin1(info(key).caseName);
}

std::optional<Key> keyForCaseName(QStringView name) {
    for (const KeyInfo& row : kKeys)
        if (name.compare(QLatin1String(row.caseName), Qt::CaseInsensitive) == 0)
            return row.key;
    return std::nullopt;
}

} // namespace pierline
