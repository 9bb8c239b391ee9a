#pragma once

#include "core/DockFolderStack.h"
#include "dock/DockItem.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <optional>

namespace pierline {

// Desktop files Pierline writes for items a native dock can only show as launchers. Each is
// named `pierline-<hash>.desktop` after the item and carries the item itself, so reading the
// dock gives the item back.
QString generatedLauncherId(const DockFolderStackValues& item);
// An application that opens the item with xdg-open (the GNOME dash shows applications only).
QByteArray generatedAppLauncherText(const DockFolderStackValues& item);
// A Type=Link entry for a web link; a folder or file item gets the application form.
QByteArray generatedLinkLauncherText(const DockFolderStackValues& item);
// The item a generated desktop file stands for; nullopt for any other file.
std::optional<DockItem> itemOfGeneratedLauncher(const QString& path);

// Writes the file unless it already holds `text`; throws DockTargetError when it cannot.
void writeIfChanged(const QString& path, const QByteArray& text);

// Removes the generated desktop files in `folder` whose IDs are not in `keep`; files that only
// look generated are left alone.
void removeUnusedGeneratedLaunchers(const QString& folder, const QSet<QString>& keep);

} // namespace pierline
