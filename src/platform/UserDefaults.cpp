#include "UserDefaults.h"

#include "Plist.h"
#include "SystemPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace pierline {

UserDefaults::UserDefaults(QString domain) : domain_(std::move(domain)) {}

UserDefaults& UserDefaults::standard() {
    static UserDefaults defaults(SystemPaths::ownBundleIdentifier());
    return defaults;
}

QString UserDefaults::filePath() const { return SystemPaths::preferencesFile(domain_); }

// Read on every access: the file is small, and another process (a command-line call, the
// emulated defaults tool) may have replaced it since.
QVariantMap UserDefaults::load() const {
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    const PlistParseResult parsed = parsePlist(file.readAll());
    if (!parsed.value || parsed.value->typeId() != QMetaType::QVariantMap) return {};
    return parsed.value->toMap();
}

void UserDefaults::store(const QVariantMap& values) {
    const QString path = filePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    const auto xml = plistToXml(values);
    if (!xml) return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(*xml);
    file.commit();
}

bool UserDefaults::contains(const QString& key) const {
    std::lock_guard lock(mutex_);
    return load().contains(key);
}

std::optional<QVariant> UserDefaults::object(const QString& key) const {
    std::lock_guard lock(mutex_);
    const QVariantMap values = load();
    auto it = values.constFind(key);
    if (it == values.cend()) return std::nullopt;
    return *it;
}

namespace {
bool isNumber(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}
} // namespace

bool UserDefaults::boolForKey(const QString& key) const {
    const auto v = object(key);
    if (!v) return false;
    if (v->typeId() == QMetaType::Bool) return v->toBool();
    if (isNumber(*v)) return v->toDouble() != 0.0;
    if (v->typeId() == QMetaType::QString) {
        const QString s = v->toString().trimmed().toLower();
        return s == QLatin1String("yes") || s == QLatin1String("true") || s.toInt() != 0;
    }
    return false;
}

qint64 UserDefaults::integerForKey(const QString& key) const {
    const auto v = object(key);
    if (!v) return 0;
    if (v->typeId() == QMetaType::Bool) return v->toBool() ? 1 : 0;
    if (isNumber(*v)) return static_cast<qint64>(v->toDouble());
    if (v->typeId() == QMetaType::QString) return v->toString().trimmed().toLongLong();
    return 0;
}

double UserDefaults::doubleForKey(const QString& key) const {
    const auto v = object(key);
    if (!v) return 0.0;
    if (v->typeId() == QMetaType::Bool) return v->toBool() ? 1.0 : 0.0;
    if (isNumber(*v)) return v->toDouble();
    if (v->typeId() == QMetaType::QString) return v->toString().trimmed().toDouble();
    return 0.0;
}

std::optional<bool> UserDefaults::boolValue(const QString& key) const {
    const auto v = object(key);
    if (!v) return std::nullopt;
    if (v->typeId() == QMetaType::Bool) return v->toBool();
    if (isNumber(*v)) return v->toDouble() != 0.0; // a stored 0/1 is an NSNumber that reads as Bool
    return std::nullopt;
}

std::optional<double> UserDefaults::doubleValue(const QString& key) const {
    const auto v = object(key);
    if (!v || !isNumber(*v)) return std::nullopt;
    return v->toDouble();
}

std::optional<QString> UserDefaults::string(const QString& key) const {
    const auto v = object(key);
    if (!v || v->typeId() != QMetaType::QString) return std::nullopt;
    return v->toString();
}

std::optional<QVariantList> UserDefaults::array(const QString& key) const {
    const auto v = object(key);
    if (!v || v->typeId() != QMetaType::QVariantList) return std::nullopt;
    return v->toList();
}

std::optional<QStringList> UserDefaults::stringArray(const QString& key) const {
    const auto list = array(key);
    if (!list) return std::nullopt;
    QStringList out;
    for (const QVariant& item : *list) {
        if (item.typeId() != QMetaType::QString) return std::nullopt;
        out.append(item.toString());
    }
    return out;
}

std::optional<QVariantMap> UserDefaults::dictionary(const QString& key) const {
    const auto v = object(key);
    if (!v || v->typeId() != QMetaType::QVariantMap) return std::nullopt;
    return v->toMap();
}

std::optional<QByteArray> UserDefaults::data(const QString& key) const {
    const auto v = object(key);
    if (!v || v->typeId() != QMetaType::QByteArray) return std::nullopt;
    return v->toByteArray();
}

void UserDefaults::set(const QString& key, const QVariant& value) {
    std::lock_guard lock(mutex_);
    QVariantMap values = load();
    QVariant stored = value;
    if (stored.typeId() == QMetaType::QStringList) stored = QVariant(stored.toList());
    if (stored.typeId() == QMetaType::Int) stored = QVariant(static_cast<qint64>(stored.toInt()));
    values.insert(key, stored);
    store(values);
}

void UserDefaults::remove(const QString& key) {
    std::lock_guard lock(mutex_);
    QVariantMap values = load();
    if (values.remove(key) > 0) store(values);
}

QVariantMap UserDefaults::dictionaryRepresentation() const {
    std::lock_guard lock(mutex_);
    return load();
}

} // namespace pierline
