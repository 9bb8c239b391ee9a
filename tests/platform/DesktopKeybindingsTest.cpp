// The text the desktop's keybindings are written in; the keybindings themselves are tested
// through the binary (tests/triggers).
#include <glib.h>

#include "platform/DesktopKeybindings.h"
#include "platform/ModifierMonitor.h"
#include "platform/linux/X11Keysyms.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>

namespace pierline {
namespace {

TEST(DesktopKeybindingText, AcceleratorsAndCommandLines) {
    const struct {
        quint32 code;
        quint64 flags;
        std::optional<QString> text;
    } cases[] = {
        {0x00, kCocoaCommandFlag, "<Super>a"},
        {0x13, kCocoaCommandFlag | kCocoaOptionFlag, "<Super><Alt>2"},
        {0x64, kCocoaControlFlag | kCocoaShiftFlag | kCocoaCapsLockFlag, "<Control><Shift>F8"},
        {0x24, kCocoaCommandFlag | kCocoaOptionFlag | kCocoaControlFlag | kCocoaShiftFlag,
         "<Super><Alt><Control><Shift>Return"},
        {0x1E, kCocoaOptionFlag, "<Alt>bracketright"},
        {0x53, 0, "KP_1"},
        {0x48, 0, "XF86AudioRaiseVolume"},
        {0x3F, kCocoaCommandFlag, std::nullopt}, // fn
        {0x37, kCocoaOptionFlag, std::nullopt},  // command on its own
        {0x39, 0, std::nullopt},                 // caps lock
    };
    for (const auto& c : cases)
        EXPECT_EQ(desktopAccelerator(c.code, c.flags), c.text) << c.code;

    // The desktop splits the line as g_shell_parse_argv does.
    const QStringList words{
        "/usr/bin/env", "PIERLINE_HOME=/home/me/it's here", "/opt/pier$line/pierline", "apply", "--id", "0A1B-2C", "",
        "a\"b\\c"};
    gchar** argv = nullptr;
    ASSERT_TRUE(g_shell_parse_argv(desktopCommandLine(words).toUtf8().constData(), nullptr, &argv, nullptr));
    QStringList parsed;
    for (gchar** arg = argv; *arg; ++arg)
        parsed << QString::fromUtf8(*arg);
    g_strfreev(argv);
    EXPECT_EQ(parsed, words);
}

// Key names are kept beside the key table rather than asked of Xlib: each must be Xlib's own.
TEST(DesktopKeybindingText, EveryKeyHasItsKeysymsXlibName) {
    int named = 0;
    for (quint32 code = 0; code < 128; ++code) {
        const unsigned long keysym = x11::keysymForCarbonKeyCode(code);
        const char* name = x11::keysymNameForCarbonKeyCode(code);
        ASSERT_EQ(keysym != 0, name != nullptr) << code;
        if (!keysym)
            continue;
        EXPECT_STREQ(name, XKeysymToString(keysym)) << code;
        ++named;
    }
    EXPECT_GT(named, 100);
}

} // namespace
} // namespace pierline
