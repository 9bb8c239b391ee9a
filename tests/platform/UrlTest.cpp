#include "platform/Url.h"

#include <gtest/gtest.h>

namespace pierline::test {
namespace {

TEST(Url, PercentDecodingFailsOnMalformedInput) {
    EXPECT_EQ(percentDecoded("/Applications/Code%20Editor.app/"), QStringLiteral("/Applications/Code Editor.app/"));
    EXPECT_EQ(percentDecoded("caf%C3%A9"), QStringLiteral("café"));
    EXPECT_EQ(percentDecoded("100%25"), QStringLiteral("100%"));
    EXPECT_EQ(percentDecoded(""), QString());
    // Malformed escapes: too short, not hex, at the very end.
    EXPECT_EQ(percentDecoded("a%2"), std::nullopt);
    EXPECT_EQ(percentDecoded("a%zz"), std::nullopt);
    EXPECT_EQ(percentDecoded("a%"), std::nullopt);
    // Bytes that are not UTF-8: a lone continuation byte, a truncated sequence.
    EXPECT_EQ(percentDecoded("%80"), std::nullopt);
    EXPECT_EQ(percentDecoded("%C3"), std::nullopt);
    EXPECT_EQ(percentDecodedOr("a%zz"), QStringLiteral("a%zz"));
}

TEST(Url, PathsOfFileUrls) {
    const auto url = parseUrl("file:///Applications/Bob's%20App.app/");
    ASSERT_TRUE(url);
    EXPECT_EQ(decodedPath(*url), QStringLiteral("/Applications/Bob's App.app/"));
    EXPECT_EQ(lastPathComponent(decodedPath(*url)), QStringLiteral("Bob's App.app"));
    EXPECT_EQ(deletingLastPathComponent("/Users/a/Work/Docs/"), QStringLiteral("/Users/a/Work"));
    EXPECT_EQ(fileUrlFromPath("/Users/a/Dl é", true).toString(QUrl::FullyEncoded),
              QStringLiteral("file:///Users/a/Dl%20%C3%A9/"));
    EXPECT_FALSE(parseUrl("   "));
}

} // namespace
} // namespace pierline::test
