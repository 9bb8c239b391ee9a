#pragma once

#include "platform/HotkeyRegistrar.h"
#include "platform/ModifierMonitor.h"
#include "triggers/Key.h"

#include <QString>
#include <optional>

namespace pierline {

// Cocoa modifier flags to the Carbon mask; flags other than command, option, control and shift drop.
quint32 carbonModifiersFromCocoaFlags(quint64 cocoaFlags);
// Carbon mask to Cocoa modifier flags; bits other than the four modifiers drop.
quint64 cocoaFlagsFromCarbonModifiers(quint32 carbonModifiers);

// A combination as it is registered: a Carbon key code and a Carbon modifier mask.
struct KeyCombo {
    quint32 carbonKeyCode = 0;
    quint32 carbonModifiers = 0;

    KeyCombo() = default;
    // Taken as they stand.
    KeyCombo(quint32 carbonKeyCode, quint32 carbonModifiers)
        : carbonKeyCode(carbonKeyCode), carbonModifiers(carbonModifiers) {}
    // The key's code, and the Carbon mask of the Cocoa flags.
    KeyCombo(Key key, quint64 cocoaFlags)
        : carbonKeyCode(pierline::carbonKeyCode(key)), carbonModifiers(carbonModifiersFromCocoaFlags(cocoaFlags)) {}

    std::optional<Key> key() const { return keyForCarbonKeyCode(carbonKeyCode); }
    quint64 modifiers() const { return cocoaFlagsFromCarbonModifiers(carbonModifiers); }
    // Modifier symbols in the order ⌃⌥⇧⌘, then the key's display text when the code names a key.
    QString description() const;

    friend bool operator==(const KeyCombo&, const KeyCombo&) = default;
};

} // namespace pierline
