#include "triggers/HotKeysController.h"

#include "triggers/HotKey.h"

#include <limits>
#include <map>
#include <stdexcept>

namespace pierline {
namespace {

struct HotKeyBox {
    QUuid identifier;
    std::weak_ptr<HotKey> hotKey;
    quint32 carbonHotKeyID = 0;
    std::optional<HotkeyRegistrar::Reference> reference;
};

struct Registry {
    std::map<quint32, HotKeyBox> boxes;
    quint32 lastId = 0;
};

// Never destroyed: hotkeys held by other process-wide objects unregister during exit.
Registry& registry() {
    static Registry* instance = new Registry;
    return *instance;
}

std::map<quint32, HotKeyBox>::iterator findBox(const QUuid& identifier) {
    auto& boxes = registry().boxes;
    for (auto it = boxes.begin(); it != boxes.end(); ++it)
        if (it->second.identifier == identifier)
            return it;
    return boxes.end();
}

} // namespace

void HotKeysController::registerHotKey(const std::shared_ptr<HotKey>& hotKey) {
    Registry& reg = registry();
    if (findBox(hotKey->identifier()) != reg.boxes.end())
        return;
    if (reg.lastId == std::numeric_limits<quint32>::max())
        throw std::overflow_error("no hotkey ids are left in this run");
    const quint32 id = ++reg.lastId;
    HotKeyBox& box = reg.boxes[id];
    box.identifier = hotKey->identifier();
    box.hotKey = hotKey;
    box.carbonHotKeyID = id;

    HotkeyRegistrar& registrar = HotkeyRegistrar::shared();
    const KeyCombo& combo = hotKey->keyCombo();
    const auto reference = registrar.registerHotkey(combo.carbonKeyCode, combo.carbonModifiers, {kSignature, id});
    if (!reference)
        return; // refused: the entry stays without a reference and nothing is reported
    box.reference = reference;
    // Installing the same receiver again is harmless and follows a registrar swapped in since.
    registrar.setEventHandler(&HotKeysController::handleEvent);
}

void HotKeysController::unregisterHotKey(const QUuid& identifier) {
    auto it = findBox(identifier);
    if (it == registry().boxes.end())
        return;
    if (it->second.reference)
        HotkeyRegistrar::shared().unregisterHotkey(*it->second.reference);
    registry().boxes.erase(it);
}

HotkeyEventResult HotKeysController::handleEvent(HotkeyId id, HotkeyEventKind kind) {
    if (id.signature != kSignature)
        return HotkeyEventResult::NotHandled;
    auto& boxes = registry().boxes;
    auto it = boxes.find(id.id);
    if (it == boxes.end())
        return HotkeyEventResult::NotHandled;
    // Held for the call, so a handler that drops the last reference to its own hotkey is safe.
    const std::shared_ptr<HotKey> hotKey = it->second.hotKey.lock();
    if (!hotKey) {
        boxes.erase(it);
        return HotkeyEventResult::NotHandled;
    }
    const HotKey::Handler handler =
        kind == HotkeyEventKind::Pressed ? hotKey->keyDownHandler() : hotKey->keyUpHandler();
    if (hotKey->isPaused() || !handler)
        return HotkeyEventResult::NotHandled;
    handler();
    return HotkeyEventResult::Handled;
}

std::optional<HotKeysController::Entry> HotKeysController::entry(const QUuid& identifier) {
    auto it = findBox(identifier);
    if (it == registry().boxes.end())
        return std::nullopt;
    return Entry{it->second.identifier, it->second.carbonHotKeyID, it->second.reference};
}

std::size_t HotKeysController::entryCount() {
    return registry().boxes.size();
}

quint32 HotKeysController::lastIssuedId() {
    return registry().lastId;
}

} // namespace pierline
