#pragma once

#include "DataRec.h"

// Item data of a link or file as the scan would make it from its URL.
inline TDataRec linkRec(const QString &url)
{
    TDataRec rec;
    rec.isLink = true;
    rec.url = url;
    rec.name = url.mid(url.lastIndexOf(QLatin1Char('/')) + 1);
    return rec;
}

inline TDataRec fileRec(const QString &url, qint32 kind = KindFile)
{
    TDataRec rec = linkRec(url);
    rec.isLink = false;
    rec.kind = kind;
    return rec;
}
