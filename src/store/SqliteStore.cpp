#include "SqliteStore.h"

#include "platform/Log.h"
#include "platform/UuidText.h"
#include "store/StoreError.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringList>
#include <QThread>
#include <QUuid>
#include <sqlite3.h>

namespace pierline {
namespace {

const QString kMetadataTable = QStringLiteral("Z_METADATA");
const QString kStoreUuidKey = QStringLiteral("NSStoreUUID");
const QString kModelHashKey = QStringLiteral("NSStoreModelVersionHash");
const QString kModelIdentifierKey = QStringLiteral("NSStoreModelVersionIdentifier");

QString sqlType(AttributeType type) {
    switch (type) {
    case AttributeType::Uuid:
    case AttributeType::String:
        return QStringLiteral("TEXT");
    case AttributeType::Date:
        return QStringLiteral("REAL");
    case AttributeType::Int16:
    case AttributeType::Boolean:
        return QStringLiteral("INTEGER");
    case AttributeType::Binary:
        return QStringLiteral("BLOB");
    }
    return QStringLiteral("BLOB");
}

QString sqlLiteral(AttributeType type, const QVariant& value) {
    switch (type) {
    case AttributeType::Int16:
        return QString::number(value.toInt());
    case AttributeType::Boolean:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case AttributeType::Date:
        return QString::number(value.toDateTime().toMSecsSinceEpoch() / 1000.0, 'f', 3);
    default: {
        QString text = value.toString();
        text.replace(QLatin1Char('\''), QStringLiteral("''"));
        return QLatin1Char('\'') + text + QLatin1Char('\'');
    }
    }
}

QString columnDefinition(const AttributeDescription& a) {
    QString def = a.columnName() + QLatin1Char(' ') + sqlType(a.type);
    if (a.defaultValue.isValid()) {
        if (!a.optional)
            def += QStringLiteral(" NOT NULL");
        def += QStringLiteral(" DEFAULT ") + sqlLiteral(a.type, a.defaultValue);
    }
    return def;
}

// The table of an entity with the row columns, its attributes and its to-one relationships.
QString createTableStatement(const EntityDescription& e) {
    QStringList columns = {QStringLiteral("Z_PK INTEGER PRIMARY KEY AUTOINCREMENT"),
                           QStringLiteral("Z_OPT INTEGER NOT NULL DEFAULT 1")};
    for (const auto& a : e.attributes)
        columns.append(columnDefinition(a));
    for (const auto& r : e.relationships)
        if (!r.toMany)
            columns.append(r.columnName() + QStringLiteral(" INTEGER"));
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(e.tableName(), columns.join(QStringLiteral(", ")));
}

// Undoing after a failure: when the undo fails too, SQLite has already rolled back.
void execIgnoringErrors(sqlite::Database& db, const QString& sql) {
    try {
        db.exec(sql);
    } catch (const sqlite::Error&) {
    }
}

const Logger& storeLogger() {
    static const Logger logger(QStringLiteral("PersistenceController"));
    return logger;
}

QString fileName(const QString& location) {
    return QFileInfo(location).fileName();
}

StoreError notOurStore(const QString& location, const QString& reason) {
    return StoreError(StoreError::kCocoaDomain, StoreError::kFileReadCorruptFile,
                      QStringLiteral("The file \u201C%1\u201D couldn\u2019t be opened because it isn\u2019t in the "
                                     "correct format. (%2)")
                          .arg(fileName(location), reason));
}

StoreError openError(const QString& location, const sqlite::Error& e) {
    if (e.code() == SQLITE_NOTADB || e.code() == SQLITE_CORRUPT)
        return notOurStore(location, e.message());
    return StoreError(
        StoreError::kCocoaDomain, StoreError::kFileReadUnknown,
        QStringLiteral("The file \u201C%1\u201D couldn\u2019t be opened. (%2)").arg(fileName(location), e.message()));
}

// An attribute a fetch names in a condition or a sort; never null.
const AttributeDescription* requestedAttribute(const EntityDescription& e, const QString& keypath) {
    const AttributeDescription* a = e.attribute(keypath);
    if (!a)
        throw StoreError(StoreError::kCocoaDomain, StoreError::kUnsupportedRequestType,
                         QStringLiteral("keypath %1 not found in entity %2").arg(keypath, e.name));
    return a;
}

StoreError incompatible() {
    return StoreError(StoreError::kCocoaDomain, StoreError::kIncompatibleVersionHash,
                      QStringLiteral("The model used to open the store is incompatible with the one used to create the "
                                     "store."));
}

StoreError migrationFailed(const QString& reason) {
    return StoreError(StoreError::kCocoaDomain, StoreError::kMigration,
                      QStringLiteral("An error occurred during persistent store migration. (%1)").arg(reason));
}

} // namespace

SqliteStore::SqliteStore(std::unique_ptr<sqlite::Database> db, ModelVersion model, QString location)
    : db_(std::move(db)), model_(std::move(model)), location_(std::move(location)) {}

std::unique_ptr<SqliteStore> SqliteStore::load(const QString& location, const QList<ModelVersion>& history) {
    if (history.isEmpty())
        throw migrationFailed(QStringLiteral("no model"));
    const bool inMemory = location == kInMemoryLocation;
    const bool readOnly = !inMemory && isReadOnlyHere(location);
    if (readOnly && QFileInfo(location + QStringLiteral("-wal")).size() > 0)
        throw StoreError(StoreError::kCocoaDomain, StoreError::kFileReadUnknown,
                         QStringLiteral("The preset store %1 is read-only here and its latest changes wait in %1-wal, "
                                        "which only a process that may write the folder can read.")
                             .arg(location));
    std::unique_ptr<sqlite::Database> db;
    try {
        if (inMemory)
            db = sqlite::Database::open(QString::fromLatin1(sqlite::Database::kInMemory));
        else
            db = readOnly ? sqlite::Database::openReadOnly(location) : sqlite::Database::open(location);
    } catch (const sqlite::Error& e) {
        throw openError(location, e);
    }
    std::unique_ptr<SqliteStore> store(new SqliteStore(std::move(db), history.last(), location));
    store->readOnly_ = readOnly;
    if (readOnly)
        store->openForReading();
    else
        store->open(history);
    if (!inMemory)
        store->damage_ = store->checkIntegrity();
    return store;
}

// A store file that exists where we may not write (a read-only disk or folder) is still read.
bool SqliteStore::isReadOnlyHere(const QString& location) {
    const QFileInfo file(location);
    return file.exists() && (!file.isWritable() || !QFileInfo(file.absolutePath()).isWritable());
}

void SqliteStore::openForReading() {
    try {
        if (!db_->tableExists(kMetadataTable))
            throw notOurStore(location_, QStringLiteral("it has no store metadata"));
        if (readMetadata(kModelHashKey).value_or(QString()) != model_.versionHash())
            throw StoreError(StoreError::kCocoaDomain, StoreError::kIncompatibleVersionHash,
                             QStringLiteral("The preset store %1 is read-only here and needs an upgrade that "
                                            "cannot be written.")
                                 .arg(location_));
        identifier_ = readMetadata(kStoreUuidKey).value_or(QString());
    } catch (const sqlite::Error& e) {
        throw openError(location_, e);
    }
}

// A damaged page can read as an empty table without any error; only the check tells.
std::optional<QString> SqliteStore::checkIntegrity() {
    QStringList findings;
    try {
        sqlite::Query check = db_->prepare(QStringLiteral("PRAGMA integrity_check(3)"));
        while (check.step())
            findings.append(check.text(0));
    } catch (const sqlite::Error& e) {
        findings.append(e.message());
    }
    if (findings == QStringList{QStringLiteral("ok")})
        return std::nullopt;
    storeLogger().error(QStringLiteral("Integrity check of %1 failed: %2").arg(location_, findings.join("; ")));
    return findings.join(QStringLiteral("; "));
}

QString SqliteStore::damagedStoreMessage(const QString& location, const QString& damage) {
    return QStringLiteral("The preset store %1 is damaged (%2), so nothing is written to it. Repair it with "
                          "sqlite3's .recover into a new file, or move it away and Pierline starts a new, empty "
                          "store.")
        .arg(location, damage);
}

void SqliteStore::open(const QList<ModelVersion>& history) {
    const bool inMemory = location_ == kInMemoryLocation;
    // Switching a fresh file to WAL needs it to itself, and SQLite answers "busy" there without
    // waiting when other processes open the same new store at once; so wait here ourselves.
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        try {
            db_->setBusyTimeout(kBusyTimeoutMs);
            if (!inMemory) {
                // WAL lets the app and a command-line run read while the other writes.
                sqlite::Query mode = db_->prepare(QStringLiteral("PRAGMA journal_mode=WAL"));
                mode.step();
            }
            db_->exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
            db_->exec(QStringLiteral("PRAGMA cache_size=-32768"));
            db_->exec(QStringLiteral("PRAGMA temp_store=MEMORY"));
            db_->exec(QStringLiteral("BEGIN IMMEDIATE"));
            break;
        } catch (const sqlite::Error& e) {
            const int primary = e.code() & 0xff;
            const bool busy = primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
            if (!busy || waited.elapsed() >= kBusyTimeoutMs)
                throw openError(location_, e);
            QThread::msleep(10);
        }
    }
    try {
        if (!db_->tableExists(kMetadataTable)) {
            sqlite::Query tables =
                db_->prepare(QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name NOT LIKE 'sqlite_%'"));
            tables.step();
            if (tables.integer(0) > 0)
                throw notOurStore(location_, QStringLiteral("it has tables but no store metadata"));
            createSchema();
            identifier_ = uuidText(QUuid::createUuid());
            writeMetadata(kStoreUuidKey, identifier_);
            writeMetadata(kModelHashKey, model_.versionHash());
            writeMetadata(kModelIdentifierKey, model_.identifier);
        } else {
            // Only a store that names another model is replaced; one whose model is unknown is kept.
            const QString hash = readMetadata(kModelHashKey).value_or(QString());
            if (hash.isEmpty())
                throw notOurStore(location_, QStringLiteral("its model version hash is missing"));
            identifier_ = readMetadata(kStoreUuidKey).value_or(QString());
            if (identifier_.isEmpty()) {
                identifier_ = uuidText(QUuid::createUuid());
                writeMetadata(kStoreUuidKey, identifier_);
            }
            if (hash != model_.versionHash()) {
                qsizetype found = -1;
                for (qsizetype i = 0; i + 1 < history.size(); ++i)
                    if (history[i].versionHash() == hash)
                        found = i;
                if (found < 0)
                    throw incompatible();
                migrate(history, found);
            }
        }
        db_->exec(QStringLiteral("COMMIT"));
    } catch (const StoreError&) {
        execIgnoringErrors(*db_, QStringLiteral("ROLLBACK"));
        throw;
    } catch (const sqlite::Error& e) {
        execIgnoringErrors(*db_, QStringLiteral("ROLLBACK"));
        throw openError(location_, e);
    }
}

void SqliteStore::createSchema() {
    db_->exec(QStringLiteral("CREATE TABLE %1 (Z_KEY TEXT PRIMARY KEY, Z_VALUE TEXT)").arg(kMetadataTable));
    for (const EntityDescription& e : model_.entities)
        db_->exec(createTableStatement(e));
    createIndexes();
}

void SqliteStore::createIndexes() {
    for (const EntityDescription& e : model_.entities) {
        for (const auto& keys : e.indexes) {
            QStringList columns;
            QStringList parts;
            for (const SortDescriptor& k : keys) {
                const AttributeDescription* a = e.attribute(k.attribute);
                const bool rowColumn = k.attribute == QLatin1String("Z_PK") || k.attribute == QLatin1String("Z_OPT");
                if (!a && !rowColumn)
                    continue;
                const QString column = a ? a->columnName() : k.attribute;
                columns.append(column + (k.ascending ? QString() : QStringLiteral(" DESC")));
                parts.append(column + (k.ascending ? QString() : QStringLiteral("_DESC")));
            }
            if (columns.isEmpty())
                continue;
            db_->exec(QStringLiteral("CREATE INDEX IF NOT EXISTS %1_%2_INDEX ON %1 (%3)")
                          .arg(e.tableName(), parts.join(QLatin1Char('_')), columns.join(QStringLiteral(", "))));
        }
        for (const auto& r : e.relationships)
            if (!r.toMany)
                db_->exec(QStringLiteral("CREATE INDEX IF NOT EXISTS %1_%2_INDEX ON %1 (%2)")
                              .arg(e.tableName(), r.columnName()));
    }
}

void SqliteStore::migrate(const QList<ModelVersion>& history, qsizetype fromIndex) {
    // Lightweight migration: new entities, attributes and to-one relationships are added; an
    // attribute whose type changed, or a new required one without a default, cannot be inferred.
    try {
        for (qsizetype i = fromIndex; i + 1 < history.size(); ++i) {
            const ModelVersion& from = history[i];
            const ModelVersion& to = history[i + 1];
            for (const EntityDescription& e : to.entities) {
                const EntityDescription* old = from.entity(e.name);
                if (!old) {
                    db_->exec(createTableStatement(e));
                    continue;
                }
                for (const auto& a : e.attributes) {
                    const AttributeDescription* oldAttribute = old->attribute(a.name);
                    if (oldAttribute) {
                        if (oldAttribute->type != a.type)
                            throw migrationFailed(QStringLiteral("the type of %1.%2 changed").arg(e.name, a.name));
                        if (oldAttribute->optional && !a.optional && !a.defaultValue.isValid())
                            throw migrationFailed(QStringLiteral("%1.%2 became required").arg(e.name, a.name));
                        continue;
                    }
                    if (!a.optional && !a.defaultValue.isValid())
                        throw migrationFailed(
                            QStringLiteral("%1.%2 is required and has no default").arg(e.name, a.name));
                    db_->exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(e.tableName(), columnDefinition(a)));
                }
                for (const auto& r : e.relationships) {
                    if (r.toMany || old->relationship(r.name))
                        continue;
                    db_->exec(
                        QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 INTEGER").arg(e.tableName(), r.columnName()));
                }
            }
        }
        createIndexes();
        writeMetadata(kModelHashKey, model_.versionHash());
        writeMetadata(kModelIdentifierKey, model_.identifier);
    } catch (const sqlite::Error& e) {
        throw migrationFailed(e.message());
    }
}

void SqliteStore::writeMetadata(const QString& key, const QString& value) {
    sqlite::Query q =
        db_->prepare(QStringLiteral("INSERT OR REPLACE INTO %1 (Z_KEY, Z_VALUE) VALUES (?, ?)").arg(kMetadataTable));
    q.bind(1, key).bind(2, value);
    q.step();
}

std::optional<QString> SqliteStore::readMetadata(const QString& key) {
    sqlite::Query q = db_->prepare(QStringLiteral("SELECT Z_VALUE FROM %1 WHERE Z_KEY = ?").arg(kMetadataTable));
    q.bind(1, key);
    if (!q.step() || q.isNull(0))
        return std::nullopt;
    return q.text(0);
}

QVariant SqliteStore::toColumn(AttributeType type, const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return {};
    switch (type) {
    case AttributeType::Uuid: {
        const QUuid uuid = value.typeId() == QMetaType::QUuid ? value.toUuid() : QUuid::fromString(value.toString());
        return uuid.isNull() ? QVariant() : QVariant(uuidText(uuid));
    }
    case AttributeType::String:
        return value.toString();
    case AttributeType::Date: {
        const QDateTime d = value.toDateTime();
        return d.isValid() ? QVariant(d.toMSecsSinceEpoch() / 1000.0) : QVariant();
    }
    case AttributeType::Int16:
        return QVariant(static_cast<qint64>(static_cast<qint16>(value.toInt())));
    case AttributeType::Boolean:
        return QVariant(static_cast<qint64>(value.toBool() ? 1 : 0));
    case AttributeType::Binary:
        return value.toByteArray();
    }
    return {};
}

QVariant SqliteStore::fromColumn(AttributeType type, const sqlite::Query& q, int column) {
    if (q.isNull(column))
        return {};
    switch (type) {
    case AttributeType::Uuid: {
        const QUuid uuid = QUuid::fromString(q.text(column));
        return uuid.isNull() ? QVariant() : QVariant(uuid);
    }
    case AttributeType::String:
        return q.text(column);
    case AttributeType::Date:
        return QDateTime::fromMSecsSinceEpoch(qRound64(q.real(column) * 1000.0), Qt::UTC);
    case AttributeType::Int16:
        return QVariant(static_cast<int>(static_cast<qint16>(q.integer(column))));
    case AttributeType::Boolean:
        return QVariant(q.integer(column) != 0);
    case AttributeType::Binary:
        return q.blob(column);
    }
    return {};
}

QString SqliteStore::selectList(const EntityDescription& e) const {
    QStringList columns = {QStringLiteral("Z_PK"), QStringLiteral("Z_OPT")};
    for (const auto& a : e.attributes)
        columns.append(a.columnName());
    for (const auto& r : e.relationships)
        if (!r.toMany)
            columns.append(r.columnName());
    return columns.join(QStringLiteral(", "));
}

StoredRow SqliteStore::readRow(const EntityDescription& e, const sqlite::Query& q) const {
    StoredRow row;
    row.pk = q.integer(0);
    row.version = q.integer(1);
    int column = 2;
    for (const auto& a : e.attributes) {
        QVariant v = fromColumn(a.type, q, column++);
        if (v.isValid())
            row.values.insert(a.name, std::move(v));
    }
    for (const auto& r : e.relationships) {
        if (r.toMany)
            continue;
        row.toOne.insert(r.name, q.isNull(column) ? 0 : q.integer(column));
        ++column;
    }
    return row;
}

QString SqliteStore::whereClause(const EntityDescription& e, const QList<FetchCondition>& conditions,
                                 QVariantList& bindings) const {
    QStringList parts;
    for (const FetchCondition& c : conditions) {
        const AttributeDescription* a = requestedAttribute(e, c.attribute);
        const bool nullValue = !c.value.isValid() || c.value.isNull();
        if (c.op == FetchCondition::Op::IsNull || (c.op == FetchCondition::Op::Equal && nullValue)) {
            parts.append(a->columnName() + QStringLiteral(" IS NULL"));
        } else if (c.op == FetchCondition::Op::NotNull) {
            parts.append(a->columnName() + QStringLiteral(" IS NOT NULL"));
        } else {
            parts.append(a->columnName() + QStringLiteral(" = ?"));
            bindings.append(toColumn(a->type, c.value));
        }
    }
    return parts.isEmpty() ? QString() : QStringLiteral(" WHERE ") + parts.join(QStringLiteral(" AND "));
}

std::vector<StoredRow> SqliteStore::fetch(const EntityDescription& e, const QList<FetchCondition>& conditions,
                                          const QList<SortDescriptor>& sort, int limit, const RowFilter& wantValues) {
    QVariantList bindings;
    const QString where = whereClause(e, conditions, bindings);
    QStringList orderBy;
    for (const SortDescriptor& s : sort) {
        const AttributeDescription* a = requestedAttribute(e, s.attribute);
        orderBy.append(a->columnName() + (s.ascending ? QStringLiteral(" ASC") : QStringLiteral(" DESC")));
    }
    orderBy.append(QStringLiteral("Z_PK ASC")); // a stable order for equal keys
    QString tail = where + QStringLiteral(" ORDER BY ") + orderBy.join(QStringLiteral(", "));
    if (limit > 0)
        tail += QStringLiteral(" LIMIT %1").arg(limit);

    std::vector<StoredRow> rows;
    try {
        if (!wantValues) {
            sqlite::Query q =
                db_->prepare(QStringLiteral("SELECT %1 FROM %2").arg(selectList(e), e.tableName()) + tail);
            for (int i = 0; i < bindings.size(); ++i)
                q.bind(i + 1, bindings[i]);
            while (q.step())
                rows.push_back(readRow(e, q));
            return rows;
        }
        // Keys first, then the values of the rows the caller does not hold yet, in one read
        // snapshot: most rows of a repeated fetch are known, and their values are never copied.
        db_->exec(QStringLiteral("SAVEPOINT fetch_rows"));
        QList<qsizetype> missing;
        {
            sqlite::Query q = db_->prepare(QStringLiteral("SELECT Z_PK, Z_OPT FROM %1").arg(e.tableName()) + tail);
            for (int i = 0; i < bindings.size(); ++i)
                q.bind(i + 1, bindings[i]);
            while (q.step()) {
                StoredRow row;
                row.pk = q.integer(0);
                row.version = q.integer(1);
                row.complete = false;
                if (wantValues(row.pk, row.version))
                    missing.append(static_cast<qsizetype>(rows.size()));
                rows.push_back(std::move(row));
            }
        }
        constexpr qsizetype kChunk = 256;
        for (qsizetype from = 0; from < missing.size(); from += kChunk) {
            const qsizetype n = std::min(kChunk, missing.size() - from);
            QHash<qint64, qsizetype> slot;
            QStringList marks;
            for (qsizetype i = 0; i < n; ++i) {
                slot.insert(rows[static_cast<size_t>(missing[from + i])].pk, missing[from + i]);
                marks.append(QStringLiteral("?"));
            }
            sqlite::Query q = db_->prepare(QStringLiteral("SELECT %1 FROM %2 WHERE Z_PK IN (%3)")
                                               .arg(selectList(e), e.tableName(), marks.join(QLatin1Char(','))));
            int index = 1;
            for (auto it = slot.cbegin(); it != slot.cend(); ++it)
                q.bind(index++, it.key());
            while (q.step()) {
                StoredRow full = readRow(e, q);
                rows[static_cast<size_t>(slot.value(full.pk))] = std::move(full);
            }
        }
        db_->exec(QStringLiteral("RELEASE fetch_rows"));
        // A key the index lists but the table does not hold (a damaged page) is not found.
        std::vector<bool> unreadable(rows.size(), false);
        bool anyUnreadable = false;
        for (const qsizetype i : missing) {
            const StoredRow& row = rows[static_cast<size_t>(i)];
            if (row.complete)
                continue;
            storeLogger().error(QStringLiteral("Could not read row %1 of %2; leaving it out").arg(row.pk).arg(e.name));
            unreadable[static_cast<size_t>(i)] = true;
            anyUnreadable = true;
        }
        if (anyUnreadable) {
            std::vector<StoredRow> readable;
            for (size_t i = 0; i < rows.size(); ++i)
                if (!unreadable[i])
                    readable.push_back(std::move(rows[i]));
            rows = std::move(readable);
        }
    } catch (const sqlite::Error& error) {
        execIgnoringErrors(*db_, QStringLiteral("ROLLBACK TO fetch_rows; RELEASE fetch_rows"));
        fail(error);
    }
    return rows;
}

std::optional<StoredRow> SqliteStore::fetchRow(const EntityDescription& e, qint64 pk) {
    try {
        sqlite::Query q =
            db_->prepare(QStringLiteral("SELECT %1 FROM %2 WHERE Z_PK = ?").arg(selectList(e), e.tableName()));
        q.bind(1, pk);
        if (!q.step())
            return std::nullopt;
        return readRow(e, q);
    } catch (const sqlite::Error& error) {
        fail(error);
    }
}

std::vector<StoredRow> SqliteStore::fetchRelated(const EntityDescription& e, const QString& toOne,
                                                 const QList<qint64>& targetPks) {
    const RelationshipDescription* r = e.relationship(toOne);
    if (!r || r->toMany)
        throw StoreError(StoreError::kCocoaDomain, StoreError::kUnsupportedRequestType,
                         QStringLiteral("keypath %1 not found in entity %2").arg(toOne, e.name));
    std::vector<StoredRow> rows;
    if (targetPks.isEmpty())
        return rows;
    try {
        // One snapshot for every chunk; a chunk holds all rows of its targets, so each target's
        // rows stay in row order.
        db_->exec(QStringLiteral("SAVEPOINT fetch_related"));
        constexpr qsizetype kChunk = 256;
        const QString columns = selectList(e);
        for (qsizetype from = 0; from < targetPks.size(); from += kChunk) {
            const qsizetype n = std::min(kChunk, targetPks.size() - from);
            QStringList marks(n, QStringLiteral("?"));
            sqlite::Query q = db_->prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 IN (%4) ORDER BY Z_PK")
                                               .arg(columns, e.tableName(), r->columnName(), marks.join(',')));
            for (qsizetype i = 0; i < n; ++i)
                q.bind(static_cast<int>(i + 1), targetPks[from + i]);
            while (q.step())
                rows.push_back(readRow(e, q));
        }
        db_->exec(QStringLiteral("RELEASE fetch_related"));
    } catch (const sqlite::Error& error) {
        execIgnoringErrors(*db_, QStringLiteral("ROLLBACK TO fetch_related; RELEASE fetch_related"));
        fail(error);
    }
    return rows;
}

