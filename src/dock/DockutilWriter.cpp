#include "DockutilWriter.h"
#include "dock/DockTileNames.h"

#include "DockTiles.h"
#include "core/PresetRecord.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/ShellRunner.h"
#include "platform/SystemPaths.h"
#include "platform/Url.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace pierline {
namespace {

bool isExecutableFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QString itemTypeOf(const DockFolderStackValues& item) {
    return item.itemType.value_or(QStringLiteral("folder"));
}

QString locationOf(const DockFolderStackValues& item) {
    if (item.path)
        return *item.path;
    return item.url.value_or(QString());
}

QString orDefault(const QString& value, const char* fallback) {
    return value.isEmpty() ? QString::fromLatin1(fallback) : value;
}

class PlanBuilder {
public:
    void print(const QString& line) { steps.append({WriterStep::Kind::Print, line}); }
    void run(const QString& command) { steps.append({WriterStep::Kind::Run, command}); }
    QList<WriterStep> steps;
};

void planApps(PlanBuilder& b, const QString& p, const QStringList& apps) {
    std::optional<QString> lastApp; // quoted path of the last app added in this run
    for (const QString& entry : apps) {
        const bool small = isSmallSpacerEntry(entry);
        if (small || isSpacerEntry(entry)) {
            const QString tileType = small ? dock_tiles::kSmallSpacerTile : dock_tiles::kSpacerTile;
            const QString word = small ? QStringLiteral("small-spacer") : QStringLiteral("spacer");
            QString command = p + QStringLiteral(" --add '' --type ") + tileType + QStringLiteral(" --section apps");
            if (lastApp)
                command += QStringLiteral(" --after '") + *lastApp + QLatin1Char('\'');
            command += QStringLiteral(" --no-restart");
            b.run(command);
            b.print(lastApp ? QStringLiteral("Added %1 after %2").arg(word, *lastApp)
                            : QStringLiteral("Added %1 after start of dock").arg(word));
            continue;
        }
        const auto path = filePathOfLocation(entry);
        if (!path) {
            b.print(QStringLiteral("WARNING: Could not parse app URL: %1").arg(entry));
            continue;
        }
        const QString quoted = DockutilWriter::escapeSingleQuotes(*path);
        b.run(p + QStringLiteral(" --add '") + quoted + QStringLiteral("' --no-restart"));
        b.print(QStringLiteral("Added app: %1").arg(quoted));
        lastApp = quoted;
    }
}

void planItems(PlanBuilder& b, const QString& p, const QList<DockFolderStackValues>& items) {
    // Folders that share a last path component get "{name} ({parent})" labels to tell them apart.
    QHash<QString, int> folderNames;
    for (const DockFolderStackValues& item : items) {
        if (itemTypeOf(item) != QLatin1String("folder"))
            continue;
        if (const auto path = filePathOfLocation(locationOf(item)))
            folderNames[lastPathComponent(*path)] += 1;
    }

    for (const DockFolderStackValues& item : items) {
        const QString type = itemTypeOf(item);
        const QString location = locationOf(item);
        if (type == QLatin1String("folder")) {
            const auto path = filePathOfLocation(location);
            if (!path) {
                b.print(QStringLiteral("Skipping folder stack with invalid path: %1").arg(location));
                continue;
            }
            const QString view = orDefault(item.showAs, "auto");
            const QString display = orDefault(item.displayAs, "stack");
            const QString sort = orDefault(item.sortOrder, "name");
            QString command = p + QStringLiteral(" --add '") + DockutilWriter::escapeSingleQuotes(*path) +
                              QStringLiteral("' --view ") + DockutilWriter::optionValue(view) +
                              QStringLiteral(" --display ") + DockutilWriter::optionValue(display) +
                              QStringLiteral(" --sort ") + DockutilWriter::optionValue(sort);
            const QString name = lastPathComponent(*path);
            std::optional<QString> label;
            if (folderNames.value(name) >= 2) {
                label = QStringLiteral("%1 (%2)").arg(name, lastPathComponent(deletingLastPathComponent(*path)));
                command +=
                    QStringLiteral(" --label '") + DockutilWriter::escapeSingleQuotes(*label) + QLatin1Char('\'');
            }
            command += QStringLiteral(" --no-restart");
            b.run(command);
            if (label) {
                b.print(QStringLiteral("Added folder with settings: %1 (label: %2, view: %3, display: %4, sort: %5)")
                            .arg(*path, *label, view, display, sort));
            } else {
                b.print(QStringLiteral("Added folder with settings: %1 (view: %2, display: %3, sort: %4)")
                            .arg(*path, view, display, sort));
            }
        } else if (type == QLatin1String("file")) {
            const auto path = filePathOfLocation(location);
            if (!path) {
                b.print(QStringLiteral("Skipping file with invalid path: %1").arg(location));
                continue;
            }
            b.run(p + QStringLiteral(" --add '") + DockutilWriter::escapeSingleQuotes(*path) +
                  QStringLiteral("' --type file --no-restart"));
            b.print(QStringLiteral("Added file: %1").arg(*path));
        } else if (type == QLatin1String("url")) {
            if (!item.url || !item.label) {
                b.print(QStringLiteral("Skipping URL with missing URL or label"));
                continue;
            }
            b.run(p + QStringLiteral(" --add '") + DockutilWriter::escapeSingleQuotes(*item.url) +
                  QStringLiteral("' --label '") + DockutilWriter::escapeSingleQuotes(*item.label) +
                  QStringLiteral("' --no-restart"));
            b.print(QStringLiteral("Added URL: %1 with label: %2").arg(*item.url, *item.label));
        } else {
            b.print(QStringLiteral("Unknown item type: %1, skipping").arg(type));
        }
    }
}

} // namespace

