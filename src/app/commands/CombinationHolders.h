#pragma once

#include "platform/HotkeyRegistrar.h"
#include "triggers/AdvancedHotkeyManager.h"
#include "triggers/KeyCombination.h"
#include "triggers/ShortcutAction.h"
#include "triggers/ShortcutManager.h"

#include <QString>
#include <QUuid>
#include <memory>
#include <optional>

namespace pierline {
class DockPresetManager;
} // namespace pierline

namespace pierline::cli {

// Without the app the tables are changed here and nothing is grabbed: the app registers them at
// its next start.
class StoredOnlyRegistrar : public HotkeyRegistrar {
public:
    StoredOnlyRegistrar() { HotkeyRegistrar::setShared(this); }
    ~StoredOnlyRegistrar() override { HotkeyRegistrar::setShared(nullptr); }
    std::optional<Reference> registerHotkey(quint32, quint32, HotkeyId) override { return next_++; }
    void unregisterHotkey(Reference) override {}
    void setEventHandler(EventHandler) override {}

private:
    Reference next_ = 1;
};

// The app's manager when this runs inside it, else one over the stored tables for this command.
class ShortcutManagerAccess {
public:
    ShortcutManagerAccess() {
        if (ShortcutManager* running = ShortcutManager::existing()) {
            manager_ = running;
            return;
        }
        registrar_ = std::make_unique<StoredOnlyRegistrar>();
        local_ = std::make_unique<ShortcutManager>(ShortcutManager::Loading::Now);
        manager_ = local_.get();
    }
    ~ShortcutManagerAccess() {
        local_.reset(); // before the registrar its hotkeys unregister from
        registrar_.reset();
    }
    ShortcutManager* operator->() const { return manager_; }
    ShortcutManager& get() const { return *manager_; }

private:
    std::unique_ptr<StoredOnlyRegistrar> registrar_;
    std::unique_ptr<ShortcutManager> local_;
    ShortcutManager* manager_ = nullptr;
};

// The live manager inside the running app; else one over the stored data that grabs nothing.
class AdvancedHotkeyAccess {
public:
    AdvancedHotkeyAccess() {
        if (!AdvancedHotkeyManager::existing())
            local_ = std::make_unique<AdvancedHotkeyManager>(AdvancedHotkeyManager::Mode::StoredOnly);
    }
    AdvancedHotkeyManager& operator*() const { return local_ ? *local_ : *AdvancedHotkeyManager::existing(); }
    AdvancedHotkeyManager* operator->() const { return &**this; }

private:
    std::unique_ptr<AdvancedHotkeyManager> local_;
};

// One place a global combination can be held: a preset's shortcut, an action's shortcut, the
// leader key, or a preset's key sequence or multi-press key.
struct CombinationSlot {
    enum class Kind { PresetShortcut, ActionShortcut, Leader, AdvancedHotkey };
    Kind kind;
    QUuid presetId;                       // PresetShortcut, AdvancedHotkey
    std::optional<ShortcutAction> action; // ActionShortcut

    friend bool operator==(const CombinationSlot&, const CombinationSlot&) = default;
};

// The slot other than `claimant` that holds `combination` (same key, same modifiers), if any.
std::optional<CombinationSlot> holderOf(const KeyCombination& combination, const CombinationSlot& claimant,
                                        const ShortcutManager& shortcuts, const AdvancedHotkeyManager& advanced);

// "the shortcut of preset 'Work'", "the leader key", ...
QString describeSlot(const CombinationSlot& slot, DockPresetManager& presets);

// Frees the slot, so `--replace` moves its combination; why it could not be written otherwise.
std::optional<QString> releaseSlot(const CombinationSlot& slot, ShortcutManager& shortcuts,
                                   AdvancedHotkeyManager& advanced);

// Refuses (printing which slot holds it, and that --replace moves it) or, with `replace`, frees
// what holds `combination` and names it in `movedFrom`. False when the caller must stop with
// kExitFailed.
bool claimCombination(const KeyCombination& combination, const CombinationSlot& claimant, bool replace,
                      ShortcutManager& shortcuts, AdvancedHotkeyManager& advanced, DockPresetManager& presets,
                      QString* movedFrom);

inline const QString kReplaceHelp =
    QStringLiteral("Take the combination from the shortcut, leader key or advanced hotkey that holds it.");

// The end of a change's line when it took its combination from somewhere: " (taken from ...)".
inline QString movedFromText(const QString& movedFrom) {
    return movedFrom.isEmpty() ? QString() : QStringLiteral(" (taken from %1)").arg(movedFrom);
}

} // namespace pierline::cli
