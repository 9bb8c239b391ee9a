#include "PlankTarget.h"

#include "PlankDockItem.h"
#include "PlankSession.h"
#include "core/CustomSpaceLocation.h"
#include "core/PresetRecord.h"
#include "core/SettingDescriptors.h"
#include "platform/DesktopEntry.h"
#include "platform/Log.h"
#include "platform/Url.h"
#include "platform/Workspace.h"
#include "platform/linux/GSettings.h"
#include "targets/GeneratedLauncher.h"
#include "targets/StoredItem.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

namespace pierline {
namespace {

const QString kOwnPrefix = QStringLiteral("pierline-");
const QString kDockItemSuffix = QStringLiteral(".dockitem");
constexpr double kStopSeconds = 10;
// Plank loads its icons before it answers on the bus; a cold start under load takes seconds.
constexpr double kComeBackSeconds = 20;

const Logger& log() {
    return plankLog();
}

QString envOr(const char* name, const QString& fallback) {
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

QString dockName() {
    const QString dock = readStringSetting(Setting::PlankDock);
    if (const auto problem = PlankTarget::dockNameProblem(dock))
        throw DockTargetError(problem->toStdString());
    return dock;
}

GSettingsKey dockItemsKey(const QString& dock) {
    return {QStringLiteral("net.launchpad.plank.dock.settings"), QStringLiteral("dock-items"),
            QStringLiteral("/net/launchpad/plank/docks/%1/").arg(dock), QStringLiteral("plank")};
}

QStringList readOrder(const QString& dock) {
    try {
        return readGSettingsList(dockItemsKey(dock));
    } catch (const GSettingsError& error) {
        throw DockTargetError(error.what());
    }
}

void writeOrder(const QString& dock, const QStringList& order) {
    try {
        writeGSettingsList(dockItemsKey(dock), order);
    } catch (const GSettingsError& error) {
        throw DockTargetError(error.what());
    }
}

QString launchersFolder(const QString& dock) {
    return envOr("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config")) +
           QStringLiteral("/plank/%1/launchers").arg(dock);
}

// Where the Type=Link desktop files for web links live; not the applications folder, whose
// generated files are the GNOME dash's.
QString linksFolder() {
    return envOr("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share")) +
           QStringLiteral("/pierline/plank-links");
}

// Plank has no separators: a custom spacer shows as a do-nothing launcher with the spacer's icon,
// kept out of menus and search (NoDisplay), which Plank still lists as a persistent application.
const QString kSpacerKey = QStringLiteral("X-Pierline-Spacer");

QString spacersFolder() {
    return envOr("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share")) +
           QStringLiteral("/pierline/plank-spacers");
}

QString spacerFileStem(const QString& bundlePath) {
    const QString entry = fileUrlFromPath(bundlePath, true).toString(QUrl::FullyEncoded);
    const QByteArray hash = QCryptographicHash::hash(entry.toUtf8(), QCryptographicHash::Sha256).toHex();
    return kOwnPrefix + QString::fromLatin1(hash.left(10));
}

QByteArray spacerLauncherText(const QString& bundlePath, const QString& iconPath) {
    QString name = QFileInfo(bundlePath).fileName();
    name.chop(4); // ".app"
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\n");
    text += QStringLiteral("Name=%1\n").arg(escapeDesktopValue(name));
    text += QStringLiteral("Exec=true\n");
    text += QStringLiteral("Icon=%1\n").arg(escapeDesktopValue(iconPath));
    text += QStringLiteral("NoDisplay=true\n");
    text += QStringLiteral("%1=%2\n").arg(
        kSpacerKey, escapeDesktopValue(fileUrlFromPath(bundlePath, true).toString(QUrl::FullyEncoded)));
    return text.toUtf8();
}

