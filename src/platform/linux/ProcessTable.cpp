#include "ProcessTable.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pierline {
namespace {

// Above the most the kernel lets a process's arguments or environment take, so those files are
// read whole; the cap only guards against a tree that is no real /proc.
constexpr qsizetype kProcFileLimit = 8 << 20;

QByteArray pidPath(qint64 pid, const char* name) {
    return QByteArray::number(pid) + '/' + name;
}

} // namespace

std::optional<ProcStat> parseProcStat(const QByteArray& text) {
    const qsizetype open = text.indexOf('(');
    const qsizetype close = text.lastIndexOf(')');
    if (open < 0 || close < open || close + 2 >= text.size())
        return std::nullopt;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    if (fields.size() < 2 || fields[0].isEmpty())
        return std::nullopt;
    return ProcStat{fields[0].at(0), fields[1].toLongLong(), text.mid(open + 1, close - open - 1)};
}

QByteArray readSmallFile(const QByteArray& path, int at, qsizetype limit) {
    const int fd = ::openat(at, path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray out;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || out.size() > limit)
            break;
        out.append(buffer, n);
        if (static_cast<size_t>(n) < sizeof buffer)
            break; // a short read of these files is their end: saves a call per file
    }
    ::close(fd);
    return out;
}

ProcessTable::ProcessTable(const QString& root)
    : root_(::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

ProcessTable::~ProcessTable() {
    if (root_ >= 0)
        ::close(root_);
}

QList<qint64> ProcessTable::pids() const {
    QList<qint64> out;
    if (root_ < 0)
        return out;
    // A listing of its own: a shared one could not be read on two threads at once.
    const int fd = ::openat(root_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return out;
    }
    while (const dirent* entry = ::readdir(dir)) {
        char* end = nullptr;
        const qint64 pid = std::strtoll(entry->d_name, &end, 10);
        if (pid > 0 && *end == '\0')
            out.append(pid);
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end());
    return out;
}

std::optional<uid_t> ProcessTable::owner(qint64 pid) const {
    struct stat info {};
    if (root_ < 0 || ::fstatat(root_, QByteArray::number(pid).constData(), &info, 0) != 0)
        return std::nullopt;
    return info.st_uid;
}

std::optional<ProcStat> ProcessTable::stat(qint64 pid) const {
    return parseProcStat(file(pid, "stat"));
}

QByteArray ProcessTable::exe(qint64 pid) const {
    QByteArray target = link(pid, "exe");
    if (target.endsWith(" (deleted)"))
        target.chop(10);
    return target;
}

QByteArray ProcessTable::cwd(qint64 pid) const {
    return link(pid, "cwd");
}

QList<QByteArray> ProcessTable::cmdline(qint64 pid) const {
    QByteArray text = file(pid, "cmdline");
    if (text.endsWith('\0'))
        text.chop(1);
    return text.isEmpty() ? QList<QByteArray>() : text.split('\0');
}

QByteArray ProcessTable::file(qint64 pid, const char* name) const {
    return root_ < 0 ? QByteArray() : readSmallFile(pidPath(pid, name), root_, kProcFileLimit);
}

QByteArray ProcessTable::link(qint64 pid, const char* name) const {
    if (root_ < 0)
        return {};
    char buffer[PATH_MAX];
    const ssize_t n = ::readlinkat(root_, pidPath(pid, name).constData(), buffer, sizeof buffer);
    return n > 0 ? QByteArray(buffer, n) : QByteArray();
}

} // namespace pierline
