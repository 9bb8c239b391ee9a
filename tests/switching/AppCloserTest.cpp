#include "SwitchingFixtures.h"

#include "dock/DefaultsWriter.h"
#include "platform/Dispatch.h"
#include "switching/AppCloser.h"
#include "switching/AppNoteManager.h"

#include <atomic>

using namespace pierline;
using namespace pierline::test;

namespace {

class SwitchingAppCloser : public SwitchingStoreTest {
protected:
    void SetUp() override {
        SwitchingStoreTest::SetUp();
        time.clock.setAutoAdvance(false);
    }

    // Runs closeRunningInstances off the main thread and moves the clock one poll at a time, each
    // step only after the closer went back to sleep and `settled` holds for the real processes,
    // so the closer never sees more time pass than the processes had. Returns the virtual seconds
    // the call took.
    double closeInstances(
        const QString& url, bool expected, const std::function<bool()>& settled = [] { return true; }) {
        std::atomic<bool> result = false;
        const double start = time.clock.monotonicSeconds();
        QFuture<void> f = runAsync(QueuePriority::UserInitiated,
                                   [&] { result = AppCloser::closeRunningInstances(url, DockAppKind::Bundle); });
        for (int polls = time.clock.sleepsBegun() + 1;; ++polls) {
            EXPECT_TRUE(waitUntil([&] { return f.isFinished() || time.clock.sleepsBegun() >= polls; }));
            if (f.isFinished())
                break;
            EXPECT_TRUE(waitUntil(settled));
            time.clock.advance(AppCloser::kPollInterval);
        }
        EXPECT_EQ(result.load(), expected);
        return time.clock.monotonicSeconds() - start;
    }
};

} // namespace

TEST(SwitchingAppCloserRules, PresetPathsAndCandidatesKeepSystemAgentsSelfAndExcluded) {
    EXPECT_EQ(
        AppCloser::presetPaths({"file:///Applications/Safari.app/", "pierline-spacer-1", "pierline-small-spacer-2",
                                "file:///Applications/Visual%20Studio%20Code.app", "/Applications/Plain.app/", "   "}),
        (QStringList{"/Applications/Safari.app", "/Applications/Visual Studio Code.app", "/Applications/Plain.app"}));

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
}

// A process may run several desktop files (two launchers of one program): any of them spares it,
// by path or by desktop ID; hidden apps are never closed and each process is closed once.
TEST(SwitchingAppCloserRules, DesktopCandidatesAreSparedByAnyOfTheirDesktopFiles) {
    auto app = [](qint64 pid, const QString& id, ActivationPolicy policy = ActivationPolicy::Regular) {
        RunningApplication a;
        a.pid = pid;
        a.bundlePath = "/usr/share/applications/" + id;
        a.activationPolicy = policy;
        return a;
    };
    const QList<RunningApplication> running = {
        app(1, "firefox.desktop"),
        app(1, "firefox-esr.desktop"),
        app(2, "editor.desktop"),
        app(3, "mail.desktop"),
        app(4, "helper.desktop", ActivationPolicy::Accessory),
        app(5, "notes.desktop"),
        app(5, "notes-alt.desktop"),
    };
    const QStringList preset{"/home/me/.local/share/applications/firefox-esr.desktop"};
    QList<qint64> pids;
    for (const auto& c : AppCloser::desktopCloseCandidates(running, preset, {"/usr/share/applications/mail.desktop"}))
        pids.append(c.pid);
    EXPECT_EQ(pids, (QList<qint64>{2, 5}));
}