// The spacer entry a launcher of ours in the spacers folder stands for.
std::optional<QString> spacerOfLauncher(const QString& path) {
    if (QDir::cleanPath(QFileInfo(path).path()) != QDir::cleanPath(spacersFolder()))
        return std::nullopt;
    const auto entry = DesktopEntry::load(path);
    if (!entry)
        return std::nullopt;
    const std::optional<QString> spacer = entry->value(kSpacerKey);
    if (!spacer || !isCustomSpaceEntry(*spacer))
        return std::nullopt;
    return spacer;
}

// Our spacer launchers (and their icons) that no dock item of ours uses any more.
void removeUnusedSpacerLaunchers(const QSet<QString>& launchersInUse) {
    QDir folder(spacersFolder());
    for (const QString& name : folder.entryList({kOwnPrefix + QStringLiteral("*.desktop")}, QDir::Files)) {
        if (launchersInUse.contains(name) || !spacerOfLauncher(folder.filePath(name)))
            continue;
        const QString icon = name.chopped(8) + QStringLiteral(".png");
        for (const QString& file : {name, icon}) {
            if (folder.exists(file) && !folder.remove(file))
                printWarning(QStringLiteral("Could not remove %1").arg(folder.filePath(file)));
        }
    }
}

bool isOwnDockItem(const QString& fileName) {
    return fileName.startsWith(kOwnPrefix) && fileName.endsWith(kDockItemSuffix);
}

QString ownDockItemName(const QString& launcher) {
    const QByteArray hash = QCryptographicHash::hash(launcher.toUtf8(), QCryptographicHash::Sha256).toHex();
    return kOwnPrefix + QString::fromLatin1(hash.left(10)) + kDockItemSuffix;
}

QString launcherPath(const QString& launcher) {
    return QDir::cleanPath(filePathOfLocation(launcher).value_or(launcher));
}

// The dock item files in Plank's order: those `dock-items` lists, then the others (Plank shows
// every file in the folder).
QStringList orderedDockItems(const QString& folder, const QStringList& order) {
    QStringList files = QDir(folder).entryList({QStringLiteral("*") + kDockItemSuffix}, QDir::Files, QDir::Name);
    QStringList out;
    for (const QString& name : order)
        if (files.removeOne(name))
            out << name;
    return out + files;
}

// One item of the written dock.
struct PlannedItem {
    QString fileName;
    QString launcher;
    bool isApp = false; // a desktop file, which GetPersistentApplications lists
    QString linkPath;   // a generated link desktop file to write first
    QByteArray linkText;
    QString iconPath; // a spacer's icon, written beside its launcher
    QByteArray iconBytes;
};

QList<PlannedItem> plan(const QStringList& apps, const QList<DockFolderStackValues>& items) {
    QList<PlannedItem> planned;
    QSet<QString> names;
    const auto add = [&](PlannedItem item, const QString& shown) {
        item.fileName = ownDockItemName(item.launcher);
        if (names.contains(item.fileName)) {
            printLine(QStringLiteral("Skipping the second %1: Plank shows an item once").arg(shown));
            return;
        }
        names.insert(item.fileName);
        planned << item;
    };
    int spacers = 0;
    for (const QString& entry : apps) {
        if (isSpacerEntry(entry) || isSmallSpacerEntry(entry)) {
            ++spacers;
            continue;
        }
        if (const auto bundle = customSpaceBundleForLocation(entry)) {
            if (!QFileInfo(*bundle).isDir()) {
                printWarning(QStringLiteral("Skipping %1: the spacer app is missing").arg(entry));
                continue;
            }
            const QString stem = QDir(spacersFolder()).filePath(spacerFileStem(*bundle));
            const QString launcher = stem + QStringLiteral(".desktop");
            const QString icon = stem + QStringLiteral(".png");
            add({{},
                 PlankDockItem::launcherOfPath(launcher),
                 true,
                 launcher,
                 spacerLauncherText(*bundle, icon),
                 icon,
                 Workspace::shared().iconData(*bundle)},
                *bundle);
            continue;
        }
        const std::optional<QString> path = filePathOfLocation(entry);
        if (!path || !path->endsWith(QLatin1String(".desktop"))) {
            printWarning(QStringLiteral("Skipping %1: Plank takes desktop files, not this app entry").arg(entry));
            continue;
        }
        if (!QFileInfo(*path).isFile()) {
            printWarning(
                QStringLiteral("Skipping %1: its desktop file is missing, and Plank drops such items").arg(entry));
            continue;
        }
        add({{}, PlankDockItem::launcherOfPath(*path), true, {}, {}, {}, {}}, *path);
    }
    if (spacers > 0)
        printLine(QStringLiteral("Skipping %1 spacer(s): Plank has no spacers").arg(spacers));

    for (const DockFolderStackValues& item : items) {
        if (storedItemKind(item) == QLatin1String("url")) {
            const QString path = QDir(linksFolder()).filePath(generatedLauncherId(item));
            add({{}, PlankDockItem::launcherOfPath(path), true, path, generatedLinkLauncherText(item), {}, {}},
                item.url.value_or(QString()));
            continue;
        }
        const std::optional<QString> path = storedItemPath(item);
        if (!path || !QFileInfo::exists(*path)) {
            printWarning(QStringLiteral("Skipping %1: it is missing, and Plank drops such items")
                             .arg(path.value_or(storedItemLabel(item))));
            continue;
        }
        add({{}, PlankDockItem::launcherOfPath(*path), false, {}, {}, {}, {}}, *path);
    }
    return planned;
}

