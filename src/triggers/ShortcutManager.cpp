#include "ShortcutManager.h"

#include "apply/DockManager.h"
#include "core/SettingDescriptors.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/RememberedWarning.h"
#include "platform/UserDefaults.h"
#include "platform/UserNotifications.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"
#include "targets/DockTarget.h"
#include "triggers/AdvancedHotkeyManager.h"
#include "triggers/DesktopShortcutSync.h"
#include "triggers/SwitchRequest.h"

#include <algorithm>
#include <limits>
#include <mutex>

namespace pierline {
namespace {

const QString kNotificationErrorTopic = QStringLiteral("notification-permissions");
const QString kEntryKey = QStringLiteral("key");
const QString kEntryModifiers = QStringLiteral("modifiers");

std::mutex g_sharedMutex;
std::unique_ptr<ShortcutManager> g_shared;

// Whole non-negative numbers only: a plist real, a boolean or a string is not a key code.
std::optional<quint64> unsignedNumber(const QVariant& value, quint64 max) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong: {
        const qint64 number = value.toLongLong();
        if (number < 0 || static_cast<quint64>(number) > max)
            return std::nullopt;
        return static_cast<quint64>(number);
    }
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
        const quint64 number = value.toULongLong();
        if (number > max)
            return std::nullopt;
        return number;
    }
    default:
        return std::nullopt;
    }
}

std::optional<StoredShortcut> readEntry(const QVariantMap& entry) {
    const auto code = unsignedNumber(entry.value(kEntryKey), std::numeric_limits<quint32>::max());
    const auto modifiers = unsignedNumber(entry.value(kEntryModifiers), std::numeric_limits<quint64>::max());
    if (!code || !modifiers)
        return std::nullopt;
    const std::optional<Key> key = keyForCarbonKeyCode(static_cast<quint32>(*code));
    if (!key)
        return std::nullopt;
    return StoredShortcut{*key, *modifiers};
}

std::optional<StoredShortcut> shortcutOf(const std::shared_ptr<HotKey>& hotKey) {
    if (!hotKey)
        return std::nullopt;
    const std::optional<Key> key = hotKey->keyCombo().key();
    if (!key)
        return std::nullopt;
    return StoredShortcut{*key, hotKey->keyCombo().modifiers()};
}

// The desktop's keybindings follow a table that was written; one that was not left them right.
std::optional<QString> syncedUnless(std::optional<QString> tableError) {
    return tableError ? tableError : syncDesktopKeybindings();
}

void warnIfNotSynced() {
    if (const auto error = syncDesktopKeybindings())
        printWarning(*error);
}

std::optional<QString> writeTable(const QString& defaultsKey, const QVariantMap& table) {
    try {
        UserDefaults::standard().set(defaultsKey, table);
        return std::nullopt;
    } catch (const UserDefaultsError& error) {
        printWarning(QStringLiteral("Could not save the shortcuts (%1): %2").arg(defaultsKey, error.message()));
        return error.message();
    }
}

// A table that is not a dictionary is never replaced by one rebuilt from nothing.
std::optional<QString> refusedWrite(const QString& defaultsKey, const QString& problem) {
    printWarning(QStringLiteral("Could not save the shortcuts (%1): %2").arg(defaultsKey, problem));
    return QStringLiteral("%1; remove it with `defaults delete com.corvane.pierline %2` to start over")
        .arg(problem, defaultsKey);
}

} // namespace

QList<StoredShortcutRow> readShortcutTable(const QVariant& stored) {
    QList<StoredShortcutRow> rows;
    if (stored.typeId() != QMetaType::QVariantMap)
        return rows;
    const QVariantMap table = stored.toMap();
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        if (it.value().typeId() != QMetaType::QVariantMap)
            continue;
        rows.append({it.key(), readEntry(it.value().toMap())});
    }
    return rows;
}

QVariantMap shortcutTableEntry(const KeyCombo& combo) {
    QVariantMap entry;
    entry.insert(kEntryModifiers, static_cast<qulonglong>(combo.modifiers()));
    if (const std::optional<Key> key = combo.key())
        entry.insert(kEntryKey, static_cast<qulonglong>(carbonKeyCode(*key)));
    return entry;
}

// --- Instance ----------------------------------------------------------------------------

