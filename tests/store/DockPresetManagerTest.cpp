#include "StoreFixtures.h"

#include "core/PresetRecord.h"
#include "dock/DockReader.h"
#include "platform/Dispatch.h"
#include "platform/NetworkPathMonitor.h"
#include "platform/UserDefaults.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "store/PersistenceController.h"
#include "support/CapturingLogSink.h"
#include "support/VirtualClock.h"

#include <QtConcurrent/QtConcurrentRun>
#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;
using namespace pierline::test::store;

namespace {

QString upper(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

class PresetManager : public ::testing::Test {
protected:
    void TearDown() override {
        drainMainQueue();
        manager.reset();
        controller.reset();
    }

    PersistenceController& openStore() {
        manager.reset();
        controller = std::make_unique<PersistenceController>(false);
        return *controller;
    }
    DockPresetManager& start() {
        if (!controller)
            openStore();
        manager = std::make_unique<DockPresetManager>(
            *controller, DockPresetManagerOptions{.monitorNetwork = false, .networkMonitorFactory = {}});
        return *manager;
    }
    // Writes presets straight into the store, as an older build would have left them.
    void seed(const std::function<void(ManagedObjectContext&)>& fill) {
        PersistenceController old;
        fill(old.viewContext());
        old.viewContext().save();
    }
    static DockPresetPtr rawPreset(ManagedObjectContext& context, const std::optional<QString>& name,
                                   const std::optional<QUuid>& id, qint16 order, int minute) {
        auto preset = context.insert<DockPreset>();
        preset->setName(name);
        preset->setId(id);
        preset->setOrder(order);
        preset->setCreatedAt(QDateTime(QDate(2025, 1, 1), QTime(8, minute), Qt::UTC));
        return preset;
    }
    QStringList names() {
        QStringList out;
        for (const auto& p : manager->fetchAllPresets())
            out.append(p->name().value_or("<none>"));
        return out;
    }
    static QStringList paths(const QList<DockFolderStackPtr>& items) {
        QStringList out;
        for (const auto& i : items)
            out.append(i->path().value_or(i->url().value_or(QString())));
        return out;
    }
    static QList<int> orders(const QList<DockFolderStackPtr>& items) {
        QList<int> out;
        for (const auto& i : items)
            out.append(i->order());
        return out;
    }

    TempHome home;
    VirtualTime time;
    CapturingLogSink log;
    SampleDock dock = writeSampleDock(home);
    std::unique_ptr<PersistenceController> controller;
    std::unique_ptr<DockPresetManager> manager;
};

// --- Start-up ------------------------------------------------------------------------------

TEST_F(PresetManager, EmptyStoreGetsOneDefaultPresetWithTheDocksAppsAndFoldersOnly) {
    NotificationCounter changed(kPresetsDidChangeNotification);
    start();
    const auto presets = manager->fetchAllPresets();
    ASSERT_EQ(presets.size(), 1);
    const DockPresetPtr preset = presets.first();
    // Its apps and folders are checked in full through `pierline presets --json`.
    EXPECT_EQ(preset->name(), "Default");
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(log.printed("Default preset created successfully"));

    // The next start finds it and makes no other.
    log.clear();
    start();
    EXPECT_EQ(names(), QStringList{"Default"});
    EXPECT_TRUE(log.printed("Total presets in database: 1"));
}

TEST_F(PresetManager, RebuiltStoreGetsExactlyOneDefaultPresetAlsoWhileRunning) {
    {
        PersistenceController::Options options;
        options.modelHistory = QList<ModelVersion>{modelWithExtraAttribute("Other build")};
        PersistenceController older(false, options);
        rawPreset(older.viewContext(), "Old", QUuid::createUuid(), 0, 1);
        older.viewContext().save();
    }
    start();
    drainMainQueue(); // the rebuilt-store notice arrives after start-up, as on the main queue
    EXPECT_TRUE(log.printed("Received database recreation notification"));
    EXPECT_TRUE(log.printed("Default preset already exists"));
    EXPECT_EQ(names(), QStringList{"Default"});
    EXPECT_EQ(manager->fetchDefaultPreset()->folderStacks().size(), 2);

    // Rebuilt while running: the default comes back.
    ASSERT_TRUE(manager->deletePreset(*manager->fetchDefaultPreset()->id()));
    NotificationCenter::shared().post(kDatabaseRecreatedNotification);
    EXPECT_EQ(names(), QStringList{"Default"});
}

TEST_F(PresetManager, TwoPresetsOfOneNameFromAnOldStore) {
    seed([&](ManagedObjectContext& c) {
        rawPreset(c, "Work", QUuid::createUuid(), 0, 30);
        rawPreset(c, "Work", QUuid::createUuid(), 1, 10); // the older one
    });
    start();
    const DockPresetPtr found = manager->fetchPreset("Work");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->createdAt(), QDateTime(QDate(2025, 1, 1), QTime(8, 10), Qt::UTC));
    EXPECT_EQ(names(), (QStringList{"Work", "Work"}));

    NotificationCounter changed(kPresetsDidChangeNotification);
    EXPECT_FALSE(manager->createPreset("Work", "[]"));
    EXPECT_TRUE(log.printed("Preset with name 'Work' already exists."));
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(manager->fetchAllPresets().size(), 2);
}

TEST_F(PresetManager, BlankAndPlaceholderNamesBecomeRecoveredPresetsInListOrder) {
    seed([&](ManagedObjectContext& c) {
        rawPreset(c, "  ", QUuid::createUuid(), 0, 1);
        rawPreset(c, "Recovered Preset 2", QUuid::createUuid(), 1, 1);
        rawPreset(c, std::nullopt, QUuid::createUuid(), 2, 1);
        rawPreset(c, " NULL\n", QUuid::createUuid(), 3, 1);
        rawPreset(c, "Undefined", QUuid::createUuid(), 4, 1);
        rawPreset(c, "nullable", QUuid::createUuid(), 5, 1);
    });
    NotificationCounter changed(kPresetsDidChangeNotification);
    start();
    EXPECT_EQ(names(), (QStringList{"Recovered Preset 1", "Recovered Preset 2", "Recovered Preset 3",
                                    "Recovered Preset 4", "Recovered Preset 5", "nullable"}));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(log.logged("Preset identifier repair complete: total=6, missingIDs=0, duplicateIDs=0, "
                           "renamedNames=4, updated=4"));
    EXPECT_TRUE(log.logged("Preset identifier repair renamed 4 preset(s) with blank/null/undefined names to "
                           "'Recovered Preset N'."));
}

TEST_F(PresetManager, MissingAndDuplicateIdentifiersAreReplaced) {
    const QUuid shared = QUuid::createUuid();
    UserDefaults::standard().set("coreDataPresetUUIDMigrationDone_v1.1",
                                 true); // leave it to the repair
    seed([&](ManagedObjectContext& c) {
        rawPreset(c, "First", shared, 0, 1);
        rawPreset(c, "Second", shared, 1, 1);
        rawPreset(c, "Third", std::nullopt, 2, 1);
    });
    start();
    const auto presets = manager->fetchAllPresets();
    ASSERT_EQ(presets.size(), 3);
    EXPECT_EQ(presets[0]->id(), shared); // the first in list order keeps it
    QSet<QUuid> ids;
    for (const auto& p : presets) {
        ASSERT_TRUE(p->id());
        ids.insert(*p->id());
    }
    EXPECT_EQ(ids.size(), 3);
    EXPECT_TRUE(log.logged("Preset identifier repair complete: total=3, missingIDs=1, duplicateIDs=1, "
                           "renamedNames=0, updated=2"));
    // A clean store is left as it is, without a report.
    log.clear();
    NotificationCounter changed(kPresetsDidChangeNotification);
    start();
    EXPECT_EQ(changed.count(), 0);
    for (const QString& message : log.messages())
        EXPECT_FALSE(message.startsWith("Preset identifier repair")) << message.toStdString();
}

TEST_F(PresetManager, UuidMigrationRunsOnceAndIsFlagged) {
    seed([&](ManagedObjectContext& c) {
        rawPreset(c, "A", std::nullopt, 0, 1);
        rawPreset(c, "B", std::nullopt, 1, 1);
    });
    NotificationCounter changed(kPresetsDidChangeNotification);
    start();
    EXPECT_TRUE(log.printed("Starting CoreData migration: Assigning UUIDs to existing presets..."));
    EXPECT_TRUE(log.printed("Assigned UUIDs to 2 presets."));
    EXPECT_EQ(changed.count(), 1); // the repair found nothing left to do
    EXPECT_TRUE(UserDefaults::standard().boolForKey("coreDataPresetUUIDMigrationDone_v1.1"));
    log.clear();
    start();
    EXPECT_FALSE(log.printed("Starting CoreData migration: Assigning UUIDs to existing presets..."));
}

TEST_F(PresetManager, NameKeyedShortcutsMoveToIdentifierKeys) {
    const QUuid work = QUuid::createUuid();
    const QUuid play = QUuid::createUuid();
    seed([&](ManagedObjectContext& c) {
        rawPreset(c, "Work", work, 0, 1);
        rawPreset(c, "Play", play, 1, 1);
    });
    UserDefaults& defaults = UserDefaults::standard();
    const QVariantMap old{{"Work", QVariantMap{{"keyCode", 18}}},
                          {"Play", QVariantMap{{"keyCode", 19}}},
                          {"Gone", QVariantMap{{"keyCode", 20}}}};
    defaults.set("presetShortcuts", old);
    defaults.set("presetShortcuts_v2_byID", QVariantMap{{upper(play), QVariantMap{{"keyCode", 99}}}});
    start();
    const QVariantMap table = defaults.dictionary("presetShortcuts_v2_byID").value_or(QVariantMap());
    EXPECT_EQ(table.size(), 2);
    EXPECT_EQ(table.value(upper(work)).toMap().value("keyCode").toInt(), 18);
    EXPECT_EQ(table.value(upper(play)).toMap().value("keyCode").toInt(), 99); // kept
    EXPECT_EQ(defaults.dictionary("presetShortcuts"), old);
    EXPECT_TRUE(log.printed("UserDefaults shortcut migration: Migrated 1 shortcuts."));
    EXPECT_TRUE(defaults.boolForKey("shortcutUserDefaultsMigrationToUUID_v1.1"));
}

TEST_F(PresetManager, EmptyShortcutTableIsStillFlaggedDone) {
    UserDefaults::standard().set("presetShortcuts", QVariantMap());
    start();
    EXPECT_TRUE(UserDefaults::standard().boolForKey("shortcutUserDefaultsMigrationToUUID_v1.1"));
}

TEST_F(PresetManager, StackMigrationEndsTheStartUpPass) {
    seed([&](ManagedObjectContext& c) {
        auto stack = c.insert<DockFolderStack>(); // from a store without item types, and without presets
        stack->setPath("/Users/me/Old");
        auto unknown = c.insert<DockFolderStack>();
        unknown->setLabel("x");
    });
    start();
    EXPECT_TRUE(log.printed("Successfully migrated 2 folder stacks"));
    EXPECT_FALSE(log.printedContaining("Total presets in database"));
    EXPECT_TRUE(manager->fetchAllPresets().isEmpty());
    const auto migrated = manager->context().fetch<DockFolderStack>(
        FetchRequest(DockFolderStack::kEntityName).where(FetchCondition::equal("path", "/Users/me/Old")));
    ASSERT_EQ(migrated.size(), 1);
    EXPECT_EQ(migrated.first()->itemType(), "folder");
    EXPECT_EQ(migrated.first()->url(), "/Users/me/Old");

    log.clear();
    start(); // the next start makes the default preset
    EXPECT_TRUE(log.printed("Found 0 stacks to migrate"));
    EXPECT_EQ(names(), QStringList{"Default"});
}

// --- Presets -------------------------------------------------------------------------------

TEST_F(PresetManager, CreateRenameDeleteAndDuplicateAnnounceTheirChange) {
    start();
    NotificationCounter changed(kPresetsDidChangeNotification);
    const DockPresetPtr work = manager->createPreset("Work", "[\"a\"]");
    ASSERT_TRUE(work);
    const QUuid id = *work->id();
    EXPECT_TRUE(log.printed(QStringLiteral("Preset 'Work' created successfully with ID %1").arg(upper(id))));
    EXPECT_EQ(changed.count(), 1);

    EXPECT_TRUE(manager->renamePreset(id, "Work")); // to itself
    EXPECT_TRUE(manager->renamePreset(id, "Office"));
    EXPECT_FALSE(manager->renamePreset(id, "Default"));
    EXPECT_TRUE(log.printed("Cannot rename preset: Another preset with name 'Default' already exists."));
    const QUuid unknown = QUuid::createUuid();
    EXPECT_FALSE(manager->renamePreset(unknown, "X"));
    EXPECT_TRUE(log.printed(QStringLiteral("Preset with ID %1 not found for renaming.").arg(upper(unknown))));
    EXPECT_EQ(changed.count(), 3);
    EXPECT_EQ(manager->fetchPreset(id)->name(), "Office");

    manager->addFolderStack(work, "/x");
    const DockPresetPtr copy = manager->duplicatePreset(work);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->name(), "Office Copy");
    EXPECT_EQ(copy->apps(), "[\"a\"]");
    EXPECT_NE(copy->id(), work->id());
    EXPECT_EQ(copy->order(), 2);
    EXPECT_TRUE(copy->folderStacks().isEmpty());
    EXPECT_EQ(changed.count(), 4);

