#include "UserDefaults.h"

#include "AtomicFile.h"
#include "FileLock.h"
#include "Plist.h"
#include "SystemPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace pierline {

UserDefaults::UserDefaults(QString domain) : domain_(std::move(domain)) {}

UserDefaults& UserDefaults::standard() {
    static UserDefaults defaults(SystemPaths::ownBundleIdentifier());
    return defaults;
}

QString UserDefaults::filePath() const {
    return SystemPaths::preferencesFile(domain_);
}

// Read on every access: the file is small, and another process (a command-line call, the
// emulated defaults tool) may have replaced it since. An absent file is an empty domain.
std::optional<QVariantMap> UserDefaults::read(QString* error) const {
    const QString path = filePath();
    QFile file(path);
    if (!file.exists())
        return QVariantMap();
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const PlistParseResult parsed = parsePlist(file.readAll());
    if (!parsed.value) {
        *error = QStringLiteral("%1 is not a property list: %2").arg(path, parsed.error);
        return std::nullopt;
    }
    if (parsed.value->typeId() != QMetaType::QVariantMap) {
        *error = QStringLiteral("%1 does not hold a dictionary").arg(path);
        return std::nullopt;
    }
    return parsed.value->toMap();
}

QVariantMap UserDefaults::load() const {
    QString error;
    return read(&error).value_or(QVariantMap());
}

std::optional<QString> UserDefaults::readError() const {
    std::lock_guard lock(mutex_);
    QString error;
    if (read(&error))
        return std::nullopt;
    return error;
}

QString UserDefaults::lockFilePath(const QString& plistPath) {
    return plistPath + QStringLiteral(".lock");
}

bool UserDefaults::store(const QVariantMap& values, QString* error) {
    const QString path = filePath();
    QString xmlError;
    const auto xml = plistToXml(values, &xmlError);
    if (!xml) {
        *error = QStringLiteral("Could not write %1: %2").arg(path, xmlError);
        return false;
    }
    if (auto failed = replaceFileAtomically(path, *xml)) {
        *error = *failed;
        return false;
    }
    return true;
}

bool UserDefaults::update(const std::function<bool(QVariantMap&)>& change, QString* error) {
    QString reason;
    std::lock_guard lock(mutex_);
    const FileLock fileLock(lockFilePath(filePath()));
    bool done = false;
    if (!fileLock.held()) {
        reason = fileLock.error();
    } else if (auto values = read(&reason)) {
        done = !change(*values) || store(*values, &reason);
    }
    if (!done && error)
        *error = reason;
    return done;
}

bool UserDefaults::contains(const QString& key) const {
    std::lock_guard lock(mutex_);
    return load().contains(key);
}

std::optional<QVariant> UserDefaults::object(const QString& key) const {
    std::lock_guard lock(mutex_);
    const QVariantMap values = load();
    auto it = values.constFind(key);
    if (it == values.cend())
        return std::nullopt;
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
    if (!v)
        return false;
    if (v->typeId() == QMetaType::Bool)
        return v->toBool();
    if (isNumber(*v))
        return v->toDouble() != 0.0;
    if (v->typeId() == QMetaType::QString) {
        const QString s = v->toString().trimmed().toLower();
        return s == QLatin1String("yes") || s == QLatin1String("true") || s.toInt() != 0;
    }
    return false;
}

qint64 UserDefaults::integerForKey(const QString& key) const {
    const auto v = object(key);
    if (!v)
        return 0;
    if (v->typeId() == QMetaType::Bool)
        return v->toBool() ? 1 : 0;
    if (isNumber(*v))
        return static_cast<qint64>(v->toDouble());
    if (v->typeId() == QMetaType::QString)
        return v->toString().trimmed().toLongLong();
    return 0;
}

double UserDefaults::doubleForKey(const QString& key) const {
    const auto v = object(key);
    if (!v)
        return 0.0;
    if (v->typeId() == QMetaType::Bool)
        return v->toBool() ? 1.0 : 0.0;
    if (isNumber(*v))
        return v->toDouble();
    if (v->typeId() == QMetaType::QString)
        return v->toString().trimmed().toDouble();
    return 0.0;
}

std::optional<bool> UserDefaults::boolValue(const QString& key) const {
    const auto v = object(key);
    if (!v)
        return std::nullopt;
    if (v->typeId() == QMetaType::Bool)
        return v->toBool();
    if (isNumber(*v))
        return v->toDouble() != 0.0; // a stored 0/1 is an NSNumber that reads as Bool
    return std::nullopt;
}

std::optional<double> UserDefaults::doubleValue(const QString& key) const {
    const auto v = object(key);
    if (!v || !isNumber(*v))
        return std::nullopt;
    return v->toDouble();
}

std::optional<QString> UserDefaults::string(const QString& key) const {
    const auto v = object(key);
    if (!v || v->typeId() != QMetaType::QString)
        return std::nullopt;
    return v->toString();
}

std::optional<QVariantList> UserDefaults::array(const QString& key) const {
    const auto v = object(key);
    if (!v || v->typeId() != QMetaType::QVariantList)
        return std::nullopt;
    return v->toList();
}

std::optional<QStringList> UserDefaults::stringArray(const QString& key) const {
    const auto list = array(key);
    if (!list)
        return std::nullopt;
    QStringList out;
    for (const QVariant& item : *list) {
        if (item.typeId() != QMetaType::QString)
            return std::nullopt;
        out.append(item.toString());
    }
    return out;
}

std::optional<QVariantMap> UserDefaults::dictionary(const QString& key) const {
    const auto v = object(key);
    if (!v || v->typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return v->toMap();
}

std::optional<QByteArray> UserDefaults::data(const QString& key) const {
    const auto v = object(key);
    if (!v || v->typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return v->toByteArray();
}

void UserDefaults::set(const QString& key, const QVariant& value) {
    QVariant stored = value;
    if (stored.typeId() == QMetaType::QStringList)
        stored = QVariant(stored.toList());
    if (stored.typeId() == QMetaType::Int)
        stored = QVariant(static_cast<qint64>(stored.toInt()));
    QString error;
    const bool done = update(
        [&](QVariantMap& values) {
            values.insert(key, stored);
            return true;
        },
        &error);
    if (!done)
        throw UserDefaultsError(error);
}

void UserDefaults::remove(const QString& key) {
    QString error;
    if (!update([&](QVariantMap& values) { return values.remove(key) > 0; }, &error))
        throw UserDefaultsError(error);
}

QVariantMap UserDefaults::dictionaryRepresentation() const {
    std::lock_guard lock(mutex_);
    return load();
}

} // namespace pierline
