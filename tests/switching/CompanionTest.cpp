#include "SwitchingFixtures.h"
#include "support/CapturingLogSink.h"
#include "support/VirtualClock.h"

#include "core/LockDockMonitor.h"
#include "core/PierlineIntegration.h"
#include "platform/UserDefaults.h"

#include <QStandardPaths>

using namespace pierline;
using namespace pierline::test;

namespace {

// The companion's socket goes under the temporary home while this lives.
class NoRuntimeDir {
public:
    NoRuntimeDir() : had_(qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")), old_(qgetenv("XDG_RUNTIME_DIR")) {
        qunsetenv("XDG_RUNTIME_DIR");
    }
    ~NoRuntimeDir() {
        if (had_)
            qputenv("XDG_RUNTIME_DIR", old_);
    }

private:
    bool had_;
    QByteArray old_;
};

// Runs the fake companion on the socket the integration uses (under the temporary home).
class FakeCompanion {
public:
    FakeCompanion(const TempHome& home, const QString& listReply = {})
        : log_(home.file(QStringLiteral("companion.log"))) {
        QStringList args{PierlineIntegration::socketPath(), log_};
        if (!listReply.isEmpty())
            args.append(listReply);
        process_.setProgram(QStringLiteral(PIERLINE_FAKE_COMPANION));
        process_.setArguments(args);
        process_.start();
        EXPECT_TRUE(process_.waitForStarted(5000));
        EXPECT_TRUE(RunningApps::waitUntil([&] { return QFile::exists(log_ + QStringLiteral(".ready")); }));
    }
    ~FakeCompanion() { stop(); }
    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(3000))
            process_.kill();
        process_.waitForFinished(3000);
    }
    QStringList lines() const { return readFile(log_).split(QLatin1Char('\n'), Qt::SkipEmptyParts); }

private:
    NoRuntimeDir runtime_;
    QString log_;
    QProcess process_;
};

} // namespace

