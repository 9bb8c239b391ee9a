#include "Commands.h"

#include "app/Cli.h"
#include "platform/DesktopKeybindings.h"
#include "targets/DockTarget.h"
#include "triggers/DesktopShortcutSync.h"

#include <QJsonObject>

namespace pierline::cli {

namespace {
const QString kUsage = QStringLiteral("target [--json] | target check [--json]");
} // namespace

int runTargetCommand(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shows the dock Pierline drives, why (the dockTarget setting or detection) and whether it can be reached.\n"
        "`target check` exits 1 with the reason when it cannot."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the answer as JSON."));
    parser.addOption(json);
    if (auto exit = parse(parser, QStringLiteral("target"), kUsage, args))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    const bool check = positional == QStringList{QStringLiteral("check")};
    if (!positional.isEmpty() && !check) {
        // The first word that is not the one subcommand.
        const qsizetype wrong = positional.first() == QLatin1String("check") ? 1 : 0;
        err(QStringLiteral("Unexpected argument: %1").arg(positional.at(wrong)));
        err(QStringLiteral("Usage: pierline %1").arg(kUsage));
        return kExitUsage;
    }
    if (!requireHome())
        return kExitFailed;

    const DockTargetChoice choice = chooseDockTarget();
    const std::unique_ptr<DockTarget> target = makeDockTarget(choice.id);
    const TargetStatus status = target->status();
    if (check) {
        QJsonObject answer{{QStringLiteral("target"), choice.id},
                           {QStringLiteral("name"), target->displayName()},
                           {QStringLiteral("reachable"), status.reachable}};
        if (isWaylandSession()) {
            answer.insert(QStringLiteral("waylandNote"), waylandTriggersNote());
            if (!parser.isSet(json))
                out(waylandTriggersNote());
            if (const auto problem = createDesktopKeybindings()->problem()) {
                answer.insert(QStringLiteral("keybindingsProblem"), *problem);
                err(QStringLiteral("The desktop's keybindings cannot be written, so shortcuts do nothing: %1")
                        .arg(*problem));
            }
        }
        if (!status.reachable)
            answer.insert(QStringLiteral("problem"), status.reason);
        if (!status.note.isEmpty())
            answer.insert(QStringLiteral("note"), status.note);
        if (parser.isSet(json))
            outJson(answer);
        if (!status.reachable) {
            err(QStringLiteral("%1 cannot be reached: %2").arg(target->displayName(), status.reason));
            return kExitFailed;
        }
        if (!parser.isSet(json)) {
            out(QStringLiteral("%1: reachable").arg(choice.id));
            if (!status.note.isEmpty())
                out(status.note);
        }
        return kExitOk;
    }
    if (parser.isSet(json)) {
        QJsonObject answer{{QStringLiteral("target"), choice.id},
                           {QStringLiteral("name"), target->displayName()},
                           {QStringLiteral("reason"), choice.reason},
                           {QStringLiteral("fromSetting"), choice.fromSetting},
                           {QStringLiteral("reachable"), status.reachable}};
        if (!status.reachable)
            answer.insert(QStringLiteral("problem"), status.reason);
        if (!status.note.isEmpty())
            answer.insert(QStringLiteral("note"), status.note);
        outJson(answer);
        return kExitOk;
    }
    out(QStringLiteral("target: %1 (%2)").arg(choice.id, target->displayName()));
    out(QStringLiteral("why: %1").arg(choice.reason));
    out(status.reachable ? QStringLiteral("reachable: yes") : QStringLiteral("reachable: no, %1").arg(status.reason));
    if (!status.note.isEmpty())
        out(QStringLiteral("state: %1").arg(status.note));
    return kExitOk;
}

} // namespace pierline::cli
