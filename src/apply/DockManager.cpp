#include "DockManager.h"

#include "dock/DefaultsWriter.h"
#include "dock/DockReader.h"
#include "dock/DockutilWriter.h"
#include "core/LastContextNotificationKeys.h"
#include "core/LockDockMonitor.h"
#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/SystemPaths.h"
#include "platform/UserDefaults.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "core/PresetRecord.h"
#include "switching/AppActionExecutor.h"
#include "switching/AppCloser.h"
#include "switching/AppNoteManager.h"
#include "switching/HarborletApplier.h"

#include <QFileInfo>

namespace pierline {
namespace {

const Logger& log() {
    static const Logger logger(QStringLiteral("DockManager"));
    return logger;
}

QString fixed1(double value) {
    return QString::asprintf("%.1f", value);
}

// Settings read straight from user defaults: the apply may run off the main thread, where the
// settings object does not live. Absent keys take the settings' defaults.
bool setting(const QString& key, bool whenAbsent) {
    return UserDefaults::standard().boolValue(key).value_or(whenAbsent);
}

QString describe(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const StoreError& e) {
        return e.description();
    } catch (const AppNoteError& e) {
        return e.description();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}

} // namespace

QVariantMap LastContextSwitchInfo::userInfo() const {
    QVariantMap info;
    info.insert(LastContextNotificationKeys::newPresetName, newPresetName);
    if (newPresetId)
        info.insert(LastContextNotificationKeys::newPresetID, *newPresetId);
    if (previousPresetName)
        info.insert(LastContextNotificationKeys::previousPresetName, *previousPresetName);
    if (previousPresetId)
        info.insert(LastContextNotificationKeys::previousPresetID, *previousPresetId);
    return info;
}

void ApplyHandle::waitForSideEffects() const {
    if (closing)
        QFuture<void>(*closing).waitForFinished();
    if (actions)
        QFuture<void>(*actions).waitForFinished();
}

DockManager& DockManager::shared() {
    static DockManager instance;
    return instance;
}

DockManager::DockManager() {
    loadRecord();
}

void DockManager::loadRecord() {
    UserDefaults& defaults = UserDefaults::standard();
    std::lock_guard lock(mutex_);
    lastAppliedName_ = defaults.string(kLastAppliedNameKey);
    lastAppliedId_.reset();
    if (const auto text = defaults.string(kLastAppliedIdKey)) {
        const QUuid id = QUuid::fromString(*text);
        if (!id.isNull())
            lastAppliedId_ = id;
    }
}

void DockManager::resetForTesting() {
    loadRecord();
    std::lock_guard lock(mutex_);
    lastApplyTime_.reset();
}

std::optional<QString> DockManager::lastAppliedPresetName() const {
    std::lock_guard lock(mutex_);
    return lastAppliedName_;
}

std::optional<QUuid> DockManager::lastAppliedPresetId() const {
    std::lock_guard lock(mutex_);
    return lastAppliedId_;
}

std::optional<QDateTime> DockManager::lastApplyTime() const {
    std::lock_guard lock(mutex_);
    return lastApplyTime_;
}

ApplyHandle DockManager::applyPreset(const QString& name, bool bypassCooldown) {
    bool found = false;
    QStringList apps;
    QList<DockFolderStackValues> items;
    runOnMainSync([&] {
        const DockPresetPtr preset = DockPresetManager::shared().fetchPreset(name);
        if (!preset)
            return;
        found = true;
        apps = decodeApps(preset->apps());
        for (const DockFolderStackPtr& item : preset->folderStacksArray())
            items.append(item->values());
    });
    if (!found) {
        // Writing the two empty lists would wipe the Dock for a typo.
        printLine(QStringLiteral("Cannot apply preset '%1': no preset has that name").arg(name));
        log().error(QStringLiteral("applyPreset REFUSED: no preset named '%1' — Dock unchanged").arg(name));
        return {};
    }
    printLine(QStringLiteral("Applying preset: %1").arg(name));
    printLine(QStringLiteral("Found %1 apps").arg(apps.size()));
    printLine(QStringLiteral("Found %1 dock items").arg(items.size()));
    return applyPreset(apps, items, name, bypassCooldown);
}

ApplyHandle DockManager::applyPreset(const QStringList& apps, const QList<DockFolderStackValues>& items,
                                     const QString& name, bool bypassCooldown) {
    ApplyHandle handle;
    log().info(QStringLiteral("applyPreset '%1' apps=%2 items=%3 bypassCooldown=%4 thread=%5")
                   .arg(name)
                   .arg(apps.size())
                   .arg(items.size())
                   .arg(bypassCooldown ? QStringLiteral("true") : QStringLiteral("false"),
                        isMainThread() ? QStringLiteral("main") : QStringLiteral("background")));

    // Cooldown: set only when a write finishes, so a request during a write still passes.
    const std::optional<QDateTime> last = lastApplyTime();
    const double elapsed = last ? static_cast<double>(last->msecsTo(Clock::shared().now())) / 1000.0 : 1e12;
    if (elapsed < kApplyCooldown) {
        if (!bypassCooldown) {
            const QString remaining = fixed1(kApplyCooldown - elapsed);
            printLine(QStringLiteral("Please wait %1 seconds before applying another preset").arg(remaining));
            log().info(
                QStringLiteral("applyPreset SKIPPED: '%1' blocked by cooldown remaining=%2s").arg(name, remaining));
            handle.outcome = ApplyHandle::Outcome::HeldByCooldown;
            return handle;
        }
        printLine(QStringLiteral("Bypassing apply cooldown for preset '%1'").arg(name));
        log().info(QStringLiteral("applyPreset bypassing cooldown for '%1' elapsed=%2s").arg(name, fixed1(elapsed)));
    }

    const DockPresetPtr stored = runOnMainSyncResult([&] { return DockPresetManager::shared().fetchPreset(name); });
    const std::optional<QUuid> storedId = stored ? stored->id() : std::nullopt;
    const std::optional<QString> previousName = lastAppliedPresetName();
    const std::optional<QUuid> previousId = lastAppliedPresetId();

    // Already active.
    if (UserDefaults::standard().boolForKey(QStringLiteral("skipApplyIfSamePreset")) && storedId && previousId &&
        *storedId == *previousId) {
        bool skip = true;
        const bool companionOnly = runOnMainSyncResult([&] { return stored->harborletOnlyMode(); });
        if (!companionOnly) {
            const auto reading = DockReader::readDock();
            if (const auto* error = std::get_if<DockReadError>(&reading)) {
                printLine(
                    QStringLiteral("Warning: could not verify dock state before skip. %1").arg(error->description()));
            } else if (!appListsMatch(std::get<DockReading>(reading).apps, apps)) {
                skip = false;
                printLine(
                    QStringLiteral("Dock no longer matches preset '%1' — reapplying despite skip setting").arg(name));
                log().info(QStringLiteral("applyPreset: '%1' marked active but Dock contents differ (stale state) — "
                                          "reapplying instead of skipping")
                               .arg(name));
            }
        }
        if (skip) {
            printLine(QStringLiteral("Skipping preset apply - '%1' is already the active preset (skip setting enabled)")
                          .arg(name));
            log().info(QStringLiteral("applyPreset SKIPPED: '%1' already active (skipApplyIfSamePreset enabled) — Dock "
                                      "unchanged")
                           .arg(name));
            handle.outcome = ApplyHandle::Outcome::AlreadyActive;
            return handle;
        }
    }

    const LastContextSwitchInfo info{previousName, previousId, name, storedId};

    const bool companionOnly = runOnMainSyncResult([&] {
        const DockPresetPtr preset = DockPresetManager::shared().fetchPreset(name);
        return preset && preset->harborletOnlyMode();
    });
    if (companionOnly) {
        printLine(
            QStringLiteral("[Pierline] Harborlet-only mode active for '%1' — skipping system dock changes").arg(name));
        log().info(
            QStringLiteral("applyPreset: Harborlet-only mode for '%1' — skipping ALL system Dock changes by design")
                .arg(name));
        recordApplied(name);
        handle.outcome = ApplyHandle::Outcome::HarborletOnly;
        handOff(name, apps, info, handle);
        return handle;
    }

    if (setting(QStringLiteral("autoSaveCurrentDockToLastPreset"), false))
        autoSaveCurrentDock(name);

    bool finished = false;
    const auto finish = [&] {
        finishWrite(name, apps, previousId, previousName, handle);
        finished = true;
    };
    const QString bundled = SystemPaths::bundleResource(QStringLiteral("dockutil"));
    if (!setting(QStringLiteral("useDockutil"), true)) {
        printLine(QStringLiteral("User has disabled dockutil usage. Using defaults method."));
        log().info(QStringLiteral("applyPreset backend=defaults reason=userDisabledDockutil preset='%1'").arg(name));
        DefaultsWriter::apply(name, apps, items, finish);
    } else if (QFileInfo::exists(bundled)) {
        printLine(QStringLiteral("dockutil found in the app bundle at %1. Applying preset using dockutil method.")
                      .arg(bundled));
        log().info(QStringLiteral("applyPreset backend=dockutil source=bundle preset='%1'").arg(name));
        DockutilWriter::apply(bundled, name, apps, items, finish);
    } else if (const auto found = DockutilWriter::findDockutil()) {
        printLine(QStringLiteral("dockutil found at %1. Applying preset using dockutil method.").arg(*found));
        log().info(QStringLiteral("applyPreset backend=dockutil source=system preset='%1'").arg(name));
        DockutilWriter::apply(*found, name, apps, items, finish);
    } else {
        printLine(QStringLiteral("dockutil not found. Applying preset using defaults method."));
        log().info(QStringLiteral("applyPreset backend=defaults reason=dockutilMissing preset='%1'").arg(name));
        DefaultsWriter::apply(name, apps, items, finish);
    }

    if (!finished) {
        // The writer stopped before touching the Dock (it printed why); nothing was switched.
        log().error(QStringLiteral("applyPreset: write of '%1' did not finish — no side effects").arg(name));
        handle.outcome = ApplyHandle::Outcome::WriteFailed;
        return handle;
    }
    handle.outcome = ApplyHandle::Outcome::Written;
    handOff(name, apps, info, handle);
    return handle;
}

void DockManager::recordApplied(const QString& name) {
    const DockPresetPtr preset = runOnMainSyncResult([&] { return DockPresetManager::shared().fetchPreset(name); });
    UserDefaults& defaults = UserDefaults::standard();
    std::lock_guard lock(mutex_);
    lastApplyTime_ = Clock::shared().now();
    if (preset) {
        lastAppliedId_ = preset->id();
        if (lastAppliedId_)
            defaults.set(kLastAppliedIdKey, uuidText(*lastAppliedId_));
        else
            defaults.remove(kLastAppliedIdKey);
    }
    lastAppliedName_ = name;
    defaults.set(kLastAppliedNameKey, name);
}

void DockManager::finishWrite(const QString& name, const QStringList& apps, const std::optional<QUuid>& previousId,
                              const std::optional<QString>& previousName, ApplyHandle& handle) {
    recordApplied(name);
    if (!UserDefaults::standard().boolForKey(QStringLiteral("closeOtherApps")))
        return;
    const QStringList excluded =
        UserDefaults::standard().stringArray(QStringLiteral("excludedPresetIds")).value_or(QStringList{});
    if (previousId && excluded.contains(uuidText(*previousId))) {
        printLine(QStringLiteral("Skipping app closure - leaving excluded preset: %1")
                      .arg(previousName.value_or(QStringLiteral("unknown"))));
        return;
    }
    handle.closing = AppCloser::closeAppsNotInPreset(apps);
}

void DockManager::handOff(const QString& name, const QStringList& apps, const LastContextSwitchInfo& info,
                          ApplyHandle& handle) {
    AppActionExecutor::logActions(name, apps);
    handle.actions = runAsync(QueuePriority::UserInitiated, [name, apps, info] {
        AppActionExecutor::executeActionsForPreset(name, apps);
        NotificationCenter::shared().postOnMain(kPresetSwitchContextRequestedNotification, info.userInfo());
    });
    HarborletApplier::applyHarborletIntegration(name);
    LockDockMonitor::shared().scheduleAutoRelocateIfNeeded(QStringLiteral("Preset switch"));
}

void DockManager::autoSaveCurrentDock(const QString& targetName) {
    const std::optional<QString> lastName = lastAppliedPresetName();
    if (!lastName) {
        printLine(QStringLiteral("Auto-save: No last applied preset to save to"));
        return;
    }
    if (*lastName == targetName) {
        printLine(QStringLiteral("Auto-save: Skipping - switching to the same preset (%1)").arg(targetName));
        return;
    }
    const QStringList apps = DockReader::getDockApps();
    const QList<DockItem> items = DockReader::getDockItems();
    if (apps.isEmpty() && items.isEmpty()) {
        printLine(QStringLiteral("Auto-save: No items found in current dock, skipping"));
        return;
    }

    runOnMainSync([&] {
        DockPresetManager& manager = DockPresetManager::shared();
        ManagedObjectContext& context = manager.context();
        const DockPresetPtr preset = manager.fetchPreset(*lastName);
        if (!preset) {
            printLine(QStringLiteral("Auto-save: Could not find last applied preset: %1").arg(*lastName));
            return;
        }
        printLine(QStringLiteral("Auto-save: Saving current dock state to preset '%1' before switching to '%2'")
                      .arg(*lastName, targetName));
        preset->setApps(encodeApps(apps));
        try {
            AppNoteManager::shared().cleanupOrphanedNotes(*preset, apps, context);
        } catch (...) {
            printLine(QStringLiteral("Auto-save: Failed to clean up orphaned app notes: %1")
                          .arg(describe(std::current_exception())));
        }

        for (const DockFolderStackPtr& item : preset->folderStacksArray()) {
            context.deleteObject(item);
            try {
                context.save();
            } catch (...) {
                printLine(QStringLiteral("Error removing folder stack: %1").arg(describe(std::current_exception())));
                context.rollback();
            }
        }

        for (const DockItem& item : items) {
            std::optional<QString> unknownType;
            const auto values = storedItemFromDockItem(item, StoredItemKinds::All, &unknownType);
            if (!values) {
                if (unknownType)
                    printLine(QStringLiteral("Auto-save: Unknown item type: %1").arg(*unknownType));
                continue;
            }
            const auto stack = context.insert<DockFolderStack>();
            stack->assign(*values);
            stack->setOrder(static_cast<qint16>(preset->folderStacks().size()));
            stack->setPreset(preset);
            try {
                context.save();
            } catch (...) {
                // The final save below reports a store that refuses writes.
            }
        }

        try {
            context.save();
            printLine(QStringLiteral("Auto-save: Successfully saved current dock state to preset '%1'").arg(*lastName));
        } catch (...) {
            printLine(
                QStringLiteral("Auto-save: Failed to save preset updates: %1").arg(describe(std::current_exception())));
        }
    });
}

} // namespace pierline