TEST_F(SwitchingAppCloser, GracePeriodsAreExactAndAppsThatQuitAreNotForced) {
    const qint64 chrome = apps->launch(apps->makeApp("Google Chrome", "com.google.Chrome", {}, {"ignore-term"}));
    const qint64 hung = apps->launch(apps->makeApp("Hung", "com.example.hung", {}, {"ignore-term"}));
    const qint64 polite = apps->launch(apps->makeApp("Polite", "com.example.polite"));
    QFuture<void> closing = AppCloser::closeAppsNotInPreset({}, {}, DockAppKind::Bundle);
    ASSERT_TRUE(time.clock.waitForSleepers(3));
    ASSERT_TRUE(waitUntil([&] { return !apps->running(polite); }));

    // Just short of the browser's second nothing is forced.
    time.clock.advance(AppCloser::kBrowserGracePeriod - 0.001);
    EXPECT_EQ(time.clock.sleepers(), 3);
    time.clock.advance(0.001);
    ASSERT_TRUE(waitUntil([&] { return !apps->running(chrome) && time.clock.sleepers() == 2; }));
    EXPECT_TRUE(logs.warned("Force terminating browser: Google Chrome"));
    EXPECT_TRUE(apps->running(hung));

    time.clock.advance(AppCloser::kAppGracePeriod - AppCloser::kBrowserGracePeriod - 0.001);
    EXPECT_EQ(time.clock.sleepers(), 2);
    time.clock.advance(0.001);
    ASSERT_TRUE(waitFor(closing));
    EXPECT_TRUE(waitUntil([&] { return !apps->running(hung); }));
    EXPECT_TRUE(logs.warned("Force terminating hung app: Hung"));
    EXPECT_FALSE(logs.printedContaining("hung app: Polite"));
}

TEST_F(SwitchingAppCloser, CloseRunningInstances) {
    const QString ide = apps->makeApp("Code", "com.example.code");

    // Not running: true at once.
    EXPECT_EQ(closeInstances(entryFor(ide), true), 0.0);
    EXPECT_TRUE(logs.printed("     ℹ️ No running instances of Code.app found"));

    // Two instances: done at the first poll after both really ended.
    const qint64 a = apps->launch(ide);
    const qint64 b = apps->launch(ide);
    const double took = closeInstances(entryFor(ide), true, [&] { return !apps->running(a) && !apps->running(b); });
    EXPECT_LE(took, AppCloser::kPollInterval + 1e-9);
    EXPECT_TRUE(logs.printed("     ✅ All application instances terminated successfully"));

    // No bundle identifier: false.
    closeInstances("file:///nowhere/Ghost.app/", false);
    EXPECT_TRUE(logs.warned("     ⚠️ Could not get bundle identifier for app at /nowhere/Ghost.app"));

    // A hung app: the request was accepted, so nothing failed outright; the closer gives up after
    // exactly five seconds of polling.
    const qint64 hung = apps->launch(apps->makeApp("Hung IDE", "com.example.hungide", {}, {"ignore-term"}));
    EXPECT_NEAR(closeInstances(entryFor(home.file("Applications/Hung IDE.app")), true), AppCloser::kInstanceTimeout,
                1e-6);
    EXPECT_TRUE(logs.warned("     ⚠️ Timeout waiting for application termination"));
    EXPECT_TRUE(apps->running(hung));
}

// An app whose name holds "#" and "?" is one path for the writer, the closer and the notes,
// whether the entry is a plain path or a file URL.
TEST_F(SwitchingAppCloser, PlainPathEntriesAreLiteralForWriterCloserAndNotes) {
    const QString bundle = apps->makeApp("Bob's #1 App?", "com.example.bob");
    const QString plain = bundle + '/';
    const QString url = QUrl::fromLocalFile(plain).toString(QUrl::FullyEncoded);
    ASSERT_TRUE(url.contains("%231%20App%3F")) << url.toStdString();

    for (const QString& entry : {plain, url}) {
        SCOPED_TRACE(entry.toStdString());
        const QVariantMap tile = DefaultsWriter::appTiles({entry}).value(0).toMap();
        EXPECT_TRUE(tile.contains("GUID")) << "the writer found the bundle";
        EXPECT_EQ(tile.value("tile-data").toMap().value("file-label"), "Bob's #1 App?");
        EXPECT_EQ(AppCloser::presetPaths({entry}), QStringList{bundle});
        EXPECT_EQ(appNoteKey(entry), appNoteKey(url));
        EXPECT_EQ(appDisplayName(entry), "Bob's #1 App?");
    }

    const qint64 pid = apps->launch(bundle);
    ASSERT_TRUE(waitFor(AppCloser::closeAppsNotInPreset({plain}, {}, DockAppKind::Bundle)));
    EXPECT_TRUE(apps->running(pid));
    EXPECT_FALSE(logs.printedContaining("Closing app:"));
}
