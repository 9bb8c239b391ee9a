#include "SwitchingFixtures.h"

#include "app/Sandbox.h"
#include "apply/DockManager.h"
#include "core/LastContextNotificationKeys.h"
#include "dock/DockReader.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/ProcessRunner.h"
#include "platform/SystemPaths.h"
#include "platform/UserDefaults.h"
#include "store/ManagedObjectContext.h"
#include "switching/ActionManager.h"
#include "switching/AppNoteManager.h"
#include "switching/PresetSnapshot.h"
#include "targets/SandboxTarget.h"

using namespace pierline;
using namespace pierline::test;

namespace {

const QString kMissingId = QStringLiteral("0F0F0F0F-1111-2222-3333-444455556666");

UserDefaults& defaults() {
    return UserDefaults::standard();
}

// The sandbox home (its Dock, tools and sample apps) around the store, apps and virtual time.
class SwitchingApply : public SwitchingStoreTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(Sandbox::init(home.path(), true).ok);
        QDir().mkpath(home.file("tmp"));
        SwitchingStoreTest::SetUp();
        DockManager::shared().resetForTesting();
        defaults().set("useDockutil", false);
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
};

} // namespace

// The grace periods themselves are timed by the closer's own tests; here the apply hands it the
// preset's apps and the excluded ones, and a hung app is still forced.
TEST_F(SwitchingApply, ClosingAppsSparesThePresetExcludedAgentsAndSelfAndForcesHungOnes) {
    const QString kept = apps->makeApp("Kept", "com.example.kept");
    const QString excluded = apps->makeApp("Excluded", "com.example.excluded");
    makePreset("B", {entryFor(kept), "pierline-spacer-1"});
    const qint64 otherPid = apps->launch(apps->makeApp("Other", "com.example.other"));
    const qint64 hungPid = apps->launch(apps->makeApp("Hung", "com.example.hung", {}, {"ignore-term"}));
    const qint64 spared[] = {apps->launch(kept), apps->launch(excluded),
                             apps->launch(apps->makeApp("Agent", "com.example.agent", "<key>LSUIElement</key><true/>")),
                             apps->launch(apps->makeApp("Pierline", "com.corvane.pierline"))};
    defaults().set("closeOtherApps", true);
    defaults().set("excludedApps", QStringList{QDir::cleanPath(excluded)});

    const ApplyHandle handle = apply("B");
    EXPECT_EQ(handle.outcome, ApplyHandle::Outcome::Written);
    ASSERT_TRUE(handle.closing.has_value());
    EXPECT_TRUE(waitUntil([&] { return !apps->running(otherPid) && !apps->running(hungPid); }));
    EXPECT_TRUE(logs.printed("Force terminating hung app: Hung"));
    for (qint64 pid : spared)
        EXPECT_TRUE(apps->running(pid)) << pid;
    EXPECT_EQ(DockReader::getDockApps(), (QStringList{entryFor(kept), "pierline-spacer-1"}));
}

// A dock target that changes the dockTarget setting while it writes, as a user might mid-switch.
class SettingChangingTarget : public DockTarget {
public:
    QString id() const override { return sandbox_.id(); }
    QString displayName() const override { return sandbox_.displayName(); }
    TargetStatus status() const override { return sandbox_.status(); }
    std::variant<DockReading, DockReadError> read() const override { return sandbox_.read(); }
    DockAppKind appKind() const override { return sandbox_.appKind(); }
    DockWriteReport write(const QString& name, const QStringList& apps, const QList<DockFolderStackValues>& items,
                          const std::function<void()>& finish) override {
        UserDefaults::standard().set("dockTarget", "gnome");
        return sandbox_.write(name, apps, items, finish);
    }

private:
    SandboxTarget sandbox_;
};

