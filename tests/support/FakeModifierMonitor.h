#pragma once

#include "platform/ModifierMonitor.h"

#include <map>
#include <vector>

namespace pierline::test {

// A modifier monitor driven by the test: flagsChanged() injects one event as it stands; down()
// and up() move a modifier key and work out the flags held, as the platform does. Installs
// itself as the shared monitor for its lifetime.
class FakeModifierMonitor : public ModifierMonitor {
public:
    FakeModifierMonitor() { ModifierMonitor::setShared(this); }
    ~FakeModifierMonitor() override { ModifierMonitor::setShared(nullptr); }

    Token addFlagsChangedHandler(Handler handler) override {
        if (unavailable)
            return 0;
        const Token token = next_++;
        handlers_.emplace(token, std::move(handler));
        return token;
    }
    void removeHandler(Token token) override { handlers_.erase(token); }

    void flagsChanged(quint64 modifierFlags, quint16 keyCode) {
        std::vector<Token> tokens;
        for (const auto& entry : handlers_)
            tokens.push_back(entry.first);
        for (Token token : tokens)
            if (auto it = handlers_.find(token); it != handlers_.end()) {
                auto handler = it->second;
                handler(FlagsChangedEvent{modifierFlags, keyCode});
            }
    }
    // Carbon modifier codes 54-62.
    void down(quint16 keyCode) {
        held_[keyCode] = true;
        flagsChanged(heldFlags(), keyCode);
    }
    void up(quint16 keyCode) {
        held_.erase(keyCode);
        flagsChanged(heldFlags(), keyCode);
    }
    void tap(quint16 keyCode) {
        down(keyCode);
        up(keyCode);
    }

    std::size_t handlerCount() const { return handlers_.size(); }
    bool unavailable = false; // as with no display: adding a handler gives 0

private:
    quint64 heldFlags() const {
        quint64 flags = 0;
        for (const auto& [code, isDown] : held_) {
            if (code == 54 || code == 55)
                flags |= kCocoaCommandFlag;
            else if (code == 56 || code == 60)
                flags |= kCocoaShiftFlag;
            else if (code == 57)
                flags |= kCocoaCapsLockFlag;
            else if (code == 58 || code == 61)
                flags |= kCocoaOptionFlag;
            else if (code == 59 || code == 62)
                flags |= kCocoaControlFlag;
        }
        return flags;
    }

    Token next_ = 1;
    std::map<Token, Handler> handlers_;
    std::map<quint16, bool> held_;
};

} // namespace pierline::test
