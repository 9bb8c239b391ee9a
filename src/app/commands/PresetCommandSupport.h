#pragma once

#include "core/DockPreset.h"
#include "platform/Toasts.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace pierline {
class DockPresetManager;
}

// Shared by the preset commands (PresetsCommand.cpp, PresetCommand.cpp, PresetItemCommands.cpp).
namespace pierline::cli {

// Who opens the store: a command, or the running app, which also watches the network.
enum class StoreUse { Command, RunningApp };
// Opens the store and brings up the preset manager (its start-up pass makes the default preset
// on an empty store). Null, after printing why on stderr, when the store cannot be opened.
DockPresetManager* openPresetManager(StoreUse use = StoreUse::Command);
// The oldest preset with this name; null after printing "No preset named '...'." on stderr.
DockPresetPtr findPresetOrComplain(DockPresetManager& manager, const QString& name);
// Every preset in list order; nullopt after printing the store's fetch error.
std::optional<QList<DockPresetPtr>> fetchAllPresetsOrComplain(DockPresetManager& manager);
// Both steps above: the manager and the named preset, or a null preset after printing why.
struct PresetLookup {
    DockPresetManager* manager = nullptr;
    DockPresetPtr preset;
};
PresetLookup openPreset(const QString& name);
// A whole non-negative number.
std::optional<int> parsePosition(const QString& text);
// Why `text` is not a position, for the argument `name` (e.g. "INDEX must be 0 or more, got -1").
QString positionError(const QString& name, const QString& text);
// "1 item", "3 items".
QString countOf(qsizetype count, const QString& noun);
// Prints a usage error and returns the usage exit code.
int usageError(const QString& message, const QString& usage);
// The one wording of a wrong count of arguments: "Expected NAME and COMBO".
QString expectedArguments(const QStringList& names);
// Removing what is not there succeeds and says so, the same way for every kind of thing:
// "Preset 'Work' has no shortcut; nothing to remove".
inline QString nothingToRemove(const QString& whatIsMissing) {
    return whatIsMissing + QStringLiteral("; nothing to remove");
}

// An editor's toasts on the command line: successes are the answer on stdout (on stderr for a
// command whose answer is something else), failures go to stderr and fail the command. A short
// refusal is followed by the detail, e.g. the path it refused.
class CommandToasts : public ToastPresenter {
public:
    explicit CommandToasts(bool successesOnStderr = false);
    void showToast(const Toast& toast) override;
    bool failed() const { return failed_; }
    void setDetail(const QString& detail) { detail_ = detail; }

private:
    bool successesOnStderr_ = false;
    bool failed_ = false;
    QString detail_;
};

// `pierline preset add-folder | add-file | add-url | move-item | remove-item | add-app | add-spacer |
// remove-app | item-settings | update-from-dock ...`
bool isPresetItemCommand(const QString& subcommand);
int runPresetItemCommand(const QString& subcommand, const QStringList& args);

} // namespace pierline::cli
