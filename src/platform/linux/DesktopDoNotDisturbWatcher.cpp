#include "platform/Log.h"
#include "platform/SessionBusConnection.h"
#include "platform/linux/DesktopBackend.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QObject>

namespace pierline {
namespace {

const GSettingsKey kShowBanners{QStringLiteral("org.gnome.desktop.notifications"),
                                QStringLiteral("show-banners"),
                                {},
                                QStringLiteral("gsettings-desktop-schemas")};

const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString kNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

const Logger& log() {
    static const Logger logger(QStringLiteral("ContextRules"));
    return logger;
}

// GNOME's Do Not Disturb is its notification settings' show-banners turned off.
class GSettingsDoNotDisturb {
public:
    std::optional<QString> start(std::function<void()> changed) {
        if (const auto problem = desktop::gsettingsProblem(kShowBanners))
            return problem;
        try {
            watch_ = desktop::watchGSettingsKey(kShowBanners, [this, changed = std::move(changed)] {
                if (read())
                    changed();
            });
        } catch (const GSettingsError& error) {
            return QString::fromUtf8(error.what());
        }
        read();
        return std::nullopt;
    }
    std::optional<bool> current() const { return current_; }

private:
    bool read() {
        std::optional<bool> now;
        try {
            now = !desktop::readGSettingsBoolean(kShowBanners);
        } catch (const GSettingsError& error) {
            log().error(QString::fromUtf8(error.what()));
        }
        const bool differs = now != current_;
        current_ = now;
        return differs;
    }

    std::unique_ptr<GSettingsWatch> watch_;
    std::optional<bool> current_;
};

// Other desktops' notification servers (Plasma's among them) say it in their Inhibited property.
class InhibitedDoNotDisturb : public QObject {
    Q_OBJECT
public:
    // False when the session's notification server has no such property.
    bool start(std::function<void()> changed) {
        const std::optional<QDBusConnection> session = sessionBusConnection();
        if (!session || !session->isConnected() || !session->interface() ||
            !session->interface()->isServiceRegistered(kNotifications))
            return false;
        QDBusConnection bus = *session;
        read();
        if (!current_)
            return false;
        changed_ = std::move(changed);
        return bus.connect(kNotifications, kNotificationsPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                           SLOT(refresh()));
    }
    std::optional<bool> current() const { return current_; }

public Q_SLOTS:
    void refresh() {
        const std::optional<bool> before = current_;
        read();
        if (current_ != before)
            changed_();
    }

private:
    void read() {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kNotifications, kNotificationsPath, kProperties, QStringLiteral("Get"));
        call << kNotifications << QStringLiteral("Inhibited");
        const std::optional<QDBusConnection> session = sessionBusConnection();
        current_.reset();
        if (!session)
            return;
        const QDBusMessage reply = session->call(call, QDBus::Block, 2000);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            current_ = reply.arguments().first().value<QDBusVariant>().variant().toBool();
    }

    std::function<void()> changed_;
    std::optional<bool> current_;
};

// GNOME's setting on GNOME and wherever the notification server says nothing; else the server's.
class DesktopDoNotDisturbWatcher : public DoNotDisturbWatcher {
public:
    std::optional<QString> start(std::function<void()> changed) override {
        const bool gnome = qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QLatin1String("GNOME"));
        if (!gnome) {
            inhibited_ = std::make_unique<InhibitedDoNotDisturb>();
            if (inhibited_->start(changed))
                return std::nullopt;
            inhibited_.reset();
        }
        gsettings_ = std::make_unique<GSettingsDoNotDisturb>();
        return gsettings_->start(std::move(changed));
    }
    std::optional<bool> current() const override {
        if (inhibited_)
            return inhibited_->current();
        return gsettings_ ? gsettings_->current() : std::nullopt;
    }

private:
    std::unique_ptr<InhibitedDoNotDisturb> inhibited_;
    std::unique_ptr<GSettingsDoNotDisturb> gsettings_;
};

} // namespace

std::unique_ptr<DoNotDisturbWatcher> desktop::createDoNotDisturbWatcher() {
    return std::make_unique<DesktopDoNotDisturbWatcher>();
}

} // namespace pierline

#include "DesktopDoNotDisturbWatcher.moc"
