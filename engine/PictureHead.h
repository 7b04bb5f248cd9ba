#pragma once

#include <QByteArrayView>

// The pixel dimensions of a JPEG, PNG, GIF or WebP file, read from its first
// bytes: what a size check shows before the file is fetched. Pure and safe
// on any bytes: a server can send anything.
struct TPictureHead
{
    enum Status {
        NeedMore, // a picture so far, its dimensions further on
        Found,
        NotKnown // not one of the four, or broken before its dimensions
    };
    Status status = NeedMore;
    int width = 0;
    int height = 0;
};

TPictureHead ReadPictureHead(QByteArrayView bytes);