TEST(SwitchingCompanion, CommandsArriveAsJsonLinesInOrder) {
    TempHome home;
    FakeCompanion companion(home);
    PierlineIntegration& integration = PierlineIntegration::shared();
    integration.hideDock(QStringLiteral("dev"));
    integration.showDock(QStringLiteral("dev"));
    integration.showDock(QStringLiteral("quote\"d"));
    EXPECT_TRUE(integration.hasPreviouslyConnected());
    ASSERT_TRUE(RunningApps::waitUntil([&] { return companion.lines().size() == 3; }));
    EXPECT_EQ(companion.lines(), (QStringList{QStringLiteral(R"({"command":"hide","id":"dev"})"),
                                              QStringLiteral(R"({"command":"show","id":"dev"})"),
                                              QStringLiteral(R"({"command":"show","id":"quote\"d"})")}));
}

TEST(SwitchingCompanion, ListsDocksAndKeepsTheLastGoodList) {
    TempHome home;
    const QString reply =
        QStringLiteral(R"({"docks":[{"id":"d1","name":"Dev","items":[{"name":"Term","kind":"app",)"
                       R"("path":"/Applications/Term.app","bundleID":"com.example.term"}]},{"name":"no id"}]})");
    {
        FakeCompanion companion(home, reply);
        PierlineIntegration::shared().loadAvailableDocks();
        EXPECT_EQ(companion.lines(), QStringList{QStringLiteral(R"({"command":"list"})")});
    }
    const QList<HarborletInfo> docks = PierlineIntegration::shared().availableDocks();
    ASSERT_EQ(docks.size(), 1);
    EXPECT_EQ(docks[0].id, QStringLiteral("d1"));
    EXPECT_EQ(docks[0].name, QStringLiteral("Dev"));
    ASSERT_EQ(docks[0].items.size(), 1);
    EXPECT_EQ(docks[0].items[0].bundleID, QStringLiteral("com.example.term"));
    EXPECT_FALSE(docks[0].items[0].iconSymbolName.has_value());

    // A garbled answer leaves the list as it was.
    {
        FakeCompanion companion(home, QStringLiteral("not json"));
        PierlineIntegration::shared().loadAvailableDocks();
    }
    EXPECT_EQ(PierlineIntegration::shared().availableDocks().size(), 1);
}

TEST(SwitchingCompanion, AbsentCompanionIsSilentAndStatusSaysSo) {
    TempHome home;
    NoRuntimeDir runtime;
    EXPECT_EQ(PierlineIntegration::shared().connectionStatus().displayText, QStringLiteral("Not Installed"));
    QDir().mkpath(home.file(QStringLiteral("Applications/Harborlet.app")));
    EXPECT_TRUE(PierlineIntegration::isHarborletInstalled());
    EXPECT_EQ(PierlineIntegration::shared().connectionStatus().displayText, QStringLiteral("Not Running"));
    PierlineIntegration::shared().showDock(QStringLiteral("x")); // nothing listens: returns quietly
    {
        FakeCompanion companion(home);
        EXPECT_EQ(PierlineIntegration::shared().connectionStatus().displayText, QStringLiteral("Connected"));
    }
}

TEST(SwitchingCompanion, PeriodicRefreshStartsAndStops) {
    TempHome home;
    VirtualTime time;
    PierlineIntegration& integration = PierlineIntegration::shared();
    integration.startPeriodicRefresh();
    EXPECT_TRUE(integration.isPeriodicRefreshRunning());
    EXPECT_EQ(time.timers.pending(), 1);
    integration.stopPeriodicRefresh();
    EXPECT_FALSE(integration.isPeriodicRefreshRunning());
    EXPECT_EQ(time.timers.pending(), 0);
}

TEST(SwitchingLockDock, RelocatesOnlyWhenActiveAndAutoRelocating) {
    TempHome home;
    VirtualTime time;
    CapturingLogSink logs;
    qputenv("PIERLINE_DISPLAYS", "AAA|Left|1920x1080+0+0;BBB|Right|2560x1440+1920+0;broken");
    LockDockMonitor& monitor = LockDockMonitor::shared();
    monitor.updateAvailableDisplays();
    qunsetenv("PIERLINE_DISPLAYS");
    ASSERT_EQ(monitor.availableDisplays().size(), 2);
    EXPECT_TRUE(monitor.availableDisplays()[0].isPrimary);
    EXPECT_FALSE(monitor.availableDisplays()[1].isPrimary);

    const int before = monitor.relocationCount();
    monitor.scheduleAutoRelocateIfNeeded(QStringLiteral("Preset switch")); // not monitoring
    time.timers.advanceAndFire(1.0);
    EXPECT_EQ(monitor.relocationCount(), before);

    UserDefaults::standard().set(QStringLiteral("lockDockAutoRelocate"), true);
    UserDefaults::standard().set(QStringLiteral("lockDockDisplayUUID"), QStringLiteral("BBB"));
    qputenv("PIERLINE_DISPLAYS", "AAA|Left|1920x1080+0+0;BBB|Right|2560x1440+1920+0");
    monitor.startMonitoring();
    qunsetenv("PIERLINE_DISPLAYS");
    EXPECT_EQ(monitor.lockedDisplayName(), QStringLiteral("Right"));
    monitor.scheduleAutoRelocateIfNeeded(QStringLiteral("Preset switch"));
    monitor.scheduleAutoRelocateIfNeeded(QStringLiteral("Preset switch")); // folded into the first
    time.timers.advanceAndFire(1.0);
    EXPECT_EQ(monitor.relocationCount(), before + 1);
    EXPECT_TRUE(logs.printed(QStringLiteral("[LockDock] Relocating Dock to display 'Right'")));
    monitor.stopMonitoring();
    EXPECT_FALSE(monitor.isActive());
}
