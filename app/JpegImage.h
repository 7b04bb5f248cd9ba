#pragma once

#include <QImage>
#include <QString>

// Decodes a JPEG file with libjpeg. A null image when the file cannot be
// read or is not a whole, valid JPEG picture.
QImage LoadJpegImage(const QString &path);
