#include "HandOver.h"

#include "InstanceClient.h"
#include "RunningApp.h"

#include "platform/FileLock.h"
#include "platform/Log.h"
#include "platform/SystemPaths.h"
#include "platform/Terminal.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QThread>
#include <cstdio>

namespace pierline {
namespace {

// A busy app tells its callers it lives every few seconds; this long a silence means it hangs.
constexpr double kSilenceLimitSeconds = 30;

constexpr int kQuitLimitMs = 30 * 1000;

void write(FILE* stream, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// The app holds its instance lock until it has saved and closed its socket.
bool waitForAppToQuit() {
    const QString lockPath = SystemPaths::runningAppLockFile();
    QDeadlineTimer deadline(kQuitLimitMs);
    while (FileLock::isHeldElsewhere(lockPath)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

} // namespace

std::optional<int> handOverToRunningApp(const QStringList& args, cli::Route route) {
    if (route == cli::Route::Caller)
        return std::nullopt;
    QString problem;
    const auto app = RunningApp::find(&problem);
    if (!problem.isEmpty()) {
        cli::err(QStringLiteral("Pierline is running on this home but cannot be reached: %1").arg(problem));
        return cli::kExitFailed;
    }
    if (!app)
        return std::nullopt;
    if (route == cli::Route::RefusedWhileAppRuns) {
        cli::err(cli::kRefusedWhileAppRuns);
        return cli::kExitFailed;
    }
    CommandRequest request{args, QDir::currentPath(), standardInputIsTerminal()};
    if (isVerbose() && !args.contains(QStringLiteral("-v")) && !args.contains(QStringLiteral("--verbose")))
        request.arguments.prepend(QStringLiteral("-v"));
    const auto answer = InstanceClient::send(app->socketPath, request, kSilenceLimitSeconds);
    if (const auto* failure = std::get_if<QString>(&answer)) {
        cli::err(*failure);
        return cli::kExitFailed;
    }
    if (std::holds_alternative<InstanceClient::NotStarted>(answer)) {
        // The app quit before it began the request: it runs here once the app has let go of the home.
        if (!waitForAppToQuit()) {
            cli::err(
                QStringLiteral("Pierline closed the connection but did not quit in %1 s").arg(kQuitLimitMs / 1000));
            return cli::kExitFailed;
        }
        return std::nullopt;
    }
    const CommandReply& reply = std::get<CommandReply>(answer);
    write(stdout, reply.standardOutput);
    write(stderr, reply.standardError);
    if (reply.exitCode == cli::kExitOk && args.contains(QStringLiteral("quit")) && !waitForAppToQuit()) {
        cli::err(QStringLiteral("Pierline did not quit in %1 s").arg(kQuitLimitMs / 1000));
        return cli::kExitFailed;
    }
    return reply.exitCode;
}

} // namespace pierline
