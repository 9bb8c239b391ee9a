#include "StoreFixtures.h"

#include "platform/Dispatch.h"
#include "store/ManagedObjectContext.h"
#include "store/PersistenceController.h"
#include "support/CapturingLogSink.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtConcurrent/QtConcurrentRun>
#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;
using namespace pierline::test::store;

namespace {

class Persistence : public ::testing::Test {
protected:
    void TearDown() override { drainMainQueue(); }

    QStringList logLines() const { return log.messages("PersistenceController"); }

    static DockPresetPtr addPreset(ManagedObjectContext& context, const QString& name, qint16 order = 0) {
        auto preset = context.insert<DockPreset>();
        preset->setId(QUuid::createUuid());
        preset->setName(name);
        preset->setOrder(order);
        preset->setCreatedAt(QDateTime::currentDateTimeUtc());
        return preset;
    }
    static DockFolderStackPtr addStack(ManagedObjectContext& context, const DockPresetPtr& preset, const QString& path,
                                       qint16 order) {
        auto stack = context.insert<DockFolderStack>();
        stack->setPath(path);
        stack->setItemType("folder");
        stack->setOrder(order);
        stack->setPreset(preset);
        return stack;
    }
    static QList<DockPresetPtr> presetsNamed(ManagedObjectContext& context, const QString& name) {
        return context.fetch<DockPreset>(
            FetchRequest(DockPreset::kEntityName).where(FetchCondition::equal("name", name)));
    }
    static int presetCount(ManagedObjectContext& context) {
        return context.count(FetchRequest(DockPreset::kEntityName));
    }

    static PersistenceController::Options withHistory(QList<ModelVersion> history) {
        PersistenceController::Options options;
        options.modelHistory = std::move(history);
        return options;
    }

    TempHome home;
    CapturingLogSink log;
};

TEST_F(Persistence, NewStoreFileIsReadyAndItsObjectIdsNameTheStore) {
    PersistenceController controller;
    ASSERT_TRUE(controller.isStoreReady());
    EXPECT_EQ(controller.storeLocation(), storePath(home));
    EXPECT_TRUE(QFileInfo::exists(storePath(home)));
    EXPECT_TRUE(logLines().contains(QStringLiteral("Database location: %1").arg(storePath(home))));

    ManagedObjectContext& context = controller.viewContext();
    auto preset = addPreset(context, "Work");
    EXPECT_TRUE(preset->objectIdUri().startsWith("x-coredata:///DockPreset/t"));
    EXPECT_EQ(context.existingObject(preset->objectIdUri()), preset);
    context.save();
    const QString uri = preset->objectIdUri();
    const QRegularExpression shape("^x-coredata://[0-9A-F-]{36}/DockPreset/p(\\d+)$");
    ASSERT_TRUE(shape.match(uri).hasMatch()) << uri.toStdString();
    EXPECT_EQ(context.existingObject(uri), preset);

    // Another connection to the same file resolves the same identifier to the same row.
    PersistenceController other;
    auto seen = std::dynamic_pointer_cast<DockPreset>(other.viewContext().existingObject(uri));
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->name(), "Work");

    QString foreign = uri;
    foreign.replace(QRegularExpression("//[0-9A-F-]{36}/"), "//00000000-0000-0000-0000-000000000000/");
    EXPECT_EQ(context.existingObject(foreign), nullptr);
    EXPECT_EQ(context.existingObject("x-coredata://nonsense"), nullptr);
    EXPECT_EQ(context.existingObject(uri.left(uri.lastIndexOf('p')) + "p999"), nullptr);
}

