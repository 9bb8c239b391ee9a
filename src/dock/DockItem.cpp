#include "DockItem.h"

namespace pierline {

namespace {

void putText(QJsonObject& object, const char* key, const std::optional<QString>& value) {
    if (value)
        object.insert(QLatin1String(key), *value);
}

std::optional<QString> takeText(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

template <typename T> std::optional<T> takeObject(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isObject())
        return std::nullopt;
    return T::fromJson(value.toObject());
}

} // namespace

QJsonObject FileData::toJson() const {
    QJsonObject object;
    putText(object, "CFURLString", CFURLString);
    if (CFURLStringType)
        object.insert(QLatin1String("CFURLStringType"), *CFURLStringType);
    return object;
}

FileData FileData::fromJson(const QJsonObject& object) {
    FileData data;
    data.CFURLString = takeText(object, "CFURLString");
    const QJsonValue type = object.value(QLatin1String("CFURLStringType"));
    if (type.isDouble()) {
        const double number = type.toDouble();
        // Only whole numbers are integers; a fraction is not a URL string type.
        if (number == static_cast<double>(static_cast<qint64>(number)))
            data.CFURLStringType = type.toInteger();
    }
    return data;
}

QJsonObject DockTileData::toJson() const {
    QJsonObject object;
    putText(object, "fileLabel", fileLabel);
    if (fileData)
        object.insert(QLatin1String("fileData"), fileData->toJson());
    putText(object, "displayAs", displayAs);
    putText(object, "showAs", showAs);
    putText(object, "arrangement", arrangement);
    if (url)
        object.insert(QLatin1String("url"), url->toJson());
    putText(object, "label", label);
    return object;
}

DockTileData DockTileData::fromJson(const QJsonObject& object) {
    DockTileData data;
    data.fileLabel = takeText(object, "fileLabel");
    data.fileData = takeObject<FileData>(object, "fileData");
    data.displayAs = takeText(object, "displayAs");
    data.showAs = takeText(object, "showAs");
    data.arrangement = takeText(object, "arrangement");
    data.url = takeObject<URLData>(object, "url");
    data.label = takeText(object, "label");
    return data;
}

QJsonObject DockItem::toJson() const {
    QJsonObject object;
    if (tileData)
        object.insert(QLatin1String("tileData"), tileData->toJson());
    putText(object, "tileType", tileType);
    return object;
}

DockItem DockItem::fromJson(const QJsonObject& object) {
    DockItem item;
    item.tileData = takeObject<DockTileData>(object, "tileData");
    item.tileType = takeText(object, "tileType");
    return item;
}

} // namespace pierline
