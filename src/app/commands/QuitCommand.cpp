#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "app/instance/RunningApp.h"
#include "platform/SystemPaths.h"

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("quit");

} // namespace

// Handed to the app when one runs: it answers, then quits. The caller returns once the app's
// instance lock is free (see waitForAppToQuit in Cli.cpp).
int runQuitCommand(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Quits the Pierline app running on this home."));
    if (auto exit = parse(parser, QStringLiteral("quit"), kUsage, args))
        return *exit;
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("quit takes no arguments"), kUsage);
    RunningApp* app = RunningApp::current();
    if (!app) {
        err(QStringLiteral("Pierline is not running on %1").arg(SystemPaths::home()));
        return kExitFailed;
    }
    app->requestQuit();
    return kExitOk;
}

} // namespace pierline::cli
