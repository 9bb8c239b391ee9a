#include "StoreFixtures.h"
#include "support/PierlineCli.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using namespace pierline::test;
using namespace pierline::test::store;

namespace {

CliRun pierline(const QStringList& args) {
    return runPierline(args);
}

// One stored item as the backup record codes it.
QJsonObject stack(const QString& path, const QString& url, const QString& label, int order, const char* type,
                  const char* displayAs = "folder", const char* showAs = "grid", const char* sortOrder = "name") {
    return {{"path", path},           {"url", url},       {"label", label},        {"order", order}, {"itemType", type},
            {"displayAs", displayAs}, {"showAs", showAs}, {"sortOrder", sortOrder}};
}

class PresetCommands : public ::testing::Test {
protected:
    QJsonArray presets() {
        const CliRun run = pierline({"presets", "--json"});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return QJsonDocument::fromJson(run.out.toUtf8()).array();
    }
    QJsonObject show(const QString& name) {
        const CliRun run = pierline({"preset", "show", name, "--json"});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return QJsonDocument::fromJson(run.out.toUtf8()).object();
    }
    static QStringList field(const QJsonArray& array, const QString& key) {
        QStringList out;
        for (const auto& v : array)
            out.append(v.toObject().value(key).toVariant().toString());
        return out;
    }

    TempHome home;
    SampleDock dock = writeSampleDock(home);
};

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
    const QJsonArray apps = QJsonDocument::fromJson(preset.value("apps").toString().toUtf8()).array();
    EXPECT_EQ(apps.toVariantList(), QVariant(dock.apps).toList());
    for (const char* absent :
         {"appNotes", "lastContextStatus", "lastContextNextSteps", "lastContextUpdatedAt", "appMetadata"})
        EXPECT_FALSE(preset.contains(absent)) << absent;
    const QJsonArray stacks = preset.value("folderStacks").toArray();
    ASSERT_EQ(stacks.size(), 2);
    EXPECT_EQ(stacks[0].toObject(),
              stack(dock.downloads, dock.downloads, "", 0, "folder", "stack", "fan", "date added"));
    EXPECT_EQ(stacks[1].toObject().value("path").toString(), dock.documents);

    const CliRun text = pierline({"presets"});
    EXPECT_EQ(text.exitCode, 0);
    EXPECT_TRUE(text.out.startsWith("0  Default  (3 apps, 2 items)  ")) << text.out.toStdString();
}

TEST_F(PresetCommands, CreateFromTheDockCopiesAppsAndEveryItemKind) {
    const CliRun created = pierline({"preset", "create", "Work", "--from-dock"});
    ASSERT_EQ(created.exitCode, 0) << created.err.toStdString();
    EXPECT_TRUE(created.err.contains("Unknown tile type: recents-tile"));
    const QJsonObject work = show("Work");
    EXPECT_EQ(work.value("idString").toString(), created.out.trimmed());
    EXPECT_EQ(work.value("order").toInt(), 1);
    EXPECT_EQ(QJsonDocument::fromJson(work.value("apps").toString().toUtf8()).array().toVariantList(),
              QVariant(dock.apps).toList());
    const QJsonArray stacks = work.value("folderStacks").toArray();
    ASSERT_EQ(stacks.size(), 4);
    EXPECT_EQ(field(stacks, "itemType"), (QStringList{"folder", "file", "url", "folder"}));
    EXPECT_EQ(field(stacks, "order"), (QStringList{"0", "1", "2", "3"}));
    EXPECT_EQ(stacks[1].toObject(), stack(dock.readme, dock.readme, "Read me", 1, "file"));
    EXPECT_EQ(stacks[2].toObject(), stack("", "https://example.com/", "Example", 2, "url"));

    const CliRun empty = pierline({"preset", "create", "Empty"});
    ASSERT_EQ(empty.exitCode, 0) << empty.err.toStdString();
    const QJsonObject emptyPreset = show("Empty");
    EXPECT_EQ(emptyPreset.value("apps").toString(), "[]");
    EXPECT_TRUE(emptyPreset.value("folderStacks").toArray().isEmpty());

    for (const QStringList& again :
         {QStringList{"preset", "create", "Work"}, QStringList{"preset", "create", "Work", "--from-dock"}}) {
        const CliRun refused = pierline(again);
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_TRUE(refused.err.contains("Preset with name 'Work' already exists.")) << refused.err.toStdString();
    }
    EXPECT_EQ(presets().size(), 3);
}

