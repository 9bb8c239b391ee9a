#include "ProcessRunner.h"

#include "Dispatch.h"
#include "SystemPaths.h"

#include <QProcess>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace pierline {
namespace {

ProcessResult runToEnd(const QString& program, const QStringList& arguments, const QByteArray& input,
                       const QProcessEnvironment& environment,
                       QProcess::ProcessChannelMode channels = QProcess::SeparateChannels) {
    ProcessResult result;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(channels);
    process.start(program, arguments);
    if (!process.waitForStarted(-1)) {
        result.exitStatus = -1;
        result.stderrData = QStringLiteral("Failed to launch %1: %2").arg(program, process.errorString()).toUtf8();
        return result;
    }
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    result.stdoutData = process.readAllStandardOutput();
    if (channels == QProcess::SeparateChannels)
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

// Shared with the worker, which may outlive an abandoned wait.
struct ProcessJob {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    ProcessResult result;
};

} // namespace

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

namespace {

ProcessResult runWithLimit(const QString& program, const QStringList& arguments, const QByteArray& input,
                           double timeLimit, QProcess::ProcessChannelMode channels) {
    const QProcessEnvironment environment = childEnvironment();
    if (timeLimit < 0)
        return runToEnd(program, arguments, input, environment, channels);

    // The child runs on a worker so that the caller can stop waiting for it.
    auto job = std::make_shared<ProcessJob>();
    runAsync(QueuePriority::UserInitiated, [job, program, arguments, input, environment, channels] {
        ProcessResult result = runToEnd(program, arguments, input, environment, channels);
        std::lock_guard lock(job->mutex);
        job->result = std::move(result);
        job->finished = true;
        job->done.notify_all();
    });
    std::unique_lock lock(job->mutex);
    if (job->done.wait_for(lock, std::chrono::duration<double>(timeLimit), [&] { return job->finished; }))
        return job->result;
    ProcessResult overrun;
    overrun.exitStatus = -1;
    overrun.timedOut = true;
    overrun.stderrData = QStringLiteral("%1 did not finish within %2 seconds").arg(program).arg(timeLimit).toUtf8();
    return overrun;
}

} // namespace

ProcessResult runProcess(const QString& program, const QStringList& arguments, const QByteArray& input,
                         double timeLimit) {
    return runWithLimit(program, arguments, input, timeLimit, QProcess::SeparateChannels);
}

ProcessResult runProcessMerged(const QString& program, const QStringList& arguments, double timeLimit) {
    return runWithLimit(program, arguments, {}, timeLimit, QProcess::MergedChannels);
}

} // namespace pierline
