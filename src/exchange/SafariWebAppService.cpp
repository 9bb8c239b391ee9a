#include "SafariWebAppService.h"

#include "core/PresetRecord.h"
#include "platform/DesktopEntry.h"
#include "platform/Log.h"
#include "platform/Url.h"
#include "platform/Workspace.h"

#include <QFileInfo>
#include <QSet>

namespace pierline {

AppMetadataMap SafariWebAppService::extractMetadata(const QStringList& appURLs) {
    isProcessing_ = true;
    AppMetadataMap map;
    QSet<QString> seen;
    for (const QString& app : appURLs) {
        if (app.contains(QLatin1String("pierline-spacer")) || seen.contains(app))
            continue;
        seen.insert(app);
        if (auto metadata = extractMetadata(app))
            map.insert(app, *metadata);
    }
    isProcessing_ = false;
    return map;
}

std::optional<SafariWebAppMetadata> SafariWebAppService::extractMetadata(const QString& appURL) {
    const auto url = parseUrl(appURL);
    if (!url)
        return std::nullopt;
    const QString path = decodedPath(*url).remove(QStringLiteral("file://"));
    if (path.isEmpty() || !QFileInfo::exists(path))
        return std::nullopt;
    const QString bare = withoutTrailingSlashes(path);

    SafariWebAppMetadata metadata;
    if (bare.endsWith(QLatin1String(".desktop"))) {
        // A desktop app of a native dock: its shown name, and its desktop ID as identifier.
        metadata.appName = appDisplayName(appURL);
        metadata.bundleIdentifier = desktopIdOfPath(bare);
        return metadata;
    }
    metadata.appName = lastPathComponent(bare);
    if (metadata.appName.endsWith(QLatin1String(".app")))
        metadata.appName.chop(4);
    metadata.bundleIdentifier = Workspace::shared().bundleIdentifier(bare);
    if (!isSafariWebApp(bare))
        return metadata;
    metadata.appType = SafariWebAppMetadata::AppType::Safari;
    try {
        metadata.appUrl = InfoPlistReader::readWebAppURL(bare);
        if (metadata.appUrl)
            metadata.appIcon = faviconURL(*metadata.appUrl);
    } catch (const InfoPlistError& error) {
        printWarning(
            QStringLiteral("Error extracting Safari Web App metadata for %1: %2").arg(path, error.description()));
        lastError_ = error;
    }
    return metadata;
}

bool SafariWebAppService::isSafariWebApp(const QString& path) {
    const auto identifier = Workspace::shared().bundleIdentifier(path);
    return identifier && identifier->startsWith(kWebAppIdentifierPrefix);
}

std::optional<QString> SafariWebAppService::faviconURL(const QString& appUrl) {
    const QUrl url(appUrl);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    const QString scheme = url.scheme().isEmpty() ? QStringLiteral("https") : url.scheme();
    return scheme + QStringLiteral("://") + url.host() + QStringLiteral("/favicon.ico");
}

} // namespace pierline
