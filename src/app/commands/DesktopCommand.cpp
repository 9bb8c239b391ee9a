#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "platform/DesktopIntegration.h"

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("desktop install | desktop uninstall");

} // namespace

int runDesktopCommand(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("install: makes this program the desktop's handler of pierline:// links and the session bus's "
                       "com.corvane.pierline, for this home. uninstall: removes what install wrote."));
    parser.addPositionalArgument(QStringLiteral("install|uninstall"), QStringLiteral("What to do."));
    if (auto exit = parse(parser, QStringLiteral("desktop"), kUsage, args))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    const QString action = positional.value(0);
    if (positional.size() != 1 || (action != QLatin1String("install") && action != QLatin1String("uninstall")))
        return usageError(QStringLiteral("Expected install or uninstall"), kUsage);
    const bool install = action == QLatin1String("install");
    const DesktopIntegrationResult result = install ? installDesktopIntegration() : uninstallDesktopIntegration();
    for (const QString& path : result.changed)
        out((install ? QStringLiteral("Wrote %1") : QStringLiteral("Removed %1")).arg(path));
    if (result.error) {
        err(*result.error);
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace pierline::cli
