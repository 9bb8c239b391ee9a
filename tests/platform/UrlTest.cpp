#include "platform/Url.h"

#include <gtest/gtest.h>

namespace pierline::test {
namespace {

TEST(Url, PercentDecodingFailsOnMalformedInputAndPathsOfFileUrls) {
    const std::pair<const char*, std::optional<QString>> cases[] = {
        {"/Applications/Code%20Editor.app/", "/Applications/Code Editor.app/"},
        {"caf%C3%A9", QString::fromUtf8("café")},
        {"100%25", "100%"},
        {"", ""},
        // Malformed escapes: too short, not hex, at the very end.
        {"a%2", std::nullopt},
        {"a%zz", std::nullopt},
        {"a%", std::nullopt},
        // Bytes that are not UTF-8: a lone continuation byte, a truncated sequence.
        {"%80", std::nullopt},
        {"%C3", std::nullopt},
    };
    for (const auto& [text, decoded] : cases)
        EXPECT_EQ(percentDecoded(text), decoded) << text;
    EXPECT_EQ(percentDecodedOr("a%zz"), "a%zz");

    const auto url = parseUrl("file:///Applications/Bob's%20App.app/");
    ASSERT_TRUE(url);
    EXPECT_EQ(decodedPath(*url), "/Applications/Bob's App.app/");
    EXPECT_EQ(lastPathComponent(decodedPath(*url)), "Bob's App.app");
    EXPECT_EQ(deletingLastPathComponent("/Users/a/Work/Docs/"), "/Users/a/Work");
    EXPECT_EQ(fileUrlFromPath("/Users/a/Dl é", true).toString(QUrl::FullyEncoded), "file:///Users/a/Dl%20%C3%A9/");
    EXPECT_FALSE(parseUrl("   "));
}

} // namespace
} // namespace pierline::test
