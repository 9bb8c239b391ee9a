#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "app/MenuBarManager.h"
#include "app/instance/RunningApp.h"
#include "core/SettingDescriptors.h"
#include "platform/AlertPresenter.h"
#include "platform/AppShell.h"
#include "platform/InstanceChannel.h"
#include "platform/SystemPaths.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("status [--json]");

QString policyName(ActivationPolicy policy) {
    switch (policy) {
    case ActivationPolicy::Regular:
        return QStringLiteral("regular");
    case ActivationPolicy::Accessory:
        return QStringLiteral("accessory");
    case ActivationPolicy::Prohibited:
        break;
    }
    return QStringLiteral("prohibited");
}

// The app's presence: read off the main thread, from state the shell keeps under its lock.
void addShellState(QJsonObject& status) {
    const AppShell& shell = AppShell::shared();
    const StatusItemState item = shell.statusItem();
    status.insert(QStringLiteral("appMode"), readStringSetting(Setting::AppMode));
    status.insert(QStringLiteral("activationPolicy"), policyName(shell.activationPolicy()));
    status.insert(QStringLiteral("statusItem"), QJsonObject{{QStringLiteral("visible"), item.visible},
                                                            {QStringLiteral("host"), item.host},
                                                            {QStringLiteral("image"), item.image},
                                                            {QStringLiteral("autosaveName"), item.autosaveName}});
    const MenuBarManager* menuBar = MenuBarManager::current();
    status.insert(QStringLiteral("scopeIndicator"),
                  QJsonObject{{QStringLiteral("visible"), menuBar && menuBar->isScopeIndicatorVisible()},
                              {QStringLiteral("animation"), item.animation}});
    QJsonArray windows;
    for (const WindowState& window : shell.windows())
        windows.append(QJsonObject{{QStringLiteral("name"), window.name},
                                   {QStringLiteral("title"), window.title},
                                   {QStringLiteral("visible"), window.visible}});
    for (const QString& box : AlertPresenter::shared().openBoxes())
        windows.append(QJsonObject{{QStringLiteral("name"), QStringLiteral("alert")},
                                   {QStringLiteral("title"), box},
                                   {QStringLiteral("visible"), true}});
    status.insert(QStringLiteral("windows"), windows);
}

QJsonObject statusOf(const RunningApp* app) {
    QJsonObject status{{QStringLiteral("running"), false}, {QStringLiteral("home"), SystemPaths::home()}};
    if (app) {
        status.insert(QStringLiteral("running"), true);
        status.insert(QStringLiteral("home"), app->home());
        status.insert(QStringLiteral("pid"), app->pid());
        status.insert(QStringLiteral("socket"), app->socketPath());
        status.insert(QStringLiteral("uptimeSeconds"), app->uptimeSeconds());
        addShellState(status);
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
    const QJsonObject item = status.value(QStringLiteral("statusItem")).toObject();
    QStringList windows;
    for (const QJsonValue& value : status.value(QStringLiteral("windows")).toArray()) {
        const QJsonObject window = value.toObject();
        windows.append(
            QStringLiteral("%1 \"%2\"%3")
                .arg(window.value(QStringLiteral("name")).toString(), window.value(QStringLiteral("title")).toString(),
                     window.value(QStringLiteral("visible")).toBool() ? QString() : QStringLiteral(" (hidden)")));
    }
    return QStringLiteral("Pierline is running on %1\npid: %2\nsocket: %3\nuptime: %4 s\napp mode: %5 (%6)\n"
                          "status item: %7\nwindows: %8\n")
        .arg(home)
        .arg(status.value(QStringLiteral("pid")).toInteger())
        .arg(status.value(QStringLiteral("socket")).toString())
        .arg(status.value(QStringLiteral("uptimeSeconds")).toInteger())
        .arg(status.value(QStringLiteral("appMode")).toString(),
             status.value(QStringLiteral("activationPolicy")).toString())
        .arg(item.value(QStringLiteral("visible")).toBool() ? QStringLiteral("%1, host %2")
                                                                  .arg(item.value(QStringLiteral("image")).toString(),
                                                                       item.value(QStringLiteral("host")).toString())
                                                            : QStringLiteral("none"))
        .arg(windows.isEmpty() ? QStringLiteral("none") : windows.join(QStringLiteral(", ")))
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
    const RunningApp* app = RunningApp::current();
    outRaw(statusText(statusOf(app), parser.isSet(json)));
    // Scripts wait on the exit code.
    return app ? kExitOk : kExitFailed;
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
