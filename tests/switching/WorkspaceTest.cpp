#include "SwitchingFixtures.h"

using namespace pierline;
using namespace pierline::test;

TEST(SwitchingWorkspace, ListsBundleProcessesWithTheirInfo) {
    TempHome home;
    RunningApps apps(home);
    const QString mail = apps.makeApp("Mail Sample", "com.example.mail");
    const qint64 agent = apps.launch(apps.makeApp("Agent", "com.example.agent", "<key>LSUIElement</key><true/>\n"));
    const qint64 daemon =
        apps.launch(apps.makeApp("Daemon", "com.example.daemon", "<key>LSBackgroundOnly</key><string>1</string>\n"));
    apps.launch(mail);
    std::map<qint64, ActivationPolicy> policies;
    for (const RunningApplication& app : Workspace::shared().runningApplications())
        policies[app.pid] = app.activationPolicy;
    EXPECT_EQ(policies[agent], ActivationPolicy::Accessory);
    EXPECT_EQ(policies[daemon], ActivationPolicy::Prohibited);

    const QList<RunningApplication> listed = apps.appsFrom(mail);
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].bundleIdentifier, "com.example.mail");
    EXPECT_EQ(listed[0].localizedName, "Mail Sample");
    EXPECT_EQ(listed[0].bundleURL()->toString(), entryFor(mail));
    EXPECT_EQ(listed[0].activationPolicy, ActivationPolicy::Regular);
    EXPECT_EQ(Workspace::shared().runningApplications("com.example.agent").size(), 1);
    // A process that is gone refuses at once; -1 must never reach every process.
    EXPECT_FALSE(Workspace::shared().terminate(999999999));
    EXPECT_FALSE(Workspace::shared().forceTerminate(-1));
}

TEST(SwitchingWorkspace, FindsShebangScriptsButNotTheirChildrenNorAppsOfAnotherHome) {
    TempHome home;
    RunningApps apps(home);
    const QString bundle = home.makeBundle("Applications", "Scripted", "com.example.scripted");
    // A script that stays the parent of its own children (no exec).
    home.write("Applications/Scripted.app/Contents/MacOS/Scripted", "#!/bin/sh\nwhile :; do sleep 0.2; done\n");
    const qint64 pid = apps.launch(bundle);
    const QList<RunningApplication> listed = apps.appsFrom(bundle);
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed.first().pid, pid);
    EXPECT_EQ(listed.first().bundleIdentifier, "com.example.scripted");

    const QString elsewhere = apps.makeApp("Elsewhere", "com.example.elsewhere");
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PIERLINE_HOME", home.file("other-mac"));
    process.setProcessEnvironment(env);
    process.start(elsewhere + "/Contents/MacOS/Elsewhere");
    ASSERT_TRUE(process.waitForStarted());
    const qint64 ours = apps.launch(elsewhere);
    // Wait (bounded) until the other process runs the bundle's executable.
    ASSERT_TRUE(waitUntil([&] {
        return QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(process.processId())).contains("Elsewhere.app");
    }));
    ASSERT_EQ(apps.appsFrom(elsewhere).size(), 1);
    EXPECT_EQ(apps.appsFrom(elsewhere).first().pid, ours);
    process.kill();
    process.waitForFinished();
}

TEST(SwitchingWorkspace, OpeningStartsOnceAndPassesFilesFindsAppsByIdentifierAndRefusesBrokenOrMissingOnes) {
    TempHome home;
    RunningApps apps(home);
    const QString record = home.file("args.txt");
    const QString editor = apps.makeApp("Editor", "com.example.editor", {}, {"record=" + record});
    Workspace& ws = Workspace::shared();

    const OpenResult first = ws.openApplication(editor);
    ASSERT_TRUE(first.ok) << first.error.toStdString();
    ASSERT_TRUE(waitUntil([&] { return apps.appsFrom(editor).size() == 1; }));
    const OpenResult again = ws.openApplication(editor + '/');
    EXPECT_TRUE(again.ok);
    EXPECT_FALSE(again.pid.has_value()); // brought forward, nothing started
    EXPECT_EQ(apps.appsFrom(editor).size(), 1);

    ASSERT_TRUE(ws.openFile("/tmp/my project", editor).ok);
    EXPECT_TRUE(waitUntil([&] { return readFile(record).contains("/tmp/my project"); }));

    const QString util = apps.makeApp("Console", "com.example.console", {}, {}, "Applications/Utilities");
    EXPECT_EQ(Workspace::shared().applicationPath("com.example.console"), util);
    EXPECT_FALSE(Workspace::shared().applicationPath("com.example.none").has_value());
    EXPECT_FALSE(Workspace::shared().openApplicationWithIdentifier("com.example.none").ok);
    EXPECT_FALSE(Workspace::shared().openApplication(home.file("Applications/Missing.app")).ok);
    EXPECT_FALSE(Workspace::shared().isApplication(home.file("Applications/Missing.app")));

    home.write("Applications/Broken.app/Contents/Info.plist", "<plist><dict><key>oops");
    const QString broken = home.file("Applications/Broken.app");
    EXPECT_FALSE(Workspace::shared().infoPlist(broken).has_value());
    EXPECT_FALSE(Workspace::shared().bundleIdentifier(broken).has_value());
    const OpenResult result = Workspace::shared().openApplication(broken);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());
}

// An opened app outlives the terminal of the command that opened it: it runs in another session
// (no controlling terminal, no hangup when that terminal closes) and writes nowhere near our output.
TEST(SwitchingWorkspace, AnOpenedAppRunsInAnotherSessionWithItsStreamsOnDevNull) {
    TempHome home;
    RunningApps apps(home);
    const QString editor = apps.makeApp("Editor", "com.example.editor");
    const OpenResult opened = Workspace::shared().openApplication(editor);
    ASSERT_TRUE(opened.ok && opened.pid) << opened.error.toStdString();
    const pid_t pid = static_cast<pid_t>(*opened.pid);
    ASSERT_TRUE(waitUntil([&] { return apps.appsFrom(editor).size() == 1; }));
    EXPECT_NE(::getsid(pid), ::getsid(0));
    for (const int fd : {0, 1, 2})
        EXPECT_EQ(QFile::symLinkTarget(QStringLiteral("/proc/%1/fd/%2").arg(pid).arg(fd)), "/dev/null") << fd;
}
