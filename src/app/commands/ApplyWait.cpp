#include "ApplyWait.h"

#include "app/Cli.h"
#include "platform/Dispatch.h"

#include <QEventLoop>

namespace pierline::cli {

int applyExitCode(const ApplyHandle& handle) {
    switch (handle.outcome) {
    case ApplyHandle::Outcome::Written:
        // Every Dock command failed: the preset is recorded, but the Dock did not change.
        return handle.dockWrite.noneSucceeded() ? kExitFailed : kExitOk;
    case ApplyHandle::Outcome::HarborletOnly:
    case ApplyHandle::Outcome::AlreadyActive:
        return kExitOk;
    case ApplyHandle::Outcome::UnknownPreset:
    case ApplyHandle::Outcome::HeldByCooldown:
    case ApplyHandle::Outcome::WriteFailed:
        return kExitFailed;
    }
    return kExitFailed;
}

bool applyNeedsFailureLine(const ApplyHandle& handle) {
    return handle.outcome == ApplyHandle::Outcome::HeldByCooldown ||
           handle.outcome == ApplyHandle::Outcome::WriteFailed;
}

int waitForApply(const QFuture<ApplyHandle>& apply, const QString& target) {
    return waitForApply(
        [apply] {
            QFuture<ApplyHandle> running = apply;
            return running.result();
        },
        target);
}

int waitForApply(const std::function<ApplyHandle()>& start, const QString& target) {
    // A local loop, so the same code waits inside the running app, whose main loop already runs.
    QEventLoop loop;
    int code = kExitFailed;
    runAsync(QueuePriority::UserInitiated, [start, target, &code, &loop] {
        int result = kExitFailed;
        QString failure;
        try {
            const ApplyHandle handle = start();
            handle.waitForSideEffects();
            result = applyExitCode(handle);
            if (applyNeedsFailureLine(handle))
                failure = QStringLiteral("Applying %1 failed; see the messages above, or run with -v for every step")
                              .arg(target);
        } catch (const std::exception& e) {
            // The event loop must end whatever happened on the way.
            failure = QStringLiteral("Applying %1 failed: %2").arg(target, QString::fromUtf8(e.what()));
        }
        runOnMainAsync([result, failure, &code, &loop] {
            if (!failure.isEmpty())
                err(failure);
            code = result;
            loop.exit(result);
        });
    });
    loop.exec();
    return code;
}

} // namespace pierline::cli
