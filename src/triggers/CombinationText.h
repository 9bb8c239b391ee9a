#pragma once

#include "triggers/KeyCombination.h"

#include <QString>
#include <QStringView>
#include <optional>

namespace pierline {

struct CombinationParseResult {
    std::optional<KeyCombination> combination; // set on success
    QString error;                             // set on failure, ready to show
};

// Reads a combination as typed on a command line: `mod+...+KEY`, modifiers `cmd`, `opt`, `ctrl`,
// `shift`, KEY a key's case name (`one`, `f8`, `option`) or `code:N` for any Carbon key code.
// Letter case and blanks around the parts do not matter; each modifier may appear once.
CombinationParseResult parseCombinationText(QStringView text);

// The text parseCombinationText reads back as the same combination: modifiers in the order cmd,
// opt, ctrl, shift, then the case name, or `code:N` for a code no key names. Flags other than
// the four modifiers are not written.
QString combinationText(const KeyCombination& combination);

} // namespace pierline
