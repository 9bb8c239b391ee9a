#include "triggers/CombinationText.h"
#include "triggers/KeyCombination.h"

#include <QJsonDocument>
#include <QSet>
#include <gtest/gtest.h>
#include <map>

using namespace pierline;

namespace {

QString text(const char16_t* utf16) {
    return QString::fromUtf16(utf16);
}

} // namespace

TEST(Key, EveryKeyRoundTripsThroughItsCodeAndCaseName) {
    ASSERT_EQ(allKeys().size(), std::size_t(kKeyCount));
    QSet<quint32> codes;
    QSet<QString> names;
    for (std::size_t i = 0; i < allKeys().size(); ++i) {
        const Key key = allKeys()[i];
        EXPECT_EQ(static_cast<std::size_t>(key), i);
        EXPECT_EQ(keyForCarbonKeyCode(carbonKeyCode(key)), key) << keyCaseName(key).toStdString();
        EXPECT_EQ(keyForCaseName(keyCaseName(key)), key);
        EXPECT_EQ(keyForCaseName(keyCaseName(key).toUpper()), key);
        EXPECT_FALSE(keyDisplayText(key).isEmpty());
        codes.insert(carbonKeyCode(key));
        names.insert(keyCaseName(key));
    }
    EXPECT_EQ(codes.size(), kKeyCount);
    EXPECT_EQ(names.size(), kKeyCount);
    EXPECT_EQ(keyForCaseName(u"return"), Key::return_);
    EXPECT_EQ(keyForCaseName(u"nosuchkey"), std::nullopt);
    for (quint32 code : {52u, 102u, 127u, 200u, 0xFFFFFFFFu})
        EXPECT_EQ(keyForCarbonKeyCode(code), std::nullopt) << code;
}

