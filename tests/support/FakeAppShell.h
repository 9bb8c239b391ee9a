#pragma once

#include "platform/AppShell.h"

#include <mutex>

namespace pierline::test {

// Records what the program asks of the application shell; installs itself for its lifetime.
class FakeAppShell : public AppShell {
public:
    FakeAppShell() { AppShell::setShared(this); }
    ~FakeAppShell() override { AppShell::setShared(nullptr); }

    void setActivationPolicy(ActivationPolicy policy) override {
        std::lock_guard lock(mutex_);
        policy_ = policy;
        ++policyChanges_;
    }
    ActivationPolicy activationPolicy() const override {
        std::lock_guard lock(mutex_);
        return policy_;
    }
    void setStatusItemVisible(bool visible) override {
        std::lock_guard lock(mutex_);
        visible_ = visible;
        ++visibilityChanges_;
    }
    bool isStatusItemVisible() const override {
        std::lock_guard lock(mutex_);
        return visible_;
    }
    void refreshMenuBarIcon() override {
        std::lock_guard lock(mutex_);
        ++refreshes_;
    }

    int policyChanges() const {
        std::lock_guard lock(mutex_);
        return policyChanges_;
    }
    int visibilityChanges() const {
        std::lock_guard lock(mutex_);
        return visibilityChanges_;
    }
    int refreshes() const {
        std::lock_guard lock(mutex_);
        return refreshes_;
    }

private:
    mutable std::mutex mutex_;
    ActivationPolicy policy_ = ActivationPolicy::Prohibited; // "never set"
    bool visible_ = false;
    int policyChanges_ = 0;
    int visibilityChanges_ = 0;
    int refreshes_ = 0;
};

} // namespace pierline::test
