#include "platform/FileLock.h"

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
    EXPECT_FALSE(lock.writeContent("12345\n"));
    EXPECT_TRUE(lock.error().contains(lockPath)) << lock.error().toStdString();
    EXPECT_EQ(readAll(victim), "precious\n");

    // A plain file is locked and written as before.
    FileLock plain(dir.filePath("plain.lock"), FileLock::Mode::Try);
    EXPECT_TRUE(plain.held());
    EXPECT_TRUE(plain.writeContent("12345\n"));
    EXPECT_EQ(readAll(dir.filePath("plain.lock")), "12345\n");
}

} // namespace
} // namespace pierline
