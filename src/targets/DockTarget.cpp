#include "DockTarget.h"

#include "SandboxTarget.h"
#include "core/SettingDescriptors.h"
#include "gnome/GnomeDashTarget.h"
#include "plank/PlankTarget.h"
#include "platform/Log.h"
#include "platform/SystemPaths.h"

#include <QFileInfo>

namespace pierline {

DockReading DockTarget::readLayout() const {
    auto reading = read();
    if (const auto* error = std::get_if<DockReadError>(&reading)) {
        printWarning(QStringLiteral("Warning: reading %1 failed. %2").arg(displayName(), error->description()));
        return {};
    }
    return std::get<DockReading>(reading);
}

const QStringList& dockTargetIds() {
    static const QStringList ids{QStringLiteral("sandbox"), QStringLiteral("gnome"), QStringLiteral("plank")};
    return ids;
}

DockTargetChoice chooseDockTarget() {
    const QString stored = readStringSetting(Setting::DockTarget);
    if (dockTargetIds().contains(stored))
        return {stored, QStringLiteral("set by the dockTarget setting"), true};
    if (!stored.isEmpty())
        printWarning(QStringLiteral("Ignoring the dockTarget setting '%1': it names no dock target").arg(stored));

    const QString dock = SystemPaths::preferencesFile(QStringLiteral("com.apple.dock"));
    if (QFileInfo::exists(dock))
        return {QStringLiteral("sandbox"), QStringLiteral("the home holds an emulated Dock (%1)").arg(dock)};

    // Plank often runs on a desktop that names another dock of its own.
    if (PlankTarget::runsOnSessionBus())
        return {QStringLiteral("plank"),
                QStringLiteral("Plank runs the dock %1 on the session bus").arg(readStringSetting(Setting::PlankDock))};

    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    for (const QString& name : desktop.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (name.compare(QLatin1String("GNOME"), Qt::CaseInsensitive) == 0 ||
            name.compare(QLatin1String("ubuntu"), Qt::CaseInsensitive) == 0)
            return {QStringLiteral("gnome"), QStringLiteral("detected from XDG_CURRENT_DESKTOP=%1").arg(desktop)};
    }
    return {QStringLiteral("sandbox"),
            desktop.isEmpty() ? QStringLiteral("no desktop detected (XDG_CURRENT_DESKTOP is not set)")
                              : QStringLiteral("no supported dock on XDG_CURRENT_DESKTOP=%1").arg(desktop)};
}

std::unique_ptr<DockTarget> makeDockTarget(const QString& id) {
    if (id == QLatin1String("sandbox"))
        return std::make_unique<SandboxTarget>();
    if (id == QLatin1String("gnome"))
        return std::make_unique<GnomeDashTarget>();
    if (id == QLatin1String("plank"))
        return std::make_unique<PlankTarget>();
    return nullptr;
}

std::unique_ptr<DockTarget> currentDockTarget() {
    return makeDockTarget(chooseDockTarget().id);
}

} // namespace pierline
