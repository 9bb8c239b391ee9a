#include "GeneratedLauncher.h"

#include "DockTargetError.h"
#include "StoredItem.h"
#include "platform/AtomicFile.h"
#include "platform/DesktopEntry.h"
#include "platform/Log.h"
#include "platform/Url.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace pierline {
namespace {

const QString kGeneratedPrefix = QStringLiteral("pierline-");
const QString kItemKey = QStringLiteral("X-Pierline-Item");

QString itemJson(const DockFolderStackValues& item) {
    return QString::fromUtf8(QJsonDocument(dockItemFromStoredItem(item).toJson()).toJson(QJsonDocument::Compact));
}

bool isGeneratedName(const QString& fileName) {
    return fileName.startsWith(kGeneratedPrefix) && fileName.endsWith(QLatin1String(".desktop"));
}

QString itemLine(const DockFolderStackValues& item) {
    return QStringLiteral("%1=%2\n").arg(kItemKey, escapeDesktopValue(itemJson(item)));
}

} // namespace

QString generatedLauncherId(const DockFolderStackValues& item) {
    const QByteArray hash = QCryptographicHash::hash(itemJson(item).toUtf8(), QCryptographicHash::Sha256).toHex();
    return kGeneratedPrefix + QString::fromLatin1(hash.left(10)) + QStringLiteral(".desktop");
}

QByteArray generatedAppLauncherText(const DockFolderStackValues& item) {
    const QString kind = storedItemKind(item);
    QString target;
    QString icon = QStringLiteral("web-browser");
    if (kind == QLatin1String("url")) {
        target = item.url.value_or(QString());
    } else {
        const std::optional<QString> location = item.path ? item.path : item.url;
        target = storedItemPath(item).value_or(location.value_or(QString()));
        icon = kind == QLatin1String("file") ? QStringLiteral("text-x-generic") : QStringLiteral("folder");
    }
    // Not NoDisplay: the shell leaves hidden apps off the dash.
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\n");
    text += QStringLiteral("Name=%1\n").arg(escapeDesktopValue(storedItemLabel(item)));
    text +=
        QStringLiteral("Exec=%1\n").arg(escapeDesktopValue(QStringLiteral("xdg-open ") + desktopExecArgument(target)));
    text += QStringLiteral("Icon=%1\nTerminal=false\n").arg(icon);
    return (text + itemLine(item)).toUtf8();
}

QByteArray generatedLinkLauncherText(const DockFolderStackValues& item) {
    if (storedItemKind(item) != QLatin1String("url"))
        return generatedAppLauncherText(item);
    QString text = QStringLiteral("[Desktop Entry]\nType=Link\n");
    text += QStringLiteral("Name=%1\n").arg(escapeDesktopValue(storedItemLabel(item)));
    text += QStringLiteral("URL=%1\n").arg(escapeDesktopValue(item.url.value_or(QString())));
    text += QStringLiteral("Icon=web-browser\n");
    return (text + itemLine(item)).toUtf8();
}

std::optional<DockItem> itemOfGeneratedLauncher(const QString& path) {
    if (!isGeneratedName(QFileInfo(path).fileName()))
        return std::nullopt;
    const auto entry = DesktopEntry::load(path);
    const std::optional<QString> json = entry ? entry->value(kItemKey) : std::nullopt;
    if (!json)
        return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(json->toUtf8());
    if (!document.isObject())
        return std::nullopt;
    DockItem item = DockItem::fromJson(document.object());
    if (!item.tileType)
        return std::nullopt;
    return item;
}

void writeIfChanged(const QString& path, const QByteArray& text) {
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == text)
        return;
    if (const auto failed = replaceFileAtomically(path, text))
        throw DockTargetError(failed->toStdString());
}

void removeUnusedGeneratedLaunchers(const QString& folderPath, const QSet<QString>& keep) {
    const QDir folder(folderPath);
    const QStringList names = folder.entryList({kGeneratedPrefix + QStringLiteral("*.desktop")}, QDir::Files);
    for (const QString& name : names) {
        if (keep.contains(name) || !itemOfGeneratedLauncher(folder.filePath(name)))
            continue;
        if (QFile::remove(folder.filePath(name)))
            printLine(QStringLiteral("Removed unused generated desktop file %1").arg(name));
        else
            printWarning(
                QStringLiteral("Could not remove unused generated desktop file %1").arg(folder.filePath(name)));
    }
}

} // namespace pierline
