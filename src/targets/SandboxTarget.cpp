#include "SandboxTarget.h"

#include "core/SettingDescriptors.h"
#include "dock/DefaultsWriter.h"
#include "dock/DockutilWriter.h"
#include "platform/Log.h"
#include "platform/SystemPaths.h"

#include <QFileInfo>

namespace pierline {
namespace {

const Logger& log() {
    static const Logger logger(QStringLiteral("DockManager"));
    return logger;
}

// Why the home has no Dock to read or write; nullopt when it has one.
std::optional<QString> missingDock() {
    if (!QFileInfo::exists(SystemPaths::preferencesFile(QStringLiteral("com.apple.dock")))) {
        // Only `sandbox init` makes an emulated Dock: a write must not make one in the user's own
        // home, which would then stay on it for good. `sandbox init` is advice for a home of its own.
        if (!SystemPaths::homeIsExplicit())
            return QStringLiteral("no dock Pierline can drive was found on this desktop (the GNOME dash or Plank); "
                                  "start one, or set dockTarget to gnome or plank");
        return QStringLiteral("the home %1 holds no emulated Dock; `pierline sandbox init` makes one")
            .arg(SystemPaths::home());
    }
    return std::nullopt;
}

} // namespace

TargetStatus SandboxTarget::status() const {
    const QString defaults = SystemPaths::toolPath(QStringLiteral("defaults"));
    if (!QFileInfo(defaults).isExecutable())
        return {false, QStringLiteral("the emulated defaults tool is missing (%1)").arg(defaults), {}};
    if (const auto why = missingDock())
        return {false, *why, {}};
    return {};
}

std::variant<DockReading, DockReadError> SandboxTarget::read() const {
    if (const auto why = missingDock())
        return DockReadError{DockReadError::Kind::CommandFailed, *why};
    return DockReader::readDock();
}

DockReading SandboxTarget::readLayout() const {
    if (const auto why = missingDock()) {
        printWarning(QStringLiteral("Warning: reading %1 failed. %2").arg(displayName(), *why));
        return {};
    }
    return {DockReader::getDockApps(), DockReader::getDockItems()};
}

DockWriteReport SandboxTarget::write(const QString& name, const QStringList& apps,
                                     const QList<DockFolderStackValues>& items, const std::function<void()>& finish) {
    if (const TargetStatus now = status(); !now.reachable) {
        printWarning(QStringLiteral("Cannot apply '%1': %2").arg(name, now.reason));
        return {};
    }
    // A Dock that cannot be read is not written over: every writer command would fail on it.
    if (const auto reading = read(); const auto* error = std::get_if<DockReadError>(&reading)) {
        printWarning(
            QStringLiteral("Cannot apply '%1': the Dock preferences file %2 could not be read (%3); nothing "
                           "was written")
                .arg(name, SystemPaths::preferencesFile(QStringLiteral("com.apple.dock")), error->description()));
        return {};
    }
    const QString bundled = SystemPaths::bundleResource(QStringLiteral("dockutil"));
    if (!readBoolSetting(Setting::UseDockutil)) {
        printLine(QStringLiteral("User has disabled dockutil usage. Using defaults method."));
        log().info(QStringLiteral("applyPreset backend=defaults reason=userDisabledDockutil preset='%1'").arg(name));
        return DefaultsWriter::apply(name, apps, items, finish);
    }
    if (QFileInfo::exists(bundled)) {
        printLine(QStringLiteral("dockutil found in the app bundle at %1. Applying preset using dockutil method.")
                      .arg(bundled));
        log().info(QStringLiteral("applyPreset backend=dockutil source=bundle preset='%1'").arg(name));
        return DockutilWriter::apply(bundled, name, apps, items, finish);
    }
    if (const auto found = DockutilWriter::findDockutil()) {
        printLine(QStringLiteral("dockutil found at %1. Applying preset using dockutil method.").arg(*found));
        log().info(QStringLiteral("applyPreset backend=dockutil source=system preset='%1'").arg(name));
        return DockutilWriter::apply(*found, name, apps, items, finish);
    }
    printLine(QStringLiteral("dockutil not found. Applying preset using defaults method."));
    log().info(QStringLiteral("applyPreset backend=defaults reason=dockutilMissing preset='%1'").arg(name));
    return DefaultsWriter::apply(name, apps, items, finish);
}

} // namespace pierline
