// Where the desktop keeps applications and runtime files: the XDG base directories.
#include "platform/DesktopApps.h"
#include "platform/DesktopEntry.h"
#include "platform/RuntimeFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QSet>

namespace pierline {
namespace {

const QString kDesktopSuffix = QStringLiteral(".desktop");

QString envOr(const char* name, const QString& fallback) {
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

} // namespace

QStringList dataFolders() {
    QStringList folders{envOr("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"))};
    const QString dirs = envOr("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    folders << dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return folders;
}

QString userApplicationFolder() {
    return dataFolders().first() + QStringLiteral("/applications");
}

QStringList applicationFolders() {
    QStringList folders;
    for (const QString& dir : dataFolders())
        folders << QDir(dir).filePath(QStringLiteral("applications"));
    return folders;
}

bool isDesktopFilePath(const QString& path) {
    return path.endsWith(kDesktopSuffix);
}

QStringList installedDesktopFiles() {
    QStringList files;
    QSet<QString> ids;
    for (const QString& folder : applicationFolders()) {
        const QString prefix = QDir::cleanPath(folder) + QLatin1Char('/');
        QDirIterator it(folder, {QLatin1Char('*') + kDesktopSuffix}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = QDir::cleanPath(it.next());
            const QString id = path.mid(prefix.size()).replace(QLatin1Char('/'), QLatin1Char('-'));
            if (!ids.contains(id)) {
                ids.insert(id);
                files.append(path);
            }
        }
    }
    return files;
}

std::optional<QString> userRuntimeFolder() {
    const QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty())
        return std::nullopt;
    return folder;
}

} // namespace pierline
