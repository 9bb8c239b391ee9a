#include "ManagedObjectContext.h"

#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "store/SqliteStore.h"
#include "store/StoreModel.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QUuid>
#include <algorithm>

namespace pierline {
namespace {

// True on a thread that must hand store work to the main thread (without an application there
// is only one thread to speak of).
bool offMainThread() {
    return QCoreApplication::instance() && !isMainThread();
}

template <class T> void eraseObject(std::vector<T>& list, const ManagedObject* object) {
    std::erase_if(list, [object](const T& o) { return o.get() == object; });
}

StoreError noStore() {
    return StoreError(StoreError::kCocoaDomain, StoreError::kNoPersistentStores,
                      QStringLiteral("This persistent store coordinator has no persistent stores. It cannot perform a "
                                     "save or fetch operation."));
}

StoreError conflict(const QString& entity) {
    return StoreError(
        StoreError::kCocoaDomain, StoreError::kOptimisticLockingFailure,
        QStringLiteral("Could not merge changes: a %1 was changed or deleted by another writer.").arg(entity));
}

// Orders two column values: absent first, then by value.
int compareColumns(const QVariant& a, const QVariant& b) {
    const bool aNull = !a.isValid();
    const bool bNull = !b.isValid();
    if (aNull || bNull)
        return aNull == bNull ? 0 : (aNull ? -1 : 1);
    const QPartialOrdering order = QVariant::compare(a, b);
    if (order == QPartialOrdering::Less)
        return -1;
    if (order == QPartialOrdering::Greater)
        return 1;
    return 0;
}

} // namespace

ManagedObjectContext::~ManagedObjectContext() {
    reset();
}

const EntityDescription& ManagedObjectContext::entity(const QString& name) const {
    const ModelVersion& model = store_ ? store_->model() : pierlineModelHistory().last();
    const EntityDescription* e = model.entity(name);
    if (!e)
        throw StoreError(StoreError::kCocoaDomain, StoreError::kUnsupportedRequestType,
                         QStringLiteral("The model has no entity named %1.").arg(name));
    return *e;
}

void ManagedObjectContext::requireStore() const {
    if (!store_)
        throw noStore();
}

ManagedObjectPtr ManagedObjectContext::makeObject(const QString& entityName) const {
    if (entityName == DockPreset::kEntityName)
        return std::make_shared<DockPreset>();
    if (entityName == DockFolderStack::kEntityName)
        return std::make_shared<DockFolderStack>();
    throw StoreError(StoreError::kCocoaDomain, StoreError::kUnsupportedRequestType,
                     QStringLiteral("The model has no entity named %1.").arg(entityName));
}

ManagedObjectPtr ManagedObjectContext::insertObject(const QString& entityName) {
    const EntityDescription& e = entity(entityName);
    ManagedObjectPtr object = makeObject(entityName);
    QVariantHash defaults;
    for (const auto& a : e.attributes) {
        if (!a.defaultValue.isValid())
            continue;
        switch (a.type) {
        case AttributeType::Int16:
            defaults.insert(a.name, QVariant(a.defaultValue.toInt()));
            break;
        case AttributeType::Boolean:
            defaults.insert(a.name, QVariant(a.defaultValue.toBool()));
            break;
        default:
            defaults.insert(a.name, a.defaultValue);
        }
    }
    object->fill(defaults, 0);
    object->setTemporaryId(nextTemporaryId_++);
    object->attach(this, this, ManagedObject::State::Inserted);
    inserted_.push_back(object);
    if (entityName == DockPreset::kEntityName)
        members_[object.get()].loaded = true;
    return object;
}

void ManagedObjectContext::deleteObject(const ManagedObjectPtr& object) {
    if (!object || object->context() != this)
        return;
    const ManagedObject::State state = object->state();
    if (state == ManagedObject::State::Deleted)
        return;
    if (auto preset = std::dynamic_pointer_cast<DockPreset>(object))
        for (const auto& stack : folderStacks(*preset))
            deleteObject(stack);
    if (state == ManagedObject::State::Inserted) {
        eraseObject(inserted_, object.get());
        forget(object);
        return;
    }
    if (state == ManagedObject::State::Updated)
        eraseObject(updated_, object.get());
    object->setState(ManagedObject::State::Deleted);
    deleted_.push_back(object);
}

bool ManagedObjectContext::hasChanges() const {
    return !inserted_.empty() || !updated_.empty() || !deleted_.empty();
}

QList<ManagedObjectPtr> ManagedObjectContext::insertedObjects() const {
    return {inserted_.begin(), inserted_.end()};
}
QList<ManagedObjectPtr> ManagedObjectContext::updatedObjects() const {
    return {updated_.begin(), updated_.end()};
}
QList<ManagedObjectPtr> ManagedObjectContext::deletedObjects() const {
    return {deleted_.begin(), deleted_.end()};
}

void ManagedObjectContext::validate(const ManagedObjectPtr& object) const {
    const EntityDescription& e = entity(object->entityName());
    const QVariantHash values = object->currentValues();
    for (const auto& a : e.attributes)
        if (!a.optional && !values.contains(a.name))
            throw StoreError(StoreError::kCocoaDomain, StoreError::kValidationMissingMandatoryProperty,
                             QStringLiteral("%1 is a required value of %2.").arg(a.name, e.name));
}

QHash<QString, qint64>
ManagedObjectContext::toOneKeys(const ManagedObjectPtr& object,
                                const std::unordered_map<const ManagedObject*, qint64>& newRows) const {
    QHash<QString, qint64> keys;
    if (object->entityName() != DockFolderStack::kEntityName)
        return keys;
    const auto link = links_.find(object.get());
    const DockPresetPtr preset = link == links_.end() ? nullptr : link->second.current.lock();
    qint64 pk = 0;
    if (preset) {
        pk = preset->rowId();
        if (pk <= 0) {
            const auto it = newRows.find(preset.get());
            pk = it == newRows.end() ? 0 : it->second;
        }
    }
    keys.insert(QStringLiteral("preset"), pk);
    return keys;
}

void ManagedObjectContext::save() {
    if (!hasChanges())
        return;
    requireStore();
    for (const auto& o : inserted_)
        validate(o);
    for (const auto& o : updated_)
        validate(o);

    // Presets first, so that new items can point at their rows.
    std::vector<ManagedObjectPtr> inserts = inserted_;
    std::stable_sort(inserts.begin(), inserts.end(), [](const ManagedObjectPtr& a, const ManagedObjectPtr& b) {
        return a->entityName() == DockPreset::kEntityName && b->entityName() != DockPreset::kEntityName;
    });
    std::unordered_map<const ManagedObject*, qint64> newRows;
    const bool underLock = store_->transactionDepth() > 0;
    store_->begin();
    try {
        for (const auto& o : inserts) {
            const EntityDescription& e = entity(o->entityName());
            newRows[o.get()] = store_->insert(e, o->currentValues(), toOneKeys(o, newRows));
        }
        for (const auto& o : updated_) {
            const EntityDescription& e = entity(o->entityName());
            if (!store_->update(e, o->rowId(), o->version(), o->currentValues(), toOneKeys(o, newRows)))
                throw conflict(e.name);
        }
        for (const auto& o : deleted_) {
            const EntityDescription& e = entity(o->entityName());
            if (!store_->remove(e, o->rowId(), o->version()))
                throw conflict(e.name);
            // Items another writer added meanwhile go with their preset too.
            if (e.name == DockPreset::kEntityName)
                store_->removeRelated(entity(DockFolderStack::kEntityName), QStringLiteral("preset"), o->rowId());
        }
        store_->commit();
    } catch (const StoreError&) {
        store_->rollback();
        throw;
    }

    if (underLock) {
        for (const auto& o : inserts)
            savedUnderLock_.emplace_back(o, SavedAs::Inserted);
        for (const auto& o : updated_)
            savedUnderLock_.emplace_back(o, SavedAs::Updated);
        for (const auto& o : deleted_)
            savedUnderLock_.emplace_back(o, SavedAs::Deleted);
    }
    for (const auto& o : inserts) {
        const qint64 pk = newRows[o.get()];
        o->setRow(pk, 1);
        o->commitCurrentValues();
        o->setState(ManagedObject::State::Clean);
        registered_[o->entityName()].insert(pk, o);
        if (auto link = links_.find(o.get()); link != links_.end())
            link->second.committed = link->second.current;
    }
    for (const auto& o : updated_) {
        o->setVersion(o->version() + 1);
        o->commitCurrentValues();
        o->setState(ManagedObject::State::Clean);
        if (auto link = links_.find(o.get()); link != links_.end())
            link->second.committed = link->second.current;
    }
    const std::vector<ManagedObjectPtr> deleted = std::move(deleted_);
    inserted_.clear();
    updated_.clear();
    deleted_.clear();
    for (const auto& o : deleted)
        forget(o);
    // Observers run from the main queue, after the saver's own work.
    NotificationCenter::shared().postOnMainQueue(
        kContextDidSaveNotification,
        {{kContextDidSaveContextKey, QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(this))}});
}

