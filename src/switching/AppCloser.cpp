#include "AppCloser.h"

#include "core/PresetRecord.h"
#include "platform/Clock.h"
#include "platform/DesktopApps.h"
#include "platform/DesktopEntry.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/ProcessRunner.h"
#include "platform/SystemPaths.h"
#include "platform/Url.h"
#include "store/DockPresetManager.h"

#include <QSet>
#include <functional>

namespace pierline {
namespace {

const QString kApplePrefix = QStringLiteral("com.apple.");
const QString kWebAppPrefix = QStringLiteral("com.apple.Safari.WebApp");

QString displayName(const RunningApplication& app) {
    if (app.localizedName && !app.localizedName->isEmpty())
        return *app.localizedName;
    return app.bundlePath.value_or(QString());
}

QString pathOfUrlText(const QString& text) {
    return filePathOfLocation(text).value_or(QString());
}

// Fully encoded, so a "#" or "?" in the bundle's name stays part of its path.
QString bundlePathOf(const RunningApplication& app) {
    const auto url = app.bundleURL();
    return url ? pathOfUrlText(url->toString(QUrl::FullyEncoded)) : QString();
}

// Last resort for a browser that survives SIGKILL requests: the kill tool itself.
void killWithTool(const RunningApplication& app) {
    const ProcessResult result = runProcess(SystemPaths::killPath(), {QStringLiteral("-9"), QString::number(app.pid)});
    if (result.exitStatus == -1 && result.stderrData.startsWith("Failed to launch"))
        return;
    printWarning(QStringLiteral("Force killed browser process: %1").arg(displayName(app)));
}

// Desktop files count as the same app by path or by desktop ID (a user's copy of a system file).
bool namesDesktopFile(const QStringList& paths, const QSet<QString>& ids, const QString& path) {
    return paths.contains(path) || ids.contains(desktopIdOfPath(path));
}

QSet<QString> desktopIdsOf(const QStringList& paths) {
    QSet<QString> ids;
    for (const QString& path : paths)
        if (isDesktopFilePath(path))
            ids.insert(desktopIdOfPath(path));
    return ids;
}

bool allTerminated(const QList<RunningApplication>& apps) {
    Workspace& workspace = Workspace::shared();
    for (const RunningApplication& app : apps)
        if (!workspace.isTerminated(app.pid))
            return false;
    return true;
}

} // namespace

const QStringList& AppCloser::closableAppleApps() {
    static const QStringList list = {
        QStringLiteral("com.apple.QuickTimePlayerX"),
        QStringLiteral("com.apple.iWork.Numbers"),
        QStringLiteral("com.apple.TextEdit"),
        QStringLiteral("com.apple.MobileSMS"),
        QStringLiteral("com.apple.iWork.Pages"),
        QStringLiteral("com.apple.Passwords"),
        QStringLiteral("com.apple.Preview"),
        QStringLiteral("com.apple.Notes"),
        QStringLiteral("com.apple.Pages"),
        QStringLiteral("com.apple.Numbers"),
        QStringLiteral("com.apple.Keynote"),
        QStringLiteral("com.apple.clock"),
        QStringLiteral("com.apple.Maps"),
        QStringLiteral("com.apple.iCal"),
        QStringLiteral("com.apple.AppStore"),
        QStringLiteral("com.apple.Safari"),
        QStringLiteral("com.apple.Mail"),
        QStringLiteral("com.apple.Calendar"),
        QStringLiteral("com.apple.Contacts"),
        QStringLiteral("com.apple.Reminders"),
        QStringLiteral("com.apple.Photos"),
        QStringLiteral("com.apple.Music"),
        QStringLiteral("com.apple.Podcasts"),
        QStringLiteral("com.apple.TV"),
        QStringLiteral("com.apple.iBooks"),
        QStringLiteral("com.apple.iBooksX"),
    };
    return list;
}

const QStringList& AppCloser::browserIdentifiers() {
    static const QStringList list = {
        QStringLiteral("com.google.Chrome"),          QStringLiteral("com.microsoft.edgemac"),
        QStringLiteral("com.brave.Browser"),          QStringLiteral("com.vivaldi.Vivaldi"),
        QStringLiteral("company.thebrowser.Browser"), QStringLiteral("org.mozilla.firefox"),
        QStringLiteral("com.operasoftware.Opera"),
    };
    return list;
}

QStringList AppCloser::presetPaths(const QStringList& apps) {
    QStringList paths;
    for (const QString& entry : apps) {
        if (isSpacerEntry(entry) || isSmallSpacerEntry(entry))
            continue;
        const QString path = pathOfUrlText(entry);
        if (!path.isEmpty())
            paths.append(path);
    }
    return paths;
}

QList<RunningApplication> AppCloser::closeCandidates(const QList<RunningApplication>& running,
                                                     const QStringList& excludedApps) {
    const QString ownId = SystemPaths::ownBundleIdentifier();
    QList<RunningApplication> candidates;
    for (const RunningApplication& app : running) {
        const QString id = app.bundleIdentifier.value_or(QString());
        const bool regular = app.activationPolicy == ActivationPolicy::Regular;
        if (id.startsWith(kApplePrefix) && regular)
            printLine(QStringLiteral("Apple app: %1").arg(id));
        if (!app.bundleIdentifier)
            continue;
        if (id == ownId)
            continue;
        if (id.startsWith(kApplePrefix) && !id.startsWith(kWebAppPrefix) && !closableAppleApps().contains(id))
            continue;
        if (!regular)
            continue;
        if (!app.bundleURL())
            continue;
        if (excludedApps.contains(bundlePathOf(app)))
            continue;
        candidates.append(app);
    }
    return candidates;
}

QList<RunningApplication> AppCloser::desktopCloseCandidates(const QList<RunningApplication>& running,
                                                            const QStringList& presetPaths,
                                                            const QStringList& excludedApps) {
    const QStringList spared = presetPaths + excludedApps;
    const QSet<QString> sparedIds = desktopIdsOf(spared);
    // A process may match several desktop files (two launchers of one program): any of them
    // spares it.
    QSet<qint64> kept;
    for (const RunningApplication& app : running)
        if (namesDesktopFile(spared, sparedIds, app.bundlePath.value_or(QString())))
            kept.insert(app.pid);
    QList<RunningApplication> candidates;
    QSet<qint64> listed;
    for (const RunningApplication& app : running) {
        if (kept.contains(app.pid) || listed.contains(app.pid) || app.activationPolicy != ActivationPolicy::Regular)
            continue;
        listed.insert(app.pid);
        candidates.append(app);
    }
    return candidates;
}

QList<RunningApplication> AppCloser::runningApps(DockAppKind kind, const QStringList& desktopFiles) {
    if (kind == DockAppKind::Bundle)
        return Workspace::shared().runningApplications();
    QStringList files = installedDesktopFiles();
    for (const QString& file : desktopFiles)
        if (isDesktopFilePath(file))
            files.append(file);
    return DesktopApps::shared().runningApplications(files);
}

QFuture<void> AppCloser::closeAppsNotInPreset(const QStringList& apps, const QStringList& excludedApps,
                                              DockAppKind kind) {
    const QStringList keep = presetPaths(apps);
    const QList<RunningApplication> candidates =
        kind == DockAppKind::Bundle
            ? closeCandidates(runningApps(kind), excludedApps)
            : desktopCloseCandidates(runningApps(kind, keep + excludedApps), keep, excludedApps);

    return runAsync(QueuePriority::UserInitiated, [keep, candidates] {
        QList<QFuture<void>> children;
        for (const RunningApplication& app : candidates) {
            if (keep.contains(bundlePathOf(app)))
                continue;
            const bool browser = browserIdentifiers().contains(app.bundleIdentifier.value_or(QString()));
            children.append(runAsync(QueuePriority::UserInitiated, [app, browser] { closeOne(app, browser); }));
        }
        for (QFuture<void>& child : children)
            child.waitForFinished();
    });
}

void AppCloser::closeOne(const RunningApplication& app, bool isBrowser) {
    Workspace& workspace = Workspace::shared();
    const QString name = displayName(app);
    printLine(QStringLiteral("Closing app: %1").arg(name) + (isBrowser ? QStringLiteral(" [Browser]") : QString()));
    const bool accepted = workspace.terminate(app.pid);

    if (!isBrowser) {
        if (!accepted) {
            printWarning(QStringLiteral("App refused to terminate, force terminating: %1").arg(name));
            workspace.forceTerminate(app.pid);
            return;
        }
        Clock::shared().sleep(kAppGracePeriod);
        if (!workspace.isTerminated(app.pid)) {
            printWarning(QStringLiteral("Force terminating hung app: %1").arg(name));
            workspace.forceTerminate(app.pid);
        }
        return;
    }

    if (!accepted) {
        printWarning(QStringLiteral("Browser refused to terminate, force terminating: %1").arg(name));
        if (!workspace.forceTerminate(app.pid))
            killWithTool(app);
        return;
    }
    Clock::shared().sleep(kBrowserGracePeriod);
    if (!workspace.isTerminated(app.pid)) {
        printWarning(QStringLiteral("Force terminating browser: %1").arg(name));
        if (!workspace.forceTerminate(app.pid))
            killWithTool(app);
    }
}

bool AppCloser::closeRunningInstances(const QString& appURL, DockAppKind kind) {
    const QString path = pathOfUrlText(appURL);
    const QString appName = lastPathComponent(path);
    DockPresetManager::shared().logIfNetworkTransitioning(QStringLiteral("closeRunningInstances(%1)").arg(appName));
    std::function<QList<RunningApplication>()> list;
    if (kind == DockAppKind::Bundle) {
        const std::optional<QString> id = path.isEmpty() ? std::nullopt : Workspace::shared().bundleIdentifier(path);
        if (!id) {
            printWarning(QStringLiteral("     ⚠️ Could not get bundle identifier for app at %1").arg(path));
            return false;
        }
        list = [id] { return Workspace::shared().runningApplications(*id); };
    } else {
        if (path.isEmpty() || !DesktopApps::shared().isApplication(path)) {
            printWarning(QStringLiteral("     ⚠️ No application desktop file at %1").arg(path));
            return false;
        }
        list = [path] { return DesktopApps::shared().runningApplications({path}); };
    }
    const QList<RunningApplication> instances = runOnMainSyncResult(list);
    if (instances.isEmpty()) {
        printLine(QStringLiteral("     ℹ️ No running instances of %1 found").arg(appName));
        return true;
    }
    printLine(QStringLiteral("     🔄 Found %1 running instance(s) of %2. Closing them...")
                  .arg(instances.size())
                  .arg(appName));
    bool forceFailed = false;
    runOnMainSync([&] {
        Workspace& workspace = Workspace::shared();
        for (const RunningApplication& app : instances) {
            if (workspace.terminate(app.pid))
                continue;
            const QString name = app.localizedName.value_or(QStringLiteral("Unknown"));
            printWarning(
                QStringLiteral("     ⚠️ Graceful termination failed for %1, trying force terminate...").arg(name));
            if (!workspace.forceTerminate(app.pid)) {
                printWarning(QStringLiteral("     ❌ Failed to force terminate %1").arg(name));
                forceFailed = true;
            }
        }
    });

    Clock& clock = Clock::shared();
    const double start = clock.monotonicSeconds();
    for (;;) {
        if (allTerminated(instances)) {
            printLine(QStringLiteral("     ✅ All application instances terminated successfully"));
            return true;
        }
        if (clock.monotonicSeconds() - start >= kInstanceTimeout - 1e-9) {
            printWarning(QStringLiteral("     ⚠️ Timeout waiting for application termination"));
            return !forceFailed;
        }
        clock.sleep(kPollInterval);
    }
}

bool AppCloser::closeRunningBrowserInstances(const QString& browserURL) {
    const Logger log(QStringLiteral("DockManager"));
    const QString path = pathOfUrlText(browserURL);
    const std::optional<QString> id = path.isEmpty() ? std::nullopt : Workspace::shared().bundleIdentifier(path);
    if (!id) {
        log.error(QStringLiteral("Could not get bundle identifier for browser at %1").arg(path));
        return true;
    }
    const QList<RunningApplication> instances =
        runOnMainSyncResult([&] { return Workspace::shared().runningApplications(*id); });
    if (instances.isEmpty())
        return true;

    QString browserName = lastPathComponent(path);
    if (browserName.endsWith(QLatin1String(".app")))
        browserName.chop(4);
    log.info(
        QStringLiteral("Found %1 running instance(s) of %2, terminating...").arg(instances.size()).arg(browserName));
    Clock& clock = Clock::shared();
    const double started = clock.monotonicSeconds();
    runOnMainSync([&] {
        Workspace& workspace = Workspace::shared();
        for (const RunningApplication& app : instances) {
            if (workspace.terminate(app.pid))
                continue;
            log.info(QStringLiteral("Graceful termination failed for %1 (PID %2), trying force terminate")
                         .arg(app.localizedName.value_or(browserName))
                         .arg(app.pid));
            workspace.forceTerminate(app.pid);
        }
    });

    double waited = 0.0;
    bool done = allTerminated(instances);
    while (!done && waited < kInstanceTimeout - 1e-9) {
        clock.sleep(kPollInterval);
        waited += kPollInterval;
        done = allTerminated(instances);
    }
    const QString ms = QString::number((clock.monotonicSeconds() - started) * 1000.0, 'f', 1);
    if (done)
        log.info(QStringLiteral("🔍 [HANG-DIAG] closeRunningBrowserInstances completed (graceful) — %1, %2ms")
                     .arg(browserName, ms));
    else
        log.info(QStringLiteral("🔍 [HANG-DIAG] closeRunningBrowserInstances timeout — %1, %2ms, browser still running")
                     .arg(browserName, ms));
    return done;
}

} // namespace pierline