// One switch chooses its dock once: the writer, the auto-save, the app closer and the actions all
// work on that dock even when the setting changes under the switch.
TEST_F(SwitchingApply, OneSwitchChoosesItsDockOnceAndKeepsItWhenTheSettingChanges) {
    int resolutions = 0;
    DockManager::shared().setTargetFactoryForTesting([&]() -> std::unique_ptr<DockTarget> {
        ++resolutions;
        if (chooseDockTarget().id != QLatin1String("sandbox"))
            return makeDockTarget(chooseDockTarget().id);
        return std::make_unique<SettingChangingTarget>();
    });
    const QString editor = apps->makeApp("Editor", "com.example.editor");
    const qint64 otherPid = apps->launch(apps->makeApp("Other", "com.example.other"));
    const DockPresetPtr a = makePreset("A", {});
    const DockPresetPtr b = makePreset("B", {entryFor(editor)});
    ActionManager::shared().setAction(*b, entryFor(editor), OpenAppAction(), context());
    for (const char* key : {"closeOtherApps", "skipApplyIfSamePreset", "autoSaveCurrentDockToLastPreset"})
        defaults().set(key, true);
    defaults().set("dockTarget", "sandbox");
    defaults().set(DockManager::kLastAppliedNameKey, "A");
    defaults().set(DockManager::kLastAppliedIdKey, a->idString());
    DockManager::shared().resetForTesting();

    const ApplyHandle handle = apply("B");
    DockManager::shared().setTargetFactoryForTesting({});
    EXPECT_EQ(handle.outcome, ApplyHandle::Outcome::Written);
    EXPECT_EQ(resolutions, 1);
    EXPECT_EQ(defaults().string("dockTarget"), "gnome");
    EXPECT_TRUE(logs.printed("Auto-save: Successfully saved current dock state to preset 'A'"));
    // The closer and the action still see the sandbox's bundles, not desktop files.
    EXPECT_TRUE(waitUntil([&] { return !apps->running(otherPid); }));
    EXPECT_TRUE(waitUntil([&] { return !apps->appsFrom(editor).isEmpty(); }));
    EXPECT_TRUE(logs.printed("  • Open app actions: 1"));
    EXPECT_TRUE(logs.printed("✅ Actions executed: 1"));
}

TEST_F(SwitchingApply, LeavingAnExcludedPresetClosesNothing) {
    const qint64 otherPid = apps->launch(apps->makeApp("Other", "com.example.other"));
    const DockPresetPtr a = makePreset("A", {});
    makePreset("B", {});
    defaults().set("closeOtherApps", true);
    defaults().set("excludedPresetIds", QStringList{a->idString()});
    defaults().set(DockManager::kLastAppliedNameKey, "A");
    defaults().set(DockManager::kLastAppliedIdKey, a->idString());
    DockManager::shared().resetForTesting();

    const ApplyHandle leaving = apply("B");
    EXPECT_EQ(leaving.outcome, ApplyHandle::Outcome::Written);
    EXPECT_FALSE(leaving.closing.has_value());
    EXPECT_TRUE(logs.printed("Skipping app closure - leaving excluded preset: A"));
    EXPECT_TRUE(apps->running(otherPid));

    // Entering the excluded preset from an ordinary one closes as usual.
    const ApplyHandle entering = apply("A", true);
    ASSERT_TRUE(entering.closing.has_value());
    EXPECT_TRUE(waitUntil([&] { return !apps->running(otherPid); }));
}

