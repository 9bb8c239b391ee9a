// Exec lines, and which processes of a fake /proc tree count as running desktop apps.
#include "support/FakeProcTree.h"

#include "platform/DesktopApps.h"
#include "platform/linux/LinuxDesktopApps.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <signal.h>
#include <unistd.h>

namespace pierline {
namespace {

using test::FakeProcess;
using test::FakeProcTree;

void writeFile(const QString& path, const QByteArray& bytes, bool executable = false) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
    file.close();
    if (executable)
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(DesktopExec, SplitsQuotesFieldCodesEnvAndResolvesTheProgram) {
    QTemporaryDir dir;
    const QString bin = QDir(dir.path()).filePath("bin");
    writeFile(bin + "/viewer", "x", true);
    writeFile(bin + "/not-executable", "x");
    writeFile(dir.filePath("work/tools/run"), "x", true);
    const struct {
        const char* exec;
        const char* workingFolder;
        const char* program;
        QStringList arguments;
        QString resolved; // empty: not found; "error": refused
    } cases[] = {
        {"viewer %U", "", "viewer", {}, bin + "/viewer"},
        {"viewer --name=%c --x %f%% -i", "", "viewer", {"--name=", "--x", "%", "-i"}, bin + "/viewer"},
        {R"("/opt/My App/run" "a \"q\" \\ \$" '' "")", "", "/opt/My App/run", {R"(a "q" \ $)", "''", ""}, ""},
        {"env A=1 B=x=y viewer --flag", "", "viewer", {"--flag"}, bin + "/viewer"},
        {"/usr/bin/env -i -u HOME --unset=X LANG=C viewer", "", "viewer", {}, bin + "/viewer"},
        {"./tools/run", "work", "./tools/run", {}, dir.filePath("work/tools/run")},
        {"./tools/run", "", "./tools/run", {}, ""},
        {"not-executable", "", "not-executable", {}, ""},
        {"missing-program", "", "missing-program", {}, ""},
        {"\"unclosed arg", "", "", {}, "error"},
        {"env A=1 %U", "", "", {}, "error"},
        {"", "", "", {}, "error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exec);
        const QString working = *c.workingFolder ? dir.filePath(c.workingFolder) : QString();
        QString error;
        const auto command = parseDesktopCommand(c.exec, {bin}, working, &error);
        if (c.resolved == "error") {
            EXPECT_FALSE(command);
            EXPECT_FALSE(error.isEmpty());
            continue;
        }
        ASSERT_TRUE(command) << error.toStdString();
        EXPECT_EQ(command->program, c.program);
        EXPECT_EQ(command->arguments, c.arguments);
        EXPECT_EQ(command->resolved, c.resolved);
    }
}

// One process per rule of who counts as a running app, against desktop files of every kind.
TEST(DesktopApps, FindsSessionAppsAndNeverOtherUsersServicesTheSessionOrOurChain) {
    QTemporaryDir dir;
    const QString root = QFileInfo(dir.path()).canonicalFilePath();
    const QString bin = root + "/bin";
    for (const char* name : {"viewer", "helperd", "termtool", "gnome-shell", "pierline", "python3", "other"})
        writeFile(bin + "/" + name, "x", true);
    writeFile(bin + "/run.sh", "#!/bin/sh\nsleep 100\n", true);
    writeFile(bin + "/app.py", "print()\n");
    const auto desktop = [&](const QString& name, const QString& lines) {
        writeFile(root + "/apps/" + name + ".desktop",
                  ("[Desktop Entry]\nType=Application\nName=" + name + "\n" + lines + "\n").toUtf8());
        return root + "/apps/" + name + ".desktop";
    };
    const QStringList files = {
        desktop("Viewer", "Exec=viewer %F"),
        desktop("Helper", "Exec=" + bin + "/helperd\nNoDisplay=true"),
        desktop("Term", "Exec=termtool\nTerminal=true"),
        desktop("Shell", "Exec=gnome-shell"),
        desktop("Self", "Exec=pierline"),
        desktop("Script", "Exec=" + bin + "/run.sh"),
        desktop("Python", "Exec=python3 -u " + bin + "/app.py"),
        desktop("Broken", "Exec=\"viewer"),
        desktop("Gone", "Exec=viewer\nHidden=true"),
        root + "/apps/missing.desktop",
    };

    const QString viewer = bin + "/viewer";
    const QString python = bin + "/python3";
    const QString sh = QFileInfo("/bin/sh").canonicalFilePath();
    FakeProcTree tree(root + "/proc");
    const QString loginScope = "0::/user.slice/user-1000.slice/session-3.scope";
    const QString service = "0::/user.slice/user-1000.slice/user@1000.service/session.slice/org.gnome.Shell.service";
    const QList<FakeProcess> processes = {
        FakeProcess(10, bin + "/other"),
        FakeProcess(20, viewer).parent(10),            // our parent
        FakeProcess(30, bin + "/pierline").parent(20), // us
        FakeProcess(100, viewer),
        FakeProcess(101, viewer).parent(100), // its helper
        FakeProcess(103, viewer).inSession("7"),
        FakeProcess(104, viewer).inCgroup(service),
        FakeProcess(105, viewer).inState('Z'),
        FakeProcess(106, bin + "/gnome-shell"),
        FakeProcess(40, viewer),                        // the terminal of a command handed to the app
        FakeProcess(107, bin + "/pierline").parent(40), // that command, another Pierline
        FakeProcess(108, bin + "/helperd"),
        FakeProcess(109, bin + "/termtool"),
        FakeProcess(110, sh).arguments({"/bin/sh", bin + "/run.sh"}),
        FakeProcess(111, python).arguments({"python3", "-u", bin + "/app.py"}),
        FakeProcess(112, python).arguments({"python3", bin + "/other.py"}),
        FakeProcess(113, sh).arguments({"sh", "-c", "viewer"}),
        FakeProcess(114, viewer).inCgroup(loginScope),
        FakeProcess(115, viewer + " (deleted)"), // replaced by an update while it runs
        FakeProcess(116, {}),                    // a kernel thread
    };
    for (const FakeProcess& p : processes)
        ASSERT_TRUE(tree.add(p)) << p.pid;
    // Another user's process: only root can make a file of another owner.
    const bool otherUser = ::geteuid() == 0 && tree.add(FakeProcess(102, viewer)) &&
                           ::chown(QFile::encodeName(root + "/proc/102").constData(), 4242, 4242) == 0;

    const auto apps = createLinuxDesktopApps(
        {.procRoot = tree.path(), .selfPid = 30, .uid = ::getuid(), .askDisplay = false, .searchPath = {bin}});
    std::map<qint64, std::string> found;
    for (const RunningApplication& app : apps->runningApplications(files)) {
        const bool hidden = app.activationPolicy != ActivationPolicy::Regular;
        found[app.pid] = (QFileInfo(*app.bundlePath).completeBaseName() + (hidden ? " (hidden)" : "")).toStdString();
        EXPECT_EQ(app.localizedName, QFileInfo(*app.bundlePath).completeBaseName());
    }
    const std::map<qint64, std::string> expected = {
        {100, "Viewer"}, {108, "Helper (hidden)"}, {110, "Script"}, {111, "Python"}, {114, "Viewer"}, {115, "Viewer"},
    };
    EXPECT_EQ(found, expected);
    EXPECT_TRUE(otherUser || ::geteuid() != 0);
    EXPECT_TRUE(apps->runningApplications({}).isEmpty());
}

// A terminal that shows the caller is never closed: the one it runs in, and the one that hosts a
// client of the multiplexer it runs under. Another terminal is an app like any other.
TEST(DesktopApps, TerminalsHostingTheCallerOrAClientOfItsMultiplexerAreSpared) {
    QTemporaryDir dir;
    const QString root = QFileInfo(dir.path()).canonicalFilePath();
    const QString bin = root + "/bin";
    for (const char* name : {"xterm", "tmux", "screen", "sh", "pierline"})
        writeFile(bin + "/" + name, "x", true);
    writeFile(root + "/apps/XTerm.desktop", "[Desktop Entry]\nType=Application\nName=XTerm\nExec=xterm\n");
    FakeProcTree tree(root + "/proc");
    for (const FakeProcess& p : {
             FakeProcess(200, bin + "/xterm"), FakeProcess(201, bin + "/sh").parent(200),
             FakeProcess(202, bin + "/tmux").parent(201),    // the client the user looks at
             FakeProcess(300, bin + "/tmux"),                // its server
             FakeProcess(301, bin + "/sh").parent(300),      // the pane's shell
             FakeProcess(30, bin + "/pierline").parent(301), // us
             FakeProcess(400, bin + "/xterm"),               // another terminal
             FakeProcess(401, bin + "/sh").parent(400),
             FakeProcess(402, bin + "/screen").parent(401), // a client of an unrelated screen
             FakeProcess(500, bin + "/xterm"),              // the terminal that runs us directly
             FakeProcess(501, bin + "/sh").parent(500),
             FakeProcess(502, bin + "/pierline").parent(501), // a command handed to the app
         })
        ASSERT_TRUE(tree.add(p)) << p.pid;
    const auto apps = createLinuxDesktopApps(
        {.procRoot = tree.path(), .selfPid = 30, .uid = ::getuid(), .askDisplay = false, .searchPath = {bin}});
    QList<qint64> found;
    for (const RunningApplication& app : apps->runningApplications({root + "/apps/XTerm.desktop"}))
        found << app.pid;
    EXPECT_EQ(found, QList<qint64>{400});
}

// A desktop app opened by a command outlives that command's terminal and keeps out of its output.
TEST(DesktopApps, AnOpenedAppLeadsItsOwnSessionWithItsStreamsOnDevNull) {
    QTemporaryDir dir;
    const QString root = QFileInfo(dir.path()).canonicalFilePath();
    writeFile(root + "/bin/waiter", "#!/bin/sh\necho started\nexec sleep 30\n", true);
    writeFile(root + "/apps/Waiter.desktop",
              ("[Desktop Entry]\nType=Application\nName=Waiter\nExec=" + root + "/bin/waiter\n").toUtf8());
    ProcessScope scope;
    scope.askDisplay = false;
    const auto apps = createLinuxDesktopApps(scope);
    const OpenResult opened = apps->openApplication(root + "/apps/Waiter.desktop");
    ASSERT_TRUE(opened.ok && opened.pid) << opened.error.toStdString();
    const pid_t pid = static_cast<pid_t>(*opened.pid);
    EXPECT_EQ(::getsid(pid), pid);
    for (const int fd : {0, 1, 2})
        EXPECT_EQ(QFile::symLinkTarget(QStringLiteral("/proc/%1/fd/%2").arg(pid).arg(fd)), "/dev/null") << fd;
    ::kill(pid, SIGKILL);
}

} // namespace
} // namespace pierline
