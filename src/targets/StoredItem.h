#pragma once

#include "core/DockFolderStack.h"
#include "dock/DockItem.h"

#include <QString>

namespace pierline {

// "folder", "file" or "url": the stored type, else guessed the way old records were written.
QString storedItemKind(const DockFolderStackValues& item);
// What a native dock shows as the item's name: its label, else the last path component or the URL.
QString storedItemLabel(const DockFolderStackValues& item);
// The folder or file path of a folder or file item; nullopt for a link or a location that names no path.
std::optional<QString> storedItemPath(const DockFolderStackValues& item);

// A stored item as the tile the readers give back.
DockItem dockItemFromStoredItem(const DockFolderStackValues& item);

} // namespace pierline
