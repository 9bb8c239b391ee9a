#include "ToolTestSupport.h"

namespace pierline::test {
namespace {

QByteArray xmlPlist(const QByteArray& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>\n";
}

TEST(PlistBuddyTool, PrintShowsNestedValuesUnquotedWithFourSpacesPerLevel) {
    TempHome home;
    const QString file = home.write(
        "Info.plist", xmlPlist("<dict><key>CFBundleIdentifier</key><string>com.apple.Safari.WebApp.5E1B</string>"
                               "<key>Manifest</key><dict><key>start_url</key>"
                               "<string>https://docs.example.org/app/</string>"
                               "<key>sizes</key><array><integer>16</integer><real>1.5</real><true/></array></dict>"
                               "<key>blob</key><data>AP8=</data>"
                               "<key>when</key><date>2025-03-01T09:15:00Z</date></dict>"));
    const ToolRun r = runTool("PlistBuddy", {"-c", "Print", file});
    EXPECT_EQ(r.exit, 0) << r.err.toStdString();
    EXPECT_EQ(QString::fromUtf8(r.out), "Dict {\n"
                                        "    CFBundleIdentifier = com.apple.Safari.WebApp.5E1B\n"
                                        "    Manifest = Dict {\n"
                                        "        sizes = Array {\n"
                                        "            16\n"
                                        "            1.5\n"
                                        "            true\n"
                                        "        }\n"
                                        "        start_url = https://docs.example.org/app/\n"
                                        "    }\n"
                                        "    blob = <00ff>\n"
                                        "    when = 2025-03-01T09:15:00Z\n"
                                        "}\n");
}

TEST(PlistBuddyTool, MissingOrDamagedFilesAndOtherCommandsFailWithExitOne) {
    TempHome home;
    ToolRun r = runTool("PlistBuddy", {"-c", "Print", home.file("none.plist")});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "File Doesn't Exist: " + home.file("none.plist") + "\n");
    EXPECT_TRUE(r.out.isEmpty());

    const QString damaged = home.write("bad.plist", "<plist><dict><key>a</key>");
    r = runTool("PlistBuddy", {"-c", "Print", damaged});
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.err.startsWith("Error Reading File: " + damaged)) << r.err.toStdString();

    r = runTool("PlistBuddy", {"-c", "Delete", damaged});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "Unrecognized Command: Delete\n");
    EXPECT_EQ(runTool("PlistBuddy", {damaged}).exit, 1);
}

TEST(PlistBuddyTool, MergedOutputKeepsBothStreamsInOnePipe) {
    TempHome home;
    const ProcessResult r = runProcessMerged(SystemPaths::toolPath("PlistBuddy"), {"-c", "Print", home.file("x")});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(QString::fromUtf8(r.stdoutData), "File Doesn't Exist: " + home.file("x") + "\n");
    EXPECT_TRUE(r.stderrData.isEmpty());
}

} // namespace
} // namespace pierline::test
