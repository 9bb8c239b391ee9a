#pragma once

#include "triggers/KeyCombination.h"

#include <QJsonObject>

namespace pierline::cli {

// The fields a combination shows in `key describe --json` and `hotkey show --json`:
// carbonKeyCode, modifierRawValue, displayString, isModifierOnly, carbonModifiers and, when the
// code names a key, comboDescription.
QJsonObject combinationFields(const KeyCombination& combination);

// How every command that takes a COMBO explains it.
inline const QString kComboHelp = QStringLiteral(
    "COMBO is mod+...+KEY: modifiers cmd (or super, meta), opt (or alt), ctrl, shift; KEY a letter, a digit, "
    "a key name (f8, space, return, option) or code:N with N a Carbon key code (the number macOS gives a key: "
    "0 is A, 18 is 1, 36 is Return). A modifier alone names its own key.");

} // namespace pierline::cli
