#pragma once

#include "support/ScopedEnv.h"
#include "support/TempHome.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QStringList>
#include <memory>

namespace pierline::test {

// A stand-in C++ compiler: reads the source like the real one and writes a program that exits 0,
// in a fraction of the time. The real compilers have their own cases.
inline QString writeStandInCompiler(const TempHome& home, const QByteArray& body = {},
                                    const QString& name = QStringLiteral("stand-in-c++")) {
    const QString path =
        home.write("bin/" + name, "#!/bin/sh\n"
                                  "out=\n"
                                  "while [ $# -gt 0 ]; do [ \"$1\" = -o ] && { out=$2; shift; }; shift; done\n"
                                  "cat >/dev/null\n" +
                                      (body.isEmpty() ? QByteArray("cp /bin/true \"$out\"\n") : body));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// No display, and a private runtime folder as a desktop session has one (Qt's GUI start-up
// would make one in the temporary folder otherwise).
inline QMap<QString, QString> noDisplay(const TempHome& home) {
    const QString runtime = home.file("runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}, {"XDG_RUNTIME_DIR", runtime}};
}

// Every file and folder below `root`, relative, sorted; for "nothing was left behind".
inline QStringList entriesBelow(const QString& root) {
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries.append(QDir(root).relativeFilePath(it.next()));
    entries.sort();
    return entries;
}

} // namespace pierline::test
