#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "app/instance/RunningApp.h"
#include "platform/InstanceChannel.h"
#include "platform/SystemPaths.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("status [--json]");

QJsonObject statusOf(const RunningApp* app) {
    QJsonObject status{{QStringLiteral("running"), false}, {QStringLiteral("home"), SystemPaths::home()}};
    if (app) {
        status.insert(QStringLiteral("running"), true);
        status.insert(QStringLiteral("home"), app->home());
        status.insert(QStringLiteral("pid"), app->pid());
        status.insert(QStringLiteral("socket"), app->socketPath());
        status.insert(QStringLiteral("uptimeSeconds"), app->uptimeSeconds());
    } else if (const auto problem = instanceBaseProblem()) {
        status.insert(QStringLiteral("problem"), QStringLiteral("Pierline cannot start here: %1").arg(*problem));
    }
    return status;
}

QByteArray statusText(const QJsonObject& status, bool json) {
    if (json)
        return QJsonDocument(status).toJson(QJsonDocument::Indented);
    const QString home = status.value(QStringLiteral("home")).toString();
    if (!status.value(QStringLiteral("running")).toBool()) {
        QString text = QStringLiteral("Pierline is not running on %1\n").arg(home);
        if (status.contains(QStringLiteral("problem")))
            text += status.value(QStringLiteral("problem")).toString() + QLatin1Char('\n');
        return text.toUtf8();
    }
    return QStringLiteral("Pierline is running on %1\npid: %2\nsocket: %3\nuptime: %4 s\n")
        .arg(home)
        .arg(status.value(QStringLiteral("pid")).toInteger())
        .arg(status.value(QStringLiteral("socket")).toString())
        .arg(status.value(QStringLiteral("uptimeSeconds")).toInteger())
        .toUtf8();
}

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
    outRaw(statusText(statusOf(RunningApp::current()), parser.isSet(json)));
    return kExitOk;
}

std::optional<CommandReply> quickStatusReply(const CommandRequest& request) {
    QStringList args = request.arguments;
    args.removeAll(QStringLiteral("-v"));
    args.removeAll(QStringLiteral("--verbose"));
    const bool plain = args == QStringList{QStringLiteral("status")};
    const bool json = args == QStringList{QStringLiteral("status"), QStringLiteral("--json")};
    const RunningApp* app = RunningApp::current();
    // Anything else (help, a usage error) goes the ordinary way.
    if ((!plain && !json) || !app || !app->ready())
        return std::nullopt;
    return CommandReply{kExitOk, statusText(statusOf(app), json), {}};
}

} // namespace pierline::cli
