#include "dock/DockReader.h"
#include "DockFixtures.h"
#include "support/CapturingLogSink.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;
using namespace pierline::test::dock;

namespace {

const QString kSafari = QStringLiteral("file:///Applications/Safari.app/");
const QString kMail = QStringLiteral("file:///Applications/Mail.app/");

DockReadError readError() {
    auto reading = DockReader::readDock();
    EXPECT_TRUE(std::holds_alternative<DockReadError>(reading));
    if (auto* error = std::get_if<DockReadError>(&reading))
        return *error;
    return {};
}

DockReading reading() {
    auto result = DockReader::readDock();
    if (auto* error = std::get_if<DockReadError>(&result)) {
        ADD_FAILURE() << error->description().toStdString();
        return {};
    }
    return std::get<DockReading>(result);
}

QVariantMap sampleDock() {
    return domain({appTile(kSafari), spacerTile(), appTile(kMail), smallSpacerTile(), spacerTile()},
                  {folderTile("file:///Users/me/Downloads/", qint64(0), qint64(1), qint64(2)),
                   folderTile("file:///Users/me/Documents/", {}, "1", "4"),
                   folderTile("file:///Users/me/Projects%20Old/", {}, qint64(7), {}),
                   fileTile("file:///Users/me/todo.txt", "todo.txt"), urlTile("https://example.com/", "Example"),
                   QVariantMap{{"tile-data", QVariantMap{{"label", "untyped"}}}}});
}

} // namespace

// ---- Through the emulated `defaults` tool ----

class DockReaderWithDefaults : public ::testing::Test {
protected:
    TempHome home_;
};

TEST_F(DockReaderWithDefaults, ReadsBothSidesOfTheDock) {
    writeDockDomain(home_, xmlPlist(sampleDock()));
    const DockReading dock = reading();
    EXPECT_EQ(dock.apps,
              (QStringList{kSafari, "pierline-spacer-1", kMail, "pierline-small-spacer-1", "pierline-spacer-2"}));
    ASSERT_EQ(dock.items.size(), 5);

    const DockTileData downloads = dock.items[0].tileData.value();
    EXPECT_EQ(dock.items[0].tileType, "directory-tile");
    EXPECT_EQ(downloads.fileData->CFURLString, "file:///Users/me/Downloads/");
    EXPECT_EQ(downloads.fileData->CFURLStringType, 15);
    EXPECT_EQ(downloads.fileLabel, "Downloads");
    EXPECT_EQ(std::tie(*downloads.displayAs, *downloads.showAs, *downloads.arrangement),
              std::make_tuple("stack", "fan", "date added"));

    const DockTileData documents = dock.items[1].tileData.value();
    EXPECT_EQ(std::tie(*documents.displayAs, *documents.showAs, *documents.arrangement),
              std::make_tuple("folder", "fan", "date created"));
    const DockTileData old = dock.items[2].tileData.value();
    EXPECT_EQ(old.fileData->CFURLString, "file:///Users/me/Projects%20Old/");
    EXPECT_EQ(std::tie(*old.displayAs, *old.showAs, *old.arrangement), std::make_tuple("folder", "grid", "name"));

    EXPECT_EQ(dock.items[3].tileData->fileLabel, "todo.txt");
    EXPECT_EQ(dock.items[4].tileData->url->CFURLString, "https://example.com/");
    EXPECT_EQ(dock.items[4].tileData->label, "Example");
}

TEST_F(DockReaderWithDefaults, ReadsABinaryDomain) {
    writeDockDomain(home_, binaryPlist(sampleDock()));
    const DockReading dock = reading();
    EXPECT_EQ(dock.apps.size(), 5);
    EXPECT_EQ(dock.items.size(), 5);
}

TEST_F(DockReaderWithDefaults, EachCallReadsTheDockAgain) {
    writeDockDomain(home_, xmlPlist(domain({appTile(kSafari)}, {})));
    EXPECT_EQ(DockReader::getDockApps(), QStringList{kSafari});
    writeDockDomain(home_, xmlPlist(domain({appTile(kMail), spacerTile()}, {urlTile("https://a.example/", "A")})));
    EXPECT_EQ(DockReader::getDockApps(), (QStringList{kMail, "pierline-spacer-1"}));
    EXPECT_EQ(DockReader::getDockItems().size(), 1);
}

TEST_F(DockReaderWithDefaults, DomainOfTheWrongShapeOrUnreadable) {
    // No domain yet: an empty dictionary, so an empty Dock rather than an error.
    auto empty = DockReader::readDock();
    ASSERT_TRUE(std::holds_alternative<DockReading>(empty));
    EXPECT_TRUE(std::get<DockReading>(empty).apps.isEmpty());

    writeDockDomain(home_, xmlPlist(QVariantList{appTile(kSafari)}));
    EXPECT_EQ(readError().description(), "Dock preferences did not contain the expected plist structure");

    writeDockDomain(home_, "not a property list");
    const DockReadError error = readError();
    EXPECT_EQ(error.kind, DockReadError::Kind::CommandFailed);
    EXPECT_TRUE(error.description().contains("com.apple.dock")) << error.description().toStdString();
}

// ---- Outputs the emulated tool never gives, through a stand-in ----

class DockReaderWithStandIn : public ::testing::Test {
protected:
    TempHome home_;
    CapturingLogSink log_;
};

