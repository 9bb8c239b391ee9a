#pragma once

#include <QStringList>

// One function per subcommand; each lives in its own file beside this one.
namespace pierline::cli {

int runSandboxCommand(const QStringList& args);
int runDockCommand(const QStringList& args);
int runSettingsCommand(const QStringList& args);

} // namespace pierline::cli
