#include "RunningApp.h"

#include "app/commands/Commands.h"

#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/SystemPaths.h"

namespace pierline {

// Becoming the running app lives apart from finding it, so that a command that only looks for
// the app links no server.
RunningApp::~RunningApp() {
    shutDown();
}

std::optional<int> RunningApp::start(InstanceServer::Runner runner) {
    home_ = SystemPaths::home();
    lockPath_ = SystemPaths::runningAppLockFile();
    lock_ = std::make_unique<FileLock>(lockPath_, FileLock::Mode::Try);
    if (lock_->heldElsewhere()) {
        const auto record = readAppRecord(lockPath_);
        const auto* found = record ? std::get_if<AppRecord>(&*record) : nullptr;
        printLine(QStringLiteral("Pierline is already running (pid %1)")
                      .arg(found ? QString::number(found->pid) : QStringLiteral("unknown")));
        lock_.reset();
        return 0;
    }
    if (!lock_->held()) {
        printWarning(QStringLiteral("Cannot start Pierline: %1").arg(lock_->error()));
        lock_.reset();
        return 1;
    }
    // A crashed app leaves its socket folder behind.
    if (const auto stale = readAppRecord(lockPath_); stale && std::holds_alternative<AppRecord>(*stale))
        removeInstanceAddress(std::get<AppRecord>(*stale).socketPath);
    auto address = makeInstanceAddress();
    if (const auto* problem = std::get_if<QString>(&address)) {
        printWarning(QStringLiteral("Cannot start Pierline: %1").arg(*problem));
        lock_.reset();
        return 1;
    }
    address_ = std::get<InstanceAddress>(address);
    server_ = std::make_unique<InstanceServer>(std::move(runner), cli::quickStatusReply);
    startedAt_ = Clock::shared().now();
    makeCurrent(this, true);
    QString error;
    // Recorded once it listens, so a caller that finds the record finds the app.
    if (!server_->listen(address_.socketPath, &error) ||
        !lock_->replaceContent(AppRecord{pid(), address_.socketPath}.toContent(), &error)) {
        printWarning(QStringLiteral("Cannot start Pierline: %1").arg(error));
        shutDown();
        return 1;
    }
    printLine(QStringLiteral("[Pierline] Running on %1 (pid %2), listening at %3")
                  .arg(home_)
                  .arg(pid())
                  .arg(address_.socketPath));
    return std::nullopt;
}

void RunningApp::shutDown() {
    makeCurrent(this, false);
    if (server_) {
        server_->close();
        server_.reset();
    }
    if (!address_.socketPath.isEmpty()) {
        removeInstanceAddress(address_.socketPath);
        address_ = {};
    }
    lock_.reset();
}

} // namespace pierline
