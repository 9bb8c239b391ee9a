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
        fileItem(fileUrlFromPath(notes).toString(QUrl::FullyEncoded), "Notes & Ideas.txt"),
        webLink("https://example.com/a?b=1&c=it's", "Example's Page"),
    };
    return p;
}

int dockRestarts() {
    return static_cast<int>(readFile(QDir(SystemPaths::logsFolder()).filePath("Dock.log")).count('\n'));
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

} // namespace

// Each writer, starting from what the other left, through the emulated tools.
TEST(WriterRoundTrip, EachWriterReadsBackTheSamePresetAfterOneRestartAndReplacesWhatTheOtherLeft) {
    ASSERT_TRUE(QFileInfo(SystemPaths::toolPath("dockutil")).isExecutable()) << "run through ctest";
    TempHome home;
    VirtualTime time;
    const Preset full = makePreset(home);
    const Preset small{full.apps.mid(1, 1), full.items.mid(0, 1)};
    const auto dockutil = [](const Preset& p, std::function<void()> done) {
        DockutilWriter::apply(SystemPaths::toolPath("dockutil"), "Round Trip", p.apps, p.items, done);
    };
    const auto defaults = [](const Preset& p, std::function<void()> done) {
        EXPECT_TRUE(DefaultsWriter::apply("Round Trip", p.apps, p.items, done));
    };
    using Writer = std::function<void(const Preset&, std::function<void()>)>;
    for (const auto& [name, first, second] :
         {std::tuple<const char*, Writer, Writer>{"dockutil", dockutil, defaults}, {"defaults", defaults, dockutil}}) {
        SCOPED_TRACE(name);
        QFile::remove(QDir(SystemPaths::logsFolder()).filePath("Dock.log"));
        int finished = 0;
        first(full, [&] { ++finished; });
        EXPECT_EQ(finished, 1);
        EXPECT_EQ(dockRestarts(), 1);
        expectReadsBack(full);
        second(small, {});
        expectReadsBack(small);
    }
}
