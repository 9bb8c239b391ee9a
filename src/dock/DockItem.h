#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

namespace pierline {

// "file-data" and "url" of a tile: the same shape.
struct FileData {
    std::optional<QString> CFURLString;
    std::optional<qint64> CFURLStringType;
    bool operator==(const FileData&) const = default;
    QJsonObject toJson() const;
    static FileData fromJson(const QJsonObject& object);
};
using URLData = FileData;

struct DockTileData {
    std::optional<QString> fileLabel;
    std::optional<FileData> fileData;
    std::optional<QString> displayAs;
    std::optional<QString> showAs;
    std::optional<QString> arrangement;
    std::optional<URLData> url;
    std::optional<QString> label;
    bool operator==(const DockTileData&) const = default;
    QJsonObject toJson() const;
    static DockTileData fromJson(const QJsonObject& object);
};

// One right-hand tile of the Dock.
struct DockItem {
    std::optional<DockTileData> tileData;
    std::optional<QString> tileType;
    bool operator==(const DockItem&) const = default;
    // Coding keys equal the field names; absent values are omitted.
    QJsonObject toJson() const;
    static DockItem fromJson(const QJsonObject& object);
};

} // namespace pierline
