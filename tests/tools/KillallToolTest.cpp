#include "ToolTestSupport.h"

#include <QRegularExpression>

namespace pierline::test {
namespace {

QStringList dockLogLines(const TempHome& home) {
    QFile log(home.file("Library/Logs/Dock.log"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
}

TEST(KillallTool, DockRestartAppendsOneTimestampedLinePerCallAndNothingElseDoes) {
    TempHome home;
    for (const QStringList& args : {QStringList{"Dock"}, {"-9", "Dock"}, {"-HUP", "Dock"}, {"Finder", "Dock"}})
        EXPECT_EQ(runTool("killall", args).exit, 0) << args.join(' ').toStdString(); // one match is enough
    const QStringList lines = dockLogLines(home);
    ASSERT_EQ(lines.size(), 4);
    const QRegularExpression line(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?Z Dock restarted$)"));
    for (const QString& l : lines)
        EXPECT_TRUE(line.match(l).hasMatch()) << l.toStdString();

    // Other processes are not found, and usage errors exit 1: no line more.
    ToolRun r = runTool("killall", {"Finder"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "No matching processes belonging to you were found\n");
    r = runTool("killall", {"-q", "Finder"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.err.isEmpty());

    r = runTool("killall", {});
    EXPECT_EQ(r.exit, 1);
    EXPECT_TRUE(r.err.startsWith("usage: killall")) << r.err.toStdString();
    EXPECT_EQ(runTool("killall", {"-Y", "Dock"}).exit, 1);
    EXPECT_EQ(dockLogLines(home).size(), 4);
}

} // namespace
} // namespace pierline::test
