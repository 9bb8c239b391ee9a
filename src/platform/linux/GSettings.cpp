// GLib first: its headers use `signals` as a name, which Qt defines as a macro.
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include "platform/linux/DesktopBackend.h"

#include <memory>
#include <vector>

namespace pierline::desktop {
namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct SchemaUnref {
    void operator()(GSettingsSchema* schema) const { g_settings_schema_unref(schema); }
};
struct SchemaKeyUnref {
    void operator()(GSettingsSchemaKey* key) const { g_settings_schema_key_unref(key); }
};
struct VariantUnref {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
using SchemaPtr = std::unique_ptr<GSettingsSchema, SchemaUnref>;
using SettingsPtr = std::unique_ptr<GSettings, GObjectUnref>;
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

QString takeError(GError* error) {
    const QString message = error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
    g_clear_error(&error);
    return message;
}

QString describe(const GSettingsKey& key) {
    return key.path.isEmpty() ? key.key : QStringLiteral("%1 at %2").arg(key.key, key.path);
}

// Why a write would not be kept, or nullopt.
std::optional<QString> backendProblem(const GSettingsKey& key) {
    std::unique_ptr<GSettingsBackend, GObjectUnref> backend(g_settings_backend_get_default());
    const QString type = QString::fromLatin1(G_OBJECT_TYPE_NAME(backend.get()));
    if (type == QLatin1String("GMemorySettingsBackend") || type == QLatin1String("GNullSettingsBackend"))
        return QStringLiteral("no settings backend: a change to %1 would not be kept; install dconf-gsettings-backend")
            .arg(key.key);
    if (type.contains(QLatin1String("DConf"), Qt::CaseInsensitive)) {
        // Asked without GIO first: with a display but no bus it would start one of its own.
        if (!hasSessionBus())
            return QStringLiteral("no session bus, which dconf needs");
        GError* error = nullptr;
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
        if (!bus)
            return QStringLiteral("no session bus, which dconf needs: %1").arg(takeError(error));
        // The shared connection would otherwise end the process when the bus goes away.
        g_dbus_connection_set_exit_on_close(bus, FALSE);
        g_object_unref(bus);
    }
    return std::nullopt;
}

// GIO aborts the process on a missing key, a bad path or a schema opened the wrong way, so all of
// them are checked here first.
SchemaPtr lookupSchema(const GSettingsKey& key, QString* why) {
    if (!key.path.isEmpty() && !isGSettingsPath(key.path)) {
        *why = QStringLiteral("'%1' is not a settings path").arg(key.path);
        return nullptr;
    }
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    SchemaPtr schema(source ? g_settings_schema_source_lookup(source, key.schema.toUtf8().constData(), TRUE) : nullptr);
    // A relocatable schema has no path of its own and needs ours; a fixed one must not get one.
    const bool relocatable = schema && !g_settings_schema_get_path(schema.get());
    if (!schema || !g_settings_schema_has_key(schema.get(), key.key.toUtf8().constData()) ||
        relocatable == key.path.isEmpty()) {
        *why = QStringLiteral("the settings schema %1 (key %2) is not installed; install %3")
                   .arg(key.schema, key.key, key.package);
        return nullptr;
    }
    if (auto problem = backendProblem(key)) {
        *why = *problem;
        return nullptr;
    }
    return schema;
}

// `type` is the GVariant type the key must hold, or null for any.
SettingsPtr openSettings(const GSettingsKey& key, const char* type) {
    QString why;
    SchemaPtr schema = lookupSchema(key, &why);
    if (!schema)
        throw GSettingsError(why.toStdString());
    if (type) {
        const std::unique_ptr<GSettingsSchemaKey, SchemaKeyUnref> schemaKey(
            g_settings_schema_get_key(schema.get(), key.key.toUtf8().constData()));
        if (!g_variant_type_equal(g_settings_schema_key_get_value_type(schemaKey.get()), G_VARIANT_TYPE(type)))
            throw GSettingsError(QStringLiteral("the settings key %1 of %2 does not hold the type %3")
                                     .arg(describe(key), key.schema, QString::fromLatin1(type))
                                     .toStdString());
    }
    const QByteArray path = key.path.toUtf8();
    return SettingsPtr(g_settings_new_full(schema.get(), nullptr, key.path.isEmpty() ? nullptr : path.constData()));
}

VariantPtr readValue(const GSettingsKey& key, const char* type) {
    const SettingsPtr settings = openSettings(key, type);
    return VariantPtr(g_settings_get_value(settings.get(), key.key.toUtf8().constData()));
}

void writeValue(const GSettingsKey& key, const char* type, GVariant* floating) {
    const VariantPtr value(g_variant_ref_sink(floating));
    const SettingsPtr settings = openSettings(key, type);
    const QByteArray name = key.key.toUtf8();
    if (!g_settings_is_writable(settings.get(), name.constData()))
        throw GSettingsError(
            QStringLiteral("%1 is locked by the system administrator").arg(describe(key)).toStdString());
    const VariantPtr current(g_settings_get_value(settings.get(), name.constData()));
    if (g_variant_equal(current.get(), value.get()))
        return;
    if (!g_settings_set_value(settings.get(), name.constData(), value.get()))
        throw GSettingsError(
            QStringLiteral("the settings backend refused the new %1").arg(describe(key)).toStdString());
    g_settings_sync();
}

} // namespace

std::optional<QString> gsettingsProblem(const GSettingsKey& key) {
    QString why;
    if (!lookupSchema(key, &why))
        return why;
    return std::nullopt;
}

std::optional<QString> gsettingsWriteProblem(const GSettingsKey& key) {
    try {
        const SettingsPtr settings = openSettings(key, nullptr);
        if (!g_settings_is_writable(settings.get(), key.key.toUtf8().constData()))
            return QStringLiteral("%1 is locked by the system administrator").arg(describe(key));
    } catch (const GSettingsError& error) {
        return QString::fromUtf8(error.what());
    }
    return std::nullopt;
}

QStringList readGSettingsList(const GSettingsKey& key) {
    const VariantPtr value = readValue(key, "as");
    gsize count = 0;
    const gchar** strings = g_variant_get_strv(value.get(), &count);
    QStringList out;
    out.reserve(static_cast<qsizetype>(count));
    for (gsize i = 0; i < count; ++i)
        out.append(QString::fromUtf8(strings[i]));
    g_free(strings);
    return out;
}

void writeGSettingsList(const GSettingsKey& key, const QStringList& values) {
    std::vector<QByteArray> bytes;
    bytes.reserve(values.size());
    std::vector<const gchar*> pointers;
    for (const QString& value : values) {
        bytes.push_back(value.toUtf8());
        pointers.push_back(bytes.back().constData());
    }
    writeValue(key, "as", g_variant_new_strv(pointers.data(), static_cast<gssize>(pointers.size())));
}

QString readGSettingsString(const GSettingsKey& key) {
    return QString::fromUtf8(g_variant_get_string(readValue(key, "s").get(), nullptr));
}

bool readGSettingsBoolean(const GSettingsKey& key) {
    return g_variant_get_boolean(readValue(key, "b").get());
}

void writeGSettingsString(const GSettingsKey& key, const QString& value) {
    writeValue(key, "s", g_variant_new_string(value.toUtf8().constData()));
}

void resetGSettingsKey(const GSettingsKey& key) {
    const SettingsPtr settings = openSettings(key, nullptr);
    g_settings_reset(settings.get(), key.key.toUtf8().constData());
    g_settings_sync();
}

class GioSettingsWatch : public GSettingsWatch {
public:
    GioSettingsWatch(SettingsPtr settings, const QByteArray& key, std::function<void()> changed)
        : settings_(std::move(settings)), changed_(std::move(changed)) {
        const QByteArray signal = "changed::" + key;
        handler_ =
            g_signal_connect_swapped(settings_.get(), signal.constData(), G_CALLBACK(&GioSettingsWatch::notify), this);
        // GSettings signals a change only of a key read since the handler was connected.
        g_variant_unref(g_settings_get_value(settings_.get(), key.constData()));
    }
    ~GioSettingsWatch() override { g_signal_handler_disconnect(settings_.get(), handler_); }

private:
    static void notify(GioSettingsWatch* self) { self->changed_(); }
    SettingsPtr settings_;
    std::function<void()> changed_;
    gulong handler_ = 0;
};

std::unique_ptr<GSettingsWatch> watchGSettingsKey(const GSettingsKey& key, std::function<void()> changed) {
    return std::make_unique<GioSettingsWatch>(openSettings(key, nullptr), key.key.toUtf8(), std::move(changed));
}

} // namespace pierline::desktop
