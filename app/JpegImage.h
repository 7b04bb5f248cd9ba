#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// A decoded JPEG picture: the image, possibly decoded at a reduced scale,
// and the picture's own size in pixels.
struct TJpegPicture
{
    QImage image;
    QSize size;
    bool isNull() const { return image.isNull(); }
};

// Pictures above this many pixels are not decoded at all.
inline constexpr qint64 kMaxJpegPixels = 256LL * 1024 * 1024;

// Decodes a JPEG file with libjpeg, at the smallest of the decoder's scales
// (1/8, 1/4, 1/2, 1) that still gives an image at least minWidth pixels
// wide. A null picture when the file cannot be read, is not a whole, valid
// JPEG picture, or is larger than kMaxJpegPixels.
TJpegPicture LoadJpegImage(const QString &path, int minWidth = 0);
