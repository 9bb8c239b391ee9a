// The emulated `xattr`, for its one use here: `xattr -c [-r] PATH...` clears the extended
// attributes a file carries (on Linux those of the user namespace, the only ones a user may set).
#include "ToolSupport.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <sys/xattr.h>

namespace pierline::tools {
namespace {

const QString kUsage = QStringLiteral("usage: xattr -c [-r] file [file ...]");

int usage() {
    printErr(kUsage);
    return 2;
}

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Clears the user.* attributes of one file, never following a link; false with a message printed.
bool clear(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    QByteArray names(4096, '\0');
    ssize_t length = 0;
    for (;;) {
        length = ::llistxattr(name.constData(), names.data(), static_cast<size_t>(names.size()));
        if (length >= 0)
            break;
        if (errno == ERANGE) {
            names.resize(names.size() * 2);
            continue;
        }
        if (errno == ENOTSUP)
            return true; // a file system without attributes has none to clear
        printErr(QStringLiteral("xattr: [Errno %1] %2: '%3'").arg(errno).arg(errnoText(errno), path));
        return false;
    }
    bool ok = true;
    for (const QByteArray& attribute : names.left(length).split('\0')) {
        if (!attribute.startsWith("user."))
            continue;
        if (::lremovexattr(name.constData(), attribute.constData()) != 0 && errno != ENODATA) {
            printErr(QStringLiteral("xattr: [Errno %1] %2: '%3'").arg(errno).arg(errnoText(errno), path));
            ok = false;
        }
    }
    return ok;
}

bool clearTree(const QString& root) {
    bool ok = clear(root);
    if (!QFileInfo(root).isDir() || QFileInfo(root).isSymLink())
        return ok;
    // QDirIterator does not descend through links to folders unless told to.
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        ok = clear(it.next()) && ok;
    return ok;
}

int run(const QStringList& args) {
    bool clearAll = false;
    bool recursive = false;
    QStringList paths;
    for (const QString& arg : args) {
        if (!paths.isEmpty() || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            paths.append(arg);
            continue;
        }
        for (const QChar flag : arg.mid(1)) {
            if (flag == QLatin1Char('c'))
                clearAll = true;
            else if (flag == QLatin1Char('r'))
                recursive = true;
            else
                return usage();
        }
    }
    if (!clearAll || paths.isEmpty())
        return usage();

    int status = 0;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink()) {
            printErr(QStringLiteral("xattr: No such file: %1").arg(path));
            status = 1;
            continue;
        }
        if (!(recursive ? clearTree(path) : clear(path)))
            status = 1;
    }
    return status;
}

} // namespace
} // namespace pierline::tools

int main(int argc, char** argv) {
    return pierline::tools::run(pierline::tools::argumentsOf(argc, argv));
}
