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
    if (!m_clients.empty())
        m_clients.front()->OnRequestDone = nullptr;
}

void TConnectionWarmer::abort()
{
    m_restAfterFirst = false;
    for (const std::unique_ptr<THttpCli> &cli : m_clients)
        cli->AbortRequest();
}

void TConnectionWarmer::warm(const QString &url, int count, const TClientSetup &setup, const TProxySettings &proxy)
{
    abort();
    if (!setup.pool || count <= 0)
        return;
    m_url = url;
    m_setup = setup;
    m_proxy = proxy;
    m_count = count;
    while (int(m_clients.size()) < count) {
        m_clients.push_back(TClientSetup::newClient());
        if (m_clients.size() == 1) {
            m_clients.front()->OnRequestDone = [this](THttpCli *, THttpRequest, int) {
                if (std::exchange(m_restAfterFirst, false)) {
                    for (int i = 1; i < m_count; ++i)
                        open(size_t(i));
                }
            };
        }
    }
    const bool secure = url.startsWith(QLatin1String("https:"), Qt::CaseInsensitive);
    m_restAfterFirst = secure && count > 1;
    open(0);
    for (int i = 1; !secure && i < count; ++i)
        open(size_t(i));
}

void TConnectionWarmer::open(size_t client)
{
    THttpCli &cli = *m_clients[client];
    if (cli.ClientState() != hcIdle)
        return; // an abort still on its way out
    cli.URL = m_url;
    m_setup.apply(cli, m_proxy, true);
    try {
        cli.StartPreconnect();
    } catch (const std::exception &) {
        // A URL the client refuses gets no connection ahead: its request will say why.
    }
}
