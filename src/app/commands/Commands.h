#pragma once

#include "app/instance/Messages.h"

#include <QStringList>
#include <optional>

// One function per subcommand; each lives in its own file beside this one.
namespace pierline::cli {

int runSandboxCommand(const QStringList& args);
int runDockCommand(const QStringList& args);
int runPresetsCommand(const QStringList& args);
int runPresetCommand(const QStringList& args);
int runSettingsCommand(const QStringList& args);
int runApplyCommand(const QStringList& args);
int runNoteCommand(const QStringList& args);
int runRunCommand(const QStringList& args);
int runStatusCommand(const QStringList& args);
// `status` answered by the running app on its server's thread, never behind a running request.
std::optional<CommandReply> quickStatusReply(const CommandRequest& request);
int runQuitCommand(const QStringList& args);
int runContextCommand(const QStringList& args);
int runHotkeyCommand(const QStringList& args);
int runKeyCommand(const QStringList& args);
int runShortcutCommand(const QStringList& args);
int runTargetCommand(const QStringList& args);
int runMetadataCommand(const QStringList& args);
int runExportCommand(const QStringList& args);
int runImportCommand(const QStringList& args);
int runMenuCommand(const QStringList& args);
int runWindowCommand(const QStringList& args);
int runCrashReportCommand(const QStringList& args);
int runOpenCommand(const QStringList& args);
int runDesktopCommand(const QStringList& args);
int runIntentCommand(const QStringList& args);
int runFocusCommand(const QStringList& args);
int runRuleCommand(const QStringList& args);
int runThemeCommand(const QStringList& args);
// Draw: run in the app executable, which has QtGui (`pierline` hands them over with exec). Icons
// are drawn from SVG files, and an upload sends its preset's icons.
int runShareCommand(const QStringList& args);
int runIconsCommand(const QStringList& args);
int runSpacerCommand(const QStringList& args);
// `pierline preset action ...` and `pierline preset companion ...` (reached through `preset`).
int runPresetActionCommand(const QStringList& args);
int runPresetCompanionCommand(const QStringList& args);
// Questions a command line asks the person at the terminal before it runs here or in the app; the
// answer is added to `args`. The exit code when the answer ends it.
std::optional<int> askBeforeRunning(QStringList& args);

} // namespace pierline::cli
