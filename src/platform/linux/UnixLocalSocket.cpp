#include "platform/LocalSocket.h"

#include <QElapsedTimer>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace pierline {
namespace {

// How long to wait before asking again while the listener's queue is full.
constexpr int kBusyRetryMs = 10;

int remainingMs(const QElapsedTimer& timer, int timeoutMs) {
    return timeoutMs < 0 ? -1 : static_cast<int>(std::max<qint64>(0, timeoutMs - timer.elapsed()));
}

// poll() for `events`, resumed after a signal; >0 ready, 0 timed out, <0 failed.
int waitFor(int fd, short events, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (true) {
        pollfd ready{fd, events, 0};
        const int rc = ::poll(&ready, 1, remainingMs(timer, timeoutMs));
        if (rc >= 0 || errno != EINTR)
            return rc;
    }
}

} // namespace

LocalSocketClient::~LocalSocketClient() {
    close();
}

bool LocalSocketClient::fail(const QString& what) {
    error_ = QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

bool LocalSocketClient::connect(const QString& path, int timeoutMs) {
    close();
    noServer_ = false;
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || static_cast<size_t>(name.size()) >= sizeof(address.sun_path)) {
        error_ = QStringLiteral("%1: not a usable socket path").arg(path);
        return false;
    }
    std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
    QElapsedTimer timer;
    timer.start();
    while (true) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0)
            return fail(QStringLiteral("cannot make a socket"));
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0)
            return true;
        const int why = errno;
        ::close(fd_);
        fd_ = -1;
        errno = why;
        if (why == ENOENT || why == ECONNREFUSED) {
            noServer_ = true;
            return fail(QStringLiteral("cannot connect"));
        }
        // A full listen queue: the app is busy accepting, try again until the limit.
        if ((why != EAGAIN && why != EINTR) || remainingMs(timer, timeoutMs) == 0)
            return fail(QStringLiteral("cannot connect"));
        if (why == EAGAIN)
            ::poll(nullptr, 0, std::min(kBusyRetryMs, std::max(1, remainingMs(timer, timeoutMs))));
    }
}

LocalSocketClient::Outcome LocalSocketClient::write(const QByteArray& bytes, int timeoutMs) {
    if (fd_ < 0)
        return Outcome::Closed;
    QElapsedTimer timer;
    timer.start();
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.constData() + sent, static_cast<size_t>(bytes.size() - sent),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EPIPE || errno == ECONNRESET))
            return Outcome::Closed;
        if (n < 0 && errno != EAGAIN) {
            fail(QStringLiteral("cannot send"));
            return Outcome::Failed;
        }
        const int rc = waitFor(fd_, POLLOUT, remainingMs(timer, timeoutMs));
        if (rc == 0)
            return Outcome::Timeout;
        if (rc < 0) {
            fail(QStringLiteral("cannot send"));
            return Outcome::Failed;
        }
    }
    return Outcome::Done;
}

LocalSocketClient::Outcome LocalSocketClient::read(QByteArray& bytes, int timeoutMs) {
    if (fd_ < 0)
        return Outcome::Closed;
    const int rc = waitFor(fd_, POLLIN, timeoutMs);
    if (rc == 0)
        return Outcome::Timeout;
    if (rc < 0) {
        fail(QStringLiteral("cannot read"));
        return Outcome::Failed;
    }
    char buffer[65536];
    while (true) {
        const ssize_t n = ::recv(fd_, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (n > 0) {
            bytes.append(buffer, n);
            return Outcome::Done;
        }
        if (n == 0)
            return Outcome::Closed;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN)
            return Outcome::Timeout;
        if (errno == ECONNRESET)
            return Outcome::Closed;
        fail(QStringLiteral("cannot read"));
        return Outcome::Failed;
    }
}

void LocalSocketClient::close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

} // namespace pierline
