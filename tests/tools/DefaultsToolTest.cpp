#include "ToolTestSupport.h"

#include "platform/UserDefaults.h"

namespace pierline::test {
namespace {

// {"tilesize": 48, "label": "Dock é", "flag": false, "persistent-apps": [{"tile-type": "spacer-tile"}]}
const QByteArray kBinaryDomain = QByteArray::fromHex(
    "62706c6973743030d4010203040506070b54666c6167556c6162656c5f100f70657273697374656e742d617070735874696c6573697a"
    "6508660044006f0063006b002000e9a108d1090a5974696c652d747970655b7370616365722d74696c6510300811161c2e373845474a"
    "54600000000000000101000000000000000c00000000000000000000000000000062");

QByteArray xmlDict(const QByteArray& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + body + "</dict></plist>\n";
}

QString prefs(const QString& domain) {
    return SystemPaths::preferencesFile(domain);
}

TEST(DefaultsTool, WriteThenReadKeepsStringsIntegersAndArrays) {
    TempHome home;
    const QString d = "com.example.types";
    for (const QStringList& w :
         {QStringList{"s", "Bob's \"App\" é"}, {"i", "-int", "-42"}, {"a", "-array", "one", "two words"}})
        ASSERT_EQ(runTool("defaults", QStringList{"write", d} + w).exit, 0) << w.join(' ').toStdString();
    UserDefaults defaults(d);
    EXPECT_EQ(defaults.string("s"), "Bob's \"App\" é");
    EXPECT_EQ(defaults.integerForKey("i"), -42);
    EXPECT_EQ(runTool("defaults", {"read", d, "s"}).out, QByteArray("Bob's \"App\" é\n"));
    EXPECT_EQ(runTool("defaults", {"read", d, "a"}).out, QByteArray("(\n    one,\n    \"two words\"\n)\n"));
    // This process sees the other's delete on its next read.
    ASSERT_EQ(runTool("defaults", {"delete", d, "s"}).exit, 0);
    EXPECT_FALSE(defaults.contains("s"));
}

TEST(DefaultsTool, MissingKeysAndDomainsFailLikeMacOSAndDeleteRemovesKeyThenDomain) {
    TempHome home;
    ASSERT_EQ(runTool("defaults", {"write", "dom", "k", "v"}).exit, 0);
    const std::pair<QStringList, QString> failures[] = {
        {{"read", "dom", "nope"}, "\nThe domain/default pair of (dom, nope) does not exist\n"},
        {{"read", "absent"}, "\nDomain absent does not exist\n"},
        {{"delete", "dom", "nope"}, "\nThe domain/default pair of (dom, nope) does not exist\n"},
        {{"delete", "absent"}, "\nDomain (absent) not found.\nDefaults have not been changed.\n"},
    };
    for (const auto& [args, message] : failures) {
        const ToolRun r = runTool("defaults", args);
        EXPECT_EQ(r.exit, 1) << args.join(' ').toStdString();
        EXPECT_EQ(r.err, message);
        EXPECT_TRUE(r.out.isEmpty());
    }

    // A missing domain exports as an empty dictionary, and exporting creates nothing.
    const ToolRun r = runTool("defaults", {"export", "absent", "-"});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(parsePlist(r.out).value, QVariant(QVariantMap()));
    EXPECT_FALSE(QFile::exists(prefs("absent")));

    ASSERT_EQ(runTool("defaults", {"write", "dom", "b", "-int", "2"}).exit, 0);
    EXPECT_EQ(runTool("defaults", {"delete", "dom", "k"}).exit, 0);
    EXPECT_EQ(UserDefaults("dom").dictionaryRepresentation(), (QVariantMap{{"b", qint64(2)}}));
    EXPECT_EQ(runTool("defaults", {"delete", "dom"}).exit, 0);
    EXPECT_FALSE(QFile::exists(prefs("dom")));
}

TEST(DefaultsTool, ExportWritesTheDomainAsXmlWhateverItsFormat) {
    TempHome home;
    // Binary on disk, XML on stdout.
    home.write("Library/Preferences/bin.plist", kBinaryDomain);
    ToolRun r = runTool("defaults", {"export", "bin", "-"});
    ASSERT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("<?xml"));
    const QVariantMap exported = parsePlist(r.out).value->toMap();
    EXPECT_EQ(exported.value("tilesize"), QVariant(qint64(48)));
    EXPECT_EQ(exported.value("label"), QVariant("Dock é"));
    EXPECT_EQ(exported.value("flag"), QVariant(false));
    EXPECT_EQ(exported.value("persistent-apps").toList().size(), 1);

