#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <memory>
#include <optional>

namespace pierline {

// One global shortcut of ours among the desktop's own keybindings.
struct DesktopKeybinding {
    QString id;          // unique among ours; names the entry in the desktop's settings
    QString name;        // what the desktop's keyboard settings list
    QStringList command; // program and arguments, run by the desktop without a shell
    QString binding;     // accelerator text, see desktopAccelerator
    friend bool operator==(const DesktopKeybinding&, const DesktopKeybinding&) = default;
};

// The desktop's own global shortcuts, for sessions where our X11 grabs see no keys (Wayland).
// Only entries of ours are ever added, changed or removed; the user's own keep their place.
class DesktopKeybindings {
public:
    virtual ~DesktopKeybindings() = default;

    // Why the keybindings cannot be written here (settings schema or backend missing); nullopt
    // when they can.
    virtual std::optional<QString> problem() const = 0;
    // Makes our entries exactly `wanted`: ours that it lacks are removed, changed ones rewritten,
    // new ones added after all others. Returns why it could not.
    virtual std::optional<QString> replaceOurs(const QList<DesktopKeybinding>& wanted) = 0;
};

// The platform's keybindings (GNOME's settings daemon on Linux).
std::unique_ptr<DesktopKeybindings> createDesktopKeybindings();

// Whether this is a Wayland session: XDG_SESSION_TYPE, read once per process (tests set it for
// the binary they start).
bool isWaylandSession();

// The accelerator text of a Carbon key code with Cocoa modifier flags ("<Super><Alt>2"); nullopt
// for a key the desktop has no name for (fn, a modifier key on its own).
std::optional<QString> desktopAccelerator(quint32 carbonKeyCode, quint64 cocoaFlags);

// `words` as one command line that the desktop splits back into the same words.
QString desktopCommandLine(const QStringList& words);

} // namespace pierline
