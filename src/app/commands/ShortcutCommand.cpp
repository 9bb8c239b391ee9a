#include "CombinationFields.h"
#include "CombinationHolders.h"
#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "platform/Dispatch.h"
#include "platform/HotkeyRegistrar.h"
#include "platform/UserDefaults.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"
#include "triggers/CombinationText.h"
#include "triggers/ShortcutManager.h"
#include "triggers/SwitchRequest.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <set>

namespace pierline::cli {
namespace {

const QString kUsage =
    QStringLiteral("shortcut set NAME COMBO [--replace] | remove NAME | show [--json] | press --id UUID\n"
                   "       pierline shortcut action set ACTION COMBO [--replace] | remove ACTION | run ACTION");

int usage(const QString& message) {
    return usageError(message, kUsage);
}

// A combination that can be registered, or a usage error already printed.
std::optional<StoredShortcut> parseRegistrable(const QString& text) {
    const CombinationParseResult parsed = parseCombinationText(text);
    if (!parsed.combination) {
        usage(parsed.error);
        return std::nullopt;
    }
    if (parsed.combination->isModifierOnly()) {
        usage(
            QStringLiteral("'%1' is a modifier on its own; a shortcut needs a key (for example opt+space)").arg(text));
        return std::nullopt;
    }
    const std::optional<Key> key = keyForCarbonKeyCode(parsed.combination->carbonKeyCode);
    if (!key) {
        usage(QStringLiteral("Key code %1 names no key; a shortcut needs one").arg(parsed.combination->carbonKeyCode));
        return std::nullopt;
    }
    return StoredShortcut{*key, parsed.combination->modifierRawValue};
}

KeyCombination combinationOf(const StoredShortcut& shortcut) {
    return {carbonKeyCode(shortcut.key), shortcut.modifiers};
}

QString display(const StoredShortcut& shortcut) {
    return combinationOf(shortcut).displayString();
}

QJsonObject comboJson(const StoredShortcut& shortcut) {
    const KeyCombination combination{carbonKeyCode(shortcut.key), shortcut.modifiers};
    return {{QStringLiteral("carbonKeyCode"), qint64(combination.carbonKeyCode)},
            {QStringLiteral("modifierRawValue"), qint64(combination.modifierRawValue)},
            {QStringLiteral("displayString"), combination.displayString()}};
}

int reportWrite(const std::optional<QString>& error, const QString& done) {
    if (error) {
        err(QStringLiteral("Could not save the shortcuts: %1").arg(*error));
        return kExitFailed;
    }
    out(done);
    return kExitOk;
}

// Stored entries the app cannot use: it keeps them in the table as they are, and so do we here.
class UnusableEntries {
public:
    void add(const QString& table, const QString& key, const QString& problem, const QString& fate) {
        err(QStringLiteral("Stored shortcut '%1' in '%2' %3; %4").arg(key, table, problem, fate));
        json_.append(QJsonObject{
            {QStringLiteral("table"), table}, {QStringLiteral("key"), key}, {QStringLiteral("problem"), problem}});
    }
    // Values that are no entry at all; a stored value that is no table is left alone.
    void addNonEntries(const UserDefaults& defaults, const QString& table) {
        const std::optional<QVariant> stored = defaults.object(table);
        if (!stored)
            return;
        if (stored->typeId() != QMetaType::QVariantMap) {
            err(QStringLiteral("Stored shortcuts under '%1' are not a table; left as stored").arg(table));
            json_.append(QJsonObject{{QStringLiteral("table"), table}, {QStringLiteral("problem"), kNotATable}});
            return;
        }
        const QVariantMap entries = stored->toMap();
        for (auto it = entries.cbegin(); it != entries.cend(); ++it)
            if (it.value().typeId() != QMetaType::QVariantMap)
                add(table, it.key(), QStringLiteral("is not an entry"), kKept);
    }
    const QJsonArray& json() const { return json_; }

