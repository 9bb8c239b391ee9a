// Drives the `pierline preset` editing commands through the binary on a private home with crafted
// Docks and bundles, and reads back what they stored.
#include "store/PersistenceController.h"
#include "support/DockPlist.h"
#include "support/GSettingsTool.h"
#include "support/PierlineCli.h"
#include "support/TempHome.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace pierline::test;

namespace {

QStringList field(const QJsonArray& array, const QString& key) {
    QStringList out;
    for (const auto& v : array)
        out.append(v.toObject().value(key).toVariant().toString());
    return out;
}

CliRun cli(const QStringList& args, int exitCode = 0, const QString& message = {}) {
    const CliRun run = runPierline(args);
    EXPECT_EQ(run.exitCode, exitCode) << args.join(' ').toStdString() << ": " << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(message)) << args.join(' ').toStdString() << ": " << run.err.toStdString();
    return run;
}

QString url(const QString& path, bool dir = false) {
    return QUrl::fromLocalFile(dir ? path + "/" : path).toString(QUrl::FullyEncoded);
}

class EditorCommands : public ::testing::Test {
protected:
    void SetUp() override {
        safari = home.makeBundle("Applications", "Safari", "com.example.safari");
        mail = home.makeBundle("Applications", "Mail", "com.example.mail");
        ide = home.makeBundle("Applications", "IDE", "com.example.ide");
        QDir(home.path()).mkpath("Projects");
        QDir(home.path()).mkpath("Downloads");
        notes = home.write("notes.txt", "n");
        dockWith({appTile(url(safari, true))}, {});
        cli({"preset", "create", "Work", "--from-dock"});
    }
    void dockWith(const QVariantList& apps, const QVariantList& others) {
        writeDockDomain(home, xmlPlist(domain(apps, others)));
    }
    QJsonObject show(const QString& name = "Work") {
        return QJsonDocument::fromJson(cli({"preset", "show", name, "--json"}).out.toUtf8()).object();
    }
    QStringList apps(const QString& name = "Work") {
        return QJsonDocument::fromJson(show(name).value("apps").toString().toUtf8()).toVariant().toStringList();
    }
    QJsonArray items(const QString& name = "Work") { return show(name).value("folderStacks").toArray(); }
    QStringList names() {
        return field(QJsonDocument::fromJson(cli({"presets", "--json"}).out.toUtf8()).array(), "name");
    }

    TempHome home;
    QString safari, mail, ide, notes;
};

TEST_F(EditorCommands, AddingAppsChecksInOrderAndInsertsAtTheDropPosition) {
    cli({"preset", "add-app", "Work", notes}, 1, "Only applications (.app) can be added here.");
    cli({"preset", "add-app", "Work", home.file("Applications/Gone.app")}, 1,
        "Invalid application path: " + home.file("Applications/Gone.app"));
    const CliRun added = cli({"preset", "add-app", "Work", "Safari"}, 1, "This application is already in the preset");
    EXPECT_TRUE(added.out.isEmpty());
    EXPECT_EQ(cli({"preset", "add-app", "Work", mail, "--at", "0"}).out, "Mail added successfully\nDock Saved\n");
    cli({"preset", "add-app", "Work", url(ide, true), "--at", "9"}); // past the end: appended
    EXPECT_EQ(apps(), (QStringList{url(mail, true), url(safari, true), url(ide, true)}));
    cli({"preset", "add-app", "Work", "Mail", "--at", "x"}, 2, "--at must be a whole number");

    // Names come from counting, so a list that lost spacer 0 gets a second "1".
    EXPECT_EQ(cli({"preset", "add-spacer", "Work"}).out, "Spacer added successfully\n");
    cli({"preset", "add-spacer", "Work", "--small"});
    cli({"preset", "add-spacer", "Work"});
    cli({"preset", "remove-app", "Work", "3"});
    cli({"preset", "add-spacer", "Work"});
    EXPECT_EQ(apps().mid(3), (QStringList{"pierline-small-spacer-0", "pierline-spacer-1", "pierline-spacer-1"}));

    cli({"preset", "remove-app", "Work", "1", "9"}, 1, "INDEX 9 is out of range: preset 'Work' has 6 apps (0 to 5).");
    cli({"preset", "remove-app", "Work", "one"}, 2, "INDEX must be a whole number");
    EXPECT_EQ(apps().size(), 6);
    cli({"preset", "remove-app", "Work", "0", "2"});
    EXPECT_EQ(apps().first(), url(safari, true));
    EXPECT_EQ(apps().size(), 4);
}

