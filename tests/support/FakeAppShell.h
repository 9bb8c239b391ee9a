#pragma once

#include "platform/AppShell.h"

namespace pierline::test {

// Records what the program asks of the application shell (on the main thread); installs itself
// for its lifetime.
class FakeAppShell : public AppShell {
public:
    FakeAppShell() { AppShell::setShared(this); }
    ~FakeAppShell() override { AppShell::setShared(nullptr); }

    void setActivationPolicy(ActivationPolicy policy) override {
        policy_ = policy;
        ++changes;
    }
    ActivationPolicy activationPolicy() const override { return policy_; }
    void setStatusItemVisible(bool visible) override {
        visible_ = visible;
        ++changes;
    }
    bool isStatusItemVisible() const override { return visible_; }
    void refreshMenuBarIcon() override { ++refreshes; }

    int changes = 0; // of the policy or the status item
    int refreshes = 0;

private:
    ActivationPolicy policy_ = ActivationPolicy::Prohibited; // "never set"
    bool visible_ = false;
};

} // namespace pierline::test