TEST_F(SwitchingApply, IdeActionHandsTheProjectToTheIdeAfterClosingItButNotForAMissingProject) {
    const QString record = home.file("ide-args.txt");
    const QString ide = apps->makeApp("Workbench IDE", "com.example.ide", {}, {"record=" + record});
    const QString project = home.file("Projects/Pierline Demo");
    QDir().mkpath(project);
    const DockPresetPtr preset = makePreset("Code", {entryFor(ide)});
    ActionManager::shared().setAction(*preset, entryFor(ide), OpenInIDEAction(project), context());
    const qint64 oldIde = apps->launch(ide);

    apply("Code");
    EXPECT_TRUE(waitUntil([&] { return readFile(record).contains(project); }));
    EXPECT_FALSE(apps->running(oldIde));
    EXPECT_TRUE(logs.printed("  • IDE actions: 1"));

    // A project that is gone fails the action and leaves the running IDE alone.
    const QString missing = home.file("Projects/gone");
    ActionManager::shared().setAction(*preset, entryFor(ide), OpenInIDEAction(missing), context());
    ASSERT_TRUE(waitUntil([&] { return apps->appsFrom(ide).size() == 1; }));
    const qint64 running = apps->appsFrom(ide).first().pid;
    logs.clear();
    apply("Code", true);
    EXPECT_TRUE(logs.printed(QStringLiteral("     ❌ Project path '%1' is invalid or does not exist.").arg(missing)));
    EXPECT_TRUE(logs.printedContaining(" IDE action failed: "));
    EXPECT_TRUE(logs.printed("✅ Actions executed: 0"));
    EXPECT_TRUE(apps->running(running));
    EXPECT_EQ(apps->appsFrom(ide).size(), 1);
}

TEST_F(SwitchingApply, AutoSaveWritesTheDockBeingLeftIntoTheLastPreset) {
    const QStringList dockApps = DockReader::getDockApps();
    const QList<DockItem> dockItems = DockReader::getDockItems();
    ASSERT_FALSE(dockApps.isEmpty());
    const QString gone = "file:///Applications/Gone.app/";
    const DockPresetPtr a = makePreset("A", {gone, dockApps.first()});
    DockPresetManager::shared().addFolderStack(a, "/tmp/old-folder");
    AppNoteManager::shared().setNote(*a, gone, "obsolete", context());
    AppNoteManager::shared().setNote(*a, dockApps.first(), "keep me", context());
    makePreset("B", {});
    defaults().set("autoSaveCurrentDockToLastPreset", true);
    defaults().set(DockManager::kLastAppliedNameKey, "A");
    DockManager::shared().resetForTesting();

    apply("B");
    EXPECT_TRUE(logs.printed("Auto-save: Saving current dock state to preset 'A' before switching to 'B'"));
    EXPECT_TRUE(logs.printed("Auto-save: Successfully saved current dock state to preset 'A'"));
    const DockPresetPtr saved = DockPresetManager::shared().fetchPreset("A");
    EXPECT_EQ(decodeApps(saved->apps()), dockApps);
    const QList<DockFolderStackPtr> items = saved->folderStacksArray();
    ASSERT_EQ(items.size(), dockItems.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i]->order(), i);
        EXPECT_EQ(items[i]->values().url, storedItemFromDockItem(dockItems[i], StoredItemKinds::All)->url);
    }
    EXPECT_FALSE(AppNoteManager::shared().note(*saved, gone).has_value());
    EXPECT_EQ(AppNoteManager::shared().note(*saved, dockApps.first()), "keep me");

    // Switching from a preset to itself saves nothing.
    logs.clear();
    DockManager::shared().autoSaveCurrentDock("B", *makeDockTarget("sandbox"));
    EXPECT_TRUE(logs.printed("Auto-save: Skipping - switching to the same preset (B)"));
}

