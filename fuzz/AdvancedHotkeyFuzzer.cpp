// Arbitrary bytes as the stored advanced hotkey configurations and as the stored leader key.
#include "triggers/AdvancedHotkeyManager.h"

#include <cstdint>
#include <cstdlib>

using namespace pierline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    QString error;
    if (const auto configurations = decodeHotkeyConfigurations(bytes, &error)) {
        // What was accepted must survive a write and a read unchanged.
        if (decodeHotkeyConfigurations(encodeHotkeyConfigurations(*configurations)) != configurations)
            std::abort();
        for (const auto& [id, configuration] : *configurations) {
            (void)triggerTypeDisplayName(configuration.triggerType);
            for (const auto& key : {configuration.actionKey, configuration.multiPressKey})
                if (key) {
                    (void)key->displayString();
                    (void)key->keyCombo();
                }
        }
    } else if (error.isEmpty()) {
        std::abort(); // a refusal always says why
    }

    if (const auto leader = KeyCombination::fromJsonBytes(bytes, &error)) {
        if (KeyCombination::fromJsonBytes(leader->toJsonBytes()) != leader)
            std::abort();
        (void)leader->displayString();
    }
    return 0;
}