void ManagedObjectContext::rollback() {
    const std::vector<ManagedObjectPtr> inserted = std::move(inserted_);
    const std::vector<ManagedObjectPtr> changed = [&] {
        std::vector<ManagedObjectPtr> all = std::move(updated_);
        all.insert(all.end(), deleted_.begin(), deleted_.end());
        return all;
    }();
    inserted_.clear();
    updated_.clear();
    deleted_.clear();
    for (const auto& o : inserted)
        forget(o);
    for (const auto& o : changed) {
        o->restoreCommittedValues();
        o->setState(ManagedObject::State::Clean);
        if (o->entityName() == DockFolderStack::kEntityName)
            restoreLink(static_cast<DockFolderStack*>(o.get()));
    }
}

void ManagedObjectContext::refresh(const ManagedObjectPtr& object, bool mergeChanges) {
    if (!object || object->context() != this)
        return;
    const ManagedObject::State state = object->state();
    if (state == ManagedObject::State::Inserted)
        return; // nothing stored to read
    const bool isStack = object->entityName() == DockFolderStack::kEntityName;
    if (mergeChanges && state != ManagedObject::State::Clean && store_) {
        std::optional<StoredRow> row;
        try {
            row = store_->fetchRow(entity(object->entityName()), object->rowId());
        } catch (const StoreError&) {
            return;
        }
        if (!row)
            return; // the next save reports the conflict
        QVariantHash changes;
        const QVariantHash current = object->currentValues();
        const EntityDescription& e = entity(object->entityName());
        for (const auto& a : e.attributes)
            if (current.value(a.name) != object->committedValue(a.name))
                changes.insert(a.name, current.value(a.name));
        object->fill(row->values, row->version);
        for (auto it = changes.cbegin(); it != changes.cend(); ++it)
            object->setValue(it.key(), it.value());
        return;
    }
    if (state == ManagedObject::State::Updated)
        eraseObject(updated_, object.get());
    if (state == ManagedObject::State::Deleted)
        eraseObject(deleted_, object.get());
    object->restoreCommittedValues();
    object->setState(ManagedObject::State::Clean);
    if (isStack)
        restoreLink(static_cast<DockFolderStack*>(object.get()));
    object->turnIntoFault();
    if (auto it = members_.find(object.get()); it != members_.end()) {
        // Unsaved items stay; the stored ones are read again on next use.
        it->second.loaded = false;
        std::erase_if(it->second.stacks, [](const DockFolderStackPtr& s) { return !s->hasChanges(); });
    }
}

