#include "StoredItem.h"
#include "dock/DockTileNames.h"

#include "platform/Url.h"

namespace pierline {

QString storedItemKind(const DockFolderStackValues& item) {
    if (item.itemType)
        return *item.itemType;
    return item.url && !item.path ? QStringLiteral("url") : QStringLiteral("folder");
}

std::optional<QString> storedItemPath(const DockFolderStackValues& item) {
    if (storedItemKind(item) == QLatin1String("url"))
        return std::nullopt;
    return filePathOfLocation(item.path ? *item.path : item.url.value_or(QString()));
}

QString storedItemLabel(const DockFolderStackValues& item) {
    if (item.label && !item.label->trimmed().isEmpty())
        return *item.label;
    if (storedItemKind(item) == QLatin1String("url"))
        return item.url.value_or(QStringLiteral("Link"));
    if (const auto path = storedItemPath(item))
        return lastPathComponent(*path);
    const QString location = item.path ? *item.path : item.url.value_or(QString());
    return location.isEmpty() ? QStringLiteral("Item") : location;
}

DockItem dockItemFromStoredItem(const DockFolderStackValues& item) {
    const QString kind = storedItemKind(item);
    DockItem out;
    DockTileData data;
    if (kind == QLatin1String("url")) {
        out.tileType = dock_tiles::kUrlTile;
        data.url = URLData{item.url, 15};
        data.label = item.label;
    } else {
        const std::optional<QString> location = item.path ? item.path : item.url;
        data.fileData = FileData{location, 15};
        if (kind == QLatin1String("file")) {
            out.tileType = dock_tiles::kFileTile;
            data.fileLabel = item.label;
        } else {
            out.tileType = dock_tiles::kDirectoryTile;
            data.displayAs = item.displayAs;
            data.showAs = item.showAs;
            data.arrangement = item.sortOrder;
        }
    }
    out.tileData = data;
    return out;
}

} // namespace pierline
