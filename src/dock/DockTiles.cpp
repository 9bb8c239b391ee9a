#include "DockTiles.h"
#include "dock/DockTileNames.h"

#include "DockReader.h"
#include "platform/Url.h"

#include <QHash>
#include <QUuid>

namespace pierline {
namespace {

QVariantMap urlData(const QString& text) {
    return {{QStringLiteral("_CFURLString"), text}, {QStringLiteral("_CFURLStringType"), dock_tiles::kUrlStringType}};
}

QString labelOrLastComponent(const std::optional<QString>& label, const QString& location) {
    if (label && !label->isEmpty())
        return *label;
    return lastPathComponent(filePathOfLocation(location).value_or(location));
}

} // namespace

namespace DockTiles {

QVariantMap spacerTile() {
    return {{QStringLiteral("tile-type"), dock_tiles::kSpacerTile}};
}

QVariantMap smallSpacerTile() {
    return {{QStringLiteral("tile-type"), dock_tiles::kSmallSpacerTile}};
}

qint64 freshGuid() {
    return static_cast<qint64>(qHash(QUuid::createUuid().toString()));
}

QVariantMap appTile(const QString& entry, const QString& appName, bool bundleExists) {
    QVariantMap tileData{{QStringLiteral("file-data"), urlData(entry)}, {QStringLiteral("file-label"), appName}};
    QVariantMap tile{{QStringLiteral("tile-type"), dock_tiles::kFileTile}};
    if (bundleExists) {
        tileData.insert(QStringLiteral("file-type"), dock_tiles::kApplicationFileType);
        tileData.insert(QStringLiteral("bundle-identifier"), QString(QLatin1String("")));
        tileData.insert(QStringLiteral("dock-extra"), qint64{0});
        tile.insert(QStringLiteral("GUID"), freshGuid());
    }
    tile.insert(QStringLiteral("tile-data"), tileData);
    return tile;
}

int displayAsCode(const QString& displayAs) {
    return displayAs == QLatin1String("stack") ? 0 : 1;
}

int showAsCode(const QString& showAs) {
    if (showAs == QLatin1String("auto"))
        return 0;
    if (showAs == QLatin1String("fan"))
        return 1;
    if (showAs == QLatin1String("list"))
        return 3;
    return 2;
}

QVariantMap folderTile(const QString& location, const DockFolderStackValues& item) {
    const QVariantMap tileData{
        {QStringLiteral("file-data"), urlData(location)},
        {QStringLiteral("displayas"), qint64{displayAsCode(item.displayAs)}},
        {QStringLiteral("showas"), qint64{showAsCode(item.showAs)}},
        {QStringLiteral("arrangement"), qint64{arrangementCode(item.sortOrder)}},
        {QStringLiteral("file-label"), labelOrLastComponent(item.label, location)},
    };
    return {{QStringLiteral("tile-type"), dock_tiles::kDirectoryTile}, {QStringLiteral("tile-data"), tileData}};
}

QVariantMap fileTile(const QString& location, const std::optional<QString>& label) {
    const QVariantMap tileData{{QStringLiteral("file-data"), urlData(location)},
                               {QStringLiteral("file-label"), labelOrLastComponent(label, location)}};
    return {{QStringLiteral("tile-type"), dock_tiles::kFileTile}, {QStringLiteral("tile-data"), tileData}};
}

QVariantMap urlTile(const QString& url, const QString& label) {
    const QVariantMap tileData{{QStringLiteral("url"), urlData(url)}, {QStringLiteral("label"), label}};
    return {{QStringLiteral("tile-type"), dock_tiles::kUrlTile}, {QStringLiteral("tile-data"), tileData}};
}

} // namespace DockTiles

QString appNameFromPath(const QString& path) {
    return lastPathComponent(path).remove(QStringLiteral(".app"));
}

} // namespace pierline
