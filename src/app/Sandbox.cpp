#include "Sandbox.h"
#include "dock/DockTileNames.h"

#include "platform/AtomicFile.h"
#include "platform/Icns.h"
#include "platform/Plist.h"
#include "platform/SystemPaths.h"
#include "platform/Url.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QVariantList>
#include <QVariantMap>

namespace pierline {
namespace {

// Stands in for an application: runs until it gets SIGTERM (or SIGINT/SIGHUP), then quits.
const QByteArray kAppScript = QByteArrayLiteral("#!/bin/sh\n"
                                                "sleep 2147483647 &\n"
                                                "child=$!\n"
                                                "trap 'kill \"$child\" 2>/dev/null; exit 0' TERM INT HUP\n"
                                                "wait \"$child\"\n");

class Builder {
public:
    explicit Builder(QString root) : root_(std::move(root)) {}

    QString path(const QString& relative) const { return QDir(root_).filePath(relative); }

    bool makeFolder(const QString& relative) {
        if (QDir().mkpath(path(relative)))
            return true;
        error_ = QStringLiteral("Could not create %1").arg(path(relative));
        return false;
    }

    bool writeFile(const QString& relative, const QByteArray& bytes, bool executable = false) {
        const QString target = path(relative);
        if (!QDir().mkpath(QFileInfo(target).absolutePath())) {
            error_ = QStringLiteral("Could not create %1").arg(QFileInfo(target).absolutePath());
            return false;
        }
        const auto program = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                             QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
        const auto failed = replaceFileAtomically(target, bytes, executable ? std::optional(program) : std::nullopt);
        if (failed)
            error_ = *failed;
        return !failed;
    }

    bool writePlist(const QString& relative, const QVariant& value) {
        QString why;
        const auto xml = plistToXml(value, &why);
        if (!xml) {
            error_ = QStringLiteral("Could not encode %1: %2").arg(path(relative), why);
            return false;
        }
        return writeFile(relative, *xml);
    }