TEST_F(SwitchingApply, CooldownHoldsTheSecondApplyUnlessBypassedAndAnnouncesEachSwitch) {
    QList<QVariantMap> posts;
    const ObserverToken token = NotificationCenter::shared().addObserver(
        kPresetSwitchContextRequestedNotification, Delivery::PosterThread, [&](const Notification& n) {
            EXPECT_TRUE(isMainThread());
            posts.append(n.userInfo);
        });
    const DockPresetPtr a = makePreset("A", {});
    const DockPresetPtr b = makePreset("B", {});
    EXPECT_EQ(apply("A").outcome, ApplyHandle::Outcome::Written); // never held: first apply
    EXPECT_FALSE(defaults().contains(DockManager::kUnfinishedSwitchKey));
    time.clock.advance(2.0);

    EXPECT_EQ(apply("B").outcome, ApplyHandle::Outcome::HeldByCooldown);
    EXPECT_TRUE(logs.printed("Please wait 2.0 seconds before applying another preset"));
    EXPECT_TRUE(logs.logged("applyPreset SKIPPED: 'B' blocked by cooldown remaining=2.0s"));
    EXPECT_EQ(DockManager::shared().lastAppliedPresetName(), "A");
    EXPECT_EQ(defaults().string(DockManager::kLastAppliedNameKey), "A");

    // The held request did not restart the cooldown: four seconds after A, B goes through.
    time.clock.advance(2.1);
    EXPECT_EQ(apply("B").outcome, ApplyHandle::Outcome::Written);
    EXPECT_EQ(DockManager::shared().lastAppliedPresetName(), "B");

    EXPECT_EQ(apply("A", true).outcome, ApplyHandle::Outcome::Written);
    EXPECT_TRUE(logs.printed("Bypassing apply cooldown for preset 'A'"));
    drainMainQueue(); // the requests are posted through the main queue
    NotificationCenter::shared().removeObserver(token);

    // The Last Context request carries both presets; the first switch has no previous one.
    using Keys = LastContextNotificationKeys;
    ASSERT_EQ(posts.size(), 3);
    EXPECT_EQ(posts[0].value(Keys::newPresetName).toString(), "A");
    EXPECT_EQ(posts[0].value(Keys::newPresetID).toUuid(), *a->id());
    EXPECT_FALSE(posts[0].contains(Keys::previousPresetName) || posts[0].contains(Keys::previousPresetID));
    EXPECT_EQ(posts[1].value(Keys::previousPresetName).toString(), "A");
    EXPECT_EQ(posts[1].value(Keys::previousPresetID).toUuid(), *a->id());
    EXPECT_EQ(posts[1].value(Keys::newPresetName).toString(), "B");
    EXPECT_EQ(posts[1].value(Keys::newPresetID).toUuid(), *b->id());
}

TEST_F(SwitchingApply, SkipSettingSkipsTheActivePresetButReappliesAStaleOne) {
    const DockPresetPtr a = makePreset("A", {"file:///Applications/Safari.app/", "pierline-spacer-1"});
    defaults().set("skipApplyIfSamePreset", true);
    EXPECT_EQ(apply("A").outcome, ApplyHandle::Outcome::Written);
    EXPECT_EQ(defaults().string(DockManager::kLastAppliedIdKey), a->idString());

    time.clock.advance(5.0);
    EXPECT_EQ(apply("A").outcome, ApplyHandle::Outcome::AlreadyActive);
    EXPECT_TRUE(logs.printed("Skipping preset apply - 'A' is already the active preset (skip setting enabled)"));

    // The user changed the Dock since: the record is stale and the preset goes on again.
    const ProcessResult removed =
        runProcess(home.file("usr/local/bin/dockutil"), {"--remove", "Safari", "--no-restart"});
    ASSERT_EQ(removed.exitStatus, 0) << removed.stderrData.toStdString();
    time.clock.advance(5.0);
    EXPECT_EQ(apply("A").outcome, ApplyHandle::Outcome::Written);
    EXPECT_TRUE(logs.printed("Dock no longer matches preset 'A' — reapplying despite skip setting"));
    EXPECT_EQ(DockReader::getDockApps().size(), 2);
}

TEST_F(SwitchingApply, UnknownPresetIsRefusedAndWritesNothing) {
    const QStringList before = DockReader::getDockApps();
    for (const auto& [handle, line] :
         {std::pair{apply("Nope"), QStringLiteral("Cannot apply preset 'Nope': no preset has that name")},
          std::pair{DockManager::shared().applyPreset(QUuid::fromString(kMissingId), false),
                    QStringLiteral("Cannot apply preset %1: no preset has that id").arg(kMissingId)}}) {
        EXPECT_EQ(handle.outcome, ApplyHandle::Outcome::UnknownPreset);
        EXPECT_FALSE(handle.actions.has_value());
        EXPECT_TRUE(logs.warned(line)) << line.toStdString();
    }
    EXPECT_EQ(DockReader::getDockApps(), before);
    EXPECT_FALSE(defaults().contains(DockManager::kLastAppliedNameKey));
}

