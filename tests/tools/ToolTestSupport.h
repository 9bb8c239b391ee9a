#pragma once

#include "platform/ProcessRunner.h"
#include "support/DockPlist.h"

#include <gtest/gtest.h>

namespace pierline::test {

// One run of an emulated tool as a real child process of the current PIERLINE_HOME.
struct ToolRun {
    int exit = -1;
    QByteArray out;
    QString err;
};

inline ToolRun runTool(const QString& name, const QStringList& args, const QByteArray& input = {}) {
    const ProcessResult r = runProcess(SystemPaths::toolPath(name), args, input);
    return {r.exitStatus, r.stdoutData, QString::fromUtf8(r.stderrData)};
}

} // namespace pierline::test
