#include "TemporaryFolder.h"

#include "Log.h"
#include "SystemPaths.h"

#include <QDir>
#include <QTemporaryDir>
#include <utility>

namespace pierline {

TemporaryFolder::TemporaryFolder(const QString& prefix) {
    const QString base = SystemPaths::temporaryDirectory();
    if (!QDir().mkpath(base)) {
        error_ = QStringLiteral("Could not create the temporary folder %1").arg(base);
        return;
    }
    // mkdtemp underneath: a new name every time, mode 0700.
    QTemporaryDir dir(QDir(base).filePath(prefix + QStringLiteral("-XXXXXX")));
    if (!dir.isValid()) {
        error_ = QStringLiteral("Could not create a temporary folder in %1: %2").arg(base, dir.errorString());
        return;
    }
    dir.setAutoRemove(false); // removal is ours, so that its failure is seen
    path_ = dir.path();
}

TemporaryFolder::~TemporaryFolder() {
    remove();
}

QString TemporaryFolder::filePath(const QString& name) const {
    return QDir(path_).filePath(name);
}

bool TemporaryFolder::remove() {
    if (path_.isEmpty())
        return true;
    const QString path = std::exchange(path_, QString());
    if (QDir(path).removeRecursively())
        return true;
    printWarning(QStringLiteral("Could not remove the temporary folder %1").arg(path));
    return false;
}

} // namespace pierline
