// Draws the app icon once as shapes and writes it as SVG and as PNGs of the sizes given, so the
// vector and the bitmaps cannot differ.
#include "platform/AtomicFile.h"

#include <QBuffer>
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <cstdio>

namespace {

constexpr double kCanvas = 256.0;

struct Shape {
    QRectF rect;
    double radius;
    QColor color;
};

// A dark tile, the dock's shelf, and three app tiles standing on it.
const Shape kShapes[] = {
    {{8, 8, 240, 240}, 52, QColor(0x24, 0x33, 0x47)},   {{28, 164, 200, 40}, 16, QColor(0xd9, 0xe4, 0xee)},
    {{44, 104, 48, 48}, 12, QColor(0xf2, 0xa5, 0x3a)},  {{104, 92, 48, 60}, 12, QColor(0x4a, 0x90, 0xe2)},
    {{164, 104, 48, 48}, 12, QColor(0x6c, 0xc2, 0x4a)}, {{118, 212, 20, 8}, 4, QColor(0xd9, 0xe4, 0xee)},
};

QByteArray svg() {
    QByteArray text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 256 256\">\n";
    for (const Shape& s : kShapes) {
        text += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" fill=\"%6\"/>\n")
                    .arg(s.rect.x())
                    .arg(s.rect.y())
                    .arg(s.rect.width())
                    .arg(s.rect.height())
                    .arg(s.radius)
                    .arg(s.color.name())
                    .toUtf8();
    }
    return text + "</svg>\n";
}

QImage png(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.scale(size / kCanvas, size / kCanvas);
    for (const Shape& s : kShapes) {
        painter.setBrush(s.color);
        painter.drawRoundedRect(s.rect, s.radius, s.radius);
    }
    return image;
}

bool save(const QString& path, const QByteArray& bytes) {
    if (const auto failed = pierline::replaceFileAtomically(path, bytes)) {
        std::fprintf(stderr, "pierline-icon: %s\n", qPrintable(*failed));
        return false;
    }
    return true;
}

QByteArray pngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, "PNG") ? bytes : QByteArray();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "Usage: pierline-icon OUTPUT_FOLDER [SIZE...]\n");
        return 2;
    }
    const QDir output(args[1]);
    if (!QDir().mkpath(output.path())) {
        std::fprintf(stderr, "pierline-icon: could not create %s\n", qPrintable(output.path()));
        return 1;
    }
    if (!save(output.filePath(QStringLiteral("pierline.svg")), svg()))
        return 1;
    for (const QString& sizeText : args.mid(2)) {
        bool ok = false;
        const int size = sizeText.toInt(&ok);
        const QString path = output.filePath(QStringLiteral("pierline-%1.png").arg(sizeText));
        if (!ok || size <= 0) {
            std::fprintf(stderr, "pierline-icon: not a size: %s\n", qPrintable(sizeText));
            return 2;
        }
        const QByteArray bytes = pngBytes(png(size));
        if (bytes.isEmpty() || !save(path, bytes))
            return 1;
    }
    return 0;
}
