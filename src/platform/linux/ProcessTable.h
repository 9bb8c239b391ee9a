#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <fcntl.h>
#include <optional>
#include <sys/types.h>

namespace pierline {

// The fields of a process's "stat" file that we use.
struct ProcStat {
    char state = '?';
    qint64 ppid = 0;
    QByteArray comm; // the kernel's short name of the process
    // A zombie has finished; only its parent has not collected it yet.
    bool finished() const { return state == 'Z' || state == 'X'; }
};

// "<pid> (comm) S ppid ..."; comm may hold spaces and parentheses. nullopt for anything else.
std::optional<ProcStat> parseProcStat(const QByteArray& text);

// `path` relative to the folder `at` (AT_FDCWD: the working folder, or an absolute path), at most
// about `limit` bytes. Empty when it cannot be read.
QByteArray readSmallFile(const QByteArray& path, int at = AT_FDCWD, qsizetype limit = 1 << 20);

// The process table below one proc root (/proc, or a tree laid out like it in tests). Each read
// is relative to the root's folder, opened once, and answers empty (or nullopt) for a process
// that is gone or hidden from us. Reads may run on several threads at once.
class ProcessTable {
public:
    explicit ProcessTable(const QString& root = QStringLiteral("/proc"));
    ~ProcessTable();
    ProcessTable(const ProcessTable&) = delete;
    ProcessTable& operator=(const ProcessTable&) = delete;

    // False when the root could not be opened: every read is then empty.
    bool isOpen() const { return root_ >= 0; }

    // The pids of the table, ascending.
    QList<qint64> pids() const;
    std::optional<uid_t> owner(qint64 pid) const;
    std::optional<ProcStat> stat(qint64 pid) const;
    // The program it runs; one replaced by an update while it runs is still that program.
    QByteArray exe(qint64 pid) const;
    QByteArray cwd(qint64 pid) const;
    // Its arguments, argv[0] first.
    QList<QByteArray> cmdline(qint64 pid) const;
    // A file of its folder ("sessionid", "cgroup", "environ"...).
    QByteArray file(qint64 pid, const char* name) const;

private:
    QByteArray link(qint64 pid, const char* name) const;

    int root_ = -1;
};

} // namespace pierline
