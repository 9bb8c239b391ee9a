// GLib first: its headers use `signals` as a name, which Qt defines as a macro.
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include "GnomeDashTarget.h"

#include "platform/DesktopEntry.h"
#include "core/PresetRecord.h"
#include "platform/Log.h"
#include "platform/Url.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <memory>

namespace pierline {
namespace {

const char* const kSchema = "org.gnome.shell";
const char* const kKey = "favorite-apps";
const QString kGeneratedPrefix = QStringLiteral("pierline-");
const QString kItemKey = QStringLiteral("X-Pierline-Item");

const Logger& log() {
    static const Logger logger(QStringLiteral("GnomeDash"));
    return logger;
}

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct SchemaUnref {
    void operator()(GSettingsSchema* schema) const { g_settings_schema_unref(schema); }
};
using SchemaPtr = std::unique_ptr<GSettingsSchema, SchemaUnref>;

QString takeError(GError* error) {
    const QString message = error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
    g_clear_error(&error);
    return message;
}

// The schema, or why the dash cannot be reached; also checks that settings would be kept.
SchemaPtr lookupSchema(QString* why) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    SchemaPtr schema(source ? g_settings_schema_source_lookup(source, kSchema, TRUE) : nullptr);
    if (!schema || !g_settings_schema_has_key(schema.get(), kKey)) {
        *why = QStringLiteral("the GNOME Shell settings schema (org.gnome.shell favorite-apps) is not installed; "
                              "install gnome-shell-common");
        return nullptr;
    }
    std::unique_ptr<GSettingsBackend, GObjectUnref> backend(g_settings_backend_get_default());
    const QString backendType = QString::fromLatin1(G_OBJECT_TYPE_NAME(backend.get()));
    if (backendType == QLatin1String("GMemorySettingsBackend") || backendType == QLatin1String("GNullSettingsBackend")) {
        *why = QStringLiteral("no settings backend: a change to the dash would not be kept; install "
                              "dconf-gsettings-backend");
        return nullptr;
    }
    if (backendType.contains(QLatin1String("DConf"), Qt::CaseInsensitive)) {
        GError* error = nullptr;
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
        if (!bus) {
            *why = QStringLiteral("no session bus, which dconf needs: %1").arg(takeError(error));
            return nullptr;
        }
        // The shared connection would otherwise end the process when the bus goes away.
        g_dbus_connection_set_exit_on_close(bus, FALSE);
        g_object_unref(bus);
    }
    return schema;
}

std::unique_ptr<GSettings, GObjectUnref> openSettings() {
    QString why;
    SchemaPtr schema = lookupSchema(&why);
    if (!schema)
        throw DockTargetError(why.toStdString());
    return std::unique_ptr<GSettings, GObjectUnref>(g_settings_new_full(schema.get(), nullptr, nullptr));
}

QString itemKind(const DockFolderStackValues& item);

QString itemLabel(const DockFolderStackValues& item) {
    if (item.label && !item.label->trimmed().isEmpty())
        return *item.label;
    if (itemKind(item) == QLatin1String("url"))
        return item.url.value_or(QStringLiteral("Link"));
    const QString location = item.path ? *item.path : item.url.value_or(QString());
    if (const auto path = filePathOfLocation(location))
        return lastPathComponent(*path);
    return location.isEmpty() ? QStringLiteral("Item") : location;
}

QString itemKind(const DockFolderStackValues& item) {
    if (item.itemType)
        return *item.itemType;
    return item.url && !item.path ? QStringLiteral("url") : QStringLiteral("folder");
}

QString itemJson(const DockFolderStackValues& item) {
    return QString::fromUtf8(QJsonDocument(dockItemFromStoredItem(item).toJson()).toJson(QJsonDocument::Compact));
}

bool isGeneratedName(const QString& fileName) {
    return fileName.startsWith(kGeneratedPrefix) && fileName.endsWith(QLatin1String(".desktop"));
}

// Writes the file unless it already holds `text`; throws when it cannot.
void writeIfChanged(const QString& path, const QByteArray& text) {
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == text)
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        throw DockTargetError(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()).toStdString());
}

} // namespace

