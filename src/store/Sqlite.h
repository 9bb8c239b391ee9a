#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <exception>
#include <memory>
#include <string>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace pierline::sqlite {

// A failed SQLite call: the primary result code and the connection's message.
class Error : public std::exception {
public:
    Error(int code, QString message) : code_(code), message_(std::move(message)), what_(message_.toStdString()) {}
    int code() const { return code_; }
    const QString& message() const { return message_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    int code_;
    QString message_;
    std::string what_;
};

class Database;
class Query;

// One prepared statement. Owned by its database's cache; reset on every acquire.
class Statement {
public:
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    // Binds by 1-based index: invalid QVariant is NULL; QString text; QByteArray blob;
    // bool/int/qint64 integer; double real.
    Statement& bind(int index, const QVariant& value);
    // True while there is a row to read.
    bool step();
    void reset();

    int columnCount() const;
    bool isNull(int column) const;
    qint64 integer(int column) const;
    double real(int column) const;
    QString text(int column) const;
    QByteArray blob(int column) const;

private:
    friend class Database;
    friend class Query;
    Statement(Database& db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
    Database& db_;
    sqlite3_stmt* stmt_;
};

// A statement in use: the only way to reach a cached statement.
class Query {
public:
    explicit Query(Statement& statement) : s_(&statement) {}
    Query(Query&& other) noexcept : s_(other.s_) { other.s_ = nullptr; }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    Query& operator=(Query&&) = delete;
    ~Query() {
        if (s_)
            s_->reset();
    }

    Query& bind(int index, const QVariant& value) {
        s_->bind(index, value);
        return *this;
    }
    bool step() { return s_->step(); }
    int columnCount() const { return s_->columnCount(); }
    bool isNull(int column) const { return s_->isNull(column); }
    qint64 integer(int column) const { return s_->integer(column); }
    double real(int column) const { return s_->real(column); }
    QString text(int column) const { return s_->text(column); }
    QByteArray blob(int column) const { return s_->blob(column); }

private:
    Statement* s_;
};

// One connection. All calls throw Error on failure.
class Database {
public:
    static constexpr const char* kInMemory = ":memory:";

    // Opens (creating when missing) the database file.
    static std::unique_ptr<Database> open(const QString& path);
    // Opens an existing file for reading only, on a disk or folder we may not write to: nothing
    // is created beside it, so a write-ahead log left behind is not read (see SqliteStore).
    static std::unique_ptr<Database> openReadOnly(const QString& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void exec(const QString& sql);
    // A cached prepared statement for `sql` with its bindings cleared; the handle resets it when
    // it goes away, so no read snapshot outlives its use.
    class Query prepare(const QString& sql);
    qint64 lastInsertRowId() const;
    int changes() const;
    void setBusyTimeout(int milliseconds);
    bool tableExists(const QString& name);

    [[noreturn]] void fail(int code) const;
    sqlite3* handle() const { return db_; }

private:
    explicit Database(sqlite3* db) : db_(db) {}
    sqlite3* db_;
    std::unordered_map<QString, std::unique_ptr<Statement>> statements_;
};

} // namespace pierline::sqlite