std::optional<QString> DockutilWriter::findDockutil() {
    for (const QString& path : SystemPaths::dockutilFixedPaths()) {
        if (isExecutableFile(path)) {
            printLine(QStringLiteral("dockutil found via direct path: %1").arg(path));
            return path;
        }
    }
    printLine(QStringLiteral("dockutil not found in common paths, checking PATH using 'command -v'..."));
    const QString output =
        runShellCommand(SystemPaths::shellPath() + QStringLiteral(" -l -c \"command -v dockutil\"")).trimmed();
    if (!output.isEmpty() && isExecutableFile(output)) {
        printLine(QStringLiteral("dockutil found via PATH ('command -v'): %1").arg(output));
        return output;
    }
    printLine(QStringLiteral("dockutil check via PATH failed or path not executable: '%1'").arg(output));
    return std::nullopt;
}

QString DockutilWriter::quotedToolPath(const QString& path) {
    QString escaped;
    escaped.reserve(path.size() + 2);
    for (const QChar c : path) {
        // Inside double quotes the shell still expands these four.
        if (c == QLatin1Char('"') || c == QLatin1Char('\\') || c == QLatin1Char('$') || c == QLatin1Char('`'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString DockutilWriter::escapeSingleQuotes(const QString& text) {
    QString out = text;
    return out.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
}

QString DockutilWriter::optionValue(const QString& value) {
    static const QRegularExpression plainWords(QStringLiteral("^[A-Za-z0-9 _-]*$"));
    if (plainWords.match(value).hasMatch())
        return value;
    return QLatin1Char('\'') + escapeSingleQuotes(value) + QLatin1Char('\'');
}

QList<WriterStep> DockutilWriter::plan(const QString& dockutilPath, const QString& presetName, const QStringList& apps,
                                       const QList<DockFolderStackValues>& items) {
    const QString p = quotedToolPath(dockutilPath);
    PlanBuilder b;
    b.print(QStringLiteral("Applying preset using dockutil: %1").arg(presetName));
    b.print(QStringLiteral("Clearing existing persistent apps and folders via dockutil..."));
    b.run(p + QStringLiteral(" --remove all --no-restart"));
    b.print(QStringLiteral("Adding apps and spacers via dockutil..."));
    planApps(b, p, apps);
    b.print(QStringLiteral("Adding dock items via dockutil..."));
    planItems(b, p, items);
    b.print(QStringLiteral("Restarting Dock via killall..."));
    b.run(kRestartCommand);
    return b.steps;
}

DockWriteReport DockutilWriter::runSteps(const QList<WriterStep>& steps) {
    DockWriteReport report{.written = true};
    for (const WriterStep& step : steps) {
        if (step.kind == WriterStep::Kind::Print) {
            printLine(step.text);
            continue;
        }
        const bool ok = runShellCommandForResult(step.text).succeeded;
        if (step.text == kRestartCommand)
            continue;
        ++report.commands;
        if (!ok)
            ++report.failed;
    }
    return report;
}

DockWriteReport DockutilWriter::apply(const QString& dockutilPath, const QString& presetName, const QStringList& apps,
                                      const QList<DockFolderStackValues>& items,
                                      const std::function<void()>& finishApply) {
    const DockWriteReport report = runSteps(plan(dockutilPath, presetName, apps, items));
    Clock::shared().sleep(kRestartPause);
    if (finishApply)
        finishApply();
    printLine(QStringLiteral("applyPresetUsingDockutil finished for preset: %1").arg(presetName));
    return report;
}

} // namespace pierline
