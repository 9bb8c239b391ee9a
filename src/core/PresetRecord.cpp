#include "PresetRecord.h"

#include "platform/DesktopEntry.h"
#include "platform/Log.h"
#include "platform/Url.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QUrl>

namespace pierline {

namespace {
const QString kSmallSpacerMarker = QStringLiteral("pierline-small-spacer");
const QString kSpacerMarker = QStringLiteral("pierline-spacer");
} // namespace

bool isSmallSpacerEntry(const QString& entry) {
    return entry.contains(kSmallSpacerMarker);
}

bool isSpacerEntry(const QString& entry) {
    return !isSmallSpacerEntry(entry) && entry.contains(kSpacerMarker);
}

QString spacerEntry(int counter) {
    return kSpacerPrefix + QString::number(counter);
}

QString smallSpacerEntry(int counter) {
    return kSmallSpacerPrefix + QString::number(counter);
}

QString appDisplayName(const QString& entry) {
    if (isSmallSpacerEntry(entry))
        return QStringLiteral("Small Spacer");
    if (isSpacerEntry(entry))
        return QStringLiteral("Spacer");
    const std::optional<QString> path = filePathOfLocation(entry);
    QString name = lastPathComponent(path ? *path : percentDecodedOr(entry));
    if (isDesktopFilePath(name)) {
        // A desktop app shows the localised Name its desktop file gives; a missing file, its ID.
        if (path) {
            if (const auto desktop = DesktopEntry::load(*path))
                if (const auto localised = desktop->localised(QStringLiteral("Name"));
                    localised && !localised->isEmpty())
                    return *localised;
        }
        name.chop(8);
        return name;
    }
    if (name.endsWith(QLatin1String(".app")))
        name.chop(4);
    return name;
}

std::optional<QStringList> tryDecodeApps(const std::optional<QString>& appsText) {
    if (!appsText)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(appsText->toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QStringList apps;
    const QJsonArray array = document.array();
    apps.reserve(array.size());
    for (const QJsonValue& value : array) {
        // One element of another type makes the whole text undecodable, not just that element.
        if (!value.isString())
            return std::nullopt;
        apps.append(value.toString());
    }
    return apps;
}

QStringList decodeApps(const std::optional<QString>& appsText) {
    std::optional<QStringList> apps = tryDecodeApps(appsText);
    if (!apps) {
        printWarning(QStringLiteral("Failed to decode app URLs from preset."));
        return {};
    }
    return std::move(*apps);
}

QString encodeApps(const QStringList& apps) {
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(apps)).toJson(QJsonDocument::Compact));
}

QString appNoteKey(const QString& appEntry) {
    if (isSpacerEntry(appEntry))
        return appEntry;
    const auto path = filePathOfLocation(appEntry);
    if (!path)
        return appEntry;
    return QUrl::fromLocalFile(*path).toString(QUrl::FullyEncoded);
}

QJsonObject decodeAppNotes(const std::optional<QString>& text) {
    if (!text || text->isEmpty())
        return {};
    const QJsonDocument doc = QJsonDocument::fromJson(text->toUtf8());
    return doc.isObject() ? doc.object() : QJsonObject{};
}

std::optional<QString> encodeAppNotes(const QJsonObject& notes) {
    if (notes.isEmpty())
        return std::nullopt;
    return QString::fromUtf8(QJsonDocument(notes).toJson(QJsonDocument::Compact));
}

bool pruneAppNotes(DockPreset& preset, const QStringList& apps) {
    QStringList validKeys;
    for (const QString& entry : apps)
        validKeys.append(appNoteKey(entry));
    QJsonObject notes = decodeAppNotes(preset.appNotes());
    bool removed = false;
    for (const QString& key : notes.keys()) {
        if (validKeys.contains(key))
            continue;
        notes.remove(key);
        removed = true;
    }
    if (removed)
        preset.setAppNotes(encodeAppNotes(notes));
    return removed;
}

} // namespace pierline
