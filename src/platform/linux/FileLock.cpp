#include "platform/FileLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pierline {
namespace {

QString reason() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Open-file-description locks: owned by the open file like flock (two opens in one process
// exclude each other), and, unlike flock, they can be tested without taking them.
struct flock wholeFile(short type) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    return range;
}

bool tryLock(int fd) {
    struct flock range = wholeFile(F_WRLCK);
    return ::fcntl(fd, F_OFD_SETLK, &range) == 0;
}

bool busy(int error) {
    return error == EAGAIN || error == EACCES;
}

bool writeAll(int fd, const QByteArray& content) {
    qsizetype done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.constData() + done, static_cast<size_t>(content.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

FileLock::FileLock(const QString& path, Mode mode, const std::function<void()>& onWait) : path_(path) {
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
    if (tryLock(fd_))
        return;
    if (!busy(errno)) {
        error_ = QStringLiteral("cannot lock %1: %2").arg(path, reason());
    } else if (mode == Mode::Try) {
        heldElsewhere_ = true;
        error_ = QStringLiteral("%1 is locked by another process").arg(path);
    } else {
        if (onWait)
            onWait();
        struct flock range = wholeFile(F_WRLCK);
        int rc;
        do {
            rc = ::fcntl(fd_, F_OFD_SETLKW, &range);
        } while (rc != 0 && errno == EINTR);
        if (rc == 0)
            return;
        error_ = QStringLiteral("cannot lock %1: %2").arg(path, reason());
    }
    ::close(fd_);
    fd_ = -1;
}

FileLock::~FileLock() {
    // Closing releases the locks.
    if (replacedFd_ >= 0)
        ::close(replacedFd_);
    if (fd_ >= 0)
        ::close(fd_);
}

bool FileLock::replaceContent(const QByteArray& content, QString* error) {
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (fd_ < 0)
        return fail(QStringLiteral("%1 is not locked").arg(path_));
    QByteArray pattern = QFile::encodeName(path_) + ".XXXXXX";
    const int next = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (next < 0)
        return fail(QStringLiteral("cannot make a file beside %1: %2").arg(path_, reason()));
    // Locked before it takes the path, so a caller that opens it then finds it held.
    const bool written = ::fchmod(next, 0600) == 0 && tryLock(next) && writeAll(next, content) && ::fsync(next) == 0 &&
                         ::rename(pattern.constData(), QFile::encodeName(path_).constData()) == 0;
    if (!written) {
        const QString why = reason();
        ::unlink(pattern.constData());
        ::close(next);
        return fail(QStringLiteral("cannot write %1: %2").arg(path_, why));
    }
    // The old file stays locked for whoever opened it before the rename.
    if (replacedFd_ >= 0)
        ::close(replacedFd_);
    replacedFd_ = fd_;
    fd_ = next;
    return true;
}

std::variant<QByteArray, QString> FileLock::readContent(const QString& path, qsizetype limit) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return QStringLiteral("cannot open %1: %2").arg(path, reason());
    QByteArray content(limit + 1, Qt::Uninitialized);
    qsizetype done = 0;
    while (done <= limit) {
        const ssize_t n = ::read(fd, content.data() + done, static_cast<size_t>(limit + 1 - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const QString why = reason();
            ::close(fd);
            return QStringLiteral("cannot read %1: %2").arg(path, why);
        }
        if (n == 0)
            break;
        done += n;
    }
    ::close(fd);
    if (done > limit)
        return QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(limit);
    content.truncate(done);
    return content;
}

bool FileLock::isHeldElsewhere(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    struct flock range = wholeFile(F_WRLCK);
    const bool held = ::fcntl(fd, F_OFD_GETLK, &range) == 0 && range.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

} // namespace pierline
