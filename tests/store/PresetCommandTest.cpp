#include "StoreFixtures.h"
#include "store/PersistenceController.h"
#include "support/PierlineCli.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <unistd.h>

using namespace pierline::test;
using namespace pierline::test::store;

namespace {

// One stored item as the backup record codes it.
QJsonObject stack(const QString& path, const QString& url, const QString& label, int order, const char* type,
                  const char* displayAs = "folder", const char* showAs = "grid", const char* sortOrder = "name") {
    return {{"path", path},           {"url", url},       {"label", label},        {"order", order}, {"itemType", type},
            {"displayAs", displayAs}, {"showAs", showAs}, {"sortOrder", sortOrder}};
}

QStringList field(const QJsonArray& array, const QString& key) {
    QStringList out;
    for (const auto& v : array)
        out.append(v.toObject().value(key).toVariant().toString());
    return out;
}

// Runs `pierline` and expects its exit code and, when given, a text on standard error.
CliRun cli(const QStringList& args, int exitCode = 0, const QString& message = {}) {
    const CliRun run = runPierline(args);
    EXPECT_EQ(run.exitCode, exitCode) << args.join(' ').toStdString() << ": " << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(message)) << run.err.toStdString();
    return run;
}

// Runs `pierline` through the shell, which first runs `prelude` (limits, odd arguments).
CliRun cliThroughShell(const QString& prelude, const QStringList& args) {
    QProcess process;
    process.start("/bin/sh", QStringList{"-c", prelude + "; exec \"$0\" \"$@\"", PIERLINE_BINARY} + args);
    return finishPierline(process);
}

// A disk with no room for the store's next write: no file may grow past 4 KiB.
CliRun cliOnFullDisk(const QStringList& args) {
    return cliThroughShell("trap '' XFSZ; ulimit -f 8", args);
}

class PresetCommands : public ::testing::Test {
protected:
    QJsonArray presets() { return QJsonDocument::fromJson(cli({"presets", "--json"}).out.toUtf8()).array(); }
    QJsonObject show(const QString& name) {
        return QJsonDocument::fromJson(cli({"preset", "show", name, "--json"}).out.toUtf8()).object();
    }
    QJsonArray stacks(const QString& name) { return show(name).value("folderStacks").toArray(); }

    TempHome home;
    SampleDock dock = writeSampleDock(home);
};

} // namespace

TEST_F(PresetCommands, FirstRunMakesTheDefaultAndListsItAsABackupRecord) {
    const QJsonArray list = presets();
    ASSERT_EQ(list.size(), 1);
    const QJsonObject preset = list.first().toObject();
    EXPECT_EQ(preset.value("name").toString(), "Default");
    EXPECT_EQ(preset.value("order").toInt(-1), 0);
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
                    .match(preset.value("idString").toString())
                    .hasMatch());
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$")
                    .match(preset.value("createdAt").toString())
                    .hasMatch());
    EXPECT_EQ(QJsonDocument::fromJson(preset.value("apps").toString().toUtf8()).array().toVariantList(),
              QVariant(dock.apps).toList());
    for (const char* absent :
         {"appNotes", "lastContextStatus", "lastContextNextSteps", "lastContextUpdatedAt", "appMetadata"})
        EXPECT_FALSE(preset.contains(absent)) << absent;
    // Folders only, with their stack settings.
    const QJsonArray stacks = preset.value("folderStacks").toArray();
    ASSERT_EQ(stacks.size(), 2);
    EXPECT_EQ(stacks[0].toObject(),
              stack(dock.downloads, dock.downloads, "", 0, "folder", "stack", "fan", "date added"));
    EXPECT_EQ(stacks[1].toObject(), stack(dock.documents, dock.documents, "", 1, "folder"));

    EXPECT_TRUE(cli({"presets"}).out.startsWith("0  Default  (3 apps, 2 items)  "));
}

