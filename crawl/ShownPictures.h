#pragma once

#include "DataRec.h"

#include <QByteArray>
#include <QList>

// Pictures a browser would show that the plain link scan does not see:
// the largest candidate of srcset (in <img> and <source>), lazy-loading
// attributes, CSS url(...) in style attributes and <style> blocks, and the
// page's og:image. One pass over the page as it came (blanks and quotes
// intact); values in page order, entities decoded, not yet resolved.
struct TShownPicture
{
    QByteArray value;
    qint32 kind; // KindThumbnail for an <img>'s or <source>'s own pictures, else KindFile
};

QList<TShownPicture> FindShownPictures(const QByteArray &page);

// The candidate of a srcset value a browser would pick on the largest
// screen: the greatest width ("800w"), else density ("2x"), else the last.
QByteArray LargestSrcsetCandidate(const QByteArray &srcset);
// "&amp;" and the other entities a URL may hold, as characters.
QByteArray DecodeEntities(const QByteArray &value);
