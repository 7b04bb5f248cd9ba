#include "ConnectionWarmer.h"

#include "ClientSetup.h"
#include "HttpProt.h"

TConnectionWarmer::TConnectionWarmer(QObject *parent)
    : QObject(parent)
{
}

TConnectionWarmer::~TConnectionWarmer()
{
    abort();
}

void TConnectionWarmer::abort()
{
    for (const std::unique_ptr<THttpCli> &cli : m_clients)
        cli->AbortRequest();
}

void TConnectionWarmer::warm(const QString &url, int count, const TClientSetup &setup, const TProxySettings &proxy)
{
    abort();
    if (!setup.pool)
        return;
    while (int(m_clients.size()) < count)
        m_clients.push_back(TClientSetup::newClient());
    for (int i = 0; i < count; ++i) {
        THttpCli &cli = *m_clients[size_t(i)];
        if (cli.ClientState() != hcIdle)
            continue; // its abort is still on its way out
        cli.URL = url;
        setup.apply(cli, proxy, true);
        try {
            cli.StartPreconnect();
        } catch (const std::exception &) {
            // A URL the client refuses gets no connection ahead: its request will say why.
        }
    }
}
