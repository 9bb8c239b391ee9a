#pragma once

#include "platform/StateAppShell.h"

#include <QStringList>

namespace pierline::test {

// Records what the program asks of the application shell (on the main thread); installs itself
// for its lifetime, and takes the settings' status item requests until a menu-bar manager does.
class FakeAppShell : public StateAppShell, public StatusItemPresenter {
public:
    FakeAppShell() : StateAppShell(ActivationPolicy::Prohibited) { // "never set"
        AppShell::setShared(this);
        AppShell::setStatusItemPresenter(this);
    }
    ~FakeAppShell() override {
        AppShell::setStatusItemPresenter(nullptr);
        AppShell::setShared(nullptr);
    }

    void setActivationPolicy(ActivationPolicy policy) override {
        StateAppShell::setActivationPolicy(policy);
        ++changes;
    }
    void activate() override { ++activations; }
    void setHostForTesting(const QString& host) { setHost(host); }
    void showWindow(const QString& name, const QString& argument = {}) override {
        shownWindows.append(argument.isEmpty() ? name : name + QLatin1Char(' ') + argument);
        StateAppShell::showWindow(name, argument);
    }

    // StatusItemPresenter: the settings' requests without a menu-bar manager.
    void showStatusItem() override {
        createStatusItem(QStringLiteral("dock.rectangle"), QStringLiteral("Pierline"));
        ++changes;
    }
    void hideStatusItem() override {
        removeStatusItem();
        ++changes;
    }
    void refreshStatusItemAppearance() override { ++refreshes; }

    int changes = 0; // of the policy or the status item, through the settings
    int refreshes = 0;
    int activations = 0;
    QStringList shownWindows; // every showWindow, with its argument
};

} // namespace pierline::test
