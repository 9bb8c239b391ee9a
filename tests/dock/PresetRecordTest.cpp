#include "store/PresetRecord.h"
#include "support/CapturingLogSink.h"

#include <gtest/gtest.h>

using namespace pierline;

namespace {
const QString kDecodeMessage = QStringLiteral("Failed to decode app URLs from preset.");
}

TEST(AppEntry, SmallSpacerIsNeverTakenForASpacer) {
    EXPECT_TRUE(isSpacerEntry(spacerEntry(2)));
    EXPECT_FALSE(isSmallSpacerEntry(spacerEntry(2)));
    EXPECT_TRUE(isSmallSpacerEntry(smallSpacerEntry(1)));
    EXPECT_FALSE(isSpacerEntry(smallSpacerEntry(1)));
    EXPECT_EQ(spacerEntry(12), "pierline-spacer-12");
    EXPECT_EQ(smallSpacerEntry(3), "pierline-small-spacer-3");
    EXPECT_FALSE(isSpacerEntry("file:///Applications/Safari.app/"));
    EXPECT_FALSE(isSmallSpacerEntry("file:///Applications/Safari.app/"));
}

TEST(AppEntry, DisplayNames) {
    EXPECT_EQ(appDisplayName("pierline-spacer-4"), "Spacer");
    EXPECT_EQ(appDisplayName("pierline-small-spacer-1"), "Small Spacer");
    EXPECT_EQ(appDisplayName("file:///Applications/Safari.app/"), "Safari");
    EXPECT_EQ(appDisplayName("file:///Applications/Visual%20Studio%20Code.app/"), "Visual Studio Code");
    EXPECT_EQ(appDisplayName("file:///Applications/Caf%C3%A9%20Menu.app"), QString::fromUtf8("Café Menu"));
    // Entries made by hand: plain paths and decoded URLs.
    EXPECT_EQ(appDisplayName("/Applications/Mail.app"), "Mail");
    EXPECT_EQ(appDisplayName("file:///Applications/Utilities/Disk Utility.app/"), "Disk Utility");
    // Only the bundle suffix goes.
    EXPECT_EQ(appDisplayName("file:///Applications/Some.application.app/"), "Some.application");
}

TEST(AppsAttribute, UndecodableTextGivesEmptyListAndMessage) {
    const std::optional<QString> cases[] = {
        std::nullopt,
        QString(),
        QStringLiteral("not json"),
        QStringLiteral("{\"a\": 1}"),
        QStringLiteral("\"file:///A.app/\""),
        QStringLiteral("[\"file:///A.app/\", 3]"),
        QStringLiteral("[null]"),
    };
    for (const auto& text : cases) {
        test::CapturingLogSink log;
        EXPECT_TRUE(decodeApps(text).isEmpty()) << text.value_or("<absent>").toStdString();
        EXPECT_EQ(log.plainLines(), QStringList{kDecodeMessage}) << text.value_or("<absent>").toStdString();
    }
}

TEST(AppsAttribute, DecodesArraysOfStrings) {
    test::CapturingLogSink log;
    EXPECT_TRUE(decodeApps(QStringLiteral("[]")).isEmpty());
    // Escaped slashes, as other JSON encoders write them, and non-ASCII text.
    EXPECT_EQ(decodeApps(QStringLiteral(R"(["file:\/\/\/Applications\/Safari.app\/","pierline-spacer-1"])")),
              (QStringList{"file:///Applications/Safari.app/", "pierline-spacer-1"}));
    EXPECT_EQ(decodeApps(QString::fromUtf8(R"(["file:///Applications/Café.app/", "\u00e9"])")),
              (QStringList{QString::fromUtf8("file:///Applications/Café.app/"), QString::fromUtf8("é")}));
    EXPECT_TRUE(log.plainLines().isEmpty());
}

TEST(AppsAttribute, EncodesCompactUtf8AndRoundTrips) {
    const QStringList apps{"file:///Applications/Safari.app/", "pierline-spacer-1",
                           QString::fromUtf8("file:///Applications/Caf%C3%A9.app/"), "pierline-small-spacer-1",
                           QString::fromUtf8("quote\" and ü")};
    EXPECT_EQ(encodeApps({}), "[]");
    EXPECT_EQ(encodeApps({"file:///A.app/", "pierline-spacer-1"}), R"(["file:///A.app/","pierline-spacer-1"])");
    EXPECT_TRUE(encodeApps(apps).toUtf8().contains("\xc3\xbc")); // UTF-8, not \u escapes
    EXPECT_EQ(decodeApps(encodeApps(apps)), apps);
}

TEST(PresetListOrder, OrderFirstThenNewestFirst) {
    const QDateTime older(QDate(2025, 3, 1), QTime(8, 0), Qt::UTC);
    const QDateTime newer = older.addSecs(60);
    struct Preset {
        const char* name;
        qint16 order;
        std::optional<QDateTime> createdAt;
    };
    std::vector<Preset> presets{{"b-old", 1, older}, {"none", 1, std::nullopt}, {"c", 2, newer},
                                {"a", 0, older},     {"b-new", 1, newer},       {"neg", -1, std::nullopt}};
    std::sort(presets.begin(), presets.end(), [](const Preset& x, const Preset& y) {
        return presetListLess(x.order, x.createdAt, y.order, y.createdAt);
    });
    std::vector<std::string> names;
    for (const Preset& p : presets)
        names.push_back(p.name);
    EXPECT_EQ(names, (std::vector<std::string>{"neg", "a", "b-new", "b-old", "none", "c"}));
    EXPECT_FALSE(presetListLess(1, newer, 1, newer)); // irreflexive, as sorting needs
    EXPECT_FALSE(presetListLess(1, std::nullopt, 1, std::nullopt));
}
