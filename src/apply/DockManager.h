#pragma once

#include "core/DockFolderStack.h"
#include "core/DockPreset.h"
#include "dock/DockItem.h"
#include "dock/DockWriteReport.h"
#include "switching/PresetSnapshot.h"
#include "targets/DockTarget.h"

#include <QDateTime>
#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace pierline {

// The preset being left and the one being entered, handed to the Last Context popup.
struct LastContextSwitchInfo {
    std::optional<QString> previousPresetName;
    std::optional<QUuid> previousPresetId;
    QString newPresetName;
    std::optional<QUuid> newPresetId;

    // The switch-context request's user info; a key is present only when its value is known.
    QVariantMap userInfo() const;
};

// What one apply request did, and the side-effect tasks it started (a command-line run waits for
// them before it exits).
struct ApplyHandle {
    enum class Outcome { UnknownPreset, HeldByCooldown, AlreadyActive, Written, HarborletOnly, WriteFailed };
    Outcome outcome = Outcome::UnknownPreset;
    std::optional<QFuture<void>> closing; // closing the apps the preset lacks
    std::optional<QFuture<void>> actions; // the app actions, then the switch-context request
    DockWriteReport dockWrite;            // what the writer did (Written only)

    // Blocks until both tasks are done. They hop to the main thread, so call this off it (or
    // keep the main queue running).
    void waitForSideEffects() const;
};

// What one switch works from, fixed at its start: the preset as read, the dock it goes to and the
// settings that steer it. The writer and every side effect take it from here, so a setting changed
// while the switch runs (the dock target among them) waits for the next switch.
struct SwitchContext {
    PresetSnapshot preset;
    std::shared_ptr<DockTarget> target;
    bool skipIfSamePreset = false;
    bool autoSave = false;
    bool closeOtherApps = false;
    bool integrateWithHarborlet = false;
    QStringList excludedPresetIds;
    QStringList excludedApps;
    // What every stored preset holds, read only for a target that keeps files of its own.
    QStringList storedApps;
    QList<DockFolderStackValues> storedItems;
};

// Makes the dock target a switch uses; tests count and steer it.
using DockTargetFactory = std::function<std::unique_ptr<DockTarget>()>;

// The one entry that puts a preset onto the Dock, with its gates (cooldown, "already active",
// companion-only presets), the auto-save of the Dock being left, the writer choice and the
// side effects. Keeps the process-wide record of the last applied preset.
class DockManager {
public:
    static DockManager& shared();

    static constexpr double kApplyCooldown = 4.0;
    static inline const QString kLastAppliedNameKey = QStringLiteral("Pierline.lastAppliedPresetName");
    static inline const QString kLastAppliedIdKey = QStringLiteral("Pierline.lastAppliedPresetId");
    // Set, to the preset's name, from just before the first Dock write until the preset is recorded
    // as applied: while it is there the Dock may be half written and is not auto-saved.
    static inline const QString kUnfinishedSwitchKey = QStringLiteral("Pierline.unfinishedSwitch");

    // The switch itself. Runs on the caller's thread (main or background). Past the preset it is
    // given it reads the store only at its start (what every preset holds, for a target that keeps
    // files); after that only the auto-save of the Dock being left touches the store.
    ApplyHandle applyPreset(const PresetSnapshot& preset, bool bypassCooldown);
    // Read the preset once, in one main-thread hop; an unknown name or id is refused and nothing
    // is written.
    ApplyHandle applyPreset(const QString& name, bool bypassCooldown);
    ApplyHandle applyPreset(const QUuid& id, bool bypassCooldown);
    // Given lists instead of the stored ones; the stored preset of that name, if any, gives the rest.
    ApplyHandle applyPreset(const QStringList& apps, const QList<DockFolderStackValues>& items, const QString& name,
                            bool bypassCooldown);

    // One switch at a time per home: the file whose flock is held from the "already active" test
    // to the hand-off, by other processes as by other threads of this one.
    static QString switchLockPath();

    // The hand-off's task: the preset's app actions, then, once all have finished, the
    // switch-context request posted from the main queue.
    static QFuture<void> runActionsThenRequestContext(const PresetSnapshot& preset, DockAppKind kind,
                                                      const LastContextSwitchInfo& info);

    // Saves the layout of `target` into the last applied preset before switching to `targetName`;
    // gives the items that preset holds afterwards (none when nothing was saved).
    QList<DockFolderStackValues> autoSaveCurrentDock(const QString& targetName, const DockTarget& target);

    std::optional<QString> lastAppliedPresetName() const;
    std::optional<QUuid> lastAppliedPresetId() const;
    std::optional<QDateTime> lastApplyTime() const; // none: never in this process

    // Forgets the in-memory state and reads the record from user defaults again (tests).
    void resetForTesting();
    // Replaces how a switch makes its dock target; an empty factory restores the chosen target.
    void setTargetFactoryForTesting(DockTargetFactory factory);

private:
    DockManager();
    void loadRecord();
    ApplyHandle applyFound(const std::optional<PresetSnapshot>& preset, const QString& missing, bool bypassCooldown);
    bool heldByCooldown(const QString& name, bool bypassCooldown) const;
    SwitchContext resolveContext(const PresetSnapshot& preset) const;
    bool alreadyActive(const SwitchContext& context, const std::optional<QUuid>& previousId) const;
    void applyCompanionOnly(const SwitchContext& context, const LastContextSwitchInfo& info, ApplyHandle& handle);
    void writeDock(const SwitchContext& context, const LastContextSwitchInfo& info, ApplyHandle& handle);
    void recordApplied(const PresetSnapshot& preset);
    void finishWrite(const SwitchContext& context, const LastContextSwitchInfo& info, ApplyHandle& handle);
    void handOff(const SwitchContext& context, const LastContextSwitchInfo& info, ApplyHandle& handle);

    mutable std::mutex mutex_;
    DockTargetFactory targetFactory_; // guarded by mutex_
    std::optional<QDateTime> lastApplyTime_;
    std::optional<QString> lastAppliedName_;
    std::optional<QUuid> lastAppliedId_;
};

} // namespace pierline