TEST_F(Persistence, AttributesKeepTheirTypesAndRanges) {
    PersistenceController controller;
    ManagedObjectContext& context = controller.viewContext();
    auto preset = context.insert<DockPreset>();
    auto stack = context.insert<DockFolderStack>();
    const QUuid id = QUuid::createUuid();
    const QDateTime created = QDateTime::fromMSecsSinceEpoch(1767258000123, Qt::UTC);
    const HarborletConfiguration config{{"a"}, {"b", "c"}};
    preset->setId(id);
    preset->setName("Ünïcode ✓");
    preset->setOrder(-32768);
    preset->setCreatedAt(created);
    preset->setHarborletOnlyMode(true);
    preset->setHarborletConfiguration(config);
    preset->setLastContextUpdatedAt(created.addDays(1));
    stack->setOrder(32767);
    stack->setPreset(preset);
    context.save();

    PersistenceController reader;
    const auto found = presetsNamed(reader.viewContext(), "Ünïcode ✓");
    ASSERT_EQ(found.size(), 1);
    const DockPresetPtr copy = found.first();
    EXPECT_EQ(copy->id(), id);
    EXPECT_EQ(copy->idString(), id.toString(QUuid::WithoutBraces).toUpper());
    EXPECT_EQ(copy->order(), -32768);
    EXPECT_EQ(copy->createdAt(), created);
    EXPECT_TRUE(copy->harborletOnlyMode());
    EXPECT_EQ(copy->harborletConfiguration(), config);
    EXPECT_EQ(copy->lastContextUpdatedAt(), created.addDays(1));
    EXPECT_FALSE(copy->appNotes());
    const auto stacks = copy->folderStacksArray();
    ASSERT_EQ(stacks.size(), 1);
    EXPECT_EQ(stacks.first()->order(), 32767);
    EXPECT_EQ(stacks.first()->preset(), copy);
    EXPECT_FALSE(stacks.first()->path());
}

TEST_F(Persistence, RollbackUndoesInsertsChangesAndDeletions) {
    PersistenceController controller;
    ManagedObjectContext& context = controller.viewContext();
    auto work = addPreset(context, "Work", 0);
    addStack(context, work, "/a", 0);
    addStack(context, work, "/b", 1);
    auto play = addPreset(context, "Play", 1);
    context.save();

    const DockFolderStackPtr b = work->folderStacksArray()[1];
    auto fresh = addPreset(context, "Fresh", 2);
    auto freshItem = addStack(context, fresh, "/c", 0);
    auto extra = addStack(context, work, "/d", 2);
    work->setName("Renamed");
    work->folderStacksArray().first()->setLabel("A");
    context.deleteObject(play);
    context.deleteObject(b);
    EXPECT_EQ(work->folderStacks().size(), 2);
    EXPECT_EQ(presetCount(context), 2); // Work and Fresh: Play is deleted
    ASSERT_TRUE(context.hasChanges());

    context.rollback();
    EXPECT_FALSE(context.hasChanges());
    EXPECT_EQ(fresh->context(), nullptr);
    EXPECT_EQ(freshItem->context(), nullptr);
    EXPECT_EQ(extra->context(), nullptr);
    EXPECT_EQ(work->name(), "Work");
    EXPECT_FALSE(play->isDeleted());
    const auto items = work->folderStacksArray();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->path(), "/a");
    EXPECT_FALSE(items[0]->label());
    EXPECT_EQ(items[1]->path(), "/b");
    EXPECT_EQ(presetCount(context), 2);

    // Deleting a preset takes its items; rolling that back brings them all back.
    context.deleteObject(work);
    EXPECT_TRUE(items[0]->isDeleted());
    context.rollback();
    EXPECT_EQ(work->folderStacksArray().size(), 2);
    EXPECT_EQ(context.count(FetchRequest(DockFolderStack::kEntityName)), 2);
}

TEST_F(Persistence, DeletingAPresetDeletesItsItemsEvenOnesAddedElsewhere) {
    PersistenceController controller;
    ManagedObjectContext& context = controller.viewContext();
    auto work = addPreset(context, "Work");
    addStack(context, work, "/a", 0);
    context.save();
    {
        PersistenceController other;
        auto theirs = presetsNamed(other.viewContext(), "Work").first();
        addStack(other.viewContext(), theirs, "/b", 1);
        other.viewContext().save();
    }
    context.deleteObject(work);
    context.save();
    EXPECT_EQ(work->context(), nullptr);
    PersistenceController reader;
    EXPECT_EQ(reader.viewContext().count(FetchRequest(DockFolderStack::kEntityName)), 0);
}

TEST_F(Persistence, FetchMatchesUnsavedChangesOnTheirCurrentValues) {
    PersistenceController controller;
    ManagedObjectContext& context = controller.viewContext();
    auto a = addPreset(context, "A", 1);
    auto b = addPreset(context, "B", 2);
    auto gone = addPreset(context, "Gone", 3);
    context.save();

    auto c = addPreset(context, "A", 0); // unsaved
    b->setName("A");
    context.deleteObject(gone);
    const auto named = context.fetch<DockPreset>(
        FetchRequest(DockPreset::kEntityName).where(FetchCondition::equal("name", "A")).sortedBy("order"));
    EXPECT_EQ(named, (QList<DockPresetPtr>{c, a, b}));
    const auto first =
        context.fetch<DockPreset>(FetchRequest(DockPreset::kEntityName).sortedBy("order", false).limitedTo(1));
    EXPECT_EQ(first, (QList<DockPresetPtr>{b}));
    EXPECT_EQ(presetCount(context), 3);
    EXPECT_TRUE(
        context.fetch<DockPreset>(FetchRequest(DockPreset::kEntityName).where(FetchCondition::equal("name", "B")))
            .isEmpty());
}