TEST_F(EditorCommands, CustomSpacersOfThisHomeOnly) {
    const QString gap = home.makeBundle("Library/Application Support/Pierline/CustomSpaces", "Gap", "com.x.gap");
    const QString foreign = home.makeBundle("Elsewhere", "Gap", "com.x.gap");
    cli({"preset", "add-custom-spacer", "Work", foreign}, 1, "Not a custom spacer of this home: " + foreign);
    cli({"preset", "add-custom-spacer", "Work", "Missing"}, 1, "Invalid application path");
    EXPECT_EQ(apps(), QStringList{url(safari, true)});
    EXPECT_EQ(cli({"preset", "add-custom-spacer", "Work", "Gap"}).out, "Gap added successfully\nDock Saved\n");
    EXPECT_EQ(apps(), (QStringList{url(safari, true), url(gap, true)}));

    cli({"preset", "remove-app", "Work", "1"});
    EXPECT_EQ(apps(), QStringList{url(safari, true)});
    EXPECT_TRUE(QFileInfo(gap).isDir()) << "removed from the preset only";

    // Deleting the app file too goes through the spacer commands' delete, which takes the bundle.
    cli({"preset", "add-custom-spacer", "Work", "Gap"});
    cli({"preset", "remove-app", "Work", "1", "--delete-app-file"});
    EXPECT_EQ(apps(), QStringList{url(safari, true)});
    EXPECT_FALSE(QFileInfo::exists(gap));
}

TEST_F(EditorCommands, SaveNormalisesTheListAndDropsNotesOfAppsThatLeft) {
    cli({"preset", "add-app", "Work", "Mail"});
    cli({"note", "set", "--preset", "Work", "Mail", "reply to Ann"});
    cli({"note", "set", "--preset", "Work", "Safari", "read the paper"});
    cli({"preset", "remove-app", "Work", "1"});
    const QString notesText = show().value("appNotes").toString();
    EXPECT_TRUE(notesText.contains("read the paper")) << notesText.toStdString();
    EXPECT_FALSE(notesText.contains("reply to Ann")) << notesText.toStdString();

    // An entry spelled with ".." is stored as its standard file URL by the next save.
    cli({"preset", "add-app", "Work", home.file("Applications/../Applications/IDE.app")});
    EXPECT_EQ(apps().last(), url(ide, true));
}

TEST_F(EditorCommands, RightHandItemsWithPositionsFiltersAndIndices) {
    const QString projects = home.file("Projects"), downloads = home.file("Downloads");
    EXPECT_EQ(cli({"preset", "add-folder", "Work", projects}).out, "Projects added successfully\n");
    cli({"preset", "add-file", "Work", notes});
    cli({"preset", "add-url", "Work", "https://example.com/", "--label", "Example"});
    cli({"preset", "add-folder", "Work", downloads, "--at", "1"});
    EXPECT_EQ(field(items(), "order"), (QStringList{"0", "1", "2", "3"}));
    EXPECT_EQ(field(items(), "path").mid(0, 2), (QStringList{url(projects, true), url(downloads, true)}));

    // Under a filter a new item goes to the end, whatever --at says.
    cli({"preset", "remove-item", "Work", "1"});
    EXPECT_EQ(cli({"preset", "add-folder", "Work", downloads, "--filter", "files", "--at", "0"}).out,
              "Item added to end. Clear filter to reorder.\nDownloads added successfully\n");
    EXPECT_EQ(field(items(), "itemType"), (QStringList{"folder", "file", "url", "folder"}));

    EXPECT_EQ(cli({"preset", "show", "Work", "--filter", "folders", "--rows"}).out,
              "0  folder  " + url(projects, true) + "  Folder • Grid • Name\n1  folder  " + url(downloads, true) +
                  "  Folder • Grid • Name\n");
    EXPECT_EQ(cli({"preset", "item-settings", "Work", "1", "--sort", "date added", "--show-as", "fan"}).out,
              "notes.txt settings updated successfully\n");
    EXPECT_EQ(cli({"preset", "show", "Work", "--rows"}).out.split('\n')[1],
              "1  file  " + url(notes) + "  Folder • Fan • Date Added");
    cli({"preset", "item-settings", "Work", "7"}, 1,
        "INDEX 7 is out of range: preset 'Work' has 4 right-hand items (0 to 3).");

    // The warning shows without -v, the detail follows; nothing is removed.
    const CliRun bad = cli({"preset", "remove-item", "Work", "0", "2", "--filter", "folders"}, 1);
    EXPECT_EQ(bad.err, "Warning: Invalid indices in deleteDockItem\n"
                       "INDEX 2 is out of range: preset 'Work' has 2 folders (0 to 1).\n");
    cli({"preset", "remove-item", "Work", "1", "--filter", "urls"}, 1, "Warning: Invalid indices in deleteURL");
    EXPECT_EQ(items().size(), 4);
    cli({"preset", "remove-item", "Work", "1", "0", "--filter", "folders"});
    EXPECT_EQ(field(items(), "itemType"), (QStringList{"file", "url"}));
    EXPECT_EQ(field(items(), "order"), (QStringList{"0", "1"}));
    cli({"preset", "remove-item", "Work", "0", "--filter", "urls"});
    EXPECT_EQ(field(items(), "itemType"), QStringList{"file"});
}

