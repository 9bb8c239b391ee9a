#include "platform/HotkeyRegistrar.h"

#include "platform/Log.h"
#include "platform/linux/X11Backend.h"
#include "platform/linux/X11EventSource.h"
#include "platform/linux/X11Keysyms.h"

#include <algorithm>
#include <map>
#include <vector>

#include <X11/Xlib.h>

namespace pierline {
namespace {

const Logger& hotkeyLog() {
    static const Logger logger(QStringLiteral("Hotkeys"));
    return logger;
}

// The modifiers a grab names; NumLock and CapsLock are grabbed both ways instead.
constexpr unsigned kMatchedModifiers = ShiftMask | ControlMask | Mod1Mask | Mod4Mask;

unsigned xModifiers(quint32 carbonModifiers) {
    unsigned mask = 0;
    if (carbonModifiers & kCarbonCmdKey)
        mask |= Mod4Mask;
    if (carbonModifiers & kCarbonOptionKey)
        mask |= Mod1Mask;
    if (carbonModifiers & kCarbonControlKey)
        mask |= ControlMask;
    if (carbonModifiers & kCarbonShiftKey)
        mask |= ShiftMask;
    return mask;
}

// Passive grabs on the root window, one per NumLock/CapsLock state, so a combination fires
// whichever locks are on.
class X11HotkeyRegistrar : public HotkeyRegistrar {
public:
    ~X11HotkeyRegistrar() override {
        for (const auto& [reference, registration] : registrations_)
            ungrab(registration);
        if (source_) {
            XSync(source_->display(), False);
            source_->removeListener(listenerId_);
        }
    }

    std::optional<Reference> registerHotkey(quint32 carbonKeyCode, quint32 carbonModifiers, HotkeyId id) override {
        const auto refuse = [&](const QString& why) -> std::optional<Reference> {
            hotkeyLog().info(QStringLiteral("Hotkey (key code %1, modifiers 0x%2) not registered: %3")
                                 .arg(carbonKeyCode)
                                 .arg(carbonModifiers, 0, 16)
                                 .arg(why));
            return std::nullopt;
        };
        QString error;
        if (!startListening(&error))
            return refuse(error);
        Display* display = source_->display();
        const unsigned long keysym = x11::keysymForCarbonKeyCode(carbonKeyCode);
        if (keysym == 0)
            return refuse(QStringLiteral("no X key stands for this key code"));
        const KeyCode keycode = XKeysymToKeycode(display, keysym);
        if (keycode == 0)
            return refuse(QStringLiteral("the keyboard has no key for keysym %1")
                              .arg(QString::fromLatin1(XKeysymToString(keysym))));
        const unsigned modifiers = xModifiers(carbonModifiers);
        for (const auto& [reference, registration] : registrations_)
            if (registration.keycode == keycode && registration.modifiers == modifiers)
                return refuse(QStringLiteral("already registered"));

        Registration registration{id, keycode, modifiers, {}};
        bool refused = false;
        {
            x11::GrabErrorTrap trap(display);
            for (unsigned locks : lockVariants()) {
                XGrabKey(display, keycode, modifiers | locks, source_->rootWindow(), False, GrabModeAsync,
                         GrabModeAsync);
                if (trap.syncAndCheckRefused()) {
                    refused = true;
                    break;
                }
                registration.lockVariants.push_back(locks);
            }
            if (refused)
                ungrab(registration);
        }
        source_->deliverQueuedSoon();
        if (refused)
            return refuse(QStringLiteral("another client holds the combination"));
        const Reference reference = nextReference_++;
        registrations_.emplace(reference, std::move(registration));
        return reference;
    }

    void unregisterHotkey(Reference reference) override {
        auto it = registrations_.find(reference);
        if (it == registrations_.end())
            return;
        ungrab(it->second);
        // Synchronous: a key typed after this call must no longer reach us.
        XSync(source_->display(), False);
        registrations_.erase(it);
    }

    void setEventHandler(EventHandler handler) override { handler_ = std::move(handler); }

private:
    struct Registration {
        HotkeyId id;
        unsigned keycode;
        unsigned modifiers;
        std::vector<unsigned> lockVariants; // the grabs that succeeded
    };

    bool startListening(QString* error) {
        if (source_)
            return true;
        source_ = x11::EventSource::instance(error);
        if (!source_)
            return false;
        listenerId_ = source_->addKeyListener([this](const x11::EventSource::KeyEvent& event) { onKey(event); });
        return true;
    }

    std::vector<unsigned> lockVariants() const {
        std::vector<unsigned> variants{0};
        for (unsigned extra :
             {source_->numLockMask(), static_cast<unsigned>(LockMask), source_->numLockMask() | LockMask}) {
            if (std::find(variants.begin(), variants.end(), extra) == variants.end())
                variants.push_back(extra);
        }
        return variants;
    }

    void ungrab(const Registration& registration) {
        for (unsigned locks : registration.lockVariants)
            XUngrabKey(source_->display(), static_cast<int>(registration.keycode), registration.modifiers | locks,
                       source_->rootWindow());
    }

    void onKey(const x11::EventSource::KeyEvent& event) {
        if (event.press) {
            const unsigned modifiers = event.state & kMatchedModifiers;
            auto match = std::find_if(registrations_.begin(), registrations_.end(), [&](const auto& entry) {
                return entry.second.keycode == event.keycode && entry.second.modifiers == modifiers;
            });
            // A press of a key that is already down is the keyboard repeating it.
            if (match == registrations_.end() || down_.count(event.keycode))
                return;
            down_[event.keycode] = match->first;
            deliver(match->second.id, HotkeyEventKind::Pressed);
            return;
        }
        if (event.repeatFollows)
            return;
        // The release belongs to the press that started it, whatever modifiers are still held.
        auto down = down_.find(event.keycode);
        if (down == down_.end())
            return;
        const Reference reference = down->second;
        down_.erase(down);
        auto it = registrations_.find(reference);
        if (it != registrations_.end())
            deliver(it->second.id, HotkeyEventKind::Released);
    }

    void deliver(HotkeyId id, HotkeyEventKind kind) {
        // The grab has taken the key already, so an unhandled answer has no one to go to.
        if (handler_) {
            auto handler = handler_;
            handler(id, kind);
        }
    }

    x11::EventSource* source_ = nullptr;
    int listenerId_ = 0;
    EventHandler handler_;
    Reference nextReference_ = 1;
    std::map<Reference, Registration> registrations_;
    std::map<unsigned, Reference> down_; // keycode -> the registration whose press it started
};

} // namespace

std::unique_ptr<HotkeyRegistrar> x11::createHotkeyRegistrar() {
    return std::make_unique<X11HotkeyRegistrar>();
}

} // namespace pierline