TEST_F(Persistence, RefreshTurnsObjectsIntoFaultsThatReadTheStoreAgain) {
    PersistenceController controller;
    ManagedObjectContext& context = controller.viewContext();
    auto work = addPreset(context, "Work");
    auto doomed = addPreset(context, "Doomed");
    addStack(context, work, "/a", 0);
    context.save();

    PersistenceController other;
    auto theirs = presetsNamed(other.viewContext(), "Work").first();
    theirs->setName("Play");
    addStack(other.viewContext(), theirs, "/b", 1);
    other.viewContext().deleteObject(presetsNamed(other.viewContext(), "Doomed").first());
    other.viewContext().save();

    EXPECT_EQ(work->name(), "Work"); // not read again yet
    EXPECT_EQ(work->folderStacks().size(), 1);
    context.refresh(work, false);
    EXPECT_TRUE(work->isFault());
    EXPECT_EQ(work->name(), "Play");
    EXPECT_FALSE(work->isFault());
    EXPECT_EQ(work->folderStacksArray().size(), 2);

    context.refresh(doomed, false);
    EXPECT_EQ(doomed->name(), "Doomed"); // last known value
    EXPECT_EQ(doomed->context(), nullptr);

    // Without merging, unsaved changes are dropped; with merging they stay on top of the row.
    work->setName("Local");
    context.refresh(work, false);
    EXPECT_FALSE(context.hasChanges());
    EXPECT_EQ(work->name(), "Play");
    theirs->setLastContextStatus("theirs");
    other.viewContext().save();
    work->setName("Local");
    context.refresh(work, true);
    EXPECT_EQ(work->name(), "Local");
    EXPECT_EQ(work->lastContextStatus(), "theirs");
    EXPECT_NO_THROW(context.save()); // the row's current version was taken over
}

// A list reads the items of many presets at once, across more presets than one read takes.
TEST_F(Persistence, ItemsOfManyPresetsStayWithTheirPresetInTheirOrder) {
    constexpr int kPresets = 300;
    {
        PersistenceController writer;
        ManagedObjectContext& context = writer.viewContext();
        QList<DockPresetPtr> presets;
        for (int i = 0; i < kPresets; ++i)
            presets.append(addPreset(context, QStringLiteral("P%1").arg(i), static_cast<qint16>(i)));
        // Rows interleave the presets, and a preset's later row may hold an earlier order.
        for (int round = 0; round < 3; ++round)
            for (int i = 0; i < kPresets; i += 1 + round)
                addStack(context, presets[i], QStringLiteral("/%1/%2").arg(i).arg(round),
                         static_cast<qint16>(3 - round));
        context.save();
    }

    PersistenceController reader;
    ManagedObjectContext& context = reader.viewContext();
    DockPresetPtr first = presetsNamed(context, "P0").first();
    first->folderStacksArray().first()->setLabel("unsaved");
    const auto all = context.fetch<DockPreset>(FetchRequest(DockPreset::kEntityName));
    ASSERT_EQ(all.size(), kPresets);
    for (const DockPresetPtr& preset : all) {
        const int i = preset->name()->mid(1).toInt();
        QStringList expected;
        for (int round = 2; round >= 0; --round)
            if (i % (1 + round) == 0)
                expected.append(QStringLiteral("/%1/%2").arg(i).arg(round));
        QStringList paths;
        for (const DockFolderStackPtr& item : preset->folderStacksArray()) {
            EXPECT_EQ(item->preset(), preset);
            paths.append(item->path().value_or(QString()));
        }
        EXPECT_EQ(paths, expected) << preset->name()->toStdString();
    }
    EXPECT_EQ(first->folderStacksArray().first()->label(), "unsaved");
}

