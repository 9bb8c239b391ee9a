#include "platform/FileLock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace pierline {
namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Someone else's file behind a link at the lock's path stays as it was, and the lock says why.
TEST(FileLock, ALinkAtTheLockPathIsRefusedAndItsTargetKept) {
    QTemporaryDir dir;
    const QString victim = dir.filePath("victim");
    {
        QFile file(victim);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("precious\n");
    }
    const QString lockPath = dir.filePath("app.lock");
    ASSERT_TRUE(QFile::link(victim, lockPath));

    FileLock lock(lockPath, FileLock::Mode::Try);
    EXPECT_FALSE(lock.held());
    EXPECT_FALSE(lock.replaceContent("12345\n", nullptr));
    EXPECT_TRUE(lock.error().contains(lockPath)) << lock.error().toStdString();
    EXPECT_EQ(readAll(victim), "precious\n");

    EXPECT_FALSE(FileLock::isHeldElsewhere(lockPath));
    EXPECT_TRUE(std::holds_alternative<QString>(FileLock::readContent(lockPath)));
}

// The content is replaced whole by a file that is locked before it takes the path: every later
// opener, and one that opened the file before, finds the lock held.
TEST(FileLock, ReplacedContentIsWholeAndStaysLocked) {
    QTemporaryDir dir;
    const QString path = dir.filePath("plain.lock");
    EXPECT_FALSE(FileLock::isHeldElsewhere(path));
    {
        FileLock holder(path, FileLock::Mode::Try);
        ASSERT_TRUE(holder.held());
        EXPECT_TRUE(FileLock::isHeldElsewhere(path));
        FileLock early(path, FileLock::Mode::Try);
        QString error;
        ASSERT_TRUE(holder.replaceContent("first\n", &error)) << error.toStdString();
        ASSERT_TRUE(holder.replaceContent("second\n", &error)) << error.toStdString();
        EXPECT_EQ(readAll(path), "second\n");
        EXPECT_EQ(std::get<QByteArray>(FileLock::readContent(path)), "second\n");
        EXPECT_TRUE(std::holds_alternative<QString>(FileLock::readContent(path, 3)));
        EXPECT_TRUE(early.heldElsewhere());
        EXPECT_TRUE(FileLock::isHeldElsewhere(path));
        FileLock late(path, FileLock::Mode::Try);
        EXPECT_TRUE(late.heldElsewhere());
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"plain.lock"}); // no temporary left
    }
    EXPECT_FALSE(FileLock::isHeldElsewhere(path));
    FileLock next(path, FileLock::Mode::Try);
    EXPECT_TRUE(next.held());
}

} // namespace
} // namespace pierline
