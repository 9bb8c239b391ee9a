#include "AppDelegate.h"

#include "app/MenuBarManager.h"
#include "app/instance/AppRequestRunner.h"
#include "app/instance/RunningApp.h"
#include "core/LockDockMonitor.h"
#include "core/SettingDescriptors.h"
#include "platform/AlertPresenter.h"
#include "platform/AppShell.h"
#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/SystemPaths.h"
#include "platform/UserDefaults.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "store/PersistenceController.h"
#include "store/StoreError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <atomic>

namespace pierline {
namespace {

std::atomic<AppDelegate*> g_current{nullptr};

bool launchOurselves(QString* error) {
    QProcess process;
    process.setProgram(QCoreApplication::applicationFilePath());
    process.setArguments(QCoreApplication::arguments().mid(1));
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    qint64 pid = 0;
    if (process.startDetached(&pid))
        return true;
    if (error)
        *error = process.errorString();
    return false;
}

} // namespace

AppDelegate::AppDelegate(MenuBarManager& menuBar, Launcher launcher, WakeMonitorFactory wake)
    : menuBar_(menuBar), launcher_(launcher ? std::move(launcher) : Launcher(launchOurselves)),
      wakeFactory_(wake ? std::move(wake) : WakeMonitorFactory(createWakeMonitor)) {}

AppDelegate::~AppDelegate() {
    if (g_current.load() == this)
        g_current.store(nullptr);
    NotificationCenter::shared().removeObserver(failedObserver_);
    NotificationCenter::shared().removeObserver(recreatedObserver_);
}

AppDelegate* AppDelegate::current() {
    return g_current.load();
}

void AppDelegate::applicationDidFinishLaunching() {
    // 1. Crash reports: only their hang filter exists here (crash-report filter).
    // 2.
    g_current.store(this);
    // 3.
    runOneTimeCleanup();
    // 4. Posted from the main queue, so these see a store that failed as it opened.
    std::weak_ptr<int> alive = lifetime_;
    failedObserver_ = NotificationCenter::shared().addObserver(kCoreDataInitializationFailedNotification,
                                                               Delivery::MainQueue, [this, alive](const Notification&) {
                                                                   if (alive.lock())
                                                                       storeFailed();
                                                               });
    recreatedObserver_ = NotificationCenter::shared().addObserver(
        kDatabaseRecreatedNotification, Delivery::MainQueue, [this, alive](const Notification&) {
            if (!alive.lock())
                return;
            printLine(QStringLiteral("Database was recreated - refreshing app state"));
            menuBar_.setViewContext(viewContext_);
        });
    // 5.
    PersistenceController& controller = PersistenceController::shared();
    ManagedObjectContext* context = controller.isStoreReady() ? &DockPresetManager::shared().context() : nullptr;
    menuBar_.setViewContext(context);
    menuBar_.startObservingScopeMode();
    // 6. The Last Context manager is up already (its own part).
    // 7.
    applyAppMode();
    // 8.
    viewContext_ = context;
    // 9.
    printLine(QStringLiteral("App launched - registering App Intents"));
    printLine(QStringLiteral("Setting up NSUserActivity for shortcuts and Siri integration"));
    // 10.
    if (readBoolSetting(Setting::ShowMainWindowOnLaunch)) {
        printLine(QStringLiteral("App did finish launching. Programmatically showing main app window."));
        runOnMainAsync([this, alive] {
            if (alive.lock())
                menuBar_.showMainWindow();
        });
    }
    // 11.
    startLockDock();
    // 12. Nothing here naps the process; the line is kept for those who read the log.
    appNapActivity_ = true;
    printLine(QStringLiteral("App Nap prevention enabled"));
    // 13.
    wake_ = wakeFactory_([this, alive] {
        if (alive.lock())
            systemDidWake();
    });
}

void AppDelegate::applyAppMode() {
    const QString mode = readStringSetting(Setting::AppMode);
    AppShell& shell = AppShell::shared();
    std::weak_ptr<int> alive = lifetime_;
    if (mode == QLatin1String("dockAppOnly")) {
        printLine(QStringLiteral("Setting activation policy to regular (dock app only mode)"));
        shell.setActivationPolicy(ActivationPolicy::Regular);
        menuBar_.hideStatusItem();
    } else if (mode == QLatin1String("withDockIcon")) {
        printLine(QStringLiteral("Setting activation policy to regular (with menu bar)"));
        shell.setActivationPolicy(ActivationPolicy::Regular);
        menuBar_.showStatusItem();
    } else if (mode == QLatin1String("menuBarOnly")) {
        printLine(QStringLiteral("Setting activation policy to accessory (menu bar only)"));
        shell.setActivationPolicy(ActivationPolicy::Accessory);
        Timers::shared().schedule(0.1, false, [this, alive] {
            runOnMainAsync([this, alive] {
                if (alive.lock())
                    menuBar_.showStatusItem();
            });
        });
    } else {
        printLine(QStringLiteral("Unknown app mode, defaulting to menu bar only"));
        shell.setActivationPolicy(ActivationPolicy::Accessory);
        menuBar_.showStatusItem();
    }
}

void AppDelegate::startLockDock() {
    if (!readBoolSetting(Setting::LockDockEnabled))
        return;
    std::weak_ptr<int> alive = lifetime_;
    LockDockMonitor::shared().updateAvailableDisplays([alive] {
        if (!alive.lock())
            return;
        const QString uuid = readStringSetting(Setting::LockDockDisplayUUID);
        if (!uuid.isEmpty())
            LockDockMonitor::shared().changeLockedDisplay(uuid);
        if (!readBoolSetting(Setting::LockDockEnabled))
            return;
        if (!LockDockMonitor::shared().checkAccessibilityPermissions()) {
            printLine(QStringLiteral("Lock Dock enabled but accessibility permissions not granted"));
            return;
        }
        printLine(QStringLiteral("Starting Lock Dock monitoring (enabled in settings)"));
        LockDockMonitor::shared().startMonitoring();
    });
}

void AppDelegate::runOneTimeCleanup() {
    UserDefaults& defaults = UserDefaults::standard();
    if (defaults.boolValue(kCleanupFlagKey).value_or(false))
        return;
    try {
        for (const char* key : {"Pierline.lastAppliedIconOverrides", "Pierline.appManagementPermissionRequested.v2",
                                "Pierline.appManagementPermissionConfirmed.v2"})
            defaults.remove(QString::fromLatin1(key));
        const QString icons = QDir(SystemPaths::applicationSupportFolder()).filePath(QStringLiteral("icons"));
        if (QFileInfo(icons).isDir()) {
            if (QDir(icons).removeRecursively())
                printLine(QStringLiteral("Removed disabled custom app icon library at %1").arg(icons));
            else
                printWarning(QStringLiteral("Failed to remove disabled custom app icon library: %1")
                                 .arg(QStringLiteral("could not delete everything in %1").arg(icons)));
        }
        defaults.set(kCleanupFlagKey, true);
    } catch (const UserDefaultsError& error) {
        // The flag stays unset, so the next launch tries again.
        printWarning(QStringLiteral("Could not finish the one-time clean-up: %1").arg(error.message()));
    }
}

void AppDelegate::storeFailed() {
    printWarning(QStringLiteral("Core Data initialization failed - showing user notification"));
    std::weak_ptr<int> alive = lifetime_;
    runOnMainAsync([this, alive] {
        AppShell::shared().activate();
        const int chosen = AlertPresenter::shared().runMessage(
            {QStringLiteral("Database Error"),
             QStringLiteral("There was an issue initializing the database. Some features may not work properly. The "
                            "app will attempt to recover automatically."),
             {QStringLiteral("OK"), QStringLiteral("Restart App")}});
        if (chosen == 1 && alive.lock())
            restartApplication();
    });
}

void AppDelegate::systemDidWake() {
    printLine(QStringLiteral("System woke from sleep - refreshing app state"));
    std::weak_ptr<int> alive = lifetime_;
    Timers::shared().schedule(2.0, false, [alive] {
        runOnMainAsync([alive] {
            if (!alive.lock())
                return;
            if (DockPresetManager* manager = DockPresetManager::existing())
                manager->refreshContext();
            printLine(QStringLiteral("Core Data context refreshed after wake"));
        });
    });
}

void AppDelegate::restartApplication() {
    if (viewContext_ && viewContext_->hasChanges()) {
        try {
            viewContext_->save();
        } catch (const StoreError& error) {
            printWarning(QStringLiteral("Failed to restart app: %1").arg(error.description()));
            return;
        }
    }
    // The new app must find the home free.
    RunningApp* app = RunningApp::current();
    if (app)
        app->shutDown();
    QString error;
    if (launcher_(&error)) {
        QCoreApplication::exit(0);
        return;
    }
    printWarning(QStringLiteral("Failed to restart app: %1").arg(error));
    if (app && app->start(runRequestInApp))
        printWarning(QStringLiteral("Could not take the home back after the failed restart"));
}

void AppDelegate::applicationWillTerminate() {
    if (LockDockMonitor::isInitialized())
        LockDockMonitor::shared().stopMonitoring();
    appNapActivity_ = false;
    wake_.reset();
}

} // namespace pierline