TEST_F(Persistence, SaveWithoutChangesWritesNothingAndTheSecondOfTwoConflictingSavesFails) {
    PersistenceController first;
    addPreset(first.viewContext(), "Work");
    first.viewContext().save();
    const DockPresetPtr mine = presetsNamed(first.viewContext(), "Work").first();
    mine->setName("Work"); // the same value is no change
    EXPECT_FALSE(first.viewContext().hasChanges());

    // Another writer changes the row; a save here must neither fail nor write stale values back.
    PersistenceController second;
    const DockPresetPtr theirs = presetsNamed(second.viewContext(), "Work").first();
    theirs->setName("Play");
    second.viewContext().save();
    EXPECT_NO_THROW(first.save(first.viewContext()));
    EXPECT_EQ(presetsNamed(second.viewContext(), "Play").size(), 1);

    // Now both change it: the second save fails and loses nothing stored.
    first.viewContext().refresh(mine, false);
    mine->setName("Mine");
    first.viewContext().save();
    theirs->setName("Theirs");
    try {
        second.save(second.viewContext());
        FAIL() << "expected a conflict";
    } catch (const PersistenceError& error) {
        EXPECT_EQ(error.kind(), PersistenceError::Kind::SaveFailed);
        EXPECT_TRUE(error.description().startsWith("Failed to save: Could not merge changes"));
    }
    EXPECT_THROW(second.viewContext().save(), StoreError);
    second.viewContext().rollback();
    EXPECT_EQ(presetsNamed(second.viewContext(), "Mine").size(), 1);
}

TEST_F(Persistence, StoreOfAnotherModelIsReplacedAndAnnouncedOnce) {
    {
        PersistenceController older(false, withHistory({modelWithExtraAttribute("Other build")}));
        ASSERT_TRUE(older.isStoreReady());
        addPreset(older.viewContext(), "Old");
        older.viewContext().save();
    }
    const QString neighbour = home.write("Library/Application Support/Pierline/Themes/keep.json", "{}");
    NotificationCounter recreated(kDatabaseRecreatedNotification);
    NotificationCounter failed(kCoreDataInitializationFailedNotification);

    PersistenceController controller;
    ASSERT_TRUE(controller.isStoreReady());
    EXPECT_EQ(presetCount(controller.viewContext()), 0);
    drainMainQueue();
    EXPECT_EQ(recreated.count(), 1);
    EXPECT_EQ(failed.count(), 0);
    EXPECT_TRUE(QFileInfo::exists(neighbour));
    const QStringList lines = logLines();
    EXPECT_TRUE(lines.contains("Error domain: NSCocoaErrorDomain, code: 134100"));
    const qsizetype detected = lines.indexOf("Detected Core Data version incompatibility, attempting recovery...");
    const qsizetype removed = lines.indexOf("Removed corrupted Core Data store");
    const qsizetype recovered = lines.indexOf("Successfully recovered Core Data store");
    EXPECT_TRUE(detected >= 0 && detected < removed && removed < recovered) << lines.join('\n').toStdString();

    // The rebuilt store is an ordinary one: opening it again changes nothing.
    addPreset(controller.viewContext(), "New");
    controller.viewContext().save();
    PersistenceController again;
    drainMainQueue();
    EXPECT_EQ(recreated.count(), 1);
    EXPECT_EQ(presetsNamed(again.viewContext(), "New").size(), 1);
}

TEST_F(Persistence, EarlierModelVersionIsMigratedInPlace) {
    const ModelVersion v1 = pierlineModelHistory().last();
    const ModelVersion v2 = modelWithExtraAttribute("Pierline 2");
    {
        PersistenceController old(false, withHistory({v1}));
        addPreset(old.viewContext(), "Keep");
        old.viewContext().save();
    }
    NotificationCounter recreated(kDatabaseRecreatedNotification);
    {
        PersistenceController current(false, withHistory({v1, v2}));
        ASSERT_TRUE(current.isStoreReady());
        const auto kept = presetsNamed(current.viewContext(), "Keep");
        ASSERT_EQ(kept.size(), 1);
        EXPECT_EQ(kept.first()->value("pinned"), QVariant(false)); // the new column's default
        auto pinned = addPreset(current.viewContext(), "Pinned");
        pinned->setValue("pinned", true);
        current.viewContext().save();
    }
    {
        PersistenceController reopened(false, withHistory({v1, v2}));
        EXPECT_EQ(presetsNamed(reopened.viewContext(), "Pinned").first()->value("pinned"), QVariant(true));
    }
    drainMainQueue();
    EXPECT_EQ(recreated.count(), 0);

    // A build that only knows v1 cannot read a v2 store: it takes the recovery path.
    PersistenceController older(false, withHistory({v1}));
    drainMainQueue();
    EXPECT_EQ(recreated.count(), 1);
    EXPECT_EQ(presetCount(older.viewContext()), 0);
}

