#include "ToolTestSupport.h"
#include "support/TempHome.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace pierline::test {
namespace {

QStringList dockLogLines(const TempHome& home) {
    QFile log(home.file("Library/Logs/Dock.log"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
}

TEST(KillallTool, DockRestartAppendsOneTimestampedLinePerCall) {
    TempHome home;
    EXPECT_EQ(runTool("killall", {"Dock"}).exit, 0);
    EXPECT_EQ(runTool("killall", {"-9", "Dock"}).exit, 0);
    EXPECT_EQ(runTool("killall", {"-HUP", "Dock"}).exit, 0);
    const QStringList lines = dockLogLines(home);
    ASSERT_EQ(lines.size(), 3);
    const QRegularExpression line(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?Z Dock restarted$)"));
    for (const QString& l : lines)
        EXPECT_TRUE(line.match(l).hasMatch()) << l.toStdString();
}

TEST(KillallTool, OtherProcessesAreNotFound) {
    TempHome home;
    ToolRun r = runTool("killall", {"Finder"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, QStringLiteral("No matching processes belonging to you were found\n"));
    EXPECT_FALSE(QFile::exists(home.file("Library/Logs/Dock.log")));

    r = runTool("killall", {"-q", "Finder"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.err.isEmpty());

    // One match among several names is enough, as with BSD killall.
    EXPECT_EQ(runTool("killall", {"Finder", "Dock"}).exit, 0);
    EXPECT_EQ(dockLogLines(home).size(), 1);
}

TEST(KillallTool, UsageErrorsExitOne) {
    TempHome home;
    ToolRun r = runTool("killall", {});
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.err.startsWith("usage: killall")) << r.err.toStdString();
    EXPECT_EQ(runTool("killall", {"-Y", "Dock"}).exit, 1);
    EXPECT_TRUE(dockLogLines(home).isEmpty());
}

} // namespace
} // namespace pierline::test
