#pragma once

#include "core/DockFolderStack.h"
#include "dock/DockReader.h"
#include "dock/DockWriteReport.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <variant>

namespace pierline {

// What a dock's app entries name, and so where their running processes are found: app bundles
// under the home, or desktop files of the user's session.
enum class DockAppKind { Bundle, DesktopFile };

// Whether a target can be read and written now; `reason` says why not. `note` tells the state of
// the dock's program where a switch depends on it (running or not).
struct TargetStatus {
    bool reachable = true;
    QString reason;
    QString note;
};

// The dock Pierline drives: reads the layout into a record's apps and items, writes a preset
// back and makes the dock show it. Code above this layer never knows which dock it has.
class DockTarget {
public:
    virtual ~DockTarget() = default;

    virtual QString id() const = 0;          // the `dockTarget` value: "sandbox", "gnome", "plank"
    virtual QString displayName() const = 0; // "the sandbox Dock", "the GNOME dash", "Plank"
    virtual TargetStatus status() const = 0;

    virtual std::variant<DockReading, DockReadError> read() const = 0;
    // The apps and items of the current layout, for saving it; a failed read prints a warning and
    // gives none.
    virtual DockReading readLayout() const;

    // Shows the preset; `finish` runs once the dock holds it, before the write returns. Not
    // written (and `finish` not run) when the target stopped before changing anything.
    virtual DockWriteReport write(const QString& presetName, const QStringList& apps,
                                  const QList<DockFolderStackValues>& items, const std::function<void()>& finish) = 0;

    // Closing apps and "open app" actions find and start the entries' apps by this kind; a
    // native dock's apps are desktop files.
    virtual DockAppKind appKind() const { return DockAppKind::DesktopFile; }

    // Whether the target keeps files of its own, and so wants to know what the stored presets hold:
    // given before a write (the dock's own items that a preset keeps may be replaced) and after it
    // (removeUnused tidies what no preset needs).
    virtual bool generatesFiles() const { return false; }
    // The app entries and items of every stored preset, for the next write.
    virtual void setStoredEntries(const QStringList& apps, const QList<DockFolderStackValues>& items) {
        Q_UNUSED(apps);
        Q_UNUSED(items);
    }
    // Removes what the target made for items that none of `itemsInUse` needs any more.
    virtual void removeUnused(const QList<DockFolderStackValues>& itemsInUse) { Q_UNUSED(itemsInUse); }
};

// Which target is in use and why.
struct DockTargetChoice {
    QString id;
    QString reason;
    bool fromSetting = false;
};

// The known target names, in the order `settings set dockTarget` lists them.
const QStringList& dockTargetIds();

// The `dockTarget` setting when set, else the sandbox for a home that holds an emulated Dock,
// else Plank when it runs the plankDock dock on the session bus, else the desktop named by
// XDG_CURRENT_DESKTOP, else the sandbox.
DockTargetChoice chooseDockTarget();
// nullptr for an unknown name.
std::unique_ptr<DockTarget> makeDockTarget(const QString& id);
// The chosen target; never null (an unknown stored name falls back to the sandbox with a warning).
std::unique_ptr<DockTarget> currentDockTarget();

} // namespace pierline