qint64 SqliteStore::count(const EntityDescription& e, const QList<FetchCondition>& conditions) {
    QVariantList bindings;
    const QString sql =
        QStringLiteral("SELECT COUNT(*) FROM %1").arg(e.tableName()) + whereClause(e, conditions, bindings);
    try {
        sqlite::Query q = db_->prepare(sql);
        for (int i = 0; i < bindings.size(); ++i)
            q.bind(i + 1, bindings[i]);
        q.step();
        return q.integer(0);
    } catch (const sqlite::Error& error) {
        fail(error);
    }
}

qint64 SqliteStore::insert(const EntityDescription& e, const QVariantHash& values,
                           const QHash<QString, qint64>& toOne) {
    QStringList columns = {QStringLiteral("Z_OPT")};
    QStringList marks = {QStringLiteral("1")};
    QVariantList bindings;
    for (const auto& a : e.attributes) {
        columns.append(a.columnName());
        marks.append(QStringLiteral("?"));
        QVariant v = toColumn(a.type, values.value(a.name));
        if (!v.isValid() && a.defaultValue.isValid())
            v = toColumn(a.type, a.defaultValue);
        bindings.append(v);
    }
    for (const auto& r : e.relationships) {
        if (r.toMany)
            continue;
        columns.append(r.columnName());
        marks.append(QStringLiteral("?"));
        const qint64 target = toOne.value(r.name);
        bindings.append(target > 0 ? QVariant(target) : QVariant());
    }
    try {
        sqlite::Query q =
            db_->prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                             .arg(e.tableName(), columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))));
        for (int i = 0; i < bindings.size(); ++i)
            q.bind(i + 1, bindings[i]);
        q.step();
        return db_->lastInsertRowId();
    } catch (const sqlite::Error& error) {
        fail(error);
    }
}

