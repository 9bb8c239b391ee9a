#include "CustomSpaceIconRenderer.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

namespace pierline {
namespace {

constexpr double kSide = kMasterIconSide;
constexpr double kFit = 0.85;
constexpr double kLineGap = 0.15;
constexpr double kMargin = 0.1;
constexpr double kRadiusAtNoPadding = 200;

// 72 dots per inch, so a point of the design is a pixel of the master.
constexpr int kDotsPerMeter = 2835;

QColor qColor(const CustomSpaceCodableColor& color) {
    return QColor::fromRgbF(float(color.red), float(color.green), float(color.blue), float(color.alpha));
}

QFont boldSystemFont(double size) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPointSizeF(size);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// A measuring device at the master's resolution, shared by the automatic size and the drawing.
const QImage& measuringDevice() {
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(kDotsPerMeter);
        image.setDotsPerMeterY(kDotsPerMeter);
        return image;
    }();
    return device;
}

QStringList linesOf(const QString& text) {
    QStringList lines = QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")).split(QLatin1Char('\n'));
    for (QString& line : lines)
        if (line.isEmpty())
            line = QStringLiteral(" ");
    return lines;
}

// The gradient axis of AppKit's angle through a rectangle: 0 degrees left to right, 90 bottom to
// top, long enough that the end colours sit on opposite corners.
QLinearGradient angledGradient(const QRectF& rect, double degrees) {
    const double radians = qDegreesToRadians(degrees);
    const QPointF direction(std::cos(radians), std::sin(radians));
    const double half = (std::abs(rect.width() * direction.x()) + std::abs(rect.height() * direction.y())) / 2;
    const QPointF centre = rect.center();
    return QLinearGradient(centre - direction * half, centre + direction * half);
}

void drawGlass(QPainter& painter, const QRectF& rect) {
    QLinearGradient base = angledGradient(rect, -45);
    base.setColorAt(0, QColor::fromRgbF(0.9f, 0.92f, 0.96f));
    base.setColorAt(0.5, QColor::fromRgbF(0.8f, 0.84f, 0.9f));
    base.setColorAt(1, QColor::fromRgbF(0.68f, 0.73f, 0.8f));
    painter.fillRect(rect, base);

    const QPointF centre(rect.x() + 0.35 * rect.width(), rect.y() + 0.65 * rect.height());
    QRadialGradient highlight(centre, 0.7 * rect.width());
    highlight.setColorAt(0, QColor::fromRgbF(1, 1, 1, 0.35f));
    highlight.setColorAt(0.5, QColor::fromRgbF(1, 1, 1, 0.08f));
    highlight.setColorAt(1, QColor::fromRgbF(1, 1, 1, 0));
    painter.fillRect(rect, highlight);

    const double top = rect.y() + rect.height();
    const QRectF sheenRect(rect.x(), top - 0.25 * rect.height(), rect.width(), 0.25 * rect.height());
    QLinearGradient sheen = angledGradient(sheenRect, 90);
    sheen.setColorAt(0, QColor::fromRgbF(1, 1, 1, 0));
    sheen.setColorAt(1, QColor::fromRgbF(1, 1, 1, 0.3f));
    painter.fillRect(sheenRect, sheen);
}

} // namespace

double automaticFontSize(const QStringList& lines, double contentSide) {
    for (int size = 300; size > 20 && size >= 30; size -= 10) {
        const QFontMetricsF metrics(boldSystemFont(size), &measuringDevice());
        double widest = 0;
        for (const QString& line : lines)
            widest = std::max(widest, metrics.horizontalAdvance(line));
        const double lineHeight = metrics.height();
        const double n = double(lines.size());
        const double block = lineHeight * n + kLineGap * lineHeight * (n - 1);
        if (widest <= kFit * contentSide && block <= kFit * contentSide)
            return size;
    }
    return 20;
}

