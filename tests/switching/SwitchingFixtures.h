#pragma once

#include "support/TempHome.h"

#include "platform/Workspace.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

namespace pierline::test {

inline QString readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

// The system workspace, but only the apps under one folder count as running, so a test never
// touches processes of other tests or of the machine.
class ScopedWorkspace : public Workspace {
public:
    explicit ScopedWorkspace(const QString& root)
        : root_(QDir::cleanPath(root) + QLatin1Char('/')), system_(createSystemWorkspace()) {
        Workspace::setShared(this);
    }
    ~ScopedWorkspace() override { Workspace::setShared(nullptr); }

    std::optional<QVariantMap> infoPlist(const QString& b) const override { return system_->infoPlist(b); }
    std::optional<QString> bundleIdentifier(const QString& b) const override { return system_->bundleIdentifier(b); }
    bool isApplication(const QString& b) const override { return system_->isApplication(b); }
    QList<RunningApplication> runningApplications() const override {
        QList<RunningApplication> apps;
        for (const RunningApplication& app : system_->runningApplications())
            if (app.bundlePath && app.bundlePath->startsWith(root_))
                apps.append(app);
        return apps;
    }
    using Workspace::runningApplications;
    bool terminate(qint64 pid) override { return system_->terminate(pid); }
    bool forceTerminate(qint64 pid) override { return system_->forceTerminate(pid); }
    bool isTerminated(qint64 pid) const override { return system_->isTerminated(pid); }
    OpenResult openApplication(const QString& b) override { return system_->openApplication(b); }
    OpenResult openFile(const QString& f, const QString& b) override { return system_->openFile(f, b); }
    std::optional<QString> applicationPath(const QString& id) const override { return system_->applicationPath(id); }

private:
    QString root_;
    std::unique_ptr<Workspace> system_;
};

// Sample applications that are real processes: each bundle runs a copy of the fake app binary.
// Every process a test starts, and every app still running from the temporary home at the end,
// is killed when the fixture goes away.
class RunningApps {
public:
    explicit RunningApps(const TempHome& home) : home_(home), workspace_(home.path()) {}
    ~RunningApps() { killAll(); }

    // A bundle under Applications/ whose executable is the fake app. `conf` lines: "ignore-term",
    // "record=<file>".
    QString makeApp(const QString& name, const QString& bundleId, const QString& extraInfoPlistXml = {},
                    const QStringList& conf = {}, const QString& folder = QStringLiteral("Applications")) const {
        const QString bundle = home_.makeBundle(folder, name, bundleId, extraInfoPlistXml);
        const QString exe = bundle + QStringLiteral("/Contents/MacOS/") + name;
        QFile::remove(exe);
        EXPECT_TRUE(QFile::copy(QStringLiteral(PIERLINE_FAKE_APP), exe)) << "cannot copy the fake app";
        QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (!conf.isEmpty())
            home_.write(
                QDir(home_.path()).relativeFilePath(bundle + QStringLiteral("/Contents/Resources/fakeapp.conf")),
                (conf.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
        return bundle;
    }

    // Starts the bundle's executable (detached) and waits until the workspace lists it.
    qint64 launch(const QString& bundle, const QStringList& args = {}) {
        const QString exe = bundle + QStringLiteral("/Contents/MacOS/") + QFileInfo(bundle).completeBaseName();
        qint64 pid = 0;
        QProcess process;
        process.setProgram(exe);
        process.setArguments(args);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        EXPECT_TRUE(process.startDetached(&pid)) << exe.toStdString();
        pids_.append(pid);
        EXPECT_TRUE(waitUntil([&] { return isListed(pid); })) << "app did not show up: " << exe.toStdString();
        // An app that ignores SIGTERM is only ready once its disposition is set.
        if (readFile(bundle + QStringLiteral("/Contents/Resources/fakeapp.conf"))
                .contains(QStringLiteral("ignore-term"))) {
            EXPECT_TRUE(waitUntil([&] { return ignoresTerm(pid); })) << exe.toStdString();
        }
        return pid;
    }

    // "SigIgn:" in /proc/<pid>/status is a hex mask; SIGTERM is bit 15.
    static bool ignoresTerm(qint64 pid) {
        for (const QString& line : readFile(QStringLiteral("/proc/%1/status").arg(pid)).split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("SigIgn:")))
                return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
        return false;
    }

    static bool isListed(qint64 pid) {
        for (const RunningApplication& app : Workspace::shared().runningApplications())
            if (app.pid == pid)
                return true;
        return false;
    }

    bool running(qint64 pid) const { return !Workspace::shared().isTerminated(pid); }

    QList<RunningApplication> appsFrom(const QString& bundle) const {
        QList<RunningApplication> out;
        for (const RunningApplication& app : Workspace::shared().runningApplications())
            if (app.bundlePath == QDir::cleanPath(bundle))
                out.append(app);
        return out;
    }

    // Polls in real time, bounded: for waiting on real processes, never on timers.
    template <typename Pred> static bool waitUntil(Pred pred, int timeoutMs = 5000) {
        QDeadlineTimer deadline(timeoutMs);
        while (!pred()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(5);
        }
        return true;
    }

    void killAll() {
        for (qint64 pid : pids_)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        pids_.clear();
        for (const RunningApplication& app : workspace_.runningApplications())
            ::kill(static_cast<pid_t>(app.pid), SIGKILL);
    }

private:
    const TempHome& home_;
    ScopedWorkspace workspace_;
    QList<qint64> pids_;
};

// Waits for a future while the main queue keeps running (tasks hop to the main thread).
template <typename T> bool waitFor(const QFuture<T>& future, int timeoutMs = 10000) {
    return RunningApps::waitUntil([&] { return future.isFinished(); }, timeoutMs);
}

} // namespace pierline::test
