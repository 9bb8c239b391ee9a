#include "StoreFixtures.h"

#include "platform/Dispatch.h"
#include "platform/NetworkPathMonitor.h"
#include "platform/UserDefaults.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "store/PersistenceController.h"
#include "store/PresetRecord.h"
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
            out.append(p->name().value_or(QStringLiteral("<none>")));
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
    EXPECT_EQ(preset->name(), QStringLiteral("Default"));
    EXPECT_EQ(preset->order(), 0);
    EXPECT_TRUE(preset->id());
    EXPECT_EQ(decodeApps(preset->apps()), dock.apps);
    const auto items = preset->folderStacksArray();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(paths(items), (QStringList{dock.downloads, dock.documents}));
    EXPECT_EQ(orders(items), (QList<int>{0, 1}));
    EXPECT_EQ(items[0]->itemType(), QStringLiteral("folder"));
    EXPECT_EQ(items[0]->url(), dock.downloads);
    EXPECT_EQ(items[0]->displayAs(), QStringLiteral("stack"));
    EXPECT_EQ(items[0]->showAs(), QStringLiteral("fan"));
    EXPECT_EQ(items[0]->sortOrder(), QStringLiteral("date added"));
    EXPECT_EQ(items[1]->displayAs(), QStringLiteral("folder"));
    EXPECT_EQ(items[1]->showAs(), QStringLiteral("grid"));
    EXPECT_FALSE(items[1]->label());
    EXPECT_EQ(changed.count(), 1);
    for (const char* line : {"No presets found in database. Creating a default preset...",
                             "Creating new default preset...", "Added 3 apps to default preset",
                             "Found 2 folder items in current dock", "Default preset created successfully"})
        EXPECT_TRUE(log.printed(QString::fromUtf8(line))) << line;
    EXPECT_TRUE(log.printed(QStringLiteral("Added folder: ") + dock.downloads));

    // The next start finds it and makes no other.
    log.clear();
    start();
    EXPECT_EQ(names(), QStringList{QStringLiteral("Default")});
    EXPECT_TRUE(log.printed(QStringLiteral("Total presets in database: 1")));
    EXPECT_TRUE(log.printed(QStringLiteral("Total stacks in database: 2")));
}

TEST_F(PresetManager, RebuiltStoreGetsExactlyOneDefaultPreset) {
    {
        PersistenceController::Options options;
        options.modelHistory = QList<ModelVersion>{modelWithExtraAttribute(QStringLiteral("Other build"))};
        PersistenceController older(false, options);
        rawPreset(older.viewContext(), QStringLiteral("Old"), QUuid::createUuid(), 0, 1);
        older.viewContext().save();
    }
    NotificationCounter recreated(kDatabaseRecreatedNotification);
    start();
    drainMainQueue(); // the rebuilt-store notice arrives after start-up, as on the main queue
    EXPECT_EQ(recreated.count(), 1);
    EXPECT_TRUE(log.printed(QStringLiteral("Received database recreation notification")));
    EXPECT_TRUE(log.printed(QStringLiteral("Default preset already exists")));
    EXPECT_EQ(names(), QStringList{QStringLiteral("Default")});
    EXPECT_EQ(manager->fetchDefaultPreset()->folderStacks().size(), 2);
}

TEST_F(PresetManager, DatabaseRecreatedWhileRunningMakesTheDefaultAgain) {
    start();
    ASSERT_TRUE(manager->deletePreset(*manager->fetchDefaultPreset()->id()));
    NotificationCenter::shared().post(kDatabaseRecreatedNotification);
    EXPECT_EQ(names(), QStringList{QStringLiteral("Default")});
}

TEST_F(PresetManager, TwoPresetsOfOneNameFromAnOldStore) {
    seed([&](ManagedObjectContext& c) {
        rawPreset(c, QStringLiteral("Work"), QUuid::createUuid(), 0, 30);
        rawPreset(c, QStringLiteral("Work"), QUuid::createUuid(), 1, 10); // the older one
    });
    start();
    const DockPresetPtr found = manager->fetchPreset(QStringLiteral("Work"));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->createdAt(), QDateTime(QDate(2025, 1, 1), QTime(8, 10), Qt::UTC));
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Work"), QStringLiteral("Work")}));

    NotificationCounter changed(kPresetsDidChangeNotification);
    EXPECT_FALSE(manager->createPreset(QStringLiteral("Work"), QStringLiteral("[]")));
    EXPECT_TRUE(log.printed(QStringLiteral("Preset with name 'Work' already exists.")));
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(manager->fetchAllPresets().size(), 2);
}

