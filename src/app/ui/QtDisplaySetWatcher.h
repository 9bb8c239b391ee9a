#pragma once

#include "platform/ContextWatchers.h"

#include <QMetaObject>

namespace pierline {

// The connected outputs as Qt's screens name them, followed through the screens' added and
// removed signals. Needs the GUI application.
class QtDisplaySetWatcher : public DisplaySetWatcher {
public:
    ~QtDisplaySetWatcher() override;
    std::optional<QString> start(std::function<void()> changed) override;
    std::optional<QStringList> current() const override { return current_; }

private:
    void read();

    std::function<void()> changed_;
    std::optional<QStringList> current_;
    QList<QMetaObject::Connection> connections_;
};

} // namespace pierline
