// Named icons as the freedesktop icon themes hold them.
#include "platform/DesktopEntry.h"
#include "platform/Icns.h"
#include "platform/IconTheme.h"
#include "platform/Log.h"
#include "platform/linux/GSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSettings>

namespace pierline {
namespace {

const QString kHicolor = QStringLiteral("hicolor");
// Far above any real theme; a loop of Inherits ends here too.
constexpr int kMaximumThemes = 32;

QString desktopIconTheme() {
    const GSettingsKey key{QStringLiteral("org.gnome.desktop.interface"),
                           QStringLiteral("icon-theme"),
                           {},
                           QStringLiteral("gsettings-desktop-schemas")};
    const Logger log(QStringLiteral("IconTheme"));
    if (const auto problem = gsettingsProblem(key)) {
        log.info(QStringLiteral("The desktop's icon theme cannot be read, using hicolor: %1").arg(*problem));
        return kHicolor;
    }
    try {
        const QString theme = readGSettingsString(key).trimmed();
        return theme.isEmpty() ? kHicolor : theme;
    } catch (const GSettingsError& error) {
        log.error(QStringLiteral("The desktop's icon theme cannot be read, using hicolor: %1")
                      .arg(QString::fromUtf8(error.what())));
        return kHicolor;
    }
}

// A theme name or folder name from a file: one path component, nothing that climbs out.
bool isPlainName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/'));
}

struct ThemeIndex {
    QStringList inherits;
    QStringList directories;
};

// The [Icon Theme] group of the first index.theme among the theme's folders; nullopt when no folder
// has one.
std::optional<ThemeIndex> readIndex(const QStringList& themeFolders) {
    for (const QString& folder : themeFolders) {
        const QString path = QDir(folder).filePath(QStringLiteral("index.theme"));
        if (!QFileInfo(path).isFile())
            continue;
        QSettings index(path, QSettings::IniFormat);
        index.beginGroup(QStringLiteral("Icon Theme"));
        ThemeIndex parsed;
        for (const QString& name : index.value(QStringLiteral("Inherits")).toStringList())
            if (isPlainName(name.trimmed()))
                parsed.inherits.append(name.trimmed());
        for (const char* key : {"Directories", "ScaledDirectories"})
            for (const QString& dir : index.value(QString::fromLatin1(key)).toStringList())
                if (!dir.trimmed().isEmpty() && !dir.split(QLatin1Char('/')).contains(QStringLiteral("..")))
                    parsed.directories.append(dir.trimmed());
        return parsed;
    }
    return std::nullopt;
}

// The subfolders that hold images in a theme without an index: "<size>/<context>".
QStringList guessDirectories(const QStringList& themeFolders) {
    QStringList directories;
    for (const QString& folder : themeFolders) {
        const QDir theme(folder);
        for (const QString& size : theme.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            for (const QString& context : QDir(theme.filePath(size)).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
                directories.append(size + QLatin1Char('/') + context);
    }
    return directories;
}

// The best image among `folders` for `name`: the PNG with the most pixels, else an SVG, else an XPM.
std::optional<QString> bestImage(const QStringList& folders, const QString& name) {
    std::optional<QString> png, svg, xpm;
    qint64 pngPixels = -1;
    for (const QString& folder : folders) {
        const QDir dir(folder);
        const QString pngPath = dir.filePath(name + QStringLiteral(".png"));
        QFile file(pngPath);
        if (file.open(QIODevice::ReadOnly)) {
            // The size sits in the first chunk; a file that is no PNG does not count.
            if (const auto size = icns::pngSize(file.read(64))) {
                const qint64 pixels = qint64(size->width()) * size->height();
                if (pixels > pngPixels) {
                    pngPixels = pixels;
                    png = pngPath;
                }
            }
        }
        if (!svg && QFileInfo(dir.filePath(name + QStringLiteral(".svg"))).isFile())
            svg = dir.filePath(name + QStringLiteral(".svg"));
        if (!xpm && QFileInfo(dir.filePath(name + QStringLiteral(".xpm"))).isFile())
            xpm = dir.filePath(name + QStringLiteral(".xpm"));
    }
    if (png)
        return png;
    return svg ? svg : xpm;
}

} // namespace

IconThemeSearch systemIconThemeSearch() {
    IconThemeSearch search;
    search.theme = desktopIconTheme();
    for (const QString& folder : dataFolders())
        search.iconFolders.append(QDir(folder).filePath(QStringLiteral("icons")));
    search.pixmapFolders = {QStringLiteral("/usr/share/pixmaps")};
    return search;
}

std::optional<QString> findThemeIcon(const QString& name, const IconThemeSearch& search) {
    if (!isPlainName(name))
        return std::nullopt;
    // The user's theme, then what it inherits depth first, then hicolor, each theme once.
    QStringList pending{isPlainName(search.theme) ? search.theme : kHicolor};
    QSet<QString> seen;
    bool hicolorQueued = pending.first() == kHicolor;
    while (seen.size() < kMaximumThemes) {
        if (pending.isEmpty()) {
            if (hicolorQueued)
                break;
            pending.append(kHicolor);
            hicolorQueued = true;
        }
        const QString theme = pending.takeFirst();
        if (seen.contains(theme))
            continue;
        seen.insert(theme);
        QStringList themeFolders;
        for (const QString& base : search.iconFolders)
            if (QFileInfo(QDir(base).filePath(theme)).isDir())
                themeFolders.append(QDir(base).filePath(theme));
        const std::optional<ThemeIndex> index = readIndex(themeFolders);
        const QStringList directories = index ? index->directories : guessDirectories(themeFolders);
        QStringList imageFolders;
        for (const QString& folder : themeFolders)
            for (const QString& directory : directories)
                imageFolders.append(QDir(folder).filePath(directory));
        if (auto found = bestImage(imageFolders, name))
            return found;
        if (index)
            pending = index->inherits + pending;
    }
    return bestImage(search.pixmapFolders, name);
}

} // namespace pierline