TEST_F(PresetManager, BlankAndPlaceholderNamesBecomeRecoveredPresetsInListOrder) {
    seed([&](ManagedObjectContext& c) {
        rawPreset(c, QStringLiteral("  "), QUuid::createUuid(), 0, 1);
        rawPreset(c, QStringLiteral("Recovered Preset 2"), QUuid::createUuid(), 1, 1);
        rawPreset(c, std::nullopt, QUuid::createUuid(), 2, 1);
        rawPreset(c, QStringLiteral(" NULL\n"), QUuid::createUuid(), 3, 1);
        rawPreset(c, QStringLiteral("Undefined"), QUuid::createUuid(), 4, 1);
        rawPreset(c, QStringLiteral("nullable"), QUuid::createUuid(), 5, 1);
    });
    NotificationCounter changed(kPresetsDidChangeNotification);
    start();
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Recovered Preset 1"), QStringLiteral("Recovered Preset 2"),
                                    QStringLiteral("Recovered Preset 3"), QStringLiteral("Recovered Preset 4"),
                                    QStringLiteral("Recovered Preset 5"), QStringLiteral("nullable")}));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(log.logged(QStringLiteral("Preset identifier repair complete: total=6, missingIDs=0, duplicateIDs=0, "
                                          "renamedNames=4, updated=4")));
    EXPECT_TRUE(
        log.logged(QStringLiteral("Preset identifier repair renamed 4 preset(s) with blank/null/undefined names to "
                                  "'Recovered Preset N'.")));
}

TEST_F(PresetManager, MissingAndDuplicateIdentifiersAreReplaced) {
    const QUuid shared = QUuid::createUuid();
    UserDefaults::standard().set(QStringLiteral("coreDataPresetUUIDMigrationDone_v1.1"),
                                 true); // leave it to the repair
    seed([&](ManagedObjectContext& c) {
        rawPreset(c, QStringLiteral("First"), shared, 0, 1);
        rawPreset(c, QStringLiteral("Second"), shared, 1, 1);
        rawPreset(c, QStringLiteral("Third"), std::nullopt, 2, 1);
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
    EXPECT_TRUE(log.logged(QStringLiteral("Preset identifier repair complete: total=3, missingIDs=1, duplicateIDs=1, "
                                          "renamedNames=0, updated=2")));
    // A clean store is left as it is, without a report.
    log.clear();
    NotificationCounter changed(kPresetsDidChangeNotification);
    start();
    EXPECT_EQ(changed.count(), 0);
    for (const QString& message : log.messages())
        EXPECT_FALSE(message.startsWith(QStringLiteral("Preset identifier repair"))) << message.toStdString();
}

TEST_F(PresetManager, UuidMigrationRunsOnceAndIsFlagged) {
    seed([&](ManagedObjectContext& c) {
        rawPreset(c, QStringLiteral("A"), std::nullopt, 0, 1);
        rawPreset(c, QStringLiteral("B"), std::nullopt, 1, 1);
    });
    NotificationCounter changed(kPresetsDidChangeNotification);
    start();
    EXPECT_TRUE(log.printed(QStringLiteral("Starting CoreData migration: Assigning UUIDs to existing presets...")));
    EXPECT_TRUE(log.printed(QStringLiteral("Assigned UUIDs to 2 presets.")));
    EXPECT_EQ(changed.count(), 1); // the repair found nothing left to do
    EXPECT_TRUE(UserDefaults::standard().boolForKey(QStringLiteral("coreDataPresetUUIDMigrationDone_v1.1")));
    log.clear();
    start();
    EXPECT_FALSE(log.printed(QStringLiteral("Starting CoreData migration: Assigning UUIDs to existing presets...")));
}

TEST_F(PresetManager, NameKeyedShortcutsMoveToIdentifierKeys) {
    const QUuid work = QUuid::createUuid();
    const QUuid play = QUuid::createUuid();
    seed([&](ManagedObjectContext& c) {
        rawPreset(c, QStringLiteral("Work"), work, 0, 1);
        rawPreset(c, QStringLiteral("Play"), play, 1, 1);
    });
    UserDefaults& defaults = UserDefaults::standard();
    const QVariantMap old{{QStringLiteral("Work"), QVariantMap{{QStringLiteral("keyCode"), 18}}},
                          {QStringLiteral("Play"), QVariantMap{{QStringLiteral("keyCode"), 19}}},
                          {QStringLiteral("Gone"), QVariantMap{{QStringLiteral("keyCode"), 20}}}};
    defaults.set(QStringLiteral("presetShortcuts"), old);
    defaults.set(QStringLiteral("presetShortcuts_v2_byID"),
                 QVariantMap{{upper(play), QVariantMap{{QStringLiteral("keyCode"), 99}}}});
    start();
    const QVariantMap table = defaults.dictionary(QStringLiteral("presetShortcuts_v2_byID")).value_or(QVariantMap());
    EXPECT_EQ(table.size(), 2);
    EXPECT_EQ(table.value(upper(work)).toMap().value(QStringLiteral("keyCode")).toInt(), 18);
    EXPECT_EQ(table.value(upper(play)).toMap().value(QStringLiteral("keyCode")).toInt(), 99); // kept
    EXPECT_EQ(defaults.dictionary(QStringLiteral("presetShortcuts")), old);
    EXPECT_TRUE(
        log.printed(QStringLiteral("Orphaned shortcut found for preset name 'Gone' (preset no longer exists or has "
                                   "no ID). It will not be migrated.")));
    EXPECT_TRUE(log.printed(
        QStringLiteral("Shortcut for preset 'Play' (ID %1) already exists in new format. Skipping.").arg(upper(play))));
    EXPECT_TRUE(log.printed(QStringLiteral("Migrating shortcut for preset 'Work' to ID %1").arg(upper(work))));
    EXPECT_TRUE(log.printed(QStringLiteral("UserDefaults shortcut migration: Migrated 1 shortcuts.")));
    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("shortcutUserDefaultsMigrationToUUID_v1.1")));
}

