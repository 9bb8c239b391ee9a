#include "SwitchingFixtures.h"

#include "platform/SystemPaths.h"
#include "platform/Workspace.h"

using namespace pierline;
using namespace pierline::test;

namespace {

const QString kAgentPlist = QStringLiteral("<key>LSUIElement</key><true/>\n");
const QString kBackgroundPlist = QStringLiteral("<key>LSBackgroundOnly</key><string>1</string>\n");

std::optional<RunningApplication> find(qint64 pid) {
    for (const RunningApplication& app : Workspace::shared().runningApplications())
        if (app.pid == pid)
            return app;
    return std::nullopt;
}

} // namespace

TEST(SwitchingWorkspace, ListsBundleProcessesWithTheirInfo) {
    TempHome home;
    RunningApps apps(home);
    const QString mail = apps.makeApp(QStringLiteral("Mail Sample"), QStringLiteral("com.example.mail"));
    const QString agent = apps.makeApp(QStringLiteral("Agent"), QStringLiteral("com.example.agent"), kAgentPlist);
    const QString daemon =
        apps.makeApp(QStringLiteral("Daemon"), QStringLiteral("com.example.daemon"), kBackgroundPlist);

    const auto mailApp = find(apps.launch(mail));
    const auto agentApp = find(apps.launch(agent));
    const auto daemonApp = find(apps.launch(daemon));
    ASSERT_TRUE(mailApp && agentApp && daemonApp);
    EXPECT_EQ(mailApp->bundleIdentifier, QStringLiteral("com.example.mail"));
    EXPECT_EQ(mailApp->localizedName, QStringLiteral("Mail Sample"));
    EXPECT_EQ(mailApp->bundlePath, QDir::cleanPath(mail));
    EXPECT_EQ(mailApp->bundleURL()->toString(), QUrl::fromLocalFile(mail + QLatin1Char('/')).toString());
    EXPECT_EQ(mailApp->activationPolicy, ActivationPolicy::Regular);
    EXPECT_EQ(agentApp->activationPolicy, ActivationPolicy::Accessory);
    EXPECT_EQ(daemonApp->activationPolicy, ActivationPolicy::Prohibited);
    EXPECT_EQ(Workspace::shared().runningApplications(QStringLiteral("com.example.agent")).size(), 1);
}

TEST(SwitchingWorkspace, FindsShebangScriptsButNotTheirChildren) {
    TempHome home;
    RunningApps apps(home);
    const QString bundle = home.makeBundle(QStringLiteral("Applications"), QStringLiteral("Scripted"),
                                           QStringLiteral("com.example.scripted"));
    // A script that stays the parent of its own children (no exec).
    home.write(QStringLiteral("Applications/Scripted.app/Contents/MacOS/Scripted"),
               "#!/bin/sh\nwhile :; do sleep 0.2; done\n");
    const qint64 pid = apps.launch(bundle);
    const QList<RunningApplication> listed = apps.appsFrom(bundle);
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed.first().pid, pid);
    EXPECT_EQ(listed.first().bundleIdentifier, QStringLiteral("com.example.scripted"));
}

TEST(SwitchingWorkspace, TerminateAndForceTerminate) {
    TempHome home;
    RunningApps apps(home);
    const qint64 polite = apps.launch(apps.makeApp(QStringLiteral("Polite"), QStringLiteral("com.example.polite")));
    const qint64 stubborn = apps.launch(apps.makeApp(QStringLiteral("Stubborn"), QStringLiteral("com.example.stubborn"),
                                                     {}, {QStringLiteral("ignore-term")}));
    Workspace& ws = Workspace::shared();
    EXPECT_TRUE(ws.terminate(polite));
    EXPECT_TRUE(ws.terminate(stubborn));
    EXPECT_TRUE(RunningApps::waitUntil([&] { return ws.isTerminated(polite); }));
    EXPECT_FALSE(ws.isTerminated(stubborn));
    EXPECT_TRUE(ws.forceTerminate(stubborn));
    EXPECT_TRUE(RunningApps::waitUntil([&] { return ws.isTerminated(stubborn); }));
    // A process that is gone refuses at once.
    EXPECT_FALSE(ws.terminate(999999999));
    EXPECT_FALSE(ws.forceTerminate(-1));
}

