#include "core/PresetRecord.h"
#include "support/CapturingLogSink.h"
#include "support/ScopedEnv.h"

#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace pierline;

TEST(AppEntry, SpacerMarkersAndDisplayNames) {
    EXPECT_EQ(spacerEntry(12), "pierline-spacer-12");
    EXPECT_EQ(smallSpacerEntry(3), "pierline-small-spacer-3");
    // A small spacer is never taken for a spacer, nor an app for either.
    EXPECT_TRUE(isSpacerEntry(spacerEntry(2)) && !isSmallSpacerEntry(spacerEntry(2)));
    EXPECT_TRUE(isSmallSpacerEntry(smallSpacerEntry(1)) && !isSpacerEntry(smallSpacerEntry(1)));
    EXPECT_FALSE(isSpacerEntry("file:///Applications/Safari.app/") ||
                 isSmallSpacerEntry("file:///Applications/S.app/"));

    const std::pair<const char*, QString> names[] = {
        {"pierline-spacer-4", "Spacer"},
        {"pierline-small-spacer-1", "Small Spacer"},
        {"file:///Applications/Safari.app/", "Safari"},
        {"file:///Applications/Visual%20Studio%20Code.app/", "Visual Studio Code"},
        {"file:///Applications/Caf%C3%A9%20Menu.app", QString::fromUtf8("Café Menu")},
        // Entries made by hand: plain paths and decoded URLs.
        {"/Applications/Mail.app", "Mail"},
        {"file:///Applications/Utilities/Disk Utility.app/", "Disk Utility"},
        {"file:///Applications/Some.application.app/", "Some.application"}, // only the bundle suffix goes
    };
    for (const auto& [entry, name] : names)
        EXPECT_EQ(appDisplayName(entry), name) << entry;
}

// A desktop app is named by its desktop file, in the user's language; ".app" is never cut from it.
TEST(AppEntries, DesktopAppsShowTheirLocalisedName) {
    QTemporaryDir dir;
    const QString file = dir.filePath("org.example.Mail.app.desktop");
    QFile desktop(file);
    ASSERT_TRUE(desktop.open(QIODevice::WriteOnly));
    desktop.write("[Desktop Entry]\nType=Application\nName=Mail\nName[de]=Post\nExec=mail\n");
    desktop.close();
    const QString entry = QUrl::fromLocalFile(file).toString();
    test::ScopedEnv lang("LANG", "de_DE.UTF-8");
    test::ScopedEnv all("LC_ALL", "");
    test::ScopedEnv messages("LC_MESSAGES", "");
    EXPECT_EQ(appDisplayName(entry), "Post");
    EXPECT_EQ(appDisplayName(QUrl::fromLocalFile(dir.filePath("gone.app.desktop")).toString()), "gone.app");
}

TEST(AppsAttribute, UndecodableTextGivesEmptyListAndMessage) {
    const std::optional<QString> cases[] = {
        std::nullopt, QString(), "not json", "{\"a\": 1}", "\"file:///A.app/\"", "[\"file:///A.app/\", 3]", "[null]",
    };
    for (const auto& text : cases) {
        SCOPED_TRACE(text.value_or("<absent>").toStdString());
        test::CapturingLogSink log;
        EXPECT_TRUE(decodeApps(text).isEmpty());
        EXPECT_EQ(log.plainLines(), QStringList{"Failed to decode app URLs from preset."});
    }
}

TEST(AppsAttribute, DecodesArraysOfStringsAndEncodesCompactUtf8) {
    test::CapturingLogSink log;
    EXPECT_TRUE(decodeApps(QString("[]")).isEmpty());
    // Escaped slashes, as other JSON encoders write them, and non-ASCII text.
    EXPECT_EQ(decodeApps(QString(R"(["file:\/\/\/Applications\/Safari.app\/","pierline-spacer-1"])")),
              (QStringList{"file:///Applications/Safari.app/", "pierline-spacer-1"}));
    EXPECT_EQ(decodeApps(QString::fromUtf8(R"(["file:///Applications/Café.app/", "\u00e9"])")),
              (QStringList{QString::fromUtf8("file:///Applications/Café.app/"), QString::fromUtf8("é")}));
    EXPECT_TRUE(log.plainLines().isEmpty());

    const QStringList apps{"file:///Applications/Safari.app/", "pierline-spacer-1", "pierline-small-spacer-1",
                           QString::fromUtf8("quote\" and ü")};
    EXPECT_EQ(encodeApps({}), "[]");
    EXPECT_EQ(encodeApps({"file:///A.app/", "pierline-spacer-1"}), R"(["file:///A.app/","pierline-spacer-1"])");
    EXPECT_TRUE(encodeApps(apps).toUtf8().contains("\xc3\xbc")); // UTF-8, not \u escapes
    EXPECT_EQ(decodeApps(encodeApps(apps)), apps);
}
