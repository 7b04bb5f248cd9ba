#include "ConnectionWarmer.h"

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

void TConnectionWarmer::warm(const QString &url, int count, TConnectionPool *pool, const TProxySettings &proxy)
{
    abort();
    if (!pool)
        return;
    while (int(m_clients.size()) < count)
        m_clients.push_back(std::make_unique<THttpCli>());
    for (int i = 0; i < count; ++i) {
        THttpCli &cli = *m_clients[size_t(i)];
        if (cli.ClientState() != hcIdle)
            continue; // its abort is still on its way out
        cli.URL = url;
        cli.setProxy(proxy);
        cli.setConnectionPool(pool);
        try {
            cli.StartPreconnect();
        } catch (const std::exception &) {
            // A URL the client refuses gets no connection ahead: its request will say why.
        }
    }
}
