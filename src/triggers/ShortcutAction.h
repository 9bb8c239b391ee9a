#pragma once

#include <QString>
#include <QStringView>
#include <optional>
#include <span>

namespace pierline {

// What an action shortcut does. Stored and typed by its raw value.
enum class ShortcutAction { updateLastAppliedPreset };

std::span<const ShortcutAction> allShortcutActions();
QString shortcutActionRawValue(ShortcutAction action);                     // "updateLastAppliedPreset"
QString shortcutActionTitle(ShortcutAction action);                        // as the settings show it
std::optional<ShortcutAction> shortcutActionFromRawValue(QStringView raw); // exact match only

} // namespace pierline
