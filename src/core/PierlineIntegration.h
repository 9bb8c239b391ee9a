#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <mutex>
#include <optional>

namespace pierline {

struct HarborletItem {
    QString name;
    QString kind;
    std::optional<QString> iconSymbolName;
    QString path;
    QString bundleID;
};

struct HarborletInfo {
    QString id;
    QString name;
    QList<HarborletItem> items;
};

struct ConnectionStatus {
    QString displayText;
    QString color; // a colour name for the settings view
};

// The bridge to the companion app Harborlet. The companion listens on a local socket under the
// per-user runtime folder; commands are one JSON object per line.
class PierlineIntegration {
public:
    static PierlineIntegration& shared();
    static bool isHarborletInstalled(); // Harborlet.app in the applications folder

    QList<HarborletInfo> availableDocks() const;
    ConnectionStatus connectionStatus() const;
    bool hasPreviouslyConnected() const;
    void loadAvailableDocks();
    void startPeriodicRefresh();
    void stopPeriodicRefresh();
    bool isPeriodicRefreshRunning() const;

    // Fire and forget: a companion that is not running gets nothing.
    void showDock(const QString& id);
    void hideDock(const QString& id);

    // The companion's socket path.
    static QString socketPath();

private:
    PierlineIntegration() = default;
    bool send(const QByteArray& line, QByteArray* reply = nullptr) const;

    mutable std::mutex mutex_;
    QList<HarborletInfo> docks_;
    bool connectedOnce_ = false;
    bool refreshing_ = false;
    quint64 refreshTimer_ = 0;
};

} // namespace pierline