    EXPECT_TRUE(manager->deletePreset(id));
    EXPECT_FALSE(manager->deletePreset(id));
    EXPECT_TRUE(log.printed(QStringLiteral("Preset with ID %1 not found for deletion.").arg(upper(id))));
    EXPECT_EQ(changed.count(), 5);
    EXPECT_EQ(manager->context().count(FetchRequest(DockFolderStack::kEntityName)), 2); // Default's only

    // Item changes and list moves are not list changes.
    manager->addURL(copy, "https://a.example", "A");
    EXPECT_TRUE(manager->movePresets({1}, 0));
    EXPECT_EQ(changed.count(), 5);
}

// The writes of create, rename and duplicate reach the file only when their write lock commits.
TEST_F(PresetManager, AFailedCommitIsAFailureAndLeavesNoObjectWithoutARow) {
    start();
    const DockPresetPtr work = manager->createPreset("Work", "[\"a\"]");
    ASSERT_TRUE(work);
    const QUuid workId = *work->id();
    NotificationCounter changed(kPresetsDidChangeNotification);
    {
        FileSizeLimit full(4096);
        EXPECT_FALSE(manager->createPreset("Full", "[]"));
        EXPECT_FALSE(manager->renamePreset(workId, "Office"));
        EXPECT_FALSE(manager->duplicatePreset(work));
    }
    EXPECT_EQ(log.warningLines().size(), 3)
        << log.warningLines().join('\n').toStdString(); // their texts: through the binary
    EXPECT_EQ(changed.count(), 0);
    EXPECT_FALSE(manager->context().hasChanges());
    for (const auto& object : manager->context().registeredObjects()) {
        const auto preset = std::dynamic_pointer_cast<DockPreset>(object);
        EXPECT_TRUE(!preset || preset->name() == "Default" || preset->name() == "Work");
    }
    EXPECT_EQ(names(), (QStringList{"Default", "Work"}));
    EXPECT_EQ(work->name(), "Work");

    // Nothing half-done is left behind: the same changes go through once there is room.
    ASSERT_TRUE(manager->createPreset("Full", "[]"));
    EXPECT_TRUE(manager->renamePreset(workId, "Office"));
    PersistenceController reader;
    EXPECT_EQ(reader.viewContext().count(FetchRequest(DockPreset::kEntityName)), 3);
}

