#pragma once

#include "platform/NotificationCenter.h"
#include "store/StoreModel.h"
#include "support/DockPlist.h"
#include "support/EventLoop.h"

#include <QFile>
#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>

// Shared by the store suites: a sample Dock, the store's file, notification counting.
namespace pierline::test::store {

struct SampleDock {
    QStringList apps;
    QString downloads;
    QString documents;
    QString readme;
};

// Apps Safari, a spacer and Mail; on the right the Downloads folder (stack, fan, date added),
// a file, a web link, the Documents folder (no settings) and a tile of an unknown type.
inline SampleDock writeSampleDock(const TempHome& home) {
    SampleDock dock;
    const QString base = "file://" + home.path();
    dock.downloads = base + "/Downloads/";
    dock.documents = base + "/My%20Documents/";
    dock.readme = base + "/Readme.txt";
    const QString safari = base + "/Applications/Safari.app/";
    const QString mail = base + "/Applications/Mail.app/";
    dock.apps = {safari, "pierline-spacer-1", mail};
    writeDockDomain(
        home, xmlPlist(domain({appTile(safari), spacerTile(), appTile(mail)},
                              {folderTile(dock.downloads, qint64(0), qint64(1), qint64(2)),
                               fileTile(dock.readme, "Read me"), urlTile("https://example.com/", "Example"),
                               folderTile(dock.documents, {}, {}, {}), QVariantMap{{"tile-type", "recents-tile"}}})));
    return dock;
}

inline QString storePath(const TempHome& home) {
    return home.file("Library/Application Support/Pierline/Pierline.sqlite");
}

// Our model with one attribute more: a store written by another build.
inline ModelVersion modelWithExtraAttribute(const QString& identifier, AttributeType type = AttributeType::Boolean) {
    ModelVersion next = pierlineModelHistory().last();
    next.identifier = identifier;
    for (auto& e : next.entities)
        if (e.name == QLatin1String("DockPreset"))
            e.attributes.append(
                {"pinned", type, false, type == AttributeType::Boolean ? QVariant(false) : QVariant(0)});
    return next;
}

// While it lives, no file of this process grows past `bytes`, as on a nearly full disk: SQLite
// then fails when it writes the log of a transaction, at its COMMIT.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};

// Rewrites the root page of `table` in a closed store file: an empty leaf keeps the indexes
// listing rows the table no longer holds; garbage makes every read of the table fail.
enum class PageDamage { EmptyLeaf, Garbage };
inline void damageTableRoot(const QString& storeFile, const QString& table, PageDamage damage) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(storeFile.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_master WHERE name = ?", -1, &stmt, nullptr);
    sqlite3_bind_text(stmt, 1, table.toUtf8().constData(), -1, SQLITE_TRANSIENT);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    const qint64 root = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);

    QFile file(storeFile);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QByteArray header = file.read(100);
    const int declared = (static_cast<uchar>(header[16]) << 8) | static_cast<uchar>(header[17]);
    const qint64 pageSize = declared == 1 ? 65536 : declared;
    ASSERT_GT(root, 1);
    file.seek((root - 1) * pageSize);
    QByteArray page = file.read(pageSize);
    ASSERT_EQ(page.at(0), 0x0D) << "the table should fit in one leaf page";
    if (damage == PageDamage::Garbage) {
        page.fill('\xEE');
    } else {
        page[1] = page[2] = page[3] = page[4] = page[7] = 0; // no free block, no cells, no fragments
        page[5] = static_cast<char>((pageSize >> 8) & 0xff);
        page[6] = static_cast<char>(pageSize & 0xff);
    }
    file.seek((root - 1) * pageSize);
    ASSERT_EQ(file.write(page), pageSize);
}

// Counts the posts of one notification while it lives. Posts go through the main queue, so reading
// the count first delivers what is queued there.
class NotificationCounter {
public:
    explicit NotificationCounter(const QString& name) {
        drainMainQueue(); // posts queued before the count starts are not counted
        token_ = NotificationCenter::shared().addObserver(name, Delivery::PosterThread, [this](const Notification& n) {
            ++count_;
            last_ = n.userInfo;
        });
    }
    ~NotificationCounter() { NotificationCenter::shared().removeObserver(token_); }
    NotificationCounter(const NotificationCounter&) = delete;
    NotificationCounter& operator=(const NotificationCounter&) = delete;

    int count() const {
        drainMainQueue();
        return count_;
    }
    QVariantMap lastUserInfo() const {
        drainMainQueue();
        return last_;
    }

private:
    ObserverToken token_ = 0;
    std::atomic<int> count_{0};
    QVariantMap last_;
};

} // namespace pierline::test::store