TEST_F(PresetCommands, CreateFromTheDockCopiesAppsAndEveryItemKind) {
    const CliRun created = cli({"preset", "create", "Work", "--from-dock"}, 0, "Unknown tile type: recents-tile");
    const QJsonObject work = show("Work");
    EXPECT_EQ(work.value("idString").toString(), created.out.trimmed());
    EXPECT_EQ(work.value("order").toInt(), 1);
    EXPECT_EQ(QJsonDocument::fromJson(work.value("apps").toString().toUtf8()).array().toVariantList(),
              QVariant(dock.apps).toList());
    const QJsonArray items = work.value("folderStacks").toArray();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(field(items, "itemType"), (QStringList{"folder", "file", "url", "folder"}));
    EXPECT_EQ(field(items, "order"), (QStringList{"0", "1", "2", "3"}));
    EXPECT_EQ(items[1].toObject(), stack(dock.readme, dock.readme, "Read me", 1, "file"));
    EXPECT_EQ(items[2].toObject(), stack("", "https://example.com/", "Example", 2, "url"));

    cli({"preset", "create", "Empty"});
    EXPECT_EQ(show("Empty").value("apps").toString(), "[]");
    EXPECT_TRUE(stacks("Empty").isEmpty());
    cli({"preset", "create", "Work"}, 1, "Preset with name 'Work' already exists.");
    cli({"preset", "create", "Work", "--from-dock"}, 1, "Preset with name 'Work' already exists.");
    EXPECT_EQ(presets().size(), 3);

    // An unreadable Dock makes no preset.
    writeDockDomain(home, xmlPlist(QVariantList{"not a dictionary"}));
    const CliRun run =
        cli({"preset", "create", "Other", "--from-dock"}, 1, "Pierline couldn't understand your Dock layout.");
    EXPECT_TRUE(
        run.err.contains("Failed to read current dock while creating preset: Dock preferences did not contain the "
                         "expected plist structure"));
    EXPECT_EQ(field(presets(), "name"), (QStringList{"Default", "Work", "Empty"}));
}

TEST_F(PresetCommands, RenameDuplicateMoveAndDelete) {
    cli({"preset", "create", "Work"});
    cli({"preset", "create", "Play"});
    cli({"preset", "rename", "Work", "Play"}, 1,
        "Cannot rename preset: Another preset with name 'Play' already exists.");
    cli({"preset", "rename", "Work", "Office"});
    EXPECT_EQ(cli({"preset", "duplicate", "Office"}).out.trimmed(), "Office Copy");
    EXPECT_EQ(field(presets(), "name"), (QStringList{"Default", "Office", "Play", "Office Copy"}));

    cli({"preset", "move", "Default", "4"});
    cli({"preset", "move", "Office Copy", "0"});
    const QJsonArray moved = presets();
    EXPECT_EQ(field(moved, "name"), (QStringList{"Office Copy", "Office", "Play", "Default"}));
    EXPECT_EQ(field(moved, "order"), (QStringList{"0", "1", "2", "3"}));

    cli({"preset", "delete", "Office"});
    cli({"preset", "delete", "Office"}, 1, "No preset named 'Office'.");
    EXPECT_EQ(field(presets(), "name"), (QStringList{"Office Copy", "Play", "Default"}));
}

TEST_F(PresetCommands, ItemCommandsEditTheRightHandSide) {
    cli({"preset", "create", "Work"});
    const QString projects = QFileInfo(home.write("Projects/a.txt", "a")).absolutePath();
    const QString notes = home.write("My Notes.txt", "n");
    EXPECT_EQ(cli({"preset", "add-folder", "Work", projects, "--display-as", "stack", "--show-as", "list", "--sort",
                   "date modified"})
                  .out.trimmed(),
              "Projects added successfully");
    cli({"preset", "add-folder", "Work", projects + "/"}, 1, "This folder is already in the preset");
    cli({"preset", "add-file", "Work", notes});
    cli({"preset", "add-file", "Work", notes}, 1, "This file is already in the preset");
    cli({"preset", "add-url", "Work", "https://example.com/docs", "--label", "Docs"});
    cli({"preset", "add-file", "Work", home.file("missing.txt")}, 1, "Item does not exist");
    cli({"preset", "add-url", "Work", "not a url", "--label", "X"}, 2, "Invalid URL");

    QJsonArray items = stacks("Work");
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0].toObject(), stack("file://" + projects + "/", "file://" + projects + "/", "", 0, "folder",
                                         "stack", "list", "date modified"));
    EXPECT_EQ(items[1].toObject().value("path").toString(), "file://" + home.path() + "/My%20Notes.txt");
    EXPECT_EQ(items[1].toObject().value("label").toString(), "My Notes.txt");

    cli({"preset", "move-item", "Work", "0", "3"});
    items = stacks("Work");
    EXPECT_EQ(field(items, "itemType"), (QStringList{"file", "url", "folder"}));
    EXPECT_EQ(field(items, "order"), (QStringList{"0", "1", "2"}));
    cli({"preset", "remove-item", "Work", "0"});
    items = stacks("Work");
    EXPECT_EQ(field(items, "itemType"), (QStringList{"url", "folder"}));
    EXPECT_EQ(field(items, "order"), (QStringList{"0", "1"}));
}

