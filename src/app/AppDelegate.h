#pragma once

#include "platform/NotificationCenter.h"
#include "platform/SystemWake.h"

#include <QString>
#include <functional>
#include <memory>

namespace pierline {

class ManagedObjectContext;
class MenuBarManager;

// The running app's launch sequence and lifecycle: the store failing or being rebuilt, the
// machine waking, restart and quit. Main thread.
class AppDelegate {
public:
    // Starts our own `run` again, detached, with this process's arguments and environment; false
    // with `error` set when it could not be started.
    using Launcher = std::function<bool(QString* error)>;
    using WakeMonitorFactory = std::function<std::unique_ptr<WakeMonitor>(std::function<void()> woke)>;

    explicit AppDelegate(MenuBarManager& menuBar, Launcher launcher = {}, WakeMonitorFactory wake = {});
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // The app's delegate while it runs, else null.
    static AppDelegate* current();

    // The launch steps in order; the Last Context manager is made by its own part just before.
    void applicationDidFinishLaunching();
    void applicationWillTerminate();

    // Null while the store could not be opened: links are then refused as not ready.
    ManagedObjectContext* viewContext() const { return viewContext_; }

    void systemDidWake();
    // Saves, lets go of the home (socket and lock), starts a new app and quits; on failure the
    // home is taken again and the app goes on.
    void restartApplication();

    static inline const QString kCleanupFlagKey = QStringLiteral("Pierline.customAppIconsRollbackCleanup.v168.v1");
    // Once per user account: the obsolete keys and the disabled icon library go.
    static void runOneTimeCleanup();

private:
    void applyAppMode();
    void startLockDock();
    void storeFailed();

    MenuBarManager& menuBar_;
    Launcher launcher_;
    WakeMonitorFactory wakeFactory_;
    std::unique_ptr<WakeMonitor> wake_;
    ManagedObjectContext* viewContext_ = nullptr;
    ObserverToken failedObserver_ = 0;
    ObserverToken recreatedObserver_ = 0;
    bool appNapActivity_ = false;
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

} // namespace pierline
