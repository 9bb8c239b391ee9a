#include "platform/linux/DesktopBackend.h"

#include <QMetaObject>
#include <QNetworkInformation>
#include <QPointer>

namespace pierline {
namespace {

// Reachability from Qt's network information backend (NetworkManager or GLib), when one loads.
class QtNetworkPathMonitor : public NetworkPathMonitor {
public:
    ~QtNetworkPathMonitor() override { cancel(); }

    bool start(std::function<void(const Path&)> onUpdate) override {
        cancel();
        if (!QNetworkInformation::instance() && !QNetworkInformation::loadDefaultBackend())
            return false;
        QNetworkInformation* info = QNetworkInformation::instance();
        if (!info || !info->supports(QNetworkInformation::Feature::Reachability))
            return false;
        connection_ = QObject::connect(info, &QNetworkInformation::reachabilityChanged, info,
                                       [onUpdate = std::move(onUpdate)](QNetworkInformation::Reachability r) {
                                           onUpdate(Path{r == QNetworkInformation::Reachability::Online ||
                                                         r == QNetworkInformation::Reachability::Site ||
                                                         r == QNetworkInformation::Reachability::Local});
                                       });
        return true;
    }

    void cancel() override {
        if (connection_)
            QObject::disconnect(connection_);
        connection_ = {};
    }

private:
    QMetaObject::Connection connection_;
};

} // namespace

std::unique_ptr<NetworkPathMonitor> desktop::createNetworkPathMonitor() {
    return std::make_unique<QtNetworkPathMonitor>();
}

} // namespace pierline
