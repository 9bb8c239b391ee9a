#include "exchange/InfoPlistReader.h"
#include "exchange/SafariWebAppService.h"
#include "platform/SystemPaths.h"
#include "support/ScopedEnv.h"
#include "support/StandInTools.h"
#include "support/TempHome.h"

#include <QDir>
#include <gtest/gtest.h>

namespace pierline::test {
namespace {

const QString kWebAppId = "com.apple.Safari.WebApp.5E1B";

QString manifest(const QString& startUrl) {
    return "<key>Manifest</key><dict><key>start_url</key><string>" + startUrl + "</string></dict>\n";
}

QString fileUrl(const QString& path) {
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + "/";
}

TEST(InfoPlistLineRule, TakesTheValueAfterEqualsABareAddressOrAQuotedOne) {
    EXPECT_EQ(InfoPlistReader::urlFromLine("start_url = https://docs.example.org/app/"),
              "https://docs.example.org/app/");
    EXPECT_EQ(InfoPlistReader::urlFromLine("https://a.org/x"), "https://a.org/x");
    EXPECT_EQ(InfoPlistReader::urlFromLine(R"(Note = see "https://b.org/y" here)"), "https://b.org/y");
    EXPECT_EQ(InfoPlistReader::urlFromLine(R"(x "http://c.org/" y)"), "http://c.org/");
    // The value is the text between the first and second "=", as the tool's lines are split.
    EXPECT_EQ(InfoPlistReader::urlFromLine("u = https://d.org/?a=b"), "https://d.org/?a");
    EXPECT_FALSE(InfoPlistReader::urlFromLine("CFBundleName = Docs"));
    EXPECT_FALSE(InfoPlistReader::urlFromLine("ftp://e.org/"));
    EXPECT_FALSE(InfoPlistReader::urlFromLine(""));
}

TEST(SafariWebAppService, FaviconIsSchemeAndHostWithoutPort) {
    EXPECT_EQ(SafariWebAppService::faviconURL("http://docs.example.org:8080/app/?q=1"),
              "http://docs.example.org/favicon.ico");
    EXPECT_EQ(SafariWebAppService::faviconURL("https://a.org"), "https://a.org/favicon.ico");
    EXPECT_EQ(SafariWebAppService::faviconURL("//b.org/x"), "https://b.org/favicon.ico");
    EXPECT_FALSE(SafariWebAppService::faviconURL("/just/a/path"));
    EXPECT_FALSE(SafariWebAppService::faviconURL("not a url"));
}

TEST(SafariWebAppService, BatchDescribesWebAppsAndRegularAppsAndSkipsSpacersAndMissingOnes) {
    TempHome home;
    const QString docs = home.makeBundle("Applications", "Docs", kWebAppId, manifest("https://docs.example.org/app/"));
    const QString blank = home.makeBundle("Applications", "Blank", kWebAppId + ".2");
    const QString mail = home.makeBundle("Applications", "Mail", "com.apple.Mail");
    const QString bare = home.makeBundle("Applications", "Bare", "");
    const QString spacerLike = home.makeBundle("Applications", "pierline-spacer-x", "x.y");

    SafariWebAppService service;
    const AppMetadataMap map =
        service.extractMetadata({fileUrl(docs), fileUrl(blank), fileUrl(mail), fileUrl(bare), fileUrl(spacerLike),
                                 "pierline-spacer-1", fileUrl(home.file("Applications/Gone.app")), fileUrl(mail)});
    EXPECT_FALSE(service.isProcessing());
    EXPECT_EQ(map.size(), 4);
    EXPECT_EQ(map.value(fileUrl(docs)),
              (SafariWebAppMetadata{"Docs", SafariWebAppMetadata::AppType::Safari, "https://docs.example.org/app/",
                                    "https://docs.example.org/favicon.ico", kWebAppId}));
    // A web app whose property list gives no address is still one, with no URL and no icon.
    EXPECT_EQ(map.value(fileUrl(blank)),
              (SafariWebAppMetadata{"Blank", SafariWebAppMetadata::AppType::Safari, {}, {}, kWebAppId + ".2"}));
    EXPECT_EQ(map.value(fileUrl(mail)),
              (SafariWebAppMetadata{"Mail", SafariWebAppMetadata::AppType::Regular, {}, {}, "com.apple.Mail"}));
    EXPECT_EQ(map.value(fileUrl(bare)),
              (SafariWebAppMetadata{"Bare", SafariWebAppMetadata::AppType::Regular, {}, {}, {}}));
    EXPECT_FALSE(service.lastError());
}

TEST(SafariWebAppService, AToolFailureKeepsTheWebAppRecordAndBecomesTheLastError) {
    TempHome home;
    const QString docs = home.makeBundle("Applications", "Docs", kWebAppId, manifest("https://docs.example.org/"));
    StandInTools tools("PlistBuddy", "echo 'Error Reading File' ; echo 'on stderr' >&2; exit 1");
    SafariWebAppService service;
    const auto metadata = service.extractMetadata(fileUrl(docs));
    ASSERT_TRUE(metadata);
    EXPECT_EQ(*metadata, (SafariWebAppMetadata{"Docs", SafariWebAppMetadata::AppType::Safari, {}, {}, kWebAppId}));
    ASSERT_TRUE(service.lastError());
    EXPECT_EQ(service.lastError()->kind(), InfoPlistError::Kind::PlistReadError);
    // Both streams of the tool reach the error, as one pipe.
    EXPECT_EQ(service.lastError()->message(), "Error Reading File\non stderr");
}

TEST(InfoPlistReader, MissingBundleAndMissingPlistAreTheirOwnErrors) {
    TempHome home;
    const auto kindOf = [](const QString& path) {
        try {
            InfoPlistReader::readWebAppURL(path);
        } catch (const InfoPlistError& error) {
            return error.kind();
        }
        return InfoPlistError::Kind::UrlExtractionFailed;
    };
    EXPECT_EQ(kindOf(home.file("Applications/None.app")), InfoPlistError::Kind::BundleNotFound);
    QDir().mkpath(home.file("Applications/Empty.app"));
    EXPECT_EQ(kindOf(home.file("Applications/Empty.app")), InfoPlistError::Kind::PlistNotFound);
}

TEST(SafariWebAppService, DesktopEntriesAreRegularAppsNamedByTheirFileWithTheirDesktopId) {
    TempHome home;
    const QString data = home.file("xdg");
    ScopedEnv dataHome("XDG_DATA_HOME", home.file("xdg-home").toUtf8());
    ScopedEnv dataDirs("XDG_DATA_DIRS", data.toUtf8());
    ScopedEnv lang("LC_ALL", "de");
    const QString file = home.write("xdg/applications/org/example/Writer.desktop",
                                    "[Desktop Entry]\nType=Application\nName=Writer\nName[de]=Schreiber\nExec=w\n");
    SafariWebAppService service;
    const auto metadata = service.extractMetadata(QUrl::fromLocalFile(file).toString());
    ASSERT_TRUE(metadata);
    EXPECT_EQ(*metadata,
              (SafariWebAppMetadata{
                  "Schreiber", SafariWebAppMetadata::AppType::Regular, {}, {}, "org-example-Writer.desktop"}));
}

} // namespace
} // namespace pierline::test