TEST(SwitchingWorkspace, OpeningStartsOnceAndPassesFiles) {
    TempHome home;
    RunningApps apps(home);
    const QString record = home.file(QStringLiteral("args.txt"));
    const QString editor = apps.makeApp(QStringLiteral("Editor"), QStringLiteral("com.example.editor"), {},
                                        {QStringLiteral("record=") + record});
    Workspace& ws = Workspace::shared();

    const OpenResult first = ws.openApplication(editor);
    ASSERT_TRUE(first.ok) << first.error.toStdString();
    ASSERT_TRUE(RunningApps::waitUntil([&] { return apps.appsFrom(editor).size() == 1; }));
    const OpenResult again = ws.openApplication(editor + QLatin1Char('/'));
    EXPECT_TRUE(again.ok);
    EXPECT_FALSE(again.pid.has_value()); // brought forward, nothing started
    EXPECT_EQ(apps.appsFrom(editor).size(), 1);

    const OpenResult withFile = ws.openFile(QStringLiteral("/tmp/my project"), editor);
    ASSERT_TRUE(withFile.ok);
    EXPECT_TRUE(RunningApps::waitUntil([&] { return readFile(record).contains(QStringLiteral("/tmp/my project")); }));

    EXPECT_FALSE(ws.openApplication(home.file(QStringLiteral("Applications/Missing.app"))).ok);
    EXPECT_FALSE(ws.isApplication(home.file(QStringLiteral("Applications/Missing.app"))));
    apps.killAll();
}

TEST(SwitchingWorkspace, FindsApplicationsByIdentifierInSubfolders) {
    TempHome home;
    RunningApps apps(home);
    const QString util = apps.makeApp(QStringLiteral("Console"), QStringLiteral("com.example.console"), {}, {},
                                      QStringLiteral("Applications/Utilities"));
    EXPECT_EQ(Workspace::shared().applicationPath(QStringLiteral("com.example.console")), util);
    EXPECT_FALSE(Workspace::shared().applicationPath(QStringLiteral("com.example.none")).has_value());
    EXPECT_FALSE(Workspace::shared().openApplicationWithIdentifier(QStringLiteral("com.example.none")).ok);
}

TEST(SwitchingWorkspace, MalformedInfoPlistIsNoApplication) {
    TempHome home;
    home.write(QStringLiteral("Applications/Broken.app/Contents/Info.plist"), "<plist><dict><key>oops");
    const QString bundle = home.file(QStringLiteral("Applications/Broken.app"));
    EXPECT_FALSE(Workspace::shared().infoPlist(bundle).has_value());
    EXPECT_FALSE(Workspace::shared().bundleIdentifier(bundle).has_value());
    const OpenResult result = Workspace::shared().openApplication(bundle);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());
}

TEST(SwitchingWorkspace, AppsOfAnotherHomeAreNotOurs) {
    TempHome home;
    RunningApps apps(home);
    const QString bundle = apps.makeApp(QStringLiteral("Elsewhere"), QStringLiteral("com.example.elsewhere"));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PIERLINE_HOME"), home.file(QStringLiteral("other-mac")));
    process.setProcessEnvironment(env);
    process.start(bundle + QStringLiteral("/Contents/MacOS/Elsewhere"));
    ASSERT_TRUE(process.waitForStarted());
    const qint64 ours = apps.launch(bundle);
    // Wait (bounded) until the other process runs the bundle's executable.
    ASSERT_TRUE(RunningApps::waitUntil([&] {
        return QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(process.processId()))
            .contains(QStringLiteral("Elsewhere.app"));
    }));
    const QList<RunningApplication> listed = apps.appsFrom(bundle);
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed.first().pid, ours);
    process.kill();
    process.waitForFinished();
}
