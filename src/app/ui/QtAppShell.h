#pragma once

#include "platform/StateAppShell.h"

#include <QHash>
#include <QPointer>
#include <memory>

class QMenu;
class QSystemTrayIcon;
class QVariantAnimation;
class QWidget;

namespace pierline {

// The shell of the app with widgets: the status item is a QSystemTrayIcon (a StatusNotifierItem
// when a watcher is on the session bus as it is made, else an XEmbed icon, else only state), and
// the windows are the program's own. Needs a QApplication.
class QtAppShell : public StateAppShell {
public:
    QtAppShell();
    ~QtAppShell() override;

    void setActivationPolicy(ActivationPolicy policy) override;
    void activate() override;

    void createStatusItem(const QString& image, const QString& accessibilityDescription) override;
    void removeStatusItem() override;
    void setStatusItemImage(const QString& image, const QString& accessibilityDescription, bool tinted) override;
    void setStatusItemMenu(const Menu& menu) override;
    void setStatusItemAnimation(const QString& key) override;

    void showWindow(const QString& name, const QString& argument = {}) override;
    void closeWindow(const QString& name) override;
    void dropWindow(const QString& name) override;

    // Who would draw a status item made now.
    static QString currentHost();

private:
    void drawIcon(double opacity);
    void keepOffTaskbar(QWidget* window, bool skip);

    std::unique_ptr<QSystemTrayIcon> tray_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QVariantAnimation> pulse_;
    Menu entries_; // the actions of the shown menu
    bool warnedNoHost_ = false;
    QHash<QString, QPointer<QWidget>> windows_;
};

} // namespace pierline
