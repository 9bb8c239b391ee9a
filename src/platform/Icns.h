#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>
#include <optional>

// The Apple icon container: "icns", the big-endian total length, then elements of a four-byte
// type, a big-endian length that counts its own 8-byte header, and the data. Bytes only: PNG
// elements are kept as they are, never decoded.
namespace pierline::icns {

struct Element {
    QByteArray type; // four bytes, e.g. "ic10"
    QByteArray data;
};

// One image of an icon set folder: its file name, the pixels it must have and its element type.
struct IconsetImage {
    QString fileName; // "icon_16x16@2x.png"
    int pixels;
    QByteArray type;
};
// The ten images of an icon set, smallest first.
const QList<IconsetImage>& iconsetImages();

// The elements in file order; nullopt with `error` when the file is truncated or a length does
// not add up.
std::optional<QList<Element>> read(const QByteArray& bytes, QString* error = nullptr);
QByteArray write(const QList<Element>& elements);

// The pixel size in a PNG's IHDR chunk; nullopt for bytes that are not a PNG.
std::optional<QSize> pngSize(const QByteArray& png);

// The PNG element with the most pixels, unchanged; nullopt for a damaged file or one without PNG.
std::optional<QByteArray> largestPng(const QByteArray& icnsBytes);

// A square PNG of one colour given as 0xRRGGBBAA, for icons that need no drawing (and no QtGui).
QByteArray solidColourPng(int side, quint32 rgba);

} // namespace pierline::icns
