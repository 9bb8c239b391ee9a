#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "core/SettingDescriptors.h"
#include "platform/Dispatch.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"
#include "switching/ContextRules.h"
#include "switching/ContextSwitcher.h"

#include <QJsonArray>
#include <QJsonObject>
#include <variant>

namespace pierline::cli {
namespace {

using Kind = ContextCondition::Kind;

const QString kUsage = QStringLiteral(
    "rule add (--workspace N | --workspace-name NAME | --dnd on|off | --displays LIST | --display NAME |\n"
    "                 --network NAME | --offline) PRESET [--at POSITION]\n"
    "       pierline rule list [--json] | rule remove POSITION | rule move FROM TO\n"
    "       pierline rule check [--json]");
const QString kDescription =
    QStringLiteral("Rules switch to a preset when the desktop's context changes: the first rule that holds wins. "
                   "POSITION counts from 0.");

int usage(const QString& message) {
    return usageError(message, kUsage);
}

QString unreadableTable(const QString& why) {
    return QStringLiteral("The stored context rules cannot be read (%1); nothing was changed. Remove them with "
                          "`defaults delete com.corvane.pierline %2` to start over.")
        .arg(why, ContextRuleTable::kKey);
}

// The name of each preset a rule names, or nothing for one that is gone. Main thread.
std::optional<QString> presetName(DockPresetManager& manager, const QUuid& id) {
    const DockPresetPtr preset = manager.fetchPreset(id);
    if (!preset)
        return std::nullopt;
    return preset->name().value_or(QString());
}

QString presetLabel(const std::optional<QString>& name, const QUuid& id) {
    return name ? *name : QStringLiteral("(deleted preset %1)").arg(uuidText(id));
}

QString ruleLine(qsizetype position, const StoredContextRule& entry, DockPresetManager& manager) {
    if (!entry.rule)
        return QStringLiteral("%1. (cannot be read: %2; kept as stored)").arg(position).arg(entry.error);
    return QStringLiteral("%1. %2 -> %3")
        .arg(position)
        .arg(entry.rule->condition.text(),
             presetLabel(presetName(manager, entry.rule->presetId), entry.rule->presetId));
}

QJsonObject ruleJson(qsizetype position, const StoredContextRule& entry, DockPresetManager& manager) {
    QJsonObject object{{QStringLiteral("position"), position}};
    if (!entry.rule) {
        object.insert(QStringLiteral("error"), entry.error);
        object.insert(QStringLiteral("stored"), entry.stored);
        return object;
    }
    const QJsonObject stored = contextRuleToJson(*entry.rule).toObject();
    for (auto it = stored.begin(); it != stored.end(); ++it)
        object.insert(it.key(), it.value());
    object.insert(QStringLiteral("text"), entry.rule->condition.text());
    if (const auto name = presetName(manager, entry.rule->presetId))
        object.insert(QStringLiteral("presetName"), *name);
    return object;
}

// The one condition the options name, or the usage error.
std::variant<ContextCondition, QString> conditionFrom(const QCommandLineParser& parser,
                                                      const QList<QCommandLineOption>& options) {
    QList<qsizetype> given;
    for (qsizetype i = 0; i < options.size(); ++i)
        if (parser.isSet(options[i]))
            given.append(i);
    if (given.size() != 1)
        return QStringLiteral("Give one condition: --workspace, --workspace-name, --dnd, --displays, --display, "
                              "--network or --offline");
    const QCommandLineOption& option = options[given.first()];
    const QString flag = option.names().first();
    const QString value = option.valueName().isEmpty() ? QString() : parser.value(option);
    ContextCondition c;
    if (flag == QLatin1String("workspace")) {
        c.kind = Kind::Workspace;
        const auto number = parsePosition(value.trimmed());
        if (!number)
            return QStringLiteral("--workspace must be a whole number of 0 or more, got '%1'").arg(value);
        c.workspace = *number;
    } else if (flag == QLatin1String("dnd")) {
        c.kind = Kind::DoNotDisturb;
        if (value != QLatin1String("on") && value != QLatin1String("off"))
            return QStringLiteral("--dnd takes on or off, got '%1'").arg(value);
        c.on = value == QLatin1String("on");
    } else if (flag == QLatin1String("displays")) {
        c.kind = Kind::Displays;
        for (const QString& name : value.split(QLatin1Char(','))) {
            if (name.trimmed().isEmpty())
                return QStringLiteral("--displays takes connector names separated by commas, with none empty; got "
                                      "'%1'")
                    .arg(value);
            c.names.append(name.trimmed());
        }
    } else if (flag == QLatin1String("offline")) {
        c.kind = Kind::Offline;
    } else {
        c.kind = flag == QLatin1String("workspace-name") ? Kind::WorkspaceName
                 : flag == QLatin1String("display")      ? Kind::Display
                                                         : Kind::Network;
        c.name = value.trimmed();
        if (c.name.isEmpty())
            return QStringLiteral("--%1 needs a name that is not empty").arg(flag);
    }
    return c;
}

QString outOfRange(const QString& name, int position, qsizetype count) {
    return QStringLiteral("%1 %2 is out of range (%3)")
        .arg(name)
        .arg(position)
        .arg(countOf(count, QStringLiteral("rule")));
}

int runAdd(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Adds a rule: when its condition holds, switch to PRESET."));
    const auto option = [](const char* name, const char* description, const char* value = nullptr) {
        return QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(description),
                                  value ? QString::fromLatin1(value) : QString());
    };
    const QList<QCommandLineOption> conditions = {
        option("workspace", "The current workspace is N (from 0).", "N"),
        option("workspace-name", "The current workspace is named NAME.", "NAME"),
        option("dnd", "Do Not Disturb is on or off.", "on|off"),
        option("displays", "Exactly these outputs are connected (HDMI-1,eDP-1).", "LIST"),
        option("display", "At least this output is connected.", "NAME"),
        option("network", "The active network connection is NAME.", "NAME"),
        option("offline", "No network connection is active."),
    };
    const QCommandLineOption at(QStringLiteral("at"), QStringLiteral("Where the rule goes (default: last)."),
                                QStringLiteral("POSITION"));
    parser.addOptions(conditions);
    parser.addOption(at);
    parser.addPositionalArgument(QStringLiteral("PRESET"), QStringLiteral("The preset's name."));
    if (auto exit = parse(parser, QStringLiteral("rule add"), kUsage, args))
        return *exit;
    const auto condition = conditionFrom(parser, conditions);
    if (const QString* error = std::get_if<QString>(&condition))
        return usage(*error);
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return usage(QStringLiteral("Expected one PRESET"));
    if (positional.first().isEmpty())
        return usage(QStringLiteral("PRESET must not be empty"));
    std::optional<int> position;
    if (parser.isSet(at)) {
        position = parsePosition(parser.value(at));
        if (!position)
            return usage(positionError(QStringLiteral("POSITION"), parser.value(at)));
    }
    return runOnMainSyncResult([&] {
        DockPresetManager* manager = openPresetManager();
        if (!manager)
            return kExitFailed;
        const DockPresetPtr preset = findPresetOrComplain(*manager, positional.first());
        if (!preset)
            return kExitUsage;
        const std::optional<QUuid> id = preset->id();
        if (!id) {
            err(QStringLiteral("Preset '%1' has no identifier").arg(positional.first()));
            return kExitFailed;
        }
        int code = kExitOk;
        qsizetype placed = 0;
        const auto failure = ContextRuleTable::edit([&](QList<StoredContextRule>& rules) -> std::optional<QString> {
            placed = position.value_or(rules.size());
            if (placed > rules.size()) {
                code = kExitUsage;
                return outOfRange(QStringLiteral("POSITION"), static_cast<int>(placed), rules.size());
            }
            rules.insert(placed, StoredContextRule{ContextRule{std::get<ContextCondition>(condition), *id}, {}, {}});
            return std::nullopt;
        });
        if (failure) {
            err(code == kExitUsage ? *failure : unreadableTable(*failure));
            return code == kExitUsage ? kExitUsage : kExitFailed;
        }
        out(QStringLiteral("Added rule %1: %2 -> %3")
                .arg(placed)
                .arg(std::get<ContextCondition>(condition).text(), positional.first()));
        return kExitOk;
    });
}

// Reads the rule table for a change of positions; `change` gives a usage error.
int editPositions(const std::function<std::optional<QString>(QList<StoredContextRule>&)>& change, const QString& done) {
    return runOnMainSyncResult([&] {
        if (!requireHome())
            return kExitFailed;
        bool usageFault = false;
        const auto failure = ContextRuleTable::edit([&](QList<StoredContextRule>& rules) {
            auto error = change(rules);
            usageFault = error.has_value();
            return error;
        });
        if (failure) {
            err(usageFault ? *failure : unreadableTable(*failure));
            return usageFault ? kExitUsage : kExitFailed;
        }
        out(done);
        return kExitOk;
    });
}

int runRemove(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Removes the rule at POSITION."));
    parser.addPositionalArgument(QStringLiteral("POSITION"), QStringLiteral("From 0, as `rule list` shows."));
    if (auto exit = parse(parser, QStringLiteral("rule remove"), kUsage, args))
        return *exit;
    if (parser.positionalArguments().size() != 1)
        return usage(QStringLiteral("Expected POSITION"));
    const QString text = parser.positionalArguments().first();
    const auto position = parsePosition(text);
    if (!position)
        return usage(positionError(QStringLiteral("POSITION"), text));
    return editPositions(
        [&](QList<StoredContextRule>& rules) -> std::optional<QString> {
            if (*position >= rules.size())
                return outOfRange(QStringLiteral("POSITION"), *position, rules.size());
            rules.removeAt(*position);
            return std::nullopt;
        },
        QStringLiteral("Removed rule %1").arg(*position));
}

int runMove(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Moves a rule; FROM and TO count from 0."));
    parser.addPositionalArgument(QStringLiteral("FROM"), QStringLiteral("Where the rule is."));
    parser.addPositionalArgument(QStringLiteral("TO"), QStringLiteral("Where it goes."));
    if (auto exit = parse(parser, QStringLiteral("rule move"), kUsage, args))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2)
        return usage(QStringLiteral("Expected FROM TO"));
    const auto from = parsePosition(positional[0]);
    if (!from)
        return usage(positionError(QStringLiteral("FROM"), positional[0]));
    const auto to = parsePosition(positional[1]);
    if (!to)
        return usage(positionError(QStringLiteral("TO"), positional[1]));
    return editPositions(
        [&](QList<StoredContextRule>& rules) -> std::optional<QString> {
            if (*from >= rules.size())
                return outOfRange(QStringLiteral("FROM"), *from, rules.size());
            if (*to >= rules.size())
                return outOfRange(QStringLiteral("TO"), *to, rules.size());
            rules.move(*from, *to);
            return std::nullopt;
        },
        QStringLiteral("Moved rule %1 to %2").arg(*from).arg(*to));
}

