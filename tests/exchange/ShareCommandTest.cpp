// `pierline icons` and `pierline share upload` as a user runs them: the real binary on a sandbox
// home, the sharing service a loopback server of this test.
#include "support/EventLoop.h"
#include "support/LoopbackHttpServer.h"
#include "support/PierlineCli.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <zip.h>

namespace pierline::test {
namespace {

// The entry names of a ZIP; nullopt when it does not open as one.
std::optional<QStringList> zipNames(const QString& path) {
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!archive)
        return std::nullopt;
    QStringList names;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i)
        names.append(QString::fromUtf8(zip_get_name(archive, zip_uint64_t(i), 0)));
    zip_close(archive);
    names.sort();
    return names;
}

class ShareCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        env = privateHomeEnvironment(dir);
        ASSERT_EQ(runPierline({"sandbox", "init"}, env).exitCode, 0);
        ASSERT_EQ(runPierline({"presets"}, env).exitCode, 0); // makes "Default" from the Dock
    }
    // Runs while this thread serves the loopback server.
    CliRun serving(const QStringList& args, const LoopbackHttpServer& server) {
        QMap<QString, QString> withServer = env;
        withServer.insert("PIERLINE_QUAYSHARE_URL", server.url("/api").toString());
        const auto process = startPierline(args, withServer);
        CliRun run;
        if (!waitUntil([&] { return process->state() == QProcess::NotRunning; }, 60000)) {
            process->kill();
            process->waitForFinished();
            ADD_FAILURE() << "pierline did not finish";
            return run;
        }
        run.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
        run.out = QString::fromUtf8(process->readAllStandardOutput());
        run.err = QString::fromUtf8(process->readAllStandardError());
        return run;
    }
    QStringList archivesLeft() const { return QDir(dir.path()).entryList({"preset_icons_*"}, QDir::Files); }

    QTemporaryDir dir;
    QMap<QString, QString> env;
};

TEST_F(ShareCommand, IconsPacksThePresetsAppsAndMovesTheArchiveWhenAsked) {
    const CliRun made = runPierline({"icons", "Default"}, env);
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const QString archive = made.out.trimmed();
    EXPECT_EQ(QFileInfo(archive).absolutePath(), QDir(dir.path()).absolutePath()) << "in TMPDIR";
    const auto names = zipNames(archive);
    ASSERT_TRUE(names) << archive.toStdString();
    EXPECT_EQ(names->join(", ").toStdString(), "Code Editor.png, Mail.png, Safari.png");

    const QString target = dir.filePath("out/icons.zip");
    QDir().mkpath(dir.filePath("out"));
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an older file");
    old.close();
    const CliRun moved = runPierline({"icons", "Default", "--out", target}, env);
    ASSERT_EQ(moved.exitCode, 0) << moved.err.toStdString();
    EXPECT_EQ(moved.out.trimmed(), target);
    EXPECT_EQ(zipNames(target), names);
    EXPECT_EQ(archivesLeft(), QStringList{QFileInfo(archive).fileName()}) << "only the first run's archive";

    const CliRun unknown = runPierline({"icons", "Nope"}, env);
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.err.contains("Nope")) << unknown.err.toStdString();
    EXPECT_EQ(runPierline({"icons"}, env).exitCode, 2);
    const CliRun folder = runPierline({"icons", "Default", "--out", dir.filePath("out")}, env);
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_TRUE(folder.err.contains("it is a folder")) << folder.err.toStdString();
    EXPECT_EQ(archivesLeft().size(), 1) << "a refused run leaves no archive";
}

