#include "CombinationFields.h"
#include "CombinationHolders.h"
#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "platform/DesktopKeybindings.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"
#include "triggers/AdvancedHotkeyManager.h"
#include "triggers/CombinationText.h"
#include "triggers/DesktopShortcutSync.h"

#include <QJsonArray>
#include <QJsonObject>
#include <set>

namespace pierline::cli {
namespace {

const QString kUsage =
    QStringLiteral("hotkey leader COMBO [--replace] | --none\n"
                   "       pierline hotkey set NAME --single | --sequence COMBO | --multi-press COMBO --count N "
                   "[--replace]\n"
                   "       pierline hotkey remove NAME | show [--json] | debug");

int usage(const QString& message) {
    return usageError(message, kUsage);
}

std::optional<KeyCombination> parseCombo(const QString& text, QString* error) {
    const CombinationParseResult parsed = parseCombinationText(text);
    if (!parsed.combination) {
        *error = QStringLiteral("Bad COMBO '%1': %2").arg(text, parsed.error);
        return std::nullopt;
    }
    return parsed.combination;
}

// Whether a modifier key on its own may stand for the combination: only a multi-press counts
// presses of a bare modifier; grabbing one anywhere else takes it from every other program.
enum class BareModifier { Refused, Allowed };

// A key that must be grabbed has to name a Key.
std::optional<KeyCombination> parseGrabbableCombo(const QString& text, QString* error,
                                                  BareModifier bare = BareModifier::Refused) {
    const auto combination = parseCombo(text, error);
    if (combination && !combination->keyCombo()) {
        *error = QStringLiteral("COMBO '%1' names no key that can be grabbed").arg(text);
        return std::nullopt;
    }
    if (combination && bare == BareModifier::Refused && combination->isModifierOnly()) {
        *error =
            QStringLiteral("COMBO '%1' is a modifier on its own; it needs a key (for example opt+space)").arg(text);
        return std::nullopt;
    }
    return combination;
}

QList<KeyCombination> keysOf(const PresetHotkeyConfiguration& configuration) {
    QList<KeyCombination> keys;
    if (configuration.triggerType == HotkeyTriggerType::sequence && configuration.actionKey)
        keys.append(*configuration.actionKey);
    if (configuration.triggerType == HotkeyTriggerType::multiPress && configuration.multiPressKey)
        keys.append(*configuration.multiPressKey);
    return keys;
}

// A change must not replace stored configurations that could not be read.
bool refuseUnreadableConfigurations(const AdvancedHotkeyManager& manager) {
    const auto& error = manager.configurationsLoadError();
    if (!error)
        return false;
    err(QStringLiteral("The stored advanced hotkeys cannot be read (%1); nothing was changed. Remove them with "
                       "`defaults delete com.corvane.pierline %2` to start over.")
            .arg(*error, AdvancedHotkeyManager::kConfigurationsKey));
    return true;
}

int runLeader(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Sets the leader key that starts a key sequence, or clears it. ") +
                                     kComboHelp);
    const QCommandLineOption none(QStringLiteral("none"), QStringLiteral("No leader key."));
    const QCommandLineOption replace(QStringLiteral("replace"), kReplaceHelp);
    parser.addOptions({none, replace});
    parser.addPositionalArgument(QStringLiteral("COMBO"), QStringLiteral("The leader key."));
    if (auto exit = parse(parser, QStringLiteral("hotkey leader"), kUsage, args))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(none) == (positional.size() == 1) || positional.size() > 1)
        return usage(QStringLiteral("Give one COMBO, or --none"));
    std::optional<KeyCombination> leader;
    if (!parser.isSet(none)) {
        QString error;
        leader = parseGrabbableCombo(positional.first(), &error);
        if (!leader)
            return usage(error);
    }
    DockPresetManager* presets = openPresetManager();
    if (!presets)
        return kExitFailed;
    return runOnMainSyncResult([&] {
        AdvancedHotkeyAccess manager;
        ShortcutManagerAccess shortcuts;
        QString movedFrom;
        const CombinationSlot slot{CombinationSlot::Kind::Leader, QUuid(), std::nullopt};
        if (leader &&
            !claimCombination(*leader, slot, parser.isSet(replace), shortcuts.get(), *manager, *presets, &movedFrom))
            return kExitFailed;
        if (const auto error = manager->setLeaderKey(leader)) {
            err(QStringLiteral("Could not store the leader key: %1").arg(*error));
            return kExitFailed;
        }
        out((leader ? QStringLiteral("Leader key: %1").arg(leader->displayString())
                    : QStringLiteral("Leader key: Not set")) +
            movedFromText(movedFrom));
        return kExitOk;
    });
}

