#include "spacers/CustomSpaceIconRenderer.h"

#include <QFontMetricsF>
#include <gtest/gtest.h>

namespace pierline::test {
namespace {

constexpr CustomSpaceCodableColor kRed{1, 0, 0, 1};

CustomSpaceGeneratedIconConfig design(const QString& text = {}) {
    CustomSpaceEditorChoices choices;
    choices.text = text;
    return choices.config();
}

// A pixel by the design's lower-left coordinates.
QColor at(const QImage& image, int x, int y) {
    return image.pixelColor(x, kMasterIconSide - 1 - y);
}

bool isBlue(const QColor& c) {
    return c.alpha() == 255 && c.red() < 10 && std::abs(c.green() - 122) < 6 && c.blue() > 245;
}

TEST(IconRender, ShapeCornersRadiusBorderAndBackgrounds) {
    // Standard padding: inset 102.4, radius 180; outside the shape stays clear.
    const QImage standard = renderCustomSpaceIcon(design(), false).image;
    EXPECT_EQ(standard.size(), QSize(1024, 1024));
    EXPECT_EQ(at(standard, 5, 5).alpha(), 0);
    EXPECT_EQ(at(standard, 90, 512).alpha(), 0);
    EXPECT_TRUE(isBlue(at(standard, 512, 512)));
    EXPECT_TRUE(isBlue(at(standard, 110, 512)));
    EXPECT_EQ(at(standard, 110, 110).alpha(), 0); // cut off by the radius
    EXPECT_TRUE(isBlue(at(standard, 160, 160)));  // inside the 180 arc: its centre is at 282
    EXPECT_EQ(at(standard, 140, 140).alpha(), 0); // outside it

    // No padding: the whole canvas with radius 200.
    CustomSpaceGeneratedIconConfig none = design();
    none.padding = 0.0;
    const QImage full = renderCustomSpaceIcon(none, false).image;
    EXPECT_TRUE(isBlue(at(full, 1, 512)));
    EXPECT_TRUE(isBlue(at(full, 512, 1022)));
    EXPECT_EQ(at(full, 40, 40).alpha(), 0);
    EXPECT_TRUE(isBlue(at(full, 70, 70)));

    // A bold icon border: 20 wide, centred on the edge at x = 102.4, in its colour (black by default).
    CustomSpaceGeneratedIconConfig bordered = design();
    bordered.iconBorderWidth = 20;
    const QImage withBorder = renderCustomSpaceIcon(bordered, false).image;
    EXPECT_EQ(at(withBorder, 102, 512), QColor(Qt::black));
    EXPECT_EQ(at(withBorder, 94, 512), QColor(Qt::black));
    EXPECT_EQ(at(withBorder, 111, 512), QColor(Qt::black));
    EXPECT_EQ(at(withBorder, 89, 512).alpha(), 0);
    EXPECT_TRUE(isBlue(at(withBorder, 116, 512)));
    bordered.iconBorderColor = kRed;
    EXPECT_EQ(at(renderCustomSpaceIcon(bordered, false).image, 102, 512), QColor(Qt::red));

    // Tahoe: the full square, no radius, and no icon border.
    const QImage tahoe = renderCustomSpaceIcon(bordered, true).image;
    EXPECT_TRUE(isBlue(at(tahoe, 0, 0)));
    EXPECT_TRUE(isBlue(at(tahoe, 1023, 1023)));
    EXPECT_TRUE(isBlue(at(tahoe, 102, 512)));

    CustomSpaceGeneratedIconConfig clear = design();
    clear.isBackgroundTransparent = true;
    EXPECT_EQ(at(renderCustomSpaceIcon(clear, false).image, 512, 512).alpha(), 0);

    // Glass wins over a transparent background: opaque, light at the upper left, darker at the lower right.
    clear.isBackgroundGlass = true;
    const QImage glass = renderCustomSpaceIcon(clear, false).image;
    const QColor upperLeft = at(glass, 200, 820);
    const QColor lowerRight = at(glass, 820, 200);
    EXPECT_EQ(upperLeft.alpha(), 255);
    EXPECT_EQ(lowerRight.alpha(), 255);
    EXPECT_GT(upperLeft.lightness(), lowerRight.lightness() + 20);
    EXPECT_GT(lowerRight.blue(), lowerRight.red()); // the cool end of the gradient
    EXPECT_EQ(at(glass, 5, 5).alpha(), 0);          // clipped to the shape
}

// Where the white label's ink lies relative to the middle of its bounding box, in image pixels
// (y down): the signs tell which way an asymmetric glyph was turned.
QPointF inkOffset(const QImage& image) {
    double sumX = 0, sumY = 0, count = 0;
    int left = image.width(), right = 0, top = image.height(), bottom = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y).red() < 200)
                continue;
            sumX += x;
            sumY += y;
            ++count;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (count == 0)
        return {};
    return {sumX / count - (left + right) / 2.0, sumY / count - (top + bottom) / 2.0};
}

