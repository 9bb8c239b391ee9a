#pragma once

#include "core/DockFolderStack.h"
#include "core/DockPreset.h"
#include "dock/DockReader.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "store/ManagedObjectContext.h"
#include "store/StoreError.h"

#include <QList>
#include <QString>
#include <QThreadPool>
#include <QUuid>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace pierline {

class NetworkPathMonitor;
class PersistenceController;

inline const QString kPresetsDidChangeNotification = QStringLiteral("DockPresetManager.PresetsDidChangeNotification");

struct DockPresetManagerOptions {
    bool monitorNetwork = true; // a command-line run has no use for the diagnostics
    // Replaces the platform monitor (tests); null keeps the platform's.
    std::function<std::unique_ptr<NetworkPathMonitor>()> networkMonitorFactory;
};

// The one object through which presets are read and changed. All store work runs on the main
// thread on the controller's main context; every public method may be called from any thread
// (it hops to the main thread and waits). The preset objects it hands out belong to the main
// context: read them freely, change them on the main thread only.
class DockPresetManager {
public:
    using Options = DockPresetManagerOptions;

    // The process-wide manager on the shared controller; made (with its start-up pass) on
    // first use.
    static DockPresetManager& shared();
    // The shared manager when it has been made, else nullptr (never makes one).
    static DockPresetManager* existing();
    // Options for the shared manager; only effective before its first use.
    static void setSharedOptions(const Options& options);
    // Drops the shared manager and the shared controller so the next use opens the store under
    // the current home again (tests).
    static void resetSharedForTesting();

    // Runs the start-up pass (migrations, repair, default preset) on `controller`'s context.
    explicit DockPresetManager(PersistenceController& controller, Options options = {});
    ~DockPresetManager();
    DockPresetManager(const DockPresetManager&) = delete;
    DockPresetManager& operator=(const DockPresetManager&) = delete;

    // The main context (save(), rollback(), insert, fetch). Main thread only.
    ManagedObjectContext& context() const { return context_; }

    // --- Lookups: no preset (or an empty list) when nothing matches or the fetch fails.
    // `order` ascending, then newest first.
    QList<DockPresetPtr> fetchAllPresets();
    // The oldest preset with exactly this name.
    DockPresetPtr fetchPreset(const QString& name);
    DockPresetPtr fetchPreset(const QUuid& id);
    DockPresetPtr fetchDefaultPreset();
    // The two lookups above for callers that must tell a failed read from "not found": they
    // throw StoreError.
    QList<DockPresetPtr> fetchAllPresetsOrThrow();
    DockPresetPtr fetchPresetOrThrow(const QString& name);
    // A UUID, an object-identifier URI, or else the fallback name.
    DockPresetPtr resolvePreset(const QString& identifier, const std::optional<QString>& fallbackName = std::nullopt);
    // "uuid", "objectIDURI", "legacy-or-invalid" or "empty".
    static QString presetIdentifierKind(const QString& identifier);
    // The preset's items in order; only those whose effectiveType equals `type` when given.
    QList<DockFolderStackPtr> dockItems(const DockPresetPtr& preset, const std::optional<QString>& type = std::nullopt);

    // --- Presets. Each prints its outcome and posts kPresetsDidChangeNotification on success.
    // Create and rename refuse a name DockPreset::nameProblem() rejects. `items` are stored with
    // their own `order`, in one save with the preset. A failed save prints "{saveFailure}: {error}"
    // (by default "Error creating preset '{name}'").
    DockPresetPtr createPreset(const QString& name, const QString& apps, const QList<DockFolderStackValues>& items = {},
                               const QString& saveFailure = {});

    // --- A dock's layout into a preset: the one way, for every flow that saves what a dock shows.
    // A new preset holding the layout's apps and every folder, file and web link.
    DockPresetPtr createPresetFromDock(const QString& name, const DockReading& dock);
    // Replaces the preset's apps with the layout's, drops the notes of apps that left it, and
    // rebuilds its items in Dock order. Main thread. Lines it prints start with `logPrefix`.
    // Returns the error of the final save, nullopt when saved. An item whose removal cannot be
    // saved is reported and kept, and the rest goes on; with `StopAtFailedRemoval` (a caller
    // that holds the write lock and undoes everything) its error is returned at once.
    enum class RemovalFailure { GoOn, StopAtFailedRemoval };
    std::optional<QString> saveDockIntoPreset(const DockPresetPtr& preset, const DockReading& dock,
                                              const QString& logPrefix = {},
                                              RemovalFailure onRemovalFailure = RemovalFailure::GoOn);
    bool renamePreset(const QUuid& id, const QString& newName);
    bool deletePreset(const QUuid& id);
    // "{name} Copy" with the same apps, appended to the list; items and extras are not copied.
    DockPresetPtr duplicatePreset(const DockPresetPtr& preset);
    // The list view's move: the elements at `fromOffsets` go to `toOffset` (counted before the
    // move); every preset's order becomes its new index. False when the offsets are out of
    // range or the save fails.
    bool movePresets(const QList<int>& fromOffsets, int toOffset);

