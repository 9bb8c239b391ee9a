#include "platform/InstanceChannel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pierline {
namespace {

const QString kFolderPrefix = QStringLiteral("pierline-");
const QString kSocketName = QStringLiteral("socket");

QString reason() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString env(const char* name) {
    // One variable, not a copy of the whole environment.
    return qEnvironmentVariable(name);
}

std::variant<struct stat, QString> statOf(const QString& folder) {
    struct stat info {};
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0)
        return QStringLiteral("cannot read %1: %2").arg(folder, reason());
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("%1 is not a folder").arg(folder);
    return info;
}

// A folder only this user may enter: ours, and no rights for the group or others.
std::optional<QString> privateFolderProblem(const QString& folder) {
    const auto info = statOf(folder);
    if (const auto* problem = std::get_if<QString>(&info))
        return *problem;
    const struct stat& found = std::get<struct stat>(info);
    if (found.st_uid != ::getuid())
        return QStringLiteral("%1 belongs to another user").arg(folder);
    if ((found.st_mode & 0077) != 0)
        return QStringLiteral("%1 is open to other users (mode %2); it must be 0700")
            .arg(folder, QString::number(found.st_mode & 0777, 8));
    return std::nullopt;
}

// The base folder and why it cannot hold the app's folder.
std::pair<QString, std::optional<QString>> baseFolder() {
    const QString runtime = env("XDG_RUNTIME_DIR");
    // A runtime folder that is named but missing (a session that ended) leaves the temporary one.
    if (!runtime.isEmpty() && QFileInfo::exists(runtime)) {
        const QString folder = QDir::cleanPath(runtime);
        if (const auto problem = privateFolderProblem(folder))
            return {folder, QStringLiteral("the runtime folder (XDG_RUNTIME_DIR) %1").arg(*problem)};
        return {folder, std::nullopt};
    }
    QString tmp = env("TMPDIR");
    const QString folder = QDir::cleanPath(tmp.isEmpty() ? QDir::tempPath() : tmp);
    const auto info = statOf(folder);
    if (const auto* problem = std::get_if<QString>(&info))
        return {folder, QStringLiteral("the temporary folder %1").arg(*problem)};
    const struct stat& found = std::get<struct stat>(info);
    // Others may write here: only the sticky bit keeps them from renaming our folder away.
    const bool othersWrite = (found.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    if (othersWrite && (found.st_mode & S_ISVTX) == 0)
        return {
            folder,
            QStringLiteral("the temporary folder %1 is writable by other users without the sticky bit").arg(folder)};
    if (!othersWrite && found.st_uid != ::getuid() && found.st_uid != 0)
        return {folder, QStringLiteral("the temporary folder %1 belongs to another user").arg(folder)};
    return {folder, std::nullopt};
}

} // namespace

std::optional<QString> instanceBaseProblem() {
    return baseFolder().second;
}

std::variant<InstanceAddress, QString> makeInstanceAddress() {
    const auto [base, problem] = baseFolder();
    if (problem)
        return *problem;
    QByteArray pattern = QFile::encodeName(QDir(base).filePath(kFolderPrefix + QStringLiteral("XXXXXX")));
    if (!::mkdtemp(pattern.data()))
        return QStringLiteral("cannot make a private folder in %1: %2").arg(base, reason());
    const QString folder = QFile::decodeName(pattern);
    if (const auto unsafe = privateFolderProblem(folder)) {
        ::rmdir(pattern.constData());
        return *unsafe;
    }
    return InstanceAddress{folder, QDir(folder).filePath(kSocketName)};
}

void removeInstanceAddress(const QString& socketPath) {
    const QFileInfo socket(socketPath);
    const QString folder = socket.absolutePath();
    if (socket.fileName() != kSocketName || !QFileInfo(folder).fileName().startsWith(kFolderPrefix) ||
        privateFolderProblem(folder))
        return;
    ::unlink(QFile::encodeName(socketPath).constData());
    ::rmdir(QFile::encodeName(folder).constData());
}

std::optional<QString> socketFolderProblem(const QString& socketPath) {
    if (!QDir::isAbsolutePath(socketPath))
        return QStringLiteral("the recorded socket %1 is not an absolute path").arg(socketPath);
    if (const auto problem = privateFolderProblem(QFileInfo(socketPath).absolutePath()))
        return QStringLiteral("the app's socket folder %1").arg(*problem);
    return std::nullopt;
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
