#include "DockPresetManager.h"

#include "core/PresetRecord.h"
#include "dock/DockReader.h"
#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/NetworkPathMonitor.h"
#include "platform/Url.h"
#include "platform/UserDefaults.h"
#include "platform/UuidText.h"
#include "store/ManagedObjectContext.h"
#include "store/PersistenceController.h"
#include "targets/DockTarget.h"

#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <exception>

namespace pierline {
namespace {

const QString kUuidMigrationFlag = QStringLiteral("coreDataPresetUUIDMigrationDone_v1.1");
const QString kShortcutMigrationFlag = QStringLiteral("shortcutUserDefaultsMigrationToUUID_v1.1");
const QString kOldShortcutsKey = QStringLiteral("presetShortcuts");
const QString kShortcutsKey = QStringLiteral("presetShortcuts_v2_byID");
const QString kDefaultPresetName = QStringLiteral("Default");

FetchRequest presetRequest() {
    return FetchRequest(DockPreset::kEntityName);
}

// A label the lists and menus could not show is refused before anything changes.
void checkLabel(const std::optional<QString>& label) {
    if (!label)
        return;
    if (const auto problem = shownTextProblem(*label, QStringLiteral("label")))
        throw StoreError(StoreError::kCocoaDomain, StoreError::kValidationInvalidArgument, *problem);
}

qint16 clampOrder(qsizetype n) {
    return static_cast<qint16>(std::clamp<qsizetype>(n, 0, 32767));
}

// The list view's move: the target counts positions before the move.
template <class T>
std::optional<QList<T>> movedList(const QList<T>& list, const QList<int>& fromOffsets, int toOffset) {
    const qsizetype n = list.size();
    if (toOffset < 0 || toOffset > n || fromOffsets.isEmpty())
        return std::nullopt;
    QList<int> offsets = fromOffsets;
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    if (offsets.first() < 0 || offsets.last() >= n)
        return std::nullopt;
    QList<T> moved;
    QList<T> rest;
    int before = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (offsets.contains(static_cast<int>(i))) {
            moved.append(list[i]);
            if (i < toOffset)
                ++before;
        } else {
            rest.append(list[i]);
        }
    }
    const qsizetype at = toOffset - before;
    for (qsizetype i = 0; i < moved.size(); ++i)
        rest.insert(at + i, moved[i]);
    return rest;
}

QString fileLabel(const QString& path) {
    const std::optional<QUrl> url = parseUrl(path);
    const QString name = lastPathComponent(url && url->isLocalFile() ? decodedPath(*url) : path);
    return name.isEmpty() ? path : name;
}

StoreError invalidPositions() {
    return StoreError(StoreError::kCocoaDomain, StoreError::kValidationInvalidArgument,
                      QStringLiteral("The item positions are out of range."));
}

std::atomic<DockPresetManager*> g_shared{nullptr};
std::unique_ptr<DockPresetManager> g_sharedInstance; // main thread only
DockPresetManager::Options g_sharedOptions;

} // namespace

// --- Shared instance ---------------------------------------------------------------------

DockPresetManager& DockPresetManager::shared() {
    if (DockPresetManager* existing = g_shared.load())
        return *existing;
    // Made on the main thread only, so two first users cannot both make one.
    runOnMainSync([] {
        if (g_sharedInstance)
            return;
        g_sharedInstance = std::make_unique<DockPresetManager>(PersistenceController::shared(), g_sharedOptions);
        g_shared.store(g_sharedInstance.get());
    });
    return *g_shared.load();
}

DockPresetManager* DockPresetManager::existing() {
    return g_shared.load();
}

void DockPresetManager::setSharedOptions(const Options& options) {
    runOnMainSync([&] { g_sharedOptions = options; });
}

void DockPresetManager::resetSharedForTesting() {
    runOnMainSync([] {
        g_shared.store(nullptr);
        g_sharedInstance.reset();
        PersistenceController::resetSharedForTesting();
    });
}

// --- Start-up ----------------------------------------------------------------------------

DockPresetManager::DockPresetManager(PersistenceController& controller, Options options)
    : controller_(controller), context_(controller.viewContext()) {
    networkMonitorQueue_.setMaxThreadCount(1);
    networkMonitorQueue_.setThreadPriority(QThread::LowPriority);
    networkMonitorQueue_.setObjectName(QStringLiteral("com.corvane.pierline.networkMonitor"));

    runOnMainSync([this] { startUp(); });

    recreationObserver_ = NotificationCenter::shared().addObserver(
        kDatabaseRecreatedNotification, Delivery::PosterThread,
        [this](const Notification&) { runOnMainSync([this] { handleDatabaseRecreation(); }); });

    if (options.monitorNetwork) {
        networkMonitor_ = options.networkMonitorFactory ? options.networkMonitorFactory() : createNetworkPathMonitor();
        // A platform without a network backend reports no updates; the monitor still counts as started.
        if (networkMonitor_)
            networkMonitor_->start([this](const NetworkPathMonitor::Path& path) {
                const bool satisfied = path.satisfied;
                networkMonitorQueue_.start([this, satisfied] { handleNetworkPathUpdate(satisfied); });
            });
        logger_.info(QStringLiteral("🔍 [HANG-DIAG] NWPathMonitor started for WiFi fluctuation detection"));
    }
}

