#include "platform/SystemLog.h"

#include <cstdio>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace pierline::system_log {
namespace {

constexpr const char* kSocketPath = "/run/systemd/journal/socket";

int syslogPriority(LogLevel level) {
    switch (level) {
    case LogLevel::Debug:
        return 7;
    case LogLevel::Info:
        return 6;
    case LogLevel::Notice:
        return 5;
    case LogLevel::Error:
        return 3;
    case LogLevel::Fault:
        return 2;
    }
    return 6;
}

bool reachable() {
    return ::access(kSocketPath, W_OK) == 0;
}

} // namespace

bool send(const LogRecord& record) {
    if (!reachable())
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", kSocketPath);
    QByteArray message = record.message.toUtf8();
    message.replace('\n', ' ');
    const QByteArray payload = "MESSAGE=" + message + "\nPRIORITY=" + QByteArray::number(syslogPriority(record.level)) +
                               "\nSYSLOG_IDENTIFIER=pierline\nPIERLINE_SUBSYSTEM=" + record.subsystem.toUtf8() +
                               "\nPIERLINE_CATEGORY=" + record.category.toUtf8() + "\n";
    const ssize_t sent = ::sendto(fd, payload.constData(), static_cast<size_t>(payload.size()), 0,
                                  reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    ::close(fd);
    return sent == payload.size();
}

std::optional<QString> readingHint() {
    if (!reachable())
        return std::nullopt;
    return QStringLiteral("journalctl -t pierline");
}

} // namespace pierline::system_log