// A write that stops before the Dock (its files cannot be written) switches nothing.
TEST_F(SwitchingApply, FailedWriteRecordsNothingAndRunsNoSideEffect) {
    FakeCompanion companion(home);
    QList<QVariantMap> posts;
    const ObserverToken token =
        NotificationCenter::shared().addObserver(kPresetSwitchContextRequestedNotification, Delivery::PosterThread,
                                                 [&](const Notification& n) { posts.append(n.userInfo); });
    const qint64 otherPid = apps->launch(apps->makeApp("Other", "com.example.other"));
    const DockPresetPtr b = makePreset("B", {"pierline-spacer-1"});
    b->setHarborletConfiguration(HarborletConfiguration{{"dev"}, {}});
    context().save();
    defaults().set("integrateWithHarborlet", true);
    defaults().set("closeOtherApps", true);
    home.write("not-a-folder", "x");
    ScopedEnv tmp("TMPDIR", home.file("not-a-folder/tmp").toUtf8());
    const QStringList before = DockReader::getDockApps();

    const ApplyHandle handle = apply("B");
    EXPECT_EQ(handle.outcome, ApplyHandle::Outcome::WriteFailed);
    EXPECT_FALSE(handle.closing || handle.actions);
    EXPECT_TRUE(logs.printedContaining("Error applying preset using defaults: "));
    EXPECT_FALSE(logs.printedContaining("APP ACTION LOGGING"));
    EXPECT_FALSE(logs.printedContaining("[Pierline]"));
    EXPECT_EQ(DockReader::getDockApps(), before);
    EXPECT_FALSE(DockManager::shared().lastApplyTime().has_value());
    for (const QString& key :
         {DockManager::kLastAppliedNameKey, DockManager::kLastAppliedIdKey, DockManager::kUnfinishedSwitchKey})
        EXPECT_FALSE(defaults().contains(key)) << key.toStdString();
    QCoreApplication::processEvents();
    EXPECT_TRUE(posts.isEmpty());
    PierlineIntegration::shared().showDock("marker"); // commands arrive in order: nothing came before it
    EXPECT_TRUE(waitUntil([&] { return !companion.lines().isEmpty(); }));
    EXPECT_EQ(companion.lines(), QStringList{R"({"command":"show","id":"marker"})"});
    EXPECT_TRUE(apps->running(otherPid));
    NotificationCenter::shared().removeObserver(token);
}

// A switch that cannot mark itself unfinished does not start: a kill could not be told apart.
TEST_F(SwitchingApply, ASwitchThatCannotBeMarkedDoesNotTouchTheDock) {
    makePreset("B", {"pierline-spacer-1"});
    const QStringList before = DockReader::getDockApps();
    const QString lock = UserDefaults::lockFilePath(SystemPaths::preferencesFile(SystemPaths::ownBundleIdentifier()));
    QFile::remove(lock);
    ASSERT_TRUE(QDir().mkpath(lock)); // a folder where the lock file belongs: every write fails

    const ApplyHandle handle = apply("B");
    EXPECT_EQ(handle.outcome, ApplyHandle::Outcome::WriteFailed);
    EXPECT_TRUE(logs.warnedContaining("Cannot apply 'B': ")) << logs.warningLines().join('\n').toStdString();
    EXPECT_EQ(DockReader::getDockApps(), before);
    EXPECT_FALSE(handle.closing || handle.actions);
    QDir(lock).removeRecursively();
}

// The hand-off's task without a store: actions first, the switch-context request after them.
using ApplyHandOff = SwitchingStoreTest;