TEST_F(PresetManager, EmptyShortcutTableIsStillFlaggedDone) {
    UserDefaults::standard().set(QStringLiteral("presetShortcuts"), QVariantMap());
    start();
    EXPECT_TRUE(log.printed(QStringLiteral("Old name-based shortcuts dictionary is empty. Nothing to migrate.")));
    EXPECT_TRUE(UserDefaults::standard().boolForKey(QStringLiteral("shortcutUserDefaultsMigrationToUUID_v1.1")));
}

TEST_F(PresetManager, StackMigrationEndsTheStartUpPass) {
    seed([&](ManagedObjectContext& c) {
        auto stack = c.insert<DockFolderStack>(); // from a store without item types, and without presets
        stack->setPath(QStringLiteral("/Users/me/Old"));
        auto unknown = c.insert<DockFolderStack>();
        unknown->setLabel(QStringLiteral("x"));
    });
    start();
    EXPECT_TRUE(log.printed(QStringLiteral("Found 2 stacks to migrate")));
    EXPECT_TRUE(log.printed(QStringLiteral("Migrating stack: /Users/me/Old")));
    EXPECT_TRUE(log.printed(QStringLiteral("Migrating stack: unknown path")));
    EXPECT_TRUE(log.printed(QStringLiteral("Successfully migrated 2 folder stacks")));
    EXPECT_FALSE(log.printedContaining(QStringLiteral("Total presets in database")));
    EXPECT_TRUE(manager->fetchAllPresets().isEmpty());
    const auto migrated = manager->context().fetch<DockFolderStack>(
        FetchRequest(DockFolderStack::kEntityName)
            .where(FetchCondition::equal(QStringLiteral("path"), QStringLiteral("/Users/me/Old"))));
    ASSERT_EQ(migrated.size(), 1);
    EXPECT_EQ(migrated.first()->itemType(), QStringLiteral("folder"));
    EXPECT_EQ(migrated.first()->url(), QStringLiteral("/Users/me/Old"));

    log.clear();
    start(); // the next start makes the default preset
    EXPECT_TRUE(log.printed(QStringLiteral("Found 0 stacks to migrate")));
    EXPECT_EQ(names(), QStringList{QStringLiteral("Default")});
}

// --- Presets -------------------------------------------------------------------------------

