#include "ApplyWait.h"
#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "store/DockPresetManager.h"
#include "triggers/Intents.h"

#include <QJsonArray>
#include <QJsonObject>

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("intent list [--json] | intent describe | intent run [ID] [--name NAME] | "
                                      "intent continue TYPE [KEY=VALUE]...");

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString quotedList(const QStringList& texts) {
    QStringList out;
    for (const QString& text : texts)
        out << quoted(text);
    return out.join(QStringLiteral(", "));
}

int listIntents(bool json) {
    if (!requireHome() || !openPresetManager())
        return kExitFailed;
    QList<PresetEntity> entities;
    try {
        entities = ListPresetsIntent::perform();
    } catch (const std::exception& error) {
        err(QStringLiteral("Could not read the presets: %1").arg(QString::fromUtf8(error.what())));
        return kExitFailed;
    }
    if (json) {
        QJsonArray answer;
        for (const PresetEntity& entity : entities)
            answer.append(QJsonObject{{QStringLiteral("idString"), entity.id}, {QStringLiteral("name"), entity.name}});
        outJson(answer);
    } else {
        for (const PresetEntity& entity : entities)
            out(QStringLiteral("%1  %2").arg(entity.id, entity.displayName()));
    }
    return kExitOk;
}

int describeIntents() {
    out(QStringLiteral("Entity %1: shows its name, or \"Unnamed Preset\"").arg(quoted(PresetEntity::kTypeDisplayName)));
    const IntentDescription list = ListPresetsIntent::description();
    out(QStringLiteral("Intent %1: %2").arg(quoted(list.title), quoted(list.description)));
    out(QStringLiteral("Intent %1: preset, %2")
            .arg(quoted(RunPresetIntent::description().title), quoted(RunPresetIntent::kParameterDescription)));
    for (const AppShortcut& shortcut : PierlineAppIntentProvider::suggestedIntents()) {
        out(QStringLiteral("App Shortcut %1 (%2, symbol %3): %4")
                .arg(quoted(shortcut.shortTitle), shortcut.intent,
                     shortcut.systemImageName.isEmpty() ? QStringLiteral("default") : shortcut.systemImageName,
                     quotedList(shortcut.phrases)));
    }
    out(QStringLiteral("Focus filter %1: %2, %3")
            .arg(quoted(PierlineFocusFilter::kTitle), quoted(PierlineFocusFilter::kParameterTitle),
                 quoted(PierlineFocusFilter::kParameterDescription)));
    out(QStringLiteral("  shows %1 (%2 without a preset), %3")
            .arg(quoted(QStringLiteral("Apply '{name}'")), quoted(PierlineFocusFilter{}.displayTitle()),
                 quoted(PierlineFocusFilter::kSubtitle)));
    for (const IntentActivity::Activity& activity :
         {IntentActivity::listPresetsActivity(), IntentActivity::runPresetActivity()}) {
        out(QStringLiteral("User activity %1: %2 (action=%3)")
                .arg(activity.type, quoted(activity.title),
                     activity.userInfo.value(QStringLiteral("action")).toString()));
    }
    out(QStringLiteral("User activity %1: continued like %2")
            .arg(IntentActivity::kRunSpecificType, IntentActivity::kRunType));
    return kExitOk;
}

int runIntent(const QStringList& positional, const std::optional<QString>& name) {
    if (positional.size() > 1 || (positional.isEmpty() && !name))
        return usageError(QStringLiteral("Expected a preset ID, --name NAME or both"),
                          QStringLiteral("intent run [ID] [--name NAME]"));
    if (!requireHome() || !openPresetManager())
        return kExitFailed;
    const PresetEntity entity{positional.value(0), name.value_or(QString())};
    std::optional<QFuture<ApplyHandle>> apply;
    QString result;
    try {
        result = RunPresetIntent::perform(entity, &apply);
    } catch (const PresetNotFoundError& error) {
        err(error.description());
        return kExitFailed;
    }
    const int code = waitForApply(*apply, QLatin1Char('\'') + entity.displayName() + QLatin1Char('\''));
    if (code == kExitOk)
        out(result);
    return code;
}

int continueIntent(const QStringList& positional) {
    const QString usage = QStringLiteral("intent continue TYPE [KEY=VALUE]...");
    if (positional.isEmpty())
        return usageError(QStringLiteral("Expected an activity TYPE"), usage);
    QVariantMap userInfo;
    for (const QString& pair : positional.mid(1)) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return usageError(QStringLiteral("Expected KEY=VALUE, got %1").arg(pair), usage);
        userInfo.insert(pair.left(equals), pair.mid(equals + 1));
    }
    if (!requireHome() || !openPresetManager())
        return kExitFailed;
    const auto apply = IntentActivity::continueActivity(positional.first(), userInfo);
    if (!apply)
        return kExitOk;
    return waitForApply(*apply, QLatin1Char('\'') + userInfo.value(QStringLiteral("presetName")).toString() +
                                    QLatin1Char('\''));
}

} // namespace

int runIntentCommand(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The automation intents: list the presets, describe the intents, shortcuts and Focus filter, run a preset "
        "by its ID (or --name), continue a user activity."));
    parser.addPositionalArgument(QStringLiteral("list|describe|run|continue"), QStringLiteral("What to do."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("list: answer in JSON."));
    const QCommandLineOption name(QStringLiteral("name"),
                                  QStringLiteral("run: the preset's name, used when the ID "
                                                 "finds nothing."),
                                  QStringLiteral("NAME"));
    parser.addOption(json);
    parser.addOption(name);
    if (auto exit = parse(parser, QStringLiteral("intent"), kUsage, args))
        return *exit;
    QStringList positional = parser.positionalArguments();
    const QString sub = positional.isEmpty() ? QString() : positional.takeFirst();
    if (sub == QLatin1String("list") && positional.isEmpty() && !parser.isSet(name))
        return listIntents(parser.isSet(json));
    if (sub == QLatin1String("describe") && positional.isEmpty() && !parser.isSet(name) && !parser.isSet(json))
        return describeIntents();
    if (sub == QLatin1String("run") && !parser.isSet(json))
        return runIntent(positional, parser.isSet(name) ? std::optional(parser.value(name)) : std::nullopt);
    if (sub == QLatin1String("continue") && !parser.isSet(json) && !parser.isSet(name))
        return continueIntent(positional);
    return usageError(QStringLiteral("Expected list, describe, run or continue"), kUsage);
}

} // namespace pierline::cli
