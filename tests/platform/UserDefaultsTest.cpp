#include "support/FileSizeLimit.h"
#include "support/TempHome.h"

#include "platform/ProcessRunner.h"
#include "platform/SystemPaths.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

namespace pierline::test {
namespace {

TEST(UserDefaults, StoredValuesKeepTheirTypeAndPresence) {
    TempHome home;
    UserDefaults d("com.example.typing");
    d.set("off", false);
    d.set("count", 3);
    d.set("ratio", 0.5);
    d.set("name", "Safari");
    d.set("list", QStringList{"a", "b"});
    d.set("mixed", QVariantList{"a", qint64(1)});
    d.set("blob", QByteArray("\x00\x01", 2));

    // A stored false is present and reads as false, not as absent.
    EXPECT_TRUE(d.contains("off"));
    EXPECT_EQ(d.boolValue("off"), false);
    EXPECT_FALSE(d.contains("never"));
    EXPECT_EQ(d.boolValue("never"), std::nullopt);

    EXPECT_EQ(d.integerForKey("count"), 3);
    EXPECT_EQ(d.doubleValue("ratio"), 0.5);
    EXPECT_EQ(d.stringArray("list"), (QStringList{"a", "b"}));
    EXPECT_EQ(d.data("blob"), QByteArray("\x00\x01", 2));

    // The wrong type gives nullopt from the typed getters.
    EXPECT_EQ(d.string("count"), std::nullopt);
    EXPECT_EQ(d.boolValue("name"), std::nullopt);
    EXPECT_EQ(d.stringArray("mixed"), std::nullopt);
    EXPECT_EQ(d.array("name"), std::nullopt);
    EXPECT_EQ(d.dictionary("list"), std::nullopt);
    EXPECT_EQ(d.data("name"), std::nullopt);
    EXPECT_EQ(d.doubleValue("name"), std::nullopt);

    d.remove("off");
    EXPECT_FALSE(d.contains("off"));
}

TEST(UserDefaults, AtomicWritesLeaveNoTemporaryFiles) {
    TempHome home;
    UserDefaults d("com.example.atomic");
    for (int i = 0; i < 20; ++i)
        d.set(QStringLiteral("k%1").arg(i), i);
    d.remove("k3");
    const QStringList entries = QDir(SystemPaths::preferencesFolder()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(entries, (QStringList{"com.example.atomic.plist", "com.example.atomic.plist.lock"}));
    EXPECT_EQ(d.dictionaryRepresentation().size(), 19);
    EXPECT_EQ(d.readError(), std::nullopt);
}

// A write over a file that could not be read would replace every key it holds with one.
TEST(UserDefaults, WritersRefuseAFileTheyCannotReadAndLeaveItAsItWas) {
    TempHome home;
    UserDefaults full("com.example.full");
    for (int i = 0; i < 12; ++i)
        full.set(QStringLiteral("k%1").arg(i), i);
    const QByteArray xml = readFile(full.filePath()).toUtf8();

    const std::pair<const char*, QByteArray> cases[] = {
        {"truncated", xml.left(xml.size() / 2)},
        {"empty", QByteArray()},
        {"not a plist", "not a plist"},
        {"an array", "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>"},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        UserDefaults d("com.example.broken");
        const QString path = home.write("Library/Preferences/com.example.broken.plist", bytes);
        ASSERT_TRUE(d.readError().has_value());
        EXPECT_TRUE(d.readError()->contains(path));
        EXPECT_FALSE(d.contains("k1")); // readers see an empty domain
        try {
            d.set("added", true);
            ADD_FAILURE() << "set wrote over an unreadable file";
        } catch (const UserDefaultsError& error) {
            EXPECT_TRUE(error.message().contains(path)) << error.what();
        }
        EXPECT_THROW(d.remove("k1"), UserDefaultsError);
        bool ran = false;
        QString error;
        EXPECT_FALSE(d.update(
            [&](QVariantMap&) {
                ran = true;
                return true;
            },
            &error));
        EXPECT_FALSE(ran);
        EXPECT_FALSE(error.isEmpty());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), bytes);
    }
}

TEST(UserDefaults, AWriteThatFailsThrowsWithTheReason) {
    TempHome home;
    UserDefaults d("com.example.locked");
    d.set("kept", 1);
    // A folder where the lock file belongs: the write cannot take the lock, even as root.
    ASSERT_TRUE(QFile::remove(UserDefaults::lockFilePath(d.filePath())));
    ASSERT_TRUE(QDir().mkpath(UserDefaults::lockFilePath(d.filePath())));
    try {
        d.set("lost", 2);
        ADD_FAILURE() << "set reported nothing";
    } catch (const UserDefaultsError& error) {
        EXPECT_TRUE(error.message().contains(UserDefaults::lockFilePath(d.filePath()))) << error.what();
    }
    EXPECT_EQ(d.dictionaryRepresentation(), (QVariantMap{{"kept", qint64(1)}}));
}

// Two processes that each write their own keys at the same time must not lose each other's.
TEST(UserDefaults, ConcurrentWritersInTwoProcessesLoseNothing) {
    TempHome home;
    constexpr int kWrites = 40;
    const QString script = QStringLiteral("i=0; while [ $i -lt %1 ]; do \"$0\" write com.example.race $1$i -int $i || "
                                          "exit 1; i=$((i+1)); done")
                               .arg(kWrites);
    QProcess a, b;
    for (QProcess* p : {&a, &b})
        p->setProcessEnvironment(childEnvironment());
    a.start("/bin/sh", {"-c", script, SystemPaths::toolPath("defaults"), "a"});
    b.start("/bin/sh", {"-c", script, SystemPaths::toolPath("defaults"), "b"});
    ASSERT_TRUE(a.waitForFinished(120000));
    ASSERT_TRUE(b.waitForFinished(120000));
    EXPECT_EQ(a.exitCode(), 0) << a.readAllStandardError().toStdString();
    EXPECT_EQ(b.exitCode(), 0) << b.readAllStandardError().toStdString();

    const QVariantMap values = UserDefaults("com.example.race").dictionaryRepresentation();
    QStringList lost;
    for (int i = 0; i < kWrites; ++i)
        for (const char* prefix : {"a", "b"})
            if (values.value(prefix + QString::number(i)) != QVariant(qint64(i)))
                lost << prefix + QString::number(i);
    EXPECT_TRUE(lost.isEmpty()) << "lost: " << lost.join(' ').toStdString();
    EXPECT_EQ(values.size(), 2 * kWrites);
}

// A write that the disk cannot hold is an error, and the domain keeps every value it had.
TEST(UserDefaults, OnAFullDiskSetThrowsAndTheFileStaysAsItWas) {
    TempHome home;
    UserDefaults d("com.example.full");
    d.set("keep", QString(300, 'k'));
    QFile file(d.filePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    const QString error = runWithFileSizeLimit(64, [&] {
        try {
            d.set("closeOtherApps", false);
        } catch (const UserDefaultsError& e) {
            return e.message();
        }
        return QStringLiteral("<no error>");
    });
    EXPECT_EQ(error, QStringLiteral("Could not write %1: File too large").arg(d.filePath()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    EXPECT_EQ(entriesOf(QFileInfo(d.filePath()).path()), "com.example.full.plist\ncom.example.full.plist.lock");
}

} // namespace
} // namespace pierline::test
