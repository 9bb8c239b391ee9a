#pragma once

#include "platform/LoginItem.h"

#include <QStringList>
#include <mutex>

namespace pierline::test {

// A login item with a settable status and scripted failures; records every call and installs
// itself for its lifetime.
class FakeLoginItem : public LoginItem {
public:
    FakeLoginItem() { LoginItem::setShared(this); }
    ~FakeLoginItem() override { LoginItem::setShared(nullptr); }

    Status status() const override {
        std::lock_guard lock(mutex_);
        calls_.append(QStringLiteral("status"));
        return status_;
    }
    std::optional<LoginItemError> registerItem() override {
        std::lock_guard lock(mutex_);
        calls_.append(QStringLiteral("register"));
        if (!registerError_)
            status_ = Status::Enabled;
        return registerError_;
    }
    std::optional<LoginItemError> unregisterItem() override {
        std::lock_guard lock(mutex_);
        calls_.append(QStringLiteral("unregister"));
        if (!unregisterError_)
            status_ = Status::NotRegistered;
        return unregisterError_;
    }
    bool registerWithLaunchServices() override {
        std::lock_guard lock(mutex_);
        calls_.append(QStringLiteral("launchServices"));
        return launchServicesSucceeds_;
    }

    void setStatus(Status status) {
        std::lock_guard lock(mutex_);
        status_ = status;
    }
    void failRegistration(LoginItemError error) {
        std::lock_guard lock(mutex_);
        registerError_ = std::move(error);
    }
    void failUnregistration(LoginItemError error) {
        std::lock_guard lock(mutex_);
        unregisterError_ = std::move(error);
    }
    void setLaunchServicesSucceeds(bool ok) {
        std::lock_guard lock(mutex_);
        launchServicesSucceeds_ = ok;
    }
    QStringList calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    mutable std::mutex mutex_;
    mutable QStringList calls_;
    Status status_ = Status::NotRegistered;
    std::optional<LoginItemError> registerError_;
    std::optional<LoginItemError> unregisterError_;
    bool launchServicesSucceeds_ = true;
};

} // namespace pierline::test
