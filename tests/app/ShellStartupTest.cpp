// The app's launch sequence and lifecycle on the fake shell with virtual time, and the crash
// reporter's hang filter.
#include "support/CapturingLogSink.h"
#include "support/EventLoop.h"
#include "support/FakeAlertPresenter.h"
#include "support/FakeAppShell.h"
#include "support/TempHome.h"
#include "support/VirtualClock.h"

#include "app/AppDelegate.h"
#include "app/CrashReportFilter.h"
#include "app/MenuBarManager.h"
#include "core/LockDockMonitor.h"
#include "platform/SystemPaths.h"
#include "platform/UserDefaults.h"
#include "store/DockPresetManager.h"
#include "store/PersistenceController.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;

namespace {

class ShellStartup : public ::testing::Test {
protected:
    void SetUp() override {
        DockPresetManager::resetSharedForTesting();
        DockPresetManager::setSharedOptions({.monitorNetwork = false, .networkMonitorFactory = {}});
        DockPresetManager::shared();
        menuBar = std::make_unique<MenuBarManager>([](const QUuid&) { return std::optional<StoredShortcut>(); });
        MenuBarManager::setCurrent(menuBar.get());
    }
    void TearDown() override {
        delegate.reset();
        MenuBarManager::setCurrent(nullptr);
        menuBar.reset();
        LockDockMonitor::shared().stopMonitoring();
        drainMainQueue();
        DockPresetManager::resetSharedForTesting();
    }

    AppDelegate& launch() {
        delegate = std::make_unique<AppDelegate>(
            *menuBar,
            [this](QString* error) {
                ++launches;
                *error = QStringLiteral("boom");
                return false;
            },
            [this](std::function<void()> woke) {
                wake = std::move(woke);
                return std::make_unique<WakeMonitor>();
            });
        delegate->applicationDidFinishLaunching();
        return *delegate;
    }

    // The lines of `wanted` that were printed, in the order they were printed.
    QStringList printedInOrder(const QStringList& wanted) const {
        QStringList seen;
        for (const QString& line : log.plainLines())
            if (wanted.contains(line))
                seen.append(line);
        return seen;
    }

