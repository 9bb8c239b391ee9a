// A preset written by each writer through the emulated tools reads back the same.
#include "WriterFixtures.h"

#include "dock/DefaultsWriter.h"
#include "dock/DockReader.h"
#include "dock/DockTiles.h"
#include "dock/DockutilWriter.h"
#include "platform/SystemPaths.h"
#include "platform/Url.h"
#include "support/DockPlist.h"
#include "support/VirtualClock.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;
using namespace pierline::test::writers;

namespace {

struct Preset {
    QStringList apps;
    QList<DockFolderStackValues> items;
};

// Bundles, folders and a file with awkward names, and a preset that uses all of them.
Preset makePreset(const TempHome& home) {
    const QString safari = home.makeBundle("Applications", "Safari", "com.apple.Safari");
    const QString bobs = home.makeBundle("Applications", "Bob's App", "com.example.bob");
    const QString cafe = home.makeBundle("Applications", "Café Crème", "com.example.cafe");
    const auto mk = [&](const QString& relative) {
        const QString path = home.file(relative);
        QDir().mkpath(path);
        return path;
    };
    const QString workDocs = mk("Users/a/Work/Docs");
    const QString homeDocs = mk("Users/a/Home/Docs");
    const QString stuff = mk("Users/a/Bob's Stuff");
    const QString meetings = mk("Users/a/Réunions 2024");
    const QString downloads = mk("Users/a/Downloads");
    const QString notes = home.write("Users/a/Notes & Ideas.txt", "text");

    Preset p;
    // A spacer first; spacers and small spacers never share an anchor, since each is put
    // directly after the last app added.
    p.apps = {"pierline-spacer-1", dirUrl(safari),      "pierline-small-spacer-1",
              dirUrl(bobs),        "pierline-spacer-2", dirUrl(cafe)};
    p.items = {
        folder(dirUrl(workDocs), "fan", "stack", "date added"),
        folder(homeDocs, "list", "folder", "date modified"), // a plain path, as made by hand
        folder(dirUrl(stuff), "grid", "stack", "date created"),
        folder(dirUrl(meetings), "auto", "folder", "kind"),
        folder(dirUrl(downloads), "grid", "folder", "name"),
        fileItem(fileUrlFromPath(notes).toString(QUrl::FullyEncoded), QStringLiteral("Notes & Ideas.txt")),
        webLink(QStringLiteral("https://example.com/a?b=1&c=it's"), QStringLiteral("Example's Page")),
    };
    return p;
}

int dockRestarts() {
    QFile log(QDir(SystemPaths::logsFolder()).filePath("Dock.log"));
    if (!log.open(QIODevice::ReadOnly))
        return 0;
    return static_cast<int>(log.readAll().count('\n'));
}

QStringList normalised(const QStringList& apps) {
    QStringList out;
    for (const QString& a : apps)
        out.append(normalizedAppEntry(a));
    return out;
}

// What a stored item means on disk, independent of URL or plain-path spelling.
QString meaning(const DockFolderStackValues& v) {
    const QString type = v.itemType.value_or("folder");
    if (type == "url")
        return QString("url %1 [%2]").arg(v.url.value_or("-"), v.label.value_or("-"));
    const QString path = filePathOfLocation(v.path.value_or(v.url.value_or(""))).value_or("?");
    if (type == "file")
        return QString("file %1 [%2]").arg(path, v.label.value_or("-"));
    return QString("folder %1 %2/%3/%4").arg(path, v.showAs, v.displayAs, v.sortOrder);
}

void expectReadsBack(const Preset& preset) {
    const auto reading = DockReader::readDock();
    ASSERT_TRUE(std::holds_alternative<DockReading>(reading))
        << std::get<DockReadError>(reading).description().toStdString();
    const DockReading& dock = std::get<DockReading>(reading);
    EXPECT_EQ(normalised(dock.apps), normalised(preset.apps));
    QStringList read, expected;
    for (const DockItem& item : dock.items) {
        const auto stored = storedItemFromDockItem(item, StoredItemKinds::All);
        read.append(stored ? meaning(*stored) : QString("skipped"));
    }
    for (const DockFolderStackValues& v : preset.items)
        expected.append(meaning(v));
    EXPECT_EQ(read, expected);
}

class WriterRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        const QString tools = qEnvironmentVariable("PIERLINE_TOOLS_DIR");
        ASSERT_FALSE(tools.isEmpty()) << "run through ctest, or set PIERLINE_TOOLS_DIR to the built tools";
        for (const char* tool : {"defaults", "dockutil", "killall"})
            ASSERT_TRUE(QFileInfo(QDir(tools).filePath(tool)).isExecutable())
                << tool << " missing in " << tools.toStdString();
    }
    TempHome home;
    VirtualTime time;
};

} // namespace

TEST_F(WriterRoundTrip, EachWriterReadsBackTheSamePresetAfterOneRestart) {
    const Preset preset = makePreset(home);
    const std::function<void(std::function<void()>)> writers[] = {
        [&](auto done) {
            DockutilWriter::apply(SystemPaths::toolPath("dockutil"), "Round Trip", preset.apps, preset.items, done);
        },
        [&](auto done) { EXPECT_TRUE(DefaultsWriter::apply("Round Trip", preset.apps, preset.items, done)); },
    };
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i == 0 ? "dockutil" : "defaults");
        QFile::remove(QDir(SystemPaths::logsFolder()).filePath("Dock.log"));
        writeDockDomain(home, xmlPlist(domain({}, {})));
        int finished = 0;
        writers[i]([&] { ++finished; });
        EXPECT_EQ(finished, 1);
        EXPECT_EQ(dockRestarts(), 1);
        expectReadsBack(preset);
    }
}

TEST_F(WriterRoundTrip, EachWriterReplacesWhatTheOtherLeft) {
    const Preset preset = makePreset(home);
    DockutilWriter::apply(SystemPaths::toolPath("dockutil"), "Full", preset.apps, preset.items, {});
    const Preset smaller{preset.apps.mid(1, 1), preset.items.mid(0, 1)};
    EXPECT_TRUE(DefaultsWriter::apply("Small", smaller.apps, smaller.items, {}));
    expectReadsBack(smaller);
    DockutilWriter::apply(SystemPaths::toolPath("dockutil"), "Full again", preset.apps, preset.items, {});
    expectReadsBack(preset);
}
