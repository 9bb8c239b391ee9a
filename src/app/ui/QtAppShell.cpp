#include "QtAppShell.h"

#include "ShellWindows.h"

#include "platform/Log.h"
#include "platform/SessionBusConnection.h"
#include "platform/TaskbarPresence.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QVariantAnimation>

namespace pierline {
namespace {

constexpr int kIconSize = 18;
const QColor kSystemBlue(0, 122, 255);
const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

QPixmap statusImage(const QString& name, bool tinted, double opacity) {
    QPixmap source(QStringLiteral(":/status/%1.png").arg(name));
    QPixmap drawn(kIconSize, kIconSize);
    drawn.fill(Qt::transparent);
    QPainter painter(&drawn);
    painter.setOpacity(opacity);
    if (!source.isNull())
        painter.drawPixmap(drawn.rect(), source);
    if (tinted) {
        painter.setOpacity(1.0);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(drawn.rect(), kSystemBlue);
    }
    return drawn;
}

bool onX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

} // namespace

QtAppShell::QtAppShell() : StateAppShell(ActivationPolicy::Regular) {}

QtAppShell::~QtAppShell() {
    for (const QPointer<QWidget>& window : std::as_const(windows_))
        delete window.data();
}

QString QtAppShell::currentHost() {
    // Qt draws a StatusNotifierItem when a watcher with a host is on the session bus, else it
    // docks an XEmbed icon into a tray when there is one.
    const std::optional<QDBusConnection> bus = sessionBusConnection();
    if (bus && bus->isConnected() && bus->interface() && bus->interface()->isServiceRegistered(kWatcherService)) {
        QDBusInterface watcher(kWatcherService, QStringLiteral("/StatusNotifierWatcher"), kWatcherService, *bus);
        if (watcher.property("IsStatusNotifierHostRegistered").toBool())
            return kStatusHostNotifierItem;
    }
    if (QSystemTrayIcon::isSystemTrayAvailable())
        return kStatusHostXEmbed;
    return kStatusHostNone;
}

void QtAppShell::setActivationPolicy(ActivationPolicy policy) {
    StateAppShell::setActivationPolicy(policy);
    for (const QPointer<QWidget>& window : std::as_const(windows_))
        if (window)
            keepOffTaskbar(window, policy == ActivationPolicy::Accessory);
}

void QtAppShell::keepOffTaskbar(QWidget* window, bool skip) {
    if (!onX11())
        return;
    QString why;
    if (!setSkipTaskbar(window->winId(), skip, &why))
        Logger(QStringLiteral("AppDelegate")).error(QStringLiteral("Could not change the task bar entry: %1").arg(why));
}

void QtAppShell::activate() {
    for (const QPointer<QWidget>& window : std::as_const(windows_)) {
        if (window && window->isVisible()) {
            window->raise();
            window->activateWindow();
        }
    }
}

void QtAppShell::createStatusItem(const QString& image, const QString& accessibilityDescription) {
    if (isStatusItemVisible())
        return;
    StateAppShell::createStatusItem(image, accessibilityDescription);
    const QString host = currentHost();
    setHost(host);
    if (host == kStatusHostNone) {
        if (!warnedNoHost_)
            printWarning(QStringLiteral(
                "No tray on this desktop shows Pierline's status item; use `pierline menu`, the main window "
                "(`pierline window open main`), the hotkeys or pierline:// links instead"));
        warnedNoHost_ = true;
        return;
    }
    menu_ = std::make_unique<QMenu>();
    tray_ = std::make_unique<QSystemTrayIcon>();
    tray_->setToolTip(accessibilityDescription);
    tray_->setContextMenu(menu_.get());
    QObject::connect(tray_.get(), &QSystemTrayIcon::activated, tray_.get(),
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger && menu_)
                             menu_->popup(QCursor::pos());
                     });
    drawIcon(1.0);
    tray_->show();
}

void QtAppShell::removeStatusItem() {
    StateAppShell::removeStatusItem();
    pulse_.reset();
    tray_.reset();
    menu_.reset();
    entries_.clear();
}

void QtAppShell::drawIcon(double opacity) {
    if (!tray_)
        return;
    const StatusItemState state = statusItem();
    tray_->setIcon(QIcon(statusImage(state.image, state.tinted, opacity)));
}

void QtAppShell::setStatusItemImage(const QString& image, const QString& accessibilityDescription, bool tinted) {
    StateAppShell::setStatusItemImage(image, accessibilityDescription, tinted);
    if (tray_)
        tray_->setToolTip(accessibilityDescription);
    drawIcon(1.0);
}

void QtAppShell::setStatusItemMenu(const Menu& menu) {
    StateAppShell::setStatusItemMenu(menu);
    if (!menu_)
        return;
    entries_ = menu;
    menu_->clear();
    for (qsizetype i = 0; i < entries_.size(); ++i) {
        const MenuEntry& entry = entries_[i];
        if (entry.separator) {
            menu_->addSeparator();
            continue;
        }
        // Hosts show plain text only, so the shortcut follows the name after two spaces.
        QAction* action = menu_->addAction(entry.plainTitle());
        action->setEnabled(entry.enabled);
        if (!entry.keyEquivalent.isEmpty())
            action->setShortcut(QKeySequence(QStringLiteral("Ctrl+") + entry.keyEquivalent.toUpper()));
        if (entry.action)
            QObject::connect(action, &QAction::triggered, action, [run = entry.action] { run(); });
    }
}

void QtAppShell::setStatusItemAnimation(const QString& key) {
    StateAppShell::setStatusItemAnimation(key);
    pulse_.reset();
    if (key.isEmpty() || !tray_) {
        drawIcon(1.0);
        return;
    }
    // Opacity 1.0 to 0.5 in 0.8 s and back, six times.
    pulse_ = std::make_unique<QVariantAnimation>();
    pulse_->setStartValue(1.0);
    pulse_->setKeyValueAt(0.5, 0.5);
    pulse_->setEndValue(1.0);
    pulse_->setDuration(1600);
    pulse_->setLoopCount(6);
    QObject::connect(pulse_.get(), &QVariantAnimation::valueChanged, pulse_.get(),
                     [this](const QVariant& value) { drawIcon(value.toDouble()); });
    pulse_->start();
}

void QtAppShell::showWindow(const QString& name, const QString& argument) {
    QPointer<QWidget>& window = windows_[name];
    if (!window) {
        ShellWindow* made = makeShellWindow(name, argument, [this, name] { windowClosed(name); });
        if (!made) {
            windows_.remove(name);
            return;
        }
        window = made;
        // Written before the first map, so the window never flashes into the task bar.
        keepOffTaskbar(made, activationPolicy() == ActivationPolicy::Accessory);
        made->placeOnFirstShow();
    }
    StateAppShell::showWindow(name, argument);
    window->show();
    window->raise();
    window->activateWindow();
}

void QtAppShell::closeWindow(const QString& name) {
    const QPointer<QWidget> window = windows_.value(name);
    if (window && window->isVisible())
        window->close(); // its close event tells the state
    else
        StateAppShell::closeWindow(name);
}

void QtAppShell::dropWindow(const QString& name) {
    StateAppShell::dropWindow(name);
    if (const QPointer<QWidget> window = windows_.take(name))
        window->deleteLater();
}

} // namespace pierline
