#include "triggers/HotKey.h"

#include "triggers/HotKeysController.h"

namespace pierline {

HotKey::HotKey(KeyCombo keyCombo, Handler keyDown, Handler keyUp)
    : identifier_(QUuid::createUuid()), keyCombo_(keyCombo), keyDown_(std::move(keyDown)), keyUp_(std::move(keyUp)) {}

std::shared_ptr<HotKey> HotKey::create(KeyCombo keyCombo, Handler keyDown, Handler keyUp) {
    std::shared_ptr<HotKey> hotKey(new HotKey(keyCombo, std::move(keyDown), std::move(keyUp)));
    hotKey->self_ = hotKey;
    HotKeysController::registerHotKey(hotKey);
    return hotKey;
}

HotKey::~HotKey() {
    HotKeysController::unregisterHotKey(identifier_);
}

void HotKey::setPaused(bool paused) {
    // No early return on an unchanged value: the registry itself ignores a second registration.
    paused_ = paused;
    if (paused)
        HotKeysController::unregisterHotKey(identifier_);
    else if (auto self = self_.lock())
        HotKeysController::registerHotKey(self);
}

} // namespace pierline
