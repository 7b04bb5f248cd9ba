#pragma once

#include <QByteArray>

// A page made safe for an HTML5 tree builder whose cost grows with the
// nesting and with the attributes of one tag: start tags nested deeper
// than maxDepth, and attributes of a tag beyond maxAttributes, are left
// out. Browsers bound both too; a real page stays far below. One pass;
// the page itself comes back when nothing had to go.
QByteArray BoundedForParsing(const QByteArray &page, int maxDepth = 1024, int maxAttributes = 512);
