#pragma once

#include "platform/LoginItem.h"

#include <QStringList>

namespace pierline::test {

// A login item with a settable status and scripted failures; records every call (all on the main
// thread) and installs itself for its lifetime.
class FakeLoginItem : public LoginItem {
public:
    FakeLoginItem() { LoginItem::setShared(this); }
    ~FakeLoginItem() override { LoginItem::setShared(nullptr); }

    Status status() const override {
        calls.append("status");
        return status_;
    }
    std::optional<LoginItemError> registerItem() override {
        calls.append("register");
        if (!registerError)
            status_ = Status::Enabled;
        return registerError;
    }
    std::optional<LoginItemError> unregisterItem() override {
        calls.append("unregister");
        if (!unregisterError)
            status_ = Status::NotRegistered;
        return unregisterError;
    }
    bool registerWithLaunchServices() override {
        calls.append("launchServices");
        return launchServicesSucceeds;
    }
    void setStatus(Status status) { status_ = status; }

    mutable QStringList calls;
    std::optional<LoginItemError> registerError;
    std::optional<LoginItemError> unregisterError;
    bool launchServicesSucceeds = true;

private:
    Status status_ = Status::NotRegistered;
};

} // namespace pierline::test
