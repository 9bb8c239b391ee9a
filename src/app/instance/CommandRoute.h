#pragma once

#include <QStringList>

namespace pierline {

// Where a command line runs while an app may be running on the home. Changes go to the app, so
// its cooldown, last-applied record and settings effects stay true; reading runs in-process.
enum class CommandRoute {
    InProcess,          // reading commands, help, `run`
    HandOver,           // `apply`, `settings set`, store changes, `status`, `quit`
    RefusedWhileRunning // `sandbox init` would replace the app's home under it
};

// `arguments` without the program name; leading global options (-v) are skipped.
CommandRoute routeFor(const QStringList& arguments);

} // namespace pierline
