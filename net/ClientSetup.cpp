#include "ClientSetup.h"

#include "HttpProt.h"
#include "SiteLogin.h"

void TClientSetup::apply(THttpCli &cli, const TProxySettings &proxy, bool reuseConnections) const
{
    if (login)
        ApplyLogin(cli, *login);
    cli.setProxy(proxy);
    cli.setConnectionPool(reuseConnections ? pool : nullptr);
}

std::unique_ptr<THttpCli> TClientSetup::newClient()
{
    auto cli = std::make_unique<THttpCli>();
    cli->NoCache = true; // the rest of the client's defaults are the program's
    return cli;
}
