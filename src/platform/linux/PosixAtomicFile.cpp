#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pierline {
namespace {

QString failure(const QString& path, int error) {
    return QStringLiteral("Could not write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

mode_t modeOf(QFileDevice::Permissions permissions) {
    mode_t mode = 0;
    const struct {
        QFileDevice::Permission permission;
        mode_t bit;
    } bits[] = {
        {QFileDevice::ReadOwner, S_IRUSR}, {QFileDevice::WriteOwner, S_IWUSR}, {QFileDevice::ExeOwner, S_IXUSR},
        {QFileDevice::ReadGroup, S_IRGRP}, {QFileDevice::WriteGroup, S_IWGRP}, {QFileDevice::ExeGroup, S_IXGRP},
        {QFileDevice::ReadOther, S_IROTH}, {QFileDevice::WriteOther, S_IWOTH}, {QFileDevice::ExeOther, S_IXOTH}};
    for (const auto& entry : bits) {
        if (permissions.testFlag(entry.permission))
            mode |= entry.bit;
    }
    return mode;
}

// Opens a new file with a random name in `folder`; -1 with errno set when none could be made.
int createTemporary(const QString& folder, const QString& name, mode_t mode, QString* temporaryPath) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        *temporaryPath = QDir(folder).filePath(
            QStringLiteral(".%1.%2.tmp").arg(name).arg(QRandomGenerator::system()->generate64(), 16, 16, QChar('0')));
        const int fd =
            ::open(QFile::encodeName(*temporaryPath).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

int writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (written == 0)
            return EIO;
        data += written;
        left -= written;
    }
    return 0;
}

// Syncs the folder so the rename itself survives a crash. Some file systems cannot sync a folder
// (EINVAL); the file is in place there all the same.
int syncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int result = ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    ::close(fd);
    return result;
}

} // namespace

std::optional<QString> replaceFileAtomically(const QString& path, const QByteArray& bytes,
                                             std::optional<QFileDevice::Permissions> permissions) {
    const QFileInfo given(path);
    const QString target = given.isSymLink() && given.exists() ? given.canonicalFilePath() : given.absoluteFilePath();
    const QByteArray targetName = QFile::encodeName(target);
    const QFileInfo info(target);

    // A new file is created as open() would make it (the umask applies); a mode we know is set
    // on the temporary file before any byte is in it.
    std::optional<mode_t> mode;
    struct stat existing {};
    if (permissions)
        mode = modeOf(*permissions);
    else if (::stat(targetName.constData(), &existing) == 0)
        mode = existing.st_mode & 07777;
    else if (errno != ENOENT)
        return failure(path, errno);

    QString temporary;
    const int fd = createTemporary(info.absolutePath(), info.fileName(), mode ? 0600 : 0666, &temporary);
    if (fd < 0)
        return failure(path, errno);
    const QByteArray temporaryName = QFile::encodeName(temporary);
    int error = !mode || ::fchmod(fd, *mode) == 0 ? 0 : errno;
    if (!error)
        error = writeAll(fd, bytes);
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::rename(temporaryName.constData(), targetName.constData()) != 0)
        error = errno;
    if (error) {
        ::unlink(temporaryName.constData());
        return failure(path, error);
    }
    if (const int folderError = syncFolder(info.absolutePath()))
        return failure(path, folderError);
    return std::nullopt;
}

} // namespace pierline
