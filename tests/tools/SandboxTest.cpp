#include "ToolTestSupport.h"

#include "app/Sandbox.h"
#include "app/commands/Commands.h"

#include <QFileInfo>

namespace pierline::test {
namespace {

TEST(Sandbox, RefusesAFolderThatIsNotEmptyUnlessForcedAndNeverTheHomeFolder) {
    TempHome home;
    const QString root = home.file("box");
    const QString keep = home.write("box/mine.txt", "precious");

    SandboxReport report = Sandbox::init(root, false);
    EXPECT_FALSE(report.ok);
    EXPECT_TRUE(report.error.contains("--force")) << report.error.toStdString();
    EXPECT_TRUE(QFile::exists(keep));
    EXPECT_FALSE(QFile::exists(root + "/Applications"));
    EXPECT_EQ(cli::runSandboxCommand({"init", root}), 1);

    // A link inside the folder is removed, not what it points at.
    const QString outside = home.write("outside/keep.txt", "x");
    ASSERT_TRUE(QFile::link(home.file("outside"), root + "/link"));
    report = Sandbox::init(root, true);
    ASSERT_TRUE(report.ok) << report.error.toStdString();
    EXPECT_FALSE(QFile::exists(keep));
    EXPECT_FALSE(QFileInfo(root + "/link").isSymLink());
    EXPECT_TRUE(QFile::exists(outside));

    // Never the home folder, nor one above it.
    QTemporaryDir fakeHome;
    ScopedEnv homeVar("HOME", fakeHome.path().toUtf8());
    ASSERT_EQ(QDir::cleanPath(QDir::homePath()), QDir::cleanPath(fakeHome.path())); // never touch the real one
    const QString mine = fakeHome.filePath("mine.txt");
    QFile(mine).open(QIODevice::WriteOnly);
    const SandboxReport atHome = Sandbox::init(fakeHome.path(), true);
    const SandboxReport above = Sandbox::init(QFileInfo(fakeHome.path()).absolutePath(), true);
    EXPECT_FALSE(atHome.ok);
    EXPECT_FALSE(above.ok);
    EXPECT_TRUE(QFile::exists(mine));
}

TEST(Sandbox, BuildsBundlesFoldersAndADockThatUsesEveryTileKind) {
    TempHome home;
    // The default root is PIERLINE_HOME; point it at a fresh folder (TempHome restores it).
    const QString root = home.file("fresh");
    qputenv("PIERLINE_HOME", root.toUtf8());
    ASSERT_EQ(cli::runSandboxCommand({"init"}), 0);

    for (const SandboxApp& app : Sandbox::sampleApps()) {
        const QString bundle = root + "/Applications/" + app.name + ".app";
        const QVariantMap info = parsedFile(bundle + "/Contents/Info.plist").toMap();
        EXPECT_EQ(info.value("CFBundleIdentifier"), QVariant(app.identifier));
        EXPECT_EQ(info.value("CFBundleName"), QVariant(app.name));
        EXPECT_EQ(info.value("LSUIElement").toBool(), app.agent) << app.name.toStdString();
        const QString exe = bundle + "/Contents/MacOS/" + info.value("CFBundleExecutable").toString();
        EXPECT_TRUE(QFileInfo(exe).isExecutable()) << exe.toStdString();
        EXPECT_TRUE(QFileInfo(bundle + "/Contents/Resources").isDir());
    }
    // One web app made by Safari lies in Applications; the Dock below does not use it.
    const QVariantMap webInfo = parsedFile(root + "/Applications/Docs.app/Contents/Info.plist").toMap();
    EXPECT_TRUE(webInfo.value("CFBundleIdentifier").toString().startsWith("com.apple.Safari.WebApp."));
    EXPECT_EQ(webInfo.value("Manifest").toMap().value("start_url"), QVariant("https://docs.example.org/app/"));
    EXPECT_TRUE(QFileInfo(root + "/Projects/Site").isDir());
    EXPECT_TRUE(QFileInfo(root + "/Downloads").isDir());
    EXPECT_TRUE(QFile::exists(root + "/Documents/Readme.txt"));

    // The Dock domain reads back with the expected tiles and real URLs of the sandbox.
    const QVariantMap dock = dockDomain();
    const QVariantList apps = dock.value("persistent-apps").toList();
    const QVariantList others = dock.value("persistent-others").toList();
    QStringList tiles;
    for (const QVariant& t : apps + others)
        tiles << tileType(t) + " " + tileUrl(t);
    const auto app = [&](const char* name) { return dirUrl(root + "/Applications/" + name + ".app"); };
    EXPECT_EQ(tiles, (QStringList{
                         "file-tile " + app("Safari"), "spacer-tile ", "file-tile " + app("Mail"), "small-spacer-tile ",
                         "file-tile " + app("Code Editor"), "directory-tile " + dirUrl(root + "/Downloads"),
                         "directory-tile " + dirUrl(root + "/Documents"),
                         "file-tile " + fileUrlFromPath(root + "/Documents/Readme.txt").toString(QUrl::FullyEncoded),
                         "url-tile https://example.com/"}));
    EXPECT_TRUE(app("Code Editor").endsWith("/Code%20Editor.app/"));
    EXPECT_EQ(tileData(apps.value(0)).value("file-label"), QVariant("Safari"));
    const auto stack = [&](int i) {
        const QVariantMap data = tileData(others.value(i));
        return QVariantList{data.value("showas"), data.value("displayas"), data.value("arrangement")};
    };
    EXPECT_EQ(stack(0), (QVariantList{qint64(1), qint64(0), qint64(2)}));
    EXPECT_EQ(stack(1), (QVariantList{qint64(2), qint64(1), qint64(1)}));
    EXPECT_EQ(tileData(others.value(3)).value("label"), QVariant("Example"));

    // The writer finds dockutil in a fixed location, and it drives this Dock.
    const QString link = SystemPaths::dockutilFixedPaths().last();
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), SystemPaths::toolPath("dockutil"));
    EXPECT_EQ(runTool("defaults", {"export", "com.apple.dock", "-"}).exit, 0);
    const ProcessResult listed = runProcess(link, {"--list"});
    EXPECT_EQ(listed.exitStatus, 0);
    EXPECT_EQ(QString::fromUtf8(listed.stdoutData).count('\n'), 9);
}

TEST(Sandbox, CommandLineUsage) {
    TempHome home;
    EXPECT_EQ(cli::runSandboxCommand({}), 2);
    EXPECT_EQ(cli::runSandboxCommand({"build"}), 2);
    EXPECT_EQ(cli::runSandboxCommand({"init", "--bogus"}), 2);
    EXPECT_EQ(cli::runSandboxCommand({"init", home.file("a"), home.file("b")}), 2);
    EXPECT_FALSE(QFile::exists(home.file("a")));
}

} // namespace
} // namespace pierline::test