DockPresetManager::~DockPresetManager() {
    lifetime_.reset(); // queued settling work finds the manager gone
    NotificationCenter::shared().removeObserver(recreationObserver_);
    if (networkMonitor_)
        networkMonitor_->cancel();
    networkMonitorQueue_.waitForDone();
    std::lock_guard lock(networkMutex_);
    if (settlingTimer_)
        Timers::shared().cancel(settlingTimer_);
}

void DockPresetManager::startUp() {
    // One pass under the store's write lock: two processes starting on an empty store must not
    // both make a default preset.
    std::optional<ManagedObjectContext::WriteLock> lock;
    try {
        lock.emplace(context_);
    } catch (const StoreError& error) {
        logger_.error(QStringLiteral("Could not lock the store for start-up: %1").arg(error.description()));
    }
    if (controller_.isStoreReady()) {
        UserDefaults& defaults = UserDefaults::standard();
        // A flag that cannot be written only means the migration runs again next time.
        try {
            if (!defaults.boolForKey(kUuidMigrationFlag)) {
                migrateUuids();
                defaults.set(kUuidMigrationFlag, true);
            }
            if (!defaults.boolForKey(kShortcutMigrationFlag)) {
                migrateShortcuts();
                defaults.set(kShortcutMigrationFlag, true);
            }
        } catch (const UserDefaultsError& error) {
            printWarning(QStringLiteral("Could not record the settings migration: %1").arg(error.message()));
        }
    }
    repairIdentifiers();
    migrateStacksAndEnsureDefault();
    if (!lock)
        return;
    try {
        lock->commit();
    } catch (const StoreError& error) {
        printWarning(QStringLiteral("Error saving the start-up changes of the store: %1").arg(error.description()));
        context_.rollback();
    }
}

void DockPresetManager::migrateUuids() {
    printLine(QStringLiteral("Starting CoreData migration: Assigning UUIDs to existing presets..."));
    QList<DockPresetPtr> presets;
    try {
        presets = context_.fetch<DockPreset>(presetRequest().where(FetchCondition::isNull(QStringLiteral("id"))));
    } catch (const StoreError& error) {
        printWarning(QStringLiteral("Error assigning UUIDs to presets: %1").arg(error.description()));
        return;
    }
    if (presets.isEmpty()) {
        printLine(QStringLiteral("No presets found needing UUID assignment."));
        return;
    }
    for (const auto& preset : presets)
        preset->setId(QUuid::createUuid());
    if (saveOrRollBack(QStringLiteral("Error assigning UUIDs to presets")))
        return;
    printLine(QStringLiteral("Assigned UUIDs to %1 presets.").arg(presets.size()));
    postPresetsDidChange();
}

void DockPresetManager::migrateShortcuts() {
    printLine(QStringLiteral("Starting UserDefaults shortcut migration: Name-based to ID-based..."));
    UserDefaults& defaults = UserDefaults::standard();
    const std::optional<QVariantMap> old = defaults.dictionary(kOldShortcutsKey);
    if (!old) {
        printLine(QStringLiteral("No old name-based shortcuts found to migrate (key: presetShortcuts)."));
        return;
    }
    if (old->isEmpty()) {
        printLine(QStringLiteral("Old name-based shortcuts dictionary is empty. Nothing to migrate."));
        return;
    }
    QVariantMap table = defaults.dictionary(kShortcutsKey).value_or(QVariantMap());
    // The first preset in list order with each name that has an id.
    QHash<QString, DockPresetPtr> byName;
    for (const DockPresetPtr& p : fetchAllPresets()) {
        const auto name = p->name();
        if (name && p->id() && !byName.contains(*name))
            byName.insert(*name, p);
    }
    int migrated = 0;
    for (auto it = old->cbegin(); it != old->cend(); ++it) {
        const QString& name = it.key();
        const auto match = byName.constFind(name);
        if (match == byName.cend()) {
            printLine(QStringLiteral("Orphaned shortcut found for preset name '%1' (preset no longer exists or has no "
                                     "ID). It will not be migrated.")
                          .arg(name));
            continue;
        }
        const QString id = match.value()->idString();
        if (table.contains(id)) {
            printLine(QStringLiteral("Shortcut for preset '%1' (ID %2) already exists in new format. Skipping.")
                          .arg(name, id));
            continue;
        }
        table.insert(id, it.value());
        ++migrated;
        printLine(QStringLiteral("Migrating shortcut for preset '%1' to ID %2").arg(name, id));
    }
    if (migrated > 0) {
        defaults.set(kShortcutsKey, table);
        printLine(QStringLiteral("UserDefaults shortcut migration: Migrated %1 shortcuts.").arg(migrated));
    } else {
        printLine(
            QStringLiteral("UserDefaults shortcut migration: No new shortcuts were migrated (either all done or no "
                           "matches). Total in new format: %1")
                .arg(table.size()));
    }
}

