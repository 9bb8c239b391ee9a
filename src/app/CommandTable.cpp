#include "Cli.h"
#include "commands/Commands.h"

namespace pierline::cli {

const QList<Command>& commands() {
    static const QList<Command> table = {
        {QStringLiteral("sandbox"), QStringLiteral("Make the sample environment (sandbox init)."), runSandboxCommand},
        {QStringLiteral("dock"), QStringLiteral("Show the current Dock."), runDockCommand},
        {QStringLiteral("settings"), QStringLiteral("Show or change the settings."), runSettingsCommand},
    };
    return table;
}

} // namespace pierline::cli
