#pragma once

// Real context sources of a test's own: an X server whose root properties and RandR monitors the
// test sets, a private bus standing in for the system bus, and NetworkManager's stand-in on it.
#include <QByteArray>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>
#include <QThread>
#include <QVariant>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace pierline::test {

// A child process that prints one line (a display number, a bus address) once it serves.
class ServingProcess {
public:
    ServingProcess(const QString& program, const QStringList& args,
                   const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start(program, args);
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && process_.state() != QProcess::NotRunning && !process_.canReadLine())
            process_.waitForReadyRead(100);
        if (process_.canReadLine())
            line_ = QString::fromUtf8(process_.readLine()).trimmed();
    }
    ~ServingProcess() {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    ServingProcess(const ServingProcess&) = delete;
    ServingProcess& operator=(const ServingProcess&) = delete;

    const QString& line() const { return line_; } // empty when it never served
    QString errors() { return QString::fromUtf8(process_.readAllStandardError()); }

private:
    QProcess process_;
    QString line_;
};

// An Xvfb of the test's own, so its monitors and root properties touch no other suite.
class PrivateXServer {
public:
    PrivateXServer()
        : server_(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                   QStringLiteral("2400x1200x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")}) {}
    bool ok() const { return !server_.line().isEmpty(); }
    QString display() const { return QLatin1Char(':') + server_.line(); }

    // Runs xrandr on this server; its exit code.
    int xrandr(const QStringList& args) const {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display());
        process.setProcessEnvironment(env);
        process.start(QStringLiteral("xrandr"), args);
        process.waitForFinished(20000);
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

private:
    ServingProcess server_;
};

// A private message bus, standing in for the system bus or the session bus.
class PrivateBus {
public:
    PrivateBus()
        : daemon_(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")}) {}
    bool ok() const { return !daemon_.line().isEmpty(); }
    QString address() const { return daemon_.line(); }
    QDBusConnection connection() const {
        return QDBusConnection::connectToBus(address(), QStringLiteral("test-bus-") + address());
    }

private:
    ServingProcess daemon_;
};

// NetworkManager as python3-dbusmock's template plays it on `bus`, driven through its mock methods.
class NetworkManagerStandIn {
public:
    explicit NetworkManagerStandIn(const PrivateBus& bus) : bus_(bus.connection()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus.address());
        process_.setProcessEnvironment(env);
        // It logs every call on stdout, which nobody reads.
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--system"),
                        QStringLiteral("--template"), QStringLiteral("networkmanager")});
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && process_.state() != QProcess::NotRunning &&
               !bus_.interface()->isServiceRegistered(kService))
            QThread::msleep(20);
        ok_ = bus_.interface()->isServiceRegistered(kService);
        if (ok_)
            device_ = call("AddWiFiDevice", {QStringLiteral("wlan0"), QStringLiteral("wlan0"), 100}).toString();
    }
    ~NetworkManagerStandIn() {
        process_.terminate();
        process_.waitForFinished(5000);
    }
    bool ok() const { return ok_ && !device_.isEmpty(); }
    QString errors() { return QString::fromUtf8(process_.readAllStandardError()); }

    // Makes the Wi-Fi connection `name` active; its active-connection path.
    QString connect(const QString& name) {
        const QString tag = name.toLatin1().toHex();
        const QString ap =
            call("AddAccessPoint", {device_, QStringLiteral("ap") + tag, name, QStringLiteral("00:11:22:33:44:55"), 2u,
                                    2437u, 54000u, QVariant::fromValue(uchar(80)), 0u})
                .toString();
        const QString connection =
            call("AddWiFiConnection", {device_, QStringLiteral("c") + tag, name, QString()}).toString();
        return call("AddActiveConnection",
                    {QStringList{device_}, connection, ap, QStringLiteral("a") + tag, 2u /* activated */})
            .toString();
    }
    void disconnect(const QString& active) { call("RemoveActiveConnection", {device_, active}); }

private:
    static inline const QString kService = QStringLiteral("org.freedesktop.NetworkManager");

    QVariant call(const char* method, const QVariantList& args) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/NetworkManager"),
                                           QStringLiteral("org.freedesktop.DBus.Mock"), QString::fromLatin1(method));
        message.setArguments(args);
        const QDBusMessage reply = bus_.call(message, QDBus::Block, 10000);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << method << ": " << reply.errorMessage().toStdString();
        return reply.arguments().value(0);
    }

    QDBusConnection bus_;
    QProcess process_;
    bool ok_ = false;
    QString device_;
};

} // namespace pierline::test
