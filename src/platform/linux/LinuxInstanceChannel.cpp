#include "platform/InstanceChannel.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pierline {
namespace {

QString reason() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Makes `folder` (0700) or checks the one that is there: ours, a real folder, no wider mode.
std::optional<QString> privateFolderProblem(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("cannot make %1: %2").arg(folder, reason());
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0)
        return QStringLiteral("cannot read %1: %2").arg(folder, reason());
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("%1 is not a folder").arg(folder);
    if (info.st_uid != ::getuid())
        return QStringLiteral("%1 belongs to another user").arg(folder);
    if ((info.st_mode & 0077) != 0)
        return QStringLiteral("%1 is open to other users (mode %2); it must be 0700")
            .arg(folder, QString::number(info.st_mode & 0777, 8));
    return std::nullopt;
}

} // namespace

std::variant<InstanceAddress, QString> instanceAddress(const QString& home) {
    const QString realHome =
        QFileInfo(home).canonicalFilePath().isEmpty() ? QDir::cleanPath(home) : QFileInfo(home).canonicalFilePath();
    const QString hash = QString::fromLatin1(
        QCryptographicHash::hash(QFile::encodeName(realHome), QCryptographicHash::Sha256).toHex().left(12));
    const QString runtime = QProcessEnvironment::systemEnvironment().value(QStringLiteral("XDG_RUNTIME_DIR"));
    QString folder;
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) {
        folder = QDir::cleanPath(runtime);
    } else {
        QString tmp = QProcessEnvironment::systemEnvironment().value(QStringLiteral("TMPDIR"));
        if (tmp.isEmpty())
            tmp = QDir::tempPath();
        folder = QDir(tmp).filePath(QStringLiteral("pierline-%1").arg(::getuid()));
        if (const auto problem = privateFolderProblem(folder))
            return *problem;
    }
    const QString base = QDir(folder).filePath(QStringLiteral("pierline-") + hash);
    return InstanceAddress{folder, base, base + QStringLiteral(".lock")};
}

unsigned currentUserId() {
    return ::getuid();
}

std::optional<unsigned> peerUserId(qintptr socketDescriptor) {
    ucred credentials{};
    socklen_t size = sizeof(credentials);
    if (::getsockopt(static_cast<int>(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return std::nullopt;
    return credentials.uid;
}

} // namespace pierline
