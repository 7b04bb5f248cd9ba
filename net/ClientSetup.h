#pragma once

#include <memory>

class TConnectionPool;
class THttpCli;
struct TLogin;
struct TProxySettings;

// Readies a client for its next request, the same for every part that
// fetches (the transfer slots, the size check, the crawl's documents, the
// connections opened ahead): the site login where one is known for the
// server, the proxy, and the pool of kept connections while the settings
// ask for it. The program makes one and hands it to each.
struct TClientSetup
{
    TLogin *login = nullptr;
    TConnectionPool *pool = nullptr;

    void apply(THttpCli &cli, const TProxySettings &proxy, bool reuseConnections) const;
    // A client as the runs use it: never answered from a cache.
    static std::unique_ptr<THttpCli> newClient();
};
