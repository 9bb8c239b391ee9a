#pragma once

#include "triggers/KeyCombination.h"

#include <QString>
#include <optional>

namespace pierline {

// True when a flags-changed event for the modifier key `carbonKeyCode` (54-62) is that key going
// down: its own flag is among the flags held after the change. A release while other modifiers
// stay held is not a press, so the last key that went down is what a tap counts.
bool isModifierKeyDown(quint64 modifierFlags, quint32 carbonKeyCode);

// The rules of recording one combination, apart from any window or keyboard grab: the caller
// feeds key-downs and modifier changes as they come and reads what they did. Times are the
// caller's monotonic seconds.
class KeyRecorder {
public:
    // A modifier held this long or longer is not a tap and records nothing.
    static constexpr double kMaxModifierTapSeconds = 2.0;
    // The recorded combination is shown at once and handed on this much later.
    static constexpr double kHandOverDelaySeconds = 0.15;
    static constexpr quint32 kEscapeKeyCode = 53;

    static inline const QString kModifierOnlyHint =
        QStringLiteral("Modifier-only keys (Shift, Cmd, etc.) are supported");
    static inline const QString kCancelHint = QStringLiteral("Press Escape or click outside to cancel");
    static inline const QString kRecordedLabel = QStringLiteral("Recorded:");
    static inline const QString kNotSetLabel = QStringLiteral("Not set:");

    enum class Outcome {
        Ignored,   // nothing recorded yet (or recording is over)
        Recorded,  // combination() holds the result
        Cancelled, // Escape
    };

    // `allowModifierOnly` lets a bare modifier tap count (multi-press keys).
    explicit KeyRecorder(bool allowModifierOnly = false) : allowModifierOnly_(allowModifierOnly) {}

    // A key went down; `modifierFlags` are the event's Cocoa flags.
    Outcome keyDown(quint32 carbonKeyCode, quint64 modifierFlags);
    // A modifier key went down or up; `modifierFlags` are the flags held after the change.
    Outcome flagsChanged(quint64 modifierFlags, quint32 carbonKeyCode, double nowSeconds);

    bool isRecording() const { return recording_; }
    bool allowsModifierOnly() const { return allowModifierOnly_; }
    const std::optional<KeyCombination>& combination() const { return combination_; }

private:
    Outcome finish(std::optional<KeyCombination> combination);

    bool allowModifierOnly_;
    bool recording_ = true;
    std::optional<quint32> lastModifierKeyCode_;
    double lastModifierPressTime_ = 0.0;
    std::optional<KeyCombination> combination_;
};

} // namespace pierline
