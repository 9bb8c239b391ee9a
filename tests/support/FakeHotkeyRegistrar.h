#pragma once

#include "platform/HotkeyRegistrar.h"

#include <map>
#include <set>
#include <utility>
#include <vector>

namespace pierline::test {

// A hotkey registrar whose keyboard is the test: press() and release() deliver what the system
// would for a registered combination; refuse() makes a combination look held by another client.
// Installs itself as the shared registrar for its lifetime.
class FakeHotkeyRegistrar : public HotkeyRegistrar {
public:
    struct Registration {
        quint32 carbonKeyCode;
        quint32 carbonModifiers;
        HotkeyId id;
    };

    FakeHotkeyRegistrar() { HotkeyRegistrar::setShared(this); }
    ~FakeHotkeyRegistrar() override { HotkeyRegistrar::setShared(nullptr); }

    std::optional<Reference> registerHotkey(quint32 carbonKeyCode, quint32 carbonModifiers, HotkeyId id) override {
        ++registerCalls;
        const Combo combo{carbonKeyCode, carbonModifiers & kModifierBits};
        if (refused_.count(combo) || findCombo(combo) != registrations_.end())
            return std::nullopt;
        const Reference reference = next_++;
        registrations_.emplace(reference, Registration{combo.first, combo.second, id});
        return reference;
    }
    void unregisterHotkey(Reference reference) override {
        ++unregisterCalls;
        registrations_.erase(reference);
    }
    void setEventHandler(EventHandler handler) override { handler_ = std::move(handler); }

    // Accepts anything with carbonKeyCode and carbonModifiers (a KeyCombo).
    template <typename C> void refuse(const C& combo) { refuse(combo.carbonKeyCode, combo.carbonModifiers); }
    void refuse(quint32 code, quint32 carbonModifiers) { refused_.insert({code, carbonModifiers & kModifierBits}); }

    // The handler's answer; nullopt when the combination is not registered (the key goes elsewhere).
    template <typename C> std::optional<HotkeyEventResult> press(const C& combo) {
        return send(combo.carbonKeyCode, combo.carbonModifiers, HotkeyEventKind::Pressed);
    }
    template <typename C> std::optional<HotkeyEventResult> release(const C& combo) {
        return send(combo.carbonKeyCode, combo.carbonModifiers, HotkeyEventKind::Released);
    }
    // An event as the system would hand it over, for ids this registrar never issued.
    HotkeyEventResult deliver(HotkeyId id, HotkeyEventKind kind) {
        return handler_ ? handler_(id, kind) : HotkeyEventResult::NotHandled;
    }

    template <typename C> bool isRegistered(const C& combo) const {
        return findCombo({combo.carbonKeyCode, combo.carbonModifiers & kModifierBits}) != registrations_.end();
    }
    std::vector<Registration> registrations() const {
        std::vector<Registration> out;
        for (const auto& entry : registrations_)
            out.push_back(entry.second);
        return out;
    }

    int registerCalls = 0;
    int unregisterCalls = 0;

private:
    using Combo = std::pair<quint32, quint32>;
    static constexpr quint32 kModifierBits = kCarbonCmdKey | kCarbonShiftKey | kCarbonOptionKey | kCarbonControlKey;

    std::map<Reference, Registration>::const_iterator findCombo(const Combo& combo) const {
        for (auto it = registrations_.begin(); it != registrations_.end(); ++it)
            if (it->second.carbonKeyCode == combo.first && it->second.carbonModifiers == combo.second)
                return it;
        return registrations_.end();
    }
    std::optional<HotkeyEventResult> send(quint32 code, quint32 carbonModifiers, HotkeyEventKind kind) {
        auto it = findCombo({code, carbonModifiers & kModifierBits});
        if (it == registrations_.end())
            return std::nullopt;
        return deliver(it->second.id, kind);
    }

    EventHandler handler_;
    Reference next_ = 1;
    std::map<Reference, Registration> registrations_;
    std::set<Combo> refused_;
};

} // namespace pierline::test
