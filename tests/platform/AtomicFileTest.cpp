#include "support/FileSizeLimit.h"
#include "support/TempHome.h"

#include "platform/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace pierline::test {
namespace {

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

TEST(AtomicFile, ReplacesTheFileKeepingItsModeOrTakingTheGivenOneAndFollowsLinks) {
    TempHome home;
    const QString path = home.write("prefs/a.plist", "old");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_EQ(replaceFileAtomically(path, "new contents"), std::nullopt);
    EXPECT_EQ(bytesOf(path), "new contents");
    EXPECT_EQ(QFile::permissions(path) & 0x7077, QFile::ReadOwner | QFile::WriteOwner);

    const auto program = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    const QString script = home.file("prefs/run");
    ASSERT_EQ(replaceFileAtomically(script, "#!/bin/sh\n", program), std::nullopt);
    EXPECT_EQ(QFile::permissions(script) & 0x7077, program);

    // A link stays a link; the file it names gets the bytes.
    ASSERT_TRUE(QFile::link(path, home.file("prefs/link.plist")));
    ASSERT_EQ(replaceFileAtomically(home.file("prefs/link.plist"), "through the link"), std::nullopt);
    EXPECT_TRUE(QFileInfo(home.file("prefs/link.plist")).isSymLink());
    EXPECT_EQ(bytesOf(path), "through the link");
    EXPECT_EQ(entriesOf(home.file("prefs")), "a.plist\nlink.plist\nrun");
}

TEST(AtomicFile, OnAFullDiskTheOriginalStaysAndNoTemporaryFileIsLeft) {
    TempHome home;
    const QByteArray original = "original, longer than the limit of the full disk";
    const QString path = home.write("prefs/a.plist", original);
    const QByteArray successor(64 * 1024, 'x'); // more than any write buffer holds
    for (const rlim_t limit : {rlim_t(0), rlim_t(100), rlim_t(40 * 1024)}) {
        const QString error = runWithFileSizeLimit(limit, [&] {
            return replaceFileAtomically(path, limit == 0 ? QByteArray("small") : successor).value_or("<no error>");
        });
        EXPECT_EQ(error, QStringLiteral("Could not write %1: File too large").arg(path)) << limit;
        EXPECT_EQ(bytesOf(path), original) << limit;
        EXPECT_EQ(entriesOf(home.file("prefs")), "a.plist") << limit;
    }
}

TEST(AtomicFile, AMissingFolderIsReported) {
    TempHome home;
    const QString path = home.file("absent/a.plist");
    EXPECT_EQ(replaceFileAtomically(path, "x"),
              QStringLiteral("Could not write %1: No such file or directory").arg(path));
}

} // namespace
} // namespace pierline::test