void ManagedObjectContext::reset() {
    std::vector<ManagedObjectPtr> all = inserted_;
    for (const auto& byRow : std::as_const(registered_))
        for (const auto& o : byRow)
            all.push_back(o);
    inserted_.clear();
    updated_.clear();
    deleted_.clear();
    registered_.clear();
    links_.clear();
    members_.clear();
    savedUnderLock_.clear();
    for (const auto& o : all)
        o->detach();
}

QList<ManagedObjectPtr> ManagedObjectContext::registeredObjects() const {
    QList<ManagedObjectPtr> all(inserted_.begin(), inserted_.end());
    for (const auto& byRow : registered_)
        for (const auto& o : byRow)
            all.append(o);
    return all;
}

ManagedObjectPtr ManagedObjectContext::registeredObject(const QString& entityName, qint64 pk) const {
    const auto it = registered_.constFind(entityName);
    return it == registered_.constEnd() ? nullptr : it->value(pk);
}

ManagedObjectPtr ManagedObjectContext::merge(const EntityDescription& e, const StoredRow& row) {
    ManagedObjectPtr object = registeredObject(e.name, row.pk);
    if (object && !row.complete)
        return object;
    if (!object) {
        object = makeObject(e.name);
        object->setRow(row.pk, row.version);
        object->fill(row.values, row.version);
        object->attach(this, this, ManagedObject::State::Clean);
        registered_[e.name].insert(row.pk, object);
        linkFromRow(object, row, true);
        return object;
    }
    if (object->state() == ManagedObject::State::Clean) {
        object->fill(row.values, row.version);
        linkFromRow(object, row, true);
    }
    return object;
}

