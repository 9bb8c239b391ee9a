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

} // namespace

std::optional<std::variant<AppRecord, QString>> readAppRecord(const QString& lockPath) {
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

void RunningApp::makeCurrent(RunningApp* app, bool current) {
    if (current)
        g_current = app;
    else
        g_current.compare_exchange_strong(app, nullptr);
}

std::optional<AppRecord> RunningApp::find(QString* problem) {
    const QString lockPath = SystemPaths::runningAppLockFile();
    const auto record = readAppRecord(lockPath);
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
