#include "Icns.h"

#include <QtEndian>
#include <zlib.h>

namespace pierline::icns {
namespace {

constexpr int kHeaderSize = 8;
const QByteArray kMagic = QByteArrayLiteral("icns");
const QByteArray kPngSignature = QByteArrayLiteral("\x89PNG\r\n\x1a\n");

quint32 bigEndianAt(const QByteArray& bytes, qsizetype at) {
    return qFromBigEndian<quint32>(bytes.constData() + at);
}

void appendBigEndian(QByteArray& bytes, quint32 value) {
    char buffer[4];
    qToBigEndian(value, buffer);
    bytes.append(buffer, 4);
}

void appendChunk(QByteArray& png, const char* type, const QByteArray& data) {
    appendBigEndian(png, static_cast<quint32>(data.size()));
    QByteArray typed(type, 4);
    typed += data;
    png += typed;
    appendBigEndian(png, static_cast<quint32>(crc32(0L, reinterpret_cast<const Bytef*>(typed.constData()),
                                                    static_cast<uInt>(typed.size()))));
}

} // namespace

const QList<IconsetImage>& iconsetImages() {
    static const QList<IconsetImage> images = {
        {QStringLiteral("icon_16x16.png"), 16, "icp4"},    {QStringLiteral("icon_16x16@2x.png"), 32, "ic11"},
        {QStringLiteral("icon_32x32.png"), 32, "icp5"},    {QStringLiteral("icon_32x32@2x.png"), 64, "ic12"},
        {QStringLiteral("icon_128x128.png"), 128, "ic07"}, {QStringLiteral("icon_128x128@2x.png"), 256, "ic13"},
        {QStringLiteral("icon_256x256.png"), 256, "ic08"}, {QStringLiteral("icon_256x256@2x.png"), 512, "ic14"},
        {QStringLiteral("icon_512x512.png"), 512, "ic09"}, {QStringLiteral("icon_512x512@2x.png"), 1024, "ic10"},
    };
    return images;
}

std::optional<QList<Element>> read(const QByteArray& bytes, QString* error) {
    const auto fail = [error](const QString& why) -> std::optional<QList<Element>> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (bytes.size() < kHeaderSize || !bytes.startsWith(kMagic))
        return fail(QStringLiteral("not an icns file"));
    if (bigEndianAt(bytes, 4) != static_cast<quint64>(bytes.size()))
        return fail(QStringLiteral("total length %1 does not match the file's %2 bytes")
                        .arg(bigEndianAt(bytes, 4))
                        .arg(bytes.size()));
    QList<Element> elements;
    qsizetype at = kHeaderSize;
    while (at < bytes.size()) {
        if (bytes.size() - at < kHeaderSize)
            return fail(QStringLiteral("truncated element header at byte %1").arg(at));
        const quint32 length = bigEndianAt(bytes, at + 4);
        if (length < kHeaderSize || length > static_cast<quint64>(bytes.size() - at))
            return fail(QStringLiteral("element at byte %1 has a bad length %2").arg(at).arg(length));
        elements.append({bytes.mid(at, 4), bytes.mid(at + kHeaderSize, length - kHeaderSize)});
        at += length;
    }
    return elements;
}

QByteArray write(const QList<Element>& elements) {
    QByteArray body;
    for (const Element& element : elements) {
        body += element.type.leftJustified(4, ' ', true);
        appendBigEndian(body, static_cast<quint32>(element.data.size() + kHeaderSize));
        body += element.data;
    }
    QByteArray file = kMagic;
    appendBigEndian(file, static_cast<quint32>(body.size() + kHeaderSize));
    return file + body;
}

std::optional<QSize> pngSize(const QByteArray& png) {
    // The signature, then IHDR first: length 13, "IHDR", width, height.
    constexpr qsizetype kIhdrEnd = 8 + 8 + 8;
    if (png.size() < kIhdrEnd || !png.startsWith(kPngSignature) || png.mid(12, 4) != "IHDR")
        return std::nullopt;
    const quint32 width = bigEndianAt(png, 16);
    const quint32 height = bigEndianAt(png, 20);
    if (width == 0 || height == 0 || width > 0x7fffffffu || height > 0x7fffffffu)
        return std::nullopt;
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

std::optional<QByteArray> largestPng(const QByteArray& icnsBytes) {
    const auto elements = read(icnsBytes);
    if (!elements)
        return std::nullopt;
    std::optional<QByteArray> best;
    qint64 bestPixels = 0;
    for (const Element& element : *elements) {
        const auto size = pngSize(element.data);
        if (!size)
            continue; // older element kinds (RLE, JPEG 2000) are not ours to read
        const qint64 pixels = qint64(size->width()) * size->height();
        if (pixels > bestPixels) {
            bestPixels = pixels;
            best = element.data;
        }
    }
    return best;
}

QByteArray solidColourPng(int side, quint32 rgba) {
    QByteArray header;
    appendBigEndian(header, static_cast<quint32>(side));
    appendBigEndian(header, static_cast<quint32>(side));
    header += QByteArray("\x08\x06\x00\x00\x00", 5); // 8 bits, RGBA, deflate, no filter, no interlace

    QByteArray pixel;
    appendBigEndian(pixel, rgba);
    const QByteArray row = QByteArray(1, '\0') + pixel.repeated(side); // filter type none
    // qCompress gives a zlib stream behind a 4-byte length of its own.
    const QByteArray data = qCompress(row.repeated(side), 9).mid(4);

    QByteArray png = kPngSignature;
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", data);
    appendChunk(png, "IEND", {});
    return png;
}

} // namespace pierline::icns