TEST_F(Persistence, MigrationThatCannotBeInferredKeepsTheFile) {
    const ModelVersion v2 = modelWithExtraAttribute("Pierline 2");
    const ModelVersion v3 = modelWithExtraAttribute("Pierline 3", AttributeType::Int16);
    {
        PersistenceController old(false, withHistory({v2}));
        addPreset(old.viewContext(), "Keep");
        old.viewContext().save();
    }
    NotificationCounter failed(kCoreDataInitializationFailedNotification);
    PersistenceController broken(false, withHistory({v2, v3}));
    EXPECT_FALSE(broken.isStoreReady());
    drainMainQueue();
    EXPECT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.lastUserInfo().value("error").toString(), kCoreDataInitializationFailedMessage);
    EXPECT_TRUE(logLines().contains("Core Data migration failed"));
    ASSERT_TRUE(broken.loadError());
    EXPECT_EQ(broken.loadError()->code(), StoreError::kMigration);

    PersistenceController fine(false, withHistory({v2}));
    EXPECT_EQ(presetsNamed(fine.viewContext(), "Keep").size(), 1);
}

TEST_F(Persistence, StoreThatCannotBeRemovedIsGivenUpWithoutAnotherLoad) {
    {
        PersistenceController older(false, withHistory({modelWithExtraAttribute("Other build")}));
        addPreset(older.viewContext(), "Old");
        older.viewContext().save();
    }
    NotificationCounter recreated(kDatabaseRecreatedNotification);
    NotificationCounter failed(kCoreDataInitializationFailedNotification);
    int removals = 0;
    PersistenceController::Options options;
    options.removeFile = [&](const QString& path, QString* error) {
        ++removals;
        EXPECT_EQ(path, storePath(home));
        *error = "Operation not permitted";
        return false;
    };
    PersistenceController controller(false, options);
    EXPECT_FALSE(controller.isStoreReady());
    EXPECT_EQ(removals, 1);
    drainMainQueue();
    EXPECT_EQ(failed.count(), 1);
    EXPECT_EQ(recreated.count(), 0);
    EXPECT_TRUE(logLines().contains("Failed to remove corrupted store: Operation not permitted"));
    EXPECT_TRUE(QFileInfo::exists(storePath(home)));

    // The program goes on without a store: the helpers say so.
    log.clear();
    EXPECT_EQ(controller.safeViewContext(), nullptr);
    EXPECT_TRUE(logLines().contains("Attempted to access view context before store was ready"));
    ManagedObjectContext& context = controller.viewContext();
    EXPECT_NO_THROW(controller.save(context)); // nothing to save
    context.insert<DockPreset>();
    try {
        controller.save(context);
        FAIL() << "expected storeNotReady";
    } catch (const PersistenceError& error) {
        EXPECT_EQ(error.description(), "Core Data store is not ready");
    }
    EXPECT_THROW(controller.fetch(FetchRequest(DockPreset::kEntityName)), PersistenceError);
    EXPECT_THROW(context.fetch(FetchRequest(DockPreset::kEntityName)), StoreError);
    QFuture<int> future = controller.perform([](ManagedObjectContext&) { return 1; });
    EXPECT_THROW(future.result(), PersistenceError);
}

