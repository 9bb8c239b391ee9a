#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace pierline {

// One local notification, shown at once.
struct UserNotificationRequest {
    QString identifier; // unique per notification; names it in the logs
    QString title;
    QString body;
    bool playSound = true; // the desktop's default sound
};

// Local user notifications (the desktop's notification service). Calls and replies happen on
// the main thread; a reply arrives later, from the main queue, never inside the call.
class UserNotifications {
public:
    // `error` empty: the answer is `granted`. Otherwise the service could not be asked and
    // `error` says why.
    using AuthorizationReply = std::function<void(bool granted, const QString& error)>;
    // `error` empty: delivered.
    using DeliveryReply = std::function<void(const QString& error)>;

    virtual ~UserNotifications() = default;
    virtual void requestAuthorization(AuthorizationReply reply) = 0;
    virtual void add(const UserNotificationRequest& request, DeliveryReply reply) = 0;

    static UserNotifications& shared();
    static void setShared(UserNotifications* notifications); // nullptr restores the platform's
};

// The platform's service (the freedesktop notification service on the session bus on Linux).
std::unique_ptr<UserNotifications> createUserNotifications();

} // namespace pierline
