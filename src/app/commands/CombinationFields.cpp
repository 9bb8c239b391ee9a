#include "CombinationFields.h"

namespace pierline::cli {

QJsonObject combinationFields(const KeyCombination& combination) {
    QJsonObject object{
        {QStringLiteral("carbonKeyCode"), static_cast<qint64>(combination.carbonKeyCode)},
        {QStringLiteral("modifierRawValue"), static_cast<qint64>(combination.modifierRawValue)},
        {QStringLiteral("displayString"), combination.displayString()},
        {QStringLiteral("isModifierOnly"), combination.isModifierOnly()},
        {QStringLiteral("carbonModifiers"),
         static_cast<qint64>(carbonModifiersFromCocoaFlags(combination.modifierRawValue))},
    };
    if (const auto combo = combination.keyCombo())
        object.insert(QStringLiteral("comboDescription"), combo->description());
    return object;
}

} // namespace pierline::cli