void DockPresetManager::repairIdentifiers() {
    QList<DockPresetPtr> presets;
    try {
        presets = context_.fetch<DockPreset>(
            presetRequest().sortedBy(QStringLiteral("order")).sortedBy(QStringLiteral("createdAt"), false));
    } catch (const StoreError& error) {
        logger_.error(QStringLiteral("Preset identifier repair failed: %1").arg(error.description()));
        return;
    }
    QSet<QString> taken;
    QSet<QUuid> inUse;
    for (const auto& p : presets) {
        if (const auto name = p->name())
            taken.insert(*name);
        if (const auto id = p->id())
            inUse.insert(*id);
    }
    QSet<QUuid> seen;
    int missing = 0;
    int duplicate = 0;
    int renamed = 0;
    int updated = 0;
    const auto freshId = [&] {
        QUuid id;
        do
            id = QUuid::createUuid();
        while (seen.contains(id) || inUse.contains(id));
        return id;
    };
    for (const auto& p : presets) {
        bool changed = false;
        std::optional<QUuid> id = p->id();
        if (!id || seen.contains(*id)) {
            ++(id ? duplicate : missing);
            id = freshId();
            p->setId(id);
            changed = true;
        }
        seen.insert(*id);
        if (DockPreset::isPlaceholderName(p->name())) {
            QString name;
            for (int n = 1;; ++n) {
                name = QStringLiteral("Recovered Preset %1").arg(n);
                if (!taken.contains(name))
                    break;
            }
            taken.insert(name);
            p->setName(name);
            ++renamed;
            changed = true;
        }
        if (changed)
            ++updated;
    }
    if (updated == 0)
        return; // nothing to report on a clean store
    if (const auto error = saveOrRollBack(QStringLiteral("Preset identifier repair failed"))) {
        logger_.error(QStringLiteral("Preset identifier repair failed: %1").arg(error->description()));
        return;
    }
    postPresetsDidChange();
    logger_.info(QStringLiteral("Preset identifier repair complete: total=%1, missingIDs=%2, duplicateIDs=%3, "
                                "renamedNames=%4, updated=%5")
                     .arg(presets.size())
                     .arg(missing)
                     .arg(duplicate)
                     .arg(renamed)
                     .arg(updated));
    if (renamed > 0)
        logger_.error(QStringLiteral("Preset identifier repair renamed %1 preset(s) with blank/null/undefined names to "
                                     "'Recovered Preset N'.")
                          .arg(renamed));
}

void DockPresetManager::migrateStacksAndEnsureDefault() {
    printLine(QStringLiteral("Checking for stacks to migrate..."));
    try {
        const QList<DockFolderStackPtr> stacks = context_.fetch<DockFolderStack>(
            FetchRequest(DockFolderStack::kEntityName).where(FetchCondition::isNull(QStringLiteral("itemType"))));
        printLine(QStringLiteral("Found %1 stacks to migrate").arg(stacks.size()));
        if (!stacks.isEmpty()) {
            for (const auto& stack : stacks) {
                const auto path = stack->path();
                printLine(QStringLiteral("Migrating stack: %1").arg(path.value_or(QStringLiteral("unknown path"))));
                stack->setItemType(QStringLiteral("folder"));
                stack->setUrl(path);
            }
            if (saveOrRollBack(QStringLiteral("Error during migration")))
                return;
            printLine(QStringLiteral("Successfully migrated %1 folder stacks").arg(stacks.size()));
            return;
        }
        printLine(QStringLiteral("Total stacks in database: %1")
                      .arg(context_.count(FetchRequest(DockFolderStack::kEntityName))));
        const int presetCount = context_.count(presetRequest());
        printLine(QStringLiteral("Total presets in database: %1").arg(presetCount));
        if (presetCount == 0) {
            printLine(QStringLiteral("No presets found in database. Creating a default preset..."));
            createDefaultPreset();
        }
    } catch (const StoreError& error) {
        printWarning(QStringLiteral("Error during migration: %1").arg(error.description()));
        context_.rollback();
    }
}

