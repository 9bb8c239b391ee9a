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
        QDir().mkpath(home.file("Work/Docs"));
        QDir().mkpath(home.file("Home/Docs"));
        // A Dock with content and a key that no edit may lose.
        writeDockDomain(home, xmlPlist(domain({spacerTile()}, {urlTile("https://example.com/", "Example")})));
    }

    TempHome home;
    QString safari, mail;
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
    EXPECT_EQ(readFile(home.file("Library/Logs/Dock.log")).count("Dock restarted\n"), 2);
}

// Order, folder styles, files and links are covered by the writer round trip; the raw integers and
// the label the writer gives same-named folders are not.
TEST_F(DockutilTool, FolderStyleBecomesTheDocksIntegersAndTakesTheLabel) {
    dockutil("--remove all --no-restart");
    dockutil("--add " + quotedForShell(home.file("Home/Docs")) + " --view list --display folder --sort date created " +
             "--label " + quotedForShell("Docs (Home)") + " --no-restart");
    const QVariantList tiles = others();
    ASSERT_EQ(tiles.size(), 1);
    EXPECT_EQ(tileType(tiles[0]), "directory-tile");
    const QVariantMap data = tileData(tiles[0]);
    EXPECT_EQ((QVariantList{data.value("showas"), data.value("displayas"), data.value("arrangement")}),
              (QVariantList{qint64(3), qint64(1), qint64(4)}));
    EXPECT_EQ(data.value("file-label"), QVariant("Docs (Home)"));
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
    EXPECT_EQ(readFile(path), "garbage");
}

TEST_F(DockutilTool, AnchorsAreNamedByPathOrLabelAndDuplicatesRefused) {
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
}

} // namespace
} // namespace pierline::test
