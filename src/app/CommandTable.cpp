#include "Cli.h"
#include "commands/Commands.h"

namespace pierline::cli {

namespace {

constexpr Route Caller = Route::Caller;
constexpr Route App = Route::App;
constexpr Effect Reads = Effect::Reads;
constexpr Effect Changes = Effect::Changes;
constexpr Effect ChangesOwnFiles = Effect::ChangesOwnFiles;

RouteEntry bare(Route route, Effect effect) {
    return {QString(), route, effect, QString()};
}
RouteEntry sub(const char* name, Route route, Effect effect) {
    return {QString::fromLatin1(name), route, effect, QString()};
}
RouteEntry withOption(const char* option, Route route, Effect effect) {
    return {QString(), route, effect, QString::fromLatin1(option)};
}

} // namespace

const QList<Command>& commands() {
    static const QList<Command> table = {
        {QStringLiteral("sandbox"),
         QStringLiteral("Make the sample environment (sandbox init)."),
         runSandboxCommand,
         {bare(Route::RefusedWhileAppRuns, Changes), sub("init", Route::RefusedWhileAppRuns, Changes)}},
        {QStringLiteral("dock"), QStringLiteral("Show the current Dock."), runDockCommand, {bare(Caller, Reads)}},
        {QStringLiteral("presets"), QStringLiteral("List the presets."), runPresetsCommand, {bare(Caller, Reads)}},
        {QStringLiteral("preset"),
         QStringLiteral("Make, change, show or delete a preset."),
         runPresetCommand,
         {bare(Caller, Reads),
          sub("show", Caller, Reads),
          sub("create", App, Changes),
          sub("rename", App, Changes),
          sub("delete", App, Changes),
          sub("duplicate", App, Changes),
          sub("move", App, Changes),
          sub("add-folder", App, Changes),
          sub("add-file", App, Changes),
          sub("add-url", App, Changes),
          sub("move-item", App, Changes),
          sub("action", App, Changes),
          sub("companion", App, Changes),
          sub("remove-item", App, Changes),
          sub("add-app", App, Changes),
          sub("add-spacer", App, Changes),
          sub("add-custom-spacer", App, Changes),
          sub("remove-app", App, Changes),
          sub("item-settings", App, Changes),
          sub("update-from-dock", App, Changes),
          sub("delete-at", App, Changes),
          sub("preview", Caller, Reads)}},
        {QStringLiteral("settings"),
         QStringLiteral("Show or change the settings."),
         runSettingsCommand,
         {bare(Caller, Reads), sub("get", Caller, Reads), sub("set", App, Changes)}},
        {QStringLiteral("apply"),
         QStringLiteral("Apply a preset and wait for its side effects."),
         runApplyCommand,
         {bare(App, Changes)}},
        {QStringLiteral("note"),
         QStringLiteral("Set or show app notes."),
         runNoteCommand,
         {bare(Caller, Reads), sub("show", Caller, Reads), sub("set", App, Changes)}},
        {QStringLiteral("hotkey"),
         QStringLiteral("Set or show key sequences and multi-presses."),
         runHotkeyCommand,
         // debug shows the app's live state
         {bare(Caller, Reads), sub("show", Caller, Reads), sub("debug", App, Reads), sub("leader", App, Changes),
          sub("set", App, Changes), sub("remove", App, Changes)}},
        // The app itself; a second one on the home says so and ends.
        {QStringLiteral("run"),
         QStringLiteral("Run Pierline for this home (takes later commands)."),
         runRunCommand,
         {bare(Caller, Reads)}},
        {QStringLiteral("status"),
         QStringLiteral("Say whether Pierline runs on this home."),
         runStatusCommand,
         {bare(App, Reads)}},
        {QStringLiteral("target"),
         QStringLiteral("Show or check the dock Pierline drives."),
         runTargetCommand,
         {bare(Caller, Reads), sub("check", Caller, Reads)}},
        {QStringLiteral("quit"),
         QStringLiteral("Quit the Pierline running on this home."),
         runQuitCommand,
         {bare(App, Changes)}},
        // The running app's Last Context panel; every subcommand reads or drives the app's state.
        {QStringLiteral("context"),
         QStringLiteral("Show or drive the Last Context panel of the running app."),
         runContextCommand,
         {bare(App, Reads), sub("state", App, Reads), sub("save", App, Changes), sub("close", App, Changes),
          sub("pause", App, Changes), sub("resume", App, Changes), sub("edit", App, Changes),
          sub("request", App, Changes)}},
        {QStringLiteral("key"),
         QStringLiteral("Describe or record a key combination."),
         runKeyCommand,
         {bare(Caller, Reads), sub("describe", Caller, Reads), sub("record", Caller, Reads)}},
        {QStringLiteral("shortcut"),
         QStringLiteral("Set, remove or show preset and action shortcuts."),
         runShortcutCommand,
         {bare(Caller, Reads), sub("show", Caller, Reads), sub("set", App, Changes), sub("remove", App, Changes),
          sub("action", App, Changes), sub("press", App, Changes)}},
        {QStringLiteral("metadata"),
         QStringLiteral("Describe apps as a backup records them."),
         runMetadataCommand,
         {bare(Caller, Reads)}},
        // Writes a file of the user's, not the home.
        {QStringLiteral("export"),
         QStringLiteral("Write presets to a backup file."),
         runExportCommand,
         {bare(Caller, Reads)}},
        // An import adds presets through the running app; a preview only reads.
        {QStringLiteral("import"),
         QStringLiteral("Add presets from a backup file or a share link."),
         runImportCommand,
         {bare(App, Changes), withOption("preview", Caller, Reads)}},
        // The app's live menus and windows; without an app the menu is built from the store.
        {QStringLiteral("menu"),
         QStringLiteral("List or choose the items of the status or Dock menu."),
         runMenuCommand,
         {bare(App, Reads), sub("activate", App, Changes)}},
        {QStringLiteral("window"),
         QStringLiteral("Open or close a window of the running app."),
         runWindowCommand,
         {bare(App, Changes)}},
        {QStringLiteral("crash-report"),
         QStringLiteral("Say whether the crash reporter sends or drops an event."),
         runCrashReportCommand,
         {bare(Caller, Reads)}},
        // pierline:// links, as the desktop hands them over.
        {QStringLiteral("open"),
         QStringLiteral("Open pierline:// links (switch, import, open)."),
         runOpenCommand,
         {bare(App, Changes)}},
        // Writes the user's desktop files, not the home.
        {QStringLiteral("desktop"),
         QStringLiteral("Install or remove the link handler and the bus service."),
         runDesktopCommand,
         {bare(Caller, Reads)}},
        // Runs switch through the app, like every other trigger; listings read here.
        {QStringLiteral("intent"),
         QStringLiteral("List, describe or run the automation intents."),
         runIntentCommand,
         {bare(Caller, Reads), sub("list", Caller, Reads), sub("describe", Caller, Reads), sub("run", App, Changes),
          sub("continue", App, Changes)}},
        {QStringLiteral("focus"),
         QStringLiteral("Set, list or activate the Focus filters."),
         runFocusCommand,
         {bare(Caller, Reads), sub("list", Caller, Reads), sub("set", App, Changes), sub("remove", App, Changes),
          sub("activate", App, Changes)}},
        // check asks the running app's watchers when there is one.
        {QStringLiteral("rule"),
         QStringLiteral("Switch presets by workspace, Do Not Disturb, displays or network."),
         runRuleCommand,
         {bare(Caller, Reads), sub("list", Caller, Reads), sub("check", App, Reads), sub("add", App, Changes),
          sub("remove", App, Changes), sub("move", App, Changes)}},
        // The app's manager answers while it runs, so its current theme never goes stale; list and
        // current copy the bundled themes on a home that has none yet. check reads only its file.
        {QStringLiteral("theme"),
         QStringLiteral("List, show, switch or check the windows' colour themes."),
         runThemeCommand,
         {bare(Caller, Reads), sub("list", App, Changes), sub("current", App, Changes), sub("switch", App, Changes),
          sub("check", Caller, Reads)}},
        // Writes a temporary archive, or a file of the user's; the home is only read.
        {QStringLiteral("icons"),
         QStringLiteral("Pack the icons of a preset's apps into a ZIP."),
         runIconsCommand,
         {bare(Caller, Reads)}},
        // Sends a preset to the sharing service; the home is only read.
        {QStringLiteral("share"),
         QStringLiteral("Upload a preset to Quayshare."),
         runShareCommand,
         {bare(Caller, Reads), sub("upload", Caller, Reads)}},
        // Drawing needs QtGui, which only the caller has: an app without a display cannot draw text.
        // Spacer bundles are files of their own that the app does not hold.
        {QStringLiteral("spacer"),
         QStringLiteral("Make, change, list or remove custom spacer apps; draw their icons."),
         runSpacerCommand,
         {bare(Caller, Reads), sub("list", Caller, Reads), sub("show", Caller, Reads), sub("render", Caller, Reads),
          sub("check-name", Caller, Reads), sub("create", Caller, ChangesOwnFiles),
          sub("update", Caller, ChangesOwnFiles), sub("delete", Caller, ChangesOwnFiles)}},
    };
    return table;
}

} // namespace pierline::cli
