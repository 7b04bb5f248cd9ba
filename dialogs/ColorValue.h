#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

// Colours are stored as 32-bit numbers: red in the low byte, then green,
// then blue. Negative numbers name system colours; kDefaultColor names the
// slot's own default.
namespace ColorValue {

inline constexpr qint32 kDefaultColor = 0x20000000;
inline constexpr qint32 kSystemBase = qint32(0xFF000000);

qint32 fromColor(const QColor &color);
// The colour a stored number stands for; fallback for the default entry.
QColor toColor(qint32 value, const QColor &fallback, const QPalette &palette = QPalette());

struct Entry
{
    QString name;
    qint32 value;
};
// The entries a picker offers: the standard named colours, then the system colours.
const QList<Entry> &namedColors();
const QList<Entry> &systemColors();

} // namespace ColorValue
