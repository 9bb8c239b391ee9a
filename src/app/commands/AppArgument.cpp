#include "AppArgument.h"

#include "core/PresetRecord.h"
#include "dock/DockReader.h"
#include "platform/DesktopEntry.h"
#include "platform/SystemPaths.h"
#include "platform/Url.h"

#include <QDir>
#include <QFileInfo>

namespace pierline::cli {
namespace {

bool looksLikeLocation(const QString& app) {
    return app.startsWith(QLatin1Char('/')) || app.startsWith(QLatin1String("file:"));
}

// A path or file URL as the entry form: file URL of the cleaned path with a trailing "/".
std::optional<QString> entryForm(const QString& app) {
    QString path;
    if (app.startsWith(QLatin1String("file:"))) {
        const auto url = parseUrl(app);
        if (!url)
            return std::nullopt;
        path = decodedPath(*url);
    } else {
        path = app;
    }
    path = QDir::cleanPath(path);
    if (path.isEmpty() || path == QLatin1String("/"))
        return std::nullopt;
    return fileUrlFromPath(path, true).toString(QUrl::FullyEncoded);
}

} // namespace

std::optional<QString> matchAppEntry(const DockPreset& preset, const QString& app) {
    const QStringList entries = decodeApps(preset.apps());
    for (const QString& entry : entries)
        if (entry == app)
            return entry;
    if (looksLikeLocation(app)) {
        const auto form = entryForm(app);
        if (!form)
            return std::nullopt;
        const QString wanted = normalizedAppEntry(*form);
        for (const QString& entry : entries)
            if (!isSpacerEntry(entry) && !isSmallSpacerEntry(entry) && normalizedAppEntry(entry) == wanted)
                return entry;
        return std::nullopt;
    }
    for (const QString& entry : entries)
        if (!isSpacerEntry(entry) && !isSmallSpacerEntry(entry) && appDisplayName(entry) == app)
            return entry;
    for (const QString& entry : entries)
        if (!isSpacerEntry(entry) && !isSmallSpacerEntry(entry) &&
            appDisplayName(entry).compare(app, Qt::CaseInsensitive) == 0)
            return entry;
    return std::nullopt;
}

// A desktop app: the file URL of its desktop file, named by path, file URL or desktop ID.
std::optional<QString> entryForDesktopFile(const QString& app) {
    std::optional<QString> path;
    if (looksLikeLocation(app)) {
        const auto url = app.startsWith(QLatin1String("file:")) ? parseUrl(app) : std::nullopt;
        path = url ? decodedPath(*url) : QDir::cleanPath(app);
    } else if (!app.contains(QLatin1Char('/'))) {
        path = findDesktopFile(app);
    }
    if (!path || !QFileInfo(*path).isFile())
        return std::nullopt;
    return fileUrlFromPath(*path).toString();
}

std::optional<QString> entryForBundle(const QString& app) {
    if (isDesktopFilePath(app))
        return entryForDesktopFile(app);
    if (looksLikeLocation(app)) {
        const auto form = entryForm(app);
        if (!form)
            return std::nullopt;
        const auto url = parseUrl(*form);
        if (!url || !QFileInfo(decodedPath(*url)).isDir())
            return std::nullopt;
        return form;
    }
    QString name = app;
    if (!name.endsWith(QLatin1String(".app")))
        name += QStringLiteral(".app");
    if (name.contains(QLatin1Char('/')))
        return std::nullopt;
    const QString path = QDir(SystemPaths::applicationsFolder()).filePath(name);
    if (!QFileInfo(path).isDir())
        return std::nullopt;
    return entryForm(path);
}

} // namespace pierline::cli
