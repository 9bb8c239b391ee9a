#include "ToolTestSupport.h"

#include "app/Sandbox.h"
#include "platform/Icns.h"
#include "platform/SystemPaths.h"
#include "platform/Workspace.h"

#include <QFileInfo>
#include <sys/xattr.h>

namespace pierline::test {
namespace {

// An icon set with the named images, each a PNG of `pixels` (the right size unless overridden).
QString makeIconset(const TempHome& home, const QString& folder, const QMap<QString, int>& sizes) {
    for (auto it = sizes.begin(); it != sizes.end(); ++it)
        home.write(folder + "/" + it.key(), icns::solidColourPng(it.value(), 0x336699ffu));
    QDir().mkpath(home.file(folder));
    return home.file(folder);
}

QMap<QString, int> fullSet() {
    QMap<QString, int> sizes;
    for (const icns::IconsetImage& image : icns::iconsetImages())
        sizes.insert(image.fileName, image.pixels);
    return sizes;
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(Iconutil, ConvertsTheTenImagesInOrderAndTheWorkspaceReadsTheLargestBack) {
    TempHome home;
    const QString iconset = makeIconset(home, "A.iconset", fullSet());
    home.write("A.iconset/notes.txt", "not an image");
    const QString out = home.file("Bundle.app/Contents/Resources/AppIcon.icns");
    QDir().mkpath(QFileInfo(out).absolutePath());

    const ToolRun run = runTool("iconutil", {"--convert", "icns", iconset, "--output", out});
    ASSERT_EQ(run.exit, 0) << run.err.toStdString();
    const QByteArray bytes = readBytes(out);
    const auto elements = icns::read(bytes);
    ASSERT_TRUE(elements);
    ASSERT_EQ(elements->size(), 10);
    EXPECT_EQ(bytes.left(4), "icns");
    for (qsizetype i = 0; i < elements->size(); ++i) {
        const icns::IconsetImage& image = icns::iconsetImages()[i];
        EXPECT_EQ((*elements)[i].type, image.type);
        EXPECT_EQ((*elements)[i].data, readBytes(iconset + "/" + image.fileName)) << image.fileName.toStdString();
    }

    // The short flags and the default output beside the folder.
    const ToolRun shortFlags = runTool("iconutil", {"-c", "icns", iconset});
    EXPECT_EQ(shortFlags.exit, 0) << shortFlags.err.toStdString();
    EXPECT_EQ(readBytes(home.file("A.icns")), bytes);

    home.write("Bundle.app/Contents/Info.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>CFBundleIconFile</key><string>AppIcon</string></dict></plist>)");
    EXPECT_EQ(Workspace::shared().iconData(home.file("Bundle.app")), icns::solidColourPng(1024, 0x336699ffu));
}

TEST(Iconutil, RefusesWithOneLineNamingTheFileAndWritesNothing) {
    TempHome home;
    const QString out = home.file("out.icns");
    QMap<QString, int> wrong = fullSet();
    wrong["icon_32x32@2x.png"] = 32;
    const struct {
        const char* label;
        QString folder;
        QString named;
    } cases[] = {
        {"missing folder", home.file("Missing.iconset"), "Missing.iconset"},
        {"no image", makeIconset(home, "Empty.iconset", {}), "Empty.iconset"},
        {"size belies name", makeIconset(home, "Wrong.iconset", wrong), "icon_32x32@2x.png"},
    };
    for (const auto& c : cases) {
        const ToolRun run = runTool("iconutil", {"--convert", "icns", c.folder, "-o", out});
        EXPECT_EQ(run.exit, 1) << c.label;
        EXPECT_EQ(run.err.count('\n'), 1) << c.label << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.named)) << c.label << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(out)) << c.label;
    }

    // Not a PNG under an image's name, and an output folder that is not there.
    const QString fake = makeIconset(home, "Fake.iconset", {});
    home.write("Fake.iconset/icon_16x16.png", "GIF89a");
    ToolRun run = runTool("iconutil", {"-c", "icns", fake, "-o", out});
    EXPECT_EQ(run.exit, 1);
    EXPECT_TRUE(run.err.contains("icon_16x16.png")) << run.err.toStdString();
    const QString good = makeIconset(home, "Good.iconset", {{"icon_16x16.png", 16}});
    run = runTool("iconutil", {"-c", "icns", good, "-o", home.file("nowhere/out.icns")});
    EXPECT_EQ(run.exit, 1);
    EXPECT_TRUE(run.err.contains("nowhere/out.icns")) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(out));

    EXPECT_EQ(runTool("iconutil", {"-c", "iconset", good}).exit, 1);
    EXPECT_EQ(runTool("iconutil", {good}).exit, 1);
}

