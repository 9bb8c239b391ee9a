// The Linux login item: an XDG autostart entry, and the desktop entry that handles pierline:// links.
#include "platform/LoginItem.h"
#include "support/TempHome.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace pierline;
using pierline::test::readFile;
using pierline::test::ScopedEnv;

TEST(LinuxLoginItem, RegisterWritesTheAutostartEntryAndUnregisterRemovesIt) {
    QTemporaryDir config, data;
    ScopedEnv c("XDG_CONFIG_HOME", config.path().toUtf8());
    ScopedEnv d("XDG_DATA_HOME", data.path().toUtf8());
    const auto item = createSystemLoginItem();
    const QString entry = config.filePath("autostart/pierline.desktop");

    EXPECT_EQ(item->status(), LoginItem::Status::NotRegistered);
    EXPECT_EQ(item->registerItem(), std::nullopt);
    EXPECT_EQ(item->status(), LoginItem::Status::Enabled);
    const QString text = readFile(entry);
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nExec=\"" + QCoreApplication::applicationFilePath() + "\" run\n"))
        << text.toStdString();

    EXPECT_EQ(item->unregisterItem(), std::nullopt);
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_EQ(item->status(), LoginItem::Status::NotRegistered);
    EXPECT_EQ(item->unregisterItem(), std::nullopt); // nothing left to remove
}

TEST(LinuxLoginItem, UnwritableConfigFolderGivesAnError) {
    QTemporaryDir config;
    QFile blocker(config.filePath("autostart"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    ScopedEnv c("XDG_CONFIG_HOME", config.path().toUtf8());
    const auto error = createSystemLoginItem()->registerItem();
    ASSERT_TRUE(error.has_value());
    EXPECT_FALSE(error->description.isEmpty());
}

TEST(LinuxLoginItem, LaunchServicesFallbackRegistersTheLinkHandler) {
    QTemporaryDir data;
    ScopedEnv d("XDG_DATA_HOME", data.path().toUtf8());
    EXPECT_TRUE(createSystemLoginItem()->registerWithLaunchServices());
    const QString text = readFile(data.filePath("applications/pierline.desktop"));
    EXPECT_TRUE(text.contains("\nMimeType=x-scheme-handler/pierline;\n"));
    EXPECT_TRUE(text.contains(" open %u\n"));
}
