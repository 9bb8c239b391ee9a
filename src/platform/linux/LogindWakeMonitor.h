#pragma once

#include "platform/SystemWake.h"

#include <QObject>

namespace pierline {

// logind announces PrepareForSleep(true) before a suspend and PrepareForSleep(false) after the
// resume, on the system bus. The match names the service, so a later owner of the name counts.
class LogindWakeMonitor : public QObject, public WakeMonitor {
    Q_OBJECT
public:
    explicit LogindWakeMonitor(std::function<void()> woke);
    ~LogindWakeMonitor() override;

private Q_SLOTS:
    void prepareForSleep(bool sleeping);

private:
    std::function<void()> woke_;
    bool connected_ = false;
};

} // namespace pierline