int runSet(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Sets how a preset is triggered beyond its simple shortcut. ") +
                                     kComboHelp);
    const QCommandLineOption single(QStringLiteral("single"), QStringLiteral("Its simple shortcut only."));
    const QCommandLineOption sequenceOption(QStringLiteral("sequence"),
                                            QStringLiteral("The action key pressed after the leader key."),
                                            QStringLiteral("COMBO"));
    const QCommandLineOption multiOption(QStringLiteral("multi-press"),
                                         QStringLiteral("The key (or a bare modifier) pressed several times."),
                                         QStringLiteral("COMBO"));
    const QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("Presses required (1 or more)."),
                                         QStringLiteral("N"));
    const QCommandLineOption replace(QStringLiteral("replace"), kReplaceHelp);
    parser.addOptions({single, sequenceOption, multiOption, countOption, replace});
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The preset's name."));
    if (auto exit = parse(parser, QStringLiteral("hotkey set"), kUsage, args))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return usage(expectedArguments({QStringLiteral("NAME")}));
    const int kinds = int(parser.isSet(single)) + int(parser.isSet(sequenceOption)) + int(parser.isSet(multiOption));
    if (kinds != 1)
        return usage(QStringLiteral("Give one of --single, --sequence COMBO, --multi-press COMBO"));
    if (parser.isSet(multiOption) != parser.isSet(countOption))
        return usage(QStringLiteral("--count N goes with --multi-press, and --multi-press needs it"));

    PresetHotkeyConfiguration configuration;
    QString error;
    if (parser.isSet(sequenceOption)) {
        configuration.triggerType = HotkeyTriggerType::sequence;
        configuration.actionKey = parseGrabbableCombo(parser.value(sequenceOption), &error);
        if (!configuration.actionKey)
            return usage(error);
    } else if (parser.isSet(multiOption)) {
        configuration.triggerType = HotkeyTriggerType::multiPress;
        configuration.multiPressKey = parseGrabbableCombo(parser.value(multiOption), &error, BareModifier::Allowed);
        if (!configuration.multiPressKey)
            return usage(error);
        bool ok = false;
        const qint64 count = parser.value(countOption).toLongLong(&ok);
        if (!ok || count < 1)
            return usage(
                QStringLiteral("--count must be a whole number of 1 or more, got '%1'").arg(parser.value(countOption)));
        configuration.multiPressCount = count;
    }

    const PresetLookup lookup = openPreset(positional.first());
    if (!lookup.preset)
        return kExitFailed;
    const std::optional<QUuid> id = lookup.preset->id();
    if (!id) {
        err(QStringLiteral("Preset '%1' has no identifier").arg(positional.first()));
        return kExitFailed;
    }
    configuration.presetID = *id;
    return runOnMainSyncResult([&] {
        AdvancedHotkeyAccess manager;
        if (refuseUnreadableConfigurations(*manager))
            return kExitFailed;
        ShortcutManagerAccess shortcuts;
        QString movedFrom;
        const CombinationSlot slot{CombinationSlot::Kind::AdvancedHotkey, *id, std::nullopt};
        for (const KeyCombination& key : keysOf(configuration)) {
            if (!claimCombination(key, slot, parser.isSet(replace), shortcuts.get(), *manager, *lookup.manager,
                                  &movedFrom))
                return kExitFailed;
        }
        if (const auto failure = manager->registerPreset(configuration, manager->switchAction(*id))) {
            err(QStringLiteral("Could not store the advanced hotkey: %1").arg(*failure));
            return kExitFailed;
        }
        const QList<KeyCombination> keys = keysOf(configuration);
        out(QStringLiteral("%1: %2%3")
                .arg(positional.first(), triggerTypeDisplayName(configuration.triggerType),
                     keys.isEmpty() ? QString() : QStringLiteral(" %1").arg(keys.first().displayString())) +
            (configuration.multiPressCount ? QStringLiteral(" ×%1").arg(*configuration.multiPressCount) : QString()) +
            movedFromText(movedFrom));
        if (configuration.triggerType != HotkeyTriggerType::single && isWaylandSession())
            err(QStringLiteral("Warning: %1").arg(waylandTriggersNote()));
        return kExitOk;
    });
}

int runRemove(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Removes a preset's advanced hotkey; its simple shortcut stays."));
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The preset's name."));
    if (auto exit = parse(parser, QStringLiteral("hotkey remove"), kUsage, args))
        return *exit;
    if (parser.positionalArguments().size() != 1)
        return usage(expectedArguments({QStringLiteral("NAME")}));
    const QString name = parser.positionalArguments().first();
    const PresetLookup lookup = openPreset(name);
    if (!lookup.preset)
        return kExitFailed;
    const std::optional<QUuid> id = lookup.preset->id();
    return runOnMainSyncResult([&] {
        AdvancedHotkeyAccess manager;
        if (refuseUnreadableConfigurations(*manager))
            return kExitFailed;
        if (!id || !manager->hasConfiguration(*id)) {
            out(nothingToRemove(QStringLiteral("Preset '%1' has no advanced hotkey").arg(name)));
            return kExitOk;
        }
        if (const auto failure = manager->removePreset(*id)) {
            err(QStringLiteral("Could not store the change: %1").arg(*failure));
            return kExitFailed;
        }
        out(QStringLiteral("Removed the advanced hotkey of '%1'").arg(name));
        return kExitOk;
    });
}

