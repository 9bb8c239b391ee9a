#include "AppActionExecutor.h"

#include "AppCloser.h"
#include "core/BrowserProfileLauncherLite.h"
#include "core/PresetRecord.h"
#include "platform/AppleScriptRunner.h"
#include "platform/DesktopApps.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/SystemPaths.h"
#include "platform/Url.h"
#include "platform/Workspace.h"
#include "targets/DockTarget.h"

#include <QDir>
#include <QFileInfo>
#include <atomic>

namespace pierline {
namespace {

const QString kCustomSpaceMarker = QStringLiteral("/Pierline/CustomSpaces/");

struct PlannedAction {
    int index;
    QString entry;
    QString name;
    QJsonObject record;
};

QString appLine(int index, const QString& name) {
    return QStringLiteral("  [%1] %2").arg(index).arg(name);
}

// The application folder of an entry, or nullopt when the entry is not a URL.
std::optional<QString> appPathOf(const QString& appURL) {
    return filePathOfLocation(appURL);
}

QString appNameOf(const QString& path, DockAppKind kind) {
    if (kind == DockAppKind::DesktopFile)
        return appDisplayName(path); // the desktop file's Name
    QString name = lastPathComponent(path);
    if (name.endsWith(QLatin1String(".app")))
        name.chop(4);
    return name;
}

bool isApplication(const QString& path, DockAppKind kind) {
    return kind == DockAppKind::Bundle ? Workspace::shared().isApplication(path)
                                       : DesktopApps::shared().isApplication(path);
}

std::optional<QString> configString(const QJsonObject& config, const char* key) {
    const QJsonValue value = config.value(QLatin1String(key));
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<ActionExecutionError> launchOpera(const QString& appPath, const QString& profileDirectory) {
    const QString executable = appPath + QStringLiteral("/Contents/MacOS/Opera");
    if (!QFileInfo::exists(executable))
        return ActionExecutionError::executionFailed(
            QStringLiteral("Opera executable not found at: %1").arg(executable));
    const OpenResult launched = Workspace::shared().launchApplication(
        appPath, {QStringLiteral("--user-data-dir=") + profileDirectory}, QStringLiteral("Opera"));
    if (!launched.ok)
        return ActionExecutionError::executionFailed(QStringLiteral("Failed to launch Opera: %1").arg(launched.error));
    return std::nullopt;
}

} // namespace

QString AppActionExecutor::safariProfileScript(const QString& profileName) {
    QString p = profileName;
    p.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QStringList{
        QStringLiteral("tell application \"Safari\""),
        QStringLiteral("  activate"),
        QStringLiteral("  try"),
        QStringLiteral("    open new window for profile \"%1\"").arg(p),
        QStringLiteral("  on error errMsg"),
        QStringLiteral("    -- If profile-specific launch fails, just open Safari normally"),
        QStringLiteral("    make new document"),
        QStringLiteral("  end try"),
        QStringLiteral("end tell"),
    }
        .join(QLatin1Char('\n'));
}

AppActionExecutor::Summary AppActionExecutor::executeActionsForPreset(const PresetSnapshot& preset, DockAppKind kind) {
    printLine(QStringLiteral("\n--- EXECUTING APP ACTIONS (PARALLEL) ---"));
    Summary summary;
    if (!preset.stored) {
        printWarning(QStringLiteral("❌ Could not find preset '%1' for action execution").arg(preset.name));
        return summary;
    }
    const QStringList& apps = preset.apps;
    const QJsonObject& actions = preset.appActions;

    QList<PlannedAction> simple, ide, browser;
    for (int i = 0; i < apps.size(); ++i) {
        const QString& entry = apps[i];
        const QString name = appDisplayName(entry);
        if (entry.contains(kCustomSpaceMarker)) {
            printLine(appLine(i + 1, name) + QStringLiteral(" - [CUSTOM SPACE] Skipped"));
            continue;
        }
        if (isSpacerEntry(entry)) {
            printLine(appLine(i + 1, name) + QStringLiteral(" - [SPACER] Skipped"));
            continue;
        }
        ++summary.processed;
        const QJsonValue record = actions.value(entry);
        if (!record.isObject())
            continue;
        const QString type = record.toObject().value(QStringLiteral("actionType")).toString();
        const PlannedAction planned{i + 1, entry, name, record.toObject()};
        if (type == OpenAppAction::actionType)
            simple.append(planned);
        else if (type == OpenInIDEAction::actionType)
            ide.append(planned);
        else if (type == OpenBrowserProfileAction::actionType)
            browser.append(planned);
    }
    summary.openApps = static_cast<int>(simple.size());
    summary.ideActions = static_cast<int>(ide.size());
    summary.browserProfiles = static_cast<int>(browser.size());

    std::atomic<int> executed{0};
    QList<QFuture<void>> group;
    printLine(QStringLiteral("\n📱 Executing simple app actions in parallel..."));
    for (const PlannedAction& a : simple) {
        group.append(runAsync(QueuePriority::UserInitiated, [a, kind, &executed] {
            printLine(appLine(a.index, a.name) + QStringLiteral(" - Executing open app action"));
            if (const auto error = executeOpenAppAction(a.entry, kind)) {
                printLine(appLine(a.index, a.name) + QStringLiteral(" action failed: %1").arg(error->description()));
            } else {
                printLine(appLine(a.index, a.name) + QStringLiteral(" action completed"));
                ++executed;
            }
        }));
    }
    printLine(QStringLiteral("\n🖥️ Executing IDE actions in parallel..."));
    for (const PlannedAction& a : ide) {
        group.append(runAsync(QueuePriority::UserInitiated, [a, kind, &executed] {
            printLine(appLine(a.index, a.name) + QStringLiteral(" - Executing IDE action"));
            if (const auto error = executeOpenInIDEAction(a.entry, a.record, kind)) {
                printLine(appLine(a.index, a.name) +
                          QStringLiteral(" IDE action failed: %1").arg(error->description()));
            } else {
                printLine(appLine(a.index, a.name) + QStringLiteral(" IDE action completed"));
                ++executed;
            }
        }));
    }
    printLine(QStringLiteral("\n🌐 Executing browser profile switches..."));
    for (const PlannedAction& a : browser) {
        group.append(runAsync(QueuePriority::UserInitiated, [a, &executed] {
            printLine(QStringLiteral("  🌐 Processing ") + a.name + QStringLiteral(" - Switching profile..."));
            if (const auto error = executeOpenBrowserProfileAction(a.entry, a.record)) {
                printWarning(QStringLiteral("       ❌ Profile switch failed: %1").arg(error->description()));
            } else {
                printLine(QStringLiteral("       ✅ Profile switched"));
                ++executed;
            }
        }));
    }
    for (QFuture<void>& child : group)
        child.waitForFinished();
    summary.executed = executed.load();

    printLine(QStringLiteral("\n--- ACTION EXECUTION COMPLETE ---"));
    printLine(QStringLiteral("✅ Actions executed: %1").arg(summary.executed));
    printLine(QStringLiteral("  • Browser profiles: %1").arg(summary.browserProfiles));
    printLine(QStringLiteral("  • Open app actions: %1").arg(summary.openApps));
    printLine(QStringLiteral("  • IDE actions: %1").arg(summary.ideActions));
    printLine(QStringLiteral("📱 Total apps processed: %1").arg(summary.processed));
    return summary;
}

std::optional<ActionExecutionError> AppActionExecutor::executeOpenAppAction(const QString& appURL, DockAppKind kind) {
    const auto path = appPathOf(appURL);
    if (!path)
        return ActionExecutionError::invalidConfiguration();
    if (!isApplication(*path, kind))
        return ActionExecutionError::appNotFound();
    const OpenResult result = runOnMainSyncResult([&] {
        return kind == DockAppKind::Bundle ? Workspace::shared().openApplication(*path)
                                           : DesktopApps::shared().openApplication(*path);
    });
    if (!result.ok)
        return ActionExecutionError::executionFailed(result.error);
    printLine(QStringLiteral("     🎯 Opened: %1").arg(appNameOf(*path, kind)));
    return std::nullopt;
}

std::optional<ActionExecutionError>
AppActionExecutor::executeOpenInIDEAction(const QString& appURL, const QJsonObject& record, DockAppKind kind) {
    printLine(QStringLiteral("Executing open in IDE action for %1").arg(appURL));
    const auto config = AppAction::decodeConfiguration(record);
    const auto projectPath = config ? configString(*config, "projectPath") : std::nullopt;
    if (!projectPath) {
        printWarning(QStringLiteral("     ❌ Could not extract projectPath from action configuration."));
        return ActionExecutionError::invalidConfiguration();
    }
    if (projectPath->isEmpty() || !QFileInfo::exists(*projectPath)) {
        printWarning(QStringLiteral("     ❌ Project path '%1' is invalid or does not exist.").arg(*projectPath));
        return ActionExecutionError::invalidConfiguration();
    }
    printLine(QStringLiteral("     Project path: %1").arg(*projectPath));

    const auto idePath = appPathOf(appURL);
    if (!idePath || !isApplication(*idePath, kind))
        return ActionExecutionError::appNotFound();
    const QString ideName = appNameOf(*idePath, kind);

    // The IDE opens the project in a fresh instance, not in a window of an old one.
    if (!AppCloser::closeRunningInstances(appURL, kind))
        printLine(QStringLiteral("     ⚠️ Some IDE instances may not have closed properly, continuing anyway..."));

    const OpenResult result = runOnMainSyncResult([&] {
        return kind == DockAppKind::Bundle ? Workspace::shared().openFile(*projectPath, *idePath)
                                           : DesktopApps::shared().openFile(*projectPath, *idePath);
    });
    if (!result.ok) {
        printWarning(QStringLiteral("     ❌ Failed to open project at '%1' with app '%2': %3")
                         .arg(*projectPath, ideName, result.error));
        return ActionExecutionError::executionFailed(result.error);
    }
    printLine(QStringLiteral("     ✅ Successfully requested to open project '%1' with '%2'")
                  .arg(lastPathComponent(*projectPath), ideName));
    return std::nullopt;
}

std::optional<ActionExecutionError> AppActionExecutor::executeOpenBrowserProfileAction(const QString& appURL,
                                                                                       const QJsonObject& record) {
    printLine(QStringLiteral("Executing open browser profile action for %1").arg(appURL));
    const auto config = AppAction::decodeConfiguration(record);
    const auto profileDirectory = config ? configString(*config, "profileDirectory") : std::nullopt;
    const auto profileName = config ? configString(*config, "profileName") : std::nullopt;
    if (!profileDirectory || !profileName || profileDirectory->isEmpty()) {
        printWarning(QStringLiteral("     ❌ Invalid browser profile configuration"));
        return ActionExecutionError::invalidConfiguration();
    }
    printLine(QStringLiteral("     Profile: %1 (Directory: %2)").arg(*profileName, *profileDirectory));

    const auto appPath = appPathOf(appURL);
    if (!appPath)
        return ActionExecutionError::invalidConfiguration();
    if (!Workspace::shared().isApplication(*appPath))
        return ActionExecutionError::appNotFound();

    if (!AppCloser::closeRunningBrowserInstances(appURL))
        printLine(QStringLiteral("     ⚠️ Some browser instances may not have closed properly"));

    const BrowserType type = BrowserProfileLauncherLite::browserType(*appPath);
    if (BrowserProfileLauncherLite::isChromiumFamily(type)) {
        if (const auto error = BrowserProfileLauncherLite::shared().launchBrowser(*appPath, *profileDirectory))
            return ActionExecutionError::executionFailed(QStringLiteral("Failed to launch browser: %1").arg(*error));
        printLine(QStringLiteral("     ✅ Successfully launched Chromium browser with profile '%1'").arg(*profileName));
        return std::nullopt;
    }
    if (type == BrowserType::Firefox) {
        const QString firefox = QDir(SystemPaths::applicationsFolder()).filePath(QStringLiteral("Firefox.app"));
        if (!QFileInfo::exists(firefox))
            return ActionExecutionError::executionFailed(QStringLiteral("Firefox not found"));
        if (const auto error = BrowserProfileLauncherLite::shared().launchBrowser(firefox, *profileDirectory))
            return ActionExecutionError::executionFailed(QStringLiteral("Failed to launch Firefox: %1").arg(*error));
        printLine(QStringLiteral("     ✅ Successfully launched Firefox with profile '%1'").arg(*profileName));
        return std::nullopt;
    }
    if (type == BrowserType::Safari) {
        if (const auto error = AppleScriptRunner::shared().run(safariProfileScript(*profileName))) {
            printLine(QStringLiteral("     ⚠️ Safari profile launch failed, opening normally: %1").arg(*error));
            const OpenResult opened = runOnMainSyncResult(
                [] { return Workspace::shared().openApplicationWithIdentifier(QStringLiteral("com.apple.Safari")); });
            if (!opened.ok)
                return ActionExecutionError::executionFailed(opened.error);
            return std::nullopt;
        }
        printLine(QStringLiteral("     ✅ Successfully launched Safari with profile '%1'").arg(*profileName));
        return std::nullopt;
    }
    if (type == BrowserType::Opera) {
        if (auto error = launchOpera(*appPath, *profileDirectory))
            return error;
        printLine(QStringLiteral("     ✅ Successfully launched Opera with profile '%1'").arg(*profileName));
        return std::nullopt;
    }
    return ActionExecutionError::executionFailed(QStringLiteral("Unsupported browser type"));
}

void AppActionExecutor::logActions(const PresetSnapshot& preset) {
    printLine(QStringLiteral("\n--- APP ACTION LOGGING ---"));
    printLine(QStringLiteral("Preset: %1").arg(preset.name));
    if (!preset.stored) {
        printWarning(QStringLiteral("❌ Could not find preset '%1' for action logging").arg(preset.name));
        return;
    }
    const QStringList& apps = preset.apps;
    const QJsonObject& actions = preset.appActions;
    printLine(QStringLiteral("Checking actions for %1 apps:").arg(apps.size()));
    for (int i = 0; i < apps.size(); ++i) {
        const QString& entry = apps[i];
        const QString line = appLine(i + 1, appDisplayName(entry));
        if (entry.contains(kCustomSpaceMarker)) {
            printLine(line + QStringLiteral(" - [CUSTOM SPACE] No action needed"));
        } else if (isSpacerEntry(entry) || isSmallSpacerEntry(entry)) {
            printLine(line + QStringLiteral(" - [SPACER] No action needed"));
        } else if (actions.value(entry).isObject()) {
            printLine(line + QStringLiteral(" - ⚙️ ACTION CONFIGURED: Will execute action when preset applies"));
            printLine(QStringLiteral("     Description: Custom behavior will run for this app"));
        } else {
            printLine(line + QStringLiteral(" - ➡️ NO ACTION: Will only be added to dock"));
            printLine(QStringLiteral("     Description: App will be placed in dock but not opened/executed"));
        }
    }
    printLine(QStringLiteral("--- END ACTION LOGGING ---\n"));
}

} // namespace pierline
