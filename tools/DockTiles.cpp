#include "DockTiles.h"
#include "dock/DockTileNames.h"

#include "platform/Plist.h"
#include "platform/Url.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

namespace pierline::tools {
namespace {

QVariant newGuid() {
    return QVariant(static_cast<qint64>(QRandomGenerator::global()->generate()));
}

QVariantMap urlData(const QString& text) {
    return {{QStringLiteral("_CFURLString"), text}, {QStringLiteral("_CFURLStringType"), dock_tiles::kUrlStringType}};
}

QString bundleIdentifier(const QString& bundlePath) {
    QFile info(QDir(bundlePath).filePath(QStringLiteral("Contents/Info.plist")));
    if (!info.open(QIODevice::ReadOnly))
        return {};
    const PlistParseResult parsed = parsePlist(info.readAll());
    if (!parsed.value)
        return {};
    return parsed.value->toMap().value(QStringLiteral("CFBundleIdentifier")).toString();
}

QString withoutTrailingSlash(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

} // namespace

QString fileUrlText(const QString& path, bool directory) {
    return fileUrlFromPath(withoutTrailingSlash(path), directory).toString(QUrl::FullyEncoded);
}

QVariantMap appTile(const QString& bundlePath, const QString& label) {
    QString name = label;
    if (name.isEmpty()) {
        name = lastPathComponent(bundlePath);
        if (name.endsWith(QLatin1String(".app")))
            name.chop(4);
    }
    const QVariantMap data = {
        {QStringLiteral("file-data"), urlData(fileUrlText(bundlePath, true))},
        {QStringLiteral("file-label"), name},
        {QStringLiteral("file-type"), dock_tiles::kApplicationFileType},
        {QStringLiteral("bundle-identifier"), bundleIdentifier(bundlePath)},
        {QStringLiteral("dock-extra"), static_cast<qint64>(0)},
    };
    return {{QStringLiteral("GUID"), newGuid()},
            {QStringLiteral("tile-type"), dock_tiles::kFileTile},
            {QStringLiteral("tile-data"), data}};
}

QVariantMap folderTile(const QString& path, const QString& label, int showAs, int displayAs, int arrangement) {
    const QVariantMap data = {
        {QStringLiteral("file-data"), urlData(fileUrlText(path, true))},
        {QStringLiteral("file-label"), label.isEmpty() ? lastPathComponent(path) : label},
        {QStringLiteral("file-type"), dock_tiles::kDirectoryFileType},
        {QStringLiteral("showas"), static_cast<qint64>(showAs)},
        {QStringLiteral("displayas"), static_cast<qint64>(displayAs)},
        {QStringLiteral("arrangement"), static_cast<qint64>(arrangement)},
        {QStringLiteral("preferreditemsize"), static_cast<qint64>(-1)},
    };
    return {{QStringLiteral("GUID"), newGuid()},
            {QStringLiteral("tile-type"), dock_tiles::kDirectoryTile},
            {QStringLiteral("tile-data"), data}};
}

QVariantMap fileTile(const QString& path, const QString& label) {
    const QVariantMap data = {
        {QStringLiteral("file-data"), urlData(fileUrlText(path, false))},
        {QStringLiteral("file-label"), label.isEmpty() ? lastPathComponent(path) : label},
    };
    return {{QStringLiteral("GUID"), newGuid()},
            {QStringLiteral("tile-type"), dock_tiles::kFileTile},
            {QStringLiteral("tile-data"), data}};
}

QVariantMap urlTile(const QString& url, const QString& label) {
    const QVariantMap data = {
        {QStringLiteral("url"), urlData(url)},
        {QStringLiteral("label"), label.isEmpty() ? url : label},
    };
    return {{QStringLiteral("GUID"), newGuid()},
            {QStringLiteral("tile-type"), dock_tiles::kUrlTile},
            {QStringLiteral("tile-data"), data}};
}

QVariantMap spacerTile(const QString& tileType) {
    return {{QStringLiteral("GUID"), newGuid()},
            {QStringLiteral("tile-type"), tileType},
            {QStringLiteral("tile-data"), QVariantMap()}};
}

QString tileLocation(const QVariantMap& tile) {
    const QVariantMap data = tile.value(QStringLiteral("tile-data")).toMap();
    const QString file =
        data.value(QStringLiteral("file-data")).toMap().value(QStringLiteral("_CFURLString")).toString();
    if (!file.isEmpty())
        return file;
    return data.value(QStringLiteral("url")).toMap().value(QStringLiteral("_CFURLString")).toString();
}

std::optional<QString> tilePath(const QVariantMap& tile) {
    const QString location = tileLocation(tile);
    if (location.startsWith(QLatin1Char('/')))
        return withoutTrailingSlash(location);
    const auto url = parseUrl(location);
    if (!url || !url->isLocalFile())
        return std::nullopt;
    return withoutTrailingSlash(decodedPath(*url));
}

QString tileLabel(const QVariantMap& tile) {
    const QVariantMap data = tile.value(QStringLiteral("tile-data")).toMap();
    const QString fileLabel = data.value(QStringLiteral("file-label")).toString();
    return fileLabel.isEmpty() ? data.value(QStringLiteral("label")).toString() : fileLabel;
}

} // namespace pierline::tools