TEST_F(EditorCommands, UpdateAndCreateFromCraftedEmptyAndUnreadableDocks) {
    cli({"preset", "add-folder", "Work", home.file("Projects")});
    const QJsonObject before = show();

    cli({"preset", "update-from-dock", "Work"}, 1, "Not updated (no terminal; pass --yes)");
    dockWith({}, {});
    cli({"preset", "update-from-dock", "Work", "--yes"}, 1,
        "No pinned Dock items found. Running apps that are not pinned are not included.");
    writeDockDomain(home, xmlPlist(QVariantList{"not a dictionary"}));
    cli({"preset", "update-from-dock", "Work", "--yes"}, 1, "Pierline couldn't understand your Dock layout.");
    cli({"preset", "preview"}, 1, "Failed to preview current dock while creating preset: ");
    cli({"preset", "create", "Other", "--from-dock"}, 1, "Failed to read current dock while creating preset: ");
    EXPECT_EQ(show(), before);

    dockWith({appTile(url(mail, true)), spacerTile()},
             {urlTile("https://example.com/", "Example"), folderTile(url(home.file("Downloads"), true), 1, 2, 3),
              QVariantMap{{"tile-type", "recents-tile"}}});
    const QString preview = "Apps:\n  0  Mail  " + url(mail, true) +
                            "\n  1  Spacer  pierline-spacer-1\nItems:\n  0  url  https://example.com/  label=Example\n"
                            "  1  folder  " +
                            url(home.file("Downloads"), true) +
                            "  displayAs=folder showAs=grid sortOrder=date modified\n";
    EXPECT_EQ(cli({"preset", "preview"}).out.toStdString(), preview.toStdString());
    EXPECT_EQ(cli({"preset", "update-from-dock", "Work", "--yes"}).out, "Preset updated from current dock\n");
    EXPECT_EQ(apps(), (QStringList{url(mail, true), "pierline-spacer-1"}));
    EXPECT_EQ(field(items(), "itemType"), (QStringList{"url", "folder"}));

    const CliRun made = cli({"preset", "create", "Copy", "--from-dock"}, 0, "Unknown tile type: recents-tile");
    EXPECT_EQ(made.out.trimmed(), show("Copy").value("idString").toString());
    dockWith({}, {});
    EXPECT_EQ(cli({"preset", "preview"}).out,
              "No pinned Dock items were found. This preset will be created empty.\nApps:\nItems:\n");
    const CliRun bare =
        cli({"preset", "create", "Bare", "--from-dock"}, 0, "Preset created with no pinned Dock items copied.");
    EXPECT_FALSE(bare.out.contains("copied"));
}