bool SqliteStore::update(const EntityDescription& e, qint64 pk, qint64 version, const QVariantHash& values,
                         const QHash<QString, qint64>& toOne) {
    QStringList sets = {QStringLiteral("Z_OPT = Z_OPT + 1")};
    QVariantList bindings;
    for (const auto& a : e.attributes) {
        sets.append(a.columnName() + QStringLiteral(" = ?"));
        QVariant v = toColumn(a.type, values.value(a.name));
        if (!v.isValid() && a.defaultValue.isValid() && !a.optional)
            v = toColumn(a.type, a.defaultValue);
        bindings.append(v);
    }
    for (const auto& r : e.relationships) {
        if (r.toMany)
            continue;
        sets.append(r.columnName() + QStringLiteral(" = ?"));
        const qint64 target = toOne.value(r.name);
        bindings.append(target > 0 ? QVariant(target) : QVariant());
    }
    try {
        sqlite::Query q = db_->prepare(QStringLiteral("UPDATE %1 SET %2 WHERE Z_PK = ? AND Z_OPT = ?")
                                           .arg(e.tableName(), sets.join(QStringLiteral(", "))));
        int i = 1;
        for (const QVariant& b : bindings)
            q.bind(i++, b);
        q.bind(i++, pk);
        q.bind(i++, version);
        q.step();
        return db_->changes() == 1;
    } catch (const sqlite::Error& error) {
        fail(error);
    }
}

