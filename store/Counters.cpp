#include "Counters.h"

#include "SettingsKey.h"

#include <algorithm>
#include <limits>
#include <utility>

void TStatistics::load(const TSettingsKey &key)
{
    // As every group: the first value that fails leaves it and the rest at 0.
    *this = TStatistics();
    for (auto [name, counter] : {std::pair{"DocParsed", &DocParsed}, std::pair{"LinksParsed", &LinksParsed},
                                 std::pair{"FilesDl", &FilesDl}, std::pair{"BytesDl", &BytesDl}}) {
        const std::optional<qint32> value = key.readInteger(QLatin1String(name));
        if (!value)
            return;
        *counter = *value;
    }
}

void TStatistics::add(qint32 &counter, qint64 amount)
{
    counter = qint32(std::clamp<qint64>(qint64(counter) + amount, 0, std::numeric_limits<qint32>::max()));
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
    // A user name of the wrong kind ends the group: the password is not read.
    Username.clear();
    Password.clear();
    const std::optional<QString> user = key.readString(QStringLiteral("Username"));
    if (!user)
        return;
    Username = *user;
    Password = key.readString(QStringLiteral("Password")).value_or(QString());
}

void TLogin::save(TSettingsKey &key) const
{
    key.writeString(QStringLiteral("Username"), Username);
    key.writeString(QStringLiteral("Password"), Password);
}

void TLogin::setSiteLogin(const QString &server, const QString &user, const QString &password)
{
    m_siteLogins.insert(server, {user, password});
}

std::pair<QString, QString> TLogin::loginFor(const QString &server, const QString &origin) const
{
    if (const auto site = m_siteLogins.constFind(server); site != m_siteLogins.constEnd())
        return *site;
    return m_askingServers.contains(origin) ? std::pair{Username, Password} : std::pair<QString, QString>{};
}