ShortcutManager& ShortcutManager::shared() {
    std::lock_guard lock(g_sharedMutex);
    if (!g_shared)
        runOnMainSync([] { g_shared = std::make_unique<ShortcutManager>(); });
    return *g_shared;
}

ShortcutManager* ShortcutManager::existing() {
    std::lock_guard lock(g_sharedMutex);
    return g_shared.get();
}

void ShortcutManager::resetShared() {
    std::lock_guard lock(g_sharedMutex);
    runOnMainSync([] { g_shared.reset(); });
}

ShortcutManager::ShortcutManager(Loading loading) {
    if (loading == Loading::Now) {
        loadStoredShortcuts();
    } else {
        later([this] {
            loadStoredShortcuts();
            warnIfNotSynced();
        });
    }

    UserNotifications::shared().requestAuthorization([](bool granted, const QString& error) {
        // A desktop without the service stays so; saying it at every start buries the other lines.
        if (!error.isEmpty()) {
            warnOnceFor(kNotificationErrorTopic,
                        QStringLiteral("Error requesting notification permissions: %1").arg(error));
            return;
        }
        forgetWarningFor(kNotificationErrorTopic);
        if (granted)
            printLine(QStringLiteral("Notification permissions granted"));
        else
            printLine(QStringLiteral("Notification permissions denied"));
    });

    switchRequestObserver_ = NotificationCenter::shared().addObserver(
        kSwitchRequestNotification, Delivery::MainQueue, [](const Notification& notification) {
            if (const auto id = switchRequestPresetId(notification))
                requestSwitch(*id, SwitchOrigin::AdvancedHotkey);
        });
}

ShortcutManager::~ShortcutManager() {
    *alive_ = false;
    NotificationCenter::shared().removeObserver(switchRequestObserver_);
    for (TimerId timer : updateTimers_)
        Timers::shared().cancel(timer);
}

void ShortcutManager::later(std::function<void()> work) {
    runOnMainAsync([alive = std::weak_ptr<bool>(alive_), work = std::move(work)] {
        const auto token = alive.lock();
        if (token && *token)
            work();
    });
}

void ShortcutManager::postDidChange() {
    runOnMainAsync([] { NotificationCenter::shared().post(kShortcutsDidChangeNotification); });
}

// --- Tables ------------------------------------------------------------------------------

std::optional<QString> ShortcutManager::writePresetTable() {
    if (presetTableProblem_)
        return refusedWrite(kPresetTableKey, *presetTableProblem_);
    QVariantMap table = keptPresetEntries_;
    for (const auto& [id, hotKey] : hotKeys_)
        table.insert(uuidText(id), shortcutTableEntry(hotKey->keyCombo()));
    return writeTable(kPresetTableKey, table);
}

std::optional<QString> ShortcutManager::writeActionTable() {
    if (actionTableProblem_)
        return refusedWrite(kActionTableKey, *actionTableProblem_);
    QVariantMap table = keptActionEntries_;
    for (const auto& [action, hotKey] : actionHotKeys_)
        table.insert(shortcutActionRawValue(action), shortcutTableEntry(hotKey->keyCombo()));
    return writeTable(kActionTableKey, table);
}

std::shared_ptr<HotKey> ShortcutManager::makePresetHotKey(const QUuid& presetId, Key key, quint64 modifiers) {
    auto hotKey = HotKey::create(KeyCombo(key, modifiers));
    hotKey->setKeyDownHandler([presetId] { requestSwitch(presetId, SwitchOrigin::Hotkey); });
    return hotKey;
}

std::shared_ptr<HotKey> ShortcutManager::makeActionHotKey(ShortcutAction action, Key key, quint64 modifiers) {
    auto hotKey = HotKey::create(KeyCombo(key, modifiers));
    hotKey->setKeyDownHandler([this, action] {
        switch (action) {
        case ShortcutAction::updateLastAppliedPreset:
            updateLastAppliedPresetFromDock();
            break;
        }
    });
    return hotKey;
}

std::optional<QString> ShortcutManager::dropPresetHotKey(const QUuid& presetId) {
    // An entry kept because it could not be read goes too: the preset's shortcut is being replaced
    // or removed.
    const qsizetype kept =
        keptPresetEntries_.removeIf([&](const auto& entry) { return QUuid(entry.key()) == presetId; });
    if (!hotKeys_.erase(presetId) && kept == 0)
        return std::nullopt;
    auto error = writePresetTable();
    postDidChange();
    return error;
}