void removeFile(const QString& path) {
    if (QFile::exists(path) && !QFile::remove(path))
        throw DockTargetError(QStringLiteral("cannot remove %1").arg(path).toStdString());
}

// Writes the planned items and their order. Our files the preset lacks go; a file of the user's
// for a launcher the preset names becomes ours; one for a launcher another stored preset holds
// goes, as that preset brings it back; every other file stays where it is, after the preset's items.
void writeLayout(const QString& dock, const QList<PlannedItem>& planned, const QSet<QString>& storedLaunchers) {
    const QStringList oldOrder = readOrder(dock);
    const QString folder = launchersFolder(dock);
    if (!QDir().mkpath(folder))
        throw DockTargetError(QStringLiteral("cannot create %1").arg(folder).toStdString());

    QSet<QString> plannedNames;
    QSet<QString> plannedPaths;
    for (const PlannedItem& item : planned) {
        plannedNames.insert(item.fileName);
        plannedPaths.insert(launcherPath(item.launcher));
    }
    QStringList stale;
    QStringList foreign;
    for (const QString& name : orderedDockItems(folder, oldOrder)) {
        if (isOwnDockItem(name)) {
            if (!plannedNames.contains(name))
                stale << name;
            continue;
        }
        try {
            const QString path = launcherPath(PlankDockItem::readLauncher(QDir(folder).filePath(name)));
            if (plannedPaths.contains(path)) {
                printLine(QStringLiteral("Replacing %1 with Pierline's own item for the same launcher").arg(name));
                stale << name;
                continue;
            }
            if (storedLaunchers.contains(path)) {
                printLine(QStringLiteral("Removing %1: a stored preset keeps %2").arg(name, path));
                stale << name;
                continue;
            }
        } catch (const DockTargetError& error) {
            printWarning(QStringLiteral("Leaving %1 alone: %2").arg(name, QString::fromUtf8(error.what())));
        }
        foreign << name;
    }

    for (const PlannedItem& item : planned) {
        if (!item.linkPath.isEmpty()) {
            if (!QDir().mkpath(QFileInfo(item.linkPath).path()))
                throw DockTargetError(
                    QStringLiteral("cannot create %1").arg(QFileInfo(item.linkPath).path()).toStdString());
            // The icon first: the launcher that names it is only useful once it is there.
            if (!item.iconPath.isEmpty())
                writeIfChanged(item.iconPath, item.iconBytes);
            writeIfChanged(item.linkPath, item.linkText);
        }
        writeIfChanged(QDir(folder).filePath(item.fileName), PlankDockItem::text(item.launcher));
    }
    for (const QString& name : stale)
        removeFile(QDir(folder).filePath(name));
    if (!foreign.isEmpty())
        printLine(QStringLiteral("Keeping %1 item(s) that Plank has of its own: %2")
                      .arg(foreign.size())
                      .arg(foreign.join(QStringLiteral(", "))));

    QStringList order;
    for (const PlannedItem& item : planned)
        order << item.fileName;
    writeOrder(dock, order + foreign);
}

} // namespace