TEST_F(ApplyHandOff, LastContextRequestComesAfterTheActionsFinish) {
    const QString editor = apps->makeApp("Editor", "com.example.editor");
    PresetSnapshot preset{.name = "Code", .stored = true, .apps = {entryFor(editor)}};
    preset.appActions.insert(entryFor(editor), OpenAppAction().record());
    bool actionsDoneAtPost = false;
    int postsSeen = 0;
    const ObserverToken token = NotificationCenter::shared().addObserver(
        kPresetSwitchContextRequestedNotification, Delivery::PosterThread, [&](const Notification& n) {
            ++postsSeen;
            actionsDoneAtPost = logs.printed("📱 Total apps processed: 1") && !apps->appsFrom(editor).isEmpty();
            EXPECT_EQ(n.userInfo.value(LastContextNotificationKeys::newPresetName).toString(), "Code");
        });

    const QFuture<void> task = DockManager::runActionsThenRequestContext(preset, DockAppKind::Bundle,
                                                                         LastContextSwitchInfo{{}, {}, "Code", {}});
    ASSERT_TRUE(waitFor(task));
    EXPECT_TRUE(waitUntil([&] { return postsSeen == 1; }));
    EXPECT_TRUE(actionsDoneAtPost);
    EXPECT_TRUE(logs.printed("✅ Actions executed: 1"));
    NotificationCenter::shared().removeObserver(token);
}

// A companion-only preset leaves the Dock alone in every step: no reading, writing, closing or auto-save.
TEST_F(SwitchingApply, CompanionOnlyPresetLeavesTheDockAndSendsItsDocks) {
    FakeCompanion companion(home);
    const qint64 otherPid = apps->launch(apps->makeApp("Other", "com.example.other"));
    const DockPresetPtr a = makePreset("A", {"pierline-spacer-1"});
    const DockPresetPtr docks = makePreset("Docks", {"file:///Applications/X.app/"});
    docks->setHarborletOnlyMode(true);
    docks->setHarborletConfiguration(HarborletConfiguration{{"dev", "both"}, {"both", "chat"}});
    context().save();
    const QString savedApps = *a->apps();
    for (const char* key :
         {"integrateWithHarborlet", "closeOtherApps", "skipApplyIfSamePreset", "autoSaveCurrentDockToLastPreset"})
        defaults().set(key, true);
    defaults().set(DockManager::kLastAppliedNameKey, "A");
    defaults().set(DockManager::kLastAppliedIdKey, a->idString());
    DockManager::shared().resetForTesting();
    const QStringList dockBefore = DockReader::getDockApps();

    const ApplyHandle handle = apply("Docks");
    EXPECT_EQ(handle.outcome, ApplyHandle::Outcome::HarborletOnly);
    EXPECT_EQ(DockReader::getDockApps(), dockBefore);
    EXPECT_FALSE(handle.closing.has_value());
    EXPECT_TRUE(apps->running(otherPid));
    EXPECT_FALSE(logs.printedContaining("Auto-save:"));
    EXPECT_EQ(DockPresetManager::shared().fetchPreset("A")->apps(), savedApps);
    EXPECT_EQ(DockManager::shared().lastAppliedPresetName(), "Docks");
    const QStringList expected{R"({"command":"hide","id":"both"})", R"({"command":"hide","id":"chat"})",
                               R"({"command":"show","id":"dev"})", R"({"command":"show","id":"both"})"};
    EXPECT_TRUE(waitUntil([&] { return companion.lines() == expected; })) << companion.lines().join('\n').toStdString();

    // An unreadable Dock would be reported if the "already active" test read it.
    home.write("Library/Preferences/com.apple.dock.plist", "garbage");
    logs.clear();
    time.clock.advance(5.0);
    EXPECT_EQ(apply("Docks").outcome, ApplyHandle::Outcome::AlreadyActive);
    EXPECT_FALSE(logs.printedContaining("could not verify dock state"));
}