void ShortcutManager::removeTriggersOfDeletedPreset(const QUuid& presetId) {
    runOnMainSync([&] {
        bool written = true;
        if (ShortcutManager* live = existing()) {
            live->dropPresetHotKey(presetId);
        } else {
            UserDefaults& defaults = UserDefaults::standard();
            const std::optional<QVariant> stored = defaults.object(kPresetTableKey);
            QVariantMap table = stored ? stored->toMap() : QVariantMap();
            const qsizetype before = table.size();
            table.removeIf([&](const auto& entry) { return QUuid(entry.key()) == presetId; });
            written = table.size() == before || !writeTable(kPresetTableKey, table);
        }
        AdvancedHotkeyManager::removeConfigurationOfDeletedPreset(presetId);
        if (written)
            warnIfNotSynced();
    });
}

std::optional<QString> ShortcutManager::dropActionHotKey(ShortcutAction action) {
    const qsizetype kept = keptActionEntries_.remove(shortcutActionRawValue(action));
    if (!actionHotKeys_.erase(action) && kept == 0)
        return std::nullopt;
    auto error = writeActionTable();
    postDidChange();
    return error;
}

// A change that could not be stored is undone here too: otherwise the running app would use it and
// write it out later, although the caller was told it failed.
std::optional<QString> ShortcutManager::setPresetShortcut(const QUuid& presetId, Key key, quint64 modifiers) {
    const std::optional<StoredShortcut> previous = presetShortcut(presetId);
    auto error = dropPresetHotKey(presetId);
    hotKeys_[presetId] = makePresetHotKey(presetId, key, modifiers);
    if (auto written = writePresetTable()) {
        error = written;
        hotKeys_.erase(presetId);
        if (previous)
            hotKeys_[presetId] = makePresetHotKey(presetId, previous->key, previous->modifiers);
    }
    postDidChange();
    return syncedUnless(error);
}

std::optional<QString> ShortcutManager::removePresetShortcut(const QUuid& presetId) {
    const std::optional<StoredShortcut> previous = presetShortcut(presetId);
    auto error = dropPresetHotKey(presetId);
    if (error && previous)
        hotKeys_[presetId] = makePresetHotKey(presetId, previous->key, previous->modifiers);
    // The live manager when the app runs, else its stored table.
    AdvancedHotkeyManager::removeConfigurationOfDeletedPreset(presetId);
    return syncedUnless(error);
}

std::optional<QString> ShortcutManager::setActionShortcut(ShortcutAction action, Key key, quint64 modifiers) {
    const std::optional<StoredShortcut> previous = actionShortcut(action);
    auto error = dropActionHotKey(action);
    actionHotKeys_[action] = makeActionHotKey(action, key, modifiers);
    if (auto written = writeActionTable()) {
        error = written;
        actionHotKeys_.erase(action);
        if (previous)
            actionHotKeys_[action] = makeActionHotKey(action, previous->key, previous->modifiers);
    }
    postDidChange();
    return syncedUnless(error);
}

std::optional<QString> ShortcutManager::removeActionShortcut(ShortcutAction action) {
    const std::optional<StoredShortcut> previous = actionShortcut(action);
    auto error = dropActionHotKey(action);
    if (error && previous)
        actionHotKeys_[action] = makeActionHotKey(action, previous->key, previous->modifiers);
    return syncedUnless(error);
}

std::optional<StoredShortcut> ShortcutManager::presetShortcut(const QUuid& presetId) const {
    const auto it = hotKeys_.find(presetId);
    return it == hotKeys_.end() ? std::nullopt : shortcutOf(it->second);
}

std::optional<StoredShortcut> ShortcutManager::actionShortcut(ShortcutAction action) const {
    const auto it = actionHotKeys_.find(action);
    return it == actionHotKeys_.end() ? std::nullopt : shortcutOf(it->second);
}

QList<QUuid> ShortcutManager::presetsWithShortcuts() const {
    QList<QUuid> ids;
    for (const auto& entry : hotKeys_)
        ids.append(entry.first);
    return ids;
}

