#include "DockManager.h"

#include "core/LastContextNotificationKeys.h"
#include "core/LockDockMonitor.h"
#include "core/PresetRecord.h"
#include "core/SettingDescriptors.h"
#include "dock/DockReader.h"
#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/FileLock.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/SystemPaths.h"
#include "platform/UserDefaults.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"
#include "switching/AppActionExecutor.h"
#include "switching/AppCloser.h"
#include "switching/HarborletApplier.h"
#include "targets/DockTarget.h"

#include <QDir>
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
// settings object does not live. One spot per setting.
bool skipIfSamePresetSetting() {
    return readBoolSetting(Setting::SkipApplyIfSamePreset);
}
bool autoSaveSetting() {
    return readBoolSetting(Setting::AutoSaveCurrentDockToLastPreset);
}
bool closeOtherAppsSetting() {
    return readBoolSetting(Setting::CloseOtherApps);
}
QStringList excludedPresetIdsSetting() {
    return readStringListSetting(Setting::ExcludedPresetIds);
}
QStringList excludedAppsSetting() {
    return readStringListSetting(Setting::ExcludedApps);
}
bool integrateWithHarborletSetting() {
    return readBoolSetting(Setting::IntegrateWithHarborlet);
}

// The one store read of a switch: everything the writer and the side effects need, in one hop.
template <typename Fetch> std::optional<PresetSnapshot> readPreset(Fetch fetch) {
    return runOnMainSyncResult([&]() -> std::optional<PresetSnapshot> {
        const DockPresetPtr preset = fetch();
        if (!preset)
            return std::nullopt;
        return PresetSnapshot::of(*preset);
    });
}

