#include "CombinationHolders.h"

#include "app/Cli.h"
#include "platform/ModifierMonitor.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"
#include "triggers/AdvancedHotkeyManager.h"
#include "triggers/ShortcutManager.h"

namespace pierline::cli {
namespace {

constexpr quint64 kModifierMask = kCocoaCommandFlag | kCocoaOptionFlag | kCocoaControlFlag | kCocoaShiftFlag;

bool sameCombination(const KeyCombination& a, const KeyCombination& b) {
    return a.carbonKeyCode == b.carbonKeyCode &&
           (a.modifierRawValue & kModifierMask) == (b.modifierRawValue & kModifierMask);
}

KeyCombination combinationOf(const StoredShortcut& shortcut) {
    return {carbonKeyCode(shortcut.key), shortcut.modifiers};
}

QString presetName(const QUuid& id, DockPresetManager& presets) {
    for (const DockPresetPtr& preset : presets.fetchAllPresets()) {
        if (preset->id() == id)
            return QStringLiteral("preset '%1'").arg(preset->name().value_or(QString()));
    }
    return QStringLiteral("preset %1").arg(uuidText(id));
}

} // namespace

std::optional<CombinationSlot> holderOf(const KeyCombination& combination, const CombinationSlot& claimant,
                                        const ShortcutManager& shortcuts, const AdvancedHotkeyManager& advanced) {
    using K = CombinationSlot::Kind;
    const auto found = [&](const CombinationSlot& slot, const KeyCombination& held) {
        return !(slot == claimant) && sameCombination(held, combination);
    };
    for (const QUuid& id : shortcuts.presetsWithShortcuts()) {
        const CombinationSlot slot{K::PresetShortcut, id, std::nullopt};
        if (const auto shortcut = shortcuts.presetShortcut(id); shortcut && found(slot, combinationOf(*shortcut)))
            return slot;
    }
    for (const ShortcutAction action : allShortcutActions()) {
        const CombinationSlot slot{K::ActionShortcut, QUuid(), action};
        if (const auto shortcut = shortcuts.actionShortcut(action); shortcut && found(slot, combinationOf(*shortcut)))
            return slot;
    }
    const CombinationSlot leaderSlot{K::Leader, QUuid(), std::nullopt};
    if (const auto leader = advanced.getLeaderKey(); leader && found(leaderSlot, *leader))
        return leaderSlot;
    for (const auto& [id, configuration] : advanced.getAllConfigurations()) {
        const CombinationSlot slot{K::AdvancedHotkey, id, std::nullopt};
        for (const auto& key :
             {configuration.triggerType == HotkeyTriggerType::sequence ? configuration.actionKey : std::nullopt,
              configuration.triggerType == HotkeyTriggerType::multiPress ? configuration.multiPressKey
                                                                         : std::nullopt}) {
            if (key && found(slot, *key))
                return slot;
        }
    }
    return std::nullopt;
}

QString describeSlot(const CombinationSlot& slot, DockPresetManager& presets) {
    using K = CombinationSlot::Kind;
    switch (slot.kind) {
    case K::PresetShortcut:
        return QStringLiteral("the shortcut of %1").arg(presetName(slot.presetId, presets));
    case K::ActionShortcut:
        return QStringLiteral("the shortcut of the action %1").arg(shortcutActionRawValue(*slot.action));
    case K::Leader:
        return QStringLiteral("the leader key");
    case K::AdvancedHotkey:
        return QStringLiteral("the advanced hotkey of %1").arg(presetName(slot.presetId, presets));
    }
    return {};
}

std::optional<QString> releaseSlot(const CombinationSlot& slot, ShortcutManager& shortcuts,
                                   AdvancedHotkeyManager& advanced) {
    using K = CombinationSlot::Kind;
    switch (slot.kind) {
    case K::PresetShortcut:
        return shortcuts.removePresetShortcut(slot.presetId);
    case K::ActionShortcut:
        return shortcuts.removeActionShortcut(*slot.action);
    case K::Leader:
        return advanced.setLeaderKey(std::nullopt);
    case K::AdvancedHotkey:
        return advanced.removePreset(slot.presetId);
    }
    return std::nullopt;
}

bool claimCombination(const KeyCombination& combination, const CombinationSlot& claimant, bool replace,
                      ShortcutManager& shortcuts, AdvancedHotkeyManager& advanced, DockPresetManager& presets,
                      QString* movedFrom) {
    const std::optional<CombinationSlot> holder = holderOf(combination, claimant, shortcuts, advanced);
    if (!holder)
        return true;
    const QString holderText = describeSlot(*holder, presets);
    if (!replace) {
        err(QStringLiteral("%1 is already %2; --replace moves it here").arg(combination.displayString(), holderText));
        return false;
    }
    if (const auto error = releaseSlot(*holder, shortcuts, advanced)) {
        err(QStringLiteral("Could not take %1 from %2: %3").arg(combination.displayString(), holderText, *error));
        return false;
    }
    *movedFrom = holderText;
    return true;
}

} // namespace pierline::cli
