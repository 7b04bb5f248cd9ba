#pragma once

#include "DataRec.h"

#include <QByteArray>
#include <QList>

// Pictures a browser would show, and files the page links, read from the
// page as a browser parses it (an HTML5 tree builder): <a>/<area> targets,
// <img>/<source>/<input type=image> src and the largest srcset candidate,
// one picture per <picture>, data-* values and CSS url(...) in style
// attributes and <style> blocks, og:image and twitter:image. Comments,
// scripts, templates, noscript and text are never read. Values come in page
// order, entities decoded, not yet resolved.
struct TShownPicture
{
    QByteArray value;
    qint32 kind; // KindThumbnail for an <img>'s or <source>'s own pictures, else KindFile
};

struct TShownPage
{
    QList<TShownPicture> pictures;
    QByteArray base;                // the first <base href>, as written; empty when none
    QList<QByteArray> stylesheets;  // <link rel=stylesheet> targets, as written
};

// Bounded for any page: values longer than maxValue are passed over, and
// no more than maxFinds are made.
TShownPage ReadShownPictures(const QByteArray &page, int maxFinds = 100000, qsizetype maxValue = 8 * 1024);
QList<TShownPicture> FindShownPictures(const QByteArray &page);

// The url(...) values of a stylesheet or style attribute, in order; one
// pass, values longer than maxValue passed over.
void CssUrls(QByteArrayView css, qint32 kind, QList<TShownPicture> &found, qsizetype maxValue = 8 * 1024);
