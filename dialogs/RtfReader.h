#pragma once

#include <QByteArray>

class QTextDocument;

// Reads text in the rich text format into a document: groups, paragraphs and
// line breaks, bold, italic and underline, font sizes, the colour table and
// text colours, centred and right-aligned paragraphs and their spacing, \'hh characters of the
// Windows-1252 code page and \u characters with their fallbacks. Destinations
// it does not show (font table, style sheet, pictures, "\*" groups, ...) are
// skipped. Anything it does not know is passed over; no input makes it fail.
void ReadRtf(const QByteArray &rtf, QTextDocument *document);
