#include "SwitchingFixtures.h"

#include "platform/Dispatch.h"
#include "switching/AppCloser.h"

using namespace pierline;
using namespace pierline::test;

namespace {

class SwitchingAppCloser : public SwitchingStoreTest {
protected:
    // Runs closeRunningInstances off the main thread (it polls on the clock), advancing the manual
    // clock whenever it sleeps.
    bool closeInstances(const QString& url) {
        bool result = false;
        QFuture<void> f =
            runAsync(QueuePriority::UserInitiated, [&] { result = AppCloser::closeRunningInstances(url); });
        while (!f.isFinished()) {
            if (time.clock.waitForSleepers(1, 50))
                time.clock.advance(0.1);
            QCoreApplication::processEvents();
        }
        return result;
    }
};

} // namespace

TEST(SwitchingAppCloserRules, PresetPathsAndCandidatesKeepSystemAgentsSelfAndExcluded) {
    EXPECT_EQ(
        AppCloser::presetPaths({"file:///Applications/Safari.app/", "pierline-spacer-1", "pierline-small-spacer-2",
                                "file:///Applications/Visual%20Studio%20Code.app", "/Applications/Plain.app/", "   "}),
        (QStringList{"/Applications/Safari.app", "/Applications/Visual Studio Code.app", "/Applications/Plain.app"}));

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
        app("com.apple.finder", "/System/Finder.app"),
        app("com.apple.TextEdit", "/Applications/TextEdit.app"),
        app("com.apple.Safari.WebApp.1234", "/Users/me/Applications/Mail Web.app"),
        app("com.corvane.pierline", "/Applications/Pierline.app"),
        app("com.example.agent", "/Applications/Agent.app", ActivationPolicy::Accessory),
        app("com.example.kept", "/Applications/Kept.app"),
        app(QString(), "/Applications/NoId.app"),
        app("com.example.other", "/Applications/Other.app"),
    };
    QStringList ids;
    for (const auto& c : AppCloser::closeCandidates(running, {"/Applications/Kept.app"}))
        ids.append(*c.bundleIdentifier);
    EXPECT_EQ(ids, (QStringList{"com.apple.TextEdit", "com.apple.Safari.WebApp.1234", "com.example.other"}));
    EXPECT_TRUE(logs.printed("Apple app: com.apple.finder"));
    EXPECT_TRUE(logs.printed("Apple app: com.apple.TextEdit"));
}

TEST_F(SwitchingAppCloser, BrowsersGetTheShortGracePeriod) {
    time.clock.setAutoAdvance(false);
    const qint64 chrome = apps->launch(apps->makeApp("Google Chrome", "com.google.Chrome", {}, {"ignore-term"}));
    QFuture<void> closing = AppCloser::closeAppsNotInPreset({});
    ASSERT_TRUE(time.clock.waitForSleepers(1));
    time.clock.advance(1.0);
    ASSERT_TRUE(waitFor(closing));
    EXPECT_TRUE(logs.printed("Closing app: Google Chrome [Browser]"));
    EXPECT_TRUE(logs.printed("Force terminating browser: Google Chrome"));
    EXPECT_TRUE(waitUntil([&] { return !apps->running(chrome); }));
}

TEST_F(SwitchingAppCloser, CloseRunningInstances) {
    const QString ide = apps->makeApp("Code", "com.example.code");
    time.clock.setAutoAdvance(false);

    // Not running: true at once.
    EXPECT_TRUE(closeInstances(entryFor(ide)));
    EXPECT_TRUE(logs.printed("     ℹ️ No running instances of Code.app found"));

    // Two instances, both closed; the polls run on the virtual clock.
    const qint64 a = apps->launch(ide);
    const qint64 b = apps->launch(ide);
    EXPECT_TRUE(closeInstances(entryFor(ide)));
    EXPECT_FALSE(apps->running(a) || apps->running(b));
    EXPECT_TRUE(logs.printed("     🔄 Found 2 running instance(s) of Code.app. Closing them..."));
    EXPECT_TRUE(logs.printed("     ✅ All application instances terminated successfully"));

    // No bundle identifier: false.
    EXPECT_FALSE(closeInstances("file:///nowhere/Ghost.app/"));
    EXPECT_TRUE(logs.printed("     ⚠️ Could not get bundle identifier for app at /nowhere/Ghost.app"));

    // A hung app: the request was accepted, so nothing failed outright, after 5 s of polling.
    const qint64 hung = apps->launch(apps->makeApp("Hung IDE", "com.example.hungide", {}, {"ignore-term"}));
    const double start = time.clock.monotonicSeconds();
    EXPECT_TRUE(closeInstances(entryFor(home.file("Applications/Hung IDE.app"))));
    EXPECT_TRUE(logs.printed("     ⚠️ Timeout waiting for application termination"));
    EXPECT_GE(time.clock.monotonicSeconds() - start, 4.99);
    EXPECT_TRUE(apps->running(hung));
}
