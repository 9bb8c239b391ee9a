// GLib first: its headers use `signals` as a name, which Qt defines as a macro.
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include "GSettingsList.h"

#include "DockTargetError.h"

#include <memory>
#include <vector>

namespace pierline {
namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct SchemaUnref {
    void operator()(GSettingsSchema* schema) const { g_settings_schema_unref(schema); }
};
using SchemaPtr = std::unique_ptr<GSettingsSchema, SchemaUnref>;
using SettingsPtr = std::unique_ptr<GSettings, GObjectUnref>;

QString takeError(GError* error) {
    const QString message = error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
    g_clear_error(&error);
    return message;
}

SchemaPtr lookupSchema(const GSettingsList& list, QString* why) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    SchemaPtr schema(source ? g_settings_schema_source_lookup(source, list.schema, TRUE) : nullptr);
    if (!schema || !g_settings_schema_has_key(schema.get(), list.key)) {
        *why = QStringLiteral("the settings schema %1 (key %2) is not installed; install %3")
                   .arg(QString::fromLatin1(list.schema), QString::fromLatin1(list.key), QString::fromLatin1(list.package));
        return nullptr;
    }
    std::unique_ptr<GSettingsBackend, GObjectUnref> backend(g_settings_backend_get_default());
    const QString backendType = QString::fromLatin1(G_OBJECT_TYPE_NAME(backend.get()));
    if (backendType == QLatin1String("GMemorySettingsBackend") || backendType == QLatin1String("GNullSettingsBackend")) {
        *why = QStringLiteral("no settings backend: a change to the dock would not be kept; install "
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

SettingsPtr openSettings(const GSettingsList& list) {
    QString why;
    SchemaPtr schema = lookupSchema(list, &why);
    if (!schema)
        throw DockTargetError(why.toStdString());
    const QByteArray path = list.path.toUtf8();
    return SettingsPtr(g_settings_new_full(schema.get(), nullptr, list.path.isEmpty() ? nullptr : path.constData()));
}

} // namespace

std::optional<QString> gsettingsProblem(const GSettingsList& list) {
    QString why;
    if (!lookupSchema(list, &why))
        return why;
    return std::nullopt;
}

QStringList readGSettingsList(const GSettingsList& list) {
    auto settings = openSettings(list);
    gchar** values = g_settings_get_strv(settings.get(), list.key);
    QStringList out;
    for (gchar** value = values; value && *value; ++value)
        out.append(QString::fromUtf8(*value));
    g_strfreev(values);
    return out;
}

void writeGSettingsList(const GSettingsList& list, const QStringList& values) {
    auto settings = openSettings(list);
    if (!g_settings_is_writable(settings.get(), list.key))
        throw DockTargetError(
            QStringLiteral("%1 is locked by the system administrator").arg(QString::fromLatin1(list.key)).toStdString());
    std::vector<QByteArray> bytes;
    bytes.reserve(values.size());
    std::vector<const gchar*> pointers;
    for (const QString& value : values) {
        bytes.push_back(value.toUtf8());
        pointers.push_back(bytes.back().constData());
    }
    pointers.push_back(nullptr);
    if (!g_settings_set_strv(settings.get(), list.key, pointers.data()))
        throw DockTargetError(
            QStringLiteral("the settings backend refused the new %1").arg(QString::fromLatin1(list.key)).toStdString());
    g_settings_sync();
}

} // namespace pierline
