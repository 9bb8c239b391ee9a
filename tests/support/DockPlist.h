#pragma once

#include "platform/Plist.h"
#include "platform/SystemPaths.h"
#include "platform/Url.h"
#include "support/TempHome.h"

#include <QFile>
#include <QVariantMap>

// Dock domains as the Dock stores them: builders for tests that write one, readers for tests
// that check what a tool or writer left.
namespace pierline::test {

inline QVariantMap fileData(const QVariant& url) {
    return {{"_CFURLString", url}, {"_CFURLStringType", qint64(15)}};
}
inline QVariantMap fileTile(const QString& url, const QString& label) {
    return {{"tile-type", "file-tile"},
            {"tile-data", QVariantMap{{"file-data", fileData(url)}, {"file-label", label}}}};
}
inline QVariantMap appTile(const QString& url) {
    return fileTile(url, url.section('/', -2, -2));
}
inline QVariantMap spacerTile() {
    return {{"tile-type", "spacer-tile"}, {"tile-data", QVariantMap()}};
}
inline QVariantMap smallSpacerTile() {
    return {{"tile-type", "small-spacer-tile"}, {"tile-data", QVariantMap()}};
}
// Stack settings left invalid are left out of the tile.
inline QVariantMap folderTile(const QString& url, const QVariant& displayas, const QVariant& showas,
                              const QVariant& arrangement) {
    QVariantMap data{{"file-data", fileData(url)}, {"file-label", url.section('/', -2, -2)}};
    const std::pair<const char*, QVariant> settings[] = {
        {"displayas", displayas}, {"showas", showas}, {"arrangement", arrangement}};
    for (const auto& [key, value] : settings)
        if (value.isValid())
            data.insert(key, value);
    return {{"tile-type", "directory-tile"}, {"tile-data", data}};
}
inline QVariantMap urlTile(const QString& address, const QString& label) {
    return {{"tile-type", "url-tile"}, {"tile-data", QVariantMap{{"url", fileData(address)}, {"label", label}}}};
}
inline QVariantMap domain(const QVariantList& apps, const QVariantList& others) {
    return {{"persistent-apps", apps}, {"persistent-others", others}, {"tilesize", qint64(48)}, {"autohide", false}};
}

inline QByteArray xmlPlist(const QVariant& value) {
    return plistToXml(value).value_or(QByteArray());
}
inline void writeDockDomain(const TempHome& home, const QByteArray& bytes) {
    home.write(QStringLiteral("Library/Preferences/com.apple.dock.plist"), bytes);
}

// The file URL of a folder or bundle (with the trailing slash), as the Dock writes it.
inline QString dirUrl(const QString& path) {
    return fileUrlFromPath(path, true).toString(QUrl::FullyEncoded);
}

inline QVariant parsedFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parsePlist(file.readAll()).value.value_or(QVariant());
}
inline QVariantMap dockDomain() {
    return parsedFile(SystemPaths::preferencesFile(QStringLiteral("com.apple.dock"))).toMap();
}
inline QVariantMap tileData(const QVariant& tile) {
    return tile.toMap().value(QStringLiteral("tile-data")).toMap();
}
inline QString tileType(const QVariant& tile) {
    return tile.toMap().value(QStringLiteral("tile-type")).toString();
}
// The file URL of a tile, or its web address.
inline QString tileUrl(const QVariant& tile) {
    const QVariantMap data = tileData(tile);
    const QString file = data.value("file-data").toMap().value("_CFURLString").toString();
    return file.isEmpty() ? data.value("url").toMap().value("_CFURLString").toString() : file;
}

} // namespace pierline::test