    static inline const QString kKept = QStringLiteral("kept as stored");
    static inline const QString kNotATable = QStringLiteral("is not a table");

private:
    QJsonArray json_;
};

int runShow(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows the preset and action shortcuts."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print JSON."));
    parser.addOption(json);
    if (auto exit = parse(parser, QStringLiteral("shortcut show"), kUsage, args))
        return *exit;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("show takes no arguments"));
    if (!requireHome())
        return kExitFailed;
    DockPresetManager* manager = openPresetManager();
    if (!manager)
        return kExitFailed;

    UserDefaults& defaults = UserDefaults::standard();
    if (const auto error = defaults.readError())
        err(QStringLiteral("Could not read the stored shortcuts: %1").arg(*error));
    UnusableEntries unusable;
    const QString& presetTable = ShortcutManager::kPresetTableKey;
    const QString& actionTable = ShortcutManager::kActionTableKey;
    unusable.addNonEntries(defaults, presetTable);
    unusable.addNonEntries(defaults, actionTable);
    std::map<QUuid, StoredShortcut> presetShortcuts;
    for (const StoredShortcutRow& row : readShortcutTable(defaults.object(presetTable).value_or(QVariant()))) {
        const QUuid id(row.tableKey);
        if (id.isNull())
            unusable.add(presetTable, row.tableKey, QStringLiteral("names no preset id"), UnusableEntries::kKept);
        else if (!row.shortcut)
            unusable.add(presetTable, row.tableKey, QStringLiteral("has no usable key or modifiers"),
                         UnusableEntries::kKept);
        else
            presetShortcuts.emplace(id, *row.shortcut);
    }

    QJsonArray presetsJson;
    QStringList lines;
    std::set<QUuid> shown;
    for (const DockPresetPtr& preset : manager->fetchAllPresets()) {
        const auto id = preset->id();
        const auto it = id ? presetShortcuts.find(*id) : presetShortcuts.end();
        if (it == presetShortcuts.end())
            continue;
        shown.insert(*id);
        const QString name = preset->name().value_or(QString());
        QJsonObject object = comboJson(it->second);
        object.insert(QStringLiteral("idString"), uuidText(*id));
        object.insert(QStringLiteral("name"), name);
        presetsJson.append(object);
        lines.append(QStringLiteral("%1\t%2\t%3")
                         .arg(display(it->second), name,
                              combinationText({carbonKeyCode(it->second.key), it->second.modifiers})));
    }
    for (const auto& [id, shortcut] : presetShortcuts)
        if (!shown.count(id))
            unusable.add(presetTable, uuidText(id), QStringLiteral("names no preset"),
                         QStringLiteral("dropped at the next change"));

    QJsonArray actionsJson;
    for (const StoredShortcutRow& row : readShortcutTable(defaults.object(actionTable).value_or(QVariant()))) {
        if (!shortcutActionFromRawValue(row.tableKey)) {
            unusable.add(actionTable, row.tableKey, QStringLiteral("names no action"), UnusableEntries::kKept);
            continue;
        }
        if (!row.shortcut) {
            unusable.add(actionTable, row.tableKey, QStringLiteral("has no usable key or modifiers"),
                         UnusableEntries::kKept);
            continue;
        }
        QJsonObject object = comboJson(*row.shortcut);
        object.insert(QStringLiteral("action"), row.tableKey);
        actionsJson.append(object);
        lines.append(QStringLiteral("%1\t%2 (%3)\t%4")
                         .arg(display(*row.shortcut), shortcutActionTitle(*shortcutActionFromRawValue(row.tableKey)),
                              row.tableKey,
                              combinationText({carbonKeyCode(row.shortcut->key), row.shortcut->modifiers})));
    }

    if (parser.isSet(json)) {
        QJsonObject answer{{QStringLiteral("presets"), presetsJson}, {QStringLiteral("actions"), actionsJson}};
        if (!unusable.json().isEmpty())
            answer.insert(QStringLiteral("unusable"), unusable.json());
        outJson(answer);
    } else if (lines.isEmpty()) {
        out(QStringLiteral("No shortcuts"));
    } else {
        for (const QString& line : lines)
            out(line);
    }
    return kExitOk;
}

