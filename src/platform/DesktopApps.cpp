#include "DesktopApps.h"

#include "DesktopEntry.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>
#include <atomic>

namespace pierline {
namespace {

std::atomic<DesktopApps*> g_desktopApps{nullptr};

// Words of an Exec value with field codes removed; a word that was only field codes goes away.
std::optional<QStringList> splitExec(const QString& exec, QString* error) {
    QStringList words;
    QString word;
    bool inWord = false; // quotes or a literal character seen: the word is kept even when empty
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        const QChar next = i + 1 < exec.size() ? exec[i + 1] : QChar();
        if (c == QLatin1Char('%')) {
            if (next == QLatin1Char('%')) {
                word += c;
                inWord = true;
            }
            ++i; // a field code stands for values we do not have
            continue;
        }
        if (quoted) {
            if (c == QLatin1Char('\\') && QStringLiteral("\"`$\\").contains(next)) {
                word += next;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                word += c;
            }
            continue;
        }
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
            if (inWord)
                words.append(word);
            word.clear();
            inWord = false;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted) {
        if (error)
            *error = QStringLiteral("unclosed quote in Exec line: %1").arg(exec);
        return std::nullopt;
    }
    if (inWord)
        words.append(word);
    return words;
}

bool isAssignment(const QString& word) {
    const qsizetype equals = word.indexOf(QLatin1Char('='));
    return equals > 0 && !word.left(equals).contains(QLatin1Char('/')) && !word.startsWith(QLatin1Char('-'));
}

// The index of the program after `env`'s options and assignments.
qsizetype afterEnv(const QStringList& words) {
    qsizetype i = 1;
    while (i < words.size()) {
        const QString& w = words[i];
        if (w == QLatin1String("-u") || w == QLatin1String("--unset") || w == QLatin1String("-C") ||
            w == QLatin1String("--chdir"))
            i += 2;
        else if (w.startsWith(QLatin1Char('-')) || isAssignment(w))
            ++i;
        else
            break;
    }
    return i;
}

bool isExecutableFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QString resolveProgram(const QString& program, const QStringList& searchPath, const QString& workingFolder) {
    if (program.contains(QLatin1Char('/'))) {
        QString path = program;
        if (QDir::isRelativePath(path)) {
            if (workingFolder.isEmpty())
                return {}; // relative to wherever the launcher runs: unknowable
            path = QDir(workingFolder).filePath(path);
        }
        path = QDir::cleanPath(path);
        return isExecutableFile(path) ? path : QString();
    }
    for (const QString& folder : searchPath) {
        if (folder.isEmpty() || QDir::isRelativePath(folder))
            continue;
        const QString path = QDir(folder).filePath(program);
        if (isExecutableFile(path))
            return QDir::cleanPath(path);
    }
    return {};
}

} // namespace

std::optional<DesktopCommand> parseDesktopCommand(const QString& exec, const QStringList& searchPath,
                                                  const QString& workingFolder, QString* error) {
    std::optional<QStringList> words = splitExec(exec, error);
    if (!words)
        return std::nullopt;
    qsizetype first = 0;
    if (!words->isEmpty() && QFileInfo(words->first()).fileName() == QLatin1String("env"))
        first = afterEnv(*words);
    if (first >= words->size()) {
        if (error)
            *error = QStringLiteral("no program in Exec line: %1").arg(exec);
        return std::nullopt;
    }
    DesktopCommand command;
    command.program = words->at(first);
    command.arguments = words->mid(first + 1);
    command.resolved = resolveProgram(command.program, searchPath, workingFolder);
    return command;
}

QStringList executableSearchPath() {
    const QString path = qEnvironmentVariable("PATH", QStringLiteral("/usr/local/bin:/usr/bin:/bin"));
    return path.split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

DesktopApps& DesktopApps::shared() {
    static const std::unique_ptr<DesktopApps> system = createSystemDesktopApps();
    DesktopApps* injected = g_desktopApps.load();
    return injected ? *injected : *system;
}

void DesktopApps::setShared(DesktopApps* apps) {
    g_desktopApps.store(apps);
}

} // namespace pierline
