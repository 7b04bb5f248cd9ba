#include "Extension.h"

QString ExtensionOf(const QString &text)
{
    for (qsizetype i = text.size() - 2; i >= 0; --i) {
        if (text.at(i) == QLatin1Char('.'))
            return AsciiUpper(text.mid(i + 1));
    }
    return {};
}

QString AsciiUpper(const QString &text)
{
    QString result = text;
    for (QChar &c : result) {
        const char16_t u = c.unicode();
        if (u >= 'a' && u <= 'z')
            c = QChar(u - 32);
    }
    return result;
}
