#pragma once

#include "platform/Workspace.h"
#include "targets/DockTarget.h"

#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>

namespace pierline {

// Closes the running applications a preset does not hold, and every instance of one app before
// an action relaunches it.
class AppCloser {
public:
    static constexpr double kAppGracePeriod = 2.0;
    static constexpr double kBrowserGracePeriod = 1.0;
    static constexpr double kPollInterval = 0.1;
    static constexpr double kInstanceTimeout = 5.0;

    // Operating-system apps that may be closed; every other "com.apple." app stays.
    static const QStringList& closableAppleApps();
    static const QStringList& browserIdentifiers();

    // The file-system paths (decoded, no trailing "/") of a preset's app entries; spacers and
    // entries that do not parse are left out.
    static QStringList presetPaths(const QStringList& apps);
    // The running apps that may be closed at all (before the preset's own apps are spared).
    static QList<RunningApplication> closeCandidates(const QList<RunningApplication>& running,
                                                     const QStringList& excludedApps);

    // The running desktop apps that may be closed: one entry per process, none of whose desktop
    // files (by path or desktop ID) the preset holds or the user keeps open, and not hidden apps.
    static QList<RunningApplication> desktopCloseCandidates(const QList<RunningApplication>& running,
                                                            const QStringList& presetPaths,
                                                            const QStringList& excludedApps);
    // The running apps of the kind a dock's entries name: bundles from the workspace, desktop
    // files (the installed ones and those named here) from the desktop apps.
    static QList<RunningApplication> runningApps(DockAppKind kind, const QStringList& desktopFiles = {});

    // Starts closing every candidate that the preset does not hold; the future ends when all are
    // handled. `excludedApps` are the bundle paths or desktop files the user always keeps open.
    static QFuture<void> closeAppsNotInPreset(const QStringList& apps, const QStringList& excludedApps,
                                              DockAppKind kind);
    // Terminate, wait the grace period, force; browsers get the shorter wait and a kill fallback.
    static void closeOne(const RunningApplication& app, bool isBrowser);

    // Blocking; call from a background task. Terminate requests go out on the main thread.
    static bool closeRunningInstances(const QString& appURL, DockAppKind kind);
    // Blocking; true when no instance is left running.
    static bool closeRunningBrowserInstances(const QString& browserURL);
};

} // namespace pierline
