#include "SwitchingFixtures.h"
#include "support/CapturingLogSink.h"
#include "support/VirtualClock.h"

#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "switching/AppCloser.h"

using namespace pierline;
using namespace pierline::test;

namespace {

QString entryFor(const QString& bundle) {
    return QUrl::fromLocalFile(bundle + QLatin1Char('/')).toString();
}

} // namespace

TEST(SwitchingAppCloser, PresetPathsDropSpacersAndNormalise) {
    const QStringList paths = AppCloser::presetPaths({
        QStringLiteral("file:///Applications/Safari.app/"),
        QStringLiteral("pierline-spacer-1"),
        QStringLiteral("pierline-small-spacer-2"),
        QStringLiteral("file:///Applications/Visual%20Studio%20Code.app"),
        QStringLiteral("/Applications/Plain.app/"),
        QStringLiteral("   "),
    });
    EXPECT_EQ(paths, (QStringList{QStringLiteral("/Applications/Safari.app"),
                                  QStringLiteral("/Applications/Visual Studio Code.app"),
                                  QStringLiteral("/Applications/Plain.app")}));
}

TEST(SwitchingAppCloser, CandidateFilterKeepsSystemAgentsSelfAndExcluded) {
    CapturingLogSink logs;
    auto app = [](const QString& id, const QString& path, ActivationPolicy policy = ActivationPolicy::Regular) {
        RunningApplication a;
        a.pid = 1;
        if (!id.isEmpty())
            a.bundleIdentifier = id;
        a.bundlePath = path;
        a.activationPolicy = policy;
        return a;
    };
    const QList<RunningApplication> running = {
        app(QStringLiteral("com.apple.finder"), QStringLiteral("/System/Finder.app")),
        app(QStringLiteral("com.apple.TextEdit"), QStringLiteral("/Applications/TextEdit.app")),
        app(QStringLiteral("com.apple.Safari.WebApp.1234"), QStringLiteral("/Users/me/Applications/Mail Web.app")),
        app(QStringLiteral("com.corvane.pierline"), QStringLiteral("/Applications/Pierline.app")),
        app(QStringLiteral("com.example.agent"), QStringLiteral("/Applications/Agent.app"),
            ActivationPolicy::Accessory),
        app(QStringLiteral("com.example.kept"), QStringLiteral("/Applications/Kept.app")),
        app(QString(), QStringLiteral("/Applications/NoId.app")),
        app(QStringLiteral("com.example.other"), QStringLiteral("/Applications/Other.app")),
    };
    const QList<RunningApplication> candidates =
        AppCloser::closeCandidates(running, {QStringLiteral("/Applications/Kept.app")});
    QStringList ids;
    for (const auto& c : candidates)
        ids.append(*c.bundleIdentifier);
    EXPECT_EQ(ids, (QStringList{QStringLiteral("com.apple.TextEdit"), QStringLiteral("com.apple.Safari.WebApp.1234"),
                                QStringLiteral("com.example.other")}));
    EXPECT_TRUE(logs.printed(QStringLiteral("Apple app: com.apple.finder")));
    EXPECT_TRUE(logs.printed(QStringLiteral("Apple app: com.apple.TextEdit")));
}

// Real processes, manual virtual clock: the grace period only ends when the test says so.
TEST(SwitchingAppCloser, ClosesAppsNotInPresetAndForcesHungOnes) {
    TempHome home;
    VirtualTime time;
    time.clock.setAutoAdvance(false);
    CapturingLogSink logs;
    RunningApps apps(home);
    const QString kept = apps.makeApp(QStringLiteral("Kept"), QStringLiteral("com.example.kept"));
    const QString other = apps.makeApp(QStringLiteral("Other"), QStringLiteral("com.example.other"));
    const QString hung =
        apps.makeApp(QStringLiteral("Hung"), QStringLiteral("com.example.hung"), {}, {QStringLiteral("ignore-term")});
    const QString agent = apps.makeApp(QStringLiteral("Agent"), QStringLiteral("com.example.agent"),
                                       QStringLiteral("<key>LSUIElement</key><true/>"));
    const QString excluded = apps.makeApp(QStringLiteral("Excluded"), QStringLiteral("com.example.excluded"));
    const QString self = apps.makeApp(QStringLiteral("Pierline"), QStringLiteral("com.corvane.pierline"));
    const qint64 keptPid = apps.launch(kept);
    const qint64 otherPid = apps.launch(other);
    const qint64 hungPid = apps.launch(hung);
    const qint64 agentPid = apps.launch(agent);
    const qint64 excludedPid = apps.launch(excluded);
    const qint64 selfPid = apps.launch(self);
    UserDefaults::standard().set(QStringLiteral("excludedApps"), QStringList{QDir::cleanPath(excluded)});

    QFuture<void> closing = AppCloser::closeAppsNotInPreset(
        {entryFor(kept), QStringLiteral("pierline-spacer-1"), QStringLiteral("bad entry")});
    // Both closable apps got their terminate request and now sit in the 2 s grace period.
    ASSERT_TRUE(time.clock.waitForSleepers(2));
    ASSERT_TRUE(RunningApps::waitUntil([&] { return !apps.running(otherPid); }));
    EXPECT_TRUE(apps.running(hungPid));
    time.clock.advance(1.9);
    EXPECT_FALSE(closing.isFinished());
    time.clock.advance(0.1);
    ASSERT_TRUE(waitFor(closing));

    EXPECT_TRUE(RunningApps::waitUntil([&] { return !apps.running(hungPid); }));
    EXPECT_TRUE(logs.printed(QStringLiteral("Closing app: Other")));
    EXPECT_TRUE(logs.printed(QStringLiteral("Closing app: Hung")));
    EXPECT_TRUE(logs.printed(QStringLiteral("Force terminating hung app: Hung")));
    EXPECT_FALSE(logs.printed(QStringLiteral("Force terminating hung app: Other")));
    for (qint64 pid : {keptPid, agentPid, excludedPid, selfPid})
        EXPECT_TRUE(apps.running(pid)) << pid;
    EXPECT_FALSE(logs.printedContaining(QStringLiteral("Closing app: Kept")));
    EXPECT_FALSE(logs.printedContaining(QStringLiteral("Closing app: Pierline")));
}