DockItem dockItemFromStoredItem(const DockFolderStackValues& item) {
    const QString kind = itemKind(item);
    DockItem out;
    DockTileData data;
    if (kind == QLatin1String("url")) {
        out.tileType = QStringLiteral("url-tile");
        data.url = URLData{item.url, 15};
        data.label = item.label;
    } else {
        const std::optional<QString> location = item.path ? item.path : item.url;
        data.fileData = FileData{location, 15};
        if (kind == QLatin1String("file")) {
            out.tileType = QStringLiteral("file-tile");
            data.fileLabel = item.label;
        } else {
            out.tileType = QStringLiteral("directory-tile");
            data.displayAs = item.displayAs;
            data.showAs = item.showAs;
            data.arrangement = item.sortOrder;
        }
    }
    out.tileData = data;
    return out;
}

TargetStatus GnomeDashTarget::status() const {
    QString why;
    if (!lookupSchema(&why))
        return {false, why};
    return {};
}

QStringList GnomeDashTarget::favorites() {
    auto settings = openSettings();
    gchar** values = g_settings_get_strv(settings.get(), kKey);
    QStringList out;
    for (gchar** value = values; value && *value; ++value)
        out.append(QString::fromUtf8(*value));
    g_strfreev(values);
    return out;
}

void GnomeDashTarget::setFavorites(const QStringList& desktopIds) {
    auto settings = openSettings();
    if (!g_settings_is_writable(settings.get(), kKey))
        throw DockTargetError("the dash's favourites are locked by the system administrator");
    std::vector<QByteArray> bytes;
    bytes.reserve(desktopIds.size());
    std::vector<const gchar*> values;
    for (const QString& id : desktopIds) {
        bytes.push_back(id.toUtf8());
        values.push_back(bytes.back().constData());
    }
    values.push_back(nullptr);
    if (!g_settings_set_strv(settings.get(), kKey, values.data()))
        throw DockTargetError("the settings backend refused the new favourites");
    // The shell and the next reader see the change only once the backend has it.
    g_settings_sync();
}

QString GnomeDashTarget::appEntryForDesktopId(const QString& desktopId) {
    const std::optional<QString> path = findDesktopFile(desktopId);
    return fileUrlFromPath(path ? *path : QDir(userApplicationFolder()).filePath(desktopId)).toString();
}

std::optional<QString> GnomeDashTarget::desktopIdForAppEntry(const QString& entry) {
    const std::optional<QString> path = filePathOfLocation(entry);
    if (!path || !path->endsWith(QLatin1String(".desktop")))
        return std::nullopt;
    return desktopIdOfPath(*path);
}

QString GnomeDashTarget::generatedId(const DockFolderStackValues& item) {
    const QByteArray hash = QCryptographicHash::hash(itemJson(item).toUtf8(), QCryptographicHash::Sha256).toHex();
    return kGeneratedPrefix + QString::fromLatin1(hash.left(10)) + QStringLiteral(".desktop");
}

QByteArray GnomeDashTarget::generatedText(const DockFolderStackValues& item) {
    const QString kind = itemKind(item);
    QString target;
    QString icon = QStringLiteral("web-browser");
    if (kind == QLatin1String("url")) {
        target = item.url.value_or(QString());
    } else {
        const std::optional<QString> location = item.path ? item.path : item.url;
        target = filePathOfLocation(location.value_or(QString())).value_or(location.value_or(QString()));
        icon = kind == QLatin1String("file") ? QStringLiteral("text-x-generic") : QStringLiteral("folder");
    }
    // Not NoDisplay: the shell leaves hidden apps off the dash.
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\n");
    text += QStringLiteral("Name=%1\n").arg(escapeDesktopValue(itemLabel(item)));
    text += QStringLiteral("Exec=%1\n").arg(escapeDesktopValue(QStringLiteral("xdg-open ") + desktopExecArgument(target)));
    text += QStringLiteral("Icon=%1\nTerminal=false\n").arg(icon);
    text += QStringLiteral("%1=%2\n").arg(kItemKey, escapeDesktopValue(itemJson(item)));
    return text.toUtf8();
}

