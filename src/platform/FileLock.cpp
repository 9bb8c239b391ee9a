#include "FileLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace pierline {
namespace {

QString reason() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

FileLock::FileLock(const QString& path, Mode mode, const std::function<void()>& onWait) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        error_ = QStringLiteral("cannot make the folder of %1").arg(path);
        return;
    }
    // A link planted at the lock's path must not make us write into the file it names.
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) {
        error_ = QStringLiteral("cannot open %1: %2").arg(path, reason());
        return;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0)
        return;
    if (errno != EWOULDBLOCK) {
        error_ = QStringLiteral("cannot lock %1: %2").arg(path, reason());
    } else if (mode == Mode::Try) {
        heldElsewhere_ = true;
        error_ = QStringLiteral("%1 is locked by another process").arg(path);
    } else {
        if (onWait)
            onWait();
        int rc;
        do {
            rc = ::flock(fd_, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        if (rc == 0)
            return;
        error_ = QStringLiteral("cannot lock %1: %2").arg(path, reason());
    }
    ::close(fd_);
    fd_ = -1;
}

FileLock::~FileLock() {
    if (fd_ >= 0)
        ::close(fd_); // closing releases the lock
}

bool FileLock::writeContent(const QByteArray& content) {
    if (fd_ < 0 || ::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0)
        return false;
    qsizetype done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd_, content.constData() + done, static_cast<size_t>(content.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace pierline
