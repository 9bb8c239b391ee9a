#include "IntentsBusService.h"

#include "app/Cli.h"
#include "app/commands/ApplyWait.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/SessionBusConnection.h"
#include "triggers/FocusFilters.h"
#include "triggers/Intents.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMetaType>
#include <QFileInfo>

QDBusArgument& operator<<(QDBusArgument& argument, const pierline::BusPreset& preset) {
    argument.beginStructure();
    argument << preset.id << preset.name;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, pierline::BusPreset& preset) {
    argument.beginStructure();
    argument >> preset.id >> preset.name;
    argument.endStructure();
    return argument;
}

namespace pierline {
namespace {

// Why an apply that was handed over did not put the preset on the Dock; nullopt when it did.
std::optional<QString> applyFailure(const ApplyHandle& handle, const QString& name) {
    if (cli::applyExitCode(handle) == cli::kExitOk)
        return std::nullopt;
    if (handle.outcome == ApplyHandle::Outcome::HeldByCooldown)
        return QStringLiteral("Pierline did not apply preset '%1': the last switch was less than %2 seconds ago")
            .arg(name)
            .arg(DockManager::kApplyCooldown);
    return QStringLiteral("Pierline could not apply preset '%1'; its log says why").arg(name);
}

// Sends the reply to `call` once `apply` has finished, from a pool thread.
void replyAfterApply(const QDBusMessage& call, const QFuture<ApplyHandle>& apply, const QString& name,
                     const QVariantList& answer) {
    runAsync(QueuePriority::UserInitiated, [call, apply, name, answer] {
        QFuture<ApplyHandle> running = apply;
        std::optional<QString> failure;
        try {
            failure = applyFailure(running.result(), name);
        } catch (const std::exception& error) {
            failure = QString::fromUtf8(error.what());
        }
        const QDBusMessage reply =
            failure ? call.createErrorReply(QString::fromLatin1(IntentsBusService::kApplyFailedError), *failure)
                    : call.createReply(answer);
        QDBusConnection::sessionBus().send(reply);
    });
}

} // namespace

void IntentsBusService::start() {
    PierlineAppIntentProvider::logAvailableIntents();
    qDBusRegisterMetaType<BusPreset>();
    qDBusRegisterMetaType<QList<BusPreset>>();
    // A session without a bus has nobody to call us.
    const std::optional<QDBusConnection> session = sessionBusConnection();
    if (!session) {
        printLine(QStringLiteral("No session bus: intents and Focus filters are not offered on D-Bus"));
        return;
    }
    QDBusConnection bus = *session;
    if (!bus.isConnected()) {
        printLine(QStringLiteral("No session bus (%1): intents and Focus filters are not offered on D-Bus")
                      .arg(bus.lastError().message()));
        return;
    }
    registered_ = bus.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportAllSlots);
    if (!registered_) {
        printWarning(QStringLiteral("Cannot offer the intents on D-Bus: %1").arg(bus.lastError().message()));
        return;
    }
    // Queued callers of another home's app must not wait for this one: no queueing, no replacing.
    const auto reply =
        bus.interface()->registerService(QString::fromLatin1(kServiceName), QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    claimed_ = reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    if (!claimed_)
        printWarning(QStringLiteral("Cannot claim %1 on the session bus (%2); intents and Focus filters reach the "
                                    "Pierline that holds it")
                         .arg(QString::fromLatin1(kServiceName),
                              reply.isValid() ? QStringLiteral("another process holds it") : reply.error().message()));
}

void IntentsBusService::stop() {
    if (!claimed_ && !registered_)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (claimed_)
        bus.interface()->unregisterService(QString::fromLatin1(kServiceName));
    if (registered_)
        bus.unregisterObject(QString::fromLatin1(kObjectPath));
    claimed_ = registered_ = false;
}

QList<BusPreset> IntentsBusService::ListPresets() {
    QList<BusPreset> rows;
    try {
        for (const PresetEntity& entity : ListPresetsIntent::perform())
            rows.append({entity.id, entity.name});
    } catch (const std::exception& error) {
        sendErrorReply(QDBusError::Failed,
                       QStringLiteral("Could not read the presets: %1").arg(QString::fromUtf8(error.what())));
    }
    return rows;
}

QString IntentsBusService::RunPreset(const QString& id, const QString& name) {
    std::optional<QFuture<ApplyHandle>> apply;
    QString text;
    try {
        text = RunPresetIntent::perform({id, name}, &apply);
    } catch (const PresetNotFoundError& error) {
        sendErrorReply(QString::fromLatin1(kPresetNotFoundError), error.description());
        return {};
    }
    setDelayedReply(true);
    replyAfterApply(message(), *apply, name.isEmpty() ? id : name, {text});
    return {};
}

void IntentsBusService::ActivateFocus(const QString& mode) {
    const auto entries = FocusFilters::load();
    if (const QString* error = std::get_if<QString>(&entries)) {
        sendErrorReply(QDBusError::Failed, *error);
        return;
    }
    const QList<FocusFilterEntry>& list = std::get<QList<FocusFilterEntry>>(entries);
    const auto entry =
        std::find_if(list.begin(), list.end(), [&](const FocusFilterEntry& e) { return e.mode == mode; });
    if (entry == list.end()) {
        sendErrorReply(QDBusError::InvalidArgs, FocusFilters::unknownModeText(mode));
        return;
    }
    std::optional<QFuture<ApplyHandle>> apply;
    try {
        apply = entry->filter.perform();
    } catch (const PresetNotFoundError& error) {
        sendErrorReply(QString::fromLatin1(kPresetNotFoundError), error.description());
        return;
    }
    if (!apply)
        return;
    setDelayedReply(true);
    replyAfterApply(message(), *apply, entry->filter.preset->name, {});
}

} // namespace pierline
