#include "Sqlite.h"

#include <QUrl>
#include <sqlite3.h>

namespace pierline::sqlite {

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

Statement& Statement::bind(int index, const QVariant& value) {
    int rc = SQLITE_OK;
    if (!value.isValid() || value.isNull()) {
        rc = sqlite3_bind_null(stmt_, index);
    } else {
        switch (value.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::Long:
            rc = sqlite3_bind_int64(stmt_, index, value.toLongLong());
            break;
        case QMetaType::Double:
            rc = sqlite3_bind_double(stmt_, index, value.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            rc = sqlite3_bind_blob64(stmt_, index, bytes.constData(), static_cast<sqlite3_uint64>(bytes.size()),
                                     SQLITE_TRANSIENT);
            break;
        }
        default: {
            const QByteArray text = value.toString().toUtf8();
            rc = sqlite3_bind_text64(stmt_, index, text.constData(), static_cast<sqlite3_uint64>(text.size()),
                                     SQLITE_TRANSIENT, SQLITE_UTF8);
        }
        }
    }
    if (rc != SQLITE_OK)
        db_.fail(rc);
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const int code = rc;
    sqlite3_reset(stmt_);
    db_.fail(code);
}

void Statement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

int Statement::columnCount() const {
    return sqlite3_column_count(stmt_);
}
bool Statement::isNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}
qint64 Statement::integer(int column) const {
    return sqlite3_column_int64(stmt_, column);
}
double Statement::real(int column) const {
    return sqlite3_column_double(stmt_, column);
}

QString Statement::text(int column) const {
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    const int size = sqlite3_column_bytes(stmt_, column);
    return data ? QString::fromUtf8(data, size) : QString();
}

QByteArray Statement::blob(int column) const {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
    const int size = sqlite3_column_bytes(stmt_, column);
    return data ? QByteArray(data, size) : QByteArray();
}

namespace {

sqlite3* openWith(const QByteArray& name, int flags) {
    sqlite3* handle = nullptr;
    const int rc = sqlite3_open_v2(name.constData(), &handle, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message =
            handle ? QString::fromUtf8(sqlite3_errmsg(handle)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close_v2(handle);
        throw Error(rc, message);
    }
    sqlite3_extended_result_codes(handle, 0);
    return handle;
}

} // namespace

std::unique_ptr<Database> Database::open(const QString& path) {
    return std::unique_ptr<Database>(
        new Database(openWith(path.toUtf8(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX)));
}

std::unique_ptr<Database> Database::openReadOnly(const QString& path) {
    // "immutable" needs no lock or shared-memory file beside the database, which a read-only
    // folder cannot hold.
    QUrl uri = QUrl::fromLocalFile(path);
    uri.setQuery(QStringLiteral("immutable=1"));
    return std::unique_ptr<Database>(
        new Database(openWith(uri.toEncoded(), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_FULLMUTEX)));
}

Database::~Database() {
    statements_.clear(); // finalize before closing
    sqlite3_close_v2(db_);
}

void Database::exec(const QString& sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const QString text = message ? QString::fromUtf8(message) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_free(message);
        throw Error(rc, text);
    }
}

Query Database::prepare(const QString& sql) {
    auto it = statements_.find(sql);
    if (it != statements_.end()) {
        it->second->reset();
        return Query(*it->second);
    }
    sqlite3_stmt* stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v3(db_, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_PREPARE_PERSISTENT,
                                      &stmt, nullptr);
    if (rc != SQLITE_OK)
        fail(rc);
    auto statement = std::unique_ptr<Statement>(new Statement(*this, stmt));
    Statement& ref = *statement;
    statements_.emplace(sql, std::move(statement));
    return Query(ref);
}

qint64 Database::lastInsertRowId() const {
    return sqlite3_last_insert_rowid(db_);
}
int Database::changes() const {
    return sqlite3_changes(db_);
}
void Database::setBusyTimeout(int milliseconds) {
    sqlite3_busy_timeout(db_, milliseconds);
}

bool Database::tableExists(const QString& name) {
    Query q = prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"));
    q.bind(1, name);
    return q.step();
}

void Database::fail(int code) const {
    const QString message = QString::fromUtf8(sqlite3_errmsg(db_));
    throw Error(code, message.isEmpty() ? QString::fromUtf8(sqlite3_errstr(code)) : message);
}

} // namespace pierline::sqlite
