// App icons of a preset in one ZIP: which apps give an icon, which bytes the archive holds, where
// it is written and what a failure leaves; desktop-file apps through the icon theme.
#include "platform/Icns.h"
#include "platform/IconTheme.h"
#include "platform/SystemPaths.h"
#include "platform/Workspace.h"
#include "support/CapturingLogSink.h"
#include "support/FileSizeLimit.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"
#include "support/VirtualClock.h"
#include "themes/IconExtractionService.h"

#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QUrl>
#include <gtest/gtest.h>
#include <latch>
#include <memory>
#include <thread>
#include <zip.h>

namespace pierline::test {
namespace {

QByteArray png(int side, quint32 rgba = 0x3366ccff) {
    return icns::solidColourPng(side, rgba);
}

struct ZipEntry {
    QByteArray bytes;
    int method = -1;
};

// Every entry of the archive by name, read with libzip; nullopt when it does not open.
std::optional<QMap<QString, ZipEntry>> readZip(const QString& path) {
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!archive)
        return std::nullopt;
    QMap<QString, ZipEntry> entries;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t stat;
        zip_stat_index(archive, zip_uint64_t(i), 0, &stat);
        ZipEntry entry;
        entry.method = stat.comp_method;
        entry.bytes.resize(qsizetype(stat.size));
        zip_file_t* file = zip_fopen_index(archive, zip_uint64_t(i), 0);
        zip_fread(file, entry.bytes.data(), stat.size);
        zip_fclose(file);
        entries.insert(QString::fromUtf8(stat.name), entry);
    }
    zip_close(archive);
    return entries;
}

QString appList(const QStringList& entries) {
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(entries)).toJson(QJsonDocument::Compact));
}