TEST_F(PresetCommands, BadUsageAndAStoreThatCannotBeOpened) {
    for (const QStringList& args : {QStringList{"preset", "create"},
                                    {"preset", "frobnicate"},
                                    {"preset", "move", "Default", "first"},
                                    {"preset", "add-folder", "Default", home.path(), "--show-as", "pile"}})
        cli(args, 2);

    home.write("Library/Application Support/Pierline/Pierline.sqlite/occupied", "x");
    cli({"presets"}, 1, "Core Data initialization failed. Some features may not work properly.");
    cli({"presets"}, 1, "Could not open the preset store " + storePath(home) + ": ");
    EXPECT_TRUE(QFileInfo::exists(home.file("Library/Application Support/Pierline/Pierline.sqlite/occupied")));
}

// Several processes at once against one store file.
TEST_F(PresetCommands, ConcurrentProcessesLoseNothing) {
    // Four first runs on an empty store: one default preset between them.
    {
        std::vector<std::unique_ptr<QProcess>> starts;
        for (int i = 0; i < 4; ++i)
            starts.push_back(startPierline({"presets"}));
        for (auto& p : starts) {
            const CliRun run = finishPierline(*p);
            EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        }
    }
    EXPECT_EQ(field(presets(), "name"), QStringList{"Default"});

    // Two writers creating presets side by side.
    QStringList expected{"Default"};
    for (int round = 0; round < 8; ++round) {
        const QString a = QStringLiteral("A%1").arg(round), b = QStringLiteral("B%1").arg(round);
        auto first = startPierline({"preset", "create", a});
        auto second = startPierline({"preset", "create", b});
        for (QProcess* p : {first.get(), second.get()}) {
            const CliRun run = finishPierline(*p);
            EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        }
        expected << a << b;
    }
    QStringList names = field(presets(), "name");
    names.sort();
    expected.sort();
    EXPECT_EQ(names, expected);
}

TEST_F(PresetCommands, StoreWritesThatDoNotReachTheDiskFail) {
    cli({"preset", "add-url", "Default", "https://a.example", "--label", "A"});
    {
        pierline::PersistenceController holder; // keeps the store's log and shared index open, as a running app does
        const std::pair<QStringList, QString> cases[] = {
            {{"preset", "create", "Full"}, "Failed to save preset: "},
            {{"preset", "create", "Dock copy", "--from-dock"}, "Failed to save preset: "},
            {{"preset", "rename", "Default", "Home"}, "Error renaming preset ID "},
            {{"preset", "duplicate", "Default"}, "Error duplicating preset 'Default Copy': "},
            {{"preset", "delete", "Default"}, "Error deleting preset with ID "},
            {{"preset", "remove-item", "Default", "0"}, "Error removing folder stack: "},
        };
        for (const auto& [args, message] : cases) {
            const CliRun run = cliOnFullDisk(args);
            EXPECT_EQ(run.exitCode, 1) << args.join(' ').toStdString() << ": " << run.err.toStdString();
            EXPECT_TRUE(run.err.contains(message)) << run.err.toStdString();
        }
    }
    EXPECT_EQ(field(presets(), "name"), QStringList{"Default"});
    EXPECT_EQ(field(stacks("Default"), "label").last(), "A"); // after the Dock's two folders, none removed
    EXPECT_EQ(stacks("Default").size(), 3);
}

TEST_F(PresetCommands, NamesTheNextStartWouldReplaceAreUsageErrors) {
    for (const QString name : {"", "null", " Undefined ", "line\nbreak"}) {
        cli({"preset", "create", name}, 2, "preset name");
        cli({"preset", "rename", "Default", name}, 2, "preset name");
    }
    const CliRun notUtf8 = cliThroughShell("set -- \"$@\" \"$(printf 'x\\377')\"", {"preset", "create"});
    EXPECT_EQ(notUtf8.exitCode, 2) << notUtf8.err.toStdString();
    EXPECT_TRUE(notUtf8.err.contains("not valid UTF-8")) << notUtf8.err.toStdString();
    EXPECT_EQ(field(presets(), "name"), QStringList{"Default"});
}