// The switch is over; a mark that cannot be cleared only makes the next auto-save skip.
void clearUnfinishedMark() {
    try {
        UserDefaults::standard().remove(DockManager::kUnfinishedSwitchKey);
    } catch (const UserDefaultsError& error) {
        printWarning(QStringLiteral("Could not clear the unfinished-switch mark: %1").arg(error.message()));
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

ApplyHandle DockManager::applyFound(const std::optional<PresetSnapshot>& preset, const QString& missing,
                                    bool bypassCooldown) {
    if (!preset) {
        // Writing the two empty lists would wipe the Dock for a typo.
        printWarning(QStringLiteral("Cannot apply preset %1").arg(missing));
        log().error(QStringLiteral("applyPreset REFUSED: %1 — Dock unchanged").arg(missing));
        return {};
    }
    printLine(QStringLiteral("Applying preset: %1").arg(preset->name));
    printLine(QStringLiteral("Found %1 apps").arg(preset->apps.size()));
    printLine(QStringLiteral("Found %1 dock items").arg(preset->items.size()));
    return applyPreset(*preset, bypassCooldown);
}

ApplyHandle DockManager::applyPreset(const QString& name, bool bypassCooldown) {
    return applyFound(readPreset([&] { return DockPresetManager::shared().fetchPreset(name); }),
                      QStringLiteral("'%1': no preset has that name").arg(name), bypassCooldown);
}

ApplyHandle DockManager::applyPreset(const QUuid& id, bool bypassCooldown) {
    return applyFound(readPreset([&] { return DockPresetManager::shared().fetchPreset(id); }),
                      QStringLiteral("%1: no preset has that id").arg(uuidText(id)), bypassCooldown);
}

ApplyHandle DockManager::applyPreset(const QStringList& apps, const QList<DockFolderStackValues>& items,
                                     const QString& name, bool bypassCooldown) {
    PresetSnapshot preset = readPreset([&] {
                                return DockPresetManager::shared().fetchPreset(name);
                            }).value_or(PresetSnapshot{.name = name});
    preset.name = name;
    preset.apps = apps;
    preset.items = items;
    return applyPreset(preset, bypassCooldown);
}

ApplyHandle DockManager::applyPreset(const PresetSnapshot& preset, bool bypassCooldown) {
    log().info(QStringLiteral("applyPreset '%1' apps=%2 items=%3 bypassCooldown=%4 thread=%5")
                   .arg(preset.name)
                   .arg(preset.apps.size())
                   .arg(preset.items.size())
                   .arg(bypassCooldown ? QStringLiteral("true") : QStringLiteral("false"),
                        isMainThread() ? QStringLiteral("main") : QStringLiteral("background")));
    ApplyHandle handle;
    if (heldByCooldown(preset.name, bypassCooldown)) {
        handle.outcome = ApplyHandle::Outcome::HeldByCooldown;
        return handle;
    }

    // From here to the hand-off one switch at a time; whoever held the lock may have switched the
    // Dock under another record, so the record is read again.
    const FileLock lock(switchLockPath(), FileLock::Mode::Wait,
                        [] { printLine(QStringLiteral("Waiting for another switch to finish")); });
    if (!lock.held())
        printWarning(QStringLiteral("Switching without the switch lock: %1").arg(lock.error()));
    loadRecord();
    const SwitchContext context = resolveContext(preset);
    const LastContextSwitchInfo info{lastAppliedPresetName(), lastAppliedPresetId(), preset.name, preset.id};

    if (alreadyActive(context, info.previousPresetId)) {
        handle.outcome = ApplyHandle::Outcome::AlreadyActive;
        return handle;
    }
    if (preset.harborletOnlyMode)
        applyCompanionOnly(context, info, handle);
    else
        writeDock(context, info, handle);
    return handle;
}

void DockManager::setTargetFactoryForTesting(DockTargetFactory factory) {
    std::lock_guard lock(mutex_);
    targetFactory_ = std::move(factory);
}

// Cooldown: set only when a write finishes, so a request during a write still passes.
bool DockManager::heldByCooldown(const QString& name, bool bypassCooldown) const {
    const std::optional<QDateTime> last = lastApplyTime();
    const double elapsed = last ? static_cast<double>(last->msecsTo(Clock::shared().now())) / 1000.0 : 1e12;
    if (elapsed >= kApplyCooldown)
        return false;
    if (!bypassCooldown) {
        const QString remaining = fixed1(kApplyCooldown - elapsed);
        printWarning(QStringLiteral("Please wait %1 seconds before applying another preset").arg(remaining));
        log().info(QStringLiteral("applyPreset SKIPPED: '%1' blocked by cooldown remaining=%2s").arg(name, remaining));
        return true;
    }
    printLine(QStringLiteral("Bypassing apply cooldown for preset '%1'").arg(name));
    log().info(QStringLiteral("applyPreset bypassing cooldown for '%1' elapsed=%2s").arg(name, fixed1(elapsed)));
    return false;
}

SwitchContext DockManager::resolveContext(const PresetSnapshot& preset) const {
    SwitchContext context;
    context.preset = preset;
    {
        std::lock_guard lock(mutex_);
        context.target = targetFactory_ ? targetFactory_() : currentDockTarget();
    }
    context.skipIfSamePreset = skipIfSamePresetSetting();
    context.autoSave = autoSaveSetting();
    context.closeOtherApps = closeOtherAppsSetting();
    context.integrateWithHarborlet = integrateWithHarborletSetting();
    context.excludedPresetIds = excludedPresetIdsSetting();
    context.excludedApps = excludedAppsSetting();
    if (context.target->generatesFiles() && !preset.harborletOnlyMode) {
        runOnMainSync([&] {
            for (const DockPresetPtr& each : DockPresetManager::shared().fetchAllPresets()) {
                context.storedApps.append(decodeApps(each->apps()));
                for (const DockFolderStackPtr& item : each->folderStacksArray())
                    context.storedItems.append(item->values());
            }
        });
    }
    return context;
}

bool DockManager::alreadyActive(const SwitchContext& context, const std::optional<QUuid>& previousId) const {
    const PresetSnapshot& preset = context.preset;
    if (!context.skipIfSamePreset || !preset.id || !previousId || *preset.id != *previousId)
        return false;
    if (!preset.harborletOnlyMode) {
        const auto reading = context.target->read();
        if (const auto* error = std::get_if<DockReadError>(&reading)) {
            printWarning(
                QStringLiteral("Warning: could not verify dock state before skip. %1").arg(error->description()));
        } else if (!appListsMatch(std::get<DockReading>(reading).apps, preset.apps)) {
            printLine(QStringLiteral("Dock no longer matches preset '%1' — reapplying despite skip setting")
                          .arg(preset.name));
            log().info(QStringLiteral("applyPreset: '%1' marked active but Dock contents differ (stale state) — "
                                      "reapplying instead of skipping")
                           .arg(preset.name));
            return false;
        }
    }
    printLine(QStringLiteral("Skipping preset apply - '%1' is already the active preset (skip setting enabled)")
                  .arg(preset.name));
    log().info(QStringLiteral("applyPreset SKIPPED: '%1' already active (skipApplyIfSamePreset enabled) — Dock "
                              "unchanged")
                   .arg(preset.name));
    return true;
}

void DockManager::applyCompanionOnly(const SwitchContext& context, const LastContextSwitchInfo& info,
                                     ApplyHandle& handle) {
    const QString& name = context.preset.name;
    printLine(
        QStringLiteral("[Pierline] Harborlet-only mode active for '%1' — skipping system dock changes").arg(name));
    log().info(QStringLiteral("applyPreset: Harborlet-only mode for '%1' — skipping ALL system Dock changes by design")
                   .arg(name));
    recordApplied(context.preset);
    handle.outcome = ApplyHandle::Outcome::HarborletOnly;
    handOff(context, info, handle);
}

void DockManager::writeDock(const SwitchContext& context, const LastContextSwitchInfo& info, ApplyHandle& handle) {
    const PresetSnapshot& preset = context.preset;
    DockTarget& target = *context.target;
    QList<DockFolderStackValues> itemsInUse = context.storedItems;
    // The auto-save may store items of the Dock being left: what they need is kept too.
    if (context.autoSave)
        itemsInUse.append(autoSaveCurrentDock(preset.name, target));

    // Marked before the first Dock write: a switch killed part-way leaves the mark, and the next
    // auto-save does not take its half-written Dock for a layout.
    try {
        UserDefaults::standard().set(kUnfinishedSwitchKey, preset.name);
    } catch (const UserDefaultsError& error) {
        // Without the mark an interrupted switch could be auto-saved over a preset: do not start.
        printWarning(QStringLiteral("Cannot apply '%1': %2").arg(preset.name, error.message()));
        handle.outcome = ApplyHandle::Outcome::WriteFailed;
        return;
    }

    if (target.generatesFiles())
        target.setStoredEntries(context.storedApps, itemsInUse);
    bool finished = false;
    handle.dockWrite = target.write(preset.name, preset.apps, preset.items, [&] {
        finishWrite(context, info, handle);
        finished = true;
    });
    if (!finished) {
        // The writer stopped before touching the Dock (it printed why); nothing was switched.
        clearUnfinishedMark();
        log().error(QStringLiteral("applyPreset: write of '%1' did not finish — no side effects").arg(preset.name));
        handle.outcome = ApplyHandle::Outcome::WriteFailed;
        return;
    }
    if (target.generatesFiles() && handle.dockWrite)
        target.removeUnused(itemsInUse);
    if (handle.dockWrite.failed > 0) {
        printWarning(handle.dockWrite.failureLine(structuredLogLocation()));
        log().error(QStringLiteral("applyPreset: %1 of %2 Dock commands failed for '%3'")
                        .arg(handle.dockWrite.failed)
                        .arg(handle.dockWrite.commands)
                        .arg(preset.name));
    }
    handle.outcome = ApplyHandle::Outcome::Written;
    handOff(context, info, handle);
}

QString DockManager::switchLockPath() {
    return QDir(SystemPaths::applicationSupportFolder()).filePath(QStringLiteral(".switch.lock"));
}

void DockManager::recordApplied(const PresetSnapshot& preset) {
    UserDefaults& defaults = UserDefaults::standard();
    std::lock_guard lock(mutex_);
    lastApplyTime_ = Clock::shared().now();
    if (preset.stored)
        lastAppliedId_ = preset.id;
    lastAppliedName_ = preset.name;
    // The switch is done and recorded in this process; only the copy for later runs is lost.
    try {
        if (preset.stored) {
            if (lastAppliedId_)
                defaults.set(kLastAppliedIdKey, uuidText(*lastAppliedId_));
            else
                defaults.remove(kLastAppliedIdKey);
        }
        defaults.set(kLastAppliedNameKey, preset.name);
    } catch (const UserDefaultsError& error) {
        printWarning(
            QStringLiteral("Could not record '%1' as the applied preset: %2").arg(preset.name, error.message()));
    }
}

void DockManager::finishWrite(const SwitchContext& context, const LastContextSwitchInfo& info, ApplyHandle& handle) {
    recordApplied(context.preset);
    clearUnfinishedMark();
    if (!context.closeOtherApps)
        return;
    if (info.previousPresetId && context.excludedPresetIds.contains(uuidText(*info.previousPresetId))) {
        printLine(QStringLiteral("Skipping app closure - leaving excluded preset: %1")
                      .arg(info.previousPresetName.value_or(QStringLiteral("unknown"))));
        return;
    }
    handle.closing =
        AppCloser::closeAppsNotInPreset(context.preset.apps, context.excludedApps, context.target->appKind());
}

QFuture<void> DockManager::runActionsThenRequestContext(const PresetSnapshot& preset, DockAppKind kind,
                                                        const LastContextSwitchInfo& info) {
    return runAsync(QueuePriority::UserInitiated, [preset, kind, info] {
        AppActionExecutor::executeActionsForPreset(preset, kind);
        NotificationCenter::shared().postOnMainQueue(kPresetSwitchContextRequestedNotification, info.userInfo());
    });
}

void DockManager::handOff(const SwitchContext& context, const LastContextSwitchInfo& info, ApplyHandle& handle) {
    const PresetSnapshot& preset = context.preset;
    AppActionExecutor::logActions(preset);
    DockPresetManager::shared().logIfNetworkTransitioning(
        QStringLiteral("executeActionsForPreset(%1)").arg(preset.name));
    handle.actions = runActionsThenRequestContext(preset, context.target->appKind(), info);
    HarborletApplier::applyHarborletIntegration(preset, context.integrateWithHarborlet);
    LockDockMonitor::shared().scheduleAutoRelocateIfNeeded(QStringLiteral("Preset switch"));
}

QList<DockFolderStackValues> DockManager::autoSaveCurrentDock(const QString& targetName, const DockTarget& target) {
    const std::optional<QString> lastName = lastAppliedPresetName();
    if (!lastName) {
        printLine(QStringLiteral("Auto-save: No last applied preset to save to"));
        return {};
    }
    if (*lastName == targetName) {
        printLine(QStringLiteral("Auto-save: Skipping - switching to the same preset (%1)").arg(targetName));
        return {};
    }
    if (const auto unfinished = UserDefaults::standard().string(kUnfinishedSwitchKey)) {
        // A switch that never finished may have left any part of its preset in the Dock.
        printWarning(QStringLiteral("Auto-save: Skipping - the switch to '%1' did not finish, so the Dock may be "
                                    "incomplete; '%2' keeps its saved layout")
                         .arg(*unfinished, *lastName));
        log().notice(QStringLiteral("autoSave SKIPPED: unfinished switch to '%1' — '%2' not overwritten")
                         .arg(*unfinished, *lastName));
        return {};
    }
    const DockReading dock = target.readLayout();
    if (dock.apps.isEmpty() && dock.items.isEmpty()) {
        printLine(QStringLiteral("Auto-save: No items found in current dock, skipping"));
        return {};
    }

    QList<DockFolderStackValues> saved;
    runOnMainSync([&] {
        const DockPresetPtr preset = DockPresetManager::shared().fetchPreset(*lastName);
        if (!preset) {
            printWarning(QStringLiteral("Auto-save: Could not find last applied preset: %1").arg(*lastName));
            return;
        }
        printLine(QStringLiteral("Auto-save: Saving current dock state to preset '%1' before switching to '%2'")
                      .arg(*lastName, targetName));
        if (const auto error =
                DockPresetManager::shared().saveDockIntoPreset(preset, dock, QStringLiteral("Auto-save: ")))
            printWarning(QStringLiteral("Auto-save: Failed to save preset updates: %1").arg(*error));
        else
            printLine(QStringLiteral("Auto-save: Successfully saved current dock state to preset '%1'").arg(*lastName));
        for (const DockFolderStackPtr& item : preset->folderStacksArray())
            saved.append(item->values());
    });
    return saved;
}

} // namespace pierline
