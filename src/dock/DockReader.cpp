#include "DockReader.h"
#include "dock/DockTileNames.h"

#include "core/PresetRecord.h"
#include "platform/Log.h"
#include "platform/Plist.h"
#include "platform/ProcessRunner.h"
#include "platform/ShellRunner.h"
#include "platform/SystemPaths.h"
#include "platform/Url.h"

#include "platform/Utf8.h"

namespace pierline {

namespace {

const QString kDockDomain = QStringLiteral("com.apple.dock");

// Child output as text; bytes that are not UTF-8 give nothing usable.
QString trimmedUtf8(const QByteArray& bytes) {
    return decodeUtf8(bytes).value_or(QString()).trimmed();
}

bool isText(const QVariant& value) {
    return value.typeId() == QMetaType::QString;
}

bool isInteger(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

bool isDictionary(const QVariant& value) {
    return value.typeId() == QMetaType::QVariantMap;
}

std::optional<QString> textValue(const QVariantMap& map, const QString& key) {
    const auto it = map.constFind(key);
    if (it == map.cend() || !isText(*it))
        return std::nullopt;
    return it->toString();
}

// The Dock stores its list of tiles as an array of dictionaries. An array that holds anything
// else is not that list, so it reads as empty like a missing one.
QList<QVariantMap> tileList(const QVariantMap& domain, const QString& key) {
    QList<QVariantMap> tiles;
    const auto it = domain.constFind(key);
    if (it == domain.cend() || it->typeId() != QMetaType::QVariantList)
        return tiles;
    const QVariantList list = it->toList();
    tiles.reserve(list.size());
    for (const QVariant& element : list) {
        if (!isDictionary(element))
            return {};
        tiles.append(element.toMap());
    }
    return tiles;
}

// "file-data" and "url" share one shape.
std::optional<FileData> fileDataValue(const QVariantMap& tileData, const QString& key) {
    const auto it = tileData.constFind(key);
    if (it == tileData.cend() || !isDictionary(*it))
        return std::nullopt;
    const QVariantMap map = it->toMap();
    FileData data;
    data.CFURLString = textValue(map, QStringLiteral("_CFURLString"));
    const auto type = map.constFind(QStringLiteral("_CFURLStringType"));
    if (type != map.cend() && isInteger(*type))
        data.CFURLStringType = type->toLongLong();
    return data;
}

// Stack settings are stored as text or as integers; both read as the decimal text.
std::optional<QString> settingCode(const QVariantMap& tileData, const QString& key) {
    const auto it = tileData.constFind(key);
    if (it == tileData.cend())
        return std::nullopt;
    if (isText(*it))
        return it->toString();
    if (isInteger(*it))
        return QString::number(it->toLongLong());
    return std::nullopt;
}

QString displayAsName(const std::optional<QString>& code) {
    return code == QLatin1String("0") ? QStringLiteral("stack") : QStringLiteral("folder");
}

QString showAsName(const std::optional<QString>& code) {
    if (code == QLatin1String("0"))
        return QStringLiteral("auto");
    if (code == QLatin1String("1"))
        return QStringLiteral("fan");
    if (code == QLatin1String("3"))
        return QStringLiteral("list");
    return QStringLiteral("grid");
}

QString arrangementName(const std::optional<QString>& code) {
    if (code == QLatin1String("2"))
        return QStringLiteral("date added");
    if (code == QLatin1String("3"))
        return QStringLiteral("date modified");
    if (code == QLatin1String("4"))
        return QStringLiteral("date created");
    if (code == QLatin1String("5"))
        return QStringLiteral("kind");
    return QStringLiteral("name");
}

struct SpacerCounters {
    int spacers = 0;
    int smallSpacers = 0;
};

std::optional<QString> appEntryFromTile(const QVariantMap& tile, SpacerCounters& counters) {
    const std::optional<QString> tileType = textValue(tile, QStringLiteral("tile-type"));
    if (tileType == dock_tiles::kSpacerTile)
        return spacerEntry(++counters.spacers);
    if (tileType == dock_tiles::kSmallSpacerTile)
        return smallSpacerEntry(++counters.smallSpacers);
    const QVariant tileData = tile.value(QStringLiteral("tile-data"));
    if (!isDictionary(tileData))
        return std::nullopt;
    const QVariant fileData = tileData.toMap().value(QStringLiteral("file-data"));
    if (!isDictionary(fileData))
        return std::nullopt;
    return textValue(fileData.toMap(), QStringLiteral("_CFURLString"));
}

std::optional<DockItem> dockItemFromTile(const QVariantMap& tile) {
    DockItem item;
    item.tileType = textValue(tile, QStringLiteral("tile-type"));
    if (!item.tileType)
        return std::nullopt;
    const QVariant rawData = tile.value(QStringLiteral("tile-data"));
    const QVariantMap tileData = isDictionary(rawData) ? rawData.toMap() : QVariantMap();
    DockTileData data;
    data.fileLabel = textValue(tileData, QStringLiteral("file-label"));
    data.fileData = fileDataValue(tileData, QStringLiteral("file-data"));
    data.displayAs = displayAsName(settingCode(tileData, QStringLiteral("displayas")));
    data.showAs = showAsName(settingCode(tileData, QStringLiteral("showas")));
    data.arrangement = arrangementName(settingCode(tileData, QStringLiteral("arrangement")));
    data.url = fileDataValue(tileData, QStringLiteral("url"));
    data.label = textValue(tileData, QStringLiteral("label"));
    item.tileData = data;
    return item;
}

} // namespace

QString DockReadError::description() const {
    switch (kind) {
    case Kind::CommandFailed:
        return QStringLiteral("Command failed: %1").arg(message);
    case Kind::ParseFailed:
        return QStringLiteral("Parse failed: %1").arg(message);
    case Kind::UnexpectedFormat:
        break;
    }
    return QStringLiteral("Dock preferences did not contain the expected plist structure");
}

QString DockReadError::userMessage() const {
    if (kind == Kind::CommandFailed)
        return QStringLiteral("Pierline couldn't read your Dock layout. Please restart Pierline and try again.");
    return QStringLiteral(
        "Pierline couldn't understand your Dock layout. Please contact support if this keeps happening.");
}

std::variant<QVariantMap, DockReadError> DockReader::readDockPreferences() {
    // A hung `defaults` must not hang the caller: it gets the same limit as every other child.
    const ProcessResult result =
        runProcess(SystemPaths::toolPath(QStringLiteral("defaults")),
                   {QStringLiteral("export"), kDockDomain, QStringLiteral("-")}, {}, ShellRunner::shared().timeLimit());
    if (result.exitStatus != 0) {
        QString message = trimmedUtf8(result.stderrData);
        if (message.isEmpty())
            message = trimmedUtf8(result.stdoutData);
        return DockReadError{DockReadError::Kind::CommandFailed, message};
    }
    const PlistParseResult parsed = parsePlist(result.stdoutData);
    if (!parsed.value)
        return DockReadError{DockReadError::Kind::ParseFailed, parsed.error};
    if (!isDictionary(*parsed.value))
        return DockReadError{DockReadError::Kind::UnexpectedFormat, QString()};
    return parsed.value->toMap();
}

std::variant<DockReading, DockReadError> DockReader::readDock() {
    auto preferences = readDockPreferences();
    if (auto* error = std::get_if<DockReadError>(&preferences))
        return *error;
    return parseDomain(std::get<QVariantMap>(preferences));
}

QStringList DockReader::getDockApps() {
    auto reading = readDock();
    if (auto* error = std::get_if<DockReadError>(&reading)) {
        printWarning(QStringLiteral("Warning: getDockApps failed. %1").arg(error->description()));
        return {};
    }
    return std::get<DockReading>(reading).apps;
}

QList<DockItem> DockReader::getDockItems() {
    auto reading = readDock();
    if (auto* error = std::get_if<DockReadError>(&reading)) {
        printWarning(QStringLiteral("Warning: getDockItems failed. %1").arg(error->description()));
        return {};
    }
    return std::get<DockReading>(reading).items;
}

DockReading DockReader::parseDomain(const QVariantMap& domain) {
    DockReading reading;
    SpacerCounters counters; // per reading: the first spacer of every Dock is spacer 1
    const QList<QVariantMap> apps = tileList(domain, QStringLiteral("persistent-apps"));
    reading.apps.reserve(apps.size());
    for (const QVariantMap& tile : apps) {
        if (auto entry = appEntryFromTile(tile, counters))
            reading.apps.append(*entry);
    }
    const QList<QVariantMap> others = tileList(domain, QStringLiteral("persistent-others"));
    reading.items.reserve(others.size());
    for (const QVariantMap& tile : others) {
        if (auto item = dockItemFromTile(tile))
            reading.items.append(*item);
    }
    return reading;
}

QString normalizedAppEntry(const QString& entry) {
    if (isSmallSpacerEntry(entry))
        return dock_tiles::kSmallSpacerTile;
    if (isSpacerEntry(entry))
        return dock_tiles::kSpacerTile;
    QString normalized = percentDecodedOr(entry);
    while (normalized.endsWith(QLatin1Char('/')))
        normalized.chop(1);
    return normalized;
}

bool appListsMatch(const QStringList& a, const QStringList& b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (normalizedAppEntry(a[i]) != normalizedAppEntry(b[i]))
            return false;
    }
    return true;
}

int arrangementCode(const QString& name) {
    if (name == QLatin1String("date added"))
        return 2;
    if (name == QLatin1String("date modified"))
        return 3;
    if (name == QLatin1String("date created"))
        return 4;
    if (name == QLatin1String("kind"))
        return 5;
    return 1;
}

std::optional<DockFolderStackValues> storedItemFromDockItem(const DockItem& item, StoredItemKinds kinds,
                                                            std::optional<QString>* unknownType) {
    if (unknownType)
        unknownType->reset();
    const QString tileType = item.tileType.value_or(QString());
    const DockTileData data = item.tileData.value_or(DockTileData());
    const std::optional<QString> location = data.fileData ? data.fileData->CFURLString : std::nullopt;

    DockFolderStackValues values;
    if (tileType == dock_tiles::kDirectoryTile) {
        if (!location)
            return std::nullopt;
        values.path = location;
        values.itemType = QStringLiteral("folder");
        values.url = location;
        values.displayAs = data.displayAs.value_or(QStringLiteral("folder"));
        values.showAs = data.showAs.value_or(QStringLiteral("grid"));
        values.sortOrder = data.arrangement.value_or(QStringLiteral("name"));
        return values;
    }
    if (tileType == dock_tiles::kFileTile) {
        if (kinds == StoredItemKinds::FoldersOnly)
            return std::nullopt;
        values.path = location;
        values.itemType = QStringLiteral("file");
        values.url = location;
        values.label = data.fileLabel;
        return values;
    }
    if (tileType == dock_tiles::kUrlTile) {
        if (kinds == StoredItemKinds::FoldersOnly)
            return std::nullopt;
        values.itemType = QStringLiteral("url");
        values.url = data.url ? data.url->CFURLString : std::nullopt;
        values.label = data.label;
        return values;
    }
    if (unknownType)
        *unknownType = tileType;
    return std::nullopt;
}

QList<DockFolderStackValues> storedItemsFromDock(const QList<DockItem>& items, StoredItemKinds kinds,
                                                 QStringList* unknownTypes) {
    QList<DockFolderStackValues> stored;
    for (const DockItem& item : items) {
        std::optional<QString> unknownType;
        auto values = storedItemFromDockItem(item, kinds, &unknownType);
        if (!values) {
            if (unknownType && unknownTypes)
                unknownTypes->append(*unknownType);
            continue;
        }
        values->order = static_cast<qint16>(std::min<qsizetype>(stored.size(), 32767));
        stored.append(*values);
    }
    return stored;
}

} // namespace pierline
