#pragma once

#include "ClientSetup.h"
#include "RunSettings.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class THttpCli;

// Opens connections to a server ahead of the requests that will want them,
// as browsers do for a page's own server: downloads that start right after
// the page find them waiting in the pool instead of each opening its own on
// its first file. A connection nobody takes goes with the pool's idle sweep;
// a server that shares an HTTP/2 connection gets no second one: over TLS the
// first connection is made alone, and the others only when it did not
// become HTTP/2.
class TConnectionWarmer : public QObject
{
    Q_OBJECT

public:
    explicit TConnectionWarmer(QObject *parent = nullptr);
    ~TConnectionWarmer() override;

    // Ends the openings under way, then opens count connections to the server of url.
    void warm(const QString &url, int count, const TClientSetup &setup, const TProxySettings &proxy);
    void abort();

private:
    void open(size_t client);

    std::vector<std::unique_ptr<THttpCli>> m_clients;
    QString m_url;
    TClientSetup m_setup;
    TProxySettings m_proxy;
    int m_count = 0;
    bool m_restAfterFirst = false; // over TLS: the others once the first has its protocol
};
