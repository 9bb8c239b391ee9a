#pragma once

#include <QByteArray>
#include <QString>

namespace pierline {

// One `.dockitem` file of a Plank dock: a key file whose [PlankDockItemPreferences] Launcher is
// the URI of what the item shows (a desktop file, a folder, a file or a docklet).
namespace PlankDockItem {

// The Launcher URI; throws DockTargetError for a file that cannot be read or is not a dock item.
QString readLauncher(const QString& path);
QByteArray text(const QString& launcher);
// The launcher URI of a local path, as Plank writes them (percent-encoded, no trailing slash).
QString launcherOfPath(const QString& path);

} // namespace PlankDockItem
} // namespace pierline