TEST_F(PresetManager, NamesTheNextStartWouldReplaceAreRefused) {
    start();
    const DockPresetPtr work = manager->createPreset("Work", "[]");
    const QString refused[] = {
        "", "  \t", "null", "NULL", " Undefined ", "a\nb", "tab\there", "bad \uFFFD byte", QString(QChar(0xD800))};
    for (const QString& name : refused) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(DockPreset::nameProblem(name));
        EXPECT_FALSE(manager->createPreset(name, "[]"));
        EXPECT_FALSE(manager->renamePreset(*work->id(), name));
    }
    for (const QString& name : {QString("Nullable"), QString("undefined work"), QString("Café 🚀")}) {
        EXPECT_FALSE(DockPreset::nameProblem(name)) << name.toStdString();
        EXPECT_TRUE(manager->createPreset(name, "[]")) << name.toStdString();
    }
    EXPECT_EQ(names(), (QStringList{"Default", "Work", "Nullable", "undefined work", "Café 🚀"}));
}

TEST_F(PresetManager, DeletingAPresetRunsItsDeletionHandlersFirst) {
    start();
    const DockPresetPtr work = manager->createPreset("Work", "[]");
    const DockPresetPtr play = manager->createPreset("Play", "[]");
    // The store leaves the shortcut tables to the triggers' handler; setting it again replaces it.
    QList<QString> seen;
    const auto handler = [&](const char* who) {
        return [&, who](const QUuid& id) {
            EXPECT_TRUE(manager->fetchPreset(id)) << "runs before the preset is gone";
            seen.append(QString::fromLatin1(who) + ':' + uuidText(id));
        };
    };
    manager->setPresetDeletionHandler(DockPresetManager::DeletionHook::Triggers, handler("first"));
    manager->setPresetDeletionHandler(DockPresetManager::DeletionHook::Triggers, handler("triggers"));
    manager->addPresetDeletionHandler(handler("extra"));
    ASSERT_TRUE(manager->deletePreset(*work->id()));
    EXPECT_EQ(seen, (QList<QString>{"triggers:" + uuidText(*work->id()), "extra:" + uuidText(*work->id())}));
    EXPECT_TRUE(manager->fetchPreset(*play->id()));
}

