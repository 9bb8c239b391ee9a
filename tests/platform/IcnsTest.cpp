#include "platform/Icns.h"

#include <gtest/gtest.h>

namespace pierline::test {
namespace {

TEST(Icns, RoundTripsAndPicksTheLargestPngIgnoringOtherElements) {
    const QByteArray small = icns::solidColourPng(16, 0x000000ffu);
    const QByteArray large = icns::solidColourPng(64, 0xffffffffu);
    const QByteArray bytes = icns::write({{"icp4", small}, {"it32", QByteArray(5000, 'x')}, {"ic12", large}});
    EXPECT_EQ(bytes.size(), 8 + 3 * 8 + small.size() + 5000 + large.size());
    const auto elements = icns::read(bytes);
    ASSERT_TRUE(elements);
    ASSERT_EQ(elements->size(), 3);
    EXPECT_EQ((*elements)[1].type, "it32");
    EXPECT_EQ((*elements)[2].data, large);
    EXPECT_EQ(icns::largestPng(bytes), large);
    EXPECT_EQ(icns::pngSize(large), QSize(64, 64));
    EXPECT_FALSE(icns::largestPng(icns::write({{"it32", "abc"}})));
    EXPECT_TRUE(icns::read(icns::write({})));
}

TEST(Icns, DamagedFilesAreErrors) {
    const QByteArray good = icns::write({{"ic07", icns::solidColourPng(128, 0x123456ffu)}});
    QByteArray longer = good;
    longer[7] = char(longer[7] + 1); // total length one past the end
    QByteArray element = good;
    element[15] = char(0x04); // element length below its own header
    QByteArray overrun = good;
    overrun[12] = char(0x7f); // element length far past the end
    const std::pair<const char*, QByteArray> cases[] = {
        {"empty", {}},
        {"not icns", "PNG\x89 and more bytes"},
        {"truncated", good.left(good.size() - 1)},
        {"total length", longer},
        {"short element", element},
        {"overrun", overrun},
        {"header only of an element", good + "ic0"},
    };
    for (const auto& [label, bytes] : cases) {
        QString error;
        EXPECT_FALSE(icns::read(bytes, &error)) << label;
        EXPECT_FALSE(error.isEmpty()) << label;
        EXPECT_FALSE(icns::largestPng(bytes)) << label;
    }
    EXPECT_FALSE(icns::pngSize("\x89PNG\r\n\x1a\n"));
}

} // namespace
} // namespace pierline::test
