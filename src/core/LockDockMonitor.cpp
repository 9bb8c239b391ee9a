#include "LockDockMonitor.h"

#include "SettingDescriptors.h"
#include "platform/Clock.h"
#include "platform/Displays.h"
#include "platform/Log.h"

#include <atomic>

namespace pierline {
namespace {

std::atomic<bool> g_initialized{false};

// Dock restarts settle before the Dock is moved again.
constexpr double kRelocateDelay = 0.5;

const Logger& log() {
    static const Logger logger(QStringLiteral("LockDockMonitor"));
    return logger;
}

QList<DisplayInfo> readDisplays() {
    QList<DisplayInfo> displays;
    for (const Display& display : Displays::shared().displays())
        displays.append({display.uuid, display.name, display.frame, display.isPrimary});
    return displays;
}

std::mutex g_timerMutex;
TimerId g_pendingRelocation = 0;

} // namespace

LockDockMonitor& LockDockMonitor::shared() {
    static LockDockMonitor* instance = [] {
        auto* monitor = new LockDockMonitor();
        g_initialized.store(true);
        return monitor;
    }();
    return *instance;
}

bool LockDockMonitor::isInitialized() {
    return g_initialized.load();
}

void LockDockMonitor::startMonitoring() {
    updateAvailableDisplays();
    const QString stored = readStringSetting(Setting::LockDockDisplayUUID);
    std::lock_guard lock(mutex_);
    active_ = true;
    if (!stored.isEmpty())
        lockedUUID_ = stored;
    if (lockedUUID_.isEmpty())
        for (const DisplayInfo& d : displays_)
            if (d.isPrimary)
                lockedUUID_ = d.uuid;
    log().info(QStringLiteral("Lock Dock monitoring started, locked display %1").arg(lockedUUID_));
}

void LockDockMonitor::stopMonitoring() {
    {
        std::lock_guard lock(mutex_);
        if (!active_)
            return;
        active_ = false;
    }
    TimerId pending = 0;
    {
        std::lock_guard lock(g_timerMutex);
        pending = g_pendingRelocation;
        g_pendingRelocation = 0;
    }
    if (pending != 0)
        Timers::shared().cancel(pending);
    log().info(QStringLiteral("Lock Dock monitoring stopped"));
}

void LockDockMonitor::relocateDockToLockedDisplay() {
    std::lock_guard lock(mutex_);
    QString name;
    for (const DisplayInfo& d : displays_)
        if (d.uuid == lockedUUID_)
            name = d.name;
    if (name.isEmpty()) {
        log().error(QStringLiteral("Cannot relocate the Dock: locked display %1 is not connected").arg(lockedUUID_));
        return;
    }
    ++relocations_;
    printLine(QStringLiteral("[LockDock] Relocating Dock to display '%1'").arg(name));
    log().info(QStringLiteral("Relocated Dock to %1 (%2)").arg(name, lockedUUID_));
}

void LockDockMonitor::scheduleAutoRelocateIfNeeded(const QString& reason) {
    const bool autoRelocate = readBoolSetting(Setting::LockDockAutoRelocate);
    {
        std::lock_guard lock(mutex_);
        if (!active_ || !autoRelocate) {
            log().debug(QStringLiteral("No Dock relocation after %1: lock inactive or auto-relocate off").arg(reason));
            return;
        }
    }
    log().info(QStringLiteral("Scheduling Dock relocation: %1").arg(reason));
    std::lock_guard lock(g_timerMutex);
    if (g_pendingRelocation != 0)
        return; // one relocation covers several quick switches
    g_pendingRelocation = Timers::shared().schedule(kRelocateDelay, false, [] {
        {
            std::lock_guard timerLock(g_timerMutex);
            g_pendingRelocation = 0;
        }
        LockDockMonitor::shared().relocateDockToLockedDisplay();
    });
}

void LockDockMonitor::changeLockedDisplay(const QString& uuid) {
    std::lock_guard lock(mutex_);
    lockedUUID_ = uuid;
}

void LockDockMonitor::updateAvailableDisplays(std::function<void()> completion) {
    const QList<DisplayInfo> displays = readDisplays();
    {
        std::lock_guard lock(mutex_);
        displays_ = displays;
    }
    if (completion)
        completion();
}

QList<DisplayInfo> LockDockMonitor::availableDisplays() const {
    std::lock_guard lock(mutex_);
    return displays_;
}

QString LockDockMonitor::lockedDisplayUUID() const {
    std::lock_guard lock(mutex_);
    return lockedUUID_;
}

QString LockDockMonitor::lockedDisplayName() const {
    std::lock_guard lock(mutex_);
    for (const DisplayInfo& d : displays_)
        if (d.uuid == lockedUUID_)
            return d.name;
    return {};
}

bool LockDockMonitor::isActive() const {
    std::lock_guard lock(mutex_);
    return active_;
}

int LockDockMonitor::relocationCount() const {
    std::lock_guard lock(mutex_);
    return relocations_;
}

} // namespace pierline
