#include "ToolTestSupport.h"

#include "platform/ShellRunner.h"

namespace pierline::test {
namespace {

QString quotedForShell(QString text) {
    return "'" + text.replace("'", "'\\''") + "'";
}

// Runs one command line through the shell, worded the way the Dock writer words them.
QString dockutil(const QString& arguments) {
    return runShellCommand("\"" + SystemPaths::toolPath("dockutil") + "\" " + arguments);
}

QVariantList apps() {
    return dockDomain().value("persistent-apps").toList();
}
QVariantList others() {
    return dockDomain().value("persistent-others").toList();
}

class DockutilTool : public ::testing::Test {
protected:
    void SetUp() override {
        safari = home.makeBundle("Applications", "Safari", "com.apple.Safari");
        mail = home.makeBundle("Applications", "Mail", "com.apple.Mail");
        bobs = home.makeBundle("Applications", "Bob's App", "com.example.bob");
        QDir().mkpath(home.file("Work/Docs"));
        QDir().mkpath(home.file("Home/Docs"));
        readme = home.write("Docs é/Read me.txt", "hello");
        // A Dock with content and a key that no edit may lose.
        writeDockDomain(home, xmlPlist(domain({spacerTile()}, {urlTile("https://example.com/", "Example")})));
    }

    TempHome home;
    QString safari, mail, bobs, readme;
};

TEST_F(DockutilTool, RemoveAllEmptiesBothSectionsKeepsOtherKeysAndRestartsUnlessToldNotTo) {
    const ToolRun r = runTool("dockutil", {"--remove", "all", "--no-restart"});
    ASSERT_EQ(r.exit, 0) << r.err.toStdString();
    const QVariantMap dock = dockDomain();
    EXPECT_EQ(dock.value("persistent-apps"), QVariant(QVariantList()));
    EXPECT_EQ(dock.value("persistent-others"), QVariant(QVariantList()));
    EXPECT_EQ(dock.value("tilesize"), QVariant(qint64(48)));
    EXPECT_FALSE(QFile::exists(home.file("Library/Logs/Dock.log")));

    EXPECT_EQ(runTool("dockutil", {"--add", safari}).exit, 0);
    EXPECT_EQ(runTool("dockutil", {"--remove", "all"}).exit, 0);
    QFile log(home.file("Library/Logs/Dock.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(log.readAll()).count("Dock restarted\n"), 2);
}

TEST_F(DockutilTool, AppsAndSpacersLandInOrderWithTheDockShapes) {
    dockutil("--remove all --no-restart");
    // A spacer before any app goes to the start; the rest follow the writer's sequence.
    dockutil("--add '' --type small-spacer-tile --section apps --no-restart");
    dockutil("--add " + quotedForShell(safari) + " --no-restart");
    dockutil("--add '' --type spacer-tile --section apps --after " + quotedForShell(safari) + " --no-restart");
    dockutil("--add " + quotedForShell(bobs) + " --no-restart");
    dockutil("--add " + quotedForShell(mail) + " --no-restart");
    // --after an app that is not the last one inserts right behind it.
    dockutil("--add '' --type small-spacer-tile --section apps --after " + quotedForShell(bobs) + " --no-restart");

    const QVariantList tiles = apps();
    QStringList read;
    for (const QVariant& t : tiles)
        read << tileType(t) + " " + tileUrl(t);
    EXPECT_EQ(read, (QStringList{"small-spacer-tile ", "file-tile " + dirUrl(safari), "spacer-tile ",
                                 "file-tile " + dirUrl(bobs), "small-spacer-tile ", "file-tile " + dirUrl(mail)}));
    EXPECT_TRUE(dirUrl(bobs).startsWith("file:///") && dirUrl(bobs).endsWith("/Bob's%20App.app/"));
    const QVariantMap data = tileData(tiles.value(1));
    for (const auto& [key, value] : {std::pair<const char*, QVariant>{"file-label", "Safari"},
                                     {"file-data", fileData(dirUrl(safari))},
                                     {"bundle-identifier", "com.apple.Safari"},
                                     {"file-type", qint64(41)}})
        EXPECT_EQ(data.value(key), value) << key;
    EXPECT_EQ(tileData(tiles.value(3)).value("file-label"), QVariant("Bob's App"));
    EXPECT_NE(tiles.value(1).toMap().value("GUID"), tiles.value(5).toMap().value("GUID"));
    EXPECT_TRUE(others().isEmpty());
}

struct FolderCase {
    const char* arguments; // view, display and sort as the writer inserts them, unquoted
    qint64 showas;
    qint64 displayas;
    qint64 arrangement;
};

TEST_F(DockutilTool, FoldersTakeEveryViewDisplayAndSort) {
    const FolderCase cases[] = {
        {"--view auto --display stack --sort name", 0, 0, 1},
        {"--view fan --display folder --sort date added", 1, 1, 2},
        {"--view grid --display stack --sort date modified", 2, 0, 3},
        {"--view list --display folder --sort date created", 3, 1, 4},
        {"--view grid --display folder --sort kind", 2, 1, 5},
        {"--view fan --display stack --sort dateadded", 1, 0, 2},
        {"", 0, 0, 1}, // defaults: auto, stack, name
    };
    for (const FolderCase& c : cases) {
        dockutil("--remove all --no-restart");
        dockutil("--add " + quotedForShell(home.file("Work/Docs")) + " " + c.arguments + " --no-restart");
        const QVariantList tiles = others();
        ASSERT_EQ(tiles.size(), 1) << c.arguments;
        EXPECT_EQ(tileType(tiles[0]), "directory-tile");
        const QVariantMap data = tileData(tiles[0]);
        EXPECT_EQ(data.value("showas"), QVariant(c.showas)) << c.arguments;
        EXPECT_EQ(data.value("displayas"), QVariant(c.displayas)) << c.arguments;
        EXPECT_EQ(data.value("arrangement"), QVariant(c.arrangement)) << c.arguments;
        EXPECT_EQ(tileUrl(tiles[0]), dirUrl(home.file("Work/Docs")));
        EXPECT_EQ(data.value("file-label"), QVariant("Docs"));
        EXPECT_TRUE(apps().isEmpty());
    }
    // Same-named folders get the writer's "name (parent)" labels.
    dockutil("--add " + quotedForShell(home.file("Home/Docs")) + " --view grid --display folder --sort name --label " +
             quotedForShell("Docs (Home)") + " --no-restart");
    EXPECT_EQ(tileData(others().last()).value("file-label"), QVariant("Docs (Home)"));
}

TEST_F(DockutilTool, FilesAndWebLinksGoToOthers) {
    dockutil("--remove all --no-restart");
    dockutil("--add " + quotedForShell(readme) + " --type file --no-restart");
    dockutil("--add 'https://example.com/a?b=1' --label 'Bob'\\''s site' --no-restart");
    ASSERT_EQ(runTool("dockutil", {"--add", "http://example.org/", "--no-restart"}).exit, 0);
    const QVariantList tiles = others();
    ASSERT_EQ(tiles.size(), 3);
    EXPECT_EQ(tileType(tiles[0]), "file-tile");
    EXPECT_EQ(tileUrl(tiles[0]), fileUrlFromPath(readme).toString(QUrl::FullyEncoded));
    EXPECT_TRUE(tileUrl(tiles[0]).endsWith("/Docs%20%C3%A9/Read%20me.txt")) << tileUrl(tiles[0]).toStdString();
    EXPECT_EQ(tileData(tiles[0]).value("file-label"), QVariant("Read me.txt"));
    EXPECT_EQ(tileType(tiles[1]), "url-tile");
    EXPECT_EQ(tileUrl(tiles[1]), "https://example.com/a?b=1");
    EXPECT_EQ(tileData(tiles[1]).value("label"), QVariant("Bob's site"));
    EXPECT_EQ(tileData(tiles[1]).value("url").toMap().value("_CFURLStringType"), QVariant(qint64(15)));
    EXPECT_EQ(tileData(tiles[2]).value("label"), QVariant("http://example.org/"));
    EXPECT_TRUE(apps().isEmpty());
}

TEST_F(DockutilTool, BadRequestsFailAndChangeNothing) {
    const QVariantMap before = dockDomain();
    struct Case {
        QStringList args;
        const char* message;
    };
    const Case cases[] = {
        {{"--add", home.file("Missing.app"), "--no-restart"}, "does not exist"},
        {{"--add", home.file("Work/Docs"), "--frobnicate", "--no-restart"}, "unknown option --frobnicate"},
        {{"--add", home.file("Work/Docs"), "--view", "tiles", "--no-restart"}, "invalid --view"},
        {{"--add", home.file("Work/Docs"), "--display", "pile", "--no-restart"}, "invalid --display"},
        {{"--add", home.file("Work/Docs"), "--sort", "date", "--no-restart"}, "invalid --sort"},
        {{"--add", home.file("Work/Docs"), "--section", "middle", "--no-restart"}, "invalid --section"},
        {{"--add", "", "--type", "wide-spacer", "--no-restart"}, "unknown --type"},
        {{"--add"}, "missing value for --add"},
        {{"--remove", "Nothing Here", "--no-restart"}, "was not found"},
        {{"--no-restart"}, "usage"},
    };
    for (const Case& c : cases) {
        const ToolRun r = runTool("dockutil", c.args);
        EXPECT_EQ(r.exit, 1) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
    }
    EXPECT_EQ(dockDomain(), before);
    EXPECT_FALSE(QFile::exists(home.file("Library/Logs/Dock.log")));

    // A Dock domain that is not a property list is refused, not replaced.
    const QString path = home.write("Library/Preferences/com.apple.dock.plist", "garbage");
    EXPECT_EQ(runTool("dockutil", {"--remove", "all", "--no-restart"}).exit, 1);
    EXPECT_EQ(runTool("dockutil", {"--add", safari, "--no-restart"}).exit, 1);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("garbage"));
}

TEST_F(DockutilTool, ItemsAreNamedByPathOrLabelAndDuplicatesRefused) {
    dockutil("--remove all --no-restart");
    runTool("dockutil", {"--add", safari, "--no-restart"});
    // After an unknown item: appended, with a warning.
    const ToolRun r = runTool("dockutil", {"--add", mail, "--after", "/nowhere/Gone.app", "--no-restart"});
    EXPECT_EQ(r.exit, 0);
    EXPECT_TRUE(r.err.contains("/nowhere/Gone.app")) << r.err.toStdString();
    ASSERT_EQ(apps().size(), 2);
    EXPECT_EQ(tileUrl(apps()[1]), dirUrl(mail));
    runTool("dockutil", {"--add", "", "--type", "spacer-tile", "--after", "Safari", "--no-restart"});
    EXPECT_EQ(tileType(apps()[1]), "spacer-tile");

    const ToolRun again = runTool("dockutil", {"--add", safari + "/", "--no-restart"});
    EXPECT_EQ(again.exit, 0);
    EXPECT_TRUE(again.err.contains("already exists")) << again.err.toStdString();
    EXPECT_EQ(apps().size(), 3);
    EXPECT_EQ(runTool("dockutil", {"--remove", "Mail", "--no-restart"}).exit, 0);
    EXPECT_EQ(runTool("dockutil", {"--remove", safari, "--no-restart"}).exit, 0);
    EXPECT_EQ(apps().size(), 1);
}

} // namespace
} // namespace pierline::test
