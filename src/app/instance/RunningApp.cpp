#include "RunningApp.h"

#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/SystemPaths.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

namespace pierline {
namespace {

RunningApp* g_current = nullptr;

QString pidOfHolder(const QString& lockPath) {
    QFile file(lockPath);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    const QByteArray text = file.read(32).trimmed();
    return text.isEmpty() ? QStringLiteral("unknown") : QString::fromLatin1(text);
}

} // namespace

RunningApp* RunningApp::current() {
    return g_current;
}

RunningApp::~RunningApp() {
    shutDown();
}

std::optional<int> RunningApp::start(InstanceServer::Runner runner) {
    home_ = SystemPaths::home();
    auto address = instanceAddress(home_);
    if (const auto* problem = std::get_if<QString>(&address)) {
        printWarning(QStringLiteral("Cannot start Pierline: %1").arg(*problem));
        return 1;
    }
    address_ = std::get<InstanceAddress>(address);
    lock_ = std::make_unique<FileLock>(address_.lockPath, FileLock::Mode::Try);
    if (lock_->heldElsewhere()) {
        printLine(QStringLiteral("Pierline is already running (pid %1)").arg(pidOfHolder(address_.lockPath)));
        lock_.reset();
        return 0;
    }
    if (!lock_->held()) {
        printWarning(QStringLiteral("Cannot start Pierline: %1").arg(lock_->error()));
        lock_.reset();
        return 1;
    }
    if (!lock_->writeContent(QByteArray::number(QCoreApplication::applicationPid()) + '\n'))
        printWarning(
            QStringLiteral("Could not write the pid into %1; a second run cannot name it").arg(address_.lockPath));
    server_ = std::make_unique<InstanceServer>(std::move(runner));
    QString error;
    if (!server_->listen(address_.socketPath, &error)) {
        printWarning(QStringLiteral("Cannot start Pierline: %1").arg(error));
        server_.reset();
        lock_.reset();
        return 1;
    }
    startedAt_ = Clock::shared().now();
    g_current = this;
    printLine(QStringLiteral("[Pierline] Running on %1 (pid %2), listening at %3")
                  .arg(home_)
                  .arg(pid())
                  .arg(address_.socketPath));
    return std::nullopt;
}

void RunningApp::shutDown() {
    if (g_current == this)
        g_current = nullptr;
    if (server_) {
        server_->close();
        server_.reset();
    }
    lock_.reset();
}

void RunningApp::requestQuit() {
    // Queued, so the reply to `quit` is written before the loop ends.
    QTimer::singleShot(0, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
}

qint64 RunningApp::pid() const {
    return QCoreApplication::applicationPid();
}

qint64 RunningApp::uptimeSeconds() const {
    return startedAt_.isValid() ? startedAt_.secsTo(Clock::shared().now()) : 0;
}

} // namespace pierline