ManagedObjectPtr ManagedObjectContext::objectForRow(const QString& entityName, qint64 pk) {
    if (ManagedObjectPtr existing = registeredObject(entityName, pk))
        return existing;
    ManagedObjectPtr object = makeObject(entityName);
    object->setRow(pk, 0);
    object->turnIntoFault();
    object->attach(this, this, ManagedObject::State::Clean);
    registered_[entityName].insert(pk, object);
    return object;
}

void ManagedObjectContext::linkFromRow(const ManagedObjectPtr& object, const StoredRow& row, bool committedToo) {
    if (object->entityName() != DockFolderStack::kEntityName)
        return;
    const qint64 pk = row.toOne.value(QStringLiteral("preset"));
    DockPresetPtr preset =
        pk > 0 ? std::static_pointer_cast<DockPreset>(objectForRow(DockPreset::kEntityName, pk)) : nullptr;
    relink(static_cast<DockFolderStack*>(object.get()), preset, committedToo);
}

void ManagedObjectContext::relink(DockFolderStack* stack, const DockPresetPtr& preset, bool committedToo) {
    Link& link = links_[stack];
    const DockPresetPtr old = link.current.lock();
    auto stackPtr = std::static_pointer_cast<DockFolderStack>(stack->shared_from_this());
    if (old && old != preset) {
        if (auto it = members_.find(old.get()); it != members_.end())
            eraseObject(it->second.stacks, stack);
    }
    if (preset) {
        auto& stacks = members_[preset.get()].stacks;
        if (std::none_of(stacks.begin(), stacks.end(), [stack](const auto& s) { return s.get() == stack; }))
            stacks.push_back(stackPtr);
    }
    link.current = preset;
    if (committedToo)
        link.committed = preset;
}

void ManagedObjectContext::restoreLink(DockFolderStack* stack) {
    const auto it = links_.find(stack);
    if (it == links_.end())
        return;
    relink(stack, it->second.committed.lock(), false);
}

void ManagedObjectContext::forget(const ManagedObjectPtr& object) {
    if (object->entityName() == DockFolderStack::kEntityName) {
        if (auto link = links_.find(object.get()); link != links_.end()) {
            if (const DockPresetPtr preset = link->second.current.lock())
                if (auto it = members_.find(preset.get()); it != members_.end())
                    eraseObject(it->second.stacks, object.get());
            links_.erase(link);
        }
    } else if (auto it = members_.find(object.get()); it != members_.end()) {
        for (const auto& stack : it->second.stacks)
            if (auto link = links_.find(stack.get()); link != links_.end())
                link->second.current.reset();
        members_.erase(it);
    }
    if (object->rowId() > 0) {
        auto byRow = registered_.find(object->entityName());
        if (byRow != registered_.end() && byRow->value(object->rowId()) == object)
            byRow->remove(object->rowId());
    }
    object->detach();
}

