#include "platform/DesktopKeybindings.h"

#include "platform/ModifierMonitor.h"
#include "platform/linux/GSettings.h"
#include "platform/linux/X11Keysyms.h"

#include <QRegularExpression>
#include <QSet>

namespace pierline {
namespace {

// GNOME's settings daemon runs each path listed in custom-keybindings as one shortcut; the entry
// under the path uses the relocatable schema.
const char* const kPackage = "gnome-settings-daemon-common";
const GSettingsKey kList{QStringLiteral("org.gnome.settings-daemon.plugins.media-keys"),
                         QStringLiteral("custom-keybindings"),
                         {},
                         QString::fromLatin1(kPackage)};
const char* const kEntryKeys[] = {"name", "command", "binding"};
const QString kEntryFolder = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/");
// Every entry of ours, and only ours, lives under this prefix.
const QString kOurPrefix = kEntryFolder + QStringLiteral("pierline-");

GSettingsKey entryKey(const QString& path, const char* key) {
    return {QStringLiteral("org.gnome.settings-daemon.plugins.media-keys.custom-keybinding"), QString::fromLatin1(key),
            path, QString::fromLatin1(kPackage)};
}

QString pathOf(const QString& id) {
    return kOurPrefix + id + QLatin1Char('/');
}

class GnomeDesktopKeybindings : public DesktopKeybindings {
public:
    std::optional<QString> problem() const override {
        if (auto why = gsettingsProblem(kList))
            return why;
        return gsettingsProblem(entryKey(kEntryFolder, kEntryKeys[0]));
    }

    std::optional<QString> replaceOurs(const QList<DesktopKeybinding>& wanted) override {
        if (auto why = problem())
            return why;
        if (auto why = gsettingsWriteProblem(kList))
            return why;
        try {
            QSet<QString> wantedPaths;
            for (const DesktopKeybinding& binding : wanted)
                wantedPaths.insert(pathOf(binding.id));
            const QStringList current = readGSettingsList(kList);
            QStringList next;
            QStringList removed;
            for (const QString& path : current) {
                const bool ours = path.startsWith(kOurPrefix);
                if (!ours || (wantedPaths.contains(path) && !next.contains(path)))
                    next.append(path);
                else if (!wantedPaths.contains(path) && isGSettingsPath(path))
                    removed.append(path);
            }

            // Entries are complete before the list names them, so the daemon never binds a half-written one.
            for (const DesktopKeybinding& binding : wanted) {
                const QString path = pathOf(binding.id);
                if (!isGSettingsPath(path))
                    return QStringLiteral("'%1' cannot name a keybinding").arg(binding.id);
                writeGSettingsString(entryKey(path, "name"), binding.name);
                writeGSettingsString(entryKey(path, "command"), desktopCommandLine(binding.command));
                writeGSettingsString(entryKey(path, "binding"), binding.binding);
                if (!next.contains(path))
                    next.append(path);
            }
            writeGSettingsList(kList, next);
            for (const QString& path : removed)
                for (const char* key : kEntryKeys)
                    resetGSettingsKey(entryKey(path, key));
        } catch (const GSettingsError& error) {
            return QString::fromUtf8(error.what());
        }
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
    const char* name = x11::keysymNameForCarbonKeyCode(carbonKeyCode);
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
