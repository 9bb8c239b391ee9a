#include "BrowserProfileLauncherLite.h"

#include "platform/ProcessRunner.h"
#include "platform/Url.h"
#include "platform/Workspace.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace pierline {

BrowserProfileLauncherLite& BrowserProfileLauncherLite::shared() {
    static BrowserProfileLauncherLite instance;
    return instance;
}

BrowserType BrowserProfileLauncherLite::browserType(const QString& appPath) {
    const QString name = lastPathComponent(appPath);
    if (name.contains(QLatin1String("Google Chrome")))
        return BrowserType::Chrome;
    if (name.contains(QLatin1String("Microsoft Edge")))
        return BrowserType::Edge;
    if (name.contains(QLatin1String("Brave Browser")))
        return BrowserType::Brave;
    if (name.contains(QLatin1String("Vivaldi")))
        return BrowserType::Vivaldi;
    if (name.contains(QLatin1String("Arc")))
        return BrowserType::Arc;
    if (name.contains(QLatin1String("Firefox")))
        return BrowserType::Firefox;
    if (name.contains(QLatin1String("Safari")))
        return BrowserType::Safari;
    if (name.contains(QLatin1String("Opera")))
        return BrowserType::Opera;
    return BrowserType::Unsupported;
}

bool BrowserProfileLauncherLite::isChromiumFamily(BrowserType type) {
    return type == BrowserType::Chrome || type == BrowserType::Edge || type == BrowserType::Brave ||
           type == BrowserType::Vivaldi || type == BrowserType::Arc;
}

std::optional<QString> BrowserProfileLauncherLite::launchBrowser(const QString& appPath, const QString& profileName,
                                                                 const std::optional<QString>& url) {
    const BrowserType type = browserType(appPath);
    QStringList arguments;
    if (isChromiumFamily(type)) {
        arguments << QStringLiteral("--profile-directory=") + profileName;
    } else if (type == BrowserType::Firefox) {
        arguments << QStringLiteral("-P") << profileName;
    } else {
        return QStringLiteral("Profile launching is not supported for %1").arg(lastPathComponent(appPath));
    }
    if (url)
        arguments << *url;

    const auto info = Workspace::shared().infoPlist(appPath);
    QString executable = info ? info->value(QStringLiteral("CFBundleExecutable")).toString() : QString();
    if (executable.isEmpty()) {
        executable = lastPathComponent(appPath);
        if (executable.endsWith(QLatin1String(".app")))
            executable.chop(4);
    }
    const QString program = QDir(appPath).filePath(QStringLiteral("Contents/MacOS/") + executable);
    if (!QFileInfo(program).isExecutable())
        return QStringLiteral("Browser executable not found at: %1").arg(program);

    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessEnvironment(childEnvironment());
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached())
        return process.errorString();
    return std::nullopt;
}

} // namespace pierline
