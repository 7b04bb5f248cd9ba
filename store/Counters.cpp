#include "Counters.h"

#include "SettingsKey.h"

void TStatistics::load(const TSettingsKey &key)
{
    DocParsed = key.readInteger(QStringLiteral("DocParsed")).value_or(0);
    LinksParsed = key.readInteger(QStringLiteral("LinksParsed")).value_or(0);
    FilesDl = key.readInteger(QStringLiteral("FilesDl")).value_or(0);
    BytesDl = key.readInteger(QStringLiteral("BytesDl")).value_or(0);
}

void TStatistics::save(TSettingsKey &key) const
{
    key.writeInteger(QStringLiteral("DocParsed"), DocParsed);
    key.writeInteger(QStringLiteral("LinksParsed"), LinksParsed);
    key.writeInteger(QStringLiteral("FilesDl"), FilesDl);
    key.writeInteger(QStringLiteral("BytesDl"), BytesDl);
}

void TLogin::load(const TSettingsKey &key)
{
    Username = key.readString(QStringLiteral("Username")).value_or(QString());
    Password = key.readString(QStringLiteral("Password")).value_or(QString());
}

void TLogin::save(TSettingsKey &key) const
{
    key.writeString(QStringLiteral("Username"), Username);
    key.writeString(QStringLiteral("Password"), Password);
}
