// Drives the X11 registrar and modifier monitor with XTest on the test display (Xvfb in CI).
#include "platform/HotkeyRegistrar.h"
#include "platform/ModifierMonitor.h"
#include "platform/linux/X11EventSource.h"
#include "support/EventLoop.h"
#include "triggers/HotKey.h"

#include <gtest/gtest.h>
#include <vector>

#include "XTestKeys.h"
#include <X11/XKBlib.h>

using namespace pierline;

namespace {

// The test's own connection plays the user's keyboard and the other clients.
class X11HotkeyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { keyboard = XOpenDisplay(nullptr); }
    static void TearDownTestSuite() {
        if (keyboard)
            XCloseDisplay(keyboard);
        keyboard = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(keyboard, nullptr) << "these tests need an X display; run them under xvfb-run";
        int opcode = 0, event = 0, error = 0, major = 0, minor = 0;
        ASSERT_TRUE(XTestQueryExtension(keyboard, &event, &error, &major, &minor)) << "no XTest";
        ASSERT_TRUE(XQueryExtension(keyboard, "XInputExtension", &opcode, &event, &error));
        numLockMask = XkbKeysymToModifiers(keyboard, XK_Num_Lock);
        ASSERT_NE(numLockMask, 0u) << "NumLock is not mapped to a modifier";
        setLocks(0);
    }
    void TearDown() override {
        if (keyboard)
            setLocks(0);
    }

    static unsigned keycode(KeySym sym) { return XKeysymToKeycode(keyboard, sym); }
    static void key(KeySym sym, bool down) {
        XTestFakeKeyEvent(keyboard, keycode(sym), down, CurrentTime);
        XSync(keyboard, False);
    }
    static void chord(std::initializer_list<KeySym> modifiers, KeySym sym) {
        test::type(keyboard, test::chord(modifiers, sym));
    }
    void setLocks(unsigned locks) {
        XkbLockModifiers(keyboard, XkbUseCoreKbd, numLockMask | LockMask, locks);
        XSync(keyboard, False);
    }

    static inline Display* keyboard = nullptr;
    unsigned numLockMask = 0;
};

struct Recorder {
    std::vector<std::pair<HotkeyId, HotkeyEventKind>> events;
    HotkeyRegistrar::EventHandler handler() {
        return [this](HotkeyId id, HotkeyEventKind kind) {
            events.emplace_back(id, kind);
            return HotkeyEventResult::Handled;
        };
    }
    int count(quint32 id, HotkeyEventKind kind) const {
        int n = 0;
        for (const auto& [eventId, eventKind] : events)
            n += eventId.id == id && eventKind == kind;
        return n;
    }
};

} // namespace

TEST_F(X11HotkeyTest, FiresWhateverTheLocksAndReleaseFiresKeyUp) {
    int downs = 0, ups = 0;
    auto hotKey = HotKey::create(
        KeyCombo(Key::one, kCocoaCommandFlag | kCocoaOptionFlag), [&] { ++downs; }, [&] { ++ups; });
    const unsigned lockStates[] = {0, numLockMask, LockMask, numLockMask | LockMask};
    for (int i = 0; i < 4; ++i) {
        setLocks(lockStates[i]);
        key(XK_Super_L, true);
        key(XK_Alt_L, true);
        key(XK_1, true);
        ASSERT_TRUE(test::waitUntil([&] { return downs == i + 1; }, 5000)) << "locks " << lockStates[i];
        EXPECT_EQ(ups, i);
        // Modifiers let go first: the release still belongs to the press.
        key(XK_Alt_L, false);
        key(XK_Super_L, false);
        key(XK_1, false);
        ASSERT_TRUE(test::waitUntil([&] { return ups == i + 1; }, 5000)) << "locks " << lockStates[i];
    }
    // Other modifiers than the registered ones do not match.
    chord({XK_Super_L, XK_Alt_L, XK_Shift_L}, XK_1);
    hotKey->setPaused(true);
    chord({XK_Super_L, XK_Alt_L}, XK_1);
    hotKey->setPaused(false);
    chord({XK_Super_L, XK_Alt_L}, XK_1);
    ASSERT_TRUE(test::waitUntil([&] { return ups == 5; }, 5000));
    EXPECT_EQ(downs, 5);
}