bool hasAttribute(const QString& path, const char* name) {
    return ::lgetxattr(QFile::encodeName(path).constData(), name, nullptr, 0) >= 0;
}

TEST(Xattr, ClearsUserAttributesRecursivelyWithoutFollowingLinks) {
    TempHome home;
    const QString top = home.write("B.app/Contents/Info.plist", "x");
    const QString deep = home.write("B.app/Contents/Resources/AppIcon.icns", "y");
    const QString outside = home.write("outside/keep.txt", "z");
    ASSERT_TRUE(QFile::link(home.file("outside"), home.file("B.app/Contents/link")));
    for (const QString& path : {top, deep, outside, home.file("B.app")}) {
        if (::setxattr(QFile::encodeName(path).constData(), "user.quarantine", "1", 1, 0) != 0)
            GTEST_SKIP() << "the test folder's file system keeps no user attributes";
    }

    ToolRun run = runTool("xattr", {"-c", top});
    EXPECT_EQ(run.exit, 0) << run.err.toStdString();
    EXPECT_FALSE(hasAttribute(top, "user.quarantine"));
    EXPECT_TRUE(hasAttribute(deep, "user.quarantine"));

    run = runTool("xattr", {"-cr", home.file("B.app")});
    EXPECT_EQ(run.exit, 0) << run.err.toStdString();
    EXPECT_FALSE(hasAttribute(home.file("B.app"), "user.quarantine"));
    EXPECT_FALSE(hasAttribute(deep, "user.quarantine"));
    EXPECT_TRUE(hasAttribute(outside, "user.quarantine"));   // behind a link
    EXPECT_EQ(runTool("xattr", {"-c", "-r", deep}).exit, 0); // none left is success too

    run = runTool("xattr", {"-c", home.file("gone"), top});
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.err.trimmed(), "xattr: No such file: " + home.file("gone"));
    EXPECT_EQ(runTool("xattr", {"-w", "a", "b", top}).exit, 2);
    EXPECT_EQ(runTool("xattr", {"-c"}).exit, 2);
}

TEST(WorkspaceIcon, SampleAppsHaveTheirOwnAndOtherBundlesTheGenericOne) {
    TempHome home;
    const QString root = home.file("box");
    ASSERT_TRUE(Sandbox::init(root, false).ok);
    const QByteArray generic = Workspace::genericApplicationIcon();
    ASSERT_TRUE(icns::pngSize(generic));

    QSet<QByteArray> seen;
    for (const SandboxApp& app : Sandbox::sampleApps()) {
        const QByteArray icon = Workspace::shared().iconData(root + "/Applications/" + app.name + ".app");
        EXPECT_EQ(icns::pngSize(icon), QSize(512, 512)) << app.name.toStdString();
        EXPECT_NE(icon, generic);
        seen.insert(icon);
    }
    EXPECT_GT(seen.size(), 1); // each app its own colour

    // No CFBundleIconFile, a missing file, a damaged file, one without PNG, a name leaving Resources.
    const QString bare = home.makeBundle("Applications", "Bare", "com.example.bare");
    EXPECT_EQ(Workspace::shared().iconData(bare), generic);
    const QString named = home.makeBundle("Applications", "Named", "com.example.named",
                                          "<key>CFBundleIconFile</key><string>Icon.icns</string>");
    EXPECT_EQ(Workspace::shared().iconData(named), generic);
    QByteArray damaged = icns::write({{"ic09", icns::solidColourPng(512, 0xff0000ffu)}});
    home.write("Applications/Named.app/Contents/Resources/Icon.icns", damaged.left(damaged.size() - 3));
    EXPECT_EQ(Workspace::shared().iconData(named), generic);
    home.write("Applications/Named.app/Contents/Resources/Icon.icns", icns::write({{"is32", "\x01\x02\x03"}}));
    EXPECT_EQ(Workspace::shared().iconData(named), generic);
    const QString escaping = home.makeBundle("Applications", "Escaping", "com.example.escaping",
                                             "<key>CFBundleIconFile</key><string>../../../Named.app/Contents/"
                                             "Resources/Icon.icns</string>");
    home.write("Applications/Named.app/Contents/Resources/Icon.icns", damaged);
    EXPECT_EQ(Workspace::shared().iconData(escaping), generic);
}

} // namespace
} // namespace pierline::test