TEST_F(PresetManager, ResolvesIdentifiersOfEveryKind) {
    start();
    const DockPresetPtr work = manager->createPreset("Work", "[]");
    const DockFolderStackPtr item = manager->addFolderStack(work, "/x");
    EXPECT_EQ(DockPresetManager::presetIdentifierKind(upper(*work->id())), "uuid");
    EXPECT_EQ(DockPresetManager::presetIdentifierKind(work->objectIdUri()), "objectIDURI");
    EXPECT_EQ(DockPresetManager::presetIdentifierKind("Work"), "legacy-or-invalid");
    EXPECT_EQ(DockPresetManager::presetIdentifierKind(QString()), "empty");

    EXPECT_EQ(manager->resolvePreset(work->idString().toLower()), work);
    EXPECT_EQ(manager->resolvePreset(work->objectIdUri()), work);
    EXPECT_TRUE(log.logged(QStringLiteral("Resolved AppIntent preset identifier kind=objectIDURI fallbackName=nil to "
                                          "preset='Work' id=%1")
                               .arg(work->idString())));
    EXPECT_EQ(manager->resolvePreset(item->objectIdUri(), "Default"), manager->fetchDefaultPreset());
    EXPECT_EQ(manager->resolvePreset(upper(QUuid::createUuid()), "Work"), work);
    EXPECT_EQ(manager->resolvePreset("Work"), nullptr); // only the fallback name is looked up
    EXPECT_TRUE(log.logged("Unable to resolve AppIntent preset identifier kind=legacy-or-invalid fallbackName=nil"));
    EXPECT_EQ(manager->resolvePreset(QString(), "Work"), work);
}

