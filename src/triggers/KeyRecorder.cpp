#include "triggers/KeyRecorder.h"

#include "platform/ModifierMonitor.h"

namespace pierline {

bool isModifierKeyDown(quint64 modifierFlags, quint32 carbonKeyCode) {
    quint64 flag = 0;
    switch (carbonKeyCode) {
    case 54:
    case 55:
        flag = kCocoaCommandFlag;
        break;
    case 56:
    case 60:
        flag = kCocoaShiftFlag;
        break;
    case 57:
        flag = kCocoaCapsLockFlag;
        break;
    case 58:
    case 61:
        flag = kCocoaOptionFlag;
        break;
    case 59:
    case 62:
        flag = kCocoaControlFlag;
        break;
    default:
        break;
    }
    return (modifierFlags & flag) != 0;
}

KeyRecorder::Outcome KeyRecorder::keyDown(quint32 carbonKeyCode, quint64 modifierFlags) {
    if (!recording_)
        return Outcome::Ignored;
    if (carbonKeyCode == kEscapeKeyCode) {
        finish(std::nullopt);
        return Outcome::Cancelled;
    }
    return finish(KeyCombination{carbonKeyCode, modifierFlags & kCocoaDeviceIndependentFlagsMask});
}

KeyRecorder::Outcome KeyRecorder::flagsChanged(quint64 modifierFlags, quint32 carbonKeyCode, double nowSeconds) {
    if (!recording_ || !allowModifierOnly_)
        return Outcome::Ignored;
    if ((modifierFlags & kCocoaDeviceIndependentFlagsMask) != 0) {
        if (isModifierKeyDown(modifierFlags, carbonKeyCode)) {
            lastModifierKeyCode_ = carbonKeyCode;
            lastModifierPressTime_ = nowSeconds;
        }
        return Outcome::Ignored;
    }
    if (!lastModifierKeyCode_)
        return Outcome::Ignored;
    const quint32 code = *lastModifierKeyCode_;
    if (nowSeconds - lastModifierPressTime_ >= kMaxModifierTapSeconds) {
        // A long hold is no tap; forget it and keep listening.
        lastModifierKeyCode_.reset();
        return Outcome::Ignored;
    }
    return finish(KeyCombination{code, 0});
}

KeyRecorder::Outcome KeyRecorder::finish(std::optional<KeyCombination> combination) {
    recording_ = false;
    lastModifierKeyCode_.reset();
    lastModifierPressTime_ = 0.0;
    combination_ = combination;
    return combination ? Outcome::Recorded : Outcome::Cancelled;
}

} // namespace pierline
