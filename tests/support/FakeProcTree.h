#pragma once

// A process tree laid out as /proc lays it out, for the desktop apps' process scan.
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

namespace pierline::test {

struct FakeProcess {
    qint64 pid = 0;
    QString exe; // the link target; empty for none (a kernel thread)
    qint64 ppid = 1;
    QStringList argv;
    char state = 'S';
    QString session = QStringLiteral("3");
    QString cgroup = QStringLiteral("0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-x.scope");

    FakeProcess(qint64 pid, QString exe) : pid(pid), exe(std::move(exe)) {}
    FakeProcess& parent(qint64 value) {
        ppid = value;
        return *this;
    }
    FakeProcess& arguments(QStringList value) {
        argv = std::move(value);
        return *this;
    }
    FakeProcess& inState(char value) {
        state = value;
        return *this;
    }
    FakeProcess& inSession(QString value) {
        session = std::move(value);
        return *this;
    }
    FakeProcess& inCgroup(QString value) {
        cgroup = std::move(value);
        return *this;
    }
};

class FakeProcTree {
public:
    explicit FakeProcTree(QString root) : root_(std::move(root)) { QDir().mkpath(root_); }

    // False when a file of it could not be made.
    bool add(const FakeProcess& p) const {
        const QDir dir(QDir(root_).filePath(QString::number(p.pid)));
        if (!QDir().mkpath(dir.path()))
            return false;
        const QString comm = p.exe.isEmpty() ? QStringLiteral("kthread") : QFileInfo(p.exe).fileName().left(15);
        bool ok = write(dir.filePath("stat"), QStringLiteral("%1 (%2) %3 %4 %1 %1 0 -1 4194304 0 0 0 0 1 0 0 0\n")
                                                  .arg(p.pid)
                                                  .arg(comm)
                                                  .arg(QLatin1Char(p.state))
                                                  .arg(p.ppid)
                                                  .toUtf8());
        QByteArray cmdline;
        for (const QString& arg : p.argv)
            cmdline += arg.toUtf8() + '\0';
        ok = ok && write(dir.filePath("cmdline"), cmdline) && write(dir.filePath("sessionid"), p.session.toUtf8()) &&
             write(dir.filePath("cgroup"), p.cgroup.toUtf8() + '\n');
        if (!p.exe.isEmpty())
            ok = ok && QFile::link(p.exe, dir.filePath("exe"));
        return ok && QFile::link(QDir::rootPath(), dir.filePath("cwd"));
    }

    QString path() const { return root_; }

private:
    static bool write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

    QString root_;
};

} // namespace pierline::test
