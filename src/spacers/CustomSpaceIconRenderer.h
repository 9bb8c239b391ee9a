#pragma once

#include "CustomSpaceIconDesign.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRectF>
#include <optional>

namespace pierline {

// Where the label went: in points of the 1024 canvas, before the rotation, each rectangle by its
// lower-left corner (y grows upwards).
struct IconTextLayout {
    double fontSize = 0;
    bool tahoe = false;
    QList<QRectF> lines;
};

struct RenderedIcon {
    QImage image; // 1024 x 1024, premultiplied ARGB
    IconTextLayout layout;
};

inline constexpr int kMasterIconSide = 1024;

// Draws the master image of a design. Needs a QGuiApplication (text), on any platform plugin.
RenderedIcon renderCustomSpaceIcon(const CustomSpaceGeneratedIconConfig& config, bool tahoe);

// The font size the label gets when none is chosen: the first of 300, 290, ... 30 whose block fits
// 0.85 of the content side, else 20.
double automaticFontSize(const QStringList& lines, double contentSide);

// The image drawn over the whole square of `pixels` (copy, full opacity), as PNG bytes; nullopt
// when it cannot be encoded.
std::optional<QByteArray> scaledPng(const QImage& image, int pixels);

} // namespace pierline
