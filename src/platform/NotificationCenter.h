#pragma once

#include <QString>
#include <QVariantMap>
#include <functional>
#include <mutex>
#include <vector>

namespace pierline {

struct Notification {
    QString name;
    QVariantMap userInfo;
};

enum class Delivery { PosterThread, MainQueue };

using ObserverToken = quint64;

// One in-process notification centre; names and user-info keys are the program's own.
class NotificationCenter {
public:
    static NotificationCenter& shared();

    ObserverToken addObserver(const QString& name, Delivery delivery, std::function<void(const Notification&)> handler);
    void removeObserver(ObserverToken token);
    void post(const QString& name, const QVariantMap& userInfo = {});
    // Posts asynchronously on the main queue, also when called on the main thread: observers run
    // after the poster's current work, as with a main-queue dispatch.
    void postOnMainQueue(const QString& name, const QVariantMap& userInfo = {});

private:
    struct Observer {
        ObserverToken token;
        QString name;
        Delivery delivery;
        std::function<void(const Notification&)> handler;
    };
    std::mutex mutex_;
    std::vector<Observer> observers_;
    ObserverToken next_ = 1;
};

} // namespace pierline
