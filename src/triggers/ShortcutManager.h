#pragma once

#include "platform/AlertPresenter.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "triggers/HotKey.h"
#include "triggers/Key.h"
#include "triggers/ShortcutAction.h"

#include <QList>
#include <QString>
#include <QUuid>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace pierline {

inline const QString kShortcutsDidChangeNotification = QStringLiteral("shortcutsDidChange");

// One usable entry of a stored shortcut table: a key and Cocoa modifier flags.
struct StoredShortcut {
    Key key;
    quint64 modifiers = 0;
};

// One entry of a stored table as found: its table key and, when usable, the shortcut.
struct StoredShortcutRow {
    QString tableKey;
    std::optional<StoredShortcut> shortcut; // nullopt: "key" or "modifiers" missing, mistyped or naming no key
};

// The entries of a stored table that are dictionaries, in key order; anything but a dictionary
// reads as no entries.
QList<StoredShortcutRow> readShortcutTable(const QVariant& stored);
// The stored form of one combination: "modifiers" always, "key" only when its code names a key.
QVariantMap shortcutTableEntry(const KeyCombo& combo);

// The simple global shortcuts: one combination per preset, which switches the Dock to it, and one
// per ShortcutAction. Both tables live in user defaults and are written back whole after every
// change; every change is announced with "shortcutsDidChange" from the main queue. A press, and
// a switch request posted by the advanced hotkeys, go to the one switch request. Main thread only.
class ShortcutManager {
public:
    static inline const QString kPresetTableKey = QStringLiteral("presetShortcuts_v2_byID");
    static inline const QString kActionTableKey = QStringLiteral("actionShortcuts_v1");
    // The save action reads the Dock this long after its key press, so the user can still arrange it.
    static constexpr double kUpdateDelaySeconds = 3.5;

    enum class Loading {
        OnMainQueue, // the stored tables load once the main queue runs (the app)
        Now,         // in the constructor (a command that changes one entry and exits)
    };

    // What the save action came to; handed to its completion.
    enum class UpdateOutcome { NoLastPreset, PresetNotFound, UnfinishedSwitch, DockEmpty, SaveFailed, Updated };

    // The process-wide manager, made on first use.
    static ShortcutManager& shared();
    // The process-wide manager when it has been made, else nullptr.
    static ShortcutManager* existing();
    // Drops the process-wide manager; its hotkeys unregister (the app's quit, tests).
    static void resetShared();

    explicit ShortcutManager(Loading loading = Loading::OnMainQueue);
    ~ShortcutManager();
    ShortcutManager(const ShortcutManager&) = delete;
    ShortcutManager& operator=(const ShortcutManager&) = delete;

    // Table changes. Each returns why the table could not be written back (nullopt: written).
    std::optional<QString> setPresetShortcut(const QUuid& presetId, Key key, quint64 modifiers);
    // Also clears the preset's advanced hotkey configuration.
    std::optional<QString> removePresetShortcut(const QUuid& presetId);
    std::optional<QString> setActionShortcut(ShortcutAction action, Key key, quint64 modifiers);
    std::optional<QString> removeActionShortcut(ShortcutAction action);
    // A preset is being deleted: its shortcut and its advanced hotkey go, from the live managers
    // when the app runs, else from the stored tables, and the desktop's keybindings follow. The
    // store runs this as its deletion handler. Failures are shown, as the deletion goes on.
    static void removeTriggersOfDeletedPreset(const QUuid& presetId);

    // The key and Cocoa flags of a preset's hotkey; nullopt without one.
    std::optional<StoredShortcut> presetShortcut(const QUuid& presetId) const;
    std::optional<StoredShortcut> actionShortcut(ShortcutAction action) const;
    QList<QUuid> presetsWithShortcuts() const;

    // The save action: after kUpdateDelaySeconds, the current Dock goes into the last applied
    // preset. `done` (optional) hears the outcome, on the main thread.
    void updateLastAppliedPresetFromDock(std::function<void(UpdateOutcome)> done = {});

    // Both stored tables, as the constructor loads them.
    void loadStoredShortcuts();

private:
    void loadPresetTable();
    void loadActionTable();
    std::optional<QString> writePresetTable();
    std::optional<QString> writeActionTable();
    std::optional<QString> dropPresetHotKey(const QUuid& presetId);
    std::optional<QString> dropActionHotKey(ShortcutAction action);
    std::shared_ptr<HotKey> makePresetHotKey(const QUuid& presetId, Key key, quint64 modifiers);
    std::shared_ptr<HotKey> makeActionHotKey(ShortcutAction action, Key key, quint64 modifiers);
    void finishUpdate(const QUuid& presetId, const QString& name, const std::function<void(UpdateOutcome)>& done);
    void showUserNotification(const QString& title, const QString& body);
    void postDidChange();
    // Runs `work` later on the main queue unless the manager is gone by then.
    void later(std::function<void()> work);

    std::map<QUuid, std::shared_ptr<HotKey>> hotKeys_;
    std::map<ShortcutAction, std::shared_ptr<HotKey>> actionHotKeys_;
    // Stored entries that could not be read, written back as they were found.
    QVariantMap keptPresetEntries_;
    QVariantMap keptActionEntries_;
    // Set when a stored table is no dictionary at all: it is then never written.
    std::optional<QString> presetTableProblem_;
    std::optional<QString> actionTableProblem_;
    std::vector<TimerId> updateTimers_; // pending save actions, cancelled with the manager
    ObserverToken switchRequestObserver_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace pierline