std::optional<QString> PlankTarget::dockNameProblem(const QString& dock) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_-]+$"));
    if (plain.match(dock).hasMatch())
        return std::nullopt;
    return QStringLiteral("the plankDock setting '%1' is not a plain folder name (letters, digits, '-' and '_')")
        .arg(dock);
}

bool PlankTarget::runsOnSessionBus() {
    const QString dock = readStringSetting(Setting::PlankDock);
    return !dockNameProblem(dock) && PlankSession(dock).runningPid().has_value();
}

TargetStatus PlankTarget::status() const {
    const QString dock = readStringSetting(Setting::PlankDock);
    if (const auto problem = dockNameProblem(dock))
        return {false, *problem, {}};
    if (const auto problem = gsettingsProblem(dockItemsKey(dock)))
        return {false, *problem, {}};
    if (const auto pid = PlankSession(dock).runningPid())
        return {true, {}, QStringLiteral("Plank runs the dock %1 (pid %2)").arg(dock).arg(*pid)};
    if (PlankSession::installedProgram().isEmpty())
        return {true, {}, QStringLiteral("plank is not installed; the dock %1 is written for when it is").arg(dock)};
    return {
        true, {}, QStringLiteral("Plank is not running the dock %1; it shows a switch when it next starts").arg(dock)};
}

std::variant<DockReading, DockReadError> PlankTarget::read() const {
    QString dock;
    QStringList order;
    try {
        dock = dockName();
        order = readOrder(dock);
    } catch (const DockTargetError& error) {
        return DockReadError{DockReadError::Kind::CommandFailed, QString::fromUtf8(error.what())};
    }
    const QString folder = launchersFolder(dock);
    DockReading reading;
    for (const QString& name : orderedDockItems(folder, order)) {
        QString launcher;
        try {
            launcher = PlankDockItem::readLauncher(QDir(folder).filePath(name));
        } catch (const DockTargetError& error) {
            printWarning(QStringLiteral("Skipping %1: %2").arg(name, QString::fromUtf8(error.what())));
            continue;
        }
        if (QUrl(launcher).scheme() != QLatin1String("file")) {
            printLine(QStringLiteral("Leaving out %1 (%2): a preset holds apps, folders, files and links")
                          .arg(name, launcher));
            continue;
        }
        const QString path = launcherPath(launcher);
        const QFileInfo info(path);
        if (path.endsWith(QLatin1String(".desktop"))) {
            if (auto spacer = spacerOfLauncher(path))
                reading.apps.append(*spacer); // the spacer, not the launcher standing in for it
            else if (auto item = itemOfGeneratedLauncher(path))
                reading.items.append(*item);
            else
                reading.apps.append(fileUrlFromPath(path).toString(QUrl::FullyEncoded));
            continue;
        }
        if (!info.exists()) {
            printLine(QStringLiteral("Leaving out %1: %2 is missing, so Plank does not show it").arg(name, path));
            continue;
        }
        DockFolderStackValues item;
        item.itemType = info.isDir() ? QStringLiteral("folder") : QStringLiteral("file");
        item.path = item.url = fileUrlFromPath(path, info.isDir()).toString(QUrl::FullyEncoded);
        reading.items.append(dockItemFromStoredItem(item));
    }
    return reading;
}