int runShow(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows the leader key and each preset's advanced hotkey."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("As JSON."));
    parser.addOption(json);
    if (auto exit = parse(parser, QStringLiteral("hotkey show"), kUsage, args))
        return *exit;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("hotkey show takes no arguments"));
    if (!requireHome())
        return kExitFailed;

    QString error;
    std::optional<KeyCombination> leader;
    if (const auto stored = AdvancedHotkeyManager::readStoredLeaderKey(&error))
        leader = *stored;
    else
        err(QStringLiteral("The stored leader key cannot be read: %1").arg(error));
    HotkeyConfigurations configurations;
    if (auto stored = AdvancedHotkeyManager::readStoredConfigurations(&error))
        configurations = std::move(*stored);
    else
        err(QStringLiteral("The stored advanced hotkeys cannot be read: %1").arg(error));

    DockPresetManager* manager = openPresetManager();
    if (!manager)
        return kExitFailed;
    // Presets in list order, then configurations whose preset is gone.
    QList<std::pair<QUuid, std::optional<QString>>> rows;
    std::set<QUuid> listed;
    for (const DockPresetPtr& preset : manager->fetchAllPresets()) {
        const auto id = preset->id();
        if (id && configurations.count(*id) && listed.insert(*id).second)
            rows.append({*id, preset->name()});
    }
    for (const auto& [id, configuration] : configurations)
        if (!listed.count(id))
            rows.append({id, std::nullopt});

    if (parser.isSet(json)) {
        QJsonArray presets;
        for (const auto& [id, name] : rows) {
            const PresetHotkeyConfiguration& configuration = configurations.at(id);
            QJsonObject row{{QStringLiteral("idString"), uuidText(id)},
                            {QStringLiteral("type"), triggerTypeRawValue(configuration.triggerType)}};
            if (name)
                row.insert(QStringLiteral("name"), *name);
            QJsonArray keys;
            for (const KeyCombination& key : keysOf(configuration))
                keys.append(combinationFields(key));
            row.insert(QStringLiteral("keys"), keys);
            if (configuration.triggerType == HotkeyTriggerType::multiPress && configuration.multiPressCount)
                row.insert(QStringLiteral("count"), *configuration.multiPressCount);
            presets.append(row);
        }
        QJsonObject answer{{QStringLiteral("leader"), leader ? QJsonValue(combinationFields(*leader)) : QJsonValue()},
                           {QStringLiteral("presets"), presets}};
        if (isWaylandSession())
            answer.insert(QStringLiteral("note"), waylandTriggersNote());
        outJson(answer);
        return kExitOk;
    }
    out(QStringLiteral("Leader key: %1").arg(leader ? leader->displayString() : QStringLiteral("Not set")));
    for (const auto& [id, name] : rows) {
        const PresetHotkeyConfiguration& configuration = configurations.at(id);
        QString line =
            QStringLiteral("%1: %2").arg(name.value_or(QStringLiteral("(deleted preset %1)").arg(uuidText(id))),
                                         triggerTypeDisplayName(configuration.triggerType));
        for (const KeyCombination& key : keysOf(configuration))
            line += QStringLiteral(" %1 (%2)").arg(key.displayString(), combinationText(key));
        if (configuration.triggerType == HotkeyTriggerType::multiPress && configuration.multiPressCount)
            line += QStringLiteral(" ×%1").arg(*configuration.multiPressCount);
        out(line);
    }
    if (isWaylandSession())
        out(waylandTriggersNote());
    return kExitOk;
}

int runDebug(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Prints the advanced hotkeys' state: the running app's when one runs on this home."));
    if (auto exit = parse(parser, QStringLiteral("hotkey debug"), kUsage, args))
        return *exit;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("hotkey debug takes no arguments"));
    if (!requireHome())
        return kExitFailed;
    return runOnMainSyncResult([&] {
        AdvancedHotkeyAccess manager;
        for (const QString& line : manager->debugStateLines())
            out(line);
        return kExitOk;
    });
}

} // namespace

int runHotkeyCommand(const QStringList& args) {
    if (args.isEmpty())
        return usage(QStringLiteral("Missing subcommand: leader, set, remove, show or debug"));
    if (isHelp(args.first())) {
        printUsage(kUsage, QStringLiteral("Key sequences behind a leader key and multi-presses that switch presets. ") +
                               kComboHelp);
        return kExitOk;
    }
    const QString sub = args.first();
    const QStringList rest = args.mid(1);
    if (sub == QLatin1String("leader"))
        return runLeader(rest);
    if (sub == QLatin1String("set"))
        return runSet(rest);
    if (sub == QLatin1String("remove"))
        return runRemove(rest);
    if (sub == QLatin1String("show"))
        return runShow(rest);
    if (sub == QLatin1String("debug"))
        return runDebug(rest);
    return usage(QStringLiteral("Unknown hotkey subcommand: %1").arg(sub));
}

} // namespace pierline::cli
