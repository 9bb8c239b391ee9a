#include "DefaultsWriter.h"

#include "DockTiles.h"
#include "core/PresetRecord.h"
#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Plist.h"
#include "platform/ShellRunner.h"
#include "platform/TemporaryFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QVariantMap>
#include <optional>

namespace pierline {
namespace {

std::optional<QString> locationOf(const DockFolderStackValues& item) {
    return item.path ? item.path : item.url;
}

bool writeFile(const QString& path, const QByteArray& bytes, QString* error) {
    const auto failed = replaceFileAtomically(path, bytes);
    if (failed)
        *error = *failed;
    return !failed;
}

} // namespace

QVariantList DefaultsWriter::appTiles(const QStringList& apps) {
    QVariantList tiles;
    for (qsizetype index = 0; index < apps.size(); ++index) {
        const QString& entry = apps.at(index);
        if (isSmallSpacerEntry(entry)) {
            tiles.append(DockTiles::smallSpacerTile());
            printLine(QStringLiteral("Added small spacer at index %1").arg(index));
            continue;
        }
        if (isSpacerEntry(entry)) {
            tiles.append(DockTiles::spacerTile());
            printLine(QStringLiteral("Added spacer at index %1").arg(index));
            continue;
        }
        const auto path = filePathOfLocation(entry);
        if (!path) {
            printLine(QStringLiteral("WARNING: Could not create URL from: %1").arg(entry));
            continue;
        }
        const bool exists = QFileInfo::exists(*path);
        if (!exists)
            printLine(QStringLiteral("WARNING: App does not exist at path: %1").arg(*path));
        tiles.append(DockTiles::appTile(entry, appNameFromPath(*path), exists));
    }
    return tiles;
}

QVariantList DefaultsWriter::itemTiles(const QList<DockFolderStackValues>& items) {
    QVariantList tiles;
    for (const DockFolderStackValues& item : items) {
        const QString type = item.itemType.value_or(QStringLiteral("folder"));
        const auto location = locationOf(item);
        if (type == QLatin1String("folder")) {
            if (!location) {
                printLine(QStringLiteral("Skipping folder stack with no path"));
                continue;
            }
            printLine(QStringLiteral("Processing folder stack: %1").arg(*location));
            tiles.append(DockTiles::folderTile(*location, item));
            printLine(QStringLiteral("Added folder stack to array: %1").arg(*location));
        } else if (type == QLatin1String("file")) {
            if (!location) {
                printLine(QStringLiteral("Skipping file with no path"));
                continue;
            }
            printLine(QStringLiteral("Processing file item: %1").arg(*location));
            tiles.append(DockTiles::fileTile(*location, item.label));
            printLine(QStringLiteral("Added file to array: %1").arg(*location));
        } else if (type == QLatin1String("url")) {
            if (!item.url || !item.label) {
                printLine(QStringLiteral("Skipping URL with missing URL or label"));
                continue;
            }
            printLine(QStringLiteral("Processing URL item: %1").arg(*item.url));
            tiles.append(DockTiles::urlTile(*item.url, *item.label));
            printLine(QStringLiteral("Added URL to array: %1").arg(*item.url));
        } else {
            printLine(QStringLiteral("WARNING: Unknown item type: %1").arg(type));
        }
    }
    return tiles;
}

QString DefaultsWriter::shellWord(const QString& path) {
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9_./+,:@%=-]+$"));
    if (safe.match(path).hasMatch())
        return path;
    QString escaped = path;
    return QLatin1Char('\'') + escaped.replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
}

QStringList DefaultsWriter::commands(const QString& appsFile, const QString& itemsFile) {
    return {QStringLiteral("defaults import com.apple.dock ") + shellWord(appsFile),
            QStringLiteral("defaults import com.apple.dock ") + shellWord(itemsFile), QStringLiteral("killall Dock")};
}

bool DefaultsWriter::writeFiles(const QString& folder, const QVariantList& appTiles, const QVariantList& itemTiles,
                                QString* error) {
    const auto appsXml = plistToXml(QVariantMap{{QStringLiteral("persistent-apps"), appTiles}}, error);
    if (!appsXml)
        return false;
    const auto itemsXml = plistToXml(QVariantMap{{QStringLiteral("persistent-others"), itemTiles}}, error);
    if (!itemsXml)
        return false;
    const QDir dir(folder);
    return writeFile(dir.filePath(kAppsFileName), *appsXml, error) &&
           writeFile(dir.filePath(kItemsFileName), *itemsXml, error);
}

DockWriteReport DefaultsWriter::apply(const QString& presetName, const QStringList& apps,
                                      const QList<DockFolderStackValues>& items,
                                      const std::function<void()>& finishApply) {
    printLine(QStringLiteral("Applying preset using defaults: %1").arg(presetName));
    printLine(QStringLiteral("Applying %1 apps to Dock (defaults method):").arg(apps.size()));
    const QVariantList left = appTiles(apps);
    printLine(QStringLiteral("Processing %1 dock items (defaults method)").arg(items.size()));
    const QVariantList right = itemTiles(items);

    // Both files are complete before any command runs, so a failure leaves the Dock as it was.
    const auto fail = [](const QString& error) {
        printWarning(QStringLiteral("Error applying preset using defaults: %1").arg(error));
        return DockWriteReport{};
    };
    // A folder of its own per apply: another user's or home's files never stand in the way.
    TemporaryFolder folder(QStringLiteral("pierline-dock"));
    if (!folder.isValid())
        return fail(folder.error());
    const QString appsFile = folder.filePath(kAppsFileName);
    const QString itemsFile = folder.filePath(kItemsFileName);
    QString error;
    if (!writeFiles(folder.path(), left, right, &error))
        return fail(error);
    printLine(QStringLiteral("Wrote apps to %1").arg(appsFile));
    printLine(QStringLiteral("Wrote folder stacks to %1").arg(itemsFile));

    const QStringList texts = commands(appsFile, itemsFile);
    DockWriteReport report{.written = true, .commands = 2};
    if (!runShellCommandForResult(texts.at(0)).succeeded)
        ++report.failed;
    printLine(QStringLiteral("Import apps result: (defaults method)"));
    if (!runShellCommandForResult(texts.at(1)).succeeded)
        ++report.failed;
    printLine(QStringLiteral("Import folder stacks result: (defaults method)"));
    folder.remove();
    runShellCommand(texts.at(2));
    Clock::shared().sleep(kRestartPause);
    printLine(QStringLiteral("Kill result: (defaults method)"));
    if (finishApply)
        finishApply();
    return report;
}

} // namespace pierline
