#include "PresetShowExtras.h"

#include "CombinationFields.h"

#include "app/Cli.h"
#include "core/AppAction.h"
#include "core/PresetRecord.h"
#include "platform/UserDefaults.h"
#include "switching/ActionManager.h"
#include "switching/AppNoteManager.h"
#include "triggers/AdvancedHotkeyManager.h"
#include "triggers/CombinationText.h"
#include "triggers/ShortcutManager.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace pierline::cli {
namespace {

struct Extras {
    QJsonObject actions; // app entry -> {"actionType", "configuration"} (decoded)
    QJsonObject notes;   // app entry -> note in force
    std::optional<HarborletConfiguration> companion;
    bool companionOnly = false;
    std::optional<KeyCombination> shortcut;
    std::optional<PresetHotkeyConfiguration> advanced;
    QStringList problems; // what could not be read, said on stderr
};

Extras readExtras(const DockPreset& preset) {
    Extras extras;
    QString error;
    const QJsonObject stored = ActionManager::decodeActions(preset.appActions(), &error);
    if (!error.isEmpty())
        extras.problems << QStringLiteral("the app actions cannot be read: %1").arg(error);
    for (auto it = stored.begin(); it != stored.end(); ++it) {
        QJsonObject action{{QStringLiteral("actionType"), it.value().toObject().value(QStringLiteral("actionType"))}};
        if (const auto configuration = AppAction::decodeConfiguration(it.value().toObject()))
            action.insert(QStringLiteral("configuration"), *configuration);
        extras.actions.insert(it.key(), action);
    }
    extras.notes = AppNoteManager::shared().notesInForce(preset, decodeApps(preset.apps()));
    extras.companion = preset.harborletConfiguration();
    extras.companionOnly = preset.harborletOnlyMode();

    const std::optional<QUuid> id = preset.id();
    if (!id)
        return extras;
    const UserDefaults& defaults = UserDefaults::standard();
    for (const StoredShortcutRow& row :
         readShortcutTable(defaults.object(ShortcutManager::kPresetTableKey).value_or(QVariant()))) {
        if (QUuid(row.tableKey) == *id && row.shortcut)
            extras.shortcut = KeyCombination{carbonKeyCode(row.shortcut->key), row.shortcut->modifiers};
    }
    QString advancedError;
    if (const auto configurations = AdvancedHotkeyManager::readStoredConfigurations(&advancedError)) {
        if (const auto found = configurations->find(*id); found != configurations->end())
            extras.advanced = found->second;
    } else {
        extras.problems << QStringLiteral("the advanced hotkeys cannot be read: %1").arg(advancedError);
    }
    return extras;
}

QString combinationLine(const KeyCombination& combination) {
    return QStringLiteral("%1 (%2)").arg(combination.displayString(), combinationText(combination));
}

QString advancedLine(const PresetHotkeyConfiguration& configuration) {
    QString line = triggerTypeDisplayName(configuration.triggerType);
    if (configuration.triggerType == HotkeyTriggerType::sequence && configuration.actionKey)
        line += QLatin1Char(' ') + combinationLine(*configuration.actionKey);
    if (configuration.triggerType == HotkeyTriggerType::multiPress && configuration.multiPressKey) {
        line += QLatin1Char(' ') + combinationLine(*configuration.multiPressKey);
        if (configuration.multiPressCount)
            line += QStringLiteral(" ×%1").arg(*configuration.multiPressCount);
    }
    return line;
}

void reportProblems(const Extras& extras) {
    for (const QString& problem : extras.problems)
        err(QStringLiteral("Warning: %1").arg(problem));
}

} // namespace

QJsonObject presetExtrasJson(const DockPreset& preset) {
    const Extras extras = readExtras(preset);
    reportProblems(extras);
    QJsonObject object;
    if (!extras.actions.isEmpty())
        object.insert(QStringLiteral("appActions"), extras.actions);
    if (!extras.notes.isEmpty())
        object.insert(QStringLiteral("notesInForce"), extras.notes);
    if (extras.companion) {
        object.insert(QStringLiteral("harborletConfiguration"),
                      QJsonDocument::fromJson(extras.companion->toJson()).object());
    }
    object.insert(QStringLiteral("harborletOnlyMode"), extras.companionOnly);
    if (extras.shortcut)
        object.insert(QStringLiteral("shortcut"), combinationFields(*extras.shortcut));
    if (extras.advanced)
        object.insert(QStringLiteral("advancedHotkey"), extras.advanced->toJson());
    return object;
}

QStringList presetExtrasLines(const DockPreset& preset) {
    const Extras extras = readExtras(preset);
    reportProblems(extras);
    QStringList lines{QStringLiteral("Actions:")};
    for (auto it = extras.actions.begin(); it != extras.actions.end(); ++it) {
        const QJsonObject action = it.value().toObject();
        QString line = QStringLiteral("  %1  %2").arg(it.key(), action.value(QStringLiteral("actionType")).toString());
        const QJsonObject configuration = action.value(QStringLiteral("configuration")).toObject();
        if (!configuration.isEmpty())
            line +=
                QLatin1String("  ") + QString::fromUtf8(QJsonDocument(configuration).toJson(QJsonDocument::Compact));
        lines << line;
    }
    lines << QStringLiteral("Notes:");
    for (auto it = extras.notes.begin(); it != extras.notes.end(); ++it)
        lines << QStringLiteral("  %1  %2").arg(it.key(), it.value().toString());
    lines << QStringLiteral("Companion (Harborlet): show [%1], hide [%2], Harborlet-only %3")
                 .arg(extras.companion ? extras.companion->visibleDockIds.join(QStringLiteral(", ")) : QString(),
                      extras.companion ? extras.companion->hiddenDockIds.join(QStringLiteral(", ")) : QString(),
                      extras.companionOnly ? QStringLiteral("on") : QStringLiteral("off"));
    lines << QStringLiteral("Shortcut: %1")
                 .arg(extras.shortcut ? combinationLine(*extras.shortcut) : QStringLiteral("none"));
    lines << QStringLiteral("Advanced hotkey: %1")
                 .arg(extras.advanced ? advancedLine(*extras.advanced) : QStringLiteral("none"));
    return lines;
}

} // namespace pierline::cli
