#include "SwitchingFixtures.h"
#include "support/CapturingLogSink.h"
#include "support/VirtualClock.h"

#include "app/Sandbox.h"
#include "core/ActionManager.h"
#include "core/LastContextNotificationKeys.h"
#include "core/PierlineIntegration.h"
#include "dock/DockManager.h"
#include "dock/DockReader.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/ProcessRunner.h"
#include "platform/SystemPaths.h"
#include "platform/UserDefaults.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "store/PresetRecord.h"
#include "switching/AppNoteManager.h"

using namespace pierline;
using namespace pierline::test;

namespace {

QString entryFor(const QString& bundle) {
    return QUrl::fromLocalFile(bundle + QLatin1Char('/')).toString();
}

UserDefaults& defaults() {
    return UserDefaults::standard();
}

// The sandbox home (its Dock, tools and sample apps) plus fake apps that are real processes;
// the presets live in a fresh store; time is virtual.
class SwitchingApply : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Sandbox::init(home.path(), true).ok);
        QDir().mkpath(home.file(QStringLiteral("tmp")));
        apps = std::make_unique<RunningApps>(home);
        DockPresetManager::resetSharedForTesting();
        DockPresetManager::Options options;
        options.monitorNetwork = false;
        DockPresetManager::setSharedOptions(options);
        DockManager::shared().resetForTesting();
        defaults().set(QStringLiteral("useDockutil"), false);
    }
    void TearDown() override {
        apps.reset();
        QCoreApplication::processEvents();
        DockPresetManager::resetSharedForTesting();
    }

    DockPresetPtr makePreset(const QString& name, const QStringList& entries) {
        return DockPresetManager::shared().createPreset(name, encodeApps(entries));
    }

    static void settle(const ApplyHandle& handle) {
        if (handle.closing) {
            EXPECT_TRUE(waitFor(*handle.closing));
        }
        if (handle.actions) {
            EXPECT_TRUE(waitFor(*handle.actions));
        }
    }

    ApplyHandle apply(const QString& name, bool bypass = false) {
        const ApplyHandle handle = DockManager::shared().applyPreset(name, bypass);
        settle(handle);
        return handle;
    }

    // As the triggers do: on a background queue, so the test can hold the virtual clock.
    QFuture<ApplyHandle> applyInBackground(const QString& name) {
        return runAsync(QueuePriority::UserInitiated,
                        [name] { return DockManager::shared().applyPreset(name, false); });
    }

    bool sleepersReach(int n) {
        return RunningApps::waitUntil([&] { return time.clock.sleepers() >= n; });
    }

    TempHome home;
    VirtualTime time;
    CapturingLogSink logs;
    std::unique_ptr<RunningApps> apps;
};

} // namespace

TEST_F(SwitchingApply, ClosingAppsTerminatesForcesAndSparesTheRightOnes) {
    const QString kept = apps->makeApp(QStringLiteral("Kept"), QStringLiteral("com.example.kept"));
    const QString other = apps->makeApp(QStringLiteral("Other"), QStringLiteral("com.example.other"));
    const QString hung =
        apps->makeApp(QStringLiteral("Hung"), QStringLiteral("com.example.hung"), {}, {QStringLiteral("ignore-term")});
    const QString excluded = apps->makeApp(QStringLiteral("Excluded"), QStringLiteral("com.example.excluded"));
    const QString agent = apps->makeApp(QStringLiteral("Agent"), QStringLiteral("com.example.agent"),
                                        QStringLiteral("<key>LSUIElement</key><true/>"));
    const QString self = apps->makeApp(QStringLiteral("Pierline"), QStringLiteral("com.corvane.pierline"));
    makePreset(QStringLiteral("B"), {entryFor(kept), QStringLiteral("pierline-spacer-1")});
    const qint64 keptPid = apps->launch(kept), otherPid = apps->launch(other), hungPid = apps->launch(hung);
    const qint64 excludedPid = apps->launch(excluded), agentPid = apps->launch(agent), selfPid = apps->launch(self);
    defaults().set(QStringLiteral("closeOtherApps"), true);
    defaults().set(QStringLiteral("excludedApps"), QStringList{QDir::cleanPath(excluded)});

    time.clock.setAutoAdvance(false);
    QFuture<ApplyHandle> applying = applyInBackground(QStringLiteral("B"));
    ASSERT_TRUE(sleepersReach(1)); // the writer's pause after the Dock restart
    time.clock.advance(1.0);
    ASSERT_TRUE(sleepersReach(2)); // Other and Hung in their grace period
    ASSERT_TRUE(RunningApps::waitUntil([&] { return !apps->running(otherPid); }));
    time.clock.advance(1.9);
    EXPECT_TRUE(apps->running(hungPid));
    time.clock.advance(0.1);
    ASSERT_TRUE(waitFor(applying));
    settle(applying.result());

    EXPECT_TRUE(RunningApps::waitUntil([&] { return !apps->running(hungPid); }));
    EXPECT_TRUE(logs.printed(QStringLiteral("Force terminating hung app: Hung")));
    EXPECT_FALSE(logs.printed(QStringLiteral("Force terminating hung app: Other")));
    for (qint64 pid : {keptPid, excludedPid, agentPid, selfPid})
        EXPECT_TRUE(apps->running(pid)) << pid;
    EXPECT_EQ(applying.result().outcome, ApplyHandle::Outcome::Written);
    EXPECT_EQ(DockReader::getDockApps(), (QStringList{entryFor(kept), QStringLiteral("pierline-spacer-1")}));
}

