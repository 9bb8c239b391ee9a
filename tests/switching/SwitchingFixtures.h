#pragma once

#include "support/CapturingLogSink.h"
#include "support/EventLoop.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"
#include "support/VirtualClock.h"

#include "core/PierlineIntegration.h"
#include "core/PresetRecord.h"
#include "platform/Workspace.h"
#include "store/DockPresetManager.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>

namespace pierline::test {

// The app entry of a bundle, as the Dock lists it.
inline QString entryFor(const QString& bundle) {
    return QUrl::fromLocalFile(bundle + QLatin1Char('/')).toString();
}

// Sample applications that are real processes: each bundle runs a copy of the fake app binary.
// The workspace lists only processes of the current PIERLINE_HOME, so a test never touches those
// of other tests; every app still running from it is killed when the fixture goes away.
class RunningApps {
public:
    explicit RunningApps(const TempHome& home) : home_(home) {}
    ~RunningApps() { killAll(); }

    // A bundle under `folder` whose executable is the fake app. `conf` lines: "ignore-term",
    // "record=<file>".
    QString makeApp(const QString& name, const QString& bundleId, const QString& extraInfoPlistXml = {},
                    const QStringList& conf = {}, const QString& folder = QStringLiteral("Applications")) const {
        const QString bundle = home_.makeBundle(folder, name, bundleId, extraInfoPlistXml);
        const QString exe = bundle + QStringLiteral("/Contents/MacOS/") + name;
        QFile::remove(exe);
        EXPECT_TRUE(QFile::copy(QStringLiteral(PIERLINE_FAKE_APP), exe)) << "cannot copy the fake app";
        QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (!conf.isEmpty())
            home_.write(QDir(home_.path()).relativeFilePath(bundle + "/Contents/Resources/fakeapp.conf"),
                        (conf.join('\n') + '\n').toUtf8());
        return bundle;
    }

    // Starts the bundle's executable (detached) and waits until the workspace lists it.
    qint64 launch(const QString& bundle) {
        QProcess process;
        process.setProgram(bundle + QStringLiteral("/Contents/MacOS/") + QFileInfo(bundle).completeBaseName());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        qint64 pid = 0;
        EXPECT_TRUE(process.startDetached(&pid)) << process.program().toStdString();
        EXPECT_TRUE(waitUntil([&] { return isListed(pid); })) << "app did not show up: " << bundle.toStdString();
        // An app that ignores SIGTERM is only ready once its disposition is set.
        if (readFile(bundle + "/Contents/Resources/fakeapp.conf").contains("ignore-term")) {
            EXPECT_TRUE(waitUntil([&] { return ignoresTerm(pid); })) << bundle.toStdString();
        }
        return pid;
    }

    bool running(qint64 pid) const { return !Workspace::shared().isTerminated(pid); }

    QList<RunningApplication> appsFrom(const QString& bundle) const {
        QList<RunningApplication> out;
        for (const RunningApplication& app : Workspace::shared().runningApplications())
            if (app.bundlePath == QDir::cleanPath(bundle))
                out.append(app);
        return out;
    }

    void killAll() {
        for (const RunningApplication& app : Workspace::shared().runningApplications())
            ::kill(static_cast<pid_t>(app.pid), SIGKILL);
    }

private:
    static bool isListed(qint64 pid) {
        for (const RunningApplication& app : Workspace::shared().runningApplications())
            if (app.pid == pid)
                return true;
        return false;
    }
    // "SigIgn:" in /proc/<pid>/status is a hex mask; SIGTERM is bit 15.
    static bool ignoresTerm(qint64 pid) {
        for (const QString& line : readFile(QStringLiteral("/proc/%1/status").arg(pid)).split('\n'))
            if (line.startsWith("SigIgn:"))
                return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
        return false;
    }

    const TempHome& home_;
};

// Runs the fake companion on the socket the integration uses (under the temporary home).
class FakeCompanion {
public:
    explicit FakeCompanion(const TempHome& home, const QString& listReply = {}) : log_(home.file("companion.log")) {
        QFile::remove(log_); // and the ready marker of an earlier one
        QFile::remove(log_ + ".ready");
        QStringList args{PierlineIntegration::socketPath(), log_};
        if (!listReply.isEmpty())
            args.append(listReply);
        process_.start(QStringLiteral(PIERLINE_FAKE_COMPANION), args);
        EXPECT_TRUE(process_.waitForStarted(5000));
        EXPECT_TRUE(waitUntil([&] { return QFile::exists(log_ + ".ready"); }));
    }
    ~FakeCompanion() {
        process_.terminate();
        if (!process_.waitForFinished(3000))
            process_.kill();
        process_.waitForFinished(3000);
    }
    QStringList lines() const { return readFile(log_).split('\n', Qt::SkipEmptyParts); }

private:
    ScopedEnv runtime_{"XDG_RUNTIME_DIR", std::nullopt}; // the socket goes under the temporary home
    QString log_;
    QProcess process_;
};

// A fresh store under a temporary home, fake apps that are real processes, virtual time.
class SwitchingStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        apps = std::make_unique<RunningApps>(home);
        DockPresetManager::resetSharedForTesting();
        DockPresetManager::setSharedOptions({.monitorNetwork = false, .networkMonitorFactory = {}});
    }
    void TearDown() override {
        apps.reset();
        QCoreApplication::processEvents();
        DockPresetManager::resetSharedForTesting();
    }
    DockPresetPtr makePreset(const QString& name, const QStringList& entries) {
        return DockPresetManager::shared().createPreset(name, encodeApps(entries));
    }
    ManagedObjectContext& context() { return DockPresetManager::shared().context(); }

    TempHome home;
    VirtualTime time;
    CapturingLogSink logs;
    std::unique_ptr<RunningApps> apps;
};

} // namespace pierline::test