TEST_F(PresetManager, PresetsAreListedByOrderThenNewestFirst) {
    start();
    time.clock.advance(60);
    auto a = manager->createPreset(QStringLiteral("A"), QStringLiteral("[]"));
    time.clock.advance(60);
    auto b = manager->createPreset(QStringLiteral("B"), QStringLiteral("[]"));
    EXPECT_EQ(a->order(), 1);
    EXPECT_EQ(b->order(), 2);
    b->setOrder(1);
    manager->context().save();
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Default"), QStringLiteral("B"), QStringLiteral("A")}));
}

TEST_F(PresetManager, CreateRenameDeleteAndDuplicateAnnounceTheirChange) {
    start();
    NotificationCounter changed(kPresetsDidChangeNotification);
    const DockPresetPtr work = manager->createPreset(QStringLiteral("Work"), QStringLiteral("[\"a\"]"));
    ASSERT_TRUE(work);
    const QUuid id = *work->id();
    EXPECT_TRUE(log.printed(QStringLiteral("Preset 'Work' created successfully with ID %1").arg(upper(id))));
    EXPECT_EQ(changed.count(), 1);

    EXPECT_TRUE(manager->renamePreset(id, QStringLiteral("Work"))); // to itself
    EXPECT_TRUE(manager->renamePreset(id, QStringLiteral("Office")));
    EXPECT_TRUE(log.printed(QStringLiteral("Preset ID %1 renamed to 'Office'").arg(upper(id))));
    EXPECT_FALSE(manager->renamePreset(id, QStringLiteral("Default")));
    EXPECT_TRUE(
        log.printed(QStringLiteral("Cannot rename preset: Another preset with name 'Default' already exists.")));
    const QUuid unknown = QUuid::createUuid();
    EXPECT_FALSE(manager->renamePreset(unknown, QStringLiteral("X")));
    EXPECT_TRUE(log.printed(QStringLiteral("Preset with ID %1 not found for renaming.").arg(upper(unknown))));
    EXPECT_EQ(changed.count(), 3);
    EXPECT_EQ(manager->fetchPreset(id)->name(), QStringLiteral("Office"));

    manager->addFolderStack(work, QStringLiteral("/x"));
    const DockPresetPtr copy = manager->duplicatePreset(work);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->name(), QStringLiteral("Office Copy"));
    EXPECT_EQ(copy->apps(), QStringLiteral("[\"a\"]"));
    EXPECT_NE(copy->id(), work->id());
    EXPECT_EQ(copy->order(), 2);
    EXPECT_TRUE(copy->folderStacks().isEmpty());
    EXPECT_EQ(changed.count(), 4);

    EXPECT_TRUE(manager->deletePreset(id));
    EXPECT_TRUE(log.printed(QStringLiteral("Preset with ID %1 deleted successfully.").arg(upper(id))));
    EXPECT_FALSE(manager->deletePreset(id));
    EXPECT_TRUE(log.printed(QStringLiteral("Preset with ID %1 not found for deletion.").arg(upper(id))));
    EXPECT_EQ(changed.count(), 5);
    EXPECT_EQ(manager->context().count(FetchRequest(DockFolderStack::kEntityName)), 2); // Default's only

    // Item changes and list moves are not list changes.
    manager->addURL(copy, QStringLiteral("https://a.example"), QStringLiteral("A"));
    EXPECT_TRUE(manager->movePresets({1}, 0));
    EXPECT_EQ(changed.count(), 5);
}

TEST_F(PresetManager, FailedSaveRollsBackAndReports) {
    start();
    const DockPresetPtr work = manager->createPreset(QStringLiteral("Work"), QStringLiteral("[]"));
    {
        PersistenceController other; // another process renames it first
        auto theirs = other.viewContext().fetch<DockPreset>(
            FetchRequest(DockPreset::kEntityName)
                .where(FetchCondition::equal(QStringLiteral("name"), QStringLiteral("Work"))));
        theirs.first()->setAppNotes(QStringLiteral("{}"));
        other.viewContext().save();
    }
    // The stale object fails the save; nothing stays pending.
    work->setLastContextStatus(QStringLiteral("stale"));
    EXPECT_THROW(manager->context().save(), StoreError);
    manager->context().rollback();
    NotificationCounter changed(kPresetsDidChangeNotification);
    work->setName(QStringLiteral("Half"));
    manager->context().refresh(work, false);
    EXPECT_EQ(work->appNotes(), QStringLiteral("{}"));
    EXPECT_EQ(changed.count(), 0);
}