int runList(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Lists the rules in the order they are tried."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("As JSON."));
    parser.addOption(json);
    if (auto exit = parse(parser, QStringLiteral("rule list"), kUsage, args))
        return *exit;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("rule list takes no arguments"));
    if (!requireHome())
        return kExitFailed;
    QString error;
    const auto rules = ContextRuleTable::read(&error);
    if (!rules) {
        err(QStringLiteral("The stored context rules cannot be read: %1").arg(error));
        return kExitFailed;
    }
    return runOnMainSyncResult([&] {
        DockPresetManager* manager = openPresetManager();
        if (!manager)
            return kExitFailed;
        if (parser.isSet(json)) {
            QJsonArray array;
            for (qsizetype i = 0; i < rules->size(); ++i)
                array.append(ruleJson(i, (*rules)[i], *manager));
            outJson(QJsonObject{{QStringLiteral("enabled"), readBoolSetting(Setting::ContextRulesEnabled)},
                                {QStringLiteral("rules"), array}});
            return kExitOk;
        }
        if (rules->isEmpty())
            out(QStringLiteral("No context rules"));
        for (qsizetype i = 0; i < rules->size(); ++i)
            out(ruleLine(i, (*rules)[i], *manager));
        if (!readBoolSetting(Setting::ContextRulesEnabled))
            out(QStringLiteral("Context rules are off (contextRulesEnabled)"));
        return kExitOk;
    });
}

