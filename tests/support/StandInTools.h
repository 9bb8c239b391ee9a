#pragma once

#include "ScopedEnv.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

namespace pierline::test {

// A tools folder of stand-in scripts that replaces the emulated tools for its lifetime, for
// outputs the real tools never give and for recording exactly what reached them.
class StandInTools {
public:
    StandInTools() = default;
    StandInTools(const QString& name, const QByteArray& body) { add(name, body); }

    // A script that runs `body`.
    QString add(const QString& name, const QByteArray& body) const {
        const QString path = dir_.filePath(name);
        QFile script(path);
        if (script.open(QIODevice::WriteOnly))
            script.write("#!/bin/sh\n" + body + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    // A script that records each call ("name <arg> <arg>...") in calls(), then runs `extra`.
    QString addRecording(const QString& name, const QByteArray& extra = {}) const {
        return add(name, "line='" + name.toUtf8() +
                             "'\nfor a in \"$@\"; do line=\"$line <$a>\"; done\nprintf '%s\\n' " + "\"$line\" >> '" +
                             logPath().toUtf8() + "'\n" + extra);
    }
    QStringList calls() const {
        QFile log(logPath());
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QString path() const { return dir_.path(); }

private:
    QString logPath() const { return dir_.filePath(QStringLiteral("calls.log")); }
    QTemporaryDir dir_;
    ScopedEnv env_{"PIERLINE_TOOLS_DIR", dir_.path().toUtf8()};
};

} // namespace pierline::test
