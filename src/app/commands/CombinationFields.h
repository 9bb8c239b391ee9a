#pragma once

#include "triggers/KeyCombination.h"

#include <QJsonObject>

namespace pierline::cli {

// The fields a combination shows in `key describe --json` and `hotkey show --json`:
// carbonKeyCode, modifierRawValue, displayString, isModifierOnly, carbonModifiers and, when the
// code names a key, comboDescription.
QJsonObject combinationFields(const KeyCombination& combination);

} // namespace pierline::cli
