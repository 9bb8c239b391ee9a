#include "platform/linux/Module.h"

#include "platform/Log.h"
#include "platform/SystemPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace pierline {

LoadedModule loadModule(const char* fileName, const char* entry, quint32 version, const QString& logCategory) {
    LoadedModule result;
    const QString path = QDir(SystemPaths::toolsDirectory()).filePath(QLatin1String(fileName));
    result.library = std::make_shared<QLibrary>(path);
    QLibrary* library = result.library.get();
    // Every symbol bound now, so a module built against another library fails here, not mid-call.
    library->setLoadHints(QLibrary::ResolveAllSymbolsHint);
    QString why;
    // Checked first: for a missing file Qt names every variant of the name it tried.
    if (!QFileInfo(path).isFile()) {
        why = QStringLiteral("no such file (reinstall Pierline)");
    } else if (!library->load()) {
        why = library->errorString();
    } else if (auto call = reinterpret_cast<const void* (*)()>(library->resolve(entry)); !call) {
        why = QStringLiteral("it has no %1").arg(QLatin1String(entry));
    } else if (const void* table = call(); !table || *static_cast<const quint32*>(table) != version) {
        why = QStringLiteral("it is version %1, this program needs %2")
                  .arg(table ? *static_cast<const quint32*>(table) : 0)
                  .arg(version);
    } else {
        result.table = table;
        return result;
    }
    result.reason = QStringLiteral("Cannot load %1: %2").arg(path, why);
    Logger(logCategory).error(result.reason);
    return result;
}

} // namespace pierline
