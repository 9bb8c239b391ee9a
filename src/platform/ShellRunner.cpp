#include "ShellRunner.h"

#include "Dispatch.h"
#include "Log.h"
#include "ProcessRunner.h"
#include "SystemPaths.h"

#include "Utf8.h"
#include <QProcess>
#include <QTextBoundaryFinder>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace pierline {
namespace {

const Logger& shellLog() {
    static const Logger logger(QStringLiteral("DockManager"));
    return logger;
}

// State shared between the caller and the worker; the worker may outlive an abandoned wait.
struct ShellJob {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool launched = true;
    QString launchError;
    QByteArray output;
    int exitStatus = 0;
};

// The first `count` user-visible characters: a log excerpt never splits an emoji or an accent.
QString firstCharacters(const QString& text, int count) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (int i = 0; i < count; ++i) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0)
            return text;
        end = next;
    }
    return text.left(end);
}

} // namespace

ShellRunner& ShellRunner::shared() {
    static ShellRunner runner;
    return runner;
}

QString ShellRunner::shellProgram() const {
    std::lock_guard lock(shellMutex_);
    return shellProgram_.isEmpty() ? SystemPaths::shellPath() : shellProgram_;
}

void ShellRunner::setShellProgram(const QString& path) {
    std::lock_guard lock(shellMutex_);
    shellProgram_ = path;
}

ShellResult ShellRunner::runForResult(const QString& command, const ShellOptions& options) {
    shellLog().debug(QStringLiteral("shell run: %1").arg(command));
    auto job = std::make_shared<ShellJob>();
    const QProcessEnvironment environment = childEnvironment();
    const QString shell = shellProgram();
    runAsync(QueuePriority::UserInitiated, [job, command, environment, shell] {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels); // one shared pipe
        process.start(shell, {QStringLiteral("-c"), command});
        const bool started = process.waitForStarted(-1);
        QByteArray output;
        int status = -1;
        if (started) {
            process.closeWriteChannel();
            process.waitForFinished(-1);
            output = process.readAll();
            status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        }
        std::lock_guard lock(job->mutex);
        job->launched = started;
        job->launchError = started ? QString() : process.errorString();
        job->output = output;
        job->exitStatus = status;
        job->finished = true;
        job->done.notify_all();
    });

    std::unique_lock lock(job->mutex);
    const double seconds = options.timeLimit.value_or(timeLimit());
    if (!job->done.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return job->finished; })) {
        printLine(options.timedOutLine + command);
        shellLog().error(QStringLiteral("shell TIMED OUT after %1s (result discarded): %2").arg(seconds).arg(command));
        return {};
    }
    if (!job->launched) {
        printLine(options.launchFailedLine
                      ? *options.launchFailedLine + job->launchError
                      : QStringLiteral("Error launching shell command: %1 - %2").arg(command, job->launchError));
        shellLog().error(QStringLiteral("shell LAUNCH FAILED: %1 — %2").arg(command, job->launchError));
        return {};
    }
    QString output = decodeUtf8(job->output).value_or(QString());
    if (options.trimmed)
        output = output.trimmed();
    if (job->exitStatus != 0) {
        shellLog().error(QStringLiteral("shell EXIT %1: %2 output=%3")
                             .arg(job->exitStatus)
                             .arg(command, firstCharacters(output, 500)));
    } else if (!output.isEmpty()) {
        shellLog().debug(QStringLiteral("shell output: %1 output=%2").arg(command, firstCharacters(output, 500)));
    }
    return {output, job->exitStatus == 0};
}

} // namespace pierline
