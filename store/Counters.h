#pragma once

#include <QHash>
#include <QSet>
#include <QString>

#include <utility>

class TSettingsKey;

// The statistics counters, kept as the settings of the same names.
struct TStatistics
{
    qint32 DocParsed = 0;   // "&Get url" runs
    qint32 LinksParsed = 0; // links taken by "&Parse links"
    qint32 FilesDl = 0;     // files stored
    qint32 BytesDl = 0;     // KiB stored

    // An absent or mistyped value reads as 0, and so do the ones after it.
    void load(const TSettingsKey &key);
    // Counts up and stays at the largest 32-bit number rather than wrap.
    static void add(qint32 &counter, qint64 amount);
    void save(TSettingsKey &key) const;
};

// The user name and password sent to protected sites, kept as the settings
// "Username" and "Password". The login window edits them; the crawl driver
// fills them from a link's URL; every request reads them.
struct TLogin
{
    QString Username;
    QString Password;

    void load(const TSettingsKey &key);
    void save(TSettingsKey &key) const;

    // A login read from a link's URL holds for that link's server alone
    // ("host:port"), for as long as the program runs; it is never saved.
    void setSiteLogin(const QString &server, const QString &user, const QString &password);
    // The login to send to a server ("host:port") from the first request:
    // its own from a link, else the window's where the server ("scheme://
    // host:port") asked for it before in this program run, else none.
    std::pair<QString, QString> loginFor(const QString &server, const QString &origin) const;
    // The window's login is sent to a server once it asked (answered 401).
    void serverAsked(const QString &origin) { m_askingServers.insert(origin); }

private:
    QHash<QString, std::pair<QString, QString>> m_siteLogins;
    QSet<QString> m_askingServers;
};