// Only a readable hash of another model means "another build's store": a folder in its place, a
// file that is not a database, or a database without our hash is reported and left as it is.
TEST_F(Persistence, StoreThatCannotBeOpenedOrIsNotOursIsReportedAndLeftAlone) {
    const auto rawExec = [](const QString& file, const char* sql) {
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(file.toUtf8().constData(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    };
    struct Case {
        const char* name;
        std::function<QString(const TempHome&)> make; // the file that must stay as it was
        QString errorLine;
        const char* keptRows = nullptr; // a database may change its header on opening, not its rows
    };
    const Case cases[] = {
        {"folder",
         [](const TempHome& h) { return h.write("Library/Application Support/Pierline/Pierline.sqlite/data", "x"); },
         "Error domain: NSCocoaErrorDomain, code: 256"},
        {"garbage",
         [](const TempHome& h) {
             return h.write("Library/Application Support/Pierline/Pierline.sqlite", QByteArray(4096, 'z'));
         },
         "Error domain: NSCocoaErrorDomain, code: 259"},
        {"no model hash",
         [&](const TempHome& h) {
             {
                 PersistenceController ours;
                 addPreset(ours.viewContext(), "Keep me");
                 ours.viewContext().save();
             }
             rawExec(storePath(h), "DELETE FROM Z_METADATA WHERE Z_KEY = 'NSStoreModelVersionHash'");
             return storePath(h);
         },
         {},
         "SELECT COUNT(*) FROM ZDOCKPRESET"},
        {"another program's database",
         [&](const TempHome& h) {
             QDir().mkpath(QFileInfo(storePath(h)).absolutePath());
             rawExec(storePath(h), "CREATE TABLE notes (text TEXT); INSERT INTO notes VALUES ('x')");
             return storePath(h);
         },
         {},
         "SELECT COUNT(*) FROM notes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempHome caseHome;
        const QString path = c.make(caseHome);
        const QString before = readFile(path);
        NotificationCounter recreated(kDatabaseRecreatedNotification);
        NotificationCounter failed(kCoreDataInitializationFailedNotification);
        log.clear();
        {
            PersistenceController controller;
            EXPECT_FALSE(controller.isStoreReady());
        }
        drainMainQueue();
        EXPECT_EQ(failed.count(), 1);
        EXPECT_EQ(recreated.count(), 0);
        if (c.keptRows) {
            sqlite3* db = nullptr;
            ASSERT_EQ(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
            sqlite3_stmt* count = nullptr;
            sqlite3_prepare_v2(db, c.keptRows, -1, &count, nullptr);
            EXPECT_EQ(sqlite3_step(count), SQLITE_ROW);
            EXPECT_EQ(sqlite3_column_int(count, 0), 1);
            sqlite3_finalize(count);
            sqlite3_close(db);
        } else {
            EXPECT_EQ(readFile(path), before);
            EXPECT_TRUE(logLines().contains(c.errorLine));
        }
    }
}

TEST_F(Persistence, RowsAnIndexListsButTheTableLacksAreNotFound) {
    {
        PersistenceController seed;
        for (int i = 0; i < 3; ++i)
            addPreset(seed.viewContext(), QStringLiteral("P%1").arg(i), static_cast<qint16>(i));
        seed.viewContext().save();
    }
    damageTableRoot(storePath(home), "ZDOCKPRESET", PageDamage::EmptyLeaf);

    PersistenceController controller;
    ASSERT_TRUE(controller.isStoreReady());
    const FetchRequest listed =
        FetchRequest(DockPreset::kEntityName).sortedBy("order").sortedBy("createdAt", false); // the covering index
    for (int pass = 0; pass < 2; ++pass)
        EXPECT_TRUE(controller.viewContext().fetch(listed).isEmpty());
    EXPECT_TRUE(logLines().filter(QRegularExpression("^Could not read row \\d+ of DockPreset")).size() >= 3);
    EXPECT_EQ(controller.viewContext().existingObject(
                  QStringLiteral("x-coredata://%1/DockPreset/p1").arg(controller.viewContext().storeIdentifier())),
              nullptr);
}

TEST_F(Persistence, InMemoryStoreKeepsNothingAndPerformRunsTheWorkOnTheMainContext) {
    PersistenceController controller(true);
    ASSERT_TRUE(controller.isStoreReady());
    EXPECT_EQ(controller.storeLocation(), "/dev/null");
    addPreset(controller.viewContext(), "Work");
    controller.viewContext().save();
    EXPECT_EQ(presetCount(PersistenceController(true).viewContext()), 0);
    EXPECT_FALSE(QFileInfo::exists(storePath(home)));

    QFuture<int> inline_ =
        controller.perform([](ManagedObjectContext& c) { return c.count(FetchRequest(DockPreset::kEntityName)); });
    EXPECT_TRUE(inline_.isFinished());
    EXPECT_EQ(inline_.result(), 1);

    // From another thread the work is queued to the main thread; its error comes back too.
    QFuture<QFuture<bool>> outer = QtConcurrent::run([&] {
        return controller.perform([](ManagedObjectContext&) -> bool {
            if (!isMainThread())
                return false;
            throw StoreError(StoreError::kCocoaDomain, 1, "boom");
        });
    });
    ASSERT_TRUE(waitUntil([&] { return outer.isFinished(); }));
    QFuture<bool> inner = outer.result();
    ASSERT_TRUE(waitUntil([&] { return inner.isFinished(); }));
    try {
        inner.result();
        FAIL() << "expected the work's error";
    } catch (const StoreError& error) {
        EXPECT_EQ(error.description(), "boom");
    }
}

} // namespace
