// Writes seed stores for the store fuzzer into the folder given as the argument: one with a few
// presets of every kind of content, one empty. Small pages keep the files small for mutation.
#include "core/DockFolderStack.h"
#include "core/DockPreset.h"
#include "core/PresetRecord.h"
#include "store/ManagedObjectContext.h"
#include "store/PersistenceController.h"

#include <QDir>
#include <QFile>
#include <cstdio>
#include <sqlite3.h>

using namespace pierline;

namespace {

void addPreset(ManagedObjectContext& context, const QString& name, qint16 order, const QStringList& apps,
               const QStringList& folders) {
    auto preset = context.insert<DockPreset>();
    preset->setId(QUuid::createUuid());
    preset->setName(name);
    preset->setOrder(order);
    preset->setCreatedAt(QDateTime(QDate(2025, 1, 1), QTime(8, order), Qt::UTC));
    preset->setApps(encodeApps(apps));
    if (order == 1) {
        preset->setAppNotes(QStringLiteral("{\"file:///Applications/Mail.app/\":\"Inbox zero\"}"));
        preset->setHarborletConfiguration(HarborletConfiguration{{QStringLiteral("dock-1")}, {}});
        preset->setLastContextStatus(QStringLiteral("Writing"));
    }
    for (qsizetype i = 0; i < folders.size(); ++i) {
        auto item = context.insert<DockFolderStack>();
        item->setPath(folders[i]);
        item->setUrl(folders[i]);
        item->setItemType(i == 2 ? QStringLiteral("url") : QStringLiteral("folder"));
        item->setOrder(static_cast<qint16>(i));
        item->setPreset(preset);
    }
}

// Rewrites the file with small pages and a rollback journal, so it stands alone without a -wal.
bool compact(const QString& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        return false;
    const int rc =
        sqlite3_exec(db, "PRAGMA journal_mode=DELETE; PRAGMA page_size=512; VACUUM;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return rc == SQLITE_OK;
}

bool writeSeed(const QString& path, bool withPresets) {
    QFile::remove(path);
    {
        PersistenceController::Options options;
        options.location = path;
        PersistenceController controller(false, options);
        if (!controller.isStoreReady())
            return false;
        if (withPresets) {
            const QString apps = QStringLiteral("file:///Applications/%1.app/");
            addPreset(controller.viewContext(), QStringLiteral("Default"), 0,
                      {apps.arg(QStringLiteral("Safari")), QStringLiteral("pierline-spacer-1"),
                       apps.arg(QStringLiteral("Mail"))},
                      {QStringLiteral("file:///Users/me/Downloads/"), QStringLiteral("/Users/me/Documents")});
            addPreset(controller.viewContext(), QStringLiteral("Work"), 1,
                      {apps.arg(QStringLiteral("Xcode")), QStringLiteral("pierline-small-spacer-1")},
                      {QStringLiteral("file:///Users/me/Projects/"), QStringLiteral("/tmp/x"),
                       QStringLiteral("https://example.com/")});
            addPreset(controller.viewContext(), QStringLiteral("null"), 1, {}, {});
            try {
                controller.viewContext().save();
            } catch (const StoreError& error) {
                std::fprintf(stderr, "%s\n", qPrintable(error.description()));
                return false;
            }
        }
    }
    return compact(path);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: store_fuzz_seeds FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(folder.path()))
        return 1;
    if (!writeSeed(folder.filePath(QStringLiteral("presets.sqlite")), true) ||
        !writeSeed(folder.filePath(QStringLiteral("empty.sqlite")), false)) {
        std::fprintf(stderr, "could not write the seed stores into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
