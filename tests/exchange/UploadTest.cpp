// Publishing a preset: the record sent, the client's requests and answers against a loopback
// server, and the share sheet's outcome.
#include "core/QuayshareAPIClient.h"
#include "exchange/PresetUpload.h"
#include "store/PersistenceController.h"
#include "support/EventLoop.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempHome.h"
#include "themes/IconExtractionService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <gtest/gtest.h>

namespace pierline::test {
namespace {

const QString kSafari = "file:///Users/alice/Applications/Safari.app/";
const QString kDocs = "file:///home/alice/Applications/Docs.app/";

class Upload : public ::testing::Test {
protected:
    DockPresetPtr work() {
        auto p = context().insert<DockPreset>();
        p->setId(QUuid::createUuid());
        p->setName(QStringLiteral("Work"));
        p->setCreatedAt(QDateTime(QDate(2025, 3, 1), QTime(9, 15), Qt::UTC));
        p->setApps(QString::fromUtf8(QJsonDocument(QJsonArray{kSafari, kDocs}).toJson(QJsonDocument::Compact)));
        p->setAppNotes(R"({"file:///Users/alice/Applications/Safari.app/":"n"})");
        auto stack = context().insert<DockFolderStack>();
        stack->setItemType("folder");
        stack->setPath("file:///home/alice/Downloads/");
        stack->setOrder(0);
        stack->setPreset(p);
        return p;
    }
    ManagedObjectContext& context() { return controller.viewContext(); }
    QuayshareAPIClient client(const LoopbackHttpServer& server, double timeout = 5) const {
        return QuayshareAPIClient(server.url(QStringLiteral("/api/")), PierlineAPIClient::quayshareAuthToken, timeout);
    }

    // The icons of the stored app list, as the share command makes them.
    static QString archiveIcons(const std::optional<QString>& apps) {
        return IconExtractionService().extractIcons(apps);
    }

    TempHome home;
    PersistenceController controller{false};
};

TEST_F(Upload, TheRecordHasNoIdAndNeutralPathsAndKeepsFoldersAndNotes) {
    const auto preset = work();
    const AppMetadataMap metadata{
        {kDocs, {"Docs", SafariWebAppMetadata::AppType::Safari, "https://docs.example.org/", {}, {}}}};
    const QString data = PierlineAPIClient::makeUploadData(*preset, metadata);
    EXPECT_TRUE(data.startsWith("{\n    \"")) << "one pretty object";
    const QJsonObject record = QJsonDocument::fromJson(data.toUtf8()).object();
    EXPECT_FALSE(record.contains("idString"));
    EXPECT_EQ(record.value("apps").toString(),
              QString::fromUtf8(QJsonDocument(QJsonArray{"file:///Users/USERNAME/Applications/Safari.app/",
                                                         "file:///home/USERNAME/Applications/Docs.app/"})
                                    .toJson(QJsonDocument::Compact)));
    const QJsonArray stacks = record.value("folderStacks").toArray();
    ASSERT_EQ(stacks.size(), 1);
    EXPECT_EQ(stacks[0].toObject().value("path").toString(), "file:///home/USERNAME/Downloads/");
    EXPECT_EQ(record.value("appNotes").toString(), preset->appNotes()); // as stored, user name and all
    EXPECT_EQ(record.value("appMetadata").toObject().keys(),
              QStringList{"file:///home/USERNAME/Applications/Docs.app/"});
    EXPECT_EQ(record.value("createdAt").toString(), "2025-03-01T09:15:00Z");

    EXPECT_EQ(QJsonDocument::fromJson(PierlineAPIClient::makeUploadData(*preset, AppMetadataMap{}).toUtf8())
                  .object()
                  .value("appMetadata"),
              QJsonObject());
    EXPECT_FALSE(QJsonDocument::fromJson(PierlineAPIClient::makeUploadData(*preset, std::nullopt).toUtf8())
                     .object()
                     .contains("appMetadata"));
}

TEST_F(Upload, ThePresetIsPostedWithTheTokenAndTheAnswerRead) {
    LoopbackHttpServer server({200, R"({"success": true, "isNewUser": true, "tempLoginUrl": "https://q.example/x"})"});
    ASSERT_TRUE(server.isListening());
    const QString data = PierlineAPIClient::makeUploadData(*work(), std::nullopt);
    const QuayshareUploadResponse response = client(server).uploadPreset(data);
    EXPECT_TRUE(response.success);
    EXPECT_EQ(response.isNewUser, true);
    EXPECT_EQ(response.tempLoginUrl, "https://q.example/x");
    ASSERT_EQ(server.requests().size(), 1);
    const QByteArray request = server.requests().first();
    EXPECT_EQ(LoopbackHttpServer::requestLine(request), "POST /api/presets HTTP/1.1");
    EXPECT_EQ(LoopbackHttpServer::headerOf(request, "Authorization"),
              "Bearer " + PierlineAPIClient::quayshareAuthToken);
    EXPECT_EQ(LoopbackHttpServer::headerOf(request, "Content-Type"), "application/json");
    EXPECT_EQ(LoopbackHttpServer::bodyOf(request), data.toUtf8());
    EXPECT_EQ(PierlineAPIClient::quayshareAuthToken.size(), 43);
}

TEST_F(Upload, AnswersThatAreRefused) {
    const struct {
        LoopbackHttpServer::Reply reply;
        QString error;
    } cases[] = {
        {{500, R"({"success": true})"}, "Quayshare answered with status 500"},
        {{200, "<html>Maintenance</html>"}, "Quayshare's answer is not a JSON object"},
        {{200, R"({"isNewUser": false})"}, "Quayshare's answer has no \"success\""},
        {{200, R"({"success": "yes"})"}, "Quayshare's \"success\" is not true or false"},
        {{200, "{}", false, QuayshareAPIClient::kMaximumAnswerBytes + 1}, "Quayshare's answer is larger than 16 MiB"},
        {{200, "", true}, "Quayshare did not answer within 0.2 seconds"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error.toStdString());
        LoopbackHttpServer server(c.reply);
        try {
            client(server, 0.2).uploadPreset("{}");
            ADD_FAILURE() << "accepted";
        } catch (const QuayshareAPIError& error) {
            EXPECT_EQ(error.description(), c.error);
        }
    }
}

TEST_F(Upload, IconsGoAsOneMultipartFilePart) {
    LoopbackHttpServer server({200, "not inspected"});
    const QByteArray archive("PK\x05\x06" + QByteArray(18, '\0'));
    const QString path = home.write("icons.zip", archive);
    client(server).uploadPresetIcons(path);
    ASSERT_EQ(server.requests().size(), 1);
    const QByteArray request = server.requests().first();
    EXPECT_EQ(LoopbackHttpServer::requestLine(request), "POST /api/presets/icons HTTP/1.1");
    EXPECT_TRUE(LoopbackHttpServer::headerOf(request, "Content-Type").startsWith("multipart/form-data; boundary="));
    const auto parts = LoopbackHttpServer::formParts(request);
    ASSERT_EQ(parts.keys(), QByteArrayList{"icons"});
    EXPECT_TRUE(parts["icons"].headers.contains("Content-Type: application/zip"));
    EXPECT_EQ(parts["icons"].body, archive);

    LoopbackHttpServer failing({500, ""});
    EXPECT_THROW(client(failing).uploadPresetIcons(path), QuayshareAPIError);
    EXPECT_THROW(client(server).uploadPresetIcons(home.file("none.zip")), QuayshareAPIError);
}

TEST_F(Upload, TheSheetKeepsTheAnswerAndTellsTheOutcome) {
    const auto preset = work();
    const auto uploadWith = [&](LoopbackHttpServer::Reply reply) {
        LoopbackHttpServer server(std::move(reply));
        PierlineAPIClient sheet(archiveIcons, [&](const QString& token) {
            return QuayshareAPIClient(server.url(QStringLiteral("/api")), token, 5);
        });
        sheet.uploadPreset(*preset, std::nullopt);
        EXPECT_FALSE(sheet.isUploading());
        if (sheet.iconUpload()) {
            EXPECT_TRUE(waitFor(*sheet.iconUpload()));
        }
        return sheet;
    };
    const PierlineAPIClient refused = uploadWith({200, R"({"success": false})"});
    EXPECT_FALSE(refused.iconUpload()) << "icons only for an accepted preset";
    ASSERT_TRUE(refused.uploadResult());
    EXPECT_FALSE(refused.uploadResult()->success);
    EXPECT_FALSE(refused.uploadError());
    EXPECT_EQ(refused.resultText(), "Upload failed: Quayshare did not accept the preset");

    const PierlineAPIClient failed = uploadWith({503, ""});
    EXPECT_FALSE(failed.iconUpload());
    EXPECT_EQ(failed.uploadError(), "Quayshare answered with status 503");
    EXPECT_EQ(failed.resultText(), "Upload failed: Quayshare answered with status 503");

    EXPECT_EQ(uploadWith({200, R"({"success": true})"}).resultText(),
              "Your preset has been uploaded successfully! Click the 'Open Quayshare' button below to access your "
              "dashboard.");
    EXPECT_EQ(uploadWith({200, R"({"success": true, "isNewUser": true})"}).resultText(),
              "Welcome to Quayshare! Your preset has been uploaded successfully. Click the 'Open Quayshare' button "
              "below to access your dashboard.");
}

TEST_F(Upload, AnAcceptedPresetSendsItsIconsInTheBackground) {
    const QString docs = home.makeBundle("Applications", "Docs", "org.example.docs");
    const auto preset = work();
    preset->setApps(QString::fromUtf8(QJsonDocument(QJsonArray{kSafari, docs}).toJson(QJsonDocument::Compact)));
    const auto serve = [&](LoopbackHttpServer& server, PierlineAPIClient::IconArchiver archiver = archiveIcons) {
        PierlineAPIClient sheet(std::move(archiver), [&](const QString& token) {
            return QuayshareAPIClient(server.url(QStringLiteral("/api")), token, 5);
        });
        sheet.uploadPreset(*preset, std::nullopt);
        EXPECT_TRUE(sheet.iconUpload());
        if (!sheet.iconUpload() || !waitFor(*sheet.iconUpload()))
            return PierlineAPIClient::IconUploadOutcome{false, "no icon upload"};
        return sheet.iconUpload()->result();
    };
    const QString tmp = home.file("tmp");

    LoopbackHttpServer server({200, R"({"success": true})"});
    server.setReply("/api/presets/icons", {200, "<html>not read</html>"});
    const auto sent = serve(server);
    EXPECT_TRUE(sent.uploaded);
    EXPECT_EQ(sent.line, "Icons uploaded successfully for preset: Work");
    ASSERT_EQ(server.requests().size(), 2);
    const QByteArray request = server.requests().at(1);
    EXPECT_EQ(LoopbackHttpServer::requestLine(request), "POST /api/presets/icons HTTP/1.1");
    EXPECT_EQ(LoopbackHttpServer::headerOf(request, "Authorization"),
              "Bearer " + PierlineAPIClient::quayshareAuthToken);
    const auto parts = LoopbackHttpServer::formParts(request);
    ASSERT_EQ(parts.keys(), QByteArrayList{"icons"});
    EXPECT_TRUE(parts["icons"].headers.contains("filename=\"preset_icons_"));
    const QByteArray zip = parts["icons"].body;
    EXPECT_TRUE(zip.startsWith("PK\x03\x04")) << "a ZIP of the one app on disk";
    EXPECT_TRUE(zip.contains("Docs.png"));
    EXPECT_FALSE(zip.contains("Safari.png"));
    EXPECT_TRUE(QDir(tmp).isEmpty()) << "the archive is removed";

    // The preset went up; its icons did not.
    LoopbackHttpServer refusing({200, R"({"success": true})"});
    refusing.setReply("/api/presets/icons", {500, ""});
    const auto refused = serve(refusing);
    EXPECT_FALSE(refused.uploaded);
    EXPECT_EQ(refused.line, "Failed to upload icons for preset Work: Quayshare answered with status 500");
    EXPECT_TRUE(QDir(tmp).isEmpty()) << "the archive is removed after a failure too";

    LoopbackHttpServer accepting({200, R"({"success": true})"});
    const auto unbuilt = serve(accepting, [](const std::optional<QString>&) -> QString {
        throw IconExtractionError(IconExtractionError::Code::zipCreationFailed);
    });
    EXPECT_EQ(unbuilt.line, "Failed to upload icons for preset Work: Failed to create ZIP file");
    EXPECT_EQ(accepting.requests().size(), 1) << "no archive, nothing sent";

    preset->setName(std::nullopt);
    LoopbackHttpServer nameless({200, R"({"success": true})"});
    EXPECT_EQ(serve(nameless).line, "Icons uploaded successfully for preset: Unknown");
}

} // namespace
} // namespace pierline::test
