#include "platform/DesktopEntry.h"
#include "targets/GeneratedLauncher.h"
#include "targets/StoredItem.h"

#include "support/ScopedEnv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace pierline {
namespace {

using test::ScopedEnv;

void writeFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

TEST(DesktopEntry, FindsIdsThroughTheDataFoldersWithSubfoldersAsDashes) {
    QTemporaryDir root;
    ScopedEnv dataHome("XDG_DATA_HOME", root.filePath("user").toUtf8());
    ScopedEnv dataDirs("XDG_DATA_DIRS", (root.filePath("a") + ":" + root.filePath("b")).toUtf8());
    writeFile(root.filePath("b/applications/org/gnome/Mail.desktop"), "[Desktop Entry]\nName=Mail b\n");
    writeFile(root.filePath("a/applications/editor.desktop"), "[Desktop Entry]\nName=Editor a\n");
    writeFile(root.filePath("b/applications/editor.desktop"), "[Desktop Entry]\nName=Editor b\n");
    writeFile(root.filePath("user/applications/editor.desktop"), "[Desktop Entry]\nName=Editor user\n");

    EXPECT_EQ(findDesktopFile("org-gnome-Mail.desktop"), root.filePath("b/applications/org/gnome/Mail.desktop"));
    EXPECT_EQ(findDesktopFile("editor.desktop"), root.filePath("user/applications/editor.desktop"));
    EXPECT_EQ(findDesktopFile("gone.desktop"), std::nullopt);
    EXPECT_EQ(findDesktopFile("../a/applications/editor.desktop"), std::nullopt);

    EXPECT_EQ(desktopIdOfPath(root.filePath("b/applications/org/gnome/Mail.desktop")), "org-gnome-Mail.desktop");
    EXPECT_EQ(desktopIdOfPath("/elsewhere/tool.desktop"), "tool.desktop");
}

TEST(DesktopEntry, NameFollowsTheLocaleFromMostToLeastSpecific) {
    const QByteArray text = "[Desktop Action new]\nName=Not this\n[Desktop Entry]\nName=Mail\nName[de]=Post\n"
                            "Name[de_AT]=Briefe\nName[sr@latin]=Pošta\nName[sr]=Пошта\n";
    const DesktopEntry entry = DesktopEntry::parse(text);
    const struct {
        const char* lcAll;
        const char* lang;
        const char* expected;
    } cases[] = {
        {"", "de_DE.UTF-8", "Post"},  {"", "de_AT.UTF-8", "Briefe"}, {"", "sr_RS.UTF-8@latin", "Pošta"},
        {"", "sr_RS", "Пошта"},       {"", "fr_FR.UTF-8", "Mail"},   {"", "C", "Mail"},
        {"de_AT", "fr_FR", "Briefe"},
    };
    for (const auto& c : cases) {
        ScopedEnv all("LC_ALL", c.lcAll[0] ? std::optional<QByteArray>(c.lcAll) : std::nullopt);
        ScopedEnv messages("LC_MESSAGES", std::nullopt);
        ScopedEnv lang("LANG", QByteArray(c.lang));
        EXPECT_EQ(entry.localised("Name"), QString::fromUtf8(c.expected)) << c.lcAll << " " << c.lang;
    }
}

TEST(DesktopEntry, GeneratedFilesGiveBackTheItemTheyWereMadeFor) {
    QTemporaryDir root;
    DockFolderStackValues folder;
    folder.path = folder.url = QStringLiteral("file:///home/u/My \"Work\" $HOME/");
    folder.itemType = QStringLiteral("folder");
    folder.displayAs = "stack";
    folder.showAs = "fan";
    folder.sortOrder = "date added";
    DockFolderStackValues file;
    file.path = QStringLiteral("/home/u/a\\b 100%.txt");
    file.itemType = QStringLiteral("file");
    file.label = QStringLiteral(" Notes\nline 2");
    DockFolderStackValues link;
    link.itemType = QStringLiteral("url");
    link.url = QStringLiteral("https://example.org/a%20b?q=1");
    link.label = QStringLiteral("Docs");

    for (const DockFolderStackValues& item : {folder, file, link}) {
        const QString path = root.filePath(generatedLauncherId(item));
        writeFile(path, generatedAppLauncherText(item));
        const auto back = itemOfGeneratedLauncher(path);
        ASSERT_TRUE(back) << path.toStdString();
        EXPECT_EQ(*back, dockItemFromStoredItem(item));
        EXPECT_TRUE(QFileInfo(path).fileName().startsWith("pierline-"));
    }
    // The launcher opens exactly the item, quoted for the Exec line.
    const DesktopEntry entry = *DesktopEntry::load(root.filePath(generatedLauncherId(file)));
    EXPECT_EQ(entry.value("Exec"), "xdg-open \"/home/u/a\\\\b 100%%.txt\"");
    EXPECT_EQ(entry.value("Name"), " Notes\nline 2");
    EXPECT_NE(generatedLauncherId(folder), generatedLauncherId(link));

    // A file that only looks generated is not an item.
    writeFile(root.filePath("pierline-handmade.desktop"), "[Desktop Entry]\nName=Mine\nExec=true\n");
    EXPECT_FALSE(itemOfGeneratedLauncher(root.filePath("pierline-handmade.desktop")));
    writeFile(root.filePath("pierline-broken.desktop"), "[Desktop Entry]\nX-Pierline-Item={not json\n");
    EXPECT_FALSE(itemOfGeneratedLauncher(root.filePath("pierline-broken.desktop")));
}

} // namespace
} // namespace pierline
