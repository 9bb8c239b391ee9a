#pragma once

#include "AppShell.h"

#include <QHash>
#include <mutex>

namespace pierline {

// An application shell that keeps what it is asked for: the policy, the status item and its
// menu, the windows by name. The headless app uses it as it is; the widget shell and the test
// fake build on it.
class StateAppShell : public AppShell {
public:
    void setActivationPolicy(ActivationPolicy policy) override;
    ActivationPolicy activationPolicy() const override;
    void activate() override {}

    void createStatusItem(const QString& image, const QString& accessibilityDescription) override;
    void removeStatusItem() override;
    void setStatusItemImage(const QString& image, const QString& accessibilityDescription, bool tinted) override;
    void setStatusItemMenu(const Menu& menu) override;
    void setStatusItemAutosaveName(const QString& name) override;
    void setStatusItemAnimation(const QString& key) override;
    StatusItemState statusItem() const override;
    Menu statusMenu() const override;

    bool hasWindow(const QString& name) const override;
    bool isWindowVisible(const QString& name) const override;
    void showWindow(const QString& name, const QString& argument = {}) override;
    void closeWindow(const QString& name) override;
    void dropWindow(const QString& name) override;
    QList<WindowState> windows() const override;

protected:
    explicit StateAppShell(ActivationPolicy initial = ActivationPolicy::Regular) : policy_(initial) {}
    void setHost(const QString& host);
    // A window closed (by the user or closeWindow): the close handler hears it, then it is hidden.
    void windowClosed(const QString& name);

    mutable std::mutex mutex_;

private:
    ActivationPolicy policy_;
    StatusItemState item_;
    QString accessibilityDescription_;
    Menu menu_;
    QList<WindowState> windows_; // in the order they were first made
};

} // namespace pierline
