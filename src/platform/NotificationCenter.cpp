#include "NotificationCenter.h"

#include "Dispatch.h"

namespace pierline {

NotificationCenter& NotificationCenter::shared() {
    // Never destroyed: process-wide objects that are torn down at exit still remove their
    // observers, whatever order the statics go in.
    static NotificationCenter* const center = new NotificationCenter;
    return *center;
}

ObserverToken NotificationCenter::addObserver(const QString& name, Delivery delivery,
                                              std::function<void(const Notification&)> handler) {
    std::lock_guard lock(mutex_);
    const ObserverToken token = next_++;
    observers_.push_back({token, name, delivery, std::move(handler)});
    return token;
}

void NotificationCenter::removeObserver(ObserverToken token) {
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [token](const Observer& o) { return o.token == token; });
}

void NotificationCenter::post(const QString& name, const QVariantMap& userInfo) {
    std::vector<Observer> matching;
    {
        std::lock_guard lock(mutex_);
        for (const Observer& o : observers_)
            if (o.name == name)
                matching.push_back(o);
    }
    const Notification note{name, userInfo};
    for (const Observer& o : matching) {
        if (o.delivery == Delivery::PosterThread) {
            o.handler(note);
        } else {
            auto handler = o.handler;
            runOnMainAsync([handler, note] { handler(note); });
        }
    }
}

void NotificationCenter::postOnMainQueue(const QString& name, const QVariantMap& userInfo) {
    runOnMainAsync([this, name, userInfo] { post(name, userInfo); });
}

} // namespace pierline