RenderedIcon renderCustomSpaceIcon(const CustomSpaceGeneratedIconConfig& config, bool tahoe) {
    RenderedIcon rendered;
    rendered.layout.tahoe = tahoe;
    QImage image(kMasterIconSide, kMasterIconSide, QImage::Format_ARGB32_Premultiplied);
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
    image.fill(Qt::transparent);

    const double p = config.padding.value_or(0);
    const double inset = p * kSide;
    const double content = kSide - 2 * inset;

    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    // The design's coordinates start at the lower left; this one flip maps them onto the image.
    const QTransform flip(1, 0, 0, -1, 0, kSide);
    painter.setTransform(flip);

    const QRectF shapeRect = tahoe ? QRectF(0, 0, kSide, kSide) : QRectF(inset, inset, content, content);
    const double radius = tahoe ? 0 : (1 - p) * kRadiusAtNoPadding;
    QPainterPath shape;
    shape.addRoundedRect(shapeRect, radius, radius);

    if (config.isBackgroundGlass.value_or(false)) {
        painter.save();
        painter.setClipPath(shape);
        drawGlass(painter, shapeRect);
        painter.restore();
    } else if (!config.isBackgroundTransparent) {
        painter.fillPath(shape, qColor(config.backgroundColor));
    }

    if (!tahoe && config.iconBorderWidth && *config.iconBorderWidth > 0) {
        QPen pen(config.iconBorderColor ? qColor(*config.iconBorderColor) : QColor(Qt::black));
        pen.setWidthF(*config.iconBorderWidth);
        painter.strokePath(shape, pen);
    }

    // The label turns about the centre: vertical text by -90 degrees (+90 mirrored), horizontal
    // text by 180 degrees when mirrored.
    double rotation = 0;
    if (config.orientation == IconTextOrientation::Vertical)
        rotation = config.isMirrored ? 90 : -90;
    else if (config.isMirrored)
        rotation = 180;
    painter.translate(kSide / 2, kSide / 2);
    painter.rotate(rotation);
    painter.translate(-kSide / 2, -kSide / 2);

    const QStringList lines = linesOf(config.text);
    const double fontSize = config.fontSize.value_or(automaticFontSize(lines, content));
    rendered.layout.fontSize = fontSize;
    // Resolved for the master's 72 dots per inch: a path made from the plain font would take the
    // screen's resolution and come out larger than it was measured.
    const QFont font(boldSystemFont(fontSize), &image);
    const QFontMetricsF metrics(font, &image);
    QList<double> widths;
    for (const QString& line : lines)
        widths.append(metrics.horizontalAdvance(line));
    const double lineHeight = metrics.height();
    const double gap = kLineGap * lineHeight;
    const double n = double(lines.size());
    const double block = n * lineHeight + (n - 1) * gap;

    IconTextAlignment alignment = config.alignment;
    if (config.isMirrored && alignment != IconTextAlignment::Center)
        alignment = alignment == IconTextAlignment::Leading ? IconTextAlignment::Trailing : IconTextAlignment::Leading;
    const double margin = kMargin * content;
    const bool horizontal = config.orientation == IconTextOrientation::Horizontal;
    const double topAtTop = inset + content - margin;        // block's top edge m below the top
    const double topAtBottom = inset + margin + block;       // block's bottom edge m above the bottom
    double blockTop = inset + (content - block) / 2 + block; // center
    if (alignment == IconTextAlignment::Leading)
        blockTop = horizontal ? topAtTop : topAtBottom;
    else if (alignment == IconTextAlignment::Trailing)
        blockTop = horizontal ? topAtBottom : topAtTop;

    const QColor textColor = qColor(config.textColor);
    const bool outlined = config.textBorderWidth && *config.textBorderWidth > 0;
    QPen outline(config.textBorderColor ? qColor(*config.textBorderColor) : QColor(Qt::black));
    if (outlined)
        outline.setWidthF(*config.textBorderWidth / 100.0 * fontSize); // a stroke width in percent of the size
    outline.setJoinStyle(Qt::RoundJoin);

    for (qsizetype k = 0; k < lines.size(); ++k) {
        const QRectF rect(inset + (content - widths[k]) / 2, blockTop - lineHeight * double(k + 1) - gap * double(k),
                          widths[k], lineHeight);
        rendered.layout.lines.append(rect);
        QPainterPath glyphs;
        glyphs.addText(0, 0, font, lines[k]);
        // Glyphs are drawn upright: baseline at the rectangle's bottom plus the descent.
        painter.save();
        painter.translate(rect.x(), rect.y() + metrics.descent());
        painter.scale(1, -1);
        painter.fillPath(glyphs, textColor);
        if (outlined)
            painter.strokePath(glyphs, outline);
        painter.restore();
    }
    painter.end();
    rendered.image = std::move(image);
    return rendered;
}

std::optional<QByteArray> scaledPng(const QImage& image, int pixels) {
    // The whole square, every pixel replaced: what drawing with the copy operation gives.
    const QImage target = image.scaled(pixels, pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QByteArray png;
    QBuffer buffer(&png);
    if (target.isNull() || !buffer.open(QIODevice::WriteOnly) || !target.save(&buffer, "PNG"))
        return std::nullopt;
    return png;
}

} // namespace pierline
