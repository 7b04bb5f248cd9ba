#include "BookmarkImport.h"

#include <QStringDecoder>

QStringList BookmarkLines(const QByteArray &text)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(text);
    if (utf8.hasError())
        decoded = QString::fromLatin1(text);
    QStringList lines;
    qsizetype start = 0;
    auto take = [&](qsizetype end) {
        qsizetype first = start, last = end;
        while (first < last && decoded.at(first).unicode() <= 32)
            ++first;
        while (last > first && decoded.at(last - 1).unicode() <= 32)
            --last;
        if (last > first)
            lines << decoded.mid(first, last - first);
    };
    for (qsizetype i = 0; i < decoded.size(); ++i) {
        const QChar c = decoded.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        take(i);
        if (c == QLatin1Char('\r') && i + 1 < decoded.size() && decoded.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    take(decoded.size());
    return lines;
}
