// Window classes on the test display: a desktop file's StartupWMClass finds the process whose
// window has that class, and while the display lists windows such a file matches by window only.
#include "platform/linux/LinuxDesktopApps.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace pierline {
namespace {

TEST(DesktopAppsOnX11, StartupWMClassMatchesByWindowWhileTheDisplayListsWindows) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "needs a display (the test command starts Xvfb)";
    const QString windowClass = QStringLiteral("PierlineTest%1").arg(QCoreApplication::applicationPid());
    const QString program = QFileInfo(QStringLiteral(PIERLINE_WINDOW_APP)).canonicalFilePath();
    QTemporaryDir dir;
    const auto desktop = [&](const QString& name, const QString& lines) {
        const QString path = dir.filePath(name + ".desktop");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("[Desktop Entry]\nType=Application\nName=" + name + "\n" + lines + "\n").toUtf8());
        return path;
    };
    // The window's class names one; the program the other, whose own class the window lacks.
    const QString byWindow = desktop("ByWindow", "Exec=/nonexistent/program\nStartupWMClass=" + windowClass);
    const QString byProgram = desktop("ByProgram", "Exec=" + program + "\nStartupWMClass=" + windowClass + "Other");

    QProcess app;
    app.start(program, {windowClass});
    ASSERT_TRUE(app.waitForReadyRead(10000)) << app.readAllStandardError().toStdString();
    ASSERT_EQ(app.readLine().trimmed(), "ready");

    const struct {
        bool askDisplay;
        QString expected;
    } cases[] = {{true, byWindow}, {false, byProgram}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.askDisplay);
        const auto apps = createLinuxDesktopApps({.procRoot = QStringLiteral("/proc"),
                                                  .selfPid = 0,
                                                  .uid = -1,
                                                  .askDisplay = c.askDisplay,
                                                  .searchPath = {}});
        QStringList found;
        for (const RunningApplication& running : apps->runningApplications({byWindow, byProgram}))
            if (running.pid == app.processId())
                found << *running.bundlePath;
        EXPECT_EQ(found, QStringList{c.expected});
    }
    app.closeWriteChannel();
    EXPECT_TRUE(app.waitForFinished(10000));
}

} // namespace
} // namespace pierline
