#include "SwitchingFixtures.h"

#include "core/LockDockMonitor.h"
#include "platform/UserDefaults.h"
#include "switching/HarborletApplier.h"

using namespace pierline;
using namespace pierline::test;

TEST(SwitchingCompanion, CommandsArriveAsJsonLinesInOrderAndDocksAreListedKeepingTheLastGoodList) {
    TempHome home;
    PierlineIntegration& integration = PierlineIntegration::shared();
    {
        FakeCompanion companion(home);
        integration.hideDock("dev");
        integration.showDock("dev");
        integration.showDock("quote\"d");
        EXPECT_TRUE(integration.hasPreviouslyConnected());
        const QStringList expected{R"({"command":"hide","id":"dev"})", R"({"command":"show","id":"dev"})",
                                   R"({"command":"show","id":"quote\"d"})"};
        EXPECT_TRUE(waitUntil([&] { return companion.lines() == expected; }));
    }

    {
        FakeCompanion companion(home, R"({"docks":[{"id":"d1","name":"Dev","items":[{"name":"Term","kind":"app",)"
                                      R"("path":"/Applications/Term.app","bundleID":"com.example.term"}]},)"
                                      R"({"name":"no id"}]})");
        PierlineIntegration::shared().loadAvailableDocks();
        EXPECT_EQ(companion.lines(), QStringList{R"({"command":"list"})"});
    }
    const QList<HarborletInfo> docks = PierlineIntegration::shared().availableDocks();
    ASSERT_EQ(docks.size(), 1);
    EXPECT_EQ(docks[0].id, "d1");
    EXPECT_EQ(docks[0].name, "Dev");
    ASSERT_EQ(docks[0].items.size(), 1);
    EXPECT_EQ(docks[0].items[0].bundleID, "com.example.term");
    EXPECT_FALSE(docks[0].items[0].iconSymbolName.has_value());

    // A garbled answer leaves the list as it was.
    {
        FakeCompanion companion(home, "not json");
        PierlineIntegration::shared().loadAvailableDocks();
    }
    EXPECT_EQ(PierlineIntegration::shared().availableDocks().size(), 1);
}

// Works on the preset as read for the switch; no store is involved. The order the docks are sent in
// is checked through the apply.
TEST(SwitchingCompanion, IntegrationOffSendsNothingAndAMissingPresetIsNamed) {
    TempHome home;
    CapturingLogSink logs;
    FakeCompanion companion(home);
    const PresetSnapshot preset{.name = "Docks",
                                .stored = true,
                                .harborletConfiguration = HarborletConfiguration{{"dev", "both"}, {"both", "chat"}}};

    HarborletApplier::applyHarborletIntegration(preset, false);
    EXPECT_TRUE(logs.printed("[Pierline] Harborlet integration disabled, skipping"));
    PierlineIntegration::shared().showDock("marker"); // commands arrive in order: nothing came before it
    ASSERT_TRUE(waitUntil([&] { return !companion.lines().isEmpty(); }));
    EXPECT_EQ(companion.lines(), QStringList{R"({"command":"show","id":"marker"})"});

    HarborletApplier::applyHarborletIntegration(PresetSnapshot{.name = "Nope"}, true);
    EXPECT_TRUE(logs.printed("[Pierline] ⚠️ Cannot find preset 'Nope' for Harborlet integration"));
}

TEST(SwitchingCompanion, AbsentCompanionIsSilentStatusSaysSoAndRefreshStartsAndStops) {
    TempHome home;
    ScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
    PierlineIntegration& integration = PierlineIntegration::shared();
    EXPECT_EQ(integration.connectionStatus().displayText, "Not Installed");
    QDir().mkpath(home.file("Applications/Harborlet.app"));
    EXPECT_TRUE(PierlineIntegration::isHarborletInstalled());
    EXPECT_EQ(integration.connectionStatus().displayText, "Not Running");
    integration.showDock("x"); // nothing listens: returns quietly
    {
        FakeCompanion companion(home);
        EXPECT_EQ(integration.connectionStatus().displayText, "Connected");
    }

    VirtualTime time;
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
    LockDockMonitor& monitor = LockDockMonitor::shared();
    {
        ScopedEnv displays("PIERLINE_DISPLAYS", "AAA|Left|1920x1080+0+0;BBB|Right|2560x1440+1920+0;broken");
        monitor.updateAvailableDisplays();
    }
    ASSERT_EQ(monitor.availableDisplays().size(), 2);
    EXPECT_TRUE(monitor.availableDisplays()[0].isPrimary);
    EXPECT_FALSE(monitor.availableDisplays()[1].isPrimary);

    const int before = monitor.relocationCount();
    monitor.scheduleAutoRelocateIfNeeded("Preset switch"); // not monitoring
    time.timers.advanceAndFire(1.0);
    EXPECT_EQ(monitor.relocationCount(), before);

    UserDefaults::standard().set("lockDockAutoRelocate", true);
    UserDefaults::standard().set("lockDockDisplayUUID", "BBB");
    {
        ScopedEnv displays("PIERLINE_DISPLAYS", "AAA|Left|1920x1080+0+0;BBB|Right|2560x1440+1920+0");
        monitor.startMonitoring();
    }
    EXPECT_EQ(monitor.lockedDisplayName(), "Right");
    monitor.scheduleAutoRelocateIfNeeded("Preset switch");
    monitor.scheduleAutoRelocateIfNeeded("Preset switch"); // folded into the first
    time.timers.advanceAndFire(1.0);
    EXPECT_EQ(monitor.relocationCount(), before + 1);
    EXPECT_TRUE(logs.printed("[LockDock] Relocating Dock to display 'Right'"));
    monitor.stopMonitoring();
    EXPECT_FALSE(monitor.isActive());
}
