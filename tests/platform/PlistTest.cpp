#include "platform/Plist.h"

#include <QDateTime>
#include <QPoint>
#include <gtest/gtest.h>

namespace pierline::test {
namespace {

// ["a", 1] as a binary plist.
const QByteArray kBinaryArray = QByteArray::fromHex(
    "62706c6973743030a2010251611001080b0d000000000000010100000000000000030000000000000000000000000000000f");

TEST(Plist, ParsesXmlAndBinaryAndRejectsWhatIsNotAPropertyList) {
    const PlistParseResult xml = parsePlist(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>n</key><integer>-3</integer>"
        "<key>b</key><false/><key>s</key><string>caf\xc3\xa9 &amp; co</string><key>r</key><real>2.5</real>"
        "<key>a</key><array><data>AAE=</data></array></dict></plist>");
    ASSERT_TRUE(xml.value) << xml.error.toStdString();
    const QVariantMap map = xml.value->toMap();
    EXPECT_EQ(map.value("n"), QVariant(qint64(-3)));
    EXPECT_EQ(map.value("b"), QVariant(false));
    EXPECT_EQ(map.value("s"), QVariant("café & co"));
    EXPECT_EQ(map.value("r"), QVariant(2.5));
    EXPECT_EQ(map.value("a"), QVariant(QVariantList{QByteArray("\x00\x01", 2)}));

    const PlistParseResult binary = parsePlist(kBinaryArray);
    ASSERT_TRUE(binary.value) << binary.error.toStdString();
    EXPECT_EQ(*binary.value, QVariant(QVariantList{"a", qint64(1)}));

    const QByteArray inputs[] = {
        QByteArray(),
        QByteArray("garbage"),
        QByteArray("{\"json\": true}"),
        QByteArray("<?xml version=\"1.0\"?><plist><dict><key>a</key>"),
        kBinaryArray.left(20), // truncated binary
    };
    for (const QByteArray& input : inputs) {
        const PlistParseResult r = parsePlist(input);
        EXPECT_FALSE(r.value) << input.toStdString();
        EXPECT_FALSE(r.error.isEmpty());
    }
}

TEST(Plist, XmlRoundTripKeepsValues) {
    const QVariantMap value = {
        {"neg", qint64(-1)},
        {"big", qint64(4294967296)},
        {"date", QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC)},
        {"nested", QVariantMap{{"list", QVariantList{true, 1.25, "x"}}}},
    };
    const auto xml = plistToXml(value);
    ASSERT_TRUE(xml);
    const PlistParseResult back = parsePlist(*xml);
    ASSERT_TRUE(back.value);
    EXPECT_EQ(back.value->toMap(), value);

    QString error;
    EXPECT_FALSE(plistToXml(QVariant::fromValue(QPoint(1, 2)), &error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
} // namespace pierline::test
