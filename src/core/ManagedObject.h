#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantHash>
#include <memory>
#include <optional>

namespace pierline {

class DockFolderStack;
class DockPreset;
class ManagedObject;
class ManagedObjectContext;

// What a store object needs from the context that owns it; the store's context implements it.
class ObjectContextHooks {
public:
    // Fills a fault with the values of its row (hops to the main thread when called elsewhere).
    virtual void fulfillFault(ManagedObject& object) = 0;
    // The first change of a clean object.
    virtual void objectDidChange(ManagedObject& object) = 0;
    virtual QString storeIdentifier() const = 0;
    // The preset <-> items relationship.
    virtual QList<std::shared_ptr<DockFolderStack>> folderStacks(const DockPreset& preset) = 0;
    virtual std::shared_ptr<DockPreset> presetOf(const DockFolderStack& stack) = 0;
    virtual void setPresetOf(DockFolderStack& stack, const std::shared_ptr<DockPreset>& preset) = 0;

protected:
    ~ObjectContextHooks() = default;
};

// A store object: a named set of attribute values with change tracking by its context.
// Attribute values live in one map so that snapshots, rollback and refresh are generic.
// Reading is safe from any thread; changes belong on the main thread, where the context lives.
class ManagedObject : public std::enable_shared_from_this<ManagedObject> {
public:
    virtual ~ManagedObject() = default;
    virtual QString entityName() const = 0;

    // Null once the object was deleted and saved, rolled back out of existence, or its
    // context was reset.
    ManagedObjectContext* context() const;
    // "x-coredata://<store-uuid>/<Entity>/p<row>" once saved, a temporary "x-coredata:///<Entity>/t<n>" before.
    QString objectIdUri() const;
    qint64 rowId() const;

    bool isInserted() const;
    bool isDeleted() const;
    bool isUpdated() const;
    bool hasChanges() const;
    bool isFault() const;

    // Raw attribute access by name; typed accessors of the entities wrap these. An absent value
    // is an invalid QVariant.
    QVariant value(const QString& attribute) const;
    void setValue(const QString& attribute, const QVariant& value);
    // The values as last read from or written to the store.
    QVariant committedValue(const QString& attribute) const;

protected:
    enum class State { Clean, Inserted, Updated, Deleted };
    ObjectContextHooks* hooks() const;

    // Typed access for the entities' accessors; nullopt (or the fallback) stands for an absent value.
    std::optional<QString> optionalString(const QString& attribute) const;
    void setOptionalString(const QString& attribute, const std::optional<QString>& value);
    QString stringOr(const QString& attribute, const QString& fallback) const;
    // An invalid date reads and writes as absent; dates are stored in UTC.
    std::optional<QDateTime> optionalDate(const QString& attribute) const;
    void setOptionalDate(const QString& attribute, const std::optional<QDateTime>& value);
    qint16 int16Value(const QString& attribute) const;
    void setInt16Value(const QString& attribute, qint16 value);

private:
    friend class ManagedObjectContext;

    // Context side (main thread); each takes the object lock.
    void attach(ManagedObjectContext* context, ObjectContextHooks* hooks, State state);
    void detach();
    State state() const;
    void setState(State state);
    void setRow(qint64 rowId, qint64 version);
    qint64 version() const;
    void setVersion(qint64 version);
    // True when the object holds the row's values of `version` and no unsaved change.
    bool isCleanAt(qint64 version) const;
    void setTemporaryId(quint64 id);
    // Store values: both current and committed.
    void fill(const QVariantHash& values, qint64 version);
    void commitCurrentValues();
    void restoreCommittedValues();
    void turnIntoFault();
    QVariantHash currentValues() const;

    ManagedObjectContext* context_ = nullptr;
    ObjectContextHooks* hooks_ = nullptr;
    qint64 rowId_ = 0;
    qint64 version_ = 0; // the row's optimistic-locking counter as last seen
    quint64 temporaryId_ = 0;
    State state_ = State::Clean;
    bool fault_ = false;
    QVariantHash values_;    // current values (null values absent)
    QVariantHash committed_; // values as last read from or written to the store
};

using ManagedObjectPtr = std::shared_ptr<ManagedObject>;

} // namespace pierline