int runPresetShortcut(const QString& sub, const QStringList& args) {
    const bool setting = sub == QLatin1String("set");
    QCommandLineParser parser;
    parser.setApplicationDescription(setting
                                         ? QStringLiteral("Sets the shortcut that switches to a preset. ") + kComboHelp
                                         : QStringLiteral("Removes a preset's shortcut and its advanced hotkey."));
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The preset."));
    const QCommandLineOption replace(QStringLiteral("replace"), kReplaceHelp);
    if (setting) {
        parser.addPositionalArgument(QStringLiteral("COMBO"), QStringLiteral("The combination."));
        parser.addOption(replace);
    }
    if (auto exit = parse(parser, QStringLiteral("shortcut ") + sub, kUsage, args))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != (setting ? 2 : 1))
        return usage(expectedArguments(setting ? QStringList{QStringLiteral("NAME"), QStringLiteral("COMBO")}
                                               : QStringList{QStringLiteral("NAME")}));
    std::optional<StoredShortcut> shortcut;
    if (setting && !(shortcut = parseRegistrable(positional[1])))
        return kExitUsage;

    DockPresetManager* manager = openPresetManager();
    if (!manager)
        return kExitFailed;
    const DockPresetPtr preset = findPresetOrComplain(*manager, positional[0]);
    if (!preset)
        return kExitFailed;
    const QUuid id = preset->id().value_or(QUuid());
    ShortcutManagerAccess shortcuts;
    if (setting) {
        return runOnMainSyncResult([&] {
            AdvancedHotkeyAccess advanced;
            QString movedFrom;
            const CombinationSlot slot{CombinationSlot::Kind::PresetShortcut, id, std::nullopt};
            if (!claimCombination(combinationOf(*shortcut), slot, parser.isSet(replace), shortcuts.get(), *advanced,
                                  *manager, &movedFrom))
                return kExitFailed;
            return reportWrite(shortcuts->setPresetShortcut(id, shortcut->key, shortcut->modifiers),
                               QStringLiteral("Set %1 for preset '%2'").arg(display(*shortcut), positional[0]) +
                                   movedFromText(movedFrom));
        });
    }
    if (!shortcuts->presetShortcut(id)) {
        out(nothingToRemove(QStringLiteral("Preset '%1' has no shortcut").arg(positional[0])));
        return kExitOk;
    }
    return reportWrite(shortcuts->removePresetShortcut(id),
                       QStringLiteral("Removed the shortcut of preset '%1'").arg(positional[0]));
}

// What the desktop's keybinding of a preset runs where our grabs see no keys (Wayland): the same
// switch request as a press of the grabbed shortcut, inside the running app.
int runPress(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Acts as a press of a preset's shortcut: the running app asks first when the settings say so. "
                       "Without a running app the preset is applied as `pierline apply --id` does."));
    const QCommandLineOption idOption(QStringLiteral("id"), QStringLiteral("The preset's UUID."),
                                      QStringLiteral("UUID"));
    parser.addOption(idOption);
    if (auto exit = parse(parser, QStringLiteral("shortcut press"), kUsage, args))
        return *exit;
    if (!parser.isSet(idOption) || !parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("Expected --id UUID"));
    const QUuid id = QUuid::fromString(parser.value(idOption));
    if (id.isNull())
        return usage(QStringLiteral("Not a UUID: %1").arg(parser.value(idOption)));
    // The live shortcut manager exists only inside the running app.
    if (!ShortcutManager::existing()) {
        err(QStringLiteral("Pierline is not running on this home, so nothing asks before the switch; applying the "
                           "preset directly"));
        return runApplyCommand({QStringLiteral("--id"), uuidText(id)});
    }
    if (!openPresetManager())
        return kExitFailed;
    if (!requestSwitch(id, SwitchOrigin::Hotkey)) {
        err(QStringLiteral("%1: no preset has that id").arg(uuidText(id)));
        return kExitFailed;
    }
    return kExitOk;
}

QString outcomeMessage(ShortcutManager::UpdateOutcome outcome) {
    using O = ShortcutManager::UpdateOutcome;
    switch (outcome) {
    case O::NoLastPreset:
        return QStringLiteral("No preset has been applied yet, so there is none to update");
    case O::PresetNotFound:
        return QStringLiteral("The last applied preset no longer exists");
    case O::UnfinishedSwitch:
        return QStringLiteral("The last switch did not finish; the Dock was not saved");
    case O::DockEmpty:
        return QStringLiteral("The Dock is empty; nothing was saved");
    case O::SaveFailed:
        return QStringLiteral("The preset could not be saved");
    case O::Updated:
        break;
    }
    return {};
}

