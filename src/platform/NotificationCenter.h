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
    // Posts from the main thread (synchronously when already there).
    void postOnMain(const QString& name, const QVariantMap& userInfo = {});

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
