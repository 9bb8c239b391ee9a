#include "triggers/KeyCombo.h"

namespace pierline {

quint32 carbonModifiersFromCocoaFlags(quint64 cocoaFlags) {
    quint32 mask = 0;
    if (cocoaFlags & kCocoaCommandFlag)
        mask |= kCarbonCmdKey;
    if (cocoaFlags & kCocoaOptionFlag)
        mask |= kCarbonOptionKey;
    if (cocoaFlags & kCocoaControlFlag)
        mask |= kCarbonControlKey;
    if (cocoaFlags & kCocoaShiftFlag)
        mask |= kCarbonShiftKey;
    return mask;
}

quint64 cocoaFlagsFromCarbonModifiers(quint32 carbonModifiers) {
    quint64 flags = 0;
    if (carbonModifiers & kCarbonCmdKey)
        flags |= kCocoaCommandFlag;
    if (carbonModifiers & kCarbonOptionKey)
        flags |= kCocoaOptionFlag;
    if (carbonModifiers & kCarbonControlKey)
        flags |= kCocoaControlFlag;
    if (carbonModifiers & kCarbonShiftKey)
        flags |= kCocoaShiftFlag;
    return flags;
}

QString KeyCombo::description() const {
    QString text;
    if (carbonModifiers & kCarbonControlKey)
        text += QChar(0x2303);
    if (carbonModifiers & kCarbonOptionKey)
        text += QChar(0x2325);
    if (carbonModifiers & kCarbonShiftKey)
        text += QChar(0x21E7);
    if (carbonModifiers & kCarbonCmdKey)
        text += QChar(0x2318);
    if (const auto named = key())
        text += keyDisplayText(*named);
    return text;
}

} // namespace pierline
