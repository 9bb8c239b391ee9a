#include "UserDefaults.h"

#include "Plist.h"
#include "SystemPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace pierline {
namespace {

// An exclusive flock on the domain's sidecar lock file for one read-modify-write. Readers need
// no lock: the plist itself is only ever replaced by a rename.
class DomainLock {
public:
    explicit DomainLock(const QString& plistPath) {
        const QString lockPath = UserDefaults::lockFilePath(plistPath);
        QDir().mkpath(QFileInfo(lockPath).absolutePath());
        fd_ = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0) {
            error_ = QStringLiteral("cannot open %1: %2").arg(lockPath, QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            error_ = QStringLiteral("cannot lock %1: %2").arg(lockPath, QString::fromLocal8Bit(std::strerror(errno)));
            ::close(fd_);
            fd_ = -1;
            return;
        }
    }
    ~DomainLock() {
        if (fd_ >= 0) ::close(fd_); // closing releases the lock
    }
    DomainLock(const DomainLock&) = delete;
    DomainLock& operator=(const DomainLock&) = delete;

    bool held() const { return fd_ >= 0; }
    const QString& error() const { return error_; }

private:
    int fd_ = -1;
    QString error_;
};

} // namespace

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

QString UserDefaults::lockFilePath(const QString& plistPath) { return plistPath + QStringLiteral(".lock"); }

bool UserDefaults::store(const QVariantMap& values, QString* error) {
    const QString path = filePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QString xmlError;
    const auto xml = plistToXml(values, &xmlError);
    if (!xml) {
        if (error) *error = xmlError;
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*xml) != xml->size() || !file.commit()) {
        if (error) *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool UserDefaults::modify(const std::function<bool(QVariantMap&)>& change, bool strict, QString* error) {
    std::lock_guard lock(mutex_);
    const DomainLock fileLock(filePath());
    if (!fileLock.held()) {
        if (error) *error = fileLock.error();
        return false;
    }
    QVariantMap values;
    if (strict) {
        QFile file(filePath());
        if (file.exists()) {
            if (!file.open(QIODevice::ReadOnly)) {
                if (error) *error = QStringLiteral("cannot read %1: %2").arg(filePath(), file.errorString());
                return false;
            }
            const PlistParseResult parsed = parsePlist(file.readAll());
            if (!parsed.value) {
                if (error) *error = QStringLiteral("%1 is not a property list: %2").arg(filePath(), parsed.error);
                return false;
            }
            if (parsed.value->typeId() != QMetaType::QVariantMap) {
                if (error) *error = QStringLiteral("%1 does not hold a dictionary").arg(filePath());
                return false;
            }
            values = parsed.value->toMap();
        }
    } else {
        values = load();
    }
    if (!change(values)) return true;
    return store(values, error);
}

bool UserDefaults::update(const std::function<bool(QVariantMap&)>& change, QString* error) {
    return modify(change, true, error);
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
    QVariant stored = value;
    if (stored.typeId() == QMetaType::QStringList) stored = QVariant(stored.toList());
    if (stored.typeId() == QMetaType::Int) stored = QVariant(static_cast<qint64>(stored.toInt()));
    modify(
        [&](QVariantMap& values) {
            values.insert(key, stored);
            return true;
        },
        false, nullptr);
}

void UserDefaults::remove(const QString& key) {
    modify([&](QVariantMap& values) { return values.remove(key) > 0; }, false, nullptr);
}

QVariantMap UserDefaults::dictionaryRepresentation() const {
    std::lock_guard lock(mutex_);
    return load();
}

} // namespace pierline
