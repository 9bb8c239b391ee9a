#include "RememberedWarning.h"

#include "AtomicFile.h"
#include "Log.h"
#include "SystemPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace pierline {
namespace {

const Logger kLog(QStringLiteral("warnings"));

QString markerPath(const QString& topic) {
    return QDir(SystemPaths::applicationSupportFolder()).filePath(QStringLiteral("Warnings/%1.said").arg(topic));
}

} // namespace

bool warnOnceFor(const QString& topic, const QString& line) {
    const QString path = markerPath(topic);
    QFile marker(path);
    const QByteArray said = line.toUtf8();
    // A marker that cannot be read counts as not said: saying it twice beats never.
    if (marker.open(QIODevice::ReadOnly) && marker.readAll() == said) {
        kLog.info(QStringLiteral("%1 (said before, not repeated)").arg(line));
        return false;
    }
    marker.close();
    printWarning(line);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        kLog.error(QStringLiteral("Could not make the folder of %1; the warning will be printed again").arg(path));
    else if (const auto problem = replaceFileAtomically(path, said))
        kLog.error(QStringLiteral("%1; the warning will be printed again").arg(*problem));
    return true;
}

void forgetWarningFor(const QString& topic) {
    QFile marker(markerPath(topic));
    if (marker.exists() && !marker.remove())
        kLog.error(QStringLiteral("Could not remove %1: %2").arg(marker.fileName(), marker.errorString()));
}

} // namespace pierline