DockWriteReport PlankTarget::write(const QString& presetName, const QStringList& apps,
                                   const QList<DockFolderStackValues>& items, const std::function<void()>& finish) {
    DockWriteReport report;
    const auto fail = [&](const QString& why) {
        printWarning(QStringLiteral("Could not put '%1' on Plank: %2").arg(presetName, why));
        log().error(QStringLiteral("write '%1' failed: %2").arg(presetName, why));
    };
    QString dock;
    try {
        dock = dockName();
    } catch (const DockTargetError& error) {
        fail(QString::fromUtf8(error.what()));
        return report;
    }
    const QList<PlannedItem> planned = plan(apps, items);
    const PlankSession session(dock);
    const std::optional<qint64> pid = session.runningPid();
    PlankSession::Launch launch;
    if (pid) {
        // Stopped first: a running Plank watches the folder and would take half a switch for the user's edits.
        try {
            launch = session.stop(*pid, kStopSeconds);
        } catch (const DockTargetError& error) {
            fail(QString::fromUtf8(error.what()));
            return report;
        }
    }

    try {
        writeLayout(dock, planned, storedLaunchers_);
    } catch (const DockTargetError& error) {
        fail(QString::fromUtf8(error.what()));
        if (pid) {
            // The user is not left without a dock because the switch failed.
            try {
                session.start(launch);
            } catch (const DockTargetError& restart) {
                printWarning(QStringLiteral("Could not start Plank again: %1").arg(QString::fromUtf8(restart.what())));
            }
        }
        return report;
    }
    report.written = true;
    report.commands = 1;
    log().info(QStringLiteral("wrote '%1': %2 dock items").arg(presetName).arg(planned.size()));

    if (!pid) {
        printLine(QStringLiteral("Plank is not running the dock %1: it shows '%2' when it next starts")
                      .arg(dock, presetName));
    } else {
        // A Plank that does not show the preset is a switch that did not reach the dock.
        QStringList expected;
        for (const PlannedItem& item : planned)
            if (item.isApp)
                expected << item.launcher;
        try {
            session.waitUntilShowing(session.start(launch), expected, kComeBackSeconds);
            printLine(QStringLiteral("Plank restarted with '%1'").arg(presetName));
        } catch (const DockTargetError& error) {
            ++report.failed;
            printWarning(
                QStringLiteral("Plank does not show '%1': %2").arg(presetName, QString::fromUtf8(error.what())));
            log().error(
                QStringLiteral("restart after '%1' failed: %2").arg(presetName, QString::fromUtf8(error.what())));
        }
    }
    if (finish)
        finish();
    return report;
}

void PlankTarget::setStoredEntries(const QStringList& apps, const QList<DockFolderStackValues>& items) {
    storedLaunchers_.clear();
    for (const QString& entry : apps)
        if (const std::optional<QString> path = filePathOfLocation(entry))
            storedLaunchers_.insert(QDir::cleanPath(*path));
    for (const DockFolderStackValues& item : items)
        if (const std::optional<QString> path = storedItemPath(item))
            storedLaunchers_.insert(QDir::cleanPath(*path));
}

void PlankTarget::removeUnused(const QList<DockFolderStackValues>& itemsInUse) {
    QSet<QString> keep;
    for (const DockFolderStackValues& item : itemsInUse)
        keep.insert(generatedLauncherId(item));
    try {
        const QString folder = launchersFolder(dockName());
        for (const QString& name :
             QDir(folder).entryList({kOwnPrefix + QStringLiteral("*") + kDockItemSuffix}, QDir::Files))
            keep.insert(QFileInfo(launcherPath(PlankDockItem::readLauncher(QDir(folder).filePath(name)))).fileName());
    } catch (const DockTargetError& error) {
        // Without the dock's own items nothing can be known to be unused.
        printWarning(QStringLiteral("Not removing generated link files: %1").arg(QString::fromUtf8(error.what())));
        return;
    }
    removeUnusedGeneratedLaunchers(linksFolder(), keep);
    removeUnusedSpacerLaunchers(keep);
}

} // namespace pierline
