#pragma once

#include <QString>
#include <QVariantMap>
#include <optional>

// Tile dictionaries in the shapes the Dock stores in com.apple.dock.
namespace pierline::tools {

// "file:///…" with percent-escapes; folders (bundles included) end with "/".
QString fileUrlText(const QString& path, bool directory);

QVariantMap appTile(const QString& bundlePath, const QString& label);
QVariantMap folderTile(const QString& path, const QString& label, int showAs, int displayAs, int arrangement);
QVariantMap fileTile(const QString& path, const QString& label);
QVariantMap urlTile(const QString& url, const QString& label);
QVariantMap spacerTile(const QString& tileType); // "spacer-tile", "small-spacer-tile", "flex-spacer-tile"

// The local path a tile points at (decoded, without a trailing "/"), if it is a file URL.
std::optional<QString> tilePath(const QVariantMap& tile);
// The URL text of a tile: its file-data or url "_CFURLString".
QString tileLocation(const QVariantMap& tile);
// "file-label" or "label" of the tile's data.
QString tileLabel(const QVariantMap& tile);

} // namespace pierline::tools