TEST_F(PresetCommands, UnreadableDockMakesNoPreset) {
    ASSERT_EQ(presets().size(), 1);
    writeDockDomain(home, xmlPlist(QVariantList{"not a dictionary"}));
    const CliRun run = pierline({"preset", "create", "Work", "--from-dock"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Pierline couldn't understand your Dock layout. Please contact support if this keeps "
                                 "happening."))
        << run.err.toStdString();
    EXPECT_TRUE(
        run.err.contains("Failed to read current dock while creating preset: Dock preferences did not contain the "
                         "expected plist structure"));
    EXPECT_EQ(field(presets(), "name"), QStringList{"Default"});
}

TEST_F(PresetCommands, RenameDuplicateMoveAndDelete) {
    ASSERT_EQ(pierline({"preset", "create", "Work"}).exitCode, 0);
    ASSERT_EQ(pierline({"preset", "create", "Play"}).exitCode, 0);

    CliRun run = pierline({"preset", "rename", "Work", "Play"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Cannot rename preset: Another preset with name 'Play' already exists."));
    EXPECT_EQ(pierline({"preset", "rename", "Work", "Work"}).exitCode, 0);
    EXPECT_EQ(pierline({"preset", "rename", "Work", "Office"}).exitCode, 0);

    run = pierline({"preset", "duplicate", "Office"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.trimmed(), "Office Copy");
    EXPECT_EQ(field(presets(), "name"), (QStringList{"Default", "Office", "Play", "Office Copy"}));

    EXPECT_EQ(pierline({"preset", "move", "Default", "4"}).exitCode, 0);
    EXPECT_EQ(pierline({"preset", "move", "Office Copy", "0"}).exitCode, 0);
    const QJsonArray moved = presets();
    EXPECT_EQ(field(moved, "name"), (QStringList{"Office Copy", "Office", "Play", "Default"}));
    EXPECT_EQ(field(moved, "order"), (QStringList{"0", "1", "2", "3"}));
    run = pierline({"preset", "move", "Play", "5"});
    EXPECT_EQ(run.exitCode, 1);

    EXPECT_EQ(pierline({"preset", "delete", "Office"}).exitCode, 0);
    run = pierline({"preset", "delete", "Office"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("No preset named 'Office'."));
    EXPECT_EQ(field(presets(), "name"), (QStringList{"Office Copy", "Play", "Default"}));
}

TEST_F(PresetCommands, ItemCommandsEditTheRightHandSide) {
    ASSERT_EQ(pierline({"preset", "create", "Work"}).exitCode, 0);
    const QString projects = QFileInfo(home.write("Projects/a.txt", "a")).absolutePath();
    const QString notes = home.write("My Notes.txt", "n");

    CliRun run = pierline({"preset", "add-folder", "Work", projects, "--display-as", "stack", "--show-as", "list",
                           "--sort", "date modified"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.trimmed(), "Projects added successfully");
    run = pierline({"preset", "add-folder", "Work", projects + "/"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("This folder is already in the preset"));
    ASSERT_EQ(pierline({"preset", "add-file", "Work", notes}).exitCode, 0);
    EXPECT_TRUE(pierline({"preset", "add-file", "Work", notes}).err.contains("This file is already in the preset"));
    ASSERT_EQ(pierline({"preset", "add-url", "Work", "https://example.com/docs", "--label", "Docs"}).exitCode, 0);

    run = pierline({"preset", "add-file", "Work", home.file("missing.txt")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Item does not exist"));
    EXPECT_TRUE(
        pierline({"preset", "add-url", "Work", "https://example.com"}).err.contains("URL and label are required"));
    EXPECT_TRUE(pierline({"preset", "add-url", "Work", "not a url", "--label", "X"}).err.contains("Invalid URL"));

    QJsonArray stacks = show("Work").value("folderStacks").toArray();
    ASSERT_EQ(stacks.size(), 3);
    const QJsonObject folder = stacks[0].toObject();
    EXPECT_EQ(folder.value("path").toString(), "file://" + projects + "/");
    EXPECT_EQ(folder.value("displayAs").toString(), "stack");
    EXPECT_EQ(folder.value("showAs").toString(), "list");
    EXPECT_EQ(folder.value("sortOrder").toString(), "date modified");
    EXPECT_EQ(stacks[1].toObject().value("path").toString(), "file://" + home.path() + "/My%20Notes.txt");
    EXPECT_EQ(stacks[1].toObject().value("label").toString(), "My Notes.txt");

    ASSERT_EQ(pierline({"preset", "move-item", "Work", "0", "3"}).exitCode, 0);
    stacks = show("Work").value("folderStacks").toArray();
    EXPECT_EQ(field(stacks, "itemType"), (QStringList{"file", "url", "folder"}));
    EXPECT_EQ(field(stacks, "order"), (QStringList{"0", "1", "2"}));
    EXPECT_EQ(pierline({"preset", "move-item", "Work", "3", "0"}).exitCode, 1);

    run = pierline({"preset", "remove-item", "Work", "5"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Warning: Invalid indices in deleteDockItem"));
    ASSERT_EQ(pierline({"preset", "remove-item", "Work", "0"}).exitCode, 0);
    stacks = show("Work").value("folderStacks").toArray();
    EXPECT_EQ(field(stacks, "itemType"), (QStringList{"url", "folder"}));
    EXPECT_EQ(field(stacks, "order"), (QStringList{"0", "1"}));
}

TEST_F(PresetCommands, BadUsageAndAStoreThatCannotBeOpened) {
    EXPECT_EQ(pierline({"preset"}).exitCode, 2);
    EXPECT_EQ(pierline({"preset", "create"}).exitCode, 2);
    EXPECT_EQ(pierline({"preset", "frobnicate"}).exitCode, 2);
    EXPECT_EQ(pierline({"preset", "move", "Default", "first"}).exitCode, 2);
    EXPECT_EQ(pierline({"preset", "add-folder", "Default", home.path(), "--show-as", "pile"}).exitCode, 2);

    home.write("Library/Application Support/Pierline/Pierline.sqlite/occupied", "x");
    const CliRun run = pierline({"presets"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Core Data initialization failed. Some features may not work properly."));
    EXPECT_TRUE(QFileInfo::exists(home.file("Library/Application Support/Pierline/Pierline.sqlite/occupied")));
}

// Several processes at once against one store file.
TEST_F(PresetCommands, ConcurrentProcessesLoseNothing) {
    // Four first runs on an empty store: one default preset between them.
    {
        std::vector<std::unique_ptr<QProcess>> starts;
        for (int i = 0; i < 4; ++i)
            starts.push_back(startPierline({"presets"}));
        for (auto& p : starts)
            EXPECT_EQ(finishPierline(*p).exitCode, 0);
    }
    EXPECT_EQ(field(presets(), "name"), QStringList{"Default"});

    // Two writers creating presets side by side.
    QStringList expected{"Default"};
    for (int round = 0; round < 8; ++round) {
        auto a = startPierline({"preset", "create", QStringLiteral("A%1").arg(round)});
        auto b = startPierline({"preset", "create", QStringLiteral("B%1").arg(round)});
        const CliRun ra = finishPierline(*a);
        const CliRun rb = finishPierline(*b);
        EXPECT_EQ(ra.exitCode, 0) << ra.err.toStdString();
        EXPECT_EQ(rb.exitCode, 0) << rb.err.toStdString();
        expected << QStringLiteral("A%1").arg(round) << QStringLiteral("B%1").arg(round);
    }
    QStringList names = field(presets(), "name");
    names.sort();
    expected.sort();
    EXPECT_EQ(names, expected);
}

} // namespace
