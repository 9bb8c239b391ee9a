#pragma once

#include "targets/DockTarget.h"
#include "targets/DockTargetError.h"

#include <QSet>
#include <optional>

namespace pierline {

// Plank: one `.dockitem` file per item in ~/.config/plank/<dock>/launchers and their order in
// GSettings (`net.launchpad.plank.dock.settings dock-items` at /net/launchpad/plank/docks/<dock>/).
// Apps are desktop files, folders and files are themselves, links are generated Type=Link desktop
// files. Plank reads its order only when it starts, so a write restarts a running Plank and checks
// over the session bus that it shows the preset. Only Pierline's own dock items
// (`pierline-<hash>.dockitem`) and those for launchers a stored preset names are changed: Plank
// shows every file of its folder, and a preset keeps what such a file stood for.
class PlankTarget final : public DockTarget {
public:
    QString id() const override { return QStringLiteral("plank"); }
    QString displayName() const override { return QStringLiteral("Plank"); }
    TargetStatus status() const override;
    std::variant<DockReading, DockReadError> read() const override;
    DockWriteReport write(const QString& presetName, const QStringList& apps, const QList<DockFolderStackValues>& items,
                          const std::function<void()>& finish) override;
    bool generatesFiles() const override { return true; }
    void setStoredEntries(const QStringList& apps, const QList<DockFolderStackValues>& items) override;
    void removeUnused(const QList<DockFolderStackValues>& itemsInUse) override;

    // Why a plankDock value cannot name a dock; nullopt for a plain folder name.
    static std::optional<QString> dockNameProblem(const QString& dock);
    // Whether Plank runs the dock the plankDock setting names, seen on the session bus.
    static bool runsOnSessionBus();

private:
    QSet<QString> storedLaunchers_; // the launcher paths the stored presets hold
};

} // namespace pierline
