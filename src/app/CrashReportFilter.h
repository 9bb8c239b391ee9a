#pragma once

#include <QJsonObject>
#include <QString>

namespace pierline {

// What the before-send filter makes of a crash reporter's event: known hangs of the desktop's
// own code are dropped, everything else is sent.
struct CrashReportVerdict {
    bool send = true;
    QString signature; // the matched signature's name when dropped
    QString logLine;   // its log line (printed when dropped); empty for signatures without one
};

// Events whose first exception is of type "App Hanging" are tested frame by frame against the
// known hang signatures, in order; the first signature any frame matches drops the event.
CrashReportVerdict crashReportHangFilter(const QJsonObject& event);

} // namespace pierline
