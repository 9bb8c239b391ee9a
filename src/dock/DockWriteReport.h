#pragma once

#include <QString>

namespace pierline {

// What a Dock write did. Only the commands that change the Dock's lists count; the restart is
// left out, so a broken dockutil is not hidden behind a restart that worked.
struct DockWriteReport {
    bool written = false; // false: stopped before any command ran, the Dock untouched
    int commands = 0;
    int failed = 0; // exited non-zero, timed out or could not be started

    explicit operator bool() const { return written; }
    bool noneSucceeded() const { return commands > 0 && failed == commands; }
    // "N of M Dock commands failed; details in the log (PATH)"
    QString failureLine(const QString& logLocation) const {
        return QStringLiteral("%1 of %2 Dock commands failed; details in the log (%3)")
            .arg(failed)
            .arg(commands)
            .arg(logLocation);
    }
};

} // namespace pierline
