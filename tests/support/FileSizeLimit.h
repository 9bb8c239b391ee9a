#pragma once

// A full disk without root: RLIMIT_FSIZE makes a write past the limit fail with EFBIG, as
// ENOSPC does on a full file system, once SIGXFSZ no longer ends the process.
#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QString>
#include <functional>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pierline::test {

inline void setFileSizeLimit(rlim_t bytes) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

// Runs `job` in a forked child under the limit and returns the text it returned.
inline QString runWithFileSizeLimit(rlim_t bytes, const std::function<QString()>& job) {
    int fds[2];
    if (::pipe(fds) != 0)
        return QStringLiteral("<no pipe>");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        setFileSizeLimit(bytes);
        const QByteArray text = job().toUtf8();
        const ssize_t written = ::write(fds[1], text.constData(), static_cast<size_t>(text.size()));
        ::_exit(written == text.size() ? 0 : 1);
    }
    ::close(fds[1]);
    QByteArray text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return QStringLiteral("<child failed>");
    return QString::fromUtf8(text);
}

// A child process started after this runs under the limit.
inline void limitFileSize(QProcess& process, rlim_t bytes) {
    process.setChildProcessModifier([bytes] { setFileSizeLimit(bytes); });
}

// The names in `folder`, hidden ones included, one per line: a temporary file left behind shows here.
inline std::string entriesOf(const QString& folder) {
    return QDir(folder)
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name)
        .join(QLatin1Char('\n'))
        .toStdString();
}

} // namespace pierline::test
