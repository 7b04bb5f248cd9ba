#include "SiteLogin.h"

#include "Counters.h"
#include "HttpProt.h"

void ApplyLogin(THttpCli &cli, TLogin &login)
{
    std::tie(cli.Username, cli.Password) = login.loginFor(ServerKey(cli.URL), OriginKey(cli.URL));
    cli.AskedUsername = login.Username;
    cli.AskedPassword = login.Password;
    cli.OnLoginAsked = [&login](THttpCli *, const QString &origin) { login.serverAsked(origin); };
}
