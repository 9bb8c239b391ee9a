#include "ToolTestSupport.h"

#include <QRegularExpression>

namespace pierline::test {
namespace {

QStringList dockLogLines(const TempHome& home) {
    return readFile(home.file("Library/Logs/Dock.log")).split('\n', Qt::SkipEmptyParts);
}

TEST(KillallTool, DockRestartAppendsOneTimestampedLinePerCallAndNothingElseDoes) {
    TempHome home;
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(runTool("killall", {"Dock"}).exit, 0);
    const QStringList lines = dockLogLines(home);
    ASSERT_EQ(lines.size(), 2);
    const QRegularExpression line(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?Z Dock restarted$)"));
    for (const QString& l : lines)
        EXPECT_TRUE(line.match(l).hasMatch()) << l.toStdString();

    // Other processes are not found, and usage errors exit 1: no line more.
    ToolRun r = runTool("killall", {"Finder"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "No matching processes belonging to you were found\n");

    r = runTool("killall", {});
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.err.startsWith("usage: killall")) << r.err.toStdString();
    EXPECT_EQ(dockLogLines(home).size(), 2);
}

} // namespace
} // namespace pierline::test
