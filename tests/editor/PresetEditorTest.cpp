#include "editor/PresetEditor.h"
#include "core/AppAction.h"
#include "core/PresetRecord.h"
#include "editor/PresetListOperations.h"
#include "platform/Url.h"
#include "store/DockPresetManager.h"
#include "store/FetchRequest.h"
#include "store/ManagedObjectContext.h"
#include "store/PersistenceController.h"
#include "store/Sqlite.h"
#include "support/CapturingLogSink.h"
#include "support/EventLoop.h"
#include "support/FakeToastPresenter.h"
#include "support/TempHome.h"
#include "support/VirtualClock.h"
#include "switching/ActionManager.h"
#include "switching/AppNoteManager.h"
#include "targets/DockTarget.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;

namespace {

// A dock whose next read gives what the test put there.
class ScriptedTarget : public DockTarget {
public:
    QString id() const override { return kind == DockAppKind::Bundle ? "sandbox" : "gnome"; }
    QString displayName() const override { return kind == DockAppKind::Bundle ? "the sandbox Dock" : "the GNOME dash"; }
    TargetStatus status() const override { return {}; }
    std::variant<DockReading, DockReadError> read() const override { return next; }
    DockWriteReport write(const QString&, const QStringList&, const QList<DockFolderStackValues>&,
                          const std::function<void()>&) override {
        return {};
    }
    DockAppKind appKind() const override { return kind; }

    DockAppKind kind = DockAppKind::Bundle;
    std::variant<DockReading, DockReadError> next = DockReading{};
};

DockItem tile(const QString& type, const QString& location, const QString& label = {}) {
    DockTileData data;
    if (type == "url-tile") {
        data.url = URLData{location, 15};
        data.label = label;
    } else {
        data.fileData = FileData{location, 15};
        if (!label.isEmpty())
            data.fileLabel = label;
    }
    DockItem item;
    item.tileType = type;
    item.tileData = data;
    return item;
}

class Editor : public ::testing::Test {
protected:
    void SetUp() override {
        safari = home.makeBundle("Applications", "Safari", "com.example.safari");
        mail = home.makeBundle("Applications", "Mail", "com.example.mail");
        QDir(home.path()).mkpath("Projects");
        QDir(home.path()).mkpath("Downloads");
        notes = home.write("notes.txt", "n");
        controller = std::make_unique<PersistenceController>(false);
        manager = std::make_unique<DockPresetManager>(
            *controller, DockPresetManagerOptions{.monitorNetwork = false, .networkMonitorFactory = {}});
        preset = manager->createPreset("Work", encodeApps({url(safari, true)}));
        ASSERT_TRUE(preset);
    }
    void TearDown() override {
        drainMainQueue();
        manager.reset();
        controller.reset();
    }

    static QString url(const QString& path, bool dir = false) {
        return fileUrlFromPath(path, dir).toString(QUrl::FullyEncoded);
    }
    static QUrl at(const QString& path) { return QUrl::fromLocalFile(path); }
    std::unique_ptr<PresetEditor> edit() {
        return std::make_unique<PresetEditor>(*manager, preset, target, toasts, time.timers);
    }
    QStringList storedApps() {
        manager->context().refresh(preset, false);
        return decodeApps(preset->apps());
    }
    QStringList paths() {
        QStringList out;
        for (const auto& item : preset->folderStacksArray())
            out.append(lastPathComponent(item->path().value_or(item->url().value_or(QString()))) + "@" +
                       QString::number(item->order()));
        return out;
    }