TEST_F(SwitchingApply, LeavingAnExcludedPresetClosesNothing) {
    const QString other = apps->makeApp(QStringLiteral("Other"), QStringLiteral("com.example.other"));
    const DockPresetPtr a = makePreset(QStringLiteral("A"), {});
    makePreset(QStringLiteral("B"), {});
    const qint64 otherPid = apps->launch(other);
    defaults().set(QStringLiteral("closeOtherApps"), true);
    defaults().set(QStringLiteral("excludedPresetIds"), QStringList{a->idString()});
    defaults().set(DockManager::kLastAppliedNameKey, QStringLiteral("A"));
    defaults().set(DockManager::kLastAppliedIdKey, a->idString());
    DockManager::shared().resetForTesting();

    const ApplyHandle leaving = apply(QStringLiteral("B"));
    EXPECT_EQ(leaving.outcome, ApplyHandle::Outcome::Written);
    EXPECT_FALSE(leaving.closing.has_value());
    EXPECT_TRUE(logs.printed(QStringLiteral("Skipping app closure - leaving excluded preset: A")));
    EXPECT_TRUE(apps->running(otherPid));

    // Entering the excluded preset from an ordinary one closes as usual.
    const ApplyHandle entering = apply(QStringLiteral("A"), true);
    ASSERT_TRUE(entering.closing.has_value());
    EXPECT_TRUE(RunningApps::waitUntil([&] { return !apps->running(otherPid); }));
}

TEST_F(SwitchingApply, IdeActionHandsTheProjectToTheIdeAfterClosingIt) {
    const QString record = home.file(QStringLiteral("ide-args.txt"));
    const QString ide = apps->makeApp(QStringLiteral("Workbench IDE"), QStringLiteral("com.example.ide"), {},
                                      {QStringLiteral("record=") + record});
    const QString project = home.file(QStringLiteral("Projects/Pierline Demo"));
    QDir().mkpath(project);
    const DockPresetPtr preset = makePreset(QStringLiteral("Code"), {entryFor(ide)});
    ActionManager::shared().setAction(*preset, entryFor(ide), OpenInIDEAction(project),
                                      DockPresetManager::shared().context());
    const qint64 oldIde = apps->launch(ide);

    apply(QStringLiteral("Code"));
    EXPECT_TRUE(RunningApps::waitUntil([&] { return readFile(record).contains(project); }));
    EXPECT_FALSE(apps->running(oldIde));
    EXPECT_TRUE(
        logs.printed(QStringLiteral("     🔄 Found 1 running instance(s) of Workbench IDE.app. Closing them...")));
    EXPECT_TRUE(logs.printed(QStringLiteral("     ✅ Successfully requested to open project 'Pierline Demo' with "
                                            "'Workbench IDE'")));
    EXPECT_TRUE(logs.printed(QStringLiteral("✅ Actions executed: 1")));
    EXPECT_TRUE(logs.printed(QStringLiteral("  • IDE actions: 1")));
}