int runActionShortcut(const QStringList& args) {
    if (args.isEmpty())
        return usage(QStringLiteral("Missing subcommand: set, remove or run"));
    if (isHelp(args.first())) {
        printUsage(kUsage, QStringLiteral("Sets, removes or runs the shortcuts of actions. ACTION is "
                                          "updateLastAppliedPreset. ") +
                               kComboHelp);
        return kExitOk;
    }
    const QString sub = args.first();
    if (sub != QLatin1String("set") && sub != QLatin1String("remove") && sub != QLatin1String("run"))
        return usage(QStringLiteral("Unknown shortcut action subcommand: %1").arg(sub));
    const bool setting = sub == QLatin1String("set");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        setting ? QStringLiteral("Sets an action's shortcut. ") + kComboHelp
        : sub == QLatin1String("run")
            ? QStringLiteral("Runs an action as its shortcut would and waits for it (3.5 seconds for the save).")
            : QStringLiteral("Removes an action's shortcut."));
    parser.addPositionalArgument(QStringLiteral("ACTION"), QStringLiteral("updateLastAppliedPreset"));
    const QCommandLineOption replace(QStringLiteral("replace"), kReplaceHelp);
    if (setting) {
        parser.addPositionalArgument(QStringLiteral("COMBO"), QStringLiteral("The combination."));
        parser.addOption(replace);
    }
    if (auto exit = parse(parser, QStringLiteral("shortcut action ") + sub, kUsage, args.mid(1)))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != (setting ? 2 : 1))
        return usage(expectedArguments(setting ? QStringList{QStringLiteral("ACTION"), QStringLiteral("COMBO")}
                                               : QStringList{QStringLiteral("ACTION")}));
    const auto action = shortcutActionFromRawValue(positional[0]);
    if (!action)
        return usage(QStringLiteral("Unknown action: %1 (known: updateLastAppliedPreset)").arg(positional[0]));
    std::optional<StoredShortcut> shortcut;
    if (setting && !(shortcut = parseRegistrable(positional[1])))
        return kExitUsage;
    DockPresetManager* presets = openPresetManager();
    if (!presets)
        return kExitFailed;

    ShortcutManagerAccess shortcuts;
    if (setting) {
        return runOnMainSyncResult([&] {
            AdvancedHotkeyAccess advanced;
            QString movedFrom;
            const CombinationSlot slot{CombinationSlot::Kind::ActionShortcut, QUuid(), *action};
            if (!claimCombination(combinationOf(*shortcut), slot, parser.isSet(replace), shortcuts.get(), *advanced,
                                  *presets, &movedFrom))
                return kExitFailed;
            return reportWrite(shortcuts->setActionShortcut(*action, shortcut->key, shortcut->modifiers),
                               QStringLiteral("Set %1 for %2").arg(display(*shortcut), shortcutActionTitle(*action)) +
                                   movedFromText(movedFrom));
        });
    }
    if (sub == QLatin1String("remove")) {
        if (!shortcuts->actionShortcut(*action)) {
            out(nothingToRemove(QStringLiteral("%1 has no shortcut").arg(shortcutActionTitle(*action))));
            return kExitOk;
        }
        return reportWrite(shortcuts->removeActionShortcut(*action),
                           QStringLiteral("Removed the shortcut of %1").arg(shortcutActionTitle(*action)));
    }

    QEventLoop loop;
    std::optional<ShortcutManager::UpdateOutcome> outcome;
    shortcuts->updateLastAppliedPresetFromDock([&](ShortcutManager::UpdateOutcome result) {
        outcome = result;
        loop.quit();
    });
    if (!outcome)
        loop.exec();
    if (outcome != ShortcutManager::UpdateOutcome::Updated) {
        err(outcomeMessage(*outcome));
        return kExitFailed;
    }
    out(QStringLiteral("Updated the last applied preset from the Dock"));
    return kExitOk;
}

} // namespace

int runShortcutCommand(const QStringList& args) {
    if (args.isEmpty())
        return usage(QStringLiteral("Missing subcommand: set, remove, show, press or action"));
    if (isHelp(args.first())) {
        printUsage(kUsage,
                   QStringLiteral("Sets, removes or shows the global shortcuts of presets and actions. ") + kComboHelp);
        return kExitOk;
    }
    const QString sub = args.first();
    if (sub == QLatin1String("show"))
        return runShow(args.mid(1));
    if (sub == QLatin1String("set") || sub == QLatin1String("remove"))
        return runPresetShortcut(sub, args.mid(1));
    if (sub == QLatin1String("action"))
        return runActionShortcut(args.mid(1));
    if (sub == QLatin1String("press"))
        return runPress(args.mid(1));
    return usage(QStringLiteral("Unknown shortcut subcommand: %1").arg(sub));
}

} // namespace pierline::cli