TEST(IconRender, RotationAndMirroringTurnAnAsymmetricGlyph) {
    // "L": most ink at the left and the bottom.
    CustomSpaceGeneratedIconConfig c = design("L");
    c.orientation = IconTextOrientation::Horizontal;
    QPointF ink = inkOffset(renderCustomSpaceIcon(c, false).image);
    EXPECT_LT(ink.x(), -5);
    EXPECT_GT(ink.y(), 5);

    c.isMirrored = true; // upside down
    ink = inkOffset(renderCustomSpaceIcon(c, false).image);
    EXPECT_GT(ink.x(), 5);
    EXPECT_LT(ink.y(), -5);

    c.orientation = IconTextOrientation::Vertical;
    c.isMirrored = false; // a quarter turn clockwise: reads top to bottom
    ink = inkOffset(renderCustomSpaceIcon(c, false).image);
    EXPECT_LT(ink.x(), -5);
    EXPECT_LT(ink.y(), -5);

    c.isMirrored = true; // the other way
    ink = inkOffset(renderCustomSpaceIcon(c, false).image);
    EXPECT_GT(ink.x(), 5);
    EXPECT_GT(ink.y(), 5);
}

TEST(IconRender, AutomaticSizeFitsTheContentAndFallsBackTo20) {
    EXPECT_EQ(renderCustomSpaceIcon(design("A"), false).layout.fontSize, 300);
    EXPECT_EQ(renderCustomSpaceIcon(design(QString(60, 'W')), false).layout.fontSize, 20);

    // The first size from the top that fits 0.85 of the content side, and only that one.
    const double content = 1024 * 0.8;
    const RenderedIcon work = renderCustomSpaceIcon(design("WORKSPACE"), false);
    const double size = work.layout.fontSize;
    EXPECT_LT(size, 300);
    EXPECT_GT(size, 20);
    EXPECT_EQ(std::fmod(size, 10), 0);
    EXPECT_LE(work.layout.lines[0].width(), 0.85 * content);
    QFont bigger(QStringLiteral("DejaVu Sans"));
    bigger.setBold(true);
    bigger.setPointSizeF(size + 10);
    EXPECT_GT(QFontMetricsF(bigger, &work.image).horizontalAdvance("WORKSPACE"), 0.85 * content);

    // Height limits too: many short lines.
    const double lines8 = automaticFontSize(QString("A\nA\nA\nA\nA\nA\nA\nA").split('\n'), content);
    EXPECT_LT(lines8, 120);

    // A chosen size is used as it is.
    CustomSpaceGeneratedIconConfig chosen = design("WORKSPACE");
    chosen.fontSize = 80;
    EXPECT_EQ(renderCustomSpaceIcon(chosen, false).layout.fontSize, 80);
}

// The label's white ink, in image pixels (y down).
QRect inkBounds(const QImage& image) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).red() > 200)
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

TEST(IconRender, GlyphsAreDrawnAtTheSizeTheyWereMeasuredAt) {
    // The automatic size is chosen from measured widths; glyphs drawn at another resolution
    // would run past the shape (a third wider at 96 dots per inch).
    for (const QString& text : {QStringLiteral("WORK"), QStringLiteral("WORKSPACE"), QStringLiteral("Mi")}) {
        CustomSpaceGeneratedIconConfig c = design(text);
        c.orientation = IconTextOrientation::Horizontal;
        const RenderedIcon icon = renderCustomSpaceIcon(c, false);
        const QRectF line = icon.layout.lines.value(0);
        const QRect ink = inkBounds(icon.image);
        ASSERT_FALSE(ink.isEmpty()) << text.toStdString();
        EXPECT_GE(ink.left(), line.left() - 4) << text.toStdString();
        EXPECT_LE(ink.right(), line.right() + 4) << text.toStdString();
        EXPECT_GT(ink.width(), 0.8 * line.width()) << text.toStdString();
        EXPECT_LE(ink.height(), line.height() + 4) << text.toStdString();
    }
}

TEST(IconRender, TextBorderOutlinesTheGlyphs) {
    CustomSpaceGeneratedIconConfig c = design("I");
    c.orientation = IconTextOrientation::Horizontal;
    c.fontSize = 300;
    c.textBorderWidth = 10; // 30 pixels at 300
    c.textBorderColor = kRed;
    const RenderedIcon icon = renderCustomSpaceIcon(c, false);
    int red = 0, white = 0;
    for (int y = 0; y < 1024; ++y) {
        for (int x = 0; x < 1024; ++x) {
            const QColor p = icon.image.pixelColor(x, y);
            red += p.red() > 240 && p.green() < 20 && p.blue() < 20;
            white += p.red() > 240 && p.green() > 240 && p.blue() > 240;
        }
    }
    EXPECT_GT(red, 1000);   // the outline
    EXPECT_GT(white, 1000); // and the fill inside it
}

TEST(IconRender, ScaledPngsHaveTheirSize) {
    const QImage master = renderCustomSpaceIcon(design("A"), false).image;
    for (int pixels : {16, 32, 1024}) {
        const auto png = scaledPng(master, pixels);
        ASSERT_TRUE(png);
        const QImage back = QImage::fromData(*png, "PNG");
        EXPECT_EQ(back.size(), QSize(pixels, pixels));
        EXPECT_EQ(back.pixelColor(0, 0).alpha(), 0);
    }
}

} // namespace
} // namespace pierline::test