bool ManagedObjectContext::hasPendingChanges(const QString& entityName) const {
    const auto same = [&](const ManagedObjectPtr& o) { return o->entityName() == entityName; };
    return std::any_of(inserted_.begin(), inserted_.end(), same) ||
           std::any_of(updated_.begin(), updated_.end(), same) || std::any_of(deleted_.begin(), deleted_.end(), same);
}

bool ManagedObjectContext::matches(const ManagedObjectPtr& object, const QList<FetchCondition>& conditions) const {
    const EntityDescription& e = entity(object->entityName());
    for (const FetchCondition& c : conditions) {
        const AttributeDescription* a = e.attribute(c.attribute);
        if (!a)
            return false;
        const QVariant mine = SqliteStore::toColumn(a->type, object->value(c.attribute));
        const QVariant wanted = SqliteStore::toColumn(a->type, c.value);
        switch (c.op) {
        case FetchCondition::Op::IsNull:
            if (mine.isValid())
                return false;
            break;
        case FetchCondition::Op::NotNull:
            if (!mine.isValid())
                return false;
            break;
        case FetchCondition::Op::Equal:
            if (mine.isValid() != wanted.isValid())
                return false;
            if (mine.isValid() && compareColumns(mine, wanted) != 0)
                return false;
            break;
        }
    }
    return true;
}

QList<ManagedObjectPtr> ManagedObjectContext::fetch(const FetchRequest& request) {
    requireStore();
    const EntityDescription& e = entity(request.entity);
    const bool pending = hasPendingChanges(e.name);
    // A row whose version this context already holds, unchanged and filled in, is not read again.
    const auto& byRow = registered_[e.name];
    QHash<qint64, ManagedObjectPtr> known; // copies: merging below may grow the hash
    const RowFilter wantValues = [&byRow, &known](qint64 pk, qint64 version) {
        const auto it = byRow.constFind(pk);
        if (it == byRow.cend() || !it.value()->isCleanAt(version))
            return true;
        known.insert(pk, it.value());
        return false;
    };
    const std::vector<StoredRow> rows =
        store_->fetch(e, request.conditions, request.sort, pending ? 0 : request.limit, wantValues);
    QList<ManagedObjectPtr> out;
    out.reserve(static_cast<qsizetype>(rows.size()));
    for (const StoredRow& row : rows) {
        if (!row.complete) {
            // Clean by the filter's test; the store leaves out rows it could not read.
            if (ManagedObjectPtr object = known.value(row.pk))
                out.append(std::move(object));
            continue;
        }
        ManagedObjectPtr object = merge(e, row);
        if (object->state() == ManagedObject::State::Clean)
            out.append(object);
    }
    if (!pending)
        return out;

    for (const auto* list : {&inserted_, &updated_})
        for (const auto& o : *list)
            if (o->entityName() == e.name && matches(o, request.conditions))
                out.append(o);
    QList<std::pair<const AttributeDescription*, bool>> keys;
    for (const SortDescriptor& s : request.sort)
        if (const auto* a = e.attribute(s.attribute))
            keys.append({a, s.ascending});
    std::stable_sort(out.begin(), out.end(), [&](const ManagedObjectPtr& x, const ManagedObjectPtr& y) {
        for (const auto& [a, ascending] : keys) {
            const int c = compareColumns(SqliteStore::toColumn(a->type, x->value(a->name)),
                                         SqliteStore::toColumn(a->type, y->value(a->name)));
            if (c != 0)
                return ascending ? c < 0 : c > 0;
        }
        return false;
    });
    if (request.limit > 0 && out.size() > request.limit)
        out.resize(request.limit);
    return out;
}

int ManagedObjectContext::count(const FetchRequest& request) {
    requireStore();
    const EntityDescription& e = entity(request.entity);
    if (!hasPendingChanges(e.name))
        return static_cast<int>(store_->count(e, request.conditions));
    return static_cast<int>(fetch(request).size());
}