void DockPresetManager::createDefaultPreset() {
    if (fetchDefaultPreset()) {
        printLine(QStringLiteral("Default preset already exists"));
        return;
    }
    printLine(QStringLiteral("Creating new default preset..."));
    auto preset = context_.insert<DockPreset>();
    preset->setId(QUuid::createUuid());
    preset->setName(kDefaultPresetName);
    preset->setCreatedAt(Clock::shared().now());
    preset->setOrder(0);
    const std::unique_ptr<DockTarget> target = currentDockTarget();
    auto reading = target->read();
    if (const auto* error = std::get_if<DockReadError>(&reading)) {
        printWarning(QStringLiteral("The default preset was made empty because %1 could not be read: %2")
                         .arg(target->displayName(), error->description()));
        reading = DockReading{};
    }
    const auto& [apps, items] = std::get<DockReading>(reading);
    preset->setApps(encodeApps(apps));
    printLine(QStringLiteral("Added %1 apps to default preset").arg(apps.size()));

    const QList<DockFolderStackValues> folders = storedItemsFromDock(items, StoredItemKinds::FoldersOnly);
    printLine(QStringLiteral("Found %1 folder items in current dock").arg(folders.size()));
    for (const DockFolderStackValues& folder : folders) {
        auto stack = context_.insert<DockFolderStack>();
        stack->assign(folder);
        stack->setPreset(preset);
        printLine(QStringLiteral("Added folder: %1").arg(folder.path.value_or(QString())));
    }
    if (saveOrRollBack(QStringLiteral("Error creating default preset")))
        return;
    printLine(QStringLiteral("Default preset created successfully"));
    postPresetsDidChange();
}

void DockPresetManager::handleDatabaseRecreation() {
    printLine(QStringLiteral("Received database recreation notification"));
    std::optional<ManagedObjectContext::WriteLock> lock;
    try {
        lock.emplace(context_);
    } catch (const StoreError&) {
    }
    createDefaultPreset();
    if (!lock)
        return;
    try {
        lock->commit();
    } catch (const StoreError& error) {
        printWarning(QStringLiteral("Error creating default preset: %1").arg(error.description()));
        context_.rollback();
    }
}

void DockPresetManager::postPresetsDidChange() {
    NotificationCenter::shared().postOnMainQueue(kPresetsDidChangeNotification);
}

std::optional<StoreError> DockPresetManager::saveOrRollBack(const QString& failure,
                                                            ManagedObjectContext::WriteLock* lock) {
    try {
        context_.save();
        if (lock)
            lock->commit(); // the saves under the lock reach the file only here
        return std::nullopt;
    } catch (const StoreError& error) {
        if (!failure.isEmpty())
            printWarning(QStringLiteral("%1: %2").arg(failure, error.description()));
        context_.rollback();
        if (lock)
            lock->rollback();
        return error;
    }
}

// --- Lookups -----------------------------------------------------------------------------

QList<DockPresetPtr> DockPresetManager::fetchAllPresetsOrThrow() {
    return runOnMainSyncResult([this] {
        return context_.fetch<DockPreset>(
            presetRequest().sortedBy(QStringLiteral("order")).sortedBy(QStringLiteral("createdAt"), false));
    });
}

QList<DockPresetPtr> DockPresetManager::fetchAllPresets() {
    try {
        return fetchAllPresetsOrThrow();
    } catch (const StoreError& error) {
        printWarning(QStringLiteral("Error fetching all presets: %1").arg(error.description()));
        return {};
    }
}

DockPresetPtr DockPresetManager::fetchPresetOrThrow(const QString& name) {
    return runOnMainSyncResult([&]() -> DockPresetPtr {
        const auto found = context_.fetch<DockPreset>(presetRequest()
                                                          .where(FetchCondition::equal(QStringLiteral("name"), name))
                                                          .sortedBy(QStringLiteral("createdAt"))
                                                          .limitedTo(1));
        return found.isEmpty() ? nullptr : found.first();
    });
}

DockPresetPtr DockPresetManager::fetchPreset(const QString& name) {
    try {
        return fetchPresetOrThrow(name);
    } catch (const StoreError& error) {
        logger_.error(QStringLiteral("Could not look up preset '%1': %2").arg(name, error.description()));
        return nullptr;
    }
}

DockPresetPtr DockPresetManager::fetchPreset(const QUuid& id) {
    return runOnMainSyncResult([&]() -> DockPresetPtr {
        try {
            const auto found = context_.fetch<DockPreset>(
                presetRequest().where(FetchCondition::equal(QStringLiteral("id"), id)).limitedTo(1));
            return found.isEmpty() ? nullptr : found.first();
        } catch (const StoreError&) {
            return nullptr;
        }
    });
}

DockPresetPtr DockPresetManager::fetchDefaultPreset() {
    return fetchPreset(kDefaultPresetName);
}

