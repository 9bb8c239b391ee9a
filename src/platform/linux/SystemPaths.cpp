#include "platform/SystemPaths.h"

#include "platform/Plist.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <pwd.h>
#include <unistd.h>

namespace pierline {
namespace {

QString env(const char* name) {
    // One variable, not a copy of the whole environment: paths are asked for on every log line.
    return qEnvironmentVariable(name);
}

QString underHome(const QString& relative) {
    return QDir(SystemPaths::home()).filePath(relative);
}

} // namespace

QString SystemPaths::home() {
    const QString explicitHome = env("PIERLINE_HOME");
    if (!explicitHome.isEmpty())
        return QDir::cleanPath(QDir(explicitHome).absolutePath());
    QString data = env("XDG_DATA_HOME");
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(data + QStringLiteral("/pierline/home"));
}

bool SystemPaths::homeIsExplicit() {
    return !env("PIERLINE_HOME").isEmpty();
}

QString SystemPaths::preferencesFolder() {
    return underHome(QStringLiteral("Library/Preferences"));
}
QString SystemPaths::applicationSupportFolder() {
    return underHome(QStringLiteral("Library/Application Support/Pierline"));
}
QString SystemPaths::logsFolder() {
    return underHome(QStringLiteral("Library/Logs"));
}
QString SystemPaths::applicationsFolder() {
    return underHome(QStringLiteral("Applications"));
}

QString SystemPaths::runningAppLockFile() {
    // In the home itself, beside the store: one app per home whatever the caller's environment.
    return QDir(applicationSupportFolder()).filePath(QStringLiteral("RunningApp.lock"));
}

QString SystemPaths::temporaryDirectory() {
    // Per user, never the shared /tmp: the user's TMPDIR, else the runtime folder, else the home's own.
    for (const char* name : {"TMPDIR", "XDG_RUNTIME_DIR"}) {
        const QString folder = env(name);
        if (!folder.isEmpty())
            return QDir::cleanPath(folder);
    }
    return underHome(QStringLiteral("tmp"));
}

QString SystemPaths::customSpacesFolder() {
    return QDir(applicationSupportFolder()).filePath(QStringLiteral("CustomSpaces"));
}

QString SystemPaths::preferencesFile(const QString& domain) {
    return QDir(preferencesFolder()).filePath(domain + QStringLiteral(".plist"));
}

namespace {

// This program's file. Before the application object exists (the app probes the display
// first), where Qt would say.
QString executablePath() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QString executableFolder() {
    const QString path = executablePath();
    return path.isEmpty() ? QString() : QFileInfo(path).absolutePath();
}

// The app executable lives among the tools; the `pierline` command lives in bin/ of an installed tree,
// or at the top of a build folder with the tools in libexec/pierline below it.
bool isToolsFolder(const QString& folder) {
    return folder.endsWith(QStringLiteral("/libexec/pierline"));
}

} // namespace

QString SystemPaths::toolsDirectory() {
    const QString explicitDir = env("PIERLINE_TOOLS_DIR");
    if (!explicitDir.isEmpty())
        return QDir::cleanPath(explicitDir);
    const QString exeDir = executableFolder();
    if (isToolsFolder(exeDir))
        return exeDir;
    const QString installed = QDir::cleanPath(exeDir + QStringLiteral("/../libexec/pierline"));
    const QString buildTree = QDir::cleanPath(exeDir + QStringLiteral("/libexec/pierline"));
    if (!QFileInfo(installed).isDir() && QFileInfo(buildTree).isDir())
        return buildTree;
    return installed;
}

QString SystemPaths::commandPath() {
    const QString exeDir = executableFolder();
    if (exeDir.isEmpty())
        return QStringLiteral("pierline");
    if (!isToolsFolder(exeDir))
        return executablePath();
    const QString installed = QDir::cleanPath(exeDir + QStringLiteral("/../../bin/pierline"));
    const QString buildTree = QDir::cleanPath(exeDir + QStringLiteral("/../../pierline"));
    if (!QFileInfo(installed).isFile() && QFileInfo(buildTree).isFile())
        return buildTree;
    return installed;
}

QString SystemPaths::toolPath(const QString& name) {
    return QDir(toolsDirectory()).filePath(name);
}

QString SystemPaths::shellPath() {
    return QStringLiteral("/bin/zsh");
}
QString SystemPaths::compilerPath() {
    const QString chosen = env("PIERLINE_CXX");
    if (!chosen.isEmpty())
        return chosen;
    for (const QString& name : {QStringLiteral("clang++"), QStringLiteral("g++")}) {
        const QString found = QStandardPaths::findExecutable(name);
        if (!found.isEmpty())
            return found;
    }
    return QStringLiteral("clang++"); // the shell then says it is missing, and the build shows that
}

QString SystemPaths::killPath() {
    return QStringLiteral("/bin/kill");
}

QStringList SystemPaths::dockutilFixedPaths() {
    return {underHome(QStringLiteral("opt/homebrew/bin/dockutil")),
            underHome(QStringLiteral("usr/local/bin/dockutil"))};
}

QString SystemPaths::applicationBundle() {
    const QString explicitBundle = env("PIERLINE_BUNDLE");
    if (!explicitBundle.isEmpty())
        return QDir::cleanPath(explicitBundle);
    return QDir(applicationsFolder()).filePath(QStringLiteral("Pierline.app"));
}

QString SystemPaths::bundleResource(const QString& name) {
    return QDir(applicationBundle()).filePath(QStringLiteral("Contents/Resources/") + name);
}

QString SystemPaths::systemVersion() {
    QFile file(underHome(QStringLiteral("System/Library/CoreServices/SystemVersion.plist")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const PlistParseResult parsed = parsePlist(file.read(1024 * 1024));
    if (!parsed.value || parsed.value->typeId() != QMetaType::QVariantMap)
        return {};
    const QVariant version = parsed.value->toMap().value(QStringLiteral("ProductVersion"));
    return version.typeId() == QMetaType::QString ? version.toString().trimmed() : QString();
}

int SystemPaths::systemMajorVersion() {
    bool ok = false;
    const int major = systemVersion().section(QLatin1Char('.'), 0, 0).toInt(&ok);
    return ok && major > 0 ? major : 0;
}

QString SystemPaths::expandingTilde(const QString& path) {
    if (path == QLatin1String("~"))
        return home();
    if (path.startsWith(QLatin1String("~/")))
        return home() + path.mid(1);
    return path;
}

QString SystemPaths::ownBundleIdentifier() {
    return QStringLiteral("com.corvane.pierline");
}

QString SystemPaths::userName() {
    // The database, not $USER, which a shell may have changed.
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
    return env("USER");
}

} // namespace pierline
