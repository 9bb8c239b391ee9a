#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "app/instance/RunningApp.h"
#include "platform/InstanceChannel.h"
#include "platform/SystemPaths.h"

#include <QJsonObject>

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("status [--json]");

} // namespace

// Inside the app (a caller's `status` is handed to it) the app describes itself; a call that
// found no app answers for the home as it stands.
int runStatusCommand(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Says whether Pierline is running on this home."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the status as JSON."));
    parser.addOption(json);
    if (auto exit = parse(parser, QStringLiteral("status"), kUsage, args))
        return *exit;
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("status takes no arguments"), kUsage);

    QJsonObject status{{QStringLiteral("running"), false}, {QStringLiteral("home"), SystemPaths::home()}};
    if (const RunningApp* app = RunningApp::current()) {
        status.insert(QStringLiteral("running"), true);
        status.insert(QStringLiteral("pid"), app->pid());
        status.insert(QStringLiteral("socket"), app->socketPath());
        status.insert(QStringLiteral("uptimeSeconds"), app->uptimeSeconds());
    } else if (const auto problem = instanceBaseProblem()) {
        status.insert(QStringLiteral("problem"), QStringLiteral("Pierline cannot start here: %1").arg(*problem));
    }
    if (parser.isSet(json)) {
        outJson(status);
        return kExitOk;
    }
    if (!status.value(QStringLiteral("running")).toBool()) {
        out(QStringLiteral("Pierline is not running on %1").arg(SystemPaths::home()));
        if (status.contains(QStringLiteral("problem")))
            out(status.value(QStringLiteral("problem")).toString());
        return kExitOk;
    }
    out(QStringLiteral("Pierline is running on %1").arg(status.value(QStringLiteral("home")).toString()));
    out(QStringLiteral("pid: %1").arg(status.value(QStringLiteral("pid")).toInteger()));
    out(QStringLiteral("socket: %1").arg(status.value(QStringLiteral("socket")).toString()));
    out(QStringLiteral("uptime: %1 s").arg(status.value(QStringLiteral("uptimeSeconds")).toInteger()));
    return kExitOk;
}

} // namespace pierline::cli
