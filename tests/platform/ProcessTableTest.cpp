// Reading a process table laid out as /proc lays it out.
#include "support/FakeProcTree.h"

#include "platform/linux/ProcessTable.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace pierline {
namespace {

TEST(ProcessTable, StatLinesWithAnyCommandNameAndDamagedOnes) {
    struct Case {
        const char* text;
        std::optional<char> state;
        qint64 ppid;
        const char* comm;
    };
    const Case cases[] = {
        {"42 (viewer) S 7 42 42 0 -1\n", 'S', 7, "viewer"},
        // A name may hold spaces and parentheses that look like the fields after it.
        {"42 (a) Z 9 (b c) R 7 42\n", 'R', 7, "a) Z 9 (b c"},
        {"42 () S 7\n", 'S', 7, ""},
        {"", std::nullopt, 0, ""},
        {"42 viewer S 7\n", std::nullopt, 0, ""},
        {"42 (viewer)", std::nullopt, 0, ""},
        {"42 (viewer) S", std::nullopt, 0, ""},
        {"42 (vie", std::nullopt, 0, ""},
    };
    for (const Case& c : cases) {
        const auto stat = parseProcStat(c.text);
        ASSERT_EQ(stat.has_value(), c.state.has_value()) << c.text;
        if (stat) {
            EXPECT_EQ(stat->state, *c.state) << c.text;
            EXPECT_EQ(stat->ppid, c.ppid) << c.text;
            EXPECT_EQ(stat->comm, c.comm) << c.text;
        }
    }
}

TEST(ProcessTable, ListsPidsInOrderAndReadsTheirLinksAndFiles) {
    QTemporaryDir dir;
    const QString root = QFileInfo(dir.path()).canonicalFilePath();
    test::FakeProcTree tree(root + "/proc");
    ASSERT_TRUE(tree.add(test::FakeProcess(300, "/usr/bin/viewer (deleted)").arguments({"viewer", "", "--x"})));
    ASSERT_TRUE(tree.add(test::FakeProcess(20, "/usr/bin/b").inState('Z').parent(300)));
    ASSERT_TRUE(tree.add(test::FakeProcess(1000, {})));
    for (const char* other : {"self", "12abc", "-5", "0"})
        ASSERT_TRUE(QDir().mkpath(root + "/proc/" + other));

    const ProcessTable table(tree.path());
    ASSERT_TRUE(table.isOpen());
    EXPECT_EQ(table.pids(), (QList<qint64>{20, 300, 1000}));
    EXPECT_EQ(table.exe(300), "/usr/bin/viewer");
    EXPECT_EQ(table.cwd(300), "/");
    EXPECT_EQ(table.cmdline(300), (QList<QByteArray>{"viewer", "", "--x"}));
    EXPECT_TRUE(table.cmdline(1000).isEmpty());
    EXPECT_EQ(table.file(300, "sessionid"), "3");
    EXPECT_EQ(table.owner(300), ::getuid());
    EXPECT_TRUE(table.stat(20)->finished());
    EXPECT_EQ(table.stat(20)->ppid, 300);
    EXPECT_FALSE(table.stat(300)->finished());

    // A process that is gone, and a table that is not there, answer empty.
    EXPECT_FALSE(table.owner(21).has_value());
    EXPECT_FALSE(table.stat(21).has_value());
    EXPECT_TRUE(table.exe(21).isEmpty());
    const ProcessTable missing(root + "/none");
    EXPECT_FALSE(missing.isOpen());
    EXPECT_TRUE(missing.pids().isEmpty());
    EXPECT_FALSE(missing.stat(300).has_value());
    EXPECT_TRUE(missing.file(300, "sessionid").isEmpty());
}

} // namespace
} // namespace pierline