TEST_F(EditorCommands, DeletingByNameAndByPosition) {
    cli({"preset", "create", "Play"});
    cli({"preset", "create", "Late"});
    EXPECT_EQ(names(), (QStringList{"Default", "Work", "Play", "Late"}));
    const CliRun bad = cli({"preset", "delete-at", "1", "4"}, 1);
    EXPECT_EQ(bad.err, "Warning: Invalid indices in deletePreset\n"
                       "INDEX 4 is out of range: the preset list has 4 presets (0 to 3).\n");
    cli({"preset", "delete-at", "x"}, 2, "INDEX must be a whole number");
    cli({"preset", "delete-at", "3", "1"});
    EXPECT_EQ(names(), (QStringList{"Default", "Play"}));
    cli({"preset", "delete", "Play"});
    cli({"preset", "delete", "Play"}, 1, "No preset named 'Play'.");
    EXPECT_EQ(names(), QStringList{"Default"});
}

// A disk with no room for the store's next write: no file may grow past 4 KiB.
CliRun cliOnFullDisk(const QStringList& args) {
    QProcess process;
    process.start("/bin/sh",
                  QStringList{"-c", "trap '' XFSZ; ulimit -f 8; exec \"$0\" \"$@\"", PIERLINE_BINARY} + args);
    return finishPierline(process);
}

TEST_F(EditorCommands, AWriteThatFailsChangesNothing) {
    cli({"preset", "add-folder", "Work", home.file("Projects")});
    cli({"preset", "create", "Play"});
    dockWith({appTile(url(mail, true))}, {urlTile("https://example.com/", "Example")});
    const QJsonObject before = show();
    {
        pierline::PersistenceController holder; // keeps the store's log open, as a running app does
        const std::pair<QStringList, QString> cases[] = {
            {{"preset", "update-from-dock", "Work", "--yes"}, "Failed to update preset from current dock: "},
            {{"preset", "add-app", "Work", "Mail"}, "Error saving context during transaction: "},
            {{"preset", "remove-app", "Work", "0"}, "Error saving context during transaction: "},
            {{"preset", "add-folder", "Work", home.file("Downloads"), "--at", "0"}, "Failed to add folder: "},
            {{"preset", "item-settings", "Work", "0", "--show-as", "fan"}, "Failed to update item settings: "},
            {{"preset", "add-url", "Work", "https://example.org/", "--label", "Org"}, "Failed to add link: "},
            {{"preset", "remove-item", "Work", "0"}, "Error removing folder stack: "},
            {{"preset", "delete-at", "0"}, "Error deleting preset with ID "},
        };
        for (const auto& [args, message] : cases) {
            const CliRun run = cliOnFullDisk(args);
            EXPECT_EQ(run.exitCode, 1) << args.join(' ').toStdString() << ": " << run.err.toStdString();
            EXPECT_TRUE(run.err.contains(message)) << run.err.toStdString();
        }
    }
    EXPECT_EQ(show(), before);
    EXPECT_EQ(names(), (QStringList{"Default", "Work", "Play"}));
}

// The running app takes the change; the question is asked where the person is.
TEST(EditorHandOver, TheQuestionIsAskedInTheCallerAndTheAppMakesTheChange) {
    QTemporaryDir dir;
    const QMap<QString, QString> env = privateHomeEnvironment(dir);
    ASSERT_EQ(runPierline({"sandbox", "init"}, env).exitCode, 0);
    ASSERT_EQ(runPierline({"preset", "create", "Work"}, env).exitCode, 0);
    auto app = startPierline({"run"}, env);
    ASSERT_TRUE(app->waitForStarted());
    ASSERT_TRUE(waitForRunningApp(*app, env));

    // No terminal: refused before the app hears of it.
    CliRun run = runPierline({"preset", "update-from-dock", "Work"}, env);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "Not updated (no terminal; pass --yes)\n");

    // On a terminal (script gives it one) the answer goes to the app with the command.
    const auto onTerminal = [&](const QString& answer) {
        QProcess shell;
        shell.setProcessEnvironment(environmentWith(env));
        shell.start("script", {"-qec", QString("%1 preset update-from-dock Work").arg(PIERLINE_BINARY), "/dev/null"});
        shell.write(answer.toUtf8() + "\n");
        shell.closeWriteChannel();
        return finishPierline(shell);
    };
    run = onTerminal("cancel");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.out.contains("This will replace all content with your current dock layout."))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("Not updated.")) << run.out.toStdString();
    EXPECT_EQ(
        QJsonDocument::fromJson(runPierline({"preset", "show", "Work", "--json"}, env).out.toUtf8())["apps"].toString(),
        "[]");
    run = onTerminal("Update");
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("Preset updated from current dock")) << run.out.toStdString();
    EXPECT_NE(
        QJsonDocument::fromJson(runPierline({"preset", "show", "Work", "--json"}, env).out.toUtf8())["apps"].toString(),
        "[]");
    const CliRun added = runPierline({"preset", "add-spacer", "Work"}, env);
    EXPECT_EQ(added.exitCode, 0) << added.err.toStdString();
    EXPECT_EQ(added.out, "Spacer added successfully\n");

    EXPECT_EQ(runPierline({"quit"}, env).exitCode, 0);
    finishPierline(*app);
}