TEST_F(PresetManager, LookupsWorkFromBackgroundThreads) {
    start();
    manager->createPreset("Work", "[]");
    QFuture<QString> future = QtConcurrent::run([this] {
        const DockPresetPtr found = manager->fetchPreset("Work");
        return found ? QStringLiteral("%1/%2")
                           .arg(found->name().value_or(QString()))
                           .arg(manager->fetchAllPresets().size())
                     : QString();
    });
    ASSERT_TRUE(waitUntil([&] { return future.isFinished(); }));
    EXPECT_EQ(future.result(), "Work/2");
}

TEST_F(PresetManager, PresetsAreListedByOrderThenNewestFirstAndMovesRenumberTheList) {
    start();
    time.clock.advance(60);
    const auto a = manager->createPreset("A", "[]");
    time.clock.advance(60);
    const auto b = manager->createPreset("B", "[]");
    EXPECT_EQ(a->order(), 1);
    EXPECT_EQ(b->order(), 2);
    b->setOrder(1);
    manager->context().save();
    EXPECT_EQ(names(), (QStringList{"Default", "B", "A"}));

    EXPECT_TRUE(manager->movePresets({0}, 3));
    EXPECT_EQ(names(), (QStringList{"B", "A", "Default"}));
    EXPECT_TRUE(manager->movePresets({2, 1}, 0));
    EXPECT_EQ(names(), (QStringList{"A", "Default", "B"}));
    QList<int> o;
    for (const auto& p : manager->fetchAllPresets())
        o.append(p->order());
    EXPECT_EQ(o, (QList<int>{0, 1, 2}));
    EXPECT_FALSE(manager->movePresets({3}, 0));
    EXPECT_FALSE(manager->movePresets({0}, 4));
}

