#pragma once

#include "PresetSnapshot.h"
#include "core/AppAction.h"
#include "targets/DockTarget.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace pierline {

// Runs the per-app actions of an applied preset: open the app, open a project in an IDE, or
// open a browser with a profile. The three groups run concurrently; a failure stops nothing.
class AppActionExecutor {
public:
    struct Summary {
        int executed = 0; // actions that finished without error
        int browserProfiles = 0;
        int openApps = 0;
        int ideActions = 0;
        int processed = 0; // entries that were not skipped as spacers
    };

    // Blocking: returns when every action has finished. Runs inside the apply's action task;
    // `kind` is the kind of app the switch's dock target names.
    static Summary executeActionsForPreset(const PresetSnapshot& preset, DockAppKind kind);

    // One action each; nullopt on success. `record` is the stored action record; `kind` says
    // whether the entry is a bundle or a desktop file (the dock target's kind).
    static std::optional<ActionExecutionError> executeOpenAppAction(const QString& appURL, DockAppKind kind);
    static std::optional<ActionExecutionError> executeOpenInIDEAction(const QString& appURL, const QJsonObject& record,
                                                                      DockAppKind kind);
    static std::optional<ActionExecutionError> executeOpenBrowserProfileAction(const QString& appURL,
                                                                               const QJsonObject& record);

    // Prints which apps of the preset have actions.
    static void logActions(const PresetSnapshot& preset);

    static QString safariProfileScript(const QString& profileName);
};

} // namespace pierline