TEST_F(PresetManager, DeletingAPresetDropsItsShortcutAndHotkeyEntries) {
    start();
    const DockPresetPtr work = manager->createPreset(QStringLiteral("Work"), QStringLiteral("[]"));
    const DockPresetPtr play = manager->createPreset(QStringLiteral("Play"), QStringLiteral("[]"));
    UserDefaults& defaults = UserDefaults::standard();
    const QVariantMap old{{QStringLiteral("Work"), 1}};
    defaults.set(QStringLiteral("presetShortcuts"), old);
    defaults.set(QStringLiteral("presetShortcuts_v2_byID"),
                 QVariantMap{{upper(*work->id()), 1}, {upper(*play->id()), 2}});
    defaults.set(QStringLiteral("advancedHotkeyConfigurations_v1"),
                 QVariantMap{{upper(*work->id()), QVariantMap{{QStringLiteral("x"), 1}}}, {upper(*play->id()), 3}});
    ASSERT_TRUE(manager->deletePreset(*work->id()));
    EXPECT_EQ(defaults.dictionary(QStringLiteral("presetShortcuts_v2_byID"))->keys(), QStringList{upper(*play->id())});
    EXPECT_EQ(defaults.dictionary(QStringLiteral("advancedHotkeyConfigurations_v1"))->keys(),
              QStringList{upper(*play->id())});
    EXPECT_EQ(defaults.dictionary(QStringLiteral("presetShortcuts")), old);

    // A manager that owns shortcuts replaces the default; extra handlers run too.
    QList<QUuid> seen;
    manager->setPresetDeletionHandler(DockPresetManager::DeletionHook::Shortcut,
                                      [&](const QUuid& id) { seen.append(id); });
    manager->addPresetDeletionHandler([&](const QUuid& id) { seen.append(id); });
    ASSERT_TRUE(manager->deletePreset(*play->id()));
    EXPECT_EQ(seen, (QList<QUuid>{*play->id(), *play->id()}));
    EXPECT_EQ(defaults.dictionary(QStringLiteral("presetShortcuts_v2_byID"))->size(), 1); // left to the new owner
    EXPECT_TRUE(defaults.dictionary(QStringLiteral("advancedHotkeyConfigurations_v1"))->isEmpty());
}

TEST_F(PresetManager, ResolvesIdentifiersOfEveryKind) {
    start();
    const DockPresetPtr work = manager->createPreset(QStringLiteral("Work"), QStringLiteral("[]"));
    const DockFolderStackPtr item = manager->addFolderStack(work, QStringLiteral("/x"));
    EXPECT_EQ(DockPresetManager::presetIdentifierKind(upper(*work->id())), QStringLiteral("uuid"));
    EXPECT_EQ(DockPresetManager::presetIdentifierKind(work->objectIdUri()), QStringLiteral("objectIDURI"));
    EXPECT_EQ(DockPresetManager::presetIdentifierKind(QStringLiteral("Work")), QStringLiteral("legacy-or-invalid"));
    EXPECT_EQ(DockPresetManager::presetIdentifierKind(QString()), QStringLiteral("empty"));

    EXPECT_EQ(manager->resolvePreset(work->idString().toLower()), work);
    EXPECT_EQ(manager->resolvePreset(work->objectIdUri()), work);
    EXPECT_TRUE(log.logged(QStringLiteral("Resolved AppIntent preset identifier kind=objectIDURI fallbackName=nil to "
                                          "preset='Work' id=%1")
                               .arg(work->idString())));
    EXPECT_EQ(manager->resolvePreset(item->objectIdUri(), QStringLiteral("Default")), manager->fetchDefaultPreset());
    EXPECT_EQ(manager->resolvePreset(upper(QUuid::createUuid()), QStringLiteral("Work")), work);
    EXPECT_EQ(manager->resolvePreset(QStringLiteral("Work")), nullptr); // only the fallback name is looked up
    EXPECT_TRUE(log.logged(
        QStringLiteral("Unable to resolve AppIntent preset identifier kind=legacy-or-invalid fallbackName=nil")));
    EXPECT_EQ(manager->resolvePreset(QString(), QStringLiteral("Work")), work);
}