TEST_F(SwitchingApply, IdeActionWithMissingProjectFailsWithoutClosingTheIde) {
    const QString ide = apps->makeApp(QStringLiteral("Workbench IDE"), QStringLiteral("com.example.ide"));
    const QString missing = home.file(QStringLiteral("Projects/gone"));
    const DockPresetPtr preset = makePreset(QStringLiteral("Code"), {entryFor(ide)});
    ActionManager::shared().setAction(*preset, entryFor(ide), OpenInIDEAction(missing),
                                      DockPresetManager::shared().context());
    const qint64 running = apps->launch(ide);

    apply(QStringLiteral("Code"));
    EXPECT_TRUE(logs.printed(QStringLiteral("     ❌ Project path '%1' is invalid or does not exist.").arg(missing)));
    EXPECT_TRUE(logs.printedContaining(QStringLiteral(" IDE action failed: ")));
    EXPECT_TRUE(logs.printed(QStringLiteral("✅ Actions executed: 0")));
    EXPECT_TRUE(apps->running(running));
    EXPECT_EQ(apps->appsFrom(ide).size(), 1);
}

TEST_F(SwitchingApply, AutoSaveWritesTheDockBeingLeftIntoTheLastPreset) {
    const QStringList dockApps = DockReader::getDockApps();
    const QList<DockItem> dockItems = DockReader::getDockItems();
    ASSERT_FALSE(dockApps.isEmpty());
    const QString gone = QStringLiteral("file:///Applications/Gone.app/");
    const DockPresetPtr a = makePreset(QStringLiteral("A"), {gone, dockApps.first()});
    DockPresetManager::shared().addFolderStack(a, QStringLiteral("/tmp/old-folder"));
    AppNoteManager::shared().setNote(*a, gone, QStringLiteral("obsolete"), DockPresetManager::shared().context());
    AppNoteManager::shared().setNote(*a, dockApps.first(), QStringLiteral("keep me"),
                                     DockPresetManager::shared().context());
    makePreset(QStringLiteral("B"), {});
    defaults().set(QStringLiteral("autoSaveCurrentDockToLastPreset"), true);
    defaults().set(DockManager::kLastAppliedNameKey, QStringLiteral("A"));
    DockManager::shared().resetForTesting();

    apply(QStringLiteral("B"));
    EXPECT_TRUE(
        logs.printed(QStringLiteral("Auto-save: Saving current dock state to preset 'A' before switching to 'B'")));
    EXPECT_TRUE(logs.printed(QStringLiteral("Auto-save: Successfully saved current dock state to preset 'A'")));
    const DockPresetPtr saved = DockPresetManager::shared().fetchPreset(QStringLiteral("A"));
    EXPECT_EQ(decodeApps(saved->apps()), dockApps);
    const QList<DockFolderStackPtr> items = saved->folderStacksArray();
    ASSERT_EQ(items.size(), dockItems.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i]->order(), i);
        EXPECT_EQ(items[i]->values().url, storedItemFromDockItem(dockItems[i], StoredItemKinds::All)->url);
    }
    EXPECT_FALSE(AppNoteManager::shared().note(*saved, gone).has_value());
    EXPECT_EQ(AppNoteManager::shared().note(*saved, dockApps.first()), QStringLiteral("keep me"));

    // Switching from a preset to itself saves nothing.
    logs.clear();
    DockManager::shared().autoSaveCurrentDock(QStringLiteral("B"));
    EXPECT_TRUE(logs.printed(QStringLiteral("Auto-save: Skipping - switching to the same preset (B)")));
}

TEST_F(SwitchingApply, CooldownHoldsTheSecondApplyUnlessBypassed) {
    makePreset(QStringLiteral("A"), {});
    makePreset(QStringLiteral("B"), {});
    EXPECT_EQ(apply(QStringLiteral("A")).outcome, ApplyHandle::Outcome::Written); // never held: first apply
    time.clock.advance(2.0);

    EXPECT_EQ(apply(QStringLiteral("B")).outcome, ApplyHandle::Outcome::HeldByCooldown);
    EXPECT_TRUE(logs.printed(QStringLiteral("Please wait 2.0 seconds before applying another preset")));
    EXPECT_TRUE(logs.logged(QStringLiteral("applyPreset SKIPPED: 'B' blocked by cooldown remaining=2.0s")));
    EXPECT_EQ(DockManager::shared().lastAppliedPresetName(), QStringLiteral("A"));
    EXPECT_EQ(defaults().string(DockManager::kLastAppliedNameKey), QStringLiteral("A"));

    EXPECT_EQ(apply(QStringLiteral("B"), true).outcome, ApplyHandle::Outcome::Written);
    EXPECT_TRUE(logs.printed(QStringLiteral("Bypassing apply cooldown for preset 'B'")));
    EXPECT_EQ(DockManager::shared().lastAppliedPresetName(), QStringLiteral("B"));
}