void ShortcutManager::loadStoredShortcuts() {
    loadPresetTable();
    loadActionTable();
}

// Entries that cannot be read stay in the stored table (a later version, or a hand edit, may
// make sense of them) and are reported; one for a preset that is gone goes at the next write.
void ShortcutManager::loadPresetTable() {
    keptPresetEntries_.clear();
    presetTableProblem_.reset();
    const std::optional<QVariant> stored = UserDefaults::standard().object(kPresetTableKey);
    if (!stored)
        return;
    if (stored->typeId() != QMetaType::QVariantMap) {
        presetTableProblem_ = QStringLiteral("the stored value is not a table");
        printWarning(
            QStringLiteral("Stored shortcuts under '%1' are not a table; left as stored").arg(kPresetTableKey));
        return;
    }
    const QVariantMap table = stored->toMap();
    QList<std::pair<QUuid, StoredShortcut>> usable;
    DockPresetManager& store = DockPresetManager::shared();
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        const QUuid id(it.key());
        if (it.value().typeId() != QMetaType::QVariantMap) {
            printWarning(QStringLiteral("Stored shortcut under '%1' is not an entry; kept as stored").arg(it.key()));
            keptPresetEntries_.insert(it.key(), it.value());
            continue;
        }
        if (id.isNull()) {
            printWarning(QStringLiteral("Invalid UUID string in saved shortcuts: %1").arg(it.key()));
            keptPresetEntries_.insert(it.key(), it.value());
            continue;
        }
        const DockPresetPtr preset = store.fetchPreset(id);
        if (!preset || !preset->name()) {
            printWarning(QStringLiteral("Could not find preset or preset name for ID: %1. Skipping shortcut.")
                             .arg(uuidText(id)));
            continue;
        }
        const std::optional<StoredShortcut> shortcut = readEntry(it.value().toMap());
        if (!shortcut) {
            printWarning(QStringLiteral("Missing key or modifier for preset ID %1. Shortcut might be incomplete.")
                             .arg(uuidText(id)));
            keptPresetEntries_.insert(it.key(), it.value());
            continue;
        }
        usable.append({id, *shortcut});
    }
    for (const auto& [id, shortcut] : usable) {
        dropPresetHotKey(id);
        hotKeys_[id] = makePresetHotKey(id, shortcut.key, shortcut.modifiers);
        writePresetTable();
        postDidChange();
    }
}

void ShortcutManager::loadActionTable() {
    keptActionEntries_.clear();
    actionTableProblem_.reset();
    const std::optional<QVariant> stored = UserDefaults::standard().object(kActionTableKey);
    if (!stored)
        return;
    if (stored->typeId() != QMetaType::QVariantMap) {
        actionTableProblem_ = QStringLiteral("the stored value is not a table");
        printWarning(
            QStringLiteral("Stored shortcuts under '%1' are not a table; left as stored").arg(kActionTableKey));
        return;
    }
    const QVariantMap table = stored->toMap();
    QList<std::pair<ShortcutAction, StoredShortcut>> usable;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        const std::optional<ShortcutAction> action = shortcutActionFromRawValue(it.key());
        const std::optional<StoredShortcut> shortcut =
            it.value().typeId() == QMetaType::QVariantMap ? readEntry(it.value().toMap()) : std::nullopt;
        if (!action)
            printWarning(QStringLiteral("Invalid action string in saved action shortcuts: %1").arg(it.key()));
        else if (!shortcut)
            printWarning(
                QStringLiteral("Missing key or modifier for action %1. Shortcut might be incomplete.").arg(it.key()));
        if (!action || !shortcut) {
            keptActionEntries_.insert(it.key(), it.value());
            continue;
        }
        usable.append({*action, *shortcut});
    }
    for (const auto& [action, shortcut] : usable) {
        dropActionHotKey(action);
        actionHotKeys_[action] = makeActionHotKey(action, shortcut.key, shortcut.modifiers);
        writeActionTable();
        postDidChange();
    }
}

// --- Save action -------------------------------------------------------------------------

