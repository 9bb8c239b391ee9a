#pragma once

#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "store/ManagedObjectContext.h"
#include "store/StoreError.h"
#include "store/StoreModel.h"

#include <QFuture>
#include <QPromise>
#include <QString>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace pierline {

class SqliteStore;

inline const QString kDatabaseRecreatedNotification = QStringLiteral("DatabaseRecreated");
inline const QString kCoreDataInitializationFailedNotification = QStringLiteral("CoreDataInitializationFailed");
inline const QString kCoreDataInitializationFailedMessage =
    QStringLiteral("Core Data initialization failed. Some features may not work properly.");

// Thrown by the controller's helpers.
class PersistenceError : public std::exception {
public:
    enum class Kind { SaveFailed, FetchFailed, StoreNotReady };

    static PersistenceError saveFailed(const StoreError& underlying) {
        return {Kind::SaveFailed, underlying.description()};
    }
    static PersistenceError fetchFailed(const StoreError& underlying) {
        return {Kind::FetchFailed, underlying.description()};
    }
    static PersistenceError storeNotReady() { return {Kind::StoreNotReady, {}}; }

    Kind kind() const { return kind_; }
    // "Failed to save: ...", "Failed to fetch: ..." or "Core Data store is not ready".
    QString description() const;
    const char* what() const noexcept override { return what_.c_str(); }

private:
    PersistenceError(Kind kind, QString underlying);
    Kind kind_;
    QString underlying_;
    std::string what_;
};

// Owns the persistent store of the presets and its main context. Setting up recovers from a
// store left by another model version (the file is removed and made again, "DatabaseRecreated"
// is posted) and reports a store that cannot be opened ("CoreDataInitializationFailed"); the
// program goes on without a store in that case.
class PersistenceController {
public:
    struct Options {
        // Where the store lives; default Library/Application Support/Pierline/Pierline.sqlite.
        std::optional<QString> location;
        // The model versions, oldest first; default the program's own.
        std::optional<QList<ModelVersion>> modelHistory;
        // Removes the store file during recovery; false (with a reason) when it could not.
        std::function<bool(const QString& path, QString* error)> removeFile;
    };

    static PersistenceController& shared();
    // The next shared() opens the store again (under the current home). Tests only.
    static void resetSharedForTesting();
    static QString defaultStoreLocation();

    explicit PersistenceController(bool inMemory = false);
    PersistenceController(bool inMemory, Options options);
    ~PersistenceController();
    PersistenceController(const PersistenceController&) = delete;
    PersistenceController& operator=(const PersistenceController&) = delete;

    // The main context; a context without a store (every fetch and save fails) when not ready.
    ManagedObjectContext& viewContext() { return *viewContext_; }
    // The main context when the store is ready; else logs the error and gives null.
    ManagedObjectContext* safeViewContext();
    bool isStoreReady() const { return store_ != nullptr; }
    // The store's location: a file path, or "/dev/null" in memory.
    const QString& storeLocation() const { return location_; }
    // What the integrity check found in the store file when it was opened; none when sound.
    std::optional<QString> storeDamage() const;
    // The error of the last failed load, when the store is not ready.
    const std::optional<StoreError>& loadError() const { return loadError_; }

    // Saves only when the context has changes. Throws PersistenceError::saveFailed.
    void save(ManagedObjectContext& context);
    // Throws PersistenceError::storeNotReady / fetchFailed.
    QList<ManagedObjectPtr> fetch(const FetchRequest& request);
    template <class T> QList<std::shared_ptr<T>> fetch(const FetchRequest& request) {
        QList<std::shared_ptr<T>> out;
        for (const auto& o : fetch(request))
            out.append(std::static_pointer_cast<T>(o));
        return out;
    }

    // Runs `work` on the main context (at once when already on the main thread, else queued
    // there) and hands back its result or its exception. Not ready: the future holds
    // PersistenceError::storeNotReady.
    template <class F> auto perform(F&& work) -> QFuture<std::invoke_result_t<F, ManagedObjectContext&>>;

private:
    void setUp(bool inMemory);
    bool loadStores();
    void handleLoadFailure(const StoreError& error);
    void recover();
    void unrecoverable();

    Logger logger_{QStringLiteral("PersistenceController")};
    Options options_;
    QString location_;
    QList<ModelVersion> history_;
    std::unique_ptr<SqliteStore> store_;
    std::unique_ptr<ManagedObjectContext> viewContext_;
    std::optional<StoreError> loadError_;
};

template <class F>
auto PersistenceController::perform(F&& work) -> QFuture<std::invoke_result_t<F, ManagedObjectContext&>> {
    using R = std::invoke_result_t<F, ManagedObjectContext&>;
    auto promise = std::make_shared<QPromise<R>>();
    QFuture<R> future = promise->future();
    promise->start();
    if (!isStoreReady()) {
        promise->setException(std::make_exception_ptr(PersistenceError::storeNotReady()));
        promise->finish();
        return future;
    }
    auto run = [this, promise, work = std::forward<F>(work)]() mutable {
        try {
            if constexpr (std::is_void_v<R>) {
                work(*viewContext_);
            } else {
                promise->addResult(work(*viewContext_));
            }
        } catch (...) {
            promise->setException(std::current_exception());
        }
        promise->finish();
    };
    if (isMainThread())
        run();
    else
        runOnMainAsync(std::move(run));
    return future;
}

} // namespace pierline
