#include "GnomeDashTarget.h"

#include "core/CustomSpaceLocation.h"

#include "core/PresetRecord.h"
#include "platform/DesktopEntry.h"
#include "platform/Log.h"
#include "platform/Url.h"
#include "platform/linux/GSettings.h"
#include "targets/GeneratedLauncher.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QUrl>

namespace pierline {
namespace {

const GSettingsKey kFavorites{
    QStringLiteral("org.gnome.shell"), QStringLiteral("favorite-apps"), {}, QStringLiteral("gnome-shell-common")};

// Marks an app entry that holds a favourite as the dash had it.
const QString kFavoriteFragment = QStringLiteral("gnome-favorite=");

// An ID the dash resolves to a desktop file of that name: anything else (empty, no ".desktop", a
// path) is written back exactly as it was read.
bool isPlainDesktopId(const QString& id) {
    return id.endsWith(QLatin1String(".desktop")) && id.size() > 8 && !id.contains(QLatin1Char('/'));
}

const Logger& log() {
    static const Logger logger(QStringLiteral("GnomeDash"));
    return logger;
}

} // namespace

TargetStatus GnomeDashTarget::status() const {
    if (const auto why = gsettingsProblem(kFavorites))
        return {false, *why, {}};
    return {};
}

QStringList GnomeDashTarget::favorites() {
    try {
        return readGSettingsList(kFavorites);
    } catch (const GSettingsError& error) {
        throw DockTargetError(error.what());
    }
}

void GnomeDashTarget::setFavorites(const QStringList& desktopIds) {
    try {
        writeGSettingsList(kFavorites, desktopIds);
    } catch (const GSettingsError& error) {
        throw DockTargetError(error.what());
    }
}

QString GnomeDashTarget::appEntryForDesktopId(const QString& desktopId) {
    if (!isPlainDesktopId(desktopId)) {
        // No desktop file stands for it, and its path would not give it back: the entry carries it.
        QUrl entry = fileUrlFromPath(userApplicationFolder(), true);
        entry.setFragment(kFavoriteFragment + desktopId, QUrl::DecodedMode);
        return entry.toString(QUrl::FullyEncoded);
    }
    const std::optional<QString> path = findDesktopFile(desktopId);
    return fileUrlFromPath(path ? *path : QDir(userApplicationFolder()).filePath(desktopId))
        .toString(QUrl::FullyEncoded);
}

std::optional<QString> GnomeDashTarget::desktopIdForAppEntry(const QString& entry) {
    const QUrl url(entry, QUrl::StrictMode);
    const QString fragment = url.fragment(QUrl::FullyDecoded);
    if (url.isLocalFile() && fragment.startsWith(kFavoriteFragment))
        return fragment.mid(kFavoriteFragment.size());
    const std::optional<QString> path = filePathOfLocation(entry);
    if (!path || !path->endsWith(QLatin1String(".desktop")))
        return std::nullopt;
    return desktopIdOfPath(*path);
}

std::variant<DockReading, DockReadError> GnomeDashTarget::read() const {
    QStringList ids;
    try {
        ids = favorites();
    } catch (const DockTargetError& error) {
        return DockReadError{DockReadError::Kind::CommandFailed, QString::fromUtf8(error.what())};
    }
    DockReading reading;
    for (const QString& id : ids) {
        const std::optional<QString> path = findDesktopFile(id);
        if (!path) {
            printLine(QStringLiteral("Keeping %1: its desktop file is missing, so the dash does not show it").arg(id));
            reading.apps.append(appEntryForDesktopId(id));
            continue;
        }
        if (auto item = itemOfGeneratedLauncher(*path)) {
            reading.items.append(*item);
            continue;
        }
        reading.apps.append(fileUrlFromPath(*path).toString(QUrl::FullyEncoded));
    }
    return reading;
}

DockWriteReport GnomeDashTarget::write(const QString& presetName, const QStringList& apps,
                                       const QList<DockFolderStackValues>& items, const std::function<void()>& finish) {
    QStringList ids;
    int spacers = 0;
    for (const QString& entry : apps) {
        // A custom spacer too: a launcher standing in for it would also show in the app grid and search.
        if (isSpacerEntry(entry) || isSmallSpacerEntry(entry) || isCustomSpaceEntry(entry)) {
            ++spacers;
            continue;
        }
        if (const auto id = desktopIdForAppEntry(entry)) {
            ids.append(*id);
            continue;
        }
        printWarning(QStringLiteral("Skipping %1: the GNOME dash takes desktop files, not this app entry").arg(entry));
    }
    if (spacers > 0)
        printLine(QStringLiteral("Skipping %1 spacer(s): the GNOME dash has no spacers").arg(spacers));

    DockWriteReport report;
    try {
        const QString folder = userApplicationFolder();
        if (!items.isEmpty() && !QDir().mkpath(folder))
            throw DockTargetError(QStringLiteral("cannot create %1").arg(folder).toStdString());
        for (const DockFolderStackValues& item : items) {
            const QString id = generatedLauncherId(item);
            writeIfChanged(QDir(folder).filePath(id), generatedAppLauncherText(item));
            ids.append(id);
        }
        setFavorites(ids);
    } catch (const DockTargetError& error) {
        printWarning(QStringLiteral("Could not put '%1' on the GNOME dash: %2")
                         .arg(presetName, QString::fromUtf8(error.what())));
        log().error(QStringLiteral("write '%1' failed: %2").arg(presetName, QString::fromUtf8(error.what())));
        return report;
    }
    log().info(QStringLiteral("wrote '%1': %2 favourites").arg(presetName).arg(ids.size()));
    report.written = true;
    report.commands = 1;
    if (finish)
        finish();
    return report;
}

void GnomeDashTarget::removeUnused(const QList<DockFolderStackValues>& itemsInUse) {
    QSet<QString> keep;
    for (const DockFolderStackValues& item : itemsInUse)
        keep.insert(generatedLauncherId(item));
    try {
        for (const QString& id : favorites())
            keep.insert(id);
    } catch (const DockTargetError& error) {
        // Without the dash's list nothing can be known to be unused.
        printWarning(QStringLiteral("Not removing generated desktop files: %1").arg(QString::fromUtf8(error.what())));
        return;
    }
    removeUnusedGeneratedLaunchers(userApplicationFolder(), keep);
}

} // namespace pierline