void ShortcutManager::updateLastAppliedPresetFromDock(std::function<void(UpdateOutcome)> done) {
    const auto finish = [&done](UpdateOutcome outcome) {
        if (done)
            done(outcome);
    };
    const std::optional<QString> name = DockManager::shared().lastAppliedPresetName();
    if (!name) {
        printLine(QStringLiteral("No last applied preset found"));
        showUserNotification(
            QStringLiteral("No Preset to Update"),
            QStringLiteral(
                "No recently applied preset found. Apply a preset first, then use this shortcut to update it."));
        return finish(UpdateOutcome::NoLastPreset);
    }
    const DockPresetPtr preset = DockPresetManager::shared().fetchPreset(*name);
    if (!preset) {
        printWarning(QStringLiteral("Could not find preset: %1").arg(*name));
        showUserNotification(QStringLiteral("Preset Not Found"),
                             QStringLiteral("Could not find preset '%1'. It may have been deleted.").arg(*name));
        return finish(UpdateOutcome::PresetNotFound);
    }
    printLine(QStringLiteral("Updating preset '%1' from current dock state in 3.5 seconds...").arg(*name));
    // The preset found now is the one updated, even if it is renamed meanwhile.
    const QUuid id = preset->id().value_or(QUuid());
    auto timer = std::make_shared<TimerId>(0);
    *timer = Timers::shared().schedule(kUpdateDelaySeconds, false, [this, timer, id, name = *name, done] {
        std::erase(updateTimers_, *timer);
        finishUpdate(id, name, done);
    });
    updateTimers_.push_back(*timer);
}

void ShortcutManager::finishUpdate(const QUuid& presetId, const QString& name,
                                   const std::function<void(UpdateOutcome)>& done) {
    const auto finish = [&done](UpdateOutcome outcome) {
        if (done)
            done(outcome);
    };
    // A switch cut short may have left any part of its preset in the Dock.
    if (const auto unfinished = UserDefaults::standard().string(DockManager::kUnfinishedSwitchKey)) {
        printWarning(QStringLiteral("Not updating preset '%1': the switch to '%2' did not finish, so the Dock may be "
                                    "incomplete")
                         .arg(name, *unfinished));
        showUserNotification(QStringLiteral("Update Failed"),
                             QStringLiteral("Failed to update preset '%1': the Dock may be incomplete after an "
                                            "unfinished switch to '%2'")
                                 .arg(name, *unfinished));
        return finish(UpdateOutcome::UnfinishedSwitch);
    }
    const DockPresetPtr preset = presetId.isNull() ? nullptr : DockPresetManager::shared().fetchPreset(presetId);
    if (!preset) {
        printWarning(QStringLiteral("Could not find preset: %1").arg(name));
        showUserNotification(QStringLiteral("Preset Not Found"),
                             QStringLiteral("Could not find preset '%1'. It may have been deleted.").arg(name));
        return finish(UpdateOutcome::PresetNotFound);
    }
    const DockReading dock = currentDockTarget()->readLayout();
    if (dock.apps.isEmpty() && dock.items.isEmpty()) {
        printLine(QStringLiteral("No items found in current dock"));
        return finish(UpdateOutcome::DockEmpty);
    }
    printLine(QStringLiteral("Reading dock state: found %1 apps and %2 dock items")
                  .arg(dock.apps.size())
                  .arg(dock.items.size()));
    if (const auto error = DockPresetManager::shared().saveDockIntoPreset(preset, dock)) {
        printWarning(QStringLiteral("Failed to save preset updates: %1").arg(*error));
        showUserNotification(QStringLiteral("Update Failed"),
                             QStringLiteral("Failed to update preset '%1': %2").arg(name, *error));
        return finish(UpdateOutcome::SaveFailed);
    }
    printLine(QStringLiteral("Successfully updated preset '%1' from current dock state").arg(name));
    showUserNotification(QStringLiteral("Preset Updated"),
                         QStringLiteral("Successfully updated '%1' with current dock state").arg(name));
    finish(UpdateOutcome::Updated);
}

void ShortcutManager::showUserNotification(const QString& title, const QString& body) {
    UserNotificationRequest request;
    request.identifier = QStringLiteral("pierline-preset-update-") + uuidText(QUuid::createUuid());
    request.title = title;
    request.body = body;
    UserNotifications::shared().add(request, [](const QString& error) {
        if (!error.isEmpty())
            printWarning(QStringLiteral("Error showing notification: %1").arg(error));
    });
}

} // namespace pierline
