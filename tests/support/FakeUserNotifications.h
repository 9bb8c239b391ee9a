#pragma once

#include "platform/Dispatch.h"
#include "platform/UserNotifications.h"

#include <vector>

namespace pierline::test {

// A notification service that keeps what it was given. Replies come from the main queue, as the
// real service's do; `authorizationError` and `deliveryError` make the service fail.
class FakeUserNotifications : public UserNotifications {
public:
    FakeUserNotifications() { UserNotifications::setShared(this); }
    ~FakeUserNotifications() override { UserNotifications::setShared(nullptr); }

    void requestAuthorization(AuthorizationReply reply) override {
        ++authorizationRequests;
        runOnMainAsync([reply, granted = granted, error = authorizationError] { reply(granted, error); });
    }
    void add(const UserNotificationRequest& request, DeliveryReply reply) override {
        delivered.push_back(request);
        runOnMainAsync([reply, error = deliveryError] { reply(error); });
    }

    bool granted = true;
    QString authorizationError;
    QString deliveryError;
    int authorizationRequests = 0;
    std::vector<UserNotificationRequest> delivered;
};

} // namespace pierline::test