    TempHome home;
    VirtualTime time;
    CapturingLogSink log;
    FakeToastPresenter toasts;
    ScriptedTarget target;
    std::unique_ptr<PersistenceController> controller;
    std::unique_ptr<DockPresetManager> manager;
    DockPresetPtr preset;
    QString safari, mail, notes;
};

TEST_F(Editor, AddingAnAppChecksKindThenDuplicateThenPathAndInsertsWhereDropped) {
    auto editor = edit();
    EXPECT_FALSE(editor->addApplication(at(notes)));
    EXPECT_EQ(toasts.last(), "Only applications (.app) can be added here.");
    EXPECT_FALSE(toasts.lastSucceeded());
    // The duplicate test comes before the path test: a listed bundle that is gone is "already in".
    EXPECT_FALSE(editor->addApplication(QUrl(url(safari, true))));
    EXPECT_EQ(toasts.last(), "This application is already in the preset");
    EXPECT_FALSE(editor->addApplication(at(home.file("Applications/Gone.app"))));
    EXPECT_EQ(toasts.last(), "Invalid application path");

    EXPECT_TRUE(editor->addApplication(at(mail), 0));
    EXPECT_EQ(toasts.last(), "Mail added successfully");
    EXPECT_TRUE(toasts.lastSucceeded());
    const QString ide = home.makeBundle("Applications", "IDE", "com.example.ide");
    EXPECT_TRUE(editor->addApplication(at(ide), 7)); // past the end: appended
    EXPECT_EQ(editor->apps(), (QStringList{url(mail, true), url(safari, true), url(ide, true)}));
    EXPECT_EQ(storedApps(), QStringList{url(safari, true)}) << "the list is stored by save()";
    EXPECT_TRUE(editor->save());
    EXPECT_EQ(toasts.last(), "Dock Saved");
    EXPECT_EQ(storedApps(), editor->apps());
}

TEST_F(Editor, OnADesktopDockAnAppIsADesktopFile) {
    target.kind = DockAppKind::DesktopFile;
    const QString desktop = home.write("share/applications/org.example.Mail.desktop", "[Desktop Entry]\n");
    auto editor = edit();
    EXPECT_FALSE(editor->addApplication(at(mail)));
    EXPECT_EQ(toasts.last(),
              "Only applications (.app) can be added here. (on the GNOME dash an app is a desktop file)");
    EXPECT_TRUE(editor->addApplication(at(desktop)));
    EXPECT_EQ(editor->apps().last(), url(desktop));
}

TEST_F(Editor, SpacerNamesCountTheEntriesAndAreWrittenHalfASecondLater) {
    preset->setApps(encodeApps({"pierline-spacer-7", url(safari, true), "pierline-small-spacer-3"}));
    manager->context().save();
    auto editor = edit();
    editor->addSpacer();
    editor->addSmallSpacer();
    editor->addSpacer();
    EXPECT_EQ(editor->apps().mid(3),
              (QStringList{"pierline-spacer-1", "pierline-small-spacer-1", "pierline-spacer-2"}));
    EXPECT_EQ(toasts.messages().first(), "Spacer added successfully");
    EXPECT_TRUE(editor->hasPendingWork());
    time.timers.advanceAndFire(0.4);
    EXPECT_EQ(storedApps().size(), 3);
    time.timers.advanceAndFire(0.2);
    EXPECT_FALSE(editor->hasPendingWork());
    EXPECT_EQ(storedApps(), editor->apps());
}

TEST_F(Editor, CustomSpacersComeFromThisHomeAndLeaveAsTheUserChooses) {
    const QString gap = home.makeBundle("Library/Application Support/Pierline/CustomSpaces", "Gap", "com.x.gap");
    auto editor = edit();
    EXPECT_FALSE(editor->addCustomSpacer(at(mail)));
    EXPECT_EQ(toasts.last(), "Not a custom spacer of this home");
    EXPECT_FALSE(editor->addCustomSpacer(at(home.file("Library/Application Support/Pierline/CustomSpaces/No.app"))));
    EXPECT_EQ(toasts.last(), "Invalid application path");
    ASSERT_TRUE(editor->addCustomSpacer(at(gap)));
    EXPECT_EQ(editor->apps().last(), url(gap, true));

    QStringList asked;
    const auto answer = [&](CustomSpacerChoice choice) {
        return [&asked, choice](const QString& entry) {
            asked.append(entry);
            return choice;
        };
    };
    EXPECT_FALSE(editor->deleteApps({0, 1}, answer(CustomSpacerChoice::Cancel)));
    EXPECT_EQ(asked, QStringList{url(gap, true)}) << "only the custom spacer is asked about";
    // Without a way to delete the file, and when deleting it fails, the spacer stays in the list.
    EXPECT_FALSE(editor->deleteApps({1}, answer(CustomSpacerChoice::DeleteAppFileToo)));
    EXPECT_FALSE(toasts.lastSucceeded());
    EXPECT_EQ(editor->apps().size(), 2);
    QStringList deleted;
    editor->setSpacerFileRemover([&deleted](const QString& entry) -> std::optional<QString> {
        deleted.append(entry);
        return QStringLiteral("Invalid custom space path.");
    });
    EXPECT_FALSE(editor->deleteApps({1}, answer(CustomSpacerChoice::DeleteAppFileToo)));
    EXPECT_EQ(editor->apps().size(), 2);
    EXPECT_EQ(deleted, QStringList{url(gap, true)});
    // A Cancel for any one of them deletes no file.
    deleted.clear();
    int asks = 0;
    EXPECT_FALSE(editor->deleteApps({1, 1}, [&asks](const QString&) {
        return ++asks == 1 ? CustomSpacerChoice::DeleteAppFileToo : CustomSpacerChoice::Cancel;
    }));
    EXPECT_TRUE(deleted.isEmpty());
    editor->setSpacerFileRemover([&deleted](const QString& entry) -> std::optional<QString> {
        deleted.append(entry);
        return std::nullopt;
    });
    ASSERT_TRUE(editor->deleteApps({1}, answer(CustomSpacerChoice::DeleteAppFileToo)));
    EXPECT_EQ(editor->apps(), QStringList{url(safari, true)});
    EXPECT_EQ(deleted, QStringList{url(gap, true)});
    ASSERT_TRUE(editor->addCustomSpacer(at(gap)));
    ASSERT_TRUE(editor->deleteApps({1}, answer(CustomSpacerChoice::RemoveFromPresetOnly)));
    EXPECT_EQ(editor->apps(), QStringList{url(safari, true)});
    EXPECT_TRUE(QFileInfo(gap).isDir());
}

TEST_F(Editor, FoldersAndFilesRefuseDuplicatesAndMissingPathsAndGoWhereDropped) {
    auto editor = edit();
    const QString projects = home.file("Projects"), downloads = home.file("Downloads");
    ASSERT_TRUE(editor->addFolder(at(projects)));
    EXPECT_EQ(toasts.last(), "Projects added successfully");
    EXPECT_FALSE(editor->addFolder(at(projects + "/")));
    EXPECT_EQ(toasts.last(), "This folder is already in the preset");
    EXPECT_FALSE(editor->addFile(at(home.file("missing.txt"))));
    EXPECT_EQ(toasts.last(), "Item does not exist");
    ASSERT_TRUE(editor->addFile(at(notes)));
    EXPECT_FALSE(editor->addFile(at(notes)));
    EXPECT_EQ(toasts.last(), "This file is already in the preset");
    EXPECT_EQ(preset->folderStacksArray().last()->label(), "notes.txt");

    ASSERT_TRUE(editor->addFolder(at(downloads), 0));
    EXPECT_EQ(paths(), (QStringList{"Downloads@0", "Projects@1", "notes.txt@2"}));
    ASSERT_TRUE(editor->addURL("https://example.com/", "Example"));
    EXPECT_EQ(toasts.last(), "Example added successfully");
    EXPECT_FALSE(editor->addURL("https://example.com/", ""));
    EXPECT_EQ(toasts.last(), "URL and label are required");

    // A filter hides positions: the new item goes to the end whatever the drop said.
    editor->deleteDockItems({0});
    editor->setFilter(DockItemFilter::Files);
    toasts.shown.clear();
    ASSERT_TRUE(editor->addFolder(at(downloads), 0));
    EXPECT_EQ(toasts.messages(),
              (QStringList{"Item added to end. Clear filter to reorder.", "Downloads added successfully"}));
    EXPECT_EQ(paths(), (QStringList{"Projects@0", "notes.txt@1", "example.com@2", "Downloads@3"}));
}

TEST_F(Editor, DeletionCountsInTheShownListAndRefusesBadIndicesWhole) {
    auto editor = edit();
    ASSERT_TRUE(editor->addFolder(at(home.file("Projects"))));
    ASSERT_TRUE(editor->addURL("https://a.example/", "A"));
    ASSERT_TRUE(editor->addFile(at(notes)));
    ASSERT_TRUE(editor->addURL("https://b.example/", "B"));

    EXPECT_FALSE(editor->deleteDockItems({0, 5}));
    EXPECT_TRUE(log.warned("Warning: Invalid indices in deleteDockItem"));
    EXPECT_FALSE(editor->deleteURLs({2}));
    EXPECT_TRUE(log.warned("Warning: Invalid indices in deleteURL"));
    EXPECT_EQ(preset->folderStacksArray().size(), 4);

    editor->setFilter(DockItemFilter::Urls);
    ASSERT_TRUE(editor->deleteDockItems({1})); // b.example, the second link
    EXPECT_EQ(paths(), (QStringList{"Projects@0", "a.example@1", "notes.txt@2"}));
    EXPECT_TRUE(editor->hasPendingWork());
    time.timers.advanceAndFire(0.4);
    EXPECT_EQ(editor->shownItems().size(), 1);
    ASSERT_TRUE(editor->deleteURLs({0}));
    EXPECT_EQ(paths(), (QStringList{"Projects@0", "notes.txt@1"}));

    ASSERT_TRUE(editor->moveDockItem(0, 2));
    EXPECT_EQ(paths(), (QStringList{"notes.txt@0", "Projects@1"}));
}

TEST_F(Editor, RowsAndSettings) {
    auto editor = edit();
    ASSERT_TRUE(editor->addFolder(at(home.file("Projects"))));
    const DockFolderStackPtr item = preset->folderStacksArray().first();
    EXPECT_EQ(itemRowText(*item), "Folder • Grid • Name");
    ASSERT_TRUE(editor->updateItemSettings(item, "stack", "fan", "date added"));
    EXPECT_EQ(toasts.last(), "Projects settings updated successfully");
    EXPECT_EQ(itemRowText(*item), "Stack • Fan • Date Added");
    item->setShowAs(QString());
    EXPECT_EQ(itemRowText(*item), "Stack • Grid • Date Added");
}

TEST_F(Editor, SaveNormalisesExistingPathsKeepsMarkersAndDropsOrphanedNotesAndActions) {
    const QString odd = url(home.file("Applications")) + "/../Applications/Mail.app";
    preset->setApps(encodeApps({url(safari, true), odd, "pierline-spacer", "file:///nowhere/Gone.app/"}));
    manager->context().save();
    AppNoteManager::shared().setNote(*preset, url(safari, true), "keep", manager->context());
    AppNoteManager::shared().setNote(*preset, "file:///nowhere/Gone.app/", "drop", manager->context());
    ActionManager::shared().setAction(*preset, url(safari, true), OpenAppAction(), manager->context());
    auto editor = edit();
    ASSERT_TRUE(editor->deleteApps({0}));
    EXPECT_FALSE(editor->deleteApps({9}));
    ASSERT_TRUE(editor->save());
    EXPECT_EQ(storedApps(), (QStringList{url(mail, true), "pierline-spacer", "file:///nowhere/Gone.app/"}));
    EXPECT_FALSE(AppNoteManager::shared().note(*preset, url(safari, true)));
    EXPECT_EQ(AppNoteManager::shared().note(*preset, "file:///nowhere/Gone.app/"), "drop");
    EXPECT_FALSE(ActionManager::shared().hasCustomAction(*preset, url(safari, true)));
}

TEST_F(Editor, UpdateFromTheDockReplacesEverythingOrNothing) {
    auto editor = edit();
    ASSERT_TRUE(editor->addFolder(at(home.file("Projects"))));
    target.next = DockReadError{DockReadError::Kind::CommandFailed, "no such domain"};
    EXPECT_FALSE(editor->updateFromCurrentDock());
    EXPECT_EQ(toasts.last(), (DockReadError{DockReadError::Kind::CommandFailed, "no such domain"}.userMessage()));
    target.next = DockReading{};
    EXPECT_FALSE(editor->updateFromCurrentDock());
    EXPECT_EQ(toasts.last(), "No pinned Dock items found. Running apps that are not pinned are not included.");
    EXPECT_EQ(paths(), QStringList{"Projects@0"});
    EXPECT_EQ(storedApps(), QStringList{url(safari, true)});

    target.next = DockReading{{url(mail, true), "pierline-spacer-0"},
                              {tile("url-tile", "https://example.com/", "Example"),
                               tile("directory-tile", url(home.file("Downloads"), true))}};
    ASSERT_TRUE(editor->updateFromCurrentDock());
    EXPECT_EQ(toasts.last(), "Preset updated from current dock");
    EXPECT_EQ(storedApps(), (QStringList{url(mail, true), "pierline-spacer-0"}));
    EXPECT_EQ(editor->apps(), storedApps());
    EXPECT_EQ(paths(), (QStringList{"example.com@0", "Downloads@1"}));
}

// A store that takes the first writes of an update and refuses a later one: a trigger of the
// test's own on the store file, as a disk that fills up half-way would.
void refuseInStore(const QString& trigger) {
    auto db = sqlite::Database::open(PersistenceController::defaultStoreLocation());
    db->exec(trigger);
}

TEST_F(Editor, AnUpdateThatFailsHalfWayLeavesAppsNotesAndItemsAsTheyWere) {
    const struct {
        const char* what;
        const char* trigger;
    } cases[] = {
        {"the new items are refused after the old ones went",
         "CREATE TRIGGER refuse BEFORE INSERT ON ZDOCKFOLDERSTACK BEGIN SELECT RAISE(ABORT, 'disk full'); END"},
        {"the second old item cannot go",
         "CREATE TRIGGER refuse BEFORE DELETE ON ZDOCKFOLDERSTACK WHEN OLD.ZPATH LIKE '%Downloads%' "
         "BEGIN SELECT RAISE(ABORT, 'disk full'); END"},
    };
    auto editor = edit();
    ASSERT_TRUE(editor->addFolder(at(home.file("Projects"))));
    ASSERT_TRUE(editor->addFolder(at(home.file("Downloads"))));
    AppNoteManager::shared().setNote(*preset, url(safari, true), "keep", manager->context());
    const QStringList items = paths();
    ASSERT_EQ(items, (QStringList{"Projects@0", "Downloads@1"}));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        refuseInStore(c.trigger);
        target.next = DockReading{{url(mail, true)}, {tile("url-tile", "https://example.com/", "Example")}};
        EXPECT_FALSE(editor->updateFromCurrentDock());
        EXPECT_TRUE(toasts.last().startsWith("Failed to update preset from current dock: "))
            << toasts.last().toStdString();
        EXPECT_EQ(editor->apps(), QStringList{url(safari, true)});
        EXPECT_EQ(paths(), items);
        EXPECT_EQ(storedApps(), QStringList{url(safari, true)});
        EXPECT_EQ(AppNoteManager::shared().note(*preset, url(safari, true)), "keep");
        // What another reader of the file sees.
        PersistenceController other(false);
        const auto stored = other.viewContext().fetch<DockPreset>(
            FetchRequest(DockPreset::kEntityName).where(FetchCondition::equal("name", "Work")));
        ASSERT_EQ(stored.size(), 1);
        EXPECT_EQ(decodeApps(stored.first()->apps()), QStringList{url(safari, true)});
        EXPECT_EQ(stored.first()->folderStacksArray().size(), 2);
        sqlite::Database::open(PersistenceController::defaultStoreLocation())->exec("DROP TRIGGER refuse");
    }
    ASSERT_TRUE(editor->updateFromCurrentDock()) << "the store takes writes again";
    EXPECT_EQ(paths(), QStringList{"example.com@0"});
}

