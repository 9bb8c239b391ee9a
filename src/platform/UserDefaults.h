#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <mutex>
#include <optional>

namespace pierline {

// One preferences domain: a plist file under Library/Preferences. Every write is synchronous and
// atomic; every read sees another process's write.
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

    void set(const QString& key, const QVariant& value);
    void remove(const QString& key);
    QVariantMap dictionaryRepresentation() const;

private:
    QVariantMap load() const;
    void store(const QVariantMap& values);

    QString domain_;
    mutable std::recursive_mutex mutex_;
};

} // namespace pierline