TEST_F(PresetManager, LookupsWorkFromBackgroundThreads) {
    start();
    manager->createPreset(QStringLiteral("Work"), QStringLiteral("[]"));
    QFuture<QString> future = QtConcurrent::run([this] {
        const DockPresetPtr found = manager->fetchPreset(QStringLiteral("Work"));
        return found ? QStringLiteral("%1/%2")
                           .arg(found->name().value_or(QString()))
                           .arg(manager->fetchAllPresets().size())
                     : QString();
    });
    ASSERT_TRUE(processEventsUntil([&] { return future.isFinished(); }));
    EXPECT_EQ(future.result(), QStringLiteral("Work/2"));
}

TEST_F(PresetManager, MovingPresetsRenumbersTheList) {
    start();
    manager->createPreset(QStringLiteral("A"), QStringLiteral("[]"));
    manager->createPreset(QStringLiteral("B"), QStringLiteral("[]"));
    EXPECT_TRUE(manager->movePresets({0}, 3));
    EXPECT_EQ(names(), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("Default")}));
    EXPECT_TRUE(manager->movePresets({2, 1}, 0));
    EXPECT_EQ(names(), (QStringList{QStringLiteral("B"), QStringLiteral("Default"), QStringLiteral("A")}));
    QList<int> o;
    for (const auto& p : manager->fetchAllPresets())
        o.append(p->order());
    EXPECT_EQ(o, (QList<int>{0, 1, 2}));
    EXPECT_FALSE(manager->movePresets({3}, 0));
    EXPECT_FALSE(manager->movePresets({0}, 4));
}

// --- Items ---------------------------------------------------------------------------------