// --- Items ---------------------------------------------------------------------------------

TEST_F(PresetManager, ItemsAreAppendedWithTheirKindsDefaults) {
    using V = DockFolderStackValues;
    start();
    const DockPresetPtr work = manager->createPreset("Work", "[]");
    const auto folder = manager->addFolderStack(work, "/Users/me/Projects", "stack", "list", "kind");
    const auto link = manager->addURL(work, "https://example.com/", "Example");
    manager->addFile(work, "file:///Users/me/My%20Notes.txt");
    manager->addFile(work, "/tmp/a.txt", "Mine");
    manager->addDockItem(work, "/tmp/b", "file", std::nullopt, std::nullopt, "stack", "fan", "kind");
    QList<V> values;
    for (const auto& item : manager->dockItems(work))
        values.append(item->values());
    const QString notes = "file:///Users/me/My%20Notes.txt";
    EXPECT_EQ(values, (QList<V>{{"/Users/me/Projects", "folder", "/Users/me/Projects", {}, "stack", "list", "kind", 0},
                                {{}, "url", "https://example.com/", "Example", "folder", "grid", "name", 1},
                                {notes, "file", notes, "My Notes.txt", "folder", "grid", "name", 2},
                                {"/tmp/a.txt", "file", "/tmp/a.txt", "Mine", "folder", "grid", "name", 3},
                                // files show as plain tiles
                                {"/tmp/b", "file", "/tmp/b", {}, "folder", "grid", "name", 4}}));
    EXPECT_EQ(paths(manager->dockItems(work, "file")), (QStringList{notes, "/tmp/a.txt", "/tmp/b"}));

    manager->updateFolderStack(folder, std::nullopt, "grid", std::nullopt);
    manager->updateLabel(link, std::nullopt);
    PersistenceController reader;
    const auto stored =
        reader.viewContext()
            .fetch<DockPreset>(FetchRequest(DockPreset::kEntityName).where(FetchCondition::equal("name", "Work")))
            .first()
            ->folderStacksArray();
    EXPECT_EQ(stored[0]->displayAs() + "/" + stored[0]->showAs(), "stack/grid");
    EXPECT_FALSE(stored[1]->label());
    EXPECT_EQ(stored[1]->effectiveLabel(), "https://example.com/");
}