// The virtual key codes of the platform's HIToolbox event header (kVK_ANSI_A = 0x00, ...), in the
// header's code order, written out here rather than taken from our table.
TEST(Key, EveryCodeMatchesThePlatformsVirtualKeyCodes) {
    const std::pair<quint32, Key> kVirtualKeyCodes[] = {
        {0x00, Key::a},
        {0x01, Key::s},
        {0x02, Key::d},
        {0x03, Key::f},
        {0x04, Key::h},
        {0x05, Key::g},
        {0x06, Key::z},
        {0x07, Key::x},
        {0x08, Key::c},
        {0x09, Key::v},
        {0x0A, Key::section}, // kVK_ISO_Section
        {0x0B, Key::b},
        {0x0C, Key::q},
        {0x0D, Key::w},
        {0x0E, Key::e},
        {0x0F, Key::r},
        {0x10, Key::y},
        {0x11, Key::t},
        {0x12, Key::one},
        {0x13, Key::two},
        {0x14, Key::three},
        {0x15, Key::four},
        {0x16, Key::six},
        {0x17, Key::five},
        {0x18, Key::equal},
        {0x19, Key::nine},
        {0x1A, Key::seven},
        {0x1B, Key::minus},
        {0x1C, Key::eight},
        {0x1D, Key::zero},
        {0x1E, Key::rightBracket},
        {0x1F, Key::o},
        {0x20, Key::u},
        {0x21, Key::leftBracket},
        {0x22, Key::i},
        {0x23, Key::p},
        {0x24, Key::return_},
        {0x25, Key::l},
        {0x26, Key::j},
        {0x27, Key::quote},
        {0x28, Key::k},
        {0x29, Key::semicolon},
        {0x2A, Key::backslash},
        {0x2B, Key::comma},
        {0x2C, Key::slash},
        {0x2D, Key::n},
        {0x2E, Key::m},
        {0x2F, Key::period},
        {0x30, Key::tab},
        {0x31, Key::space},
        {0x32, Key::grave},
        {0x33, Key::delete_},
        {0x35, Key::escape},
        {0x36, Key::rightCommand},
        {0x37, Key::command},
        {0x38, Key::shift},
        {0x39, Key::capsLock},
        {0x3A, Key::option},
        {0x3B, Key::control},
        {0x3C, Key::rightShift},
        {0x3D, Key::rightOption},
        {0x3E, Key::rightControl},
        {0x3F, Key::function},
        {0x40, Key::f17},
        {0x41, Key::keypadDecimal},
        {0x43, Key::keypadMultiply},
        {0x45, Key::keypadPlus},
        {0x47, Key::keypadClear},
        {0x48, Key::volumeUp},
        {0x49, Key::volumeDown},
        {0x4A, Key::mute},
        {0x4B, Key::keypadDivide},
        {0x4C, Key::keypadEnter},
        {0x4E, Key::keypadMinus},
        {0x4F, Key::f18},
        {0x50, Key::f19},
        {0x51, Key::keypadEquals},
        {0x52, Key::keypad0},
        {0x53, Key::keypad1},
        {0x54, Key::keypad2},
        {0x55, Key::keypad3},
        {0x56, Key::keypad4},
        {0x57, Key::keypad5},
        {0x58, Key::keypad6},
        {0x59, Key::keypad7},
        {0x5A, Key::f20},
        {0x5B, Key::keypad8},
        {0x5C, Key::keypad9},
        {0x60, Key::f5},
        {0x61, Key::f6},
        {0x62, Key::f7},
        {0x63, Key::f3},
        {0x64, Key::f8},
        {0x65, Key::f9},
        {0x67, Key::f11},
        {0x69, Key::f13},
        {0x6A, Key::f16},
        {0x6B, Key::f14},
        {0x6D, Key::f10},
        {0x6F, Key::f12},
        {0x71, Key::f15},
        {0x72, Key::help},
        {0x73, Key::home},
        {0x74, Key::pageUp},
        {0x75, Key::forwardDelete},
        {0x76, Key::f4},
        {0x77, Key::end},
        {0x78, Key::f2},
        {0x79, Key::pageDown},
        {0x7A, Key::f1},
        {0x7B, Key::leftArrow},
        {0x7C, Key::rightArrow},
        {0x7D, Key::downArrow},
        {0x7E, Key::upArrow},
    };
    ASSERT_EQ(std::size(kVirtualKeyCodes), std::size_t(kKeyCount));
    QSet<int> keysSeen;
    std::map<quint32, Key> byCode;
    for (const auto& [code, key] : kVirtualKeyCodes) {
        keysSeen.insert(static_cast<int>(key));
        byCode.emplace(code, key);
        EXPECT_EQ(carbonKeyCode(key), code) << keyCaseName(key).toStdString();
    }
    EXPECT_EQ(keysSeen.size(), kKeyCount) << "each key once";
    // The inverse: every code in range names exactly the key the header gives it, or none.
    for (quint32 code = 0; code <= 130; ++code) {
        const auto it = byCode.find(code);
        EXPECT_EQ(keyForCarbonKeyCode(code), it == byCode.end() ? std::nullopt : std::optional<Key>(it->second))
            << "code " << code;
    }
}

