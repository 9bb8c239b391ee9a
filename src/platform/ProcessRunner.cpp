#include "ProcessRunner.h"

#include "SystemPaths.h"

#include <QProcess>

namespace pierline {

QProcessEnvironment childEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PIERLINE_HOME"), SystemPaths::home());
    const QString tools = SystemPaths::toolsDirectory();
    const QString path = env.value(QStringLiteral("PATH"));
    if (!path.split(QLatin1Char(':')).contains(tools)) {
        env.insert(QStringLiteral("PATH"), path.isEmpty() ? tools : tools + QLatin1Char(':') + path);
    }
    return env;
}

ProcessResult runProcess(const QString& program, const QStringList& arguments, const QByteArray& input) {
    ProcessResult result;
    QProcess process;
    process.setProcessEnvironment(childEnvironment());
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(-1)) {
        result.exitStatus = -1;
        result.stderrData = QStringLiteral("Failed to launch %1: %2").arg(program, process.errorString()).toUtf8();
        return result;
    }
    if (!input.isEmpty()) process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    result.stdoutData = process.readAllStandardOutput();
    result.stderrData = process.readAllStandardError();
    if (process.exitStatus() == QProcess::CrashExit) {
        result.exitStatus = -1;
        if (result.stderrData.isEmpty())
            result.stderrData = QStringLiteral("%1 terminated by a signal").arg(program).toUtf8();
    } else {
        result.exitStatus = process.exitCode();
    }
    return result;
}

} // namespace pierline