    TempHome home;
    VirtualTime time;
    FakeAppShell shell;
    FakeAlertPresenter alerts;
    CapturingLogSink log;
    std::unique_ptr<MenuBarManager> menuBar;
    std::unique_ptr<AppDelegate> delegate;
    std::function<void()> wake;
    int launches = 0;
};

TEST_F(ShellStartup, LaunchRunsItsStepsInOrder) {
    UserDefaults::standard().set("lockDockEnabled", true);
    launch();
    const QStringList steps = {"Setting activation policy to accessory (menu bar only)",
                               "App launched - registering App Intents",
                               "Setting up NSUserActivity for shortcuts and Siri integration",
                               "App did finish launching. Programmatically showing main app window.",
                               "Starting Lock Dock monitoring (enabled in settings)",
                               "App Nap prevention enabled"};
    EXPECT_EQ(printedInOrder(steps), steps);
    EXPECT_EQ(delegate->viewContext(), &DockPresetManager::shared().context());
    EXPECT_EQ(menuBar->viewContext(), delegate->viewContext());
    EXPECT_TRUE(LockDockMonitor::shared().isActive());
    EXPECT_TRUE(wake);
    // The main window comes from the main queue, after the launch.
    EXPECT_FALSE(shell.hasWindow(kMainWindowName));
    drainMainQueue();
    EXPECT_TRUE(shell.isWindowVisible(kMainWindowName));

    delegate->applicationWillTerminate();
    EXPECT_FALSE(LockDockMonitor::shared().isActive());
}

TEST_F(ShellStartup, TheAppModeSetsThePolicyAndTheStatusItem) {
    struct Case {
        const char* mode;
        const char* line;
        ActivationPolicy policy;
        bool itemBeforeTimers; // once the main queue ran, before 0.1 s passed
        bool itemAfterTimers;
    };
    const std::vector<Case> cases = {
        {"menuBarOnly", "Setting activation policy to accessory (menu bar only)", ActivationPolicy::Accessory, false,
         true},
        {"dockAppOnly", "Setting activation policy to regular (dock app only mode)", ActivationPolicy::Regular, false,
         false},
        {"withDockIcon", "Setting activation policy to regular (with menu bar)", ActivationPolicy::Regular, true, true},
        {"sideways", "Unknown app mode, defaulting to menu bar only", ActivationPolicy::Accessory, true, true},
    };
    UserDefaults::standard().set("showMainWindowOnLaunch", false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        shell.removeStatusItem();
        UserDefaults::standard().set("appMode", c.mode);
        launch();
        EXPECT_TRUE(log.printed(c.line));
        EXPECT_EQ(shell.activationPolicy(), c.policy);
        drainMainQueue();
        EXPECT_EQ(shell.isStatusItemVisible(), c.itemBeforeTimers);
        time.timers.advanceAndFire(0.11);
        drainMainQueue();
        EXPECT_EQ(shell.isStatusItemVisible(), c.itemAfterTimers);
        EXPECT_TRUE(shell.windows().isEmpty());
    }
}

TEST_F(ShellStartup, TheCleanUpRunsOncePerAccount) {
    UserDefaults& defaults = UserDefaults::standard();
    for (const char* key : {"Pierline.lastAppliedIconOverrides", "Pierline.appManagementPermissionRequested.v2",
                            "Pierline.appManagementPermissionConfirmed.v2"})
        defaults.set(key, true);
    const QString icons = QDir(SystemPaths::applicationSupportFolder()).filePath("icons");
    ASSERT_TRUE(QDir().mkpath(icons + "/Safari"));
    AppDelegate::runOneTimeCleanup();
    EXPECT_FALSE(defaults.contains("Pierline.lastAppliedIconOverrides"));
    EXPECT_FALSE(defaults.contains("Pierline.appManagementPermissionConfirmed.v2"));
    EXPECT_FALSE(QFileInfo::exists(icons));
    EXPECT_TRUE(log.printed("Removed disabled custom app icon library at " + icons));
    EXPECT_EQ(defaults.boolValue(AppDelegate::kCleanupFlagKey), true);

    // A second launch finds the flag and leaves everything alone.
    ASSERT_TRUE(QDir().mkpath(icons));
    defaults.set("Pierline.lastAppliedIconOverrides", true);
    AppDelegate::runOneTimeCleanup();
    EXPECT_TRUE(QFileInfo::exists(icons));
    EXPECT_TRUE(defaults.contains("Pierline.lastAppliedIconOverrides"));
}

TEST_F(ShellStartup, AStoreFailureShowsDatabaseErrorAndRestartsOnlyWhenAsked) {
    launch();
    drainMainQueue();
    alerts.nextButton(0);
    NotificationCenter::shared().postOnMainQueue(kCoreDataInitializationFailedNotification);
    drainMainQueue();
    EXPECT_TRUE(log.warned("Core Data initialization failed - showing user notification"));
    ASSERT_EQ(alerts.messages.size(), 1u);
    EXPECT_EQ(alerts.messages[0].messageText, "Database Error");
    EXPECT_EQ(alerts.messages[0].informativeText,
              "There was an issue initializing the database. Some features may not work properly. The app will "
              "attempt to recover automatically.");
    EXPECT_EQ(alerts.messages[0].buttons, QStringList({"OK", "Restart App"}));
    EXPECT_EQ(launches, 0);

    alerts.nextButton(1);
    NotificationCenter::shared().postOnMainQueue(kCoreDataInitializationFailedNotification);
    drainMainQueue();
    EXPECT_EQ(launches, 1);
    EXPECT_TRUE(log.warned("Failed to restart app: boom"));
}

TEST_F(ShellStartup, ARebuiltStoreIsHandedToTheMenusAgainAndAWakeRefreshesTwoSecondsLater) {
    launch();
    drainMainQueue();
    menuBar->setViewContext(nullptr);
    NotificationCenter::shared().postOnMainQueue(kDatabaseRecreatedNotification);
    drainMainQueue();
    EXPECT_TRUE(log.printed("Database was recreated - refreshing app state"));
    EXPECT_EQ(menuBar->viewContext(), &DockPresetManager::shared().context());

    ASSERT_TRUE(wake);
    wake();
    EXPECT_TRUE(log.printed("System woke from sleep - refreshing app state"));
    time.timers.advanceAndFire(1.9);
    drainMainQueue();
    EXPECT_FALSE(log.printed("Core Data context refreshed after wake"));
    time.timers.advanceAndFire(0.2);
    drainMainQueue();
    EXPECT_TRUE(log.printed("Core Data context refreshed after wake"));
}

QJsonObject hangEvent(const QString& type, const QJsonArray& frames) {
    return QJsonObject{
        {"exception", QJsonObject{{"values", QJsonArray{QJsonObject{
                                                 {"type", type}, {"stacktrace", QJsonObject{{"frames", frames}}}}}}}}};
}

TEST(CrashReportFilter, KnownHangsAreDroppedByTheFirstSignatureThatAnyFrameMatches) {
    struct Case {
        const char* name;
        QJsonObject event;
        bool send;
        const char* signature;
    };
    const QJsonObject plain{{"function", "main"}, {"package", "pierline"}};
    const std::vector<Case> cases = {
        {"status item", hangEvent("App Hanging", {plain, QJsonObject{{"function", "-[NSStatusItem _update]"}}}), false,
         "NSStatusItem hang detected - known macOS issue"},
        {"update alert by package",
         hangEvent("App Hanging", {QJsonObject{{"package", "/x/Sparkle.framework/Sparkle"}}}), false, ""},
        // Both signatures match; the earlier one in the table wins.
        {"first signature wins",
         hangEvent("App Hanging", {QJsonObject{{"function", "ISIconCache"}}, QJsonObject{{"function", "NSAlert run"}}}),
         false, ""},
        {"icon services", hangEvent("App Hanging", {QJsonObject{{"function", "generateImageWithDescriptor:"}}}), false,
         "IconServices hang detected - known macOS issue"},
        {"drag and drop", hangEvent("App Hanging", {QJsonObject{{"function", "_dragUntilMouseUp"}}}), false,
         "Drag-and-drop hang detected - known macOS system issue"},
        {"another hang", hangEvent("App Hanging", {plain}), true, ""},
        {"not a hang", hangEvent("App Hang", {QJsonObject{{"function", "-[NSStatusItem _update]"}}}), true, ""},
        {"no exception", QJsonObject{{"message", "hi"}}, true, ""},
    };
    CapturingLogSink log;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CrashReportVerdict verdict = crashReportHangFilter(c.event);
        EXPECT_EQ(verdict.send, c.send);
        EXPECT_EQ(verdict.logLine, QString::fromUtf8(c.signature));
        if (!c.send && *c.signature) {
            EXPECT_TRUE(log.printed(c.signature));
        }
    }
    EXPECT_EQ(crashReportHangFilter(cases[2].event).signature, "Update alert");
}

} // namespace
