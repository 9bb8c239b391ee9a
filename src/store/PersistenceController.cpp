#include "PersistenceController.h"

#include "platform/NotificationCenter.h"
#include "platform/SystemPaths.h"
#include "store/SqliteStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>

namespace pierline {
namespace {

std::atomic<PersistenceController*> g_shared{nullptr};
std::unique_ptr<PersistenceController> g_sharedInstance; // main thread only

// The store file and the journal files SQLite keeps beside it; nothing else in the folder.
bool removeStoreFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.remove()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    for (const char* suffix : {"-wal", "-shm"}) {
        const QString sidecar = path + QLatin1String(suffix);
        if (QFileInfo::exists(sidecar))
            QFile::remove(sidecar);
    }
    return true;
}

} // namespace

PersistenceError::PersistenceError(Kind kind, QString underlying)
    : kind_(kind), underlying_(std::move(underlying)), what_(description().toStdString()) {}

QString PersistenceError::description() const {
    switch (kind_) {
    case Kind::SaveFailed:
        return QStringLiteral("Failed to save: %1").arg(underlying_);
    case Kind::FetchFailed:
        return QStringLiteral("Failed to fetch: %1").arg(underlying_);
    case Kind::StoreNotReady:
        return QStringLiteral("Core Data store is not ready");
    }
    return {};
}

PersistenceController& PersistenceController::shared() {
    if (PersistenceController* existing = g_shared.load())
        return *existing;
    // Made on the main thread only, so two first users cannot both make one.
    runOnMainSync([] {
        if (g_sharedInstance)
            return;
        g_sharedInstance = std::make_unique<PersistenceController>(false);
        g_shared.store(g_sharedInstance.get());
    });
    return *g_shared.load();
}

void PersistenceController::resetSharedForTesting() {
    runOnMainSync([] {
        g_shared.store(nullptr);
        g_sharedInstance.reset();
    });
}

QString PersistenceController::defaultStoreLocation() {
    return QDir(SystemPaths::applicationSupportFolder()).filePath(QStringLiteral("Pierline.sqlite"));
}

PersistenceController::PersistenceController(bool inMemory) : PersistenceController(inMemory, Options{}) {}

PersistenceController::PersistenceController(bool inMemory, Options options)
    : options_(std::move(options)), viewContext_(std::make_unique<ManagedObjectContext>()) {
    if (!options_.removeFile)
        options_.removeFile = removeStoreFile;
    history_ = options_.modelHistory.value_or(pierlineModelHistory());
    setUp(inMemory);
}

PersistenceController::~PersistenceController() {
    viewContext_->setStore(nullptr);
    store_.reset();
}

void PersistenceController::setUp(bool inMemory) {
    if (inMemory) {
        location_ = SqliteStore::kInMemoryLocation;
    } else {
        location_ = options_.location.value_or(defaultStoreLocation());
        if (!location_.isEmpty()) {
            QDir().mkpath(QFileInfo(location_).absolutePath());
            logger_.info(QStringLiteral("Database location: %1").arg(location_));
        } else {
            logger_.error(
                QStringLiteral("Warning: Could not determine default store URL. Applying migration settings anyway."));
        }
    }
    if (loadStores()) {
        logger_.info(QStringLiteral("Core Data store loaded successfully"));
        return;
    }
    const StoreError error = *loadError_;
    logger_.error(QStringLiteral("Core Data store loading failed: %1").arg(error.description()));
    logger_.error(QStringLiteral("Error domain: %1, code: %2").arg(error.domain()).arg(error.code()));
    switch (error.code()) {
    case StoreError::kIncompatibleVersionHash:
        recover();
        break;
    case StoreError::kMigration:
        logger_.error(QStringLiteral("Core Data migration failed"));
        unrecoverable();
        break;
    case StoreError::kUnsupportedRequestType:
        logger_.error(
            QStringLiteral("Unsupported request type error - this indicates a serious Core Data configuration issue"));
        unrecoverable();
        break;
    default:
        unrecoverable();
    }
}

std::optional<QString> PersistenceController::storeDamage() const {
    return store_ ? store_->damage() : std::nullopt;
}

bool PersistenceController::loadStores() {
    try {
        store_ = SqliteStore::load(location_, history_);
        viewContext_->setStore(store_.get());
        loadError_.reset();
        return true;
    } catch (const StoreError& error) {
        loadError_ = error;
        return false;
    }
}

void PersistenceController::recover() {
    logger_.error(QStringLiteral("Detected Core Data version incompatibility, attempting recovery..."));
    if (location_.isEmpty())
        return;
    QString reason;
    if (!options_.removeFile(location_, &reason)) {
        logger_.error(QStringLiteral("Failed to remove corrupted store: %1").arg(reason));
        unrecoverable();
        return;
    }
    logger_.info(QStringLiteral("Removed corrupted Core Data store"));
    NotificationCenter::shared().postOnMainQueue(kDatabaseRecreatedNotification);
    if (loadStores()) {
        logger_.info(QStringLiteral("Successfully recovered Core Data store"));
        return;
    }
    logger_.error(QStringLiteral("Failed to reload store after cleanup: %1").arg(loadError_->description()));
    unrecoverable();
}

void PersistenceController::unrecoverable() {
    logger_.error(QStringLiteral("Unrecoverable Core Data error - app may not function properly"));
    NotificationCenter::shared().postOnMainQueue(kCoreDataInitializationFailedNotification,
                                                 {{QStringLiteral("error"), kCoreDataInitializationFailedMessage}});
}

ManagedObjectContext* PersistenceController::safeViewContext() {
    if (isStoreReady())
        return viewContext_.get();
    logger_.error(QStringLiteral("Attempted to access view context before store was ready"));
    return nullptr;
}

void PersistenceController::save(ManagedObjectContext& context) {
    if (!context.hasChanges())
        return;
    if (!isStoreReady())
        throw PersistenceError::storeNotReady();
    try {
        context.save();
    } catch (const StoreError& error) {
        throw PersistenceError::saveFailed(error);
    }
}

QList<ManagedObjectPtr> PersistenceController::fetch(const FetchRequest& request) {
    if (!isStoreReady())
        throw PersistenceError::storeNotReady();
    try {
        return viewContext_->fetch(request);
    } catch (const StoreError& error) {
        throw PersistenceError::fetchFailed(error);
    }
}

} // namespace pierline
