#include "platform/ModifierMonitor.h"

#include "platform/Log.h"
#include "platform/linux/X11Backend.h"
#include "platform/linux/X11EventSource.h"
#include "platform/linux/X11Keysyms.h"

#include <map>
#include <vector>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace pierline {
namespace {

// Modifier keys from XInput2 raw events, which arrive even while another client (or one of our
// own passive grabs) has the keyboard grabbed.
class X11ModifierMonitor : public ModifierMonitor {
public:
    ~X11ModifierMonitor() override {
        if (source_)
            source_->removeListener(listenerId_);
    }

    Token addFlagsChangedHandler(Handler handler) override {
        QString error;
        if (!source_) {
            source_ = x11::EventSource::instance(&error);
            if (source_ && !source_->hasRawKeyEvents()) {
                source_ = nullptr;
                error = QStringLiteral("the X server has no XInput 2.1 raw key events");
            }
            if (!source_) {
                Logger(QStringLiteral("Hotkeys")).info(QStringLiteral("Modifier keys not watched: %1").arg(error));
                return 0;
            }
            // Held keys are tracked from here on, so a monitor rebuilt mid-tap still sees the release.
            listenerId_ =
                source_->addRawKeyListener([this](bool press, unsigned keycode) { onRawKey(press, keycode); });
        }
        const Token token = nextToken_++;
        handlers_.emplace(token, std::move(handler));
        return token;
    }

    void removeHandler(Token token) override { handlers_.erase(token); }

private:
    void onRawKey(bool press, unsigned keycode) {
        const KeySym keysym = XkbKeycodeToKeysym(source_->display(), static_cast<KeyCode>(keycode), 0, 0);
        const quint16 code = x11::carbonModifierCodeForKeysym(keysym);
        if (code == 0)
            return;
        if (press) {
            if (!held_.emplace(keycode, code).second)
                return; // auto-repeat of a held modifier
        } else if (held_.erase(keycode) == 0) {
            return; // went down before we watched
        }
        FlagsChangedEvent event;
        event.keyCode = code;
        for (const auto& [heldKeycode, heldCode] : held_)
            event.modifierFlags |= x11::cocoaFlagOfModifierCode(heldCode);

        std::vector<Token> tokens;
        for (const auto& entry : handlers_)
            tokens.push_back(entry.first);
        for (Token token : tokens) {
            auto it = handlers_.find(token);
            if (it == handlers_.end())
                continue;
            auto handler = it->second;
            handler(event);
        }
    }

    x11::EventSource* source_ = nullptr;
    int listenerId_ = 0;
    Token nextToken_ = 1;
    std::map<Token, Handler> handlers_;
    std::map<unsigned, quint16> held_; // X keycode -> Carbon code of the modifier keys down
};

} // namespace

std::unique_ptr<ModifierMonitor> x11::createModifierMonitor() {
    return std::make_unique<X11ModifierMonitor>();
}

} // namespace pierline