TEST(Key, CodesAndDisplayTexts) {
    struct Case {
        Key key;
        quint32 code;
        const char16_t* display;
    };
    const Case cases[] = {
        {Key::a, 0, u"A"},
        {Key::one, 18, u"1"},
        {Key::section, 10, u"§"},
        {Key::quote, 39, u"\""},
        {Key::return_, 36, u"\u21A9\uFE0E"},
        {Key::keypadEnter, 76, u"\u21A9\uFE0E"},
        {Key::delete_, 51, u"⌫"},
        {Key::help, 114, u"?\u20DD"},
        {Key::function, 63, u"fn"},
        {Key::capsLock, 57, u"⇪"},
        {Key::rightCommand, 54, u"⌘"},
        {Key::volumeUp, 72, u"🔊"},
        {Key::f1, 122, u"\uF860F1"},
        {Key::f9, 101, u"\uF860F9"},
        {Key::f10, 109, u"\uF861F10"},
        {Key::keypadMultiply, 67, u"\U0001D5D1"},
        {Key::home, 115, u"↖"},
        {Key::upArrow, 126, u"↑"},
        {Key::space, 49, u"␣"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(carbonKeyCode(c.key), c.code) << keyCaseName(c.key).toStdString();
        EXPECT_EQ(keyDisplayText(c.key), text(c.display)) << keyCaseName(c.key).toStdString();
    }
}

TEST(ModifierConversion, EachModifierMapsBothWaysAndOtherBitsDrop) {
    const std::pair<quint64, quint32> pairs[] = {{kCocoaCommandFlag, kCarbonCmdKey},
                                                 {kCocoaOptionFlag, kCarbonOptionKey},
                                                 {kCocoaControlFlag, kCarbonControlKey},
                                                 {kCocoaShiftFlag, kCarbonShiftKey}};
    quint64 allCocoa = 0;
    quint32 allCarbon = 0;
    for (const auto& [cocoa, carbon] : pairs) {
        EXPECT_EQ(carbonModifiersFromCocoaFlags(cocoa), carbon);
        EXPECT_EQ(cocoaFlagsFromCarbonModifiers(carbon), cocoa);
        allCocoa |= cocoa;
        allCarbon |= carbon;
    }
    EXPECT_EQ(carbonModifiersFromCocoaFlags(allCocoa | kCocoaCapsLockFlag | 0x800000 | 0xFF), allCarbon);
    EXPECT_EQ(cocoaFlagsFromCarbonModifiers(allCarbon | 0x0400 | 0x00FF | 0x2000), allCocoa);
}

TEST(KeyCombination, DisplayStringsAndTheKeyComboDescription) {
    const KeyCombination cmdOptOne{18, kCocoaCommandFlag | kCocoaOptionFlag};
    EXPECT_EQ(cmdOptOne.displayString(), text(u"⌘⌥1"));
    ASSERT_TRUE(cmdOptOne.keyCombo());
    EXPECT_EQ(cmdOptOne.keyCombo()->description(), text(u"⌥⌘1"));
    EXPECT_EQ(*cmdOptOne.keyCombo(), KeyCombo(18, kCarbonCmdKey | kCarbonOptionKey));

    const quint64 all = kCocoaCommandFlag | kCocoaOptionFlag | kCocoaControlFlag | kCocoaShiftFlag;
    EXPECT_EQ((KeyCombination{0, all}.displayString()), text(u"⌘⌥⌃⇧A"));
    EXPECT_EQ(KeyCombo(Key::a, all).description(), text(u"⌃⌥⇧⌘A"));
    // The stored text upper-cases the key's text; the combo's description does not.
    EXPECT_EQ((KeyCombination{63, 0}.displayString()), text(u"FN"));
    EXPECT_EQ(KeyCombo(Key::function, 0).description(), text(u"fn"));

    // A code that names no key shows its modifiers only and cannot be registered.
    for (quint32 code : {52u, 102u}) {
        const KeyCombination unnamed{code, kCocoaControlFlag | kCocoaShiftFlag};
        EXPECT_EQ(unnamed.displayString(), text(u"⌃⇧"));
        EXPECT_FALSE(unnamed.keyCombo());
        EXPECT_FALSE(unnamed.isModifierOnly());
    }
}

TEST(KeyCombination, ModifierOnlyCodesShowTheirKeyWhateverTheFlags) {
    const std::pair<quint32, const char16_t*> cases[] = {{54, u"⌘"}, {55, u"⌘"}, {56, u"⇧"}, {57, u"⇪"}, {58, u"⌥"},
                                                         {59, u"⌃"}, {60, u"⇧"}, {61, u"⌥"}, {62, u"⌃"}};
    for (const auto& [code, symbol] : cases) {
        const KeyCombination combination{code, kCocoaCommandFlag | kCocoaShiftFlag};
        EXPECT_TRUE(combination.isModifierOnly()) << code;
        EXPECT_EQ(combination.displayString(), text(symbol)) << code;
    }
    EXPECT_FALSE((KeyCombination{53, 0}.isModifierOnly()));
    EXPECT_FALSE((KeyCombination{63, 0}.isModifierOnly()));
}

TEST(KeyCombination, JsonRecordRoundTripsAndRejectsDamage) {
    const KeyCombination combination{18, 0x180000};
    EXPECT_EQ(combination.toJsonBytes(), QByteArray(R"({"carbonKeyCode":18,"modifierRawValue":1572864})"));
    EXPECT_EQ(KeyCombination::fromJsonBytes(combination.toJsonBytes()), combination);
    EXPECT_EQ(KeyCombination::fromJsonBytes(R"({"carbonKeyCode":4294967295,"modifierRawValue":0})"),
              (KeyCombination{0xFFFFFFFF, 0}));

    const char* damaged[] = {
        "",
        "[]",
        "{\"carbonKeyCode\":18}",
        "{\"modifierRawValue\":0}",
        "{\"carbonKeyCode\":\"18\",\"modifierRawValue\":0}",
        "{\"carbonKeyCode\":-1,\"modifierRawValue\":0}",
        "{\"carbonKeyCode\":1.5,\"modifierRawValue\":0}",
        "{\"carbonKeyCode\":4294967296,\"modifierRawValue\":0}",
        "{\"carbonKeyCode\":18,\"modifierRawValue\":1e300}",
        "{\"carbonKeyCode\":18,\"modifierRawValue\":null}",
        "{\"carbonKeyCode\":18,",
    };
    for (const char* bytes : damaged) {
        QString error;
        EXPECT_EQ(KeyCombination::fromJsonBytes(bytes, &error), std::nullopt) << bytes;
        EXPECT_FALSE(error.isEmpty()) << bytes;
    }
}

TEST(CombinationText, ParsesCommandLineCombinations) {
    struct Case {
        const char16_t* text;
        KeyCombination expected;
    };
    const Case good[] = {
        {u"cmd+opt+one", {18, kCocoaCommandFlag | kCocoaOptionFlag}},
        {u"ctrl+shift+f8", {100, kCocoaControlFlag | kCocoaShiftFlag}},
        {u"option", {58, 0}},
        {u" Shift + CMD + Return ", {36, kCocoaShiftFlag | kCocoaCommandFlag}},
        {u"opt+code:52", {52, kCocoaOptionFlag}},
        {u"code:4294967295", {0xFFFFFFFF, 0}},
        {u"cmd+option", {58, kCocoaCommandFlag}},
        // As people write them: digits, super/meta for cmd, alt for opt, a bare modifier as its key.
        {u"cmd+opt+1", {18, kCocoaCommandFlag | kCocoaOptionFlag}},
        {u"super+alt+0", {29, kCocoaCommandFlag | kCocoaOptionFlag}},
        {u"Meta+shift+9", {25, kCocoaCommandFlag | kCocoaShiftFlag}},
        {u"alt+a", {0, kCocoaOptionFlag}},
        {u"opt", {58, 0}},
        {u"alt", {58, 0}},
        {u"super", {55, 0}},
        {u"cmd", {55, 0}},
    };
    for (const Case& c : good) {
        const CombinationParseResult result = parseCombinationText(text(c.text));
        EXPECT_EQ(result.combination, c.expected) << text(c.text).toStdString() << ": " << result.error.toStdString();
    }

    const char16_t* bad[] = {u"",        u"  ",          u"cmd+",
                             u"+a",      u"cmd++a",      u"cmd+cmd+a",
                             u"cmd+12",  u"super+cmd+a", u"cmd+nosuchkey",
                             u"code:",   u"code:-1",     u"code:4294967296",
                             u"code:1x", u"code: 5",     u"a+b"};
    for (const char16_t* input : bad) {
        const CombinationParseResult result = parseCombinationText(text(input));
        EXPECT_FALSE(result.combination) << text(input).toStdString();
        EXPECT_FALSE(result.error.isEmpty()) << text(input).toStdString();
    }
}

TEST(CombinationText, WrittenTextReadsBackForEveryKey) {
    const quint64 flags[] = {0, kCocoaCommandFlag,
                             kCocoaCommandFlag | kCocoaOptionFlag | kCocoaControlFlag | kCocoaShiftFlag};
    for (Key key : allKeys())
        for (quint64 f : flags) {
            const KeyCombination combination{carbonKeyCode(key), f};
            EXPECT_EQ(parseCombinationText(combinationText(combination)).combination, combination)
                << combinationText(combination).toStdString();
        }
    EXPECT_EQ(combinationText({52, kCocoaShiftFlag}), QStringLiteral("shift+code:52"));
    EXPECT_EQ(combinationText({18, 0x180000}), QStringLiteral("cmd+opt+one"));
}
