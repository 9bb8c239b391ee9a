#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace pierline {

// A domain that could not be read or written; the message names the file and the reason.
class UserDefaultsError : public std::runtime_error {
public:
    explicit UserDefaultsError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};

// One preferences domain: a plist file under Library/Preferences. Every write is synchronous and
// atomic; every read sees another process's write. Getters read a file that cannot be read as an
// empty domain (readError() tells why); writers refuse it rather than replace what they could
// not read.
class UserDefaults {
public:
    explicit UserDefaults(QString domain);

    // The program's own domain "com.corvane.pierline".
    static UserDefaults& standard();

    const QString& domain() const { return domain_; }
    QString filePath() const;

    bool contains(const QString& key) const;
    std::optional<QVariant> object(const QString& key) const;

    // Plain getters: absent or of another type gives false / 0 / 0.0.
    bool boolForKey(const QString& key) const;
    qint64 integerForKey(const QString& key) const;
    double doubleForKey(const QString& key) const;

    // Typed getters: nullopt when absent or of another type.
    std::optional<bool> boolValue(const QString& key) const;
    std::optional<double> doubleValue(const QString& key) const;
    std::optional<QString> string(const QString& key) const;
    std::optional<QStringList> stringArray(const QString& key) const;
    std::optional<QVariantList> array(const QString& key) const;
    std::optional<QVariantMap> dictionary(const QString& key) const;
    std::optional<QByteArray> data(const QString& key) const;

    // Why the domain's file cannot be read (it exists but is unreadable, not a property list or
    // not a dictionary); nullopt when it is readable or absent.
    std::optional<QString> readError() const;

    // Throw UserDefaultsError, with nothing written, when the existing file cannot be read or
    // the new one cannot be written.
    void set(const QString& key, const QVariant& value);
    void remove(const QString& key);
    QVariantMap dictionaryRepresentation() const;

    // Read-modify-write of the whole domain under its cross-process lock; `change` returns false
    // to leave the file alone. False with `error` (nothing written) under the same conditions
    // under which set() throws.
    bool update(const std::function<bool(QVariantMap&)>& change, QString* error = nullptr);

    // The sidecar file whose flock serialises writers of `plistPath` across processes.
    static QString lockFilePath(const QString& plistPath);

private:
    QVariantMap load() const;
    std::optional<QVariantMap> read(QString* error) const;
    bool store(const QVariantMap& values, QString* error);

    QString domain_;
    mutable std::recursive_mutex mutex_;
};

} // namespace pierline
