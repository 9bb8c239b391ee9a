#pragma once

#include "platform/DesktopApps.h"

namespace pierline {

// What the Linux desktop apps look at: the process tree, whose view of it is "us", and whether
// the X display is asked which windows belong to which process.
struct ProcessScope {
    QString procRoot = QStringLiteral("/proc");
    qint64 selfPid = 0;     // 0: this process
    qint64 uid = -1;        // -1: our real user
    bool askDisplay = true; // only when DISPLAY is set
    QStringList searchPath; // empty: PATH
};

std::unique_ptr<DesktopApps> createLinuxDesktopApps(ProcessScope scope);

} // namespace pierline
