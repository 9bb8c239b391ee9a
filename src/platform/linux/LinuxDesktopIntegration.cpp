// The XDG side of links and the bus: mimeapps.list and the session bus's service folder.
#include "platform/AtomicFile.h"
#include "platform/DesktopIntegration.h"
#include "platform/LoginItem.h"
#include "platform/SystemPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace pierline {
namespace {

const QString kMimeKey = QStringLiteral("x-scheme-handler/pierline");
const QString kDefaultsGroup = QStringLiteral("[Default Applications]");
const QString kOurDefault = kMimeKey + QStringLiteral("=pierline.desktop");
const QString kBusName = QStringLiteral("com.corvane.pierline");

QString xdgFolder(const char* variable, const char* fallbackUnderHome) {
    const QString explicitDir = qEnvironmentVariable(variable);
    if (!explicitDir.isEmpty())
        return QDir::cleanPath(explicitDir);
    return QDir::homePath() + QLatin1Char('/') + QLatin1String(fallbackUnderHome);
}

QString mimeAppsFile() {
    return xdgFolder("XDG_CONFIG_HOME", ".config") + QStringLiteral("/mimeapps.list");
}

QString busServiceFile() {
    return xdgFolder("XDG_DATA_HOME", ".local/share") + QStringLiteral("/dbus-1/services/") + kBusName +
           QStringLiteral(".service");
}

// A word of the bus's Exec line, which it splits like a shell.
QString shellWord(const QString& word) {
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString busServiceText() {
    QStringList exec;
    if (SystemPaths::homeIsExplicit())
        exec << QStringLiteral("/usr/bin/env") << shellWord(QStringLiteral("PIERLINE_HOME=") + SystemPaths::home());
    exec << shellWord(QCoreApplication::applicationFilePath()) << QStringLiteral("run");
    return QStringLiteral("[D-BUS Service]\nName=%1\nExec=%2\n").arg(kBusName, exec.join(QLatin1Char(' ')));
}

// The file's text; nullopt (with `error`) when it exists but cannot be read. Absent is empty.
std::optional<QString> readExisting(const QString& path, QString* error) {
    QFile file(path);
    if (!file.exists())
        return QString();
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Could not read %1: %2; it was left as it is").arg(path, file.errorString());
        return std::nullopt;
    }
    return QString::fromUtf8(file.readAll());
}

std::optional<QString> writeText(const QString& path, const QString& text) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return QStringLiteral("Could not create %1").arg(QFileInfo(path).absolutePath());
    return replaceFileAtomically(path, text.toUtf8());
}

// The lines of mimeapps.list with our default set (`install`) or our own line taken out.
QStringList withOurDefault(QStringList lines, bool install) {
    qsizetype group = lines.indexOf(kDefaultsGroup);
    if (group < 0) {
        if (install) {
            if (!lines.isEmpty() && !lines.last().isEmpty())
                lines << QString();
            lines << kDefaultsGroup << kOurDefault;
        }
        return lines;
    }
    qsizetype end = group + 1;
    while (end < lines.size() && !lines[end].startsWith(QLatin1Char('[')))
        ++end;
    for (qsizetype i = group + 1; i < end; ++i) {
        if (!lines[i].startsWith(kMimeKey + QLatin1Char('=')))
            continue;
        if (install)
            lines[i] = kOurDefault;
        else if (lines[i] == kOurDefault)
            lines.removeAt(i);
        return lines;
    }
    if (install) {
        // After the group's last entry, before the blank lines that end it.
        qsizetype at = end;
        while (at > group + 1 && lines[at - 1].trimmed().isEmpty())
            --at;
        lines.insert(at, kOurDefault);
    }
    return lines;
}

std::optional<QString> editMimeApps(bool install, QStringList& changed) {
    const QString path = mimeAppsFile();
    QString error;
    const std::optional<QString> text = readExisting(path, &error);
    if (!text)
        return error;
    QStringList lines = text->split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    const QStringList edited = withOurDefault(lines, install);
    if (edited == lines)
        return std::nullopt;
    if (const auto failed = writeText(path, edited.join(QLatin1Char('\n')) + QLatin1Char('\n')))
        return failed;
    changed << path;
    return std::nullopt;
}

// Removes `path` when `isOurs` holds for its text.
std::optional<QString> removeIfOurs(const QString& path, bool (*isOurs)(const QString&), QStringList& changed) {
    QString error;
    const std::optional<QString> text = readExisting(path, &error);
    if (!text)
        return error;
    if (text->isEmpty() || !isOurs(*text))
        return std::nullopt;
    QFile file(path);
    if (!file.remove())
        return QStringLiteral("Could not remove %1: %2").arg(path, file.errorString());
    changed << path;
    return std::nullopt;
}

bool isOurHandler(const QString& text) {
    return text.contains(QStringLiteral("\nMimeType=x-scheme-handler/pierline;\n")) &&
           text.contains(QStringLiteral(" open %u\n"));
}

bool isOurService(const QString& text) {
    return text.startsWith(QStringLiteral("[D-BUS Service]\nName=") + kBusName + QLatin1Char('\n'));
}

} // namespace

DesktopIntegrationResult installDesktopIntegration() {
    DesktopIntegrationResult result;
    if (!LoginItem::shared().registerWithLaunchServices()) {
        result.error = QStringLiteral("Could not write the link handler %1").arg(linkHandlerDesktopFile());
        return result;
    }
    result.changed << linkHandlerDesktopFile();
    if ((result.error = editMimeApps(true, result.changed)))
        return result;
    if ((result.error = writeText(busServiceFile(), busServiceText())))
        return result;
    result.changed << busServiceFile();
    return result;
}

DesktopIntegrationResult uninstallDesktopIntegration() {
    DesktopIntegrationResult result;
    if ((result.error = removeIfOurs(linkHandlerDesktopFile(), isOurHandler, result.changed)))
        return result;
    if ((result.error = editMimeApps(false, result.changed)))
        return result;
    result.error = removeIfOurs(busServiceFile(), isOurService, result.changed);
    return result;
}

} // namespace pierline
