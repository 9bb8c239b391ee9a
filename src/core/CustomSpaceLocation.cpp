#include "CustomSpaceLocation.h"

#include "platform/SystemPaths.h"
#include "platform/Url.h"

#include <QDir>
#include <QFileInfo>

namespace pierline {

std::optional<QString> customSpaceBundlePath(const QString& path) {
    if (path.isEmpty() || !QDir::isAbsolutePath(path) || path.contains(QChar(0)))
        return std::nullopt;
    const QString clean = QDir::cleanPath(path);
    const QFileInfo info(clean);
    const QString name = info.fileName();
    if (QDir::cleanPath(info.path()) != QDir::cleanPath(SystemPaths::customSpacesFolder()))
        return std::nullopt;
    if (!name.endsWith(QLatin1String(".app")) || name.size() <= 4 || name.startsWith(QLatin1Char('.')))
        return std::nullopt;
    if (info.isSymLink() || (info.exists() && !info.isDir()))
        return std::nullopt;
    return clean;
}

std::optional<QString> customSpaceBundleForLocation(const QString& location) {
    if (location.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const auto url = parseUrl(location);
        if (!url || !url->isLocalFile())
            return std::nullopt;
        const auto decoded = percentDecoded(encodedPath(*url));
        return decoded ? customSpaceBundlePath(*decoded) : std::nullopt;
    }
    return customSpaceBundlePath(SystemPaths::expandingTilde(location));
}

} // namespace pierline
