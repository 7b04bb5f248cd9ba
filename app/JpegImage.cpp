#include "JpegImage.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace {

struct ErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// libjpeg would end the process on a broken file; jump back instead.
[[noreturn]] void onError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(info->err)->jump, 1);
}

void onMessage(j_common_ptr) {}

// The largest scale-down (8, 4, 2 or 1) that keeps the image minWidth wide.
unsigned int scaleDenominator(unsigned int width, int minWidth)
{
    unsigned int denominator = 8;
    while (denominator > 1 && int(width / denominator) < minWidth)
        denominator /= 2;
    return denominator;
}

// The longjmp target lives in a function with no objects that need destruction.
bool decode(const QByteArray &data, int minWidth, QImage *image, QSize *size)
{
    jpeg_decompress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.output_message = onMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(data.constData()), data.size());
    jpeg_read_header(&info, TRUE);
    if (qint64(info.image_width) * info.image_height > kMaxJpegPixels) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    *size = QSize(int(info.image_width), int(info.image_height));
    info.out_color_space = JCS_RGB;
    info.scale_num = 1;
    info.scale_denom = scaleDenominator(info.image_width, minWidth);
    jpeg_start_decompress(&info);
    if (info.output_components != 3) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    *image = QImage(int(info.output_width), int(info.output_height), QImage::Format_RGB888);
    if (image->isNull()) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image->scanLine(int(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

TJpegPicture LoadJpegImage(const QString &path, int minWidth)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    if (data.isEmpty())
        return {};
    TJpegPicture picture;
    if (!decode(data, minWidth, &picture.image, &picture.size))
        return {};
    return picture;
}