class ListOperations : public Editor {};

TEST_F(ListOperations, CreateAndPreviewFromTheDock) {
    PresetListOperations list(*manager, target, toasts);
    EXPECT_FALSE(list.createPresetFromDialog("", false));
    const DockPresetPtr empty = list.createPresetFromDialog("Empty", false);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->apps(), "[]");
    EXPECT_TRUE(toasts.shown.empty());

    target.next = DockReadError{DockReadError::Kind::ParseFailed, "bad"};
    EXPECT_FALSE(list.previewCurrentDock());
    EXPECT_TRUE(log.warned("Failed to preview current dock while creating preset: Parse failed: bad"));
    EXPECT_FALSE(list.createPresetFromDialog("Broken", true));
    EXPECT_TRUE(log.warned("Failed to read current dock while creating preset: Parse failed: bad"));
    EXPECT_FALSE(manager->fetchPreset(QString("Broken")));

    target.next = DockReading{};
    EXPECT_TRUE(list.previewCurrentDock());
    EXPECT_EQ(toasts.last(), "No pinned Dock items were found. This preset will be created empty.");
    ASSERT_TRUE(list.createPresetFromDialog("Bare", true));
    EXPECT_EQ(toasts.last(), "Preset created with no pinned Dock items copied.");

    DockItem odd;
    odd.tileType = QString("recents-tile");
    target.next = DockReading{{}, {tile("url-tile", "https://example.com/", "Example"), odd}};
    const DockPresetPtr linked = list.createPresetFromDialog("Linked", true);
    ASSERT_TRUE(linked);
    ASSERT_EQ(linked->folderStacksArray().size(), 1);
    EXPECT_EQ(linked->folderStacksArray().first()->effectiveType(), "url");
    EXPECT_EQ(linked->folderStacksArray().first()->label(), "Example");
    EXPECT_TRUE(log.warned("Unknown tile type: recents-tile"));
    EXPECT_FALSE(list.createPresetFromDialog("Linked", false)) << "a name in use stays refused";
}

TEST_F(ListOperations, DeletingThePresetWithoutAnIdentifierAndByOffsets) {
    PresetListOperations list(*manager, target, toasts);
    EXPECT_FALSE(list.deleteSelectedPreset(nullptr));
    EXPECT_TRUE(log.warned("Error: No preset selected for deletion"));

    preset->setId(std::nullopt);
    manager->context().save();
    ASSERT_TRUE(list.deleteSelectedPreset(preset));
    EXPECT_FALSE(manager->fetchPreset(QString("Work")));

    ASSERT_TRUE(manager->createPreset("A", "[]"));
    ASSERT_TRUE(manager->createPreset("B", "[]"));
    const qsizetype before = manager->fetchAllPresets().size();
    EXPECT_FALSE(list.deletePresets({0, static_cast<int>(before)}));
    EXPECT_TRUE(log.warned("Warning: Invalid indices in deletePreset"));
    EXPECT_EQ(manager->fetchAllPresets().size(), before);
    ASSERT_TRUE(list.deletePresets({static_cast<int>(before) - 1}));
    EXPECT_FALSE(manager->fetchPreset(QString("B")));
}

} // namespace
