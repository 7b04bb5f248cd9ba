#include "SettingsList.h"

QString SettingsList::join(const QStringList &entries)
{
    QString text;
    for (const QString &entry : entries)
        text += entry + QLatin1String("\r\n");
    return text;
}

QStringList SettingsList::split(const QString &text)
{
    QStringList entries;
    QString current;
    bool pending = false; // text seen since the last break
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            entries << current;
            current.clear();
            pending = false;
        } else {
            current += c;
            pending = true;
        }
    }
    if (pending)
        entries << current;
    return entries;
}