// Names and labels end up in menus, lists and the log: 255 characters at most (an emoji is one),
// and no control characters in either.
TEST_F(PresetCommands, NamesAndLabelsHaveALengthLimitAndNoControlCharacters) {
    const QString longest = QString(254, 'n') + QString::fromUtf8("\U0001F600");
    cli({"preset", "create", longest});
    cli({"preset", "create", QString(256, 'n')}, 2, "The preset name is too long: 256 characters, at most 255.");
    cli({"preset", "rename", longest, longest + "x"}, 2, "The preset name is too long: 256 characters, at most 255.");
    const QString file = home.write("notes.txt", "x");
    for (const QString& label : {QString(256, 'l'), QStringLiteral("tab\there")}) {
        const QString problem = label.size() > 255 ? "The label is too long: 256 characters, at most 255."
                                                   : "The label must not contain control characters.";
        cli({"preset", "add-file", longest, file, "--label", label}, 2, problem);
        cli({"preset", "add-url", longest, "https://example.com/", "--label", label}, 2, problem);
    }
    cli({"preset", "add-url", longest, "https://example.com/", "--label", QString(255, 'l')});
    EXPECT_EQ(field(presets(), "name"), (QStringList{"Default", longest}));
    EXPECT_EQ(stacks(longest).size(), 1);
}

// A page that reads as an empty table gives no error of its own: the integrity check at open
// tells, the reads fail, and no write goes into the file until it is replaced.
TEST_F(PresetCommands, ADamagedStoreFailsItsReadsAndRefusesWrites) {
    cli({"preset", "create", "Work"});
    damageTableRoot(storePath(home), "ZDOCKPRESET", PageDamage::EmptyLeaf);
    const auto bytes = [&] {
        QFile file(storePath(home));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray damaged = bytes();
    for (const QStringList& args : {QStringList{"presets"}, QStringList{"preset", "show", "Work"},
                                    QStringList{"preset", "create", "New"}, QStringList{"preset", "create", "Work"}}) {
        const CliRun run =
            cli(args, 1, "Could not read the stored presets. The preset store " + storePath(home) + " is damaged (");
        EXPECT_TRUE(run.err.contains("move it away and Pierline starts a new, empty store")) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    }
    EXPECT_EQ(bytes(), damaged);

    // Moved away, the next run starts over.
    ASSERT_TRUE(QFile::rename(storePath(home), storePath(home) + ".damaged"));
    QFile::remove(storePath(home) + "-wal");
    QFile::remove(storePath(home) + "-shm");
    cli({"preset", "create", "New"});
    EXPECT_EQ(field(presets(), "name"), (QStringList{"Default", "New"}));
}

// A home on a read-only disk or folder: the store is still read, and a write says why it is refused.
TEST_F(PresetCommands, AStoreWeMayNotWriteIsReadButNeverWritten) {
    cli({"preset", "create", "Work"});
    const QString store = storePath(home);
    const QString folder = QFileInfo(store).absolutePath();
    const auto bytes = [&] {
        QFile file(store);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = bytes();
    const auto chmod = [](const QStringList& args) { ASSERT_EQ(QProcess::execute("chmod", args), 0); };
    // Root may write anywhere: its commands run as nobody, who may only read the home.
    const bool root = geteuid() == 0;
    if (root)
        chmod({"-R", "a+rX,go-w", home.path()});
    chmod({"a-w", folder, store});
    const auto asReader = [&](const QStringList& args) {
        QProcess process;
        process.setProcessEnvironment(environmentWith({}));
        if (root)
            process.start("setpriv",
                          QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", PIERLINE_BINARY} + args);
        else
            process.start(PIERLINE_BINARY, args);
        return finishPierline(process);
    };

    const CliRun listed = asReader({"presets"});
    EXPECT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_TRUE(listed.out.contains("Work")) << listed.out.toStdString();
    const CliRun shown = asReader({"preset", "show", "Work", "--json"});
    EXPECT_EQ(shown.exitCode, 0) << shown.err.toStdString();
    const CliRun created = asReader({"preset", "create", "New"});
    EXPECT_EQ(created.exitCode, 1);
    EXPECT_TRUE(created.err.contains("The preset store " + store + " is read-only here, so nothing is written to it."))
        << created.err.toStdString();
    EXPECT_EQ(bytes(), before);
    chmod({"u+w", folder, store});
}

TEST_F(PresetCommands, AStoreThatCannotBeReadFailsInsteadOfListingNothing) {
    cli({"preset", "create", "Work"});
    damageTableRoot(storePath(home), "ZDOCKPRESET", PageDamage::Garbage);
    for (const QStringList& args :
         {QStringList{"presets"}, QStringList{"presets", "--json"}, QStringList{"preset", "show", "Work"},
          QStringList{"preset", "rename", "Work", "X"}}) {
        const CliRun run = cli(args, 1, "Could not read the stored presets. ");
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    }
}
