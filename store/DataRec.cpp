#include "DataRec.h"

#include <QRegularExpression>

bool DimensionsInCaption(const TDataRec &item, const QString &caption, qint32 *width, qint32 *height)
{
    const QString plain = FileCaption(item) + QStringLiteral(" (");
    if (!caption.startsWith(plain) || !caption.endsWith(QLatin1Char(')')))
        return false;
    static const QRegularExpression dimensions(QStringLiteral("(?:^|, )(\\d{1,6}) x (\\d{1,6})$"));
    const QRegularExpressionMatch match = dimensions.match(caption.mid(plain.size(), caption.size() - plain.size() - 1));
    if (!match.hasMatch())
        return false;
    *width = match.captured(1).toInt();
    *height = match.captured(2).toInt();
    return *width > 0 && *height > 0;
}
