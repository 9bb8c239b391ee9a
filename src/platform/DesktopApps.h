#pragma once

#include "Workspace.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace pierline {

// The command of a desktop file's Exec line.
struct DesktopCommand {
    QString program;       // the first word, after a leading `env` and its assignments
    QStringList arguments; // the words after it, field codes removed
    QString resolved;      // the absolute path of the program; empty when it cannot be found
};

// Splits an Exec value (already unescaped as a desktop value): double quotes group words, a
// backslash escapes `"`, `` ` ``, `$` and `\` inside them, field codes are removed ("%%" is "%"),
// and a leading `env [-i] [-u NAME] VAR=value...` is dropped. The program is resolved against
// `workingFolder` when it has a "/", else through `searchPath`. nullopt with `error` set for an
// unclosed quote or an empty command.
std::optional<DesktopCommand> parseDesktopCommand(const QString& exec, const QStringList& searchPath,
                                                  const QString& workingFolder, QString* error = nullptr);

// The folders of the PATH variable.
QStringList executableSearchPath();

// Every installed desktop file, one per desktop ID: the first applications folder that has an ID
// wins, as for a lookup.
QStringList installedDesktopFiles();

// Desktop-file apps of the user's session: which of them run, and starting them.
class DesktopApps {
public:
    virtual ~DesktopApps() = default;

    static DesktopApps& shared();
    static void setShared(DesktopApps* apps); // nullptr restores the system one

    // The processes of the user's session that run one of `desktopFiles`, one entry per process
    // and desktop file it matches: bundlePath is the desktop file, localizedName its Name, and an
    // app the menus hide (NoDisplay) is an Accessory. A helper process of an app listed for the
    // same file is left out. Never lists other users' processes, services, the session's own
    // programs, our parent chain or Pierline.
    virtual QList<RunningApplication> runningApplications(const QStringList& desktopFiles) const = 0;

    // A desktop file of an application that can be started.
    virtual bool isApplication(const QString& desktopFile) const = 0;
    // Starts the app, unless a process of it runs already.
    virtual OpenResult openApplication(const QString& desktopFile) = 0;
    // Starts the app with `filePath`.
    virtual OpenResult openFile(const QString& filePath, const QString& desktopFile) = 0;
};

std::unique_ptr<DesktopApps> createSystemDesktopApps();

} // namespace pierline
