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
    bool timedOut = false; // the child overran its time limit and was abandoned
};

inline constexpr double kNoTimeLimit = -1.0;

// Runs a child to its end with separate stdout and stderr. A child that cannot start gives
// status -1 and the stderr text "Failed to launch {path}: {reason}". With a time limit (seconds),
// a child that overruns it is abandoned, not stopped: the result is status -1, `timedOut`, the
// stderr text "{path} did not finish within {limit} seconds", and its late output is dropped.
ProcessResult runProcess(const QString& program, const QStringList& arguments, const QByteArray& input = {},
                         double timeLimit = kNoTimeLimit);

// The same with stdout and stderr in one pipe, in the order the child wrote them: all of it
// lands in `stdoutData`.
ProcessResult runProcessMerged(const QString& program, const QStringList& arguments, double timeLimit = kNoTimeLimit);

// The environment every child gets: ours, with the emulated tools first on PATH.
QProcessEnvironment childEnvironment();

} // namespace pierline
