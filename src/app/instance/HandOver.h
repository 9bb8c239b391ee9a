#pragma once

#include "app/Cli.h"

#include <QStringList>
#include <optional>

namespace pierline {

// Hands a command line to the app running on this home when its route says so. The exit code
// when the app answered (or refused it), nullopt when it is to run in the caller.
std::optional<int> handOverToRunningApp(const QStringList& args, cli::Route route);

} // namespace pierline
