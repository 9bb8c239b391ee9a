#include "PierlineIntegration.h"

#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/LocalSocket.h"
#include "platform/Log.h"
#include "platform/RuntimeFolder.h"
#include "platform/SystemPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>

namespace pierline {
namespace {

// Protocol of the companion's socket: one JSON object per line, each naming its command.
const QString kCommandKey = QStringLiteral("command");
const QString kIdKey = QStringLiteral("id");
const QString kShowCommand = QStringLiteral("show");
const QString kHideCommand = QStringLiteral("hide");
const QString kListCommand = QStringLiteral("list");
const QString kDocksKey = QStringLiteral("docks");
const QString kSocketName = QStringLiteral("harborlet.sock");

constexpr int kConnectTimeoutMs = 250;
constexpr int kWriteTimeoutMs = 500;
constexpr int kReplyTimeoutMs = 1000;
constexpr double kRefreshInterval = 15.0;

const Logger& log() {
    static const Logger logger(QStringLiteral("PierlineIntegration"));
    return logger;
}

QByteArray commandLine(const QString& command, const QString& id = {}) {
    QJsonObject object;
    object.insert(kCommandKey, command);
    if (!id.isNull())
        object.insert(kIdKey, id);
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<QString> stringMember(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

// {"docks":[{"id","name","items":[{"name","kind","iconSymbolName","path","bundleID"}]}]}; entries
// without an id are dropped.
std::optional<QList<HarborletInfo>> parseDockList(const QByteArray& reply) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(reply.trimmed(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonValue docks = doc.object().value(kDocksKey);
    if (!docks.isArray())
        return std::nullopt;
    QList<HarborletInfo> result;
    for (const QJsonValue& entry : docks.toArray()) {
        const QJsonObject object = entry.toObject();
        const auto id = stringMember(object, "id");
        if (!id || id->isEmpty())
            continue;
        HarborletInfo info;
        info.id = *id;
        info.name = stringMember(object, "name").value_or(*id);
        for (const QJsonValue& itemValue : object.value(QLatin1String("items")).toArray()) {
            const QJsonObject itemObject = itemValue.toObject();
            HarborletItem item;
            item.name = stringMember(itemObject, "name").value_or(QString());
            item.kind = stringMember(itemObject, "kind").value_or(QString());
            item.iconSymbolName = stringMember(itemObject, "iconSymbolName");
            item.path = stringMember(itemObject, "path").value_or(QString());
            item.bundleID = stringMember(itemObject, "bundleID").value_or(QString());
            info.items.append(item);
        }
        result.append(info);
    }
    return result;
}

bool companionReachable() {
    LocalSocketClient socket;
    return socket.connect(PierlineIntegration::socketPath(), kConnectTimeoutMs);
}

} // namespace

PierlineIntegration& PierlineIntegration::shared() {
    static PierlineIntegration instance;
    return instance;
}

bool PierlineIntegration::isHarborletInstalled() {
    return QFileInfo(QDir(SystemPaths::applicationsFolder()).filePath(QStringLiteral("Harborlet.app"))).isDir();
}

QString PierlineIntegration::socketPath() {
    // The companion is per user, so its socket sits in the per-user runtime folder when there is one.
    const QString folder = userRuntimeFolder().value_or(SystemPaths::home());
    return QDir(folder).filePath(kSocketName);
}

QList<HarborletInfo> PierlineIntegration::availableDocks() const {
    std::lock_guard lock(mutex_);
    return docks_;
}

ConnectionStatus PierlineIntegration::connectionStatus() const {
    if (!isHarborletInstalled())
        return {QStringLiteral("Not Installed"), QStringLiteral("gray")};
    if (companionReachable())
        return {QStringLiteral("Connected"), QStringLiteral("green")};
    return {QStringLiteral("Not Running"), QStringLiteral("orange")};
}

bool PierlineIntegration::hasPreviouslyConnected() const {
    std::lock_guard lock(mutex_);
    return connectedOnce_;
}

void PierlineIntegration::loadAvailableDocks() {
    QByteArray reply;
    if (!send(commandLine(kListCommand), &reply))
        return;
    const auto docks = parseDockList(reply);
    std::lock_guard lock(mutex_);
    connectedOnce_ = true;
    if (!docks) {
        log().error(QStringLiteral("Harborlet sent an unreadable dock list"));
        return;
    }
    docks_ = *docks;
}

void PierlineIntegration::startPeriodicRefresh() {
    {
        std::lock_guard lock(mutex_);
        if (refreshing_)
            return;
        refreshing_ = true;
    }
    // The timer fires on the main queue; the socket round trip happens off it.
    const TimerId timer = Timers::shared().schedule(kRefreshInterval, true, [] {
        runAsync(QueuePriority::Utility, [] { PierlineIntegration::shared().loadAvailableDocks(); });
    });
    std::lock_guard lock(mutex_);
    refreshTimer_ = timer;
}

void PierlineIntegration::stopPeriodicRefresh() {
    TimerId timer = 0;
    {
        std::lock_guard lock(mutex_);
        if (!refreshing_)
            return;
        refreshing_ = false;
        timer = refreshTimer_;
        refreshTimer_ = 0;
    }
    if (timer != 0)
        Timers::shared().cancel(timer);
}

bool PierlineIntegration::isPeriodicRefreshRunning() const {
    std::lock_guard lock(mutex_);
    return refreshing_;
}

void PierlineIntegration::showDock(const QString& id) {
    if (!send(commandLine(kShowCommand, id)))
        return;
    std::lock_guard lock(mutex_);
    connectedOnce_ = true;
}

void PierlineIntegration::hideDock(const QString& id) {
    if (!send(commandLine(kHideCommand, id)))
        return;
    std::lock_guard lock(mutex_);
    connectedOnce_ = true;
}

bool PierlineIntegration::send(const QByteArray& line, QByteArray* reply) const {
    LocalSocketClient socket;
    if (!socket.connect(socketPath(), kConnectTimeoutMs)) {
        log().debug(QStringLiteral("Harborlet is not reachable at %1: %2").arg(socketPath(), socket.errorString()));
        return false;
    }
    if (const auto sent = socket.write(line, kWriteTimeoutMs); sent != LocalSocketClient::Outcome::Done) {
        const QString why = sent == LocalSocketClient::Outcome::Failed   ? socket.errorString()
                            : sent == LocalSocketClient::Outcome::Closed ? QStringLiteral("it closed the connection")
                                                                         : QStringLiteral("it stopped reading");
        log().error(QStringLiteral("Could not send to Harborlet: %1").arg(why));
        return false;
    }
    if (reply) {
        QByteArray received;
        while (!received.contains('\n')) {
            if (socket.read(received, kReplyTimeoutMs) != LocalSocketClient::Outcome::Done)
                break;
        }
        if (received.isEmpty()) {
            log().error(QStringLiteral("Harborlet did not answer"));
            return false;
        }
        const qsizetype end = received.indexOf('\n');
        *reply = end < 0 ? received : received.left(end);
    }
    return true;
}

} // namespace pierline