QJsonObject contextJson(const DesktopContext& context) {
    QJsonObject object;
    if (context.workspace) {
        object.insert(QStringLiteral("workspace"), *context.workspace);
        if (!context.workspaceName.isEmpty())
            object.insert(QStringLiteral("workspaceName"), context.workspaceName);
    }
    if (context.doNotDisturb)
        object.insert(QStringLiteral("dnd"), *context.doNotDisturb);
    if (context.displays)
        object.insert(QStringLiteral("displays"), QJsonArray::fromStringList(*context.displays));
    if (context.networks)
        object.insert(QStringLiteral("networks"), QJsonArray::fromStringList(*context.networks));
    return object;
}

// What one watcher says now, for the text answer.
QString nowText(const QString& source, const DesktopContext& context) {
    if (source == QLatin1String("workspace") && context.workspace)
        return context.workspaceName.isEmpty()
                   ? QString::number(*context.workspace)
                   : QStringLiteral("%1 \"%2\"").arg(*context.workspace).arg(context.workspaceName);
    if (source == QLatin1String("dnd") && context.doNotDisturb)
        return *context.doNotDisturb ? QStringLiteral("on") : QStringLiteral("off");
    if (source == QLatin1String("displays") && context.displays)
        return context.displays->join(QStringLiteral(", "));
    if (source == QLatin1String("network") && context.networks)
        return context.networks->isEmpty() ? QStringLiteral("offline") : context.networks->join(QStringLiteral(", "));
    return QStringLiteral("unknown");
}

