#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Application.h"
#include "app/Cli.h"

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("run");

} // namespace

int runRunCommand(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Runs Pierline for this home: it keeps the store open and takes the commands that change "
                       "something (apply, settings set, preset changes) from later calls. Quit with `pierline quit`, "
                       "SIGTERM or Ctrl-C."));
    if (auto exit = parse(parser, QStringLiteral("run"), kUsage, args))
        return *exit;
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("run takes no arguments"), kUsage);
    if (!requireHome())
        return kExitFailed;
    return Application(Application::standardParts()).exec();
}

} // namespace pierline::cli
