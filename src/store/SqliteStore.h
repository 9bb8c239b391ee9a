#pragma once

#include "store/FetchRequest.h"
#include "store/Sqlite.h"
#include "store/StoreModel.h"

#include <QHash>
#include <QString>
#include <QVariantHash>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace pierline {

// One row as the store keeps it: the primary key, the optimistic-locking counter, the
// attribute values (absent when NULL) and the primary keys of to-one targets (0 for none).
struct StoredRow {
    qint64 pk = 0;
    qint64 version = 0;
    QVariantHash values;
    QHash<QString, qint64> toOne;
    bool complete = true; // false: only pk and version were read
};

// Asked per row before its values are read: false skips them (the caller has them already).
using RowFilter = std::function<bool(qint64 pk, qint64 version)>;

// The persistent store: one SQLite file (or an in-memory database) holding the tables of one
// model version, plus a metadata table with the store's identifier and model version hash.
// Every call throws StoreError.
class SqliteStore {
public:
    static inline const QString kInMemoryLocation = QStringLiteral("/dev/null");

    // Opens the store at `location` for the last model of `history`, making the schema in an
    // empty file and migrating a store of an earlier version of `history` in place. Fails with
    // kIncompatibleVersionHash for a store of an unknown model, kMigration when the migration
    // fails, kFileReadUnknown / kFileReadCorruptFile when the file cannot be opened or read.
    static std::unique_ptr<SqliteStore> load(const QString& location, const QList<ModelVersion>& history);

    const ModelVersion& model() const { return model_; }
    const QString& identifier() const { return identifier_; }
    const QString& location() const { return location_; }
    // What the integrity check found at open in a store file; none when it is sound. A damaged
    // store is read as far as it can be, and every write to it is refused.
    const std::optional<QString>& damage() const { return damage_; }
    // The refusal of a write into a damaged store: it names the file and the way out.
    static QString damagedStoreMessage(const QString& location, const QString& damage);
    // Opened for reading only, because its file or folder may not be written here.
    bool readOnly() const { return readOnly_; }

    std::vector<StoredRow> fetch(const EntityDescription& entity, const QList<FetchCondition>& conditions,
                                 const QList<SortDescriptor>& sort, int limit, const RowFilter& wantValues = {});
    std::optional<StoredRow> fetchRow(const EntityDescription& entity, qint64 pk);
    // The rows whose to-one `toOne` points at any of `targetPks`, in row order, in one read.
    std::vector<StoredRow> fetchRelated(const EntityDescription& entity, const QString& toOne,
                                        const QList<qint64>& targetPks);
    qint64 count(const EntityDescription& entity, const QList<FetchCondition>& conditions);

    qint64 insert(const EntityDescription& entity, const QVariantHash& values, const QHash<QString, qint64>& toOne);
    // False when the row is gone or another writer changed it since `version`.
    bool update(const EntityDescription& entity, qint64 pk, qint64 version, const QVariantHash& values,
                const QHash<QString, qint64>& toOne);
    bool remove(const EntityDescription& entity, qint64 pk, qint64 version);
    void removeRelated(const EntityDescription& entity, const QString& toOne, qint64 targetPk);

    // Write transactions; nested calls use savepoints. begin() takes the write lock at once,
    // waiting for another process up to the busy timeout.
    void begin();
    void commit();
    void rollback();
    int transactionDepth() const { return depth_; }

    // Value conversion between the objects' values and the columns.
    static QVariant toColumn(AttributeType type, const QVariant& value);
    static QVariant fromColumn(AttributeType type, const sqlite::Query& query, int column);

    static constexpr int kBusyTimeoutMs = 15000;

private:
    SqliteStore(std::unique_ptr<sqlite::Database> db, ModelVersion model, QString location);
    void open(const QList<ModelVersion>& history);
    void openForReading();
    static bool isReadOnlyHere(const QString& location);
    void createSchema();
    void createIndexes();
    void migrate(const QList<ModelVersion>& history, qsizetype fromIndex);
    void writeMetadata(const QString& key, const QString& value);
    std::optional<QString> readMetadata(const QString& key);
    QString selectList(const EntityDescription& entity) const;
    StoredRow readRow(const EntityDescription& entity, const sqlite::Query& query) const;
    QString whereClause(const EntityDescription& entity, const QList<FetchCondition>& conditions,
                        QVariantList& bindings) const;
    [[noreturn]] void fail(const sqlite::Error& error) const;
    std::optional<QString> checkIntegrity();

    std::unique_ptr<sqlite::Database> db_;
    ModelVersion model_;
    QString location_;
    QString identifier_;
    std::optional<QString> damage_;
    bool readOnly_ = false;
    int depth_ = 0;
};

} // namespace pierline
