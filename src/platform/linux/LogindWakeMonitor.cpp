#include "LogindWakeMonitor.h"

#include "platform/Log.h"
#include "platform/linux/DesktopBackend.h"

#include <QDBusConnection>
#include <QDBusError>

namespace pierline {
namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSignal = QStringLiteral("PrepareForSleep");

} // namespace

LogindWakeMonitor::LogindWakeMonitor(std::function<void()> woke) : woke_(std::move(woke)) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        Logger(QStringLiteral("AppDelegate"))
            .error(QStringLiteral("No system bus, so waking from sleep goes unnoticed: %1")
                       .arg(bus.lastError().message()));
        return;
    }
    connected_ = bus.connect(kService, kPath, kInterface, kSignal, this, SLOT(prepareForSleep(bool)));
    if (!connected_)
        Logger(QStringLiteral("AppDelegate"))
            .error(QStringLiteral("Could not watch logind for wake-ups: %1").arg(bus.lastError().message()));
}

LogindWakeMonitor::~LogindWakeMonitor() {
    if (connected_)
        QDBusConnection::systemBus().disconnect(kService, kPath, kInterface, kSignal, this,
                                                SLOT(prepareForSleep(bool)));
}

void LogindWakeMonitor::prepareForSleep(bool sleeping) {
    if (!sleeping && woke_)
        woke_();
}

std::unique_ptr<WakeMonitor> desktop::createWakeMonitor(std::function<void()> woke) {
    return std::make_unique<LogindWakeMonitor>(std::move(woke));
}

} // namespace pierline