    // A top level that is not a dictionary is exported as it stands.
    home.write("Library/Preferences/arr.plist",
               "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</string></array></plist>");
    r = runTool("defaults", {"export", "arr", "-"});
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(parsePlist(r.out).value, QVariant(QVariantList{"x"}));

    // To a file instead of stdout.
    const QString target = home.file("out.plist");
    EXPECT_EQ(runTool("defaults", {"export", "bin", target}).exit, 0);
    EXPECT_EQ(parsedFile(target).toMap(), exported);
}

TEST(DefaultsTool, DomainThatIsNotAPlistFailsAndStaysUntouched) {
    TempHome home;
    const QString path = home.write("Library/Preferences/bad.plist", "this is { not a plist");
    ToolRun r = runTool("defaults", {"export", "bad", "-"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains("not a property list")) << r.err.toStdString();

    EXPECT_EQ(runTool("defaults", {"write", "bad", "k", "v"}).exit, 1);
    const QString importFile = home.write("in.plist", xmlDict("<key>k</key><string>v</string>"));
    EXPECT_EQ(runTool("defaults", {"import", "bad", importFile}).exit, 1);
    EXPECT_EQ(readFile(path), "this is { not a plist");
}

TEST(DefaultsTool, ImportReplacesOnlyTheFilesKeysAndABadSourceLosesNothing) {
    TempHome home;
    ASSERT_EQ(runTool("defaults", {"write", "com.apple.dock", "tilesize", "-int", "48"}).exit, 0);
    ASSERT_EQ(runTool("defaults", {"write", "com.apple.dock", "persistent-apps", "-array", "old"}).exit, 0);

    const QString file = home.write("apps.plist", xmlDict("<key>persistent-apps</key><array><dict><key>tile-type</key>"
                                                          "<string>spacer-tile</string></dict></array>"));
    ToolRun r = runTool("defaults", {"import", "com.apple.dock", file});
    ASSERT_EQ(r.exit, 0) << r.err.toStdString();
    QVariantMap dock = dockDomain();
    EXPECT_EQ(dock.value("tilesize"), QVariant(qint64(48)));
    ASSERT_EQ(dock.value("persistent-apps").toList().size(), 1);
    EXPECT_EQ(tileType(dock.value("persistent-apps").toList().first()), "spacer-tile");

    ASSERT_EQ(runTool("defaults", {"write", "dom", "keep", "me"}).exit, 0);
    const QString garbage = home.write("garbage.plist", "<?xml version=\"1.0\"?><plist><dict><key>a</key>");
    const QString array = home.write("array.plist", "<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>");
    for (const QString& source : {garbage, array, home.file("missing.plist"), home.path()}) {
        const ToolRun r = runTool("defaults", {"import", "dom", source});
        EXPECT_EQ(r.exit, 1) << source.toStdString();
        EXPECT_TRUE(r.err.startsWith("Could not import from ")) << r.err.toStdString();
    }
    EXPECT_EQ(UserDefaults("dom").dictionaryRepresentation(), (QVariantMap{{"keep", "me"}}));
}

TEST(DefaultsTool, BadCommandLinesAreRefused) {
    TempHome home;
    EXPECT_EQ(runTool("defaults", {}).exit, 255);
    EXPECT_EQ(runTool("defaults", {"write", "dom", "k"}).exit, 255);
    // A domain name cannot climb out of the preferences folder.
    EXPECT_EQ(runTool("defaults", {"write", "../escape", "k", "v"}).exit, 1);
    EXPECT_FALSE(QFile::exists(home.file("Library/escape.plist")));
}

} // namespace
} // namespace pierline::test