TEST_F(PresetManager, ItemsAreAppendedWithTheirKindsDefaults) {
    start();
    const DockPresetPtr work = manager->createPreset(QStringLiteral("Work"), QStringLiteral("[]"));
    const auto folder = manager->addFolderStack(work, QStringLiteral("/Users/me/Projects"), QStringLiteral("stack"),
                                                QStringLiteral("list"), QStringLiteral("kind"));
    const auto file = manager->addFile(work, QStringLiteral("file:///Users/me/My%20Notes.txt"));
    const auto labelled = manager->addFile(work, QStringLiteral("/tmp/a.txt"), QStringLiteral("Mine"));
    const auto link = manager->addURL(work, QStringLiteral("https://example.com/"), QStringLiteral("Example"));
    const auto generic =
        manager->addDockItem(work, QStringLiteral("/tmp/b"), QStringLiteral("file"), std::nullopt, std::nullopt,
                             QStringLiteral("stack"), QStringLiteral("fan"), QStringLiteral("kind"));
    EXPECT_EQ(orders(work->folderStacksArray()), (QList<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(folder->itemType(), QStringLiteral("folder"));
    EXPECT_EQ(folder->url(), QStringLiteral("/Users/me/Projects"));
    EXPECT_FALSE(folder->label());
    EXPECT_EQ(folder->displayAs(), QStringLiteral("stack"));
    EXPECT_EQ(file->label(), QStringLiteral("My Notes.txt"));
    EXPECT_EQ(labelled->label(), QStringLiteral("Mine"));
    EXPECT_EQ(link->itemType(), QStringLiteral("url"));
    EXPECT_FALSE(link->path());
    EXPECT_EQ(link->url(), QStringLiteral("https://example.com/"));
    EXPECT_EQ(generic->url(), QStringLiteral("/tmp/b"));
    EXPECT_EQ(generic->displayAs(), QStringLiteral("folder")); // files show as plain tiles
    EXPECT_EQ(generic->showAs(), QStringLiteral("grid"));
    EXPECT_EQ(generic->sortOrder(), QStringLiteral("name"));
    EXPECT_EQ(paths(manager->dockItems(work, QStringLiteral("file"))),
              (QStringList{QStringLiteral("file:///Users/me/My%20Notes.txt"), QStringLiteral("/tmp/a.txt"),
                           QStringLiteral("/tmp/b")}));
    EXPECT_EQ(manager->dockItems(work).size(), 5);

    manager->updateFolderStack(folder, std::nullopt, QStringLiteral("grid"), std::nullopt);
    manager->updateLabel(link, std::nullopt);
    PersistenceController reader;
    const auto stored =
        reader.viewContext()
            .fetch<DockPreset>(FetchRequest(DockPreset::kEntityName)
                                   .where(FetchCondition::equal(QStringLiteral("name"), QStringLiteral("Work"))))
            .first()
            ->folderStacksArray();
    EXPECT_EQ(stored[0]->displayAs(), QStringLiteral("stack"));
    EXPECT_EQ(stored[0]->showAs(), QStringLiteral("grid"));
    EXPECT_FALSE(stored[3]->label());
    EXPECT_EQ(stored[3]->effectiveLabel(), QStringLiteral("https://example.com/"));
}

TEST_F(PresetManager, ReorderingAndRemovingItems) {
    start();
    const DockPresetPtr work = manager->createPreset(QStringLiteral("Work"), QStringLiteral("[]"));
    for (const char* p : {"/x", "/y", "/z"})
        manager->addFolderStack(work, QString::fromUtf8(p));
    manager->reorderDockItems(work, {0}, 3);
    EXPECT_EQ(paths(work->folderStacksArray()), (QStringList{"/y", "/z", "/x"}));
    EXPECT_EQ(orders(work->folderStacksArray()), (QList<int>{0, 1, 2}));
    manager->reorderDockItems(work, {2}, 0);
    EXPECT_EQ(paths(work->folderStacksArray()), (QStringList{"/x", "/y", "/z"}));
    EXPECT_THROW(manager->reorderDockItems(work, {3}, 0), StoreError);
    EXPECT_THROW(manager->reorderDockItems(work, {0}, 4), StoreError);

    manager->removeDockItem(work->folderStacksArray()[1]);
    EXPECT_EQ(paths(work->folderStacksArray()), (QStringList{"/x", "/z"}));
    EXPECT_EQ(orders(work->folderStacksArray()), (QList<int>{0, 2})); // gaps are fine
    EXPECT_EQ(manager->addFolderStack(work, QStringLiteral("/w"))->order(), 2);
}

TEST_F(PresetManager, ItemOperationsPassStoreErrorsOnAndLeaveNothingPending) {
    start();
    const DockPresetPtr work = manager->createPreset(QStringLiteral("Work"), QStringLiteral("[]"));
    const DockFolderStackPtr item = manager->addFolderStack(work, QStringLiteral("/x"));
    {
        PersistenceController other; // another writer changes the item
        auto stack = other.viewContext().fetch<DockFolderStack>(
            FetchRequest(DockFolderStack::kEntityName)
                .where(FetchCondition::equal(QStringLiteral("path"), QStringLiteral("/x"))));
        stack.first()->setLabel(QStringLiteral("theirs"));
        other.viewContext().save();
    }
    try {
        manager->updateLabel(item, QStringLiteral("mine"));
        FAIL() << "expected a conflict";
    } catch (const StoreError& error) {
        EXPECT_EQ(error.code(), StoreError::kOptimisticLockingFailure);
    }
    EXPECT_FALSE(manager->context().hasChanges());
    EXPECT_EQ(item->label(), QStringLiteral("theirs")); // read again from the store
    EXPECT_EQ(manager->updateLabel(item, QStringLiteral("mine"))->label(), QStringLiteral("mine"));

    // A preset that is not in the store cannot take items.
    PersistenceController memory(true);
    auto stray = memory.viewContext().insert<DockPreset>();
    EXPECT_THROW(manager->addFile(stray, QStringLiteral("/a")), StoreError);
    EXPECT_FALSE(manager->context().hasChanges());
}

// --- Refresh and diagnostics ---------------------------------------------------------------

TEST_F(PresetManager, RefreshIsThrottledToOncePerFiveSeconds) {
    start();
    const DockPresetPtr preset = manager->fetchDefaultPreset();
    const int registered = static_cast<int>(manager->context().registeredObjects().size());
    preset->folderStacksArray().first()->setLabel(QStringLiteral("unsaved"));
    manager->refreshContext();
    EXPECT_TRUE(log.printed(QStringLiteral("DockPresetManager: Core Data context refreshed %1/%2 objects (0.0ms)")
                                .arg(registered - 1)
                                .arg(registered)));
    EXPECT_EQ(preset->folderStacksArray().first()->label(), QStringLiteral("unsaved"));

    {
        PersistenceController other;
        other.viewContext()
            .fetch<DockPreset>(FetchRequest(DockPreset::kEntityName))
            .first()
            ->setAppNotes(QStringLiteral("n"));
        other.viewContext().save();
    }
    EXPECT_EQ(preset->appNotes(), QStringLiteral("n")); // a refreshed object reads the store again

    log.clear();
    time.clock.advance(2.0);
    manager->refreshContext();
    EXPECT_TRUE(
        log.printed(QStringLiteral("DockPresetManager: Context refresh throttled (last refresh 2000.0ms ago)")));
    EXPECT_TRUE(log.logged(QStringLiteral("Core Data context refresh throttled; last refresh was 2000.0ms ago")));
    EXPECT_FALSE(log.printedContaining(QStringLiteral("context refreshed")));
    time.clock.advance(2.9995);
    manager->refreshContext();
    EXPECT_TRUE(
        log.printed(QStringLiteral("DockPresetManager: Context refresh throttled (last refresh 4999.5ms ago)")));
    time.clock.advance(0.001);
    manager->refreshContext();
    EXPECT_TRUE(log.printedContaining(QStringLiteral("DockPresetManager: Core Data context refreshed")));
}

TEST_F(PresetManager, NetworkTransitionsAreTrackedUntilTheyHaveSettled) {
    class FakeMonitor : public NetworkPathMonitor {
    public:
        explicit FakeMonitor(std::function<void(const Path&)>* sink) : sink_(sink) {}
        bool start(std::function<void(const Path&)> onUpdate) override {
            *sink_ = std::move(onUpdate);
            return true;
        }
        void cancel() override {}

    private:
        std::function<void(const Path&)>* sink_;
    };
    std::function<void(const NetworkPathMonitor::Path&)> report;
    manager = std::make_unique<DockPresetManager>(
        openStore(), DockPresetManagerOptions{.monitorNetwork = true, .networkMonitorFactory = [&] {
                                                  return std::make_unique<FakeMonitor>(&report);
                                              }});
    EXPECT_TRUE(log.logged(QStringLiteral("🔍 [HANG-DIAG] NWPathMonitor started for WiFi fluctuation detection")));
    ASSERT_TRUE(report);

    manager->logIfNetworkTransitioning(QStringLiteral("Actions"));
    EXPECT_FALSE(log.printedContaining(QStringLiteral("network transition")));
    manager->handleNetworkPathUpdate(false);
    EXPECT_TRUE(log.logged(QStringLiteral("🔍 [HANG-DIAG] Network path changed: satisfied → unsatisfied — system UI "
                                          "updates may contend for main thread")));
    time.timers.advanceAndFire(2.0);
    manager->handleNetworkPathUpdate(false); // restarts the window
    EXPECT_TRUE(
        log.logged(QStringLiteral("🔍 [HANG-DIAG] Network path updated (status unchanged: unsatisfied) — possible "
                                  "WiFi AP switch or interface change")));
    time.timers.advanceAndFire(1.5);
    EXPECT_TRUE(manager->isNetworkTransitioning());
    manager->logIfNetworkTransitioning(QStringLiteral("Actions"));
    EXPECT_TRUE(log.logged(QStringLiteral("🔍 [HANG-DIAG] Actions running during network transition (last change 1.5s "
                                          "ago) — elevated constraint removal risk")));
    time.timers.advanceAndFire(1.6);
    EXPECT_FALSE(manager->isNetworkTransitioning());
    EXPECT_TRUE(
        log.logged(QStringLiteral("🔍 [HANG-DIAG] Network settling window elapsed — transitioning flag cleared")));

    // Updates from the platform monitor arrive on the monitor queue.
    report(NetworkPathMonitor::Path{true});
    EXPECT_TRUE(processEventsUntil([&] { return manager->isNetworkTransitioning(); }));
}

TEST_F(PresetManager, MonitorStartIsLoggedEvenWithoutANetworkBackend) {
    class NoBackend : public NetworkPathMonitor {
    public:
        bool start(std::function<void(const Path&)>) override { return false; }
        void cancel() override {}
    };
    const QString started = QStringLiteral("🔍 [HANG-DIAG] NWPathMonitor started for WiFi fluctuation detection");
    manager = std::make_unique<DockPresetManager>(
        openStore(), DockPresetManagerOptions{.monitorNetwork = true,
                                              .networkMonitorFactory = [] { return std::make_unique<NoBackend>(); }});
    EXPECT_EQ(log.messages(QStringLiteral("DockPresetManager")).count(started), 1);

    // A run without the monitor (the command line) does not claim one.
    log.clear();
    start();
    EXPECT_FALSE(log.logged(started));
}

} // namespace