ManagedObjectPtr ManagedObjectContext::existingObject(const QString& uri) {
    static const QString scheme = QStringLiteral("x-coredata://");
    if (!uri.startsWith(scheme))
        return nullptr;
    const QStringList parts = uri.mid(scheme.size()).split(QLatin1Char('/'));
    if (parts.size() != 3 || parts[2].size() < 2)
        return nullptr;
    const QString& storeId = parts[0];
    const QString& entityName = parts[1];
    bool ok = false;
    const qint64 number = parts[2].mid(1).toLongLong(&ok);
    if (!ok || number <= 0)
        return nullptr;
    if (parts[2].startsWith(QLatin1Char('t'))) {
        if (!storeId.isEmpty())
            return nullptr;
        for (const auto& o : inserted_)
            if (o->entityName() == entityName && o->temporaryId_ == static_cast<quint64>(number))
                return o;
        return nullptr;
    }
    if (!parts[2].startsWith(QLatin1Char('p')) || !store_)
        return nullptr;
    if (storeId.compare(store_->identifier(), Qt::CaseInsensitive) != 0)
        return nullptr;
    const EntityDescription* e = store_->model().entity(entityName);
    if (!e)
        return nullptr;
    if (ManagedObjectPtr existing = registeredObject(entityName, number)) {
        if (existing->isFault())
            fulfillFault(*existing);
        return existing->context() == this ? existing : nullptr;
    }
    std::optional<StoredRow> row;
    try {
        row = store_->fetchRow(*e, number);
    } catch (const StoreError&) {
        return nullptr;
    }
    return row ? merge(*e, *row) : nullptr;
}

void ManagedObjectContext::undoSavedSince(size_t journalMark) {
    if (journalMark >= savedUnderLock_.size())
        return;
    std::vector<std::pair<ManagedObjectPtr, SavedAs>> undone(savedUnderLock_.begin() + journalMark,
                                                             savedUnderLock_.end());
    savedUnderLock_.resize(journalMark);
    bool rowsCameBack = false;
    for (const auto& [object, savedAs] : undone) {
        if (savedAs == SavedAs::Deleted) {
            rowsCameBack = true; // the object left the context with its save; its row is back
            continue;
        }
        if (object->context() != this)
            continue;
        if (savedAs == SavedAs::Inserted) {
            eraseObject(updated_, object.get());
            eraseObject(deleted_, object.get());
            forget(object);
            continue;
        }
        // The row still holds what it held before the lock: read it again on next use.
        if (object->state() == ManagedObject::State::Updated)
            eraseObject(updated_, object.get());
        if (object->state() == ManagedObject::State::Deleted)
            eraseObject(deleted_, object.get());
        object->setState(ManagedObject::State::Clean);
        object->setVersion(0);
        object->turnIntoFault();
    }
    // Every preset reads its items from the file again, so the restored rows show.
    if (rowsCameBack)
        for (auto& [preset, members] : members_)
            members.loaded = false;
}

ManagedObjectContext::WriteLock::WriteLock(ManagedObjectContext& context)
    : context_(&context), store_(context.store_), journalMark_(context.savedUnderLock_.size()) {
    if (!store_)
        return;
    store_->begin();
    open_ = true;
}

ManagedObjectContext::WriteLock::~WriteLock() {
    rollback();
}

void ManagedObjectContext::WriteLock::commit() {
    if (!open_)
        return;
    open_ = false;
    try {
        store_->commit();
    } catch (const StoreError&) {
        store_->rollback();
        context_->undoSavedSince(journalMark_);
        throw;
    }
    if (store_->transactionDepth() == 0)
        context_->savedUnderLock_.clear();
}

void ManagedObjectContext::WriteLock::rollback() {
    if (!open_)
        return;
    open_ = false;
    store_->rollback();
    context_->undoSavedSince(journalMark_);
}

void ManagedObjectContext::setStore(SqliteStore* store) {
    reset();
    store_ = store;
}