TEST(SwitchingAppCloser, BrowsersGetTheShortGracePeriod) {
    TempHome home;
    VirtualTime time;
    time.clock.setAutoAdvance(false);
    CapturingLogSink logs;
    RunningApps apps(home);
    const qint64 chrome = apps.launch(apps.makeApp(QStringLiteral("Google Chrome"), QStringLiteral("com.google.Chrome"),
                                                   {}, {QStringLiteral("ignore-term")}));
    QFuture<void> closing = AppCloser::closeAppsNotInPreset({});
    ASSERT_TRUE(time.clock.waitForSleepers(1));
    time.clock.advance(1.0);
    ASSERT_TRUE(waitFor(closing));
    EXPECT_TRUE(logs.printed(QStringLiteral("Closing app: Google Chrome [Browser]")));
    EXPECT_TRUE(logs.printed(QStringLiteral("Force terminating browser: Google Chrome")));
    EXPECT_TRUE(RunningApps::waitUntil([&] { return !apps.running(chrome); }));
}

TEST(SwitchingAppCloser, CloseRunningInstances) {
    TempHome home;
    VirtualTime time;
    CapturingLogSink logs;
    RunningApps apps(home);
    const QString ide = apps.makeApp(QStringLiteral("Code"), QStringLiteral("com.example.code"));
    const QString url = entryFor(ide);

    // Not running: true at once.
    bool result = false;
    QFuture<void> f = runAsync(QueuePriority::UserInitiated, [&] { result = AppCloser::closeRunningInstances(url); });
    ASSERT_TRUE(waitFor(f));
    EXPECT_TRUE(result);
    EXPECT_TRUE(logs.printed(QStringLiteral("     ℹ️ No running instances of Code.app found")));

    // Two instances, both closed; the polls run on the virtual clock.
    const qint64 a = apps.launch(ide);
    const qint64 b = apps.launch(ide);
    time.clock.setAutoAdvance(false);
    result = false;
    f = runAsync(QueuePriority::UserInitiated, [&] { result = AppCloser::closeRunningInstances(url); });
    ASSERT_TRUE(RunningApps::waitUntil([&] { return !apps.running(a) && !apps.running(b); }));
    while (!f.isFinished()) {
        if (time.clock.waitForSleepers(1, 50))
            time.clock.advance(0.1);
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(result);
    EXPECT_TRUE(logs.printed(QStringLiteral("     🔄 Found 2 running instance(s) of Code.app. Closing them...")));
    EXPECT_TRUE(logs.printed(QStringLiteral("     ✅ All application instances terminated successfully")));

    // No bundle identifier: false.
    time.clock.setAutoAdvance(true);
    f = runAsync(QueuePriority::UserInitiated,
                 [&] { result = AppCloser::closeRunningInstances(QStringLiteral("file:///nowhere/Ghost.app/")); });
    ASSERT_TRUE(waitFor(f));
    EXPECT_FALSE(result);
    EXPECT_TRUE(
        logs.printed(QStringLiteral("     ⚠️ Could not get bundle identifier for app at /nowhere/Ghost.app")));
}

TEST(SwitchingAppCloser, CloseRunningInstancesTimesOutOnAHungApp) {
    TempHome home;
    VirtualTime time; // auto-advance: the 5 s of polling pass at once
    CapturingLogSink logs;
    RunningApps apps(home);
    const QString ide = apps.makeApp(QStringLiteral("Hung IDE"), QStringLiteral("com.example.hungide"), {},
                                     {QStringLiteral("ignore-term")});
    const qint64 pid = apps.launch(ide);
    bool result = false;
    QFuture<void> f =
        runAsync(QueuePriority::UserInitiated, [&] { result = AppCloser::closeRunningInstances(entryFor(ide)); });
    ASSERT_TRUE(waitFor(f));
    EXPECT_TRUE(result); // the request was accepted, so nothing failed outright
    EXPECT_TRUE(logs.printed(QStringLiteral("     ⚠️ Timeout waiting for application termination")));
    EXPECT_GE(time.clock.monotonicSeconds(), 4.99);
    EXPECT_TRUE(apps.running(pid));
}