TEST_F(SwitchingApply, SkipSettingSkipsTheActivePresetButReappliesAStaleOne) {
    const DockPresetPtr a = makePreset(
        QStringLiteral("A"), {QStringLiteral("file:///Applications/Safari.app/"), QStringLiteral("pierline-spacer-1")});
    defaults().set(QStringLiteral("skipApplyIfSamePreset"), true);
    EXPECT_EQ(apply(QStringLiteral("A")).outcome, ApplyHandle::Outcome::Written);
    EXPECT_EQ(defaults().string(DockManager::kLastAppliedIdKey), a->idString());

    time.clock.advance(5.0);
    EXPECT_EQ(apply(QStringLiteral("A")).outcome, ApplyHandle::Outcome::AlreadyActive);
    EXPECT_TRUE(logs.printed(
        QStringLiteral("Skipping preset apply - 'A' is already the active preset (skip setting enabled)")));

    // The user changed the Dock since: the record is stale and the preset goes on again.
    const ProcessResult removed =
        runProcess(home.file(QStringLiteral("usr/local/bin/dockutil")),
                   {QStringLiteral("--remove"), QStringLiteral("Safari"), QStringLiteral("--no-restart")});
    ASSERT_EQ(removed.exitStatus, 0) << removed.stderrData.toStdString();
    time.clock.advance(5.0);
    EXPECT_EQ(apply(QStringLiteral("A")).outcome, ApplyHandle::Outcome::Written);
    EXPECT_TRUE(logs.printed(QStringLiteral("Dock no longer matches preset 'A' — reapplying despite skip setting")));
    EXPECT_EQ(DockReader::getDockApps().size(), 2);
}

TEST_F(SwitchingApply, SwitchContextRequestCarriesBothPresets) {
    QList<QVariantMap> posts;
    const ObserverToken token = NotificationCenter::shared().addObserver(
        kPresetSwitchContextRequestedNotification, Delivery::PosterThread, [&](const Notification& n) {
            EXPECT_TRUE(isMainThread());
            posts.append(n.userInfo);
        });
    const DockPresetPtr a = makePreset(QStringLiteral("A"), {});
    const DockPresetPtr b = makePreset(QStringLiteral("B"), {});
    apply(QStringLiteral("A"));
    time.clock.advance(5.0);
    apply(QStringLiteral("B"));
    NotificationCenter::shared().removeObserver(token);

    ASSERT_EQ(posts.size(), 2);
    EXPECT_EQ(posts[0].value(LastContextNotificationKeys::newPresetName).toString(), QStringLiteral("A"));
    EXPECT_EQ(posts[0].value(LastContextNotificationKeys::newPresetID).toUuid(), *a->id());
    EXPECT_FALSE(posts[0].contains(LastContextNotificationKeys::previousPresetName));
    EXPECT_FALSE(posts[0].contains(LastContextNotificationKeys::previousPresetID));
    EXPECT_EQ(posts[1].value(LastContextNotificationKeys::previousPresetName).toString(), QStringLiteral("A"));
    EXPECT_EQ(posts[1].value(LastContextNotificationKeys::previousPresetID).toUuid(), *a->id());
    EXPECT_EQ(posts[1].value(LastContextNotificationKeys::newPresetName).toString(), QStringLiteral("B"));
    EXPECT_EQ(posts[1].value(LastContextNotificationKeys::newPresetID).toUuid(), *b->id());
}

