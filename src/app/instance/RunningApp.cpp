#include "RunningApp.h"

#include "InstanceClient.h"

#include "app/commands/Commands.h"

#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/SystemPaths.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <atomic>

namespace pierline {
namespace {

std::atomic<RunningApp*> g_current{nullptr};

// The record in the lock file, or why it cannot be read; nullopt when there is none at all.
std::optional<std::variant<AppRecord, QString>> readRecord(const QString& lockPath) {
    const auto content = FileLock::readContent(lockPath);
    if (std::holds_alternative<QString>(content))
        return std::nullopt; // never made, or not readable: no app could have written it
    const QByteArray& bytes = std::get<QByteArray>(content);
    if (bytes.trimmed().isEmpty())
        return std::nullopt;
    if (auto record = AppRecord::fromContent(bytes))
        return *record;
    return QStringLiteral("the record of the running app in %1 is damaged").arg(lockPath);
}

} // namespace

QByteArray AppRecord::toContent() const {
    return QJsonDocument(QJsonObject{{QStringLiteral("pid"), pid}, {QStringLiteral("socket"), socketPath}})
               .toJson(QJsonDocument::Compact) +
           '\n';
}

std::optional<AppRecord> AppRecord::fromContent(const QByteArray& content) {
    QJsonParseError error{};
    const QJsonObject object = QJsonDocument::fromJson(content, &error).object();
    const QJsonValue pid = object.value(QStringLiteral("pid"));
    const QJsonValue socket = object.value(QStringLiteral("socket"));
    if (error.error != QJsonParseError::NoError || !pid.isDouble() || !socket.isString() || pid.toInteger() <= 0 ||
        socket.toString().isEmpty())
        return std::nullopt;
    return AppRecord{pid.toInteger(), socket.toString()};
}

RunningApp* RunningApp::current() {
    return g_current;
}

std::optional<AppRecord> RunningApp::find(QString* problem) {
    const QString lockPath = SystemPaths::runningAppLockFile();
    const auto record = readRecord(lockPath);
    if (!record)
        return std::nullopt;
    // A record is only worth a word while an app holds the lock: a stale one is left by a crash.
    const auto refuse = [&](const QString& why) -> std::optional<AppRecord> {
        if (problem && FileLock::isHeldElsewhere(lockPath))
            *problem = why;
        return std::nullopt;
    };
    if (const auto* damaged = std::get_if<QString>(&*record))
        return refuse(*damaged);
    const AppRecord& found = std::get<AppRecord>(*record);
    if (const auto unsafe = socketFolderProblem(found.socketPath))
        return refuse(*unsafe);
    if (!InstanceClient::appIsListening(found.socketPath))
        return std::nullopt;
    return found;
}

RunningApp::~RunningApp() {
    shutDown();
}

std::optional<int> RunningApp::start(InstanceServer::Runner runner) {
    home_ = SystemPaths::home();
    lockPath_ = SystemPaths::runningAppLockFile();
    lock_ = std::make_unique<FileLock>(lockPath_, FileLock::Mode::Try);
    if (lock_->heldElsewhere()) {
        const auto record = readRecord(lockPath_);
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
    if (const auto stale = readRecord(lockPath_); stale && std::holds_alternative<AppRecord>(*stale))
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
    g_current = this;
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
    if (g_current == this)
        g_current = nullptr;
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
