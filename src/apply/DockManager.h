#pragma once

#include "core/DockFolderStack.h"
#include "core/DockPreset.h"
#include "dock/DockItem.h"
#include "dock/DockWriteReport.h"
#include "switching/PresetSnapshot.h"

#include <QDateTime>
#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QVariantMap>
#include <functional>
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

    // The switch itself. Runs on the caller's thread (main or background); nothing here reads the
    // store again.
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
    static QFuture<void> runActionsThenRequestContext(const PresetSnapshot& preset, const LastContextSwitchInfo& info);

    // Saves the current Dock into the last applied preset before switching to `targetName`.
    void autoSaveCurrentDock(const QString& targetName);
    // Puts the Dock's app entries and right-hand items, as read, into `preset`: its apps, the notes
    // of apps that left it, its right-hand items rebuilt in Dock order. Main thread. Lines it prints
    // start with `logPrefix`. Returns the error of the final save, nullopt when saved.
    static std::optional<QString> saveDockIntoPreset(const DockPresetPtr& preset, const QStringList& apps,
                                                     const QList<DockItem>& items, const QString& logPrefix = {});

    std::optional<QString> lastAppliedPresetName() const;
    std::optional<QUuid> lastAppliedPresetId() const;
    std::optional<QDateTime> lastApplyTime() const; // none: never in this process

    // Forgets the in-memory state and reads the record from user defaults again (tests).
    void resetForTesting();

private:
    DockManager();
    void loadRecord();
    ApplyHandle applyFound(const std::optional<PresetSnapshot>& preset, const QString& missing, bool bypassCooldown);
    void recordApplied(const PresetSnapshot& preset);
    void finishWrite(const PresetSnapshot& preset, const LastContextSwitchInfo& info, ApplyHandle& handle);
    DockWriteReport write(const PresetSnapshot& preset, const std::function<void()>& finish);
    void handOff(const PresetSnapshot& preset, const LastContextSwitchInfo& info, ApplyHandle& handle);

    mutable std::mutex mutex_;
    std::optional<QDateTime> lastApplyTime_;
    std::optional<QString> lastAppliedName_;
    std::optional<QUuid> lastAppliedId_;
};

} // namespace pierline
