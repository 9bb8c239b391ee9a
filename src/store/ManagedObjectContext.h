#pragma once

#include "core/DockFolderStack.h"
#include "core/DockPreset.h"
#include "core/ManagedObject.h"
#include "store/FetchRequest.h"
#include "store/StoreError.h"

#include <QHash>
#include <QList>
#include <memory>
#include <unordered_map>
#include <vector>

namespace pierline {

// Posted after every save that wrote changes; the user-info key holds the context's address.
inline const QString kContextDidSaveNotification = QStringLiteral("NSManagedObjectContextDidSave");
inline const QString kContextDidSaveContextKey = QStringLiteral("context");

class SqliteStore;
struct StoredRow;
struct EntityDescription;

// A scratch pad of store objects with change tracking, used on the main thread. Objects fetched
// from the store are registered once per row (one object per row); inserts, changes and
// deletions stay in memory until save() writes them in one transaction. Without a store every
// fetch and save fails with kNoPersistentStores.
class ManagedObjectContext final : public ObjectContextHooks {
public:
    ManagedObjectContext() = default;
    ~ManagedObjectContext();
    ManagedObjectContext(const ManagedObjectContext&) = delete;
    ManagedObjectContext& operator=(const ManagedObjectContext&) = delete;

    bool hasStore() const { return store_ != nullptr; }

    // A new object with the model's defaults, saved by the next save().
    ManagedObjectPtr insertObject(const QString& entityName);
    template <class T> std::shared_ptr<T> insert() { return std::static_pointer_cast<T>(insertObject(T::kEntityName)); }
    // Marks the object for deletion (a preset takes its items along); an object never saved
    // leaves the context at once.
    void deleteObject(const ManagedObjectPtr& object);

    bool hasChanges() const;
    QList<ManagedObjectPtr> insertedObjects() const;
    QList<ManagedObjectPtr> updatedObjects() const;
    QList<ManagedObjectPtr> deletedObjects() const;

    // Writes every change in one transaction; does nothing without changes. On failure the
    // store is unchanged, the changes stay pending and StoreError is thrown. A row that another
    // writer changed or deleted since it was read fails with kOptimisticLockingFailure.
    void save();
    // Drops inserted objects and restores changed and deleted ones to their stored values.
    void rollback();
    // Without merging: discards the object's unsaved changes and turns it into a fault that is
    // read again from the store on next use. With merging: re-reads the row and keeps the
    // unsaved changes on top of it.
    void refresh(const ManagedObjectPtr& object, bool mergeChanges);
    // Forgets every object (they keep their last values but leave the context).
    void reset();
    QList<ManagedObjectPtr> registeredObjects() const;

    // Objects matching the request: stored rows merged with the unsaved changes of this
    // context (inserted and changed objects are matched on their current values, deleted ones
    // left out). Registered objects without unsaved changes take the row's current values.
    QList<ManagedObjectPtr> fetch(const FetchRequest& request);
    template <class T> QList<std::shared_ptr<T>> fetch(FetchRequest request) {
        QList<std::shared_ptr<T>> out;
        for (const auto& o : fetch(request))
            out.append(std::static_pointer_cast<T>(o));
        return out;
    }
    int count(const FetchRequest& request);
    // The object for an identifier URI of this store, or null when there is no such object.
    ManagedObjectPtr existingObject(const QString& uri);

    // Holds the store's write lock across several fetches and saves, so that a check and the
    // change it leads to cannot interleave with another process's writes. Nests. Saves made
    // under the lock reach the file only with commit(); a lock that ends without it, or whose
    // commit fails, undoes them: objects inserted under it leave the context and changed ones
    // are read again, so the context never shows a row the file does not hold.
    class WriteLock {
    public:
        explicit WriteLock(ManagedObjectContext& context);
        ~WriteLock();
        WriteLock(const WriteLock&) = delete;
        WriteLock& operator=(const WriteLock&) = delete;

        // Throws StoreError (after undoing the lock's saves) when the store cannot keep them.
        void commit();
        void rollback();

    private:
        ManagedObjectContext* context_ = nullptr;
        SqliteStore* store_ = nullptr;
        size_t journalMark_ = 0;
        bool open_ = false;
    };

    // Controller side: the store the context reads and writes (null: none). Resets the context.
    void setStore(SqliteStore* store);
    SqliteStore* store() const { return store_; }

    // ObjectContextHooks
    void fulfillFault(ManagedObject& object) override;
    void objectDidChange(ManagedObject& object) override;
    QString storeIdentifier() const override;
    QList<DockFolderStackPtr> folderStacks(const DockPreset& preset) override;
    DockPresetPtr presetOf(const DockFolderStack& stack) override;
    void setPresetOf(DockFolderStack& stack, const DockPresetPtr& preset) override;

private:
    struct Link {
        std::weak_ptr<DockPreset> current;
        std::weak_ptr<DockPreset> committed;
    };
    struct Members {
        bool loaded = false;
        std::vector<DockFolderStackPtr> stacks;
    };

    const EntityDescription& entity(const QString& name) const;
    void requireStore() const;
    ManagedObjectPtr makeObject(const QString& entityName) const;
    ManagedObjectPtr registeredObject(const QString& entityName, qint64 pk) const;
    // The registered object for a row (made and registered when new). A registered object
    // without unsaved changes takes the row's values.
    ManagedObjectPtr merge(const EntityDescription& entity, const StoredRow& row);
    ManagedObjectPtr objectForRow(const QString& entityName, qint64 pk); // a fault when new
    void linkFromRow(const ManagedObjectPtr& object, const StoredRow& row, bool committedToo);
    void relink(DockFolderStack* stack, const DockPresetPtr& preset, bool committedToo);
    void restoreLink(DockFolderStack* stack);
    void forget(const ManagedObjectPtr& object); // leaves the context entirely
    void ensureMembersLoaded(const DockPreset& preset);
    QHash<QString, qint64> toOneKeys(const ManagedObjectPtr& object,
                                     const std::unordered_map<const ManagedObject*, qint64>& newRows) const;
    void validate(const ManagedObjectPtr& object) const;
    bool matches(const ManagedObjectPtr& object, const QList<FetchCondition>& conditions) const;
    bool hasPendingChanges(const QString& entityName) const;
    // Saves under a write lock that was not committed after all.
    void undoSavedSince(size_t journalMark);

    SqliteStore* store_ = nullptr;
    QHash<QString, QHash<qint64, ManagedObjectPtr>> registered_;
    std::vector<ManagedObjectPtr> inserted_;
    std::vector<ManagedObjectPtr> updated_;
    std::vector<ManagedObjectPtr> deleted_;
    std::unordered_map<const ManagedObject*, Link> links_;      // item -> preset
    std::unordered_map<const ManagedObject*, Members> members_; // preset -> items
    // Objects saved while a write lock is open, with what the save did to their rows.
    enum class SavedAs { Inserted, Updated, Deleted };
    std::vector<std::pair<ManagedObjectPtr, SavedAs>> savedUnderLock_;
    quint64 nextTemporaryId_ = 1;
};

} // namespace pierline