// A preset made from the Dock and a preset the Dock is saved into hold the same items: one
// conversion (a file without a label keeps none), Dock order, and orders from 0.
TEST_F(PresetManager, MakingAndSavingFromTheDockGiveTheSameItems) {
    const QString base = "file://" + home.path();
    writeDockDomain(home,
                    xmlPlist(domain({appTile(base + "/Applications/Mail.app/")},
                                    {QVariantMap{{"tile-type", "file-tile"},
                                                 {"tile-data", QVariantMap{{"file-data", fileData(base + "/a.txt")}}}},
                                     QVariantMap{{"tile-type", "recents-tile"}}, urlTile("https://example.com/", "Ex"),
                                     folderTile(base + "/Downloads/", qint64(1), qint64(2), qint64(3))})));
    start();
    const DockReading reading{DockReader::getDockApps(), DockReader::getDockItems()};
    const DockPresetPtr made = manager->createPresetFromDock("Made", reading);
    ASSERT_TRUE(made);
    const DockPresetPtr saved = manager->createPreset("Saved", "[]");
    manager->addFolderStack(saved, "/tmp/old");
    EXPECT_EQ(manager->saveDockIntoPreset(saved, reading), std::nullopt);

    const auto values = [](const DockPresetPtr& preset) {
        QList<DockFolderStackValues> out;
        for (const DockFolderStackPtr& item : preset->folderStacksArray())
            out.append(item->values());
        return out;
    };
    ASSERT_EQ(values(made).size(), 3);
    EXPECT_EQ(values(made), values(saved));
    EXPECT_EQ(orders(made->folderStacksArray()), (QList<int>{0, 1, 2}));
    EXPECT_EQ(values(made).first().label, std::nullopt);
    EXPECT_EQ(made->apps(), saved->apps());
    EXPECT_TRUE(log.printed("Unknown item type: recents-tile"));
}

TEST_F(PresetManager, ReorderingAndRemovingItems) {
    start();
    const DockPresetPtr work = manager->createPreset("Work", "[]");
    for (const char* p : {"/x", "/y", "/z"})
        manager->addFolderStack(work, QString::fromUtf8(p));
    manager->reorderDockItems(work, {2}, 0);
    EXPECT_EQ(paths(work->folderStacksArray()), (QStringList{"/z", "/x", "/y"}));
    EXPECT_EQ(orders(work->folderStacksArray()), (QList<int>{0, 1, 2}));
    EXPECT_THROW(manager->reorderDockItems(work, {3}, 0), StoreError);
    EXPECT_THROW(manager->reorderDockItems(work, {0}, 4), StoreError);

    manager->removeDockItem(work->folderStacksArray()[1]);
    EXPECT_EQ(paths(work->folderStacksArray()), (QStringList{"/z", "/y"}));
    EXPECT_EQ(orders(work->folderStacksArray()), (QList<int>{0, 2})); // gaps are fine
    EXPECT_EQ(manager->addFolderStack(work, "/w")->order(), 2);
}

TEST_F(PresetManager, ItemOperationsPassStoreErrorsOnAndLeaveNothingPending) {
    start();
    const DockPresetPtr work = manager->createPreset("Work", "[]");
    const DockFolderStackPtr item = manager->addFolderStack(work, "/x");
    {
        PersistenceController other; // another writer changes the item
        auto stack = other.viewContext().fetch<DockFolderStack>(
            FetchRequest(DockFolderStack::kEntityName).where(FetchCondition::equal("path", "/x")));
        stack.first()->setLabel("theirs");
        other.viewContext().save();
    }
    try {
        manager->updateLabel(item, "mine");
        FAIL() << "expected a conflict";
    } catch (const StoreError& error) {
        EXPECT_EQ(error.code(), StoreError::kOptimisticLockingFailure);
    }
    EXPECT_FALSE(manager->context().hasChanges());
    EXPECT_EQ(item->label(), "theirs"); // read again from the store
    EXPECT_EQ(manager->updateLabel(item, "mine")->label(), "mine");

    // A preset that is not in the store cannot take items.
    PersistenceController memory(true);
    auto stray = memory.viewContext().insert<DockPreset>();
    EXPECT_THROW(manager->addFile(stray, "/a"), StoreError);
    EXPECT_FALSE(manager->context().hasChanges());
}

// --- Refresh and diagnostics ---------------------------------------------------------------

