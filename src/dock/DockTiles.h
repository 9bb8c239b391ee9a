#pragma once

#include "core/DockFolderStack.h"
#include "platform/Url.h" // filePathOfLocation, shared with the readers of app entries

#include <QString>
#include <QVariantMap>
#include <optional>

namespace pierline {

// The Dock's own tile dictionaries, as the defaults writer imports them into com.apple.dock.
namespace DockTiles {

QVariantMap spacerTile();
QVariantMap smallSpacerTile();

// A pinned application. A bundle that exists gets the full tile with a fresh "GUID"; a missing one
// is still written, without the extras.
QVariantMap appTile(const QString& entry, const QString& appName, bool bundleExists);
// A fresh random tile identifier: the hash of a new UUID's text.
qint64 freshGuid();

// Right-hand tiles. `location` is the item's path, else its url, as stored.
QVariantMap folderTile(const QString& location, const DockFolderStackValues& item);
QVariantMap fileTile(const QString& location, const std::optional<QString>& label);
QVariantMap urlTile(const QString& url, const QString& label);

int displayAsCode(const QString& displayAs); // "stack" 0, anything else 1
int showAsCode(const QString& showAs);       // auto 0, fan 1, list 3, anything else 2 (grid)

} // namespace DockTiles

// The app's name for a tile label: the last path component with ".app" removed wherever it occurs.
QString appNameFromPath(const QString& path);

} // namespace pierline