int runCheck(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows what each watcher sees (the running app's when one runs) and which rule wins now."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("As JSON."));
    parser.addOption(json);
    if (auto exit = parse(parser, QStringLiteral("rule check"), kUsage, args))
        return *exit;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("rule check takes no arguments"));
    if (!requireHome())
        return kExitFailed;
    return runOnMainSyncResult([&] {
        // Without the app, this process watches for the moment it takes to answer.
        ContextWatcherSet own;
        const ContextWatcherSet* watchers = nullptr;
        if (ContextSwitcher* live = ContextSwitcher::shared()) {
            watchers = &live->watchers();
        } else {
            own = ContextWatcherSet::platform(createHeadlessDisplaySetWatcher());
            own.start([] {});
            watchers = &own;
        }
        const DesktopContext context = watchers->context();
        QString error;
        const auto rules = ContextRuleTable::read(&error);
        DockPresetManager* manager = openPresetManager();
        if (!manager)
            return kExitFailed;
        const bool enabled = readBoolSetting(Setting::ContextRulesEnabled);
        QList<qsizetype> gone;
        std::optional<qsizetype> winner;
        if (rules)
            winner = winningContextRule(
                *rules, context, [&](const QUuid& id) { return presetName(*manager, id).has_value(); }, &gone);

        if (parser.isSet(json)) {
            QJsonArray statuses;
            for (const ContextWatcherStatus& status : watchers->statuses()) {
                QJsonObject object{{QStringLiteral("source"), status.source},
                                   {QStringLiteral("available"), !status.problem}};
                if (status.problem)
                    object.insert(QStringLiteral("problem"), *status.problem);
                statuses.append(object);
            }
            QJsonObject answer{{QStringLiteral("watchers"), statuses},
                               {QStringLiteral("context"), contextJson(context)},
                               {QStringLiteral("enabled"), enabled}};
            if (!rules)
                answer.insert(QStringLiteral("error"), error);
            if (winner)
                answer.insert(QStringLiteral("winner"), ruleJson(*winner, (*rules)[*winner], *manager));
            QJsonArray skipped;
            for (qsizetype i : gone)
                skipped.append(ruleJson(i, (*rules)[i], *manager));
            answer.insert(QStringLiteral("skipped"), skipped);
            outJson(answer);
        } else {
            for (const ContextWatcherStatus& status : watchers->statuses())
                out(status.problem
                        ? QStringLiteral("%1: not watched: %2").arg(status.source, *status.problem)
                        : QStringLiteral("%1: watched, now %2").arg(status.source, nowText(status.source, context)));
            if (!enabled)
                out(QStringLiteral("Context rules are off (contextRulesEnabled)"));
            for (qsizetype i : gone)
                out(QStringLiteral("Skipped, its preset is gone: %1").arg(ruleLine(i, (*rules)[i], *manager)));
            if (rules)
                out(winner ? QStringLiteral("Wins now: %1").arg(ruleLine(*winner, (*rules)[*winner], *manager))
                           : QStringLiteral("No rule wins now"));
        }
        if (!rules) {
            err(QStringLiteral("The stored context rules cannot be read: %1").arg(error));
            return kExitFailed;
        }
        return kExitOk;
    });
}

} // namespace

int runRuleCommand(const QStringList& args) {
    if (args.isEmpty())
        return usage(QStringLiteral("Missing subcommand: add, list, remove, move or check"));
    if (isHelp(args.first())) {
        printUsage(kUsage, kDescription);
        return kExitOk;
    }
    const QString sub = args.first();
    const QStringList rest = args.mid(1);
    if (sub == QLatin1String("add"))
        return runAdd(rest);
    if (sub == QLatin1String("list"))
        return runList(rest);
    if (sub == QLatin1String("remove"))
        return runRemove(rest);
    if (sub == QLatin1String("move"))
        return runMove(rest);
    if (sub == QLatin1String("check"))
        return runCheck(rest);
    return usage(QStringLiteral("Unknown rule subcommand: %1").arg(sub));
}

} // namespace pierline::cli
