#include "platform/KeyboardRecorder.h"

#include "platform/Clock.h"
#include "platform/ModifierMonitor.h"
#include "platform/linux/X11Backend.h"
#include "platform/linux/X11EventSource.h"
#include "platform/linux/X11Keysyms.h"

#include <map>
#include <optional>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace pierline {
namespace {

// A window manager holds the keyboard only for a moment (a key binding, a menu): try a little
// longer before giving up.
constexpr int kGrabAttempts = 20;
constexpr double kGrabRetrySeconds = 0.05;
// Carbon key codes stop below 128.
constexpr quint32 kCarbonKeyCodeLimit = 128;

std::optional<quint32> carbonKeyCodeForKeysym(unsigned long keysym) {
    // The table is small; built once from the one keysym table the registrar uses too.
    static const std::map<unsigned long, quint32> table = [] {
        std::map<unsigned long, quint32> byKeysym;
        for (quint32 code = 0; code < kCarbonKeyCodeLimit; ++code)
            if (const unsigned long keysym = x11::keysymForCarbonKeyCode(code))
                byKeysym.emplace(keysym, code);
        return byKeysym;
    }();
    const auto it = table.find(keysym);
    if (it == table.end())
        return std::nullopt;
    return it->second;
}

// The modifiers held at a key event; command is Super, option is Alt. The caps lock's lock state
// is left out, as the modifier monitor leaves it out.
quint64 flagsOfState(unsigned state) {
    quint64 flags = 0;
    if (state & Mod4Mask)
        flags |= kCocoaCommandFlag;
    if (state & Mod1Mask)
        flags |= kCocoaOptionFlag;
    if (state & ControlMask)
        flags |= kCocoaControlFlag;
    if (state & ShiftMask)
        flags |= kCocoaShiftFlag;
    return flags;
}

// An active grab of the keyboard on the root window, read from the same X connection as the
// hotkeys, so no key event is read twice or lost between two connections.
class X11KeyboardRecorder : public KeyboardRecorder {
public:
    ~X11KeyboardRecorder() override { stop(); }

    bool start(Handler handler, QString& error) override {
        stop();
        source_ = x11::EventSource::instance(&error);
        if (!source_)
            return false;
        Display* display = source_->display();
        int result = GrabSuccess;
        for (int attempt = 0; attempt < kGrabAttempts; ++attempt) {
            result = XGrabKeyboard(display, source_->rootWindow(), False, GrabModeAsync, GrabModeAsync, CurrentTime);
            if (result == GrabSuccess)
                break;
            Clock::shared().sleep(kGrabRetrySeconds);
        }
        if (result != GrabSuccess) {
            error = result == AlreadyGrabbed
                        ? QStringLiteral("another program holds the keyboard")
                        : QStringLiteral("the X server refused the keyboard grab (status %1)").arg(result);
            source_ = nullptr;
            return false;
        }
        handler_ = std::move(handler);
        held_.clear();
        listenerId_ = source_->addKeyListener([this](const x11::EventSource::KeyEvent& event) { onKey(event); });
        source_->deliverQueuedSoon();
        return true;
    }

    void stop() override {
        if (!source_)
            return;
        source_->removeListener(listenerId_);
        XUngrabKeyboard(source_->display(), CurrentTime);
        // A round trip, so the server has let go before the caller says it is done.
        XSync(source_->display(), False);
        source_ = nullptr;
        handler_ = nullptr;
    }

private:
    void onKey(const x11::EventSource::KeyEvent& event) {
        Display* display = source_->display();
        const auto keycode = static_cast<KeyCode>(event.keycode);
        // The unshifted symbol names the key; keypad digits sit on the second level.
        unsigned long keysym = XkbKeycodeToKeysym(display, keycode, 0, 0);
        std::optional<quint32> code = carbonKeyCodeForKeysym(keysym);
        if (!code)
            code = carbonKeyCodeForKeysym(XkbKeycodeToKeysym(display, keycode, 0, 1));
        if (!code)
            return;
        RecordedKeyEvent recorded;
        recorded.carbonKeyCode = *code;
        recorded.seconds = static_cast<double>(event.time) / 1000.0;
        if (x11::cocoaFlagOfModifierCode(*code) != 0) {
            if (event.press ? !held_.emplace(event.keycode, *code).second : held_.erase(event.keycode) == 0)
                return; // a repeat of a held modifier, or the release of one held before the grab
            recorded.kind = RecordedKeyEvent::Kind::FlagsChanged;
            for (const auto& [heldKeycode, heldCode] : held_)
                recorded.modifierFlags |= x11::cocoaFlagOfModifierCode(heldCode);
        } else {
            if (!event.press)
                return;
            recorded.kind = RecordedKeyEvent::Kind::KeyDown;
            recorded.modifierFlags = flagsOfState(event.state);
        }
        // The handler may stop the recording, which drops it: call a copy.
        const Handler handler = handler_;
        handler(recorded);
    }

    x11::EventSource* source_ = nullptr;
    int listenerId_ = 0;
    Handler handler_;
    std::map<unsigned, quint32> held_; // X keycode -> Carbon code of the modifier keys down
};

} // namespace

std::unique_ptr<KeyboardRecorder> x11::createKeyboardRecorder() {
    return std::make_unique<X11KeyboardRecorder>();
}

} // namespace pierline