bool SqliteStore::remove(const EntityDescription& e, qint64 pk, qint64 version) {
    try {
        sqlite::Query q =
            db_->prepare(QStringLiteral("DELETE FROM %1 WHERE Z_PK = ? AND Z_OPT = ?").arg(e.tableName()));
        q.bind(1, pk).bind(2, version);
        q.step();
        return db_->changes() == 1;
    } catch (const sqlite::Error& error) {
        fail(error);
    }
}

void SqliteStore::removeRelated(const EntityDescription& e, const QString& toOne, qint64 targetPk) {
    const RelationshipDescription* r = e.relationship(toOne);
    if (!r || r->toMany)
        return;
    try {
        sqlite::Query q =
            db_->prepare(QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(e.tableName(), r->columnName()));
        q.bind(1, targetPk);
        q.step();
    } catch (const sqlite::Error& error) {
        fail(error);
    }
}

void SqliteStore::begin() {
    if (damage_)
        throw StoreError(StoreError::kCocoaDomain, StoreError::kFileReadCorruptFile,
                         damagedStoreMessage(location_, *damage_));
    if (readOnly_)
        throw StoreError(
            StoreError::kCocoaDomain, StoreError::kFileReadUnknown,
            QStringLiteral("The preset store %1 is read-only here, so nothing is written to it.").arg(location_));
    try {
        if (depth_ == 0)
            db_->exec(QStringLiteral("BEGIN IMMEDIATE"));
        else
            db_->exec(QStringLiteral("SAVEPOINT s%1").arg(depth_));
        ++depth_;
    } catch (const sqlite::Error& error) {
        fail(error);
    }
}

void SqliteStore::commit() {
    if (depth_ == 0)
        return;
    try {
        if (depth_ == 1)
            db_->exec(QStringLiteral("COMMIT"));
        else
            db_->exec(QStringLiteral("RELEASE s%1").arg(depth_ - 1));
        --depth_;
    } catch (const sqlite::Error& error) {
        fail(error);
    }
}

void SqliteStore::rollback() {
    if (depth_ == 0)
        return;
    --depth_;
    execIgnoringErrors(*db_, depth_ == 0 ? QStringLiteral("ROLLBACK")
                                         : QStringLiteral("ROLLBACK TO s%1; RELEASE s%1").arg(depth_));
}

void SqliteStore::fail(const sqlite::Error& error) const {
    throw StoreError(StoreError::kSQLiteDomain, error.code(), error.message());
}

} // namespace pierline