QString fileUrl(const QString& path) {
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

class IconArchive : public ::testing::Test {
protected:
    // A bundle whose icon file holds `elements`.
    QString bundle(const QString& folder, const QString& name, const QList<icns::Element>& elements) {
        const QString path = home.makeBundle(folder, name, "com.example." + name,
                                             "<key>CFBundleIconFile</key><string>AppIcon</string>\n");
        home.write(folder + "/" + name + ".app/Contents/Resources/AppIcon.icns", icns::write(elements));
        return path;
    }

    TempHome home;
    CapturingLogSink log;
};

TEST_F(IconArchive, EachAppGivesItsLargestPngAsItIs) {
    const QByteArray big = png(512), small = png(32, 0xff0000ff);
    const QString editor = bundle("Applications", "Editor", {{"ic04", png(16)}, {"ic09", big}, {"ic07", png(128)}});
    // Only small images: the archive keeps the largest at its own size.
    const QString notes = bundle("Applications", "Notes", {{"ic04", png(16)}, {"ic05", small}});
    const QString plain = home.makeBundle("Applications", "Plain", "com.example.plain");
    const QString spacer = bundle("Library/Application Support/Pierline/CustomSpaces", "Blue Gap", {{"ic07", big}});
    ASSERT_TRUE(spacer.startsWith(SystemPaths::customSpacesFolder()));

    const QString archive = IconExtractionService().extractIcons(appList({
        fileUrl(editor) + "/",
        home.file("Applications/Missing.app"),
        notes, // a plain path
        fileUrl(plain),
        fileUrl(spacer),
        R"({"tile-type":"spacer-tile"})",
    }));
    const auto entries = readZip(archive);
    ASSERT_TRUE(entries) << "not a ZIP";
    EXPECT_EQ(entries->keys(), QStringList({"Blue Gap.png", "Editor.png", "Notes.png", "Plain.png"}));
    EXPECT_EQ((*entries)["Editor.png"].bytes, big);
    EXPECT_EQ((*entries)["Notes.png"].bytes, small);
    EXPECT_EQ((*entries)["Plain.png"].bytes, Workspace::genericApplicationIcon());
    EXPECT_EQ((*entries)["Blue Gap.png"].bytes, big);
    for (const ZipEntry& entry : *entries)
        EXPECT_EQ(entry.method, ZIP_CM_STORE);

    const QFileInfo info(archive);
    EXPECT_EQ(info.absolutePath(), SystemPaths::temporaryDirectory());
    EXPECT_TRUE(QRegularExpression("^preset_icons_[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.zip$")
                    .match(info.fileName())
                    .hasMatch())
        << info.fileName().toStdString();
    EXPECT_EQ(info.permissions() & QFileDevice::Permissions(0x7077), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(entriesOf(SystemPaths::temporaryDirectory()), info.fileName().toStdString()) << "nothing else left";
}

TEST_F(IconArchive, EntriesThatNameNoAppAreLeftOut) {
    const QString editor = bundle("Applications", "Editor", {{"ic07", png(128)}});
    home.write("Applications/notes.desktop", "[Desktop Entry]\nType=Application\nName=Notes\nExec=notes\n");
    home.write("Applications/Tool", "not an app");
    const QString archive = IconExtractionService().extractIcons(appList({
        fileUrl(home.file("Applications/notes.desktop")), // a bundle dock takes no desktop files
        fileUrl(home.file("Applications/Tool")),
        "file://%zz" + home.file("Applications/Editor.app"),
        "file:///",
        "",
    }));
    const auto entries = readZip(archive);
    ASSERT_TRUE(entries);
    EXPECT_TRUE(entries->isEmpty());
    EXPECT_TRUE(IconExtractionService().extractIcon(editor));

    // No list, or one that does not decode: a valid archive of no icons.
    for (const std::optional<QString>& list :
         {std::optional<QString>(), std::optional<QString>("not json"), std::optional<QString>(R"({"apps": []})")}) {
        const auto empty = readZip(IconExtractionService().extractIcons(list));
        ASSERT_TRUE(empty) << (list ? list->toStdString() : "absent");
        EXPECT_TRUE(empty->isEmpty());
    }
}

TEST_F(IconArchive, ALaterIconOfANameWinsAndNamesThatAreNoFileAreLeftOut) {
    const QByteArray first = png(16), later = png(32);
    const auto entries = readZip(IconExtractionService::createZip({{"Editor", "/a/Editor.app", first},
                                                                   {"", "/a/.app", first},
                                                                   {".", "/a/..app", first},
                                                                   {"..", "/a/...app", first},
                                                                   {"Editor", "/b/Editor.app", later}}));
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->keys(), QStringList{"Editor.png"});
    EXPECT_EQ((*entries)["Editor.png"].bytes, later);
}

TEST_F(IconArchive, FailuresAreTheTwoErrorsAndLeaveNoFile) {
    const QString blocker = home.write("not-a-folder", "x");
    {
        ScopedEnv tmp("TMPDIR", (blocker + "/tmp").toUtf8());
        try {
            IconExtractionService::createZip({{"Editor", "/a/Editor.app", png(16)}});
            ADD_FAILURE() << "made an archive";
        } catch (const IconExtractionError& error) {
            EXPECT_EQ(error.code(), IconExtractionError::Code::temporaryDirectoryCreationFailed);
            EXPECT_EQ(error.description(), "Failed to create temporary directory");
        }
    }
    // A disk that fills up while the archive is written.
    const QString failure = runWithFileSizeLimit(4096, [] {
        try {
            IconExtractionService::createZip(
                {{"Editor", "/a/Editor.app", png(256, 0x12345678) + QByteArray(9000, 'x')}});
            return QStringLiteral("made an archive");
        } catch (const IconExtractionError& error) {
            return error.description();
        }
    });
    EXPECT_EQ(failure, "Failed to create ZIP file");
    EXPECT_EQ(entriesOf(SystemPaths::temporaryDirectory()), "");
}

// A lookup that answers only when the test lets it; it may outlive the test's wait.
class HeldLookup {
public:
    IconExtractionService::IconLookup lookup() const {
        return [state = state_](const QString&) {
            state->started.count_down();
            state->release.wait();
            return png(64);
        };
    }
    void waitUntilStarted() const { state_->started.wait(); }
    void release() const { state_->release.count_down(); }

private:
    struct State {
        std::latch started{1};
        std::latch release{1};
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

TEST_F(IconArchive, ALookupGetsHalfASecondThenTheGenericIconStandsIn) {
    VirtualTime time;
    const QString editor = bundle("Applications", "Editor", {{"ic07", png(128)}});
    {
        HeldLookup held;
        std::optional<AppIcon> icon;
        std::thread extraction([&] { icon = IconExtractionService(false, held.lookup()).extractIcon(editor); });
        held.waitUntilStarted();
        time.clock.advance(0.45);
        held.release();
        extraction.join();
        ASSERT_TRUE(icon);
        EXPECT_EQ(icon->iconData, png(64)) << "answered in time";
    }
    HeldLookup late;
    std::optional<AppIcon> icon;
    std::thread extraction([&] { icon = IconExtractionService(false, late.lookup()).extractIcon(editor); });
    late.waitUntilStarted();
    time.clock.advance(0.5);
    extraction.join(); // returns with the lookup still held: it is abandoned
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->appName, "Editor");
    EXPECT_EQ(icon->iconData, Workspace::genericApplicationIcon());
    EXPECT_TRUE(log.printed("Icon extraction timed out for " + editor));
    late.release();
}

// Desktop-file apps under a private XDG data folder with its own hicolor theme.
class DesktopFileIcons : public ::testing::Test {
protected:
    DesktopFileIcons() {
        home.write("share/icons/hicolor/index.theme",
                   "[Icon Theme]\nName=Hicolor\nDirectories=48x48/apps,128x128/apps,scalable/apps\n\n"
                   "[48x48/apps]\nSize=48\n\n[128x128/apps]\nSize=128\n\n[scalable/apps]\nSize=128\nType=Scalable\n");
        home.write("share/icons/hicolor/48x48/apps/editor.png", png(48));
        home.write("share/icons/hicolor/128x128/apps/editor.png", png(128, 0x00ff00ff));
        home.write("share/icons/hicolor/scalable/apps/drawing.svg",
                   R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">)"
                   R"(<rect width="16" height="16" fill="#ff0000"/></svg>)");
    }
    QString app(const QString& name, const QString& iconLine) {
        return home.write(
            "share/applications/" + name + ".desktop",
            ("[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + name + "\n" + iconLine).toUtf8());
    }

    TempHome home;
    ScopedEnv dataHome{"XDG_DATA_HOME", home.file("no-user-data").toUtf8()};
    ScopedEnv dataDirs{"XDG_DATA_DIRS", home.file("share").toUtf8()};
};

TEST_F(DesktopFileIcons, IconLinesGiveAPathAThemeIconOrTheGenericIcon) {
    const QByteArray own = png(96, 0xabcdefff);
    const QString ownPath = home.write("pictures/own.png", own);
    const QStringList apps = {fileUrl(app("editor", "Icon=editor\n")), fileUrl(app("drawing", "Icon=drawing.svg\n")),
                              fileUrl(app("own", "Icon=" + ownPath + "\n")), fileUrl(app("bare", "")),
                              fileUrl(app("unknown", "Icon=no-such-icon\n"))};
    const auto entries = readZip(IconExtractionService(true).extractIcons(appList(apps)));
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->keys(), QStringList({"bare.png", "drawing.png", "editor.png", "own.png", "unknown.png"}));
    EXPECT_EQ((*entries)["editor.png"].bytes, png(128, 0x00ff00ff)) << "the largest PNG, as it is";
    EXPECT_EQ((*entries)["own.png"].bytes, own);
    const QImage drawn = QImage::fromData((*entries)["drawing.png"].bytes, "PNG");
    EXPECT_EQ(drawn.size(), QSize(512, 512));
    EXPECT_EQ(drawn.pixelColor(256, 256), QColor(Qt::red));
    EXPECT_EQ((*entries)["bare.png"].bytes, Workspace::genericApplicationIcon());
    EXPECT_EQ((*entries)["unknown.png"].bytes, Workspace::genericApplicationIcon());
}

TEST_F(DesktopFileIcons, ThemesAreSearchedInOrderAndWithinOnePngBeatsSvgBeatsXpm) {
    const auto icon = [&](const QString& relative, const QByteArray& bytes = "x") {
        return home.write(relative, bytes);
    };
    icon("user/Mine/index.theme", "[Icon Theme]\nInherits=Base\nDirectories=16x16/apps,scalable/apps\n");
    icon("system/Base/index.theme", "[Icon Theme]\nInherits=Mine\nDirectories=32x32/apps\n");
    icon("system/hicolor/index.theme", "[Icon Theme]\nDirectories=scalable/apps\n");
    const QString mixedPng = icon("user/Mine/16x16/apps/mixed.png", png(16));
    icon("user/Mine/scalable/apps/mixed.svg");
    const QString inherited = icon("system/Base/32x32/apps/inherited.png", png(32));
    icon("system/hicolor/scalable/apps/inherited.svg");
    const QString fallback = icon("system/hicolor/scalable/apps/fallback.svg");
    const QString pixmap = icon("pixmaps/plain.xpm");
    icon("system/Loose/64x64/apps/loose.png", png(64));
    icon("user/Mine/16x16/apps/broken.png", "not a png");
    const QString brokenSvg = icon("user/Mine/scalable/apps/broken.svg");

    const IconThemeSearch search{"Mine", {home.file("user"), home.file("system")}, {home.file("pixmaps")}};
    EXPECT_EQ(findThemeIcon("mixed", search), mixedPng);
    EXPECT_EQ(findThemeIcon("inherited", search), inherited) << "an inherited theme comes before hicolor";
    EXPECT_EQ(findThemeIcon("fallback", search), fallback);
    EXPECT_EQ(findThemeIcon("plain", search), pixmap);
    EXPECT_EQ(findThemeIcon("broken", search), brokenSvg) << "a file that is no PNG does not count";
    EXPECT_EQ(findThemeIcon("loose", search), std::nullopt) << "a theme the user's does not inherit";
    EXPECT_EQ(findThemeIcon("loose", {"Loose", {home.file("system")}, {}}),
              home.file("system/Loose/64x64/apps/loose.png"))
        << "a theme folder without an index";
    EXPECT_EQ(findThemeIcon("none", search), std::nullopt);
    EXPECT_EQ(findThemeIcon("../pixmaps/plain", search), std::nullopt);
}

} // namespace
} // namespace pierline::test
