#include "BrowserProfileLauncherLite.h"

#include "platform/Url.h"
#include "platform/Workspace.h"

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

bool BrowserProfileLauncherLite::supportsProfiles(BrowserType type) {
    return isChromiumFamily(type) || type == BrowserType::Firefox;
}

std::optional<QString> BrowserProfileLauncherLite::launchBrowser(const QString& appPath, const QString& profileName,
                                                                 const std::optional<QString>& url) {
    const BrowserType type = browserType(appPath);
    QStringList arguments;
    if (!supportsProfiles(type))
        return QStringLiteral("Profile launching is not supported for %1").arg(lastPathComponent(appPath));
    if (isChromiumFamily(type))
        arguments << QStringLiteral("--profile-directory=") + profileName;
    else
        arguments << QStringLiteral("-P") << profileName;
    if (url)
        arguments << *url;

    const OpenResult launched = Workspace::shared().launchApplication(appPath, arguments);
    if (!launched.ok)
        return launched.error;
    return std::nullopt;
}

} // namespace pierline