    bool makeBundle(const SandboxApp& app) {
        const QString bundle = QStringLiteral("Applications/%1.app").arg(app.name);
        QVariantMap info = {
            {QStringLiteral("CFBundleIdentifier"), app.identifier},
            {QStringLiteral("CFBundleName"), app.name},
            {QStringLiteral("CFBundleExecutable"), app.name},
            {QStringLiteral("CFBundlePackageType"), QStringLiteral("APPL")},
            {QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.0")},
        };
        info.insert(QStringLiteral("CFBundleIconFile"), QStringLiteral("AppIcon"));
        if (app.agent)
            info.insert(QStringLiteral("LSUIElement"), true);
        if (!app.startUrl.isEmpty())
            info.insert(QStringLiteral("Manifest"), QVariantMap{{QStringLiteral("start_url"), app.startUrl}});
        return writePlist(bundle + QStringLiteral("/Contents/Info.plist"), info) &&
               writeFile(bundle + QStringLiteral("/Contents/MacOS/") + app.name, kAppScript, true) &&
               writeFile(bundle + QStringLiteral("/Contents/Resources/AppIcon.icns"), sampleIcon(app.identifier));
    }

    // Plain squares of a colour of the app's own, in the usual single-resolution sizes.
    static QByteArray sampleIcon(const QString& identifier) {
        const quint32 hue = qHash(identifier) % 360;
        const quint32 rgba = hueColour(static_cast<int>(hue));
        QList<icns::Element> elements;
        for (const icns::IconsetImage& image : icns::iconsetImages())
            if (!image.fileName.contains(QLatin1Char('@')))
                elements.append({image.type, icns::solidColourPng(image.pixels, rgba)});
        return icns::write(elements);
    }

    // A saturated colour of the hue, opaque, as 0xRRGGBBAA.
    static quint32 hueColour(int hue) {
        const int sector = hue / 60;
        const int rising = (hue % 60) * 255 / 60;
        const int channels[6][3] = {{255, rising, 0},       {255 - rising, 255, 0}, {0, 255, rising},
                                    {0, 255 - rising, 255}, {rising, 0, 255},       {255, 0, 255 - rising}};
        const int* c = channels[sector];
        return quint32(c[0]) << 24 | quint32(c[1]) << 16 | quint32(c[2]) << 8 | 0xffu;
    }

    const QString& error() const { return error_; }

private:
    QString root_;
    QString error_;
};

QVariant guid() {
    return QVariant(static_cast<qint64>(QRandomGenerator::global()->generate()));
}

QVariantMap urlData(const QString& text) {
    return {{QStringLiteral("_CFURLString"), text}, {QStringLiteral("_CFURLStringType"), dock_tiles::kUrlStringType}};
}

QString fileUrl(const QString& path, bool directory) {
    return fileUrlFromPath(path, directory).toString(QUrl::FullyEncoded);
}

QVariantMap appTile(const QString& bundlePath, const SandboxApp& app) {
    const QVariantMap data = {
        {QStringLiteral("file-data"), urlData(fileUrl(bundlePath, true))},
        {QStringLiteral("file-label"), app.name},
        {QStringLiteral("file-type"), dock_tiles::kApplicationFileType},
        {QStringLiteral("bundle-identifier"), app.identifier},
        {QStringLiteral("dock-extra"), qint64(0)},
    };
    return {{QStringLiteral("GUID"), guid()},
            {QStringLiteral("tile-type"), dock_tiles::kFileTile},
            {QStringLiteral("tile-data"), data}};
}

QVariantMap spacer(const QString& type) {
    return {{QStringLiteral("GUID"), guid()},
            {QStringLiteral("tile-type"), type},
            {QStringLiteral("tile-data"), QVariantMap()}};
}

// showas: 0 auto, 1 fan, 2 grid, 3 list; displayas: 0 stack, 1 folder; arrangement: 1 name, 2 date added...
QVariantMap folderTile(const QString& path, qint64 showAs, qint64 displayAs, qint64 arrangement) {
    const QVariantMap data = {
        {QStringLiteral("file-data"), urlData(fileUrl(path, true))},
        {QStringLiteral("file-label"), lastPathComponent(path)},
        {QStringLiteral("file-type"), dock_tiles::kDirectoryFileType},
        {QStringLiteral("showas"), showAs},
        {QStringLiteral("displayas"), displayAs},
        {QStringLiteral("arrangement"), arrangement},
        {QStringLiteral("preferreditemsize"), qint64(-1)},
    };
    return {{QStringLiteral("GUID"), guid()},
            {QStringLiteral("tile-type"), dock_tiles::kDirectoryTile},
            {QStringLiteral("tile-data"), data}};
}

QVariantMap fileTile(const QString& path) {
    const QVariantMap data = {
        {QStringLiteral("file-data"), urlData(fileUrl(path, false))},
        {QStringLiteral("file-label"), lastPathComponent(path)},
    };
    return {{QStringLiteral("GUID"), guid()},
            {QStringLiteral("tile-type"), dock_tiles::kFileTile},
            {QStringLiteral("tile-data"), data}};
}

QVariantMap urlTile(const QString& url, const QString& label) {
    const QVariantMap data = {{QStringLiteral("url"), urlData(url)}, {QStringLiteral("label"), label}};
    return {{QStringLiteral("GUID"), guid()},
            {QStringLiteral("tile-type"), dock_tiles::kUrlTile},
            {QStringLiteral("tile-data"), data}};
}

const SandboxApp& appNamed(const QString& name) {
    for (const SandboxApp& app : Sandbox::sampleApps())
        if (app.name == name)
            return app;
    Q_UNREACHABLE();
}

// "/" and the user's home (or a folder above it) hold far more than a sandbox.
bool tooPreciousToClear(const QString& root) {
    const QString home = QDir::cleanPath(QDir::homePath());
    return root == QLatin1String("/") || root == home || home.startsWith(root + QLatin1Char('/'));
}

bool clearFolder(const QString& root, QString& error) {
    const QFileInfoList entries =
        QDir(root).entryInfoList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        // A link is removed, never what it points at.
        const bool removed = entry.isDir() && !entry.isSymLink() ? QDir(entry.filePath()).removeRecursively()
                                                                 : QFile::remove(entry.filePath());
        if (!removed) {
            error = QStringLiteral("Could not remove %1").arg(entry.filePath());
            return false;
        }
    }
    return true;
}

} // namespace

const QList<SandboxApp>& Sandbox::sampleApps() {
    static const QList<SandboxApp> apps = {
        {QStringLiteral("Safari"), QStringLiteral("com.apple.Safari"), false, {}},
        {QStringLiteral("Mail"), QStringLiteral("com.apple.Mail"), false, {}},
        {QStringLiteral("TextEdit"), QStringLiteral("com.apple.TextEdit"), false, {}},
        {QStringLiteral("Code Editor"), QStringLiteral("com.corvane.sample.editor"), false, {}},
        {QStringLiteral("Workbench IDE"), QStringLiteral("com.corvane.sample.ide"), false, {}},
        {QStringLiteral("Notes Helper"), QStringLiteral("com.corvane.sample.noteshelper"), true, {}},
    };
    return apps;
}

SandboxApp Sandbox::sampleWebApp() {
    return {QStringLiteral("Docs"), QStringLiteral("com.apple.Safari.WebApp.5E1B4C2A-7D3F-4E8B-9A61-2C0D8F3B7E19"),
            false, QStringLiteral("https://docs.example.org/app/")};
}

SandboxReport Sandbox::init(const QString& rootArgument, bool force) {
    SandboxReport report;
    const QString root = QDir::cleanPath(QDir(rootArgument).absolutePath());
    report.root = root;

    const QFileInfo rootInfo(root);
    if (rootInfo.exists() && !rootInfo.isDir()) {
        report.error = QStringLiteral("%1 exists and is not a folder").arg(root);
        return report;
    }
    const bool empty =
        !rootInfo.exists() || QDir(root).isEmpty(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden | QDir::System);
    if (!empty) {
        if (!force) {
            report.error =
                QStringLiteral("%1 is not empty; use --force to replace its contents with the sandbox").arg(root);
            return report;
        }
        if (tooPreciousToClear(root)) {
            report.error = QStringLiteral("Refusing to clear %1: it is / or holds your home folder").arg(root);
            return report;
        }
        if (!clearFolder(root, report.error))
            return report;
    }

    Builder b(root);
    if (!b.makeFolder(QStringLiteral("."))) {
        report.error = b.error();
        return report;
    }
    for (const SandboxApp& app : sampleApps()) {
        if (!b.makeBundle(app)) {
            report.error = b.error();
            return report;
        }
        report.apps.append(b.path(QStringLiteral("Applications/%1.app").arg(app.name)));
    }
    if (!b.makeBundle(sampleWebApp())) {
        report.error = b.error();
        return report;
    }
    const bool folders = b.makeFolder(QStringLiteral("Documents")) && b.makeFolder(QStringLiteral("Downloads")) &&
                         b.makeFolder(QStringLiteral("Projects/Site")) &&
                         b.makeFolder(QStringLiteral("Library/Application Support/Pierline")) &&
                         b.makeFolder(QStringLiteral("Library/Logs")) &&
                         b.writeFile(QStringLiteral("Documents/Readme.txt"),
                                     QByteArrayLiteral("A sample document of the Pierline sandbox.\n")) &&
                         b.writeFile(QStringLiteral("Projects/Site/index.html"),
                                     QByteArrayLiteral("<!doctype html>\n<title>Site</title>\n"));
    if (!folders) {
        report.error = b.error();
        return report;
    }
    // The system generation decides how spacer icons are drawn; the sandbox is the one before 26.
    const QVariantMap systemVersion = {{QStringLiteral("ProductName"), QStringLiteral("macOS")},
                                       {QStringLiteral("ProductVersion"), QStringLiteral("15.5")}};
    if (!b.writePlist(QStringLiteral("System/Library/CoreServices/SystemVersion.plist"), systemVersion)) {
        report.error = b.error();
        return report;
    }

    const auto bundle = [&](const QString& name) { return b.path(QStringLiteral("Applications/%1.app").arg(name)); };
    const QVariantList apps = {
        appTile(bundle(QStringLiteral("Safari")), appNamed(QStringLiteral("Safari"))),
        spacer(dock_tiles::kSpacerTile),
        appTile(bundle(QStringLiteral("Mail")), appNamed(QStringLiteral("Mail"))),
        spacer(dock_tiles::kSmallSpacerTile),
        appTile(bundle(QStringLiteral("Code Editor")), appNamed(QStringLiteral("Code Editor"))),
    };
    const QVariantList others = {
        folderTile(b.path(QStringLiteral("Downloads")), 1, 0, 2),
        folderTile(b.path(QStringLiteral("Documents")), 2, 1, 1),
        fileTile(b.path(QStringLiteral("Documents/Readme.txt"))),
        urlTile(QStringLiteral("https://example.com/"), QStringLiteral("Example")),
    };
    const QVariantMap dock = {
        {QStringLiteral("persistent-apps"), apps}, {QStringLiteral("persistent-others"), others},
        {QStringLiteral("tilesize"), qint64(48)},  {QStringLiteral("orientation"), QStringLiteral("bottom")},
        {QStringLiteral("show-recents"), false},   {QStringLiteral("mod-count"), qint64(1)},
        {QStringLiteral("version"), qint64(1)},
    };
    if (!b.writePlist(QStringLiteral("Library/Preferences/com.apple.dock.plist"), dock)) {
        report.error = b.error();
        return report;
    }
    report.dockApps = static_cast<int>(apps.size());
    report.dockOthers = static_cast<int>(others.size());

    // The writer looks for dockutil in the fixed Homebrew locations under the home.
    report.dockutilLink = b.path(QStringLiteral("usr/local/bin/dockutil"));
    report.dockutilTarget = SystemPaths::toolPath(QStringLiteral("dockutil"));
    report.dockutilTargetExists = QFileInfo(report.dockutilTarget).isExecutable();
    if (!b.makeFolder(QStringLiteral("usr/local/bin"))) {
        report.error = b.error();
        return report;
    }
    if (!QFile::link(report.dockutilTarget, report.dockutilLink)) {
        report.error = QStringLiteral("Could not link %1 to %2").arg(report.dockutilLink, report.dockutilTarget);
        return report;
    }
    report.ok = true;
    return report;
}

} // namespace pierline
