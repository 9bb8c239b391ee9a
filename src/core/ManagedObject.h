#pragma once

#include <QString>
#include <QVariant>
#include <QVariantHash>
#include <memory>

namespace pierline {

class ManagedObjectContext;

// A store object: a named set of attribute values with change tracking by its context.
// Attribute values live in one map so that snapshots, rollback and refresh are generic.
class ManagedObject : public std::enable_shared_from_this<ManagedObject> {
public:
    virtual ~ManagedObject() = default;
    virtual QString entityName() const = 0;

    ManagedObjectContext* context() const { return context_; }
    // "x-coredata://<store-uuid>/<Entity>/p<row>" once saved, a temporary "x-coredata:///<Entity>/t<n>" before.
    QString objectIdUri() const;
    qint64 rowId() const { return rowId_; }

    bool isInserted() const { return state_ == State::Inserted; }
    bool isDeleted() const { return state_ == State::Deleted; }
    bool isUpdated() const { return state_ == State::Updated; }
    bool hasChanges() const { return state_ != State::Clean; }
    bool isFault() const { return fault_; }

    // Raw attribute access by name; typed accessors of the entities wrap these.
    QVariant value(const QString& attribute) const;
    void setValue(const QString& attribute, const QVariant& value);

protected:
    enum class State { Clean, Inserted, Updated, Deleted };

private:
    friend class ManagedObjectContext;
    friend class StoreContext;

    ManagedObjectContext* context_ = nullptr;
    qint64 rowId_ = 0;
    quint64 temporaryId_ = 0;
    State state_ = State::Clean;
    bool fault_ = false;
    QVariantHash values_;    // current values
    QVariantHash committed_; // values as last read from or written to the store
};

using ManagedObjectPtr = std::shared_ptr<ManagedObject>;

} // namespace pierline
