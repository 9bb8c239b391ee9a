// GLib first: its headers use `signals` as a name, which Qt defines as a macro.
#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include "platform/DesktopKeybindings.h"

#include "platform/ModifierMonitor.h"
#include "platform/linux/X11Keysyms.h"

#include <QRegularExpression>
#include <QSet>
#include <X11/Xlib.h>
#include <vector>

namespace pierline {
namespace {

// GNOME's settings daemon runs each path listed in custom-keybindings as one shortcut; the entry
// under the path uses the relocatable schema.
const char* const kListSchema = "org.gnome.settings-daemon.plugins.media-keys";
const char* const kListKey = "custom-keybindings";
const char* const kEntrySchema = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
const char* const kEntryKeys[] = {"name", "command", "binding"};
const QString kEntryFolder = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/");
// Every entry of ours, and only ours, lives under this prefix.
const QString kOurPrefix = kEntryFolder + QStringLiteral("pierline-");

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

SchemaPtr lookup(const char* id) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    return SchemaPtr(source ? g_settings_schema_source_lookup(source, id, TRUE) : nullptr);
}

// Why a write would not be kept, or nullopt.
std::optional<QString> backendProblem() {
    std::unique_ptr<GSettingsBackend, GObjectUnref> backend(g_settings_backend_get_default());
    const QString type = QString::fromLatin1(G_OBJECT_TYPE_NAME(backend.get()));
    if (type == QLatin1String("GMemorySettingsBackend") || type == QLatin1String("GNullSettingsBackend"))
        return QStringLiteral("no settings backend: the keybindings would not be kept; install "
                              "dconf-gsettings-backend");
    if (type.contains(QLatin1String("DConf"), Qt::CaseInsensitive)) {
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

struct Schemas {
    SchemaPtr list;
    SchemaPtr entry;
};

std::optional<Schemas> openSchemas(QString* why) {
    Schemas schemas{lookup(kListSchema), lookup(kEntrySchema)};
    // The entry schema must be relocatable: opening a fixed one at our path would abort.
    if (!schemas.list || !schemas.entry || !g_settings_schema_has_key(schemas.list.get(), kListKey) ||
        g_settings_schema_get_path(schemas.entry.get())) {
        *why = QStringLiteral("the GNOME settings-daemon schema (%1 %2) is not installed; install "
                              "gnome-settings-daemon-common")
                   .arg(QLatin1String(kListSchema), QLatin1String(kListKey));
        return std::nullopt;
    }
    if (auto problem = backendProblem()) {
        *why = *problem;
        return std::nullopt;
    }
    return schemas;
}

// A path GSettings accepts for a relocatable schema; anything else would abort the process.
bool isSettingsPath(const QString& path) {
    return path.startsWith(QLatin1Char('/')) && path.endsWith(QLatin1Char('/')) && !path.contains(QLatin1String("//"));
}

QString pathOf(const QString& id) {
    return kOurPrefix + id + QLatin1Char('/');
}

QStringList readList(GSettings* settings) {
    gchar** values = g_settings_get_strv(settings, kListKey);
    QStringList out;
    for (gchar** value = values; value && *value; ++value)
        out.append(QString::fromUtf8(*value));
    g_strfreev(values);
    return out;
}

bool writeList(GSettings* settings, const QStringList& paths) {
    std::vector<QByteArray> bytes;
    bytes.reserve(paths.size());
    std::vector<const gchar*> values;
    for (const QString& path : paths) {
        bytes.push_back(path.toUtf8());
        values.push_back(bytes.back().constData());
    }
    values.push_back(nullptr);
    return g_settings_set_strv(settings, kListKey, values.data());
}

bool setIfChanged(GSettings* settings, const char* key, const QString& value) {
    gchar* current = g_settings_get_string(settings, key);
    const bool same = QString::fromUtf8(current) == value;
    g_free(current);
    return same || g_settings_set_string(settings, key, value.toUtf8().constData());
}

class GnomeDesktopKeybindings : public DesktopKeybindings {
public:
    std::optional<QString> problem() const override {
        QString why;
        if (!openSchemas(&why))
            return why;
        return std::nullopt;
    }

    std::optional<QString> replaceOurs(const QList<DesktopKeybinding>& wanted) override {
        QString why;
        const std::optional<Schemas> schemas = openSchemas(&why);
        if (!schemas)
            return why;
        const SettingsPtr list(g_settings_new_full(schemas->list.get(), nullptr, nullptr));
        if (!g_settings_is_writable(list.get(), kListKey))
            return QStringLiteral("the custom keybindings are locked by the system administrator");

        QSet<QString> wantedPaths;
        for (const DesktopKeybinding& binding : wanted)
            wantedPaths.insert(pathOf(binding.id));
        const QStringList current = readList(list.get());
        QStringList next;
        QStringList removed;
        for (const QString& path : current) {
            const bool ours = path.startsWith(kOurPrefix);
            if (!ours || (wantedPaths.contains(path) && !next.contains(path)))
                next.append(path);
            else if (!wantedPaths.contains(path) && isSettingsPath(path))
                removed.append(path);
        }

        // Entries are complete before the list names them, so the daemon never binds a half-written one.
        for (const DesktopKeybinding& binding : wanted) {
            const QString path = pathOf(binding.id);
            if (!isSettingsPath(path))
                return QStringLiteral("'%1' cannot name a keybinding").arg(binding.id);
            const SettingsPtr entry(g_settings_new_full(schemas->entry.get(), nullptr, path.toUtf8().constData()));
            if (!setIfChanged(entry.get(), "name", binding.name) ||
                !setIfChanged(entry.get(), "command", desktopCommandLine(binding.command)) ||
                !setIfChanged(entry.get(), "binding", binding.binding))
                return QStringLiteral("the settings backend refused the keybinding %1").arg(path);
            if (!next.contains(path))
                next.append(path);
        }
        if (next != current && !writeList(list.get(), next))
            return QStringLiteral("the settings backend refused the list of custom keybindings");
        for (const QString& path : removed) {
            const SettingsPtr entry(g_settings_new_full(schemas->entry.get(), nullptr, path.toUtf8().constData()));
            for (const char* key : kEntryKeys)
                g_settings_reset(entry.get(), key);
        }
        // The daemon and the next reader see the change only once the backend has it.
        g_settings_sync();
        return std::nullopt;
    }
};

} // namespace

std::unique_ptr<DesktopKeybindings> createDesktopKeybindings() {
    return std::make_unique<GnomeDesktopKeybindings>();
}

bool isWaylandSession() {
    static const bool wayland = qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
    return wayland;
}

std::optional<QString> desktopAccelerator(quint32 carbonKeyCode, quint64 cocoaFlags) {
    // A modifier key on its own is no accelerator the desktop binds.
    if (x11::cocoaFlagOfModifierCode(carbonKeyCode))
        return std::nullopt;
    const unsigned long keysym = x11::keysymForCarbonKeyCode(carbonKeyCode);
    const char* name = keysym ? XKeysymToString(keysym) : nullptr;
    if (!name)
        return std::nullopt;
    QString text;
    if (cocoaFlags & kCocoaCommandFlag)
        text += QStringLiteral("<Super>");
    if (cocoaFlags & kCocoaOptionFlag)
        text += QStringLiteral("<Alt>");
    if (cocoaFlags & kCocoaControlFlag)
        text += QStringLiteral("<Control>");
    if (cocoaFlags & kCocoaShiftFlag)
        text += QStringLiteral("<Shift>");
    return text + QString::fromLatin1(name);
}

// The daemon splits the command as a POSIX shell would (g_shell_parse_argv), without running one.
QString desktopCommandLine(const QStringList& words) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_@%+=:,./-]+$"));
    QStringList quoted;
    for (const QString& word : words) {
        if (plain.match(word).hasMatch())
            quoted.append(word);
        else
            quoted.append(QLatin1Char('\'') + QString(word).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
                          QLatin1Char('\''));
    }
    return quoted.join(QLatin1Char(' '));
}

} // namespace pierline