QString DockPresetManager::presetIdentifierKind(const QString& identifier) {
    static const QRegularExpression uuidPattern(
        QStringLiteral("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
    if (uuidPattern.match(identifier).hasMatch())
        return QStringLiteral("uuid");
    const QUrl url(identifier, QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty())
        return QStringLiteral("objectIDURI");
    return identifier.isEmpty() ? QStringLiteral("empty") : QStringLiteral("legacy-or-invalid");
}

DockPresetPtr DockPresetManager::resolvePreset(const QString& identifier, const std::optional<QString>& fallbackName) {
    return runOnMainSyncResult([&]() -> DockPresetPtr {
        const QString kind = presetIdentifierKind(identifier);
        DockPresetPtr preset;
        if (kind == QLatin1String("uuid")) {
            preset = fetchPreset(QUuid::fromString(identifier));
        } else if (kind == QLatin1String("objectIDURI") && QUrl(identifier).scheme() == QLatin1String("x-coredata")) {
            try {
                preset = std::dynamic_pointer_cast<DockPreset>(context_.existingObject(identifier));
            } catch (const StoreError&) {
            }
        }
        if (!preset && fallbackName)
            preset = fetchPreset(*fallbackName);
        const QString fallback = fallbackName.value_or(QStringLiteral("nil"));
        if (preset) {
            const QString id = preset->idString();
            logger_.debug(
                QStringLiteral("Resolved AppIntent preset identifier kind=%1 fallbackName=%2 to preset='%3' id=%4")
                    .arg(kind, fallback, preset->name().value_or(QStringLiteral("Unnamed Preset")),
                         id.isEmpty() ? QStringLiteral("nil") : id));
        } else {
            logger_.error(QStringLiteral("Unable to resolve AppIntent preset identifier kind=%1 fallbackName=%2")
                              .arg(kind, fallback));
        }
        return preset;
    });
}

QList<DockFolderStackPtr> DockPresetManager::dockItems(const DockPresetPtr& preset,
                                                       const std::optional<QString>& type) {
    if (!preset)
        return {};
    return runOnMainSyncResult([&] {
        QList<DockFolderStackPtr> items = preset->folderStacksArray();
        if (type)
            items.removeIf([&](const DockFolderStackPtr& s) { return s->effectiveType() != *type; });
        return items;
    });
}

// --- Presets -----------------------------------------------------------------------------

DockPresetPtr DockPresetManager::createPreset(const QString& name, const QString& apps,
                                              const QList<DockFolderStackValues>& items, const QString& saveFailure) {
    return runOnMainSyncResult([&]() -> DockPresetPtr {
        // The name check and the insert hold the write lock together, so another process
        // cannot slip the same name in between.
        if (const auto problem = DockPreset::nameProblem(name)) {
            printWarning(*problem);
            return nullptr;
        }
        const QString failure =
            saveFailure.isEmpty() ? QStringLiteral("Error creating preset '%1'").arg(name) : saveFailure;
        std::optional<ManagedObjectContext::WriteLock> lock;
        DockPresetPtr preset;
        const QUuid id = QUuid::createUuid();
        try {
            lock.emplace(context_);
            if (fetchPresetOrThrow(name)) {
                printWarning(QStringLiteral("Preset with name '%1' already exists.").arg(name));
                return nullptr;
            }
            const int count = context_.count(presetRequest());
            preset = context_.insert<DockPreset>();
            preset->setId(id);
            preset->setName(name);
            preset->setCreatedAt(Clock::shared().now());
            preset->setApps(apps);
            preset->setOrder(clampOrder(count));
            for (const DockFolderStackValues& values : items) {
                auto stack = context_.insert<DockFolderStack>();
                stack->assign(values);
                stack->setPreset(preset);
            }
        } catch (const StoreError& error) {
            printWarning(QStringLiteral("%1: %2").arg(failure, error.description()));
            context_.rollback();
            return nullptr;
        }
        if (saveOrRollBack(failure, &*lock))
            return nullptr;
        printLine(QStringLiteral("Preset '%1' created successfully with ID %2").arg(name, uuidText(id)));
        postPresetsDidChange();
        return preset;
    });
}

DockPresetPtr DockPresetManager::createPresetFromDock(const QString& name, const DockReading& dock) {
    QStringList unknownTypes;
    const QList<DockFolderStackValues> items = storedItemsFromDock(dock.items, StoredItemKinds::All, &unknownTypes);
    for (const QString& type : unknownTypes)
        printWarning(QStringLiteral("Unknown item type: %1").arg(type));
    return createPreset(name, encodeApps(dock.apps), items);
}

std::optional<QString> DockPresetManager::saveDockIntoPreset(const DockPresetPtr& preset, const DockReading& dock,
                                                             const QString& logPrefix,
                                                             RemovalFailure onRemovalFailure) {
    preset->setApps(encodeApps(dock.apps));
    try {
        if (pruneAppNotes(*preset, dock.apps))
            context_.save();
    } catch (const StoreError& error) {
        printWarning(QStringLiteral("%1Failed to clean up orphaned app notes: %2").arg(logPrefix, error.description()));
    }

    for (const DockFolderStackPtr& item : preset->folderStacksArray()) {
        context_.deleteObject(item);
        try {
            context_.save();
        } catch (const StoreError& error) {
            printWarning(QStringLiteral("Error removing folder stack: %1").arg(error.description()));
            context_.rollback();
            if (onRemovalFailure == RemovalFailure::StopAtFailedRemoval)
                return error.description();
        }
    }

    QStringList unknownTypes;
    for (const DockFolderStackValues& values : storedItemsFromDock(dock.items, StoredItemKinds::All, &unknownTypes)) {
        // Appended after what the preset still holds (an item whose removal failed stays first).
        auto stack = context_.insert<DockFolderStack>();
        stack->assign(values);
        stack->setOrder(clampOrder(preset->folderStacks().size()));
        stack->setPreset(preset);
        try {
            context_.save();
        } catch (const StoreError&) {
            // The final save below reports a store that refuses writes.
        }
    }
    for (const QString& type : unknownTypes)
        printLine(QStringLiteral("%1Unknown item type: %2").arg(logPrefix, type));

    try {
        context_.save();
    } catch (const StoreError& error) {
        return error.description();
    }
    return std::nullopt;
}

bool DockPresetManager::renamePreset(const QUuid& id, const QString& newName) {
    return runOnMainSyncResult([&] {
        if (const auto problem = DockPreset::nameProblem(newName)) {
            printWarning(*problem);
            return false;
        }
        const QString failure = QStringLiteral("Error renaming preset ID %1").arg(uuidText(id));
        std::optional<ManagedObjectContext::WriteLock> lock;
        try {
            lock.emplace(context_);
        } catch (const StoreError& error) {
            printWarning(QStringLiteral("%1: %2").arg(failure, error.description()));
            return false;
        }
        const DockPresetPtr preset = fetchPreset(id);
        if (!preset) {
            printWarning(QStringLiteral("Preset with ID %1 not found for renaming.").arg(uuidText(id)));
            return false;
        }
        const DockPresetPtr other = fetchPreset(newName);
        if (other && other->id() != std::optional<QUuid>(id)) {
            printWarning(
                QStringLiteral("Cannot rename preset: Another preset with name '%1' already exists.").arg(newName));
            return false;
        }
        preset->setName(newName);
        if (saveOrRollBack(failure, &*lock))
            return false;
        printLine(QStringLiteral("Preset ID %1 renamed to '%2'").arg(uuidText(id), newName));
        postPresetsDidChange();
        return true;
    });
}

bool DockPresetManager::deletePreset(const QUuid& id) {
    return runOnMainSyncResult([&] {
        const DockPresetPtr preset = fetchPreset(id);
        if (!preset) {
            printWarning(QStringLiteral("Preset with ID %1 not found for deletion.").arg(uuidText(id)));
            return false;
        }
        runDeletionHandlers(id);
        context_.deleteObject(preset);
        if (saveOrRollBack(QStringLiteral("Error deleting preset with ID %1").arg(uuidText(id))))
            return false;
        printLine(QStringLiteral("Preset with ID %1 deleted successfully.").arg(uuidText(id)));
        postPresetsDidChange();
        return true;
    });
}

void DockPresetManager::runDeletionHandlers(const QUuid& id) {
    for (const auto& [hook, handler] : deletionHooks_)
        if (handler)
            handler(id);
    for (const auto& handler : deletionHandlers_)
        if (handler)
            handler(id);
}

void DockPresetManager::setPresetDeletionHandler(DeletionHook hook, PresetDeletionHandler handler) {
    runOnMainSync([&] { deletionHooks_[hook] = std::move(handler); });
}

void DockPresetManager::addPresetDeletionHandler(PresetDeletionHandler handler) {
    runOnMainSync([&] { deletionHandlers_.append(std::move(handler)); });
}

DockPresetPtr DockPresetManager::duplicatePreset(const DockPresetPtr& source) {
    if (!source)
        return nullptr;
    return runOnMainSyncResult([&]() -> DockPresetPtr {
        const QString name = source->name().value_or(QString()) + QStringLiteral(" Copy");
        const QString failure = QStringLiteral("Error duplicating preset '%1'").arg(name);
        std::optional<ManagedObjectContext::WriteLock> lock;
        DockPresetPtr preset;
        try {
            lock.emplace(context_);
            const int count = context_.count(presetRequest());
            preset = context_.insert<DockPreset>();
            preset->setId(QUuid::createUuid());
            preset->setName(name);
            preset->setApps(source->apps());
            preset->setCreatedAt(Clock::shared().now());
            preset->setOrder(clampOrder(count));
        } catch (const StoreError& error) {
            printWarning(QStringLiteral("%1: %2").arg(failure, error.description()));
            context_.rollback();
            return nullptr;
        }
        if (saveOrRollBack(failure, &*lock))
            return nullptr;
        postPresetsDidChange();
        return preset;
    });
}

bool DockPresetManager::movePresets(const QList<int>& fromOffsets, int toOffset) {
    return runOnMainSyncResult([&] {
        const auto moved = movedList(fetchAllPresets(), fromOffsets, toOffset);
        if (!moved)
            return false;
        for (qsizetype i = 0; i < moved->size(); ++i)
            (*moved)[i]->setOrder(clampOrder(i));
        return !saveOrRollBack(QStringLiteral("Error reordering presets"));
    });
}

// --- Right-hand items --------------------------------------------------------------------

DockFolderStackPtr DockPresetManager::appendItem(const DockPresetPtr& preset, const DockFolderStackValues& values) {
    return runOnMainSyncResult([&] {
        if (!preset || preset->context() != &context_)
            throw StoreError(StoreError::kCocoaDomain, StoreError::kValidationInvalidArgument,
                             QStringLiteral("The preset is not in the store."));
        const qsizetype count = preset->folderStacks().size();
        auto item = context_.insert<DockFolderStack>();
        item->assign(values);
        item->setOrder(clampOrder(count));
        item->setPreset(preset);
        if (auto error = saveOrRollBack({})) // the unsaved item leaves the context
            throw *error;
        return item;
    });
}

DockFolderStackPtr DockPresetManager::addDockItem(const DockPresetPtr& preset, const std::optional<QString>& path,
                                                  const QString& type, const std::optional<QString>& url,
                                                  const std::optional<QString>& label, const QString& displayAs,
                                                  const QString& showAs, const QString& sortOrder) {
    checkLabel(label);
    DockFolderStackValues values;
    values.path = path;
    values.itemType = type;
    values.url = url ? url : path;
    values.label = label;
    const bool stackLike = type != QLatin1String("file") && type != QLatin1String("url");
    values.displayAs = stackLike ? displayAs : QStringLiteral("folder");
    values.showAs = stackLike ? showAs : QStringLiteral("grid");
    values.sortOrder = stackLike ? sortOrder : QStringLiteral("name");
    return appendItem(preset, values);
}

DockFolderStackPtr DockPresetManager::addFile(const DockPresetPtr& preset, const QString& path,
                                              const std::optional<QString>& label) {
    return addDockItem(preset, path, QStringLiteral("file"), path, label ? label : std::optional(fileLabel(path)));
}

DockFolderStackPtr DockPresetManager::addURL(const DockPresetPtr& preset, const QString& url, const QString& label) {
    return addDockItem(preset, std::nullopt, QStringLiteral("url"), url, label);
}

DockFolderStackPtr DockPresetManager::addFolderStack(const DockPresetPtr& preset, const QString& path,
                                                     const QString& displayAs, const QString& showAs,
                                                     const QString& sortOrder) {
    return addDockItem(preset, path, QStringLiteral("folder"), path, std::nullopt, displayAs, showAs, sortOrder);
}

DockFolderStackPtr DockPresetManager::saveItemUpdate(const DockFolderStackPtr& item) {
    if (auto error = saveOrRollBack({})) {
        context_.refresh(item, false); // another writer may have changed it: read what is stored
        throw *error;
    }
    return item;
}

DockFolderStackPtr DockPresetManager::updateFolderStack(const DockFolderStackPtr& item,
                                                        const std::optional<QString>& displayAs,
                                                        const std::optional<QString>& showAs,
                                                        const std::optional<QString>& sortOrder) {
    return runOnMainSyncResult([&] {
        if (displayAs)
            item->setDisplayAs(*displayAs);
        if (showAs)
            item->setShowAs(*showAs);
        if (sortOrder)
            item->setSortOrder(*sortOrder);
        return saveItemUpdate(item);
    });
}

DockFolderStackPtr DockPresetManager::updateLabel(const DockFolderStackPtr& item, const std::optional<QString>& label) {
    checkLabel(label);
    return runOnMainSyncResult([&] {
        item->setLabel(label);
        return saveItemUpdate(item);
    });
}

void DockPresetManager::reorderDockItems(const DockPresetPtr& preset, const QList<int>& fromOffsets, int toOffset) {
    runOnMainSyncResult([&] {
        if (!preset)
            throw invalidPositions();
        const auto moved = movedList(preset->folderStacksArray(), fromOffsets, toOffset);
        if (!moved)
            throw invalidPositions();
        for (qsizetype i = 0; i < moved->size(); ++i)
            (*moved)[i]->setOrder(clampOrder(i));
        if (auto error = saveOrRollBack(QStringLiteral("Error reordering folder stacks")))
            throw *error;
    });
}

void DockPresetManager::removeDockItem(const DockFolderStackPtr& item) {
    runOnMainSyncResult([&] {
        context_.deleteObject(item);
        if (auto error = saveOrRollBack(QStringLiteral("Error removing folder stack")))
            throw *error;
    });
}

// --- Refresh and diagnostics -------------------------------------------------------------

void DockPresetManager::refreshContext() {
    runOnMainSync([this] {
        Clock& clock = Clock::shared();
        const double now = clock.monotonicSeconds();
        if (hasRefreshed_ && now - lastRefreshTime_ < kRefreshThrottleSeconds) {
            const QString ms = QString::number((now - lastRefreshTime_) * 1000.0, 'f', 1);
            printLine(QStringLiteral("DockPresetManager: Context refresh throttled (last refresh %1ms ago)").arg(ms));
            logger_.debug(QStringLiteral("Core Data context refresh throttled; last refresh was %1ms ago").arg(ms));
            return;
        }
        hasRefreshed_ = true;
        lastRefreshTime_ = now;
        const QList<ManagedObjectPtr> registered = context_.registeredObjects();
        int refreshed = 0;
        for (const auto& object : registered) {
            if (object->isFault() || object->hasChanges())
                continue;
            context_.refresh(object, false);
            ++refreshed;
        }
        const QString ms = QString::number((clock.monotonicSeconds() - now) * 1000.0, 'f', 1);
        printLine(QStringLiteral("DockPresetManager: Core Data context refreshed %1/%2 objects (%3ms)")
                      .arg(refreshed)
                      .arg(registered.size())
                      .arg(ms));
    });
}

void DockPresetManager::handleNetworkPathUpdate(bool satisfied) {
    const double now = Clock::shared().monotonicSeconds();
    bool previous = true;
    {
        std::lock_guard lock(networkMutex_);
        previous = isNetworkSatisfied_;
        isNetworkTransitioning_ = true;
        lastNetworkTransitionTime_ = now;
        isNetworkSatisfied_ = satisfied;
    }
    const auto word = [](bool s) { return s ? QStringLiteral("satisfied") : QStringLiteral("unsatisfied"); };
    if (previous == satisfied)
        logger_.info(
            QStringLiteral("🔍 [HANG-DIAG] Network path updated (status unchanged: %1) — possible WiFi AP switch "
                           "or interface change")
                .arg(word(satisfied)));
    else
        logger_.error(QStringLiteral("🔍 [HANG-DIAG] Network path changed: %1 → %2 — system UI updates may contend for "
                                     "main thread")
                          .arg(word(previous), word(satisfied)));
    // The settling check is a main-queue timer. From the monitor queue it is handed to the main
    // thread without waiting, so tearing the manager down never waits on a queued update.
    const std::weak_ptr<int> alive = lifetime_;
    auto scheduleCheck = [this, alive, now] {
        if (alive.expired())
            return;
        const TimerId timer = Timers::shared().schedule(kNetworkSettlingWindowSeconds, false, [this, alive, now] {
            if (alive.expired())
                return;
            {
                std::lock_guard lock(networkMutex_);
                if (lastNetworkTransitionTime_ > now)
                    return; // a later update restarted the window
                isNetworkTransitioning_ = false;
                settlingTimer_ = 0;
            }
            logger_.debug(QStringLiteral("🔍 [HANG-DIAG] Network settling window elapsed — transitioning flag cleared"));
        });
        TimerId previousTimer = 0;
        {
            std::lock_guard lock(networkMutex_);
            previousTimer = settlingTimer_;
            settlingTimer_ = timer;
        }
        if (previousTimer)
            Timers::shared().cancel(previousTimer);
    };
    if (isMainThread())
        scheduleCheck();
    else
        runOnMainAsync(scheduleCheck);
}

bool DockPresetManager::isNetworkTransitioning() const {
    std::lock_guard lock(networkMutex_);
    return isNetworkTransitioning_;
}

void DockPresetManager::logIfNetworkTransitioning(const QString& operation) {
    double since = 0.0;
    {
        std::lock_guard lock(networkMutex_);
        if (!isNetworkTransitioning_)
            return;
        since = Clock::shared().monotonicSeconds() - lastNetworkTransitionTime_;
    }
    logger_.error(QStringLiteral("🔍 [HANG-DIAG] %1 running during network transition (last change %2s ago) — elevated "
                                 "constraint removal risk")
                      .arg(operation, QString::number(since, 'f', 1)));
}

} // namespace pierline
