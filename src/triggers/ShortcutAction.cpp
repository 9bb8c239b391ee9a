#include "ShortcutAction.h"

#include <array>

namespace pierline {
namespace {

constexpr std::array kActions{ShortcutAction::updateLastAppliedPreset};

} // namespace

std::span<const ShortcutAction> allShortcutActions() {
    return kActions;
}

QString shortcutActionRawValue(ShortcutAction action) {
    switch (action) {
    case ShortcutAction::updateLastAppliedPreset:
        return QStringLiteral("updateLastAppliedPreset");
    }
    return {};
}

QString shortcutActionTitle(ShortcutAction action) {
    switch (action) {
    case ShortcutAction::updateLastAppliedPreset:
        return QStringLiteral("Save Current Dock to Last Applied Preset");
    }
    return {};
}

std::optional<ShortcutAction> shortcutActionFromRawValue(QStringView raw) {
    for (ShortcutAction action : kActions)
        if (raw == shortcutActionRawValue(action))
            return action;
    return std::nullopt;
}

} // namespace pierline
