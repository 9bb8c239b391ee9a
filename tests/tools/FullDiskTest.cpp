#include "ToolTestSupport.h"

#include "app/Sandbox.h"
#include "platform/SystemPaths.h"
#include "support/FileSizeLimit.h"

#include <QFileInfo>
#include <QProcess>

namespace pierline::test {
namespace {

struct LimitedRun {
    int exit = -1;
    QString err;
};

// Runs a program of this home as a child whose files cannot grow past `bytes`.
LimitedRun runLimited(const QString& program, const QStringList& args, rlim_t bytes) {
    QProcess process;
    process.setProcessEnvironment(childEnvironment());
    limitFileSize(process, bytes);
    process.start(program, args);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return {-1, QStringLiteral("did not finish")};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError())};
}

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// On a full disk each command that replaces a preferences file fails, says which file, and leaves
// the file as it was, with nothing else left in its folder.
TEST(FullDisk, SettingsDefaultsImportAndDockutilFailAndKeepTheFile) {
    TempHome home;
    ASSERT_TRUE(Sandbox::init(home.path(), true).ok);
    const QString folder = SystemPaths::preferencesFolder();
    const QString settings = SystemPaths::preferencesFile(SystemPaths::ownBundleIdentifier());
    const QString dock = SystemPaths::preferencesFile(QStringLiteral("com.apple.dock"));
    ASSERT_EQ(
        runLimited(QStringLiteral(PIERLINE_BINARY), {"settings", "set", "closeOtherApps", "true"}, RLIM_INFINITY).exit,
        0);
    ASSERT_EQ(runLimited(SystemPaths::toolPath("defaults"), {"write", "com.apple.dock", "tilesize", "-int", "48"},
                         RLIM_INFINITY)
                  .exit,
              0);
    const QString import = home.write("import.plist", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                                      "<plist version=\"1.0\"><dict><key>tilesize</key>"
                                                      "<integer>64</integer></dict></plist>\n");
    const QByteArray settingsBefore = bytesOf(settings);
    const QByteArray dockBefore = bytesOf(dock);
    const std::string entriesBefore = entriesOf(folder);

    const struct {
        QString program;
        QStringList args;
        QString file;
    } cases[] = {
        {QStringLiteral(PIERLINE_BINARY), {"settings", "set", "closeOtherApps", "false"}, settings},
        {SystemPaths::toolPath("defaults"), {"import", "com.apple.dock", import}, dock},
        {SystemPaths::toolPath("dockutil"), {"--remove", "all", "--no-restart"}, dock},
    };
    for (const auto& c : cases) {
        const LimitedRun run = runLimited(c.program, c.args, 64);
        const std::string what = c.args.join(' ').toStdString();
        EXPECT_EQ(run.exit, 1) << what;
        EXPECT_TRUE(run.err.contains(QStringLiteral("Could not write %1: File too large").arg(c.file)))
            << what << ": " << run.err.toStdString();
        EXPECT_EQ(bytesOf(settings), settingsBefore) << what;
        EXPECT_EQ(bytesOf(dock), dockBefore) << what;
        EXPECT_EQ(entriesOf(folder), entriesBefore) << what;
    }
}

} // namespace
} // namespace pierline::test
