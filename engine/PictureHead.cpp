#include "PictureHead.h"

#include <cstring>

namespace {

using Bytes = QByteArrayView;

unsigned byteAt(Bytes b, qsizetype at)
{
    return uchar(b[at]);
}

unsigned big16(Bytes b, qsizetype at)
{
    return byteAt(b, at) << 8 | byteAt(b, at + 1);
}

unsigned little16(Bytes b, qsizetype at)
{
    return byteAt(b, at) | byteAt(b, at + 1) << 8;
}

quint32 big32(Bytes b, qsizetype at)
{
    return quint32(big16(b, at)) << 16 | big16(b, at + 2);
}

quint32 little24(Bytes b, qsizetype at)
{
    return little16(b, at) | quint32(byteAt(b, at + 2)) << 16;
}

bool startsWith(Bytes b, const char *magic, qsizetype at = 0)
{
    const auto n = qsizetype(std::strlen(magic));
    return b.size() >= at + n && std::memcmp(b.data() + at, magic, size_t(n)) == 0;
}

// The bytes so far could still be the beginning of this signature.
bool couldStart(Bytes b, const char *magic, qsizetype at = 0)
{
    const auto n = qsizetype(std::strlen(magic));
    const qsizetype have = std::min(n, b.size() - at);
    return have <= 0 || std::memcmp(b.data() + at, magic, size_t(have)) == 0;
}

TPictureHead found(qint64 width, qint64 height)
{
    if (width <= 0 || height <= 0)
        return {TPictureHead::NotKnown, 0, 0};
    return {TPictureHead::Found, int(width), int(height)};
}

TPictureHead needMore()
{
    return {};
}

TPictureHead notKnown()
{
    return {TPictureHead::NotKnown, 0, 0};
}

TPictureHead readPng(Bytes b)
{
    // The first chunk is the header: length, "IHDR", width, height.
    if (b.size() < 24)
        return couldStart(b, "IHDR", 12) ? needMore() : notKnown();
    if (!startsWith(b, "IHDR", 12))
        return notKnown();
    const quint32 width = big32(b, 16), height = big32(b, 20);
    if (width > 0x7fffffff || height > 0x7fffffff)
        return notKnown();
    return found(width, height);
}

TPictureHead readGif(Bytes b)
{
    if (b.size() < 10)
        return needMore();
    return found(little16(b, 6), little16(b, 8));
}

// Segments follow each other up to the frame header, which holds the size;
// an EXIF block with its thumbnail may come first.
TPictureHead readJpeg(Bytes b)
{
    qsizetype at = 2;
    for (;;) {
        // Junk before a marker is passed over up to the next 0xff, as libjpeg does.
        while (at < b.size() && byteAt(b, at) != 0xff)
            ++at;
        while (at < b.size() && byteAt(b, at) == 0xff)
            ++at; // fill bytes
        if (at >= b.size())
            return needMore();
        const unsigned marker = byteAt(b, at++);
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7))
            continue; // a stuffed zero, or a marker without a length
        if (marker == 0xd8 || marker == 0xd9 || marker == 0xda)
            return notKnown(); // the image data began with no frame header before it
        if (at + 2 > b.size())
            return needMore();
        const unsigned length = big16(b, at);
        if (length < 2)
            return notKnown();
        const bool frame = marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (frame) {
            if (length < 7)
                return notKnown();
            if (at + 7 > b.size())
                return needMore();
            return found(big16(b, at + 5), big16(b, at + 3));
        }
        at += length;
    }
}

TPictureHead readWebp(Bytes b)
{
    if (b.size() < 16)
        return couldStart(b, "WEBP", 8) ? needMore() : notKnown();
    if (!startsWith(b, "WEBP", 8))
        return notKnown();
    if (startsWith(b, "VP8 ", 12)) {
        // Lossy: a frame tag, the start code, then 14-bit width and height.
        if (b.size() < 30)
            return needMore();
        if (byteAt(b, 23) != 0x9d || byteAt(b, 24) != 0x01 || byteAt(b, 25) != 0x2a)
            return notKnown();
        return found(little16(b, 26) & 0x3fff, little16(b, 28) & 0x3fff);
    }
    if (startsWith(b, "VP8L", 12)) {
        // Lossless: a signature byte, then width - 1 and height - 1 in 14 bits each.
        if (b.size() < 25)
            return needMore();
        if (byteAt(b, 20) != 0x2f)
            return notKnown();
        const quint32 bits = byteAt(b, 21) | byteAt(b, 22) << 8 | byteAt(b, 23) << 16 | quint32(byteAt(b, 24)) << 24;
        return found((bits & 0x3fff) + 1, ((bits >> 14) & 0x3fff) + 1);
    }
    if (startsWith(b, "VP8X", 12)) {
        // Extended: flags, then canvas width - 1 and height - 1 in 24 bits each.
        if (b.size() < 30)
            return needMore();
        return found(qint64(little24(b, 24)) + 1, qint64(little24(b, 27)) + 1);
    }
    return couldStart(b, "VP8", 12) ? needMore() : notKnown();
}

} // namespace

TPictureHead ReadPictureHead(QByteArrayView bytes)
{
    static const char png[] = "\x89PNG\r\n\x1a\n";
    if (bytes.isEmpty())
        return needMore();
    if (startsWith(bytes, png))
        return readPng(bytes);
    if (startsWith(bytes, "\xff\xd8"))
        return readJpeg(bytes);
    if (startsWith(bytes, "GIF87a") || startsWith(bytes, "GIF89a"))
        return readGif(bytes);
    if (startsWith(bytes, "RIFF"))
        return readWebp(bytes);
    const bool maybe = couldStart(bytes, png) || couldStart(bytes, "\xff\xd8") || couldStart(bytes, "GIF87a")
                       || couldStart(bytes, "GIF89a") || couldStart(bytes, "RIFF");
    return maybe ? needMore() : notKnown();
}
