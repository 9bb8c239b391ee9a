#include "BackupRecords.h"

#include "platform/Clock.h"
#include "store/ManagedObjectContext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QUuid>
#include <cmath>
#include <limits>

namespace pierline {
namespace {

const QString kSafari = QStringLiteral("safari");
const QString kRegular = QStringLiteral("regular");

[[noreturn]] void fail(const QString& text) {
    throw BackupDecodeError(text);
}

QString quoted(const QString& key) {
    return QLatin1Char('"') + key + QLatin1Char('"');
}

// A key whose value is null counts as absent.
std::optional<QJsonValue> present(const QJsonObject& object, const QString& key) {
    const auto it = object.constFind(key);
    if (it == object.constEnd() || it->isNull())
        return std::nullopt;
    return *it;
}

std::optional<QString> optionalString(const QJsonObject& object, const QString& key, const QString& where) {
    const auto value = present(object, key);
    if (!value)
        return std::nullopt;
    if (!value->isString())
        fail(QStringLiteral("Wrong type for %1 at %2: expected a string").arg(quoted(key), where));
    return value->toString();
}

QString requiredString(const QJsonObject& object, const QString& key, const QString& where) {
    const auto value = optionalString(object, key, where);
    if (!value)
        fail(QStringLiteral("Missing key %1 at %2").arg(quoted(key), where));
    return *value;
}

std::optional<QDateTime> optionalDate(const QJsonObject& object, const QString& key, const QString& where) {
    const auto text = optionalString(object, key, where);
    if (!text)
        return std::nullopt;
    const auto date = parseIsoDate(*text);
    if (!date)
        fail(QStringLiteral("Invalid date %1 for %2 at %3: expected an ISO 8601 date in whole seconds")
                 .arg(quoted(*text), quoted(key), where));
    return date;
}

QDateTime requiredDate(const QJsonObject& object, const QString& key, const QString& where) {
    const auto date = optionalDate(object, key, where);
    if (!date)
        fail(QStringLiteral("Missing key %1 at %2").arg(quoted(key), where));
    return *date;
}

QJsonObject objectAt(const QJsonValue& value, const QString& where) {
    if (!value.isObject())
        fail(QStringLiteral("Wrong type at %1: expected an object").arg(where));
    return value.toObject();
}

void insertIfSet(QJsonObject& object, const QString& key, const std::optional<QString>& value) {
    if (value)
        object.insert(key, *value);
}

} // namespace

QString isoDate(const QDateTime& date) {
    return date.toUTC().toString(Qt::ISODate);
}

std::optional<QDateTime> parseIsoDate(const QString& text) {
    static const QRegularExpression form(QStringLiteral(R"(^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(Z|[+-]\d{2}:\d{2})$)"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    const QDateTime date = QDateTime::fromString(text, Qt::ISODate);
    if (!date.isValid())
        return std::nullopt;
    return date.toUTC();
}

QJsonObject SafariWebAppMetadata::toJson() const {
    QJsonObject o;
    o.insert(QStringLiteral("appName"), appName);
    o.insert(QStringLiteral("appType"), appType == AppType::Safari ? kSafari : kRegular);
    insertIfSet(o, QStringLiteral("appUrl"), appUrl);
    insertIfSet(o, QStringLiteral("appIcon"), appIcon);
    insertIfSet(o, QStringLiteral("bundleIdentifier"), bundleIdentifier);
    return o;
}

SafariWebAppMetadata SafariWebAppMetadata::fromJson(const QJsonObject& object, const QString& where) {
    SafariWebAppMetadata m;
    m.appName = requiredString(object, QStringLiteral("appName"), where);
    const QString type = requiredString(object, QStringLiteral("appType"), where);
    if (type == kSafari)
        m.appType = AppType::Safari;
    else if (type == kRegular)
        m.appType = AppType::Regular;
    else
        fail(QStringLiteral("Unknown appType %1 at %2").arg(quoted(type), where));
    m.appUrl = optionalString(object, QStringLiteral("appUrl"), where);
    m.appIcon = optionalString(object, QStringLiteral("appIcon"), where);
    m.bundleIdentifier = optionalString(object, QStringLiteral("bundleIdentifier"), where);
    return m;
}

QJsonObject appMetadataJson(const AppMetadataMap& map) {
    QJsonObject o;
    for (auto it = map.begin(); it != map.end(); ++it)
        o.insert(it.key(), it.value().toJson());
    return o;
}

DockFolderStackDTO DockFolderStackDTO::fromStack(const DockFolderStack& stack) {
    DockFolderStackDTO dto;
    const auto path = stack.path();
    dto.path = path.value_or(QString());
    dto.displayAs = stack.displayAs();
    dto.showAs = stack.showAs();
    dto.sortOrder = stack.sortOrder();
    dto.order = stack.order();
    dto.itemType = stack.itemType().value_or(QStringLiteral("folder"));
    dto.url = stack.url().value_or(path.value_or(QString()));
    dto.label = stack.label().value_or(QString());
    return dto;
}

QJsonObject DockFolderStackDTO::toJson() const {
    QJsonObject o;
    o.insert(QStringLiteral("path"), path);
    o.insert(QStringLiteral("displayAs"), displayAs);
    o.insert(QStringLiteral("showAs"), showAs);
    o.insert(QStringLiteral("sortOrder"), sortOrder);
    o.insert(QStringLiteral("order"), order);
    o.insert(QStringLiteral("itemType"), itemType);
    o.insert(QStringLiteral("url"), url);
    o.insert(QStringLiteral("label"), label);
    return o;
}

DockFolderStackDTO DockFolderStackDTO::fromJson(const QJsonObject& object, const QString& where) {
    DockFolderStackDTO dto;
    dto.path = requiredString(object, QStringLiteral("path"), where);
    dto.displayAs = requiredString(object, QStringLiteral("displayAs"), where);
    dto.showAs = requiredString(object, QStringLiteral("showAs"), where);
    dto.sortOrder = requiredString(object, QStringLiteral("sortOrder"), where);
    const auto order = present(object, QStringLiteral("order"));
    if (!order)
        fail(QStringLiteral("Missing key \"order\" at %1").arg(where));
    const double number = order->toDouble();
    if (!order->isDouble() || std::trunc(number) != number)
        fail(QStringLiteral("Wrong type for \"order\" at %1: expected an integer").arg(where));
    // The stored attribute has 16 bits; a record it cannot hold refuses the document.
    if (number < std::numeric_limits<qint16>::min() || number > std::numeric_limits<qint16>::max())
        fail(QStringLiteral("\"order\" %1 at %2 is outside -32768..32767").arg(number, 0, 'f', 0).arg(where));
    dto.order = static_cast<qint16>(number);
    dto.itemType = requiredString(object, QStringLiteral("itemType"), where);
    dto.url = requiredString(object, QStringLiteral("url"), where);
    dto.label = requiredString(object, QStringLiteral("label"), where);
    return dto;
}

DockPresetDTO DockPresetDTO::fromPreset(const DockPreset& preset) {
    DockPresetDTO dto;
    if (const auto id = preset.id())
        dto.idString = preset.idString();
    dto.name = preset.name().value_or(QString());
    dto.createdAt = preset.createdAt().value_or(Clock::shared().now());
    dto.apps = preset.apps().value_or(QString());
    dto.appNotes = preset.appNotes();
    for (const auto& stack : preset.folderStacksArray())
        dto.folderStacks.append(DockFolderStackDTO::fromStack(*stack));
    dto.lastContextStatus = preset.lastContextStatus();
    dto.lastContextNextSteps = preset.lastContextNextSteps();
    dto.lastContextUpdatedAt = preset.lastContextUpdatedAt();
    return dto;
}

QJsonObject DockPresetDTO::toJson() const {
    QJsonObject o;
    insertIfSet(o, QStringLiteral("idString"), idString);
    o.insert(QStringLiteral("name"), name);
    o.insert(QStringLiteral("createdAt"), isoDate(createdAt));
    o.insert(QStringLiteral("apps"), apps);
    insertIfSet(o, QStringLiteral("appNotes"), appNotes);
    QJsonArray stacks;
    for (const auto& stack : folderStacks)
        stacks.append(stack.toJson());
    o.insert(QStringLiteral("folderStacks"), stacks);
    if (appMetadata)
        o.insert(QStringLiteral("appMetadata"), appMetadataJson(*appMetadata));
    insertIfSet(o, QStringLiteral("lastContextStatus"), lastContextStatus);
    insertIfSet(o, QStringLiteral("lastContextNextSteps"), lastContextNextSteps);
    if (lastContextUpdatedAt)
        o.insert(QStringLiteral("lastContextUpdatedAt"), isoDate(*lastContextUpdatedAt));
    return o;
}

DockPresetDTO DockPresetDTO::fromJson(const QJsonObject& object, const QString& where) {
    DockPresetDTO dto;
    dto.idString = optionalString(object, QStringLiteral("idString"), where);
    dto.name = requiredString(object, QStringLiteral("name"), where);
    dto.createdAt = requiredDate(object, QStringLiteral("createdAt"), where);
    dto.apps = requiredString(object, QStringLiteral("apps"), where);
    dto.appNotes = optionalString(object, QStringLiteral("appNotes"), where);
    const auto stacks = present(object, QStringLiteral("folderStacks"));
    if (!stacks)
        fail(QStringLiteral("Missing key \"folderStacks\" at %1").arg(where));
    if (!stacks->isArray())
        fail(QStringLiteral("Wrong type for \"folderStacks\" at %1: expected an array").arg(where));
    const QJsonArray array = stacks->toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString at = QStringLiteral("%1.folderStacks[%2]").arg(where).arg(i);
        dto.folderStacks.append(DockFolderStackDTO::fromJson(objectAt(array.at(i), at), at));
    }
    if (const auto metadata = present(object, QStringLiteral("appMetadata"))) {
        if (!metadata->isObject())
            fail(QStringLiteral("Wrong type for \"appMetadata\" at %1: expected an object").arg(where));
        const QJsonObject map = metadata->toObject();
        AppMetadataMap decoded;
        for (auto it = map.begin(); it != map.end(); ++it) {
            const QString at = QStringLiteral("%1.appMetadata[%2]").arg(where, quoted(it.key()));
            decoded.insert(it.key(), SafariWebAppMetadata::fromJson(objectAt(it.value(), at), at));
        }
        dto.appMetadata = decoded;
    }
    dto.lastContextStatus = optionalString(object, QStringLiteral("lastContextStatus"), where);
    dto.lastContextNextSteps = optionalString(object, QStringLiteral("lastContextNextSteps"), where);
    dto.lastContextUpdatedAt = optionalDate(object, QStringLiteral("lastContextUpdatedAt"), where);
    return dto;
}

DockPresetPtr DockPresetDTO::makePreset(ManagedObjectContext& context) const {
    auto preset = context.insert<DockPreset>();
    if (!idString) {
        preset->setId(QUuid::createUuid());
    } else {
        const QUuid id = QUuid::fromString(*idString);
        preset->setId(id.isNull() ? std::nullopt : std::optional<QUuid>(id));
    }
    preset->setName(name);
    preset->setCreatedAt(createdAt);
    preset->setApps(apps);
    preset->setAppNotes(appNotes);
    preset->setLastContextStatus(lastContextStatus);
    preset->setLastContextNextSteps(lastContextNextSteps);
    preset->setLastContextUpdatedAt(lastContextUpdatedAt);
    for (const DockFolderStackDTO& record : folderStacks) {
        auto stack = context.insert<DockFolderStack>();
        stack->setPath(record.path);
        stack->setDisplayAs(record.displayAs);
        stack->setShowAs(record.showAs);
        stack->setSortOrder(record.sortOrder);
        stack->setOrder(record.order);
        stack->setItemType(record.itemType);
        stack->setUrl(record.url);
        stack->setLabel(record.label);
        stack->setPreset(preset);
    }
    return preset;
}

QList<DockPresetDTO> decodeBackup(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        fail(QStringLiteral("The data is not valid JSON (%1 at offset %2)").arg(error.errorString()).arg(error.offset));
    if (!document.isArray())
        fail(QStringLiteral("The document is not an array of presets"));
    const QJsonArray array = document.array();
    QList<DockPresetDTO> records;
    records.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString at = QStringLiteral("[%1]").arg(i);
        records.append(DockPresetDTO::fromJson(objectAt(array.at(i), at), at));
    }
    return records;
}

QByteArray encodeBackup(const QList<DockPresetDTO>& records) {
    QJsonArray array;
    for (const auto& record : records)
        array.append(record.toJson());
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

QJsonObject presetListingJson(const DockPreset& preset) {
    QJsonObject o = DockPresetDTO::fromPreset(preset).toJson();
    o.insert(QStringLiteral("order"), preset.order());
    return o;
}

} // namespace pierline
