#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <mutex>

namespace pierline {

struct DisplayInfo {
    QString uuid;
    QString name;
    QRect frame;
    bool isPrimary = false;
};

// Keeps the Dock on the display the user chose. On Linux the displays come from the display
// port and "relocating" is logged; nothing moves a real Dock here.
class LockDockMonitor {
public:
    static LockDockMonitor& shared();
    static bool isInitialized();

    void startMonitoring();
    void stopMonitoring();
    void relocateDockToLockedDisplay();
    void scheduleAutoRelocateIfNeeded(const QString& reason);
    void changeLockedDisplay(const QString& uuid);
    void updateAvailableDisplays(std::function<void()> completion = {});

    QList<DisplayInfo> availableDisplays() const;
    QString lockedDisplayUUID() const;
    QString lockedDisplayName() const;
    bool isActive() const;
    bool hasAccessibilityPermission() const { return true; }
    bool checkAccessibilityPermissions() const { return true; }
    void promptForAccessibilityPermissions() {}
    bool needsPermissionReset() const { return false; }

    // What happened, for diagnostics and tests.
    int relocationCount() const;

private:
    LockDockMonitor() = default;
    mutable std::mutex mutex_;
    bool active_ = false;
    QString lockedUUID_;
    QList<DisplayInfo> displays_;
    int relocations_ = 0;
};

} // namespace pierline