void ManagedObjectContext::fulfillFault(ManagedObject& object) {
    if (offMainThread()) {
        runOnMainSync([&] { fulfillFault(object); });
        return;
    }
    if (!object.isFault())
        return;
    const ManagedObjectPtr ptr = object.shared_from_this();
    if (!store_ || object.context() != this || object.rowId() <= 0) {
        object.fill(object.currentValues(), object.version());
        return;
    }
    std::optional<StoredRow> row;
    try {
        row = store_->fetchRow(entity(object.entityName()), object.rowId());
    } catch (const StoreError&) {
        object.fill(object.currentValues(), object.version()); // keep what was last known
        return;
    }
    if (!row) {
        forget(ptr); // deleted by another writer
        return;
    }
    object.fill(row->values, row->version);
    linkFromRow(ptr, *row, true);
}

void ManagedObjectContext::objectDidChange(ManagedObject& object) {
    if (offMainThread()) {
        runOnMainSync([&] { objectDidChange(object); });
        return;
    }
    // Called once per change from clean, so the object is not listed yet.
    if (object.context() == this)
        updated_.push_back(object.shared_from_this());
}

QString ManagedObjectContext::storeIdentifier() const {
    return store_ ? store_->identifier() : QString();
}

void ManagedObjectContext::ensureMembersLoaded(const DockPreset& preset) {
    Members& members = members_[&preset];
    if (members.loaded)
        return;
    if (preset.rowId() <= 0) {
        members.loaded = true;
        return;
    }
    if (!store_)
        return;
    // A list asks each preset for its items in turn: one read loads the items of every known
    // preset that has not loaded them yet, not one read per preset.
    std::vector<const ManagedObject*> loading = {&preset};
    QList<qint64> rowIds = {preset.rowId()};
    const QHash<qint64, ManagedObjectPtr> presets = registered_.value(DockPreset::kEntityName);
    for (auto it = presets.cbegin(); it != presets.cend(); ++it) {
        const ManagedObject* other = it.value().get();
        if (other == &preset || it.key() <= 0)
            continue;
        if (const auto found = members_.find(other); found != members_.end() && found->second.loaded)
            continue;
        loading.push_back(other);
        rowIds.append(it.key());
    }
    std::vector<StoredRow> rows;
    const EntityDescription& stackEntity = entity(DockFolderStack::kEntityName);
    try {
        rows = store_->fetchRelated(stackEntity, QStringLiteral("preset"), rowIds);
    } catch (const StoreError&) {
        return;
    }
    for (const StoredRow& row : rows)
        merge(stackEntity, row);
    for (const ManagedObject* loaded : loading)
        members_[loaded].loaded = true;
}

QList<DockFolderStackPtr> ManagedObjectContext::folderStacks(const DockPreset& preset) {
    if (offMainThread())
        return runOnMainSyncResult([&] { return folderStacks(preset); });
    if (preset.context() != this)
        return {};
    ensureMembersLoaded(preset);
    QList<DockFolderStackPtr> out;
    for (const auto& s : members_[&preset].stacks)
        if (!s->isDeleted() && s->context() == this)
            out.append(s);
    return out;
}

DockPresetPtr ManagedObjectContext::presetOf(const DockFolderStack& stack) {
    if (offMainThread())
        return runOnMainSyncResult([&] { return presetOf(stack); });
    if (stack.isFault())
        fulfillFault(const_cast<DockFolderStack&>(stack));
    const auto it = links_.find(&stack);
    return it == links_.end() ? nullptr : it->second.current.lock();
}

void ManagedObjectContext::setPresetOf(DockFolderStack& stack, const DockPresetPtr& preset) {
    if (offMainThread()) {
        runOnMainSync([&] { setPresetOf(stack, preset); });
        return;
    }
    if (stack.context() != this)
        return;
    if (stack.isFault())
        fulfillFault(stack);
    relink(&stack, preset, false);
    if (stack.state() == ManagedObject::State::Clean) {
        stack.setState(ManagedObject::State::Updated);
        updated_.push_back(stack.shared_from_this());
    }
}

} // namespace pierline