TEST_F(DockReaderWithStandIn, RunsDefaultsExportOfTheDockDomain) {
    const QString argsFile = home_.file("args.txt");
    home_.write("dock.plist", xmlPlist(domain({appTile(kSafari)}, {})));
    FakeDefaults tool("printf '%s|' \"$@\" > \"$PIERLINE_HOME/args.txt\"\ncat \"$PIERLINE_HOME/dock.plist\"");
    EXPECT_EQ(reading().apps, QStringList{kSafari});
    QFile args(argsFile);
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_EQ(args.readAll(), "export|com.apple.dock|-|");
}

TEST_F(DockReaderWithStandIn, FailureMessagePrefersStandardError) {
    struct Case {
        QByteArray script;
        QString description;
    } cases[] = {
        {"echo 'out text'; echo '  Domain com.apple.dock does not exist  ' >&2; exit 1",
         "Command failed: Domain com.apple.dock does not exist"},
        {"printf '\\n  message on stdout only \\n'; exit 1", "Command failed: message on stdout only"},
        {"echo 'from stdout'; printf ' \\n\\t' >&2; exit 1", "Command failed: from stdout"},
        {"echo 'from stdout'; printf 'bad \\377 bytes' >&2; exit 4", "Command failed: from stdout"},
        {"printf 'bad \\377' ; exit 1", "Command failed: "},
        {"kill -9 $$", QString()}, // a crash is a failure too; its wording is the runner's
    };
    for (const Case& c : cases) {
        FakeDefaults tool(c.script);
        const DockReadError error = readError();
        EXPECT_EQ(error.kind, DockReadError::Kind::CommandFailed) << c.script.constData();
        if (!c.description.isNull()) {
            EXPECT_EQ(error.description(), c.description) << c.script.constData();
        }
    }
}

TEST_F(DockReaderWithStandIn, MissingToolFailsAsACommand) {
    FakeDefaults tool("exit 0");
    QFile::remove(tool.path() + "/defaults");
    const DockReadError error = readError();
    EXPECT_EQ(error.kind, DockReadError::Kind::CommandFailed);
    EXPECT_TRUE(error.description().startsWith("Command failed: Failed to launch " + tool.path() + "/defaults: "))
        << error.description().toStdString();
}

TEST_F(DockReaderWithStandIn, OutputThatIsNotAPropertyListFailsToParse) {
    for (const QByteArray& script : {QByteArray("echo 'this is not a plist'"), QByteArray("exit 0"),
                                     QByteArray("printf '<?xml version=\"1.0\"?><plist><dict><key>a</key>'"),
                                     QByteArray("printf 'bplist00\\001\\002'")}) {
        FakeDefaults tool(script);
        const DockReadError error = readError();
        EXPECT_EQ(error.kind, DockReadError::Kind::ParseFailed) << script.constData();
        EXPECT_TRUE(error.description().startsWith("Parse failed: ")) << script.constData();
        EXPECT_GT(error.description().size(), QStringLiteral("Parse failed: ").size());
    }
}

TEST_F(DockReaderWithStandIn, TopLevelThatIsNotADictionaryIsUnexpected) {
    home_.write("array.plist", xmlPlist(QVariantList{appTile(kSafari)}));
    home_.write("string.plist", xmlPlist(QString("persistent-apps")));
    for (const char* file : {"array.plist", "string.plist"}) {
        FakeDefaults tool(QByteArray("cat \"$PIERLINE_HOME/") + file + "\"");
        const DockReadError error = readError();
        EXPECT_EQ(error.kind, DockReadError::Kind::UnexpectedFormat) << file;
        EXPECT_EQ(error.description(), "Dock preferences did not contain the expected plist structure");
    }
}

TEST_F(DockReaderWithStandIn, ReadsBinaryOutput) {
    home_.write("dock.bin", binaryPlist(domain({spacerTile(), appTile(kMail)}, {})));
    FakeDefaults tool("cat \"$PIERLINE_HOME/dock.bin\"");
    EXPECT_EQ(reading().apps, (QStringList{"pierline-spacer-1", kMail}));
}

TEST_F(DockReaderWithStandIn, ListGettersWarnAndGiveNothingOnFailure) {
    FakeDefaults tool("echo 'no dock' >&2; exit 1");
    EXPECT_TRUE(DockReader::getDockApps().isEmpty());
    EXPECT_TRUE(DockReader::getDockItems().isEmpty());
    EXPECT_EQ(log_.plainLines(), (QStringList{"Warning: getDockApps failed. Command failed: no dock",
                                              "Warning: getDockItems failed. Command failed: no dock"}));
}

// The plist library aborts when asked for text with a NUL in it; such output must fail to parse.
TEST_F(DockReaderWithStandIn, TextWithANulCharacterFailsToParse) {
    const QByteArray cases[] = {
        // {"a\0b": "x"}, the key in UTF-16
        QByteArray::fromHex("62706c6973743030d10102630061000000625178080b1200000000000001010000000000000003"
                            "00000000000000000000000000000014"),
        // {"k": "a\0b"}, the value in UTF-16
        QByteArray::fromHex("62706c6973743030d10102516b63006100000062080b0d00000000000001010000000000000003"
                            "00000000000000000000000000000014"),
        QByteArray(
            "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a\0b</key><string>x</string></dict></plist>", 95),
    };
    for (const QByteArray& bytes : cases) {
        home_.write("nul.plist", bytes);
        FakeDefaults tool("cat \"$PIERLINE_HOME/nul.plist\"");
        EXPECT_EQ(readError().kind, DockReadError::Kind::ParseFailed) << bytes.toHex().constData();
    }
}