std::optional<DockItem> GnomeDashTarget::itemOfGeneratedFile(const QString& path) {
    if (!isGeneratedName(QFileInfo(path).fileName()))
        return std::nullopt;
    const auto entry = DesktopEntry::load(path);
    const std::optional<QString> json = entry ? entry->value(kItemKey) : std::nullopt;
    if (!json)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(json->toUtf8());
    if (!document.isObject())
        return std::nullopt;
    DockItem item = DockItem::fromJson(document.object());
    if (!item.tileType)
        return std::nullopt;
    return item;
}

std::variant<DockReading, DockReadError> GnomeDashTarget::read() const {
    QStringList ids;
    try {
        ids = favorites();
    } catch (const DockTargetError& error) {
        return DockReadError{DockReadError::Kind::CommandFailed, QString::fromUtf8(error.what())};
    }
    DockReading reading;
    for (const QString& id : ids) {
        const std::optional<QString> path = findDesktopFile(id);
        if (!path) {
            printLine(QStringLiteral("Keeping %1: its desktop file is missing, so the dash does not show it").arg(id));
            reading.apps.append(appEntryForDesktopId(id));
            continue;
        }
        if (auto item = itemOfGeneratedFile(*path)) {
            reading.items.append(*item);
            continue;
        }
        reading.apps.append(fileUrlFromPath(*path).toString());
    }
    return reading;
}

DockWriteReport GnomeDashTarget::write(const QString& presetName, const QStringList& apps,
                                       const QList<DockFolderStackValues>& items,
                                       const std::function<void()>& finish) {
    QStringList ids;
    int spacers = 0;
    for (const QString& entry : apps) {
        if (isSpacerEntry(entry) || isSmallSpacerEntry(entry)) {
            ++spacers;
            continue;
        }
        if (const auto id = desktopIdForAppEntry(entry)) {
            ids.append(*id);
            continue;
        }
        printWarning(QStringLiteral("Skipping %1: the GNOME dash takes desktop files, not this app entry").arg(entry));
    }
    if (spacers > 0)
        printLine(QStringLiteral("Skipping %1 spacer(s): the GNOME dash has no spacers").arg(spacers));

    DockWriteReport report;
    try {
        const QString folder = userApplicationFolder();
        if (!items.isEmpty() && !QDir().mkpath(folder))
            throw DockTargetError(QStringLiteral("cannot create %1").arg(folder).toStdString());
        for (const DockFolderStackValues& item : items) {
            const QString id = generatedId(item);
            writeIfChanged(QDir(folder).filePath(id), generatedText(item));
            ids.append(id);
        }
        setFavorites(ids);
    } catch (const DockTargetError& error) {
        printWarning(QStringLiteral("Could not put '%1' on the GNOME dash: %2").arg(presetName, QString::fromUtf8(error.what())));
        log().error(QStringLiteral("write '%1' failed: %2").arg(presetName, QString::fromUtf8(error.what())));
        return report;
    }
    log().info(QStringLiteral("wrote '%1': %2 favourites").arg(presetName).arg(ids.size()));
    report.written = true;
    report.commands = 1;
    if (finish)
        finish();
    return report;
}

void GnomeDashTarget::removeUnused(const QList<DockFolderStackValues>& itemsInUse) {
    QSet<QString> keep;
    for (const DockFolderStackValues& item : itemsInUse)
        keep.insert(generatedId(item));
    try {
        for (const QString& id : favorites())
            keep.insert(id);
    } catch (const DockTargetError& error) {
        // Without the dash's list nothing can be known to be unused.
        printWarning(QStringLiteral("Not removing generated desktop files: %1").arg(QString::fromUtf8(error.what())));
        return;
    }
    const QDir folder(userApplicationFolder());
    const QStringList names = folder.entryList({kGeneratedPrefix + QStringLiteral("*.desktop")}, QDir::Files);
    for (const QString& name : names) {
        if (keep.contains(name) || !itemOfGeneratedFile(folder.filePath(name)))
            continue;
        if (QFile::remove(folder.filePath(name)))
            printLine(QStringLiteral("Removed unused generated desktop file %1").arg(name));
        else
            printWarning(QStringLiteral("Could not remove unused generated desktop file %1").arg(folder.filePath(name)));
    }
}

} // namespace pierline
