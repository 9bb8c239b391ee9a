#include "ManagedObject.h"

#include <mutex>

namespace pierline {
namespace {

// One lock for every object's values: readers on other threads see whole updates.
std::recursive_mutex& objectsMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

bool isAbsent(const QVariant& v) {
    return !v.isValid() || v.isNull();
}

} // namespace

ManagedObjectContext* ManagedObject::context() const {
    std::lock_guard lock(objectsMutex());
    return context_;
}

ObjectContextHooks* ManagedObject::hooks() const {
    std::lock_guard lock(objectsMutex());
    return hooks_;
}

QString ManagedObject::objectIdUri() const {
    std::lock_guard lock(objectsMutex());
    if (rowId_ > 0) {
        const QString store = hooks_ ? hooks_->storeIdentifier() : QString();
        return QStringLiteral("x-coredata://%1/%2/p%3").arg(store, entityName()).arg(rowId_);
    }
    return QStringLiteral("x-coredata:///%1/t%2").arg(entityName()).arg(temporaryId_);
}

qint64 ManagedObject::rowId() const {
    std::lock_guard lock(objectsMutex());
    return rowId_;
}

bool ManagedObject::isInserted() const {
    return state() == State::Inserted;
}
bool ManagedObject::isDeleted() const {
    return state() == State::Deleted;
}
bool ManagedObject::isUpdated() const {
    return state() == State::Updated;
}
bool ManagedObject::hasChanges() const {
    return state() != State::Clean;
}

bool ManagedObject::isFault() const {
    std::lock_guard lock(objectsMutex());
    return fault_;
}

QVariant ManagedObject::value(const QString& attribute) const {
    ObjectContextHooks* hooks = nullptr;
    {
        std::lock_guard lock(objectsMutex());
        if (!fault_)
            return values_.value(attribute);
        hooks = hooks_;
    }
    // Fulfilling may hop to the main thread, so it runs without the lock.
    if (hooks)
        hooks->fulfillFault(const_cast<ManagedObject&>(*this));
    std::lock_guard lock(objectsMutex());
    return values_.value(attribute);
}

QVariant ManagedObject::committedValue(const QString& attribute) const {
    if (isFault())
        value(attribute);
    std::lock_guard lock(objectsMutex());
    return committed_.value(attribute);
}

void ManagedObject::setValue(const QString& attribute, const QVariant& value) {
    if (isFault())
        this->value(attribute);
    bool becameChanged = false;
    ObjectContextHooks* hooks = nullptr;
    {
        std::lock_guard lock(objectsMutex());
        const QVariant current = values_.value(attribute);
        const bool same = isAbsent(value)
                              ? isAbsent(current)
                              : (!isAbsent(current) && current == value && current.typeId() == value.typeId());
        if (same)
            return;
        if (isAbsent(value))
            values_.remove(attribute);
        else
            values_.insert(attribute, value);
        if (state_ == State::Clean && hooks_) {
            state_ = State::Updated;
            becameChanged = true;
            hooks = hooks_;
        }
    }
    if (becameChanged)
        hooks->objectDidChange(*this);
}

std::optional<QString> ManagedObject::optionalString(const QString& attribute) const {
    const QVariant v = value(attribute);
    if (isAbsent(v))
        return std::nullopt;
    return v.toString();
}

void ManagedObject::setOptionalString(const QString& attribute, const std::optional<QString>& v) {
    setValue(attribute, v ? QVariant(*v) : QVariant());
}

QString ManagedObject::stringOr(const QString& attribute, const QString& fallback) const {
    const QVariant v = value(attribute);
    return isAbsent(v) ? fallback : v.toString();
}

std::optional<QDateTime> ManagedObject::optionalDate(const QString& attribute) const {
    const QVariant v = value(attribute);
    if (isAbsent(v))
        return std::nullopt;
    const QDateTime d = v.toDateTime();
    if (!d.isValid())
        return std::nullopt;
    return d;
}

void ManagedObject::setOptionalDate(const QString& attribute, const std::optional<QDateTime>& v) {
    setValue(attribute, v && v->isValid() ? QVariant(v->toUTC()) : QVariant());
}

qint16 ManagedObject::int16Value(const QString& attribute) const {
    return static_cast<qint16>(value(attribute).toInt());
}

void ManagedObject::setInt16Value(const QString& attribute, qint16 v) {
    setValue(attribute, QVariant(static_cast<int>(v)));
}

void ManagedObject::attach(ManagedObjectContext* context, ObjectContextHooks* hooks, State state) {
    std::lock_guard lock(objectsMutex());
    context_ = context;
    hooks_ = hooks;
    state_ = state;
}

void ManagedObject::detach() {
    std::lock_guard lock(objectsMutex());
    if (fault_) {
        // Nothing to read any more: keep what was last known.
        values_ = committed_;
        fault_ = false;
    }
    context_ = nullptr;
    hooks_ = nullptr;
    state_ = State::Clean;
}

ManagedObject::State ManagedObject::state() const {
    std::lock_guard lock(objectsMutex());
    return state_;
}

void ManagedObject::setState(State state) {
    std::lock_guard lock(objectsMutex());
    state_ = state;
}

void ManagedObject::setRow(qint64 rowId, qint64 version) {
    std::lock_guard lock(objectsMutex());
    rowId_ = rowId;
    version_ = version;
}

qint64 ManagedObject::version() const {
    std::lock_guard lock(objectsMutex());
    return version_;
}

bool ManagedObject::isCleanAt(qint64 version) const {
    std::lock_guard lock(objectsMutex());
    return version_ == version && !fault_ && state_ == State::Clean;
}

void ManagedObject::setVersion(qint64 version) {
    std::lock_guard lock(objectsMutex());
    version_ = version;
}

void ManagedObject::setTemporaryId(quint64 id) {
    std::lock_guard lock(objectsMutex());
    temporaryId_ = id;
}

void ManagedObject::fill(const QVariantHash& values, qint64 version) {
    std::lock_guard lock(objectsMutex());
    values_ = values;
    committed_ = values;
    version_ = version;
    fault_ = false;
}

void ManagedObject::commitCurrentValues() {
    std::lock_guard lock(objectsMutex());
    committed_ = values_;
}

void ManagedObject::restoreCommittedValues() {
    std::lock_guard lock(objectsMutex());
    values_ = committed_;
}

void ManagedObject::turnIntoFault() {
    std::lock_guard lock(objectsMutex());
    fault_ = true;
}

QVariantHash ManagedObject::currentValues() const {
    std::lock_guard lock(objectsMutex());
    return values_;
}

} // namespace pierline