TEST_F(X11HotkeyTest, CombinationAnotherClientHoldsIsRefusedAndItsGrabsAreUndone) {
    auto registrar = createHotkeyRegistrar();
    Recorder recorder;
    registrar->setEventHandler(recorder.handler());
    const Window root = DefaultRootWindow(keyboard);

    // The other client holds cmd+ctrl+K only with NumLock on: our plain grab succeeds first and
    // must be undone when the NumLock one is refused.
    XGrabKey(keyboard, keycode(XK_k), Mod4Mask | ControlMask | numLockMask, root, False, GrabModeAsync, GrabModeAsync);
    XSync(keyboard, False);
    EXPECT_EQ(registrar->registerHotkey(40, kCarbonCmdKey | kCarbonControlKey, {1, 1}), std::nullopt);
    {
        x11::GrabErrorTrap trap(keyboard);
        XGrabKey(keyboard, keycode(XK_k), Mod4Mask | ControlMask, root, False, GrabModeAsync, GrabModeAsync);
        EXPECT_FALSE(trap.syncAndCheckRefused()) << "the plain grab was left behind";
    }
    XUngrabKey(keyboard, keycode(XK_k), Mod4Mask | ControlMask, root);
    XUngrabKey(keyboard, keycode(XK_k), Mod4Mask | ControlMask | numLockMask, root);
    XSync(keyboard, False);

    // We live on: refusals of our own kinds, then a grab that works.
    EXPECT_EQ(registrar->registerHotkey(63, 0, {1, 2}), std::nullopt); // fn has no X key
    const auto k = registrar->registerHotkey(40, kCarbonCmdKey | kCarbonControlKey, {1, 3});
    ASSERT_TRUE(k);
    EXPECT_EQ(registrar->registerHotkey(40, kCarbonCmdKey | kCarbonControlKey, {1, 4}), std::nullopt);
    chord({XK_Super_L, XK_Control_L}, XK_k);
    ASSERT_TRUE(test::waitUntil([&] { return recorder.count(3, HotkeyEventKind::Released) == 1; }, 5000));
    EXPECT_EQ(recorder.count(3, HotkeyEventKind::Pressed), 1);
    EXPECT_EQ(recorder.events.size(), 2u);
}

TEST_F(X11HotkeyTest, AutoRepeatPressesAreIgnored) {
    auto registrar = createHotkeyRegistrar();
    Recorder recorder;
    registrar->setEventHandler(recorder.handler());
    ASSERT_TRUE(registrar->registerHotkey(100, kCarbonControlKey, {1, 7})); // ctrl+F8

    // The server repeats a held key after its delay; make that quick, and watch the raw stream
    // to know when repeats have come.
    unsigned delay = 0, interval = 0;
    XkbGetAutoRepeatRate(keyboard, XkbUseCoreKbd, &delay, &interval);
    XkbSetAutoRepeatRate(keyboard, XkbUseCoreKbd, 5, 5);
    XAutoRepeatOn(keyboard);
    XSync(keyboard, False);
    int f8Presses = 0;
    auto* source = x11::EventSource::instance();
    ASSERT_NE(source, nullptr);
    const int watch = source->addKeyListener(
        [&](const x11::EventSource::KeyEvent& e) { f8Presses += e.press && e.keycode == keycode(XK_F8); });
    key(XK_Control_L, true);
    key(XK_F8, true);
    const bool repeated = test::waitUntil([&] { return f8Presses >= 4; }, 5000);
    key(XK_F8, false);
    XkbSetAutoRepeatRate(keyboard, XkbUseCoreKbd, delay, interval);
    XSync(keyboard, False);
    ASSERT_TRUE(repeated) << "the server did not repeat the held key";
    key(XK_F8, true);
    key(XK_F8, false);
    key(XK_Control_L, false);
    ASSERT_TRUE(test::waitUntil([&] { return recorder.count(7, HotkeyEventKind::Released) == 2; }, 5000));
    source->removeListener(watch);
    EXPECT_EQ(recorder.count(7, HotkeyEventKind::Pressed), 2);
    EXPECT_EQ(recorder.events.size(), 4u);
}

TEST_F(X11HotkeyTest, ModifierTapsReachTheMonitorOnce) {
    auto monitor = createModifierMonitor();
    std::vector<FlagsChangedEvent> seen;
    ASSERT_NE(monitor->addFlagsChangedHandler([&](const FlagsChangedEvent& e) { seen.push_back(e); }), 0u);
    // A grab that involves option is active at the same time: the tap still counts once.
    auto registrar = createHotkeyRegistrar();
    registrar->setEventHandler([](HotkeyId, HotkeyEventKind) { return HotkeyEventResult::Handled; });
    ASSERT_TRUE(registrar->registerHotkey(18, kCarbonOptionKey, {1, 9}));

    key(XK_Alt_L, true);
    key(XK_Alt_L, true); // auto-repeat of a held modifier
    key(XK_Alt_L, false);
    key(XK_Control_L, true);
    chord({XK_Alt_L}, XK_1); // option+1 while control is held: not the grab, still a tap
    key(XK_Control_L, false);
    key(XK_Num_Lock, true);
    key(XK_Num_Lock, false);
    key(XK_Super_R, true);
    key(XK_Super_R, false);
    ASSERT_TRUE(test::waitUntil([&] { return !seen.empty() && seen.back().keyCode == 54; }, 5000));

    const std::vector<std::pair<quint64, quint16>> expected{
        {kCocoaOptionFlag, 58},  {0, 58}, {kCocoaControlFlag, 59}, {kCocoaControlFlag | kCocoaOptionFlag, 58},
        {kCocoaControlFlag, 58}, {0, 59}, {kCocoaCommandFlag, 54}, {0, 54},
    };
    ASSERT_EQ(seen.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(seen[i].modifierFlags, expected[i].first) << i;
        EXPECT_EQ(seen[i].keyCode, expected[i].second) << i;
    }
}