// On the GNOME dash an app is a desktop file (keyfile settings backend, desktop IDs).
class GnomeEditor : public ::testing::Test {
protected:
    void SetUp() override {
        env["PIERLINE_HOME"] = dir.filePath("home");
        env["XDG_DATA_HOME"] = dir.filePath("data");
        env["XDG_DATA_DIRS"] = dir.filePath("system") + ":/usr/share";
        env["XDG_CURRENT_DESKTOP"] = "GNOME";
        env["HOME"] = dir.filePath("user");
        env["XDG_CONFIG_HOME"] = dir.filePath("config");
        env["GSETTINGS_BACKEND"] = "keyfile";
        QDir().mkpath(dir.filePath("home"));
        mailFile = desktopFile("applications/org.example.Mail.desktop", "Mail");
        editorFile = desktopFile("applications/editor.desktop", "Editor");
        runGsettings({"set", "org.gnome.shell", "favorite-apps", gvariantStringList({"org.example.Mail.desktop"})},
                     env);
    }
    QString desktopFile(const QString& relative, const QString& name) {
        const QString path = dir.filePath("data/" + relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=true\n").arg(name).toUtf8());
        return path;
    }
    CliRun pierline(const QStringList& args, int exitCode = 0, const QString& message = {}) {
        const CliRun run = runPierline(args, env);
        EXPECT_EQ(run.exitCode, exitCode) << args.join(' ').toStdString() << ": " << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(message)) << run.err.toStdString();
        return run;
    }
    QStringList apps() {
        const QJsonObject preset =
            QJsonDocument::fromJson(pierline({"preset", "show", "Work", "--json"}).out.toUtf8()).object();
        return QJsonDocument::fromJson(preset["apps"].toString().toUtf8()).toVariant().toStringList();
    }

    QTemporaryDir dir;
    QMap<QString, QString> env;
    QString mailFile, editorFile;
};

TEST_F(GnomeEditor, AppsAreDesktopFilesByPathUrlOrId) {
    pierline({"preset", "create", "Work", "--from-dock"});
    EXPECT_EQ(apps(), QStringList{url(mailFile)});
    const QString bundle = dir.filePath("home/Applications/Safari.app");
    QDir().mkpath(bundle);
    pierline({"preset", "add-app", "Work", bundle}, 1,
             "Only applications (.app) can be added here. (on the GNOME dash an app is a desktop file)");
    pierline({"preset", "add-app", "Work", "org.example.Mail.desktop"}, 1, "This application is already in the preset");
    pierline({"preset", "add-app", "Work", "missing.desktop"}, 1, "Invalid application path");
    EXPECT_EQ(pierline({"preset", "add-app", "Work", "editor.desktop", "--at", "0"}).out,
              "Editor added successfully\nDock Saved\n");
    EXPECT_EQ(apps(), (QStringList{url(editorFile), url(mailFile)}));

    runGsettings({"set", "org.gnome.shell", "favorite-apps", gvariantStringList({"editor.desktop"})}, env);
    pierline({"preset", "update-from-dock", "Work", "--yes"});
    EXPECT_EQ(apps(), QStringList{url(editorFile)});
}

} // namespace