    // --- Right-hand items. Each appends (order = items before), saves, and throws StoreError
    // when the save fails (the unsaved change is dropped first).
    DockFolderStackPtr addDockItem(const DockPresetPtr& preset, const std::optional<QString>& path, const QString& type,
                                   const std::optional<QString>& url, const std::optional<QString>& label,
                                   const QString& displayAs = QStringLiteral("folder"),
                                   const QString& showAs = QStringLiteral("grid"),
                                   const QString& sortOrder = QStringLiteral("name"));
    // Label falls back to the last path component of `path`.
    DockFolderStackPtr addFile(const DockPresetPtr& preset, const QString& path,
                               const std::optional<QString>& label = std::nullopt);
    DockFolderStackPtr addURL(const DockPresetPtr& preset, const QString& url, const QString& label);
    DockFolderStackPtr addFolderStack(const DockPresetPtr& preset, const QString& path,
                                      const QString& displayAs = QStringLiteral("folder"),
                                      const QString& showAs = QStringLiteral("grid"),
                                      const QString& sortOrder = QStringLiteral("name"));
    DockFolderStackPtr updateFolderStack(const DockFolderStackPtr& item, const std::optional<QString>& displayAs,
                                         const std::optional<QString>& showAs, const std::optional<QString>& sortOrder);
    DockFolderStackPtr updateLabel(const DockFolderStackPtr& item, const std::optional<QString>& label);
    // Offsets index folderStacksArray(); the target counts positions before the move.
    void reorderDockItems(const DockPresetPtr& preset, const QList<int>& fromOffsets, int toOffset);
    // Deletes the item; the others keep their order values.
    void removeDockItem(const DockFolderStackPtr& item);

    // --- Other.
    // Re-reads unchanged objects from the store, at most once per 5 seconds.
    void refreshContext();
    void handleDatabaseRecreation();
    void logIfNetworkTransitioning(const QString& operation);
    // One path update of the network monitor (called on the monitor queue; public for tests).
    void handleNetworkPathUpdate(bool satisfied);
    bool isNetworkTransitioning() const;

    // Deleting a preset also drops what other components keep for it: the triggers install the
    // one handler that removes its shortcuts and hotkeys (setting it again replaces it). Handlers
    // run on the main thread before the preset is deleted.
    enum class DeletionHook { Triggers };
    using PresetDeletionHandler = std::function<void(const QUuid&)>;
    void setPresetDeletionHandler(DeletionHook hook, PresetDeletionHandler handler);
    // Extra handlers (run after the hooks).
    void addPresetDeletionHandler(PresetDeletionHandler handler);

private:
    void startUp();
    void migrateUuids();
    void migrateShortcuts();
    void repairIdentifiers();
    void migrateStacksAndEnsureDefault();
    void createDefaultPreset();
    void postPresetsDidChange();
    // Saves the context and then commits `lock` when given. On failure prints "{failure}: {error}"
    // (unless `failure` is empty), rolls the context back and returns the error.
    std::optional<StoreError> saveOrRollBack(const QString& failure, ManagedObjectContext::WriteLock* lock = nullptr);
    DockFolderStackPtr appendItem(const DockPresetPtr& preset, const DockFolderStackValues& values);
    DockFolderStackPtr saveItemUpdate(const DockFolderStackPtr& item);
    void runDeletionHandlers(const QUuid& id);

    PersistenceController& controller_;
    ManagedObjectContext& context_;
    Logger logger_{QStringLiteral("DockPresetManager")};
    std::unique_ptr<NetworkPathMonitor> networkMonitor_;
    QThreadPool networkMonitorQueue_; // serial: "com.corvane.pierline.networkMonitor"
    mutable std::mutex networkMutex_;
    bool isNetworkTransitioning_ = false;
    double lastNetworkTransitionTime_ = 0.0;
    static constexpr double kNetworkSettlingWindowSeconds = 3.0;
    bool isNetworkSatisfied_ = true;
    quint64 settlingTimer_ = 0;
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0); // watched by queued work
    static constexpr double kRefreshThrottleSeconds = 5.0;
    double lastRefreshTime_ = 0.0;
    bool hasRefreshed_ = false;
    ObserverToken recreationObserver_ = 0;
    std::map<DeletionHook, PresetDeletionHandler> deletionHooks_;
    QList<PresetDeletionHandler> deletionHandlers_;
};

} // namespace pierline
