#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace pierline {

struct ProcessResult {
    QByteArray stdoutData;
    QByteArray stderrData;
    int exitStatus = 0;
};

// Runs a child to its end with separate stdout and stderr. A child that cannot start gives
// status -1 and the stderr text "Failed to launch {path}: {reason}".
ProcessResult runProcess(const QString& program, const QStringList& arguments, const QByteArray& input = {});

// The environment every child gets: ours, with the emulated tools first on PATH.
QProcessEnvironment childEnvironment();

} // namespace pierline
