#include "app/Cli.h"
#include "app/Sandbox.h"
#include "app/commands/Commands.h"

#include "platform/SystemPaths.h"

#include <QDir>
#include <QFileInfo>

namespace pierline::cli {
namespace {

const QString kSandboxUsage = QStringLiteral("sandbox init [--force] [DIR]");

int runInit(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Builds the sample environment: app bundles, folders and a Dock to switch."));
    const QCommandLineOption force(QStringLiteral("force"),
                                   QStringLiteral("Replace the contents of a folder that is not empty."));
    parser.addOption(force);
    parser.addPositionalArgument(QStringLiteral("DIR"),
                                 QStringLiteral("Where to build it (default: %1).").arg(SystemPaths::home()));
    if (const auto exit = parse(parser, QStringLiteral("sandbox init"), kSandboxUsage, args))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        err(QStringLiteral("Too many arguments."));
        err(QStringLiteral("Usage: pierline %1").arg(kSandboxUsage));
        return kExitUsage;
    }
    const QString root = positional.isEmpty() ? SystemPaths::home() : positional.first();

    const SandboxReport report = Sandbox::init(root, parser.isSet(force));
    if (!report.ok) {
        err(report.error);
        return kExitFailed;
    }
    QStringList names;
    for (const SandboxApp& app : Sandbox::sampleApps())
        names.append(app.name);
    out(QStringLiteral("Sandbox ready in %1").arg(report.root));
    out(QStringLiteral("  Applications: %1").arg(names.join(QStringLiteral(", "))));
    out(QStringLiteral("  Dock: %1 tiles in persistent-apps, %2 in persistent-others")
            .arg(report.dockApps)
            .arg(report.dockOthers));
    out(QStringLiteral("  dockutil: %1 -> %2").arg(report.dockutilLink, report.dockutilTarget));
    if (!report.dockutilTargetExists)
        err(QStringLiteral("Warning: %1 is missing; build the pierline_tools target.").arg(report.dockutilTarget));
    if (QDir::cleanPath(report.root) != SystemPaths::home())
        out(QStringLiteral("Use it with: export PIERLINE_HOME=%1").arg(report.root));
    return kExitOk;
}

} // namespace

int runSandboxCommand(const QStringList& args) {
    const QString usage = QStringLiteral("sandbox <command>");
    if (args.isEmpty() || args.first().startsWith(QLatin1Char('-'))) {
        QCommandLineParser parser;
        parser.setApplicationDescription(
            QStringLiteral("Commands:\n  init [--force] [DIR]  build the sample environment"));
        if (const auto exit = parse(parser, QStringLiteral("sandbox"), usage, args))
            return *exit;
        err(QStringLiteral("Usage: pierline %1").arg(kSandboxUsage));
        return kExitUsage;
    }
    const QString sub = args.first();
    if (sub == QLatin1String("init"))
        return runInit(args.mid(1));
    err(QStringLiteral("Unknown sandbox command: %1").arg(sub));
    err(QStringLiteral("Usage: pierline %1").arg(kSandboxUsage));
    return kExitUsage;
}

} // namespace pierline::cli