TEST_F(SwitchingApply, UnknownPresetIsRefusedAndWritesNothing) {
    const QStringList before = DockReader::getDockApps();
    const ApplyHandle handle = apply(QStringLiteral("Nope"));
    EXPECT_EQ(handle.outcome, ApplyHandle::Outcome::UnknownPreset);
    EXPECT_FALSE(handle.actions.has_value());
    EXPECT_TRUE(logs.printed(QStringLiteral("Cannot apply preset 'Nope': no preset has that name")));
    EXPECT_EQ(DockReader::getDockApps(), before);
    EXPECT_FALSE(defaults().contains(DockManager::kLastAppliedNameKey));
}

TEST_F(SwitchingApply, CompanionOnlyPresetLeavesTheDockAndSendsHideFirst) {
    // The companion's socket goes under the temporary home.
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    const bool hadRuntime = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    const QString log = home.file(QStringLiteral("companion.log"));
    QProcess companion;
    companion.start(QStringLiteral(PIERLINE_FAKE_COMPANION), {PierlineIntegration::socketPath(), log});
    ASSERT_TRUE(companion.waitForStarted());
    ASSERT_TRUE(RunningApps::waitUntil([&] { return QFile::exists(log + QStringLiteral(".ready")); }));

    const QString other = apps->makeApp(QStringLiteral("Other"), QStringLiteral("com.example.other"));
    const qint64 otherPid = apps->launch(other);
    const DockPresetPtr docks = makePreset(QStringLiteral("Docks"), {QStringLiteral("file:///Applications/X.app/")});
    docks->setHarborletOnlyMode(true);
    docks->setHarborletConfiguration(HarborletConfiguration{{QStringLiteral("dev"), QStringLiteral("both")},
                                                            {QStringLiteral("both"), QStringLiteral("chat")}});
    DockPresetManager::shared().context().save();
    defaults().set(QStringLiteral("integrateWithHarborlet"), true);
    defaults().set(QStringLiteral("closeOtherApps"), true);
    const QStringList dockBefore = DockReader::getDockApps();

    const ApplyHandle handle = apply(QStringLiteral("Docks"));
    EXPECT_EQ(handle.outcome, ApplyHandle::Outcome::HarborletOnly);
    EXPECT_EQ(DockReader::getDockApps(), dockBefore);
    EXPECT_FALSE(handle.closing.has_value());
    EXPECT_TRUE(apps->running(otherPid));
    EXPECT_EQ(DockManager::shared().lastAppliedPresetName(), QStringLiteral("Docks"));
    EXPECT_TRUE(logs.printed(QStringLiteral("[Pierline] - Showing 2 dock(s)")));
    EXPECT_TRUE(logs.printed(QStringLiteral("[Pierline] - Hiding 2 dock(s)")));
    const QStringList expected{
        QStringLiteral(R"({"command":"hide","id":"both"})"), QStringLiteral(R"({"command":"hide","id":"chat"})"),
        QStringLiteral(R"({"command":"show","id":"dev"})"), QStringLiteral(R"({"command":"show","id":"both"})")};
    EXPECT_TRUE(RunningApps::waitUntil([&] { return readFile(log).split('\n', Qt::SkipEmptyParts) == expected; }))
        << readFile(log).toStdString();

    companion.terminate();
    companion.waitForFinished(3000);
    if (hadRuntime)
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
}

TEST_F(SwitchingApply, DockutilInTheBundleIsPreferred) {
    const QString bundle = home.file(QStringLiteral("Applications/Pierline.app"));
    QDir().mkpath(bundle + QStringLiteral("/Contents/Resources"));
    ASSERT_TRUE(QFile::link(SystemPaths::toolPath(QStringLiteral("dockutil")),
                            bundle + QStringLiteral("/Contents/Resources/dockutil")));
    makePreset(QStringLiteral("A"), {QStringLiteral("pierline-spacer-1")});
    defaults().set(QStringLiteral("useDockutil"), true);

    EXPECT_EQ(apply(QStringLiteral("A")).outcome, ApplyHandle::Outcome::Written);
    EXPECT_TRUE(
        logs.printed(QStringLiteral("dockutil found in the app bundle at %1. Applying preset using dockutil method.")
                         .arg(SystemPaths::bundleResource(QStringLiteral("dockutil")))));
    EXPECT_TRUE(logs.logged(QStringLiteral("applyPreset backend=dockutil source=bundle preset='A'")));
    EXPECT_EQ(DockReader::getDockApps(), QStringList{QStringLiteral("pierline-spacer-1")});
}
