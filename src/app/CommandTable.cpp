#include "Cli.h"
#include "commands/Commands.h"

namespace pierline::cli {

const QList<Command>& commands() {
    static const QList<Command> table = {
        {QStringLiteral("sandbox"), QStringLiteral("Make the sample environment (sandbox init)."), runSandboxCommand},
        {QStringLiteral("dock"), QStringLiteral("Show the current Dock."), runDockCommand},
        {QStringLiteral("presets"), QStringLiteral("List the presets."), runPresetsCommand},
        {QStringLiteral("preset"), QStringLiteral("Make, change, show or delete a preset."), runPresetCommand},
        {QStringLiteral("settings"), QStringLiteral("Show or change the settings."), runSettingsCommand},
        {QStringLiteral("apply"), QStringLiteral("Apply a preset and wait for its side effects."), runApplyCommand},
        {QStringLiteral("note"), QStringLiteral("Set or show app notes."), runNoteCommand},
        {QStringLiteral("hotkey"), QStringLiteral("Set or show key sequences and multi-presses."), runHotkeyCommand},
        {QStringLiteral("run"), QStringLiteral("Run Pierline for this home (takes later commands)."), runRunCommand},
        {QStringLiteral("status"), QStringLiteral("Say whether Pierline runs on this home."), runStatusCommand},
        {QStringLiteral("target"), QStringLiteral("Show or check the dock Pierline drives."), runTargetCommand},
        {QStringLiteral("quit"), QStringLiteral("Quit the Pierline running on this home."), runQuitCommand},
        {QStringLiteral("key"), QStringLiteral("Describe or record a key combination."), runKeyCommand},
        {QStringLiteral("shortcut"), QStringLiteral("Set, remove or show preset and action shortcuts."),
         runShortcutCommand},
    };
    return table;
}

} // namespace pierline::cli