TEST_F(ShareCommand, DesktopFileAppsOnTheGnomeDashGiveTheirThemeIcons) {
    const auto write = [&](const QString& relative, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(dir.filePath(relative)).absolutePath());
        QFile file(dir.filePath(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    write("share/icons/hicolor/index.theme", "[Icon Theme]\nDirectories=scalable/apps\n");
    write("share/icons/hicolor/scalable/apps/writer.svg",
          R"(<svg xmlns="http://www.w3.org/2000/svg" width="8" height="8"><rect width="8" height="8"/></svg>)");
    write("share/applications/writer.desktop",
          "[Desktop Entry]\nType=Application\nName=Writer\nExec=true\nIcon=writer\n");
    env.insert("XDG_DATA_DIRS", dir.filePath("share"));
    env.insert("XDG_DATA_HOME", dir.filePath("no-user-data"));
    ASSERT_EQ(runPierline({"settings", "set", "dockTarget", "gnome"}, env).exitCode, 0);
    ASSERT_EQ(runPierline({"preset", "create", "Desk"}, env).exitCode, 0);
    ASSERT_EQ(runPierline({"preset", "add-app", "Desk", "writer.desktop"}, env).exitCode, 0);

    const CliRun made = runPierline({"icons", "Desk"}, env);
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(made.out.trimmed()).constData(), ZIP_RDONLY, &error);
    ASSERT_TRUE(archive);
    zip_file_t* entry = zip_fopen(archive, "writer.png", 0);
    ASSERT_TRUE(entry) << "the desktop file's icon";
    QByteArray head(24, '\0');
    EXPECT_EQ(zip_fread(entry, head.data(), 24), 24);
    zip_fclose(entry);
    zip_close(archive);
    EXPECT_TRUE(head.startsWith("\x89PNG"));
    EXPECT_EQ(head.mid(16, 8), QByteArray("\0\0\x02\0\0\0\x02\0", 8)) << "the SVG drawn at 512 by 512";
}

TEST_F(ShareCommand, UploadPrintsTheSheetThenTheIconsOutcome) {
    LoopbackHttpServer server({200, R"({"success": true, "isNewUser": true, "tempLoginUrl": "https://q.example/d"})"});
    ASSERT_TRUE(server.isListening());
    const CliRun shared = serving({"share", "upload", "Default"}, server);
    ASSERT_EQ(shared.exitCode, 0) << shared.err.toStdString();
    EXPECT_EQ(shared.out,
              "Welcome to Quayshare! Your preset has been uploaded successfully. Click the 'Open Quayshare' button "
              "below to access your dashboard.\n"
              "Open Quayshare: https://q.example/d\n"
              "Icons uploaded successfully for preset: Default\n");
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(LoopbackHttpServer::requestLine(server.requests().at(0)), "POST /api/presets HTTP/1.1");
    const auto parts = LoopbackHttpServer::formParts(server.requests().at(1));
    ASSERT_TRUE(parts.contains("icons"));
    EXPECT_TRUE(parts["icons"].body.contains("Mail.png"));
    EXPECT_TRUE(archivesLeft().isEmpty());

    // The icons fail: a warning, and the preset still counts as shared.
    LoopbackHttpServer noIcons({200, R"({"success": true})"});
    noIcons.setReply("/api/presets/icons", {500, ""});
    const CliRun warned = serving({"share", "upload", "Default"}, noIcons);
    EXPECT_EQ(warned.exitCode, 0);
    EXPECT_EQ(warned.out, "Your preset has been uploaded successfully! Click the 'Open Quayshare' button below to "
                          "access your dashboard.\n");
    EXPECT_TRUE(warned.err.contains("Failed to upload icons for preset Default: Quayshare answered with status 500"))
        << warned.err.toStdString();
    EXPECT_TRUE(archivesLeft().isEmpty());
}

TEST_F(ShareCommand, AFailedUploadSendsNoIcons) {
    const struct {
        LoopbackHttpServer::Reply reply;
        QString error;
    } cases[] = {
        {{500, ""}, "Upload failed: Quayshare answered with status 500"},
        {{200, "<html>busy</html>"}, "Upload failed: Quayshare's answer is not a JSON object"},
        {{200, R"({"isNewUser": true})"}, "Upload failed: Quayshare's answer has no \"success\""},
        {{200, R"({"success": false})"}, "Upload failed: Quayshare did not accept the preset"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error.toStdString());
        LoopbackHttpServer server(c.reply);
        const CliRun failed = serving({"share", "upload", "Default"}, server);
        EXPECT_EQ(failed.exitCode, 1);
        EXPECT_EQ(failed.out, "");
        EXPECT_TRUE(failed.err.contains("Upload Failed\n" + c.error + "\n")) << failed.err.toStdString();
        EXPECT_EQ(server.requests().size(), 1);
    }
    LoopbackHttpServer server({200, R"({"success": true})"});
    EXPECT_EQ(serving({"share", "upload", "Nope"}, server).exitCode, 1);
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_TRUE(archivesLeft().isEmpty());
}

} // namespace
} // namespace pierline::test
