#pragma once

#include "ScopedEnv.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace pierline::test {

// A whole file as UTF-8 text; empty when it cannot be read.
inline QString readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A fresh PIERLINE_HOME (and TMPDIR inside it) for the lifetime of the object; the previous
// values come back afterwards.
class TempHome {
public:
    TempHome() = default;
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    QString path() const { return dir_.path(); }
    QString file(const QString& relative) const { return dir_.filePath(relative); }

    // Writes `bytes` to a file under the home, creating folders.
    QString write(const QString& relative, const QByteArray& bytes) const;
    // Makes a sample app bundle Name.app with an Info.plist and an executable script.
    QString makeBundle(const QString& relativeFolder, const QString& name, const QString& bundleId,
                       const QString& extraInfoPlistXml = {}) const;

private:
    QByteArray makeTmp() const {
        QDir(dir_.path()).mkpath(QStringLiteral("tmp"));
        return dir_.filePath(QStringLiteral("tmp")).toUtf8();
    }
    QTemporaryDir dir_;
    ScopedEnv home_{"PIERLINE_HOME", dir_.path().toUtf8()};
    ScopedEnv tmp_{"TMPDIR", makeTmp()};
};

} // namespace pierline::test
