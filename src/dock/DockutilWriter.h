#pragma once

#include "DockWriteReport.h"
#include "core/DockFolderStack.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace pierline {

// One step of a Dock write: a plain-log line to print or a command text for the shell runner.
struct WriterStep {
    enum class Kind { Print, Run };
    Kind kind;
    QString text;
    bool operator==(const WriterStep&) const = default;
};

// Puts a preset onto the Dock through the external dockutil tool: clear, add apps and spacers,
// add folders, files and web links, restart the Dock once.
class DockutilWriter {
public:
    // The tool at one of the fixed install paths, else on the login shell's search path.
    static std::optional<QString> findDockutil();

    // Everything the write prints and runs, up to and including the Dock restart, in order.
    static QList<WriterStep> plan(const QString& dockutilPath, const QString& presetName, const QStringList& apps,
                                  const QList<DockFolderStackValues>& items);

    // Runs the plan, pauses one second on the shared clock, then hands back to `finishApply`
    // before its last line. A failed command stops nothing; the report counts it.
    static DockWriteReport apply(const QString& dockutilPath, const QString& presetName, const QStringList& apps,
                                 const QList<DockFolderStackValues>& items, const std::function<void()>& finishApply);

    static DockWriteReport runSteps(const QList<WriterStep>& steps);

    static inline const QString kRestartCommand = QStringLiteral("killall Dock");

    // The tool path in double quotes, the prefix of every command.
    static QString quotedToolPath(const QString& path);
    // Every single quote becomes '\'' so the text can sit between single quotes.
    static QString escapeSingleQuotes(const QString& text);
    // A view, display or sort value: inserted as stored when it is plain words, quoted otherwise,
    // so a hostile stored value cannot reach the shell as syntax.
    static QString optionValue(const QString& value);

    static constexpr double kRestartPause = 1.0;
};

} // namespace pierline