TEST_F(PresetManager, RefreshIsThrottledToOncePerFiveSeconds) {
    start();
    const DockPresetPtr preset = manager->fetchDefaultPreset();
    const int registered = static_cast<int>(manager->context().registeredObjects().size());
    preset->folderStacksArray().first()->setLabel("unsaved");
    manager->refreshContext();
    EXPECT_TRUE(log.printed(QStringLiteral("DockPresetManager: Core Data context refreshed %1/%2 objects (0.0ms)")
                                .arg(registered - 1)
                                .arg(registered)));
    EXPECT_EQ(preset->folderStacksArray().first()->label(), "unsaved");

    {
        PersistenceController other;
        other.viewContext().fetch<DockPreset>(FetchRequest(DockPreset::kEntityName)).first()->setAppNotes("n");
        other.viewContext().save();
    }
    EXPECT_EQ(preset->appNotes(), "n"); // a refreshed object reads the store again

    log.clear();
    time.clock.advance(2.0);
    manager->refreshContext();
    EXPECT_TRUE(log.printed("DockPresetManager: Context refresh throttled (last refresh 2000.0ms ago)"));
    EXPECT_TRUE(log.logged("Core Data context refresh throttled; last refresh was 2000.0ms ago"));
    EXPECT_FALSE(log.printedContaining("context refreshed"));
    time.clock.advance(2.9995);
    manager->refreshContext();
    EXPECT_TRUE(log.printed("DockPresetManager: Context refresh throttled (last refresh 4999.5ms ago)"));
    time.clock.advance(0.001);
    manager->refreshContext();
    EXPECT_TRUE(log.printedContaining("DockPresetManager: Core Data context refreshed"));
}

// A network monitor that hands its update callback to the test, or reports no backend.
class FakeMonitor : public NetworkPathMonitor {
public:
    explicit FakeMonitor(std::function<void(const Path&)>* sink) : sink_(sink) {}
    bool start(std::function<void(const Path&)> onUpdate) override {
        if (sink_)
            *sink_ = std::move(onUpdate);
        return sink_ != nullptr;
    }
    void cancel() override {}

private:
    std::function<void(const Path&)>* sink_;
};

TEST_F(PresetManager, NetworkTransitionsAreTrackedUntilTheyHaveSettled) {
    // The start is logged once even without a network backend; a run without the monitor (the
    // command line) does not claim one.
    const QString started = "🔍 [HANG-DIAG] NWPathMonitor started for WiFi fluctuation detection";
    start();
    EXPECT_FALSE(log.logged(started));
    std::function<void(const NetworkPathMonitor::Path&)> report;
    for (auto* sink : {static_cast<decltype(report)*>(nullptr), &report}) {
        log.clear();
        manager = std::make_unique<DockPresetManager>(
            openStore(), DockPresetManagerOptions{.monitorNetwork = true, .networkMonitorFactory = [sink] {
                                                      return std::make_unique<FakeMonitor>(sink);
                                                  }});
        EXPECT_EQ(log.messages("DockPresetManager").count(started), 1);
    }
    ASSERT_TRUE(report);

    manager->logIfNetworkTransitioning("Actions");
    EXPECT_FALSE(log.printedContaining("network transition"));
    manager->handleNetworkPathUpdate(false);
    EXPECT_TRUE(log.logged("🔍 [HANG-DIAG] Network path changed: satisfied → unsatisfied — system UI "
                           "updates may contend for main thread"));
    time.timers.advanceAndFire(2.0);
    manager->handleNetworkPathUpdate(false); // restarts the window
    EXPECT_TRUE(log.logged("🔍 [HANG-DIAG] Network path updated (status unchanged: unsatisfied) — possible "
                           "WiFi AP switch or interface change"));
    time.timers.advanceAndFire(1.5);
    EXPECT_TRUE(manager->isNetworkTransitioning());
    manager->logIfNetworkTransitioning("Actions");
    EXPECT_TRUE(log.logged("🔍 [HANG-DIAG] Actions running during network transition (last change 1.5s "
                           "ago) — elevated constraint removal risk"));
    time.timers.advanceAndFire(1.6);
    EXPECT_FALSE(manager->isNetworkTransitioning());
    EXPECT_TRUE(log.logged("🔍 [HANG-DIAG] Network settling window elapsed — transitioning flag cleared"));

    // Updates from the platform monitor arrive on the monitor queue.
    report(NetworkPathMonitor::Path{true});
    EXPECT_TRUE(waitUntil([&] { return manager->isNetworkTransitioning(); }));
}

} // namespace
