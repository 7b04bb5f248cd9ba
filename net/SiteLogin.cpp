#include "SiteLogin.h"

#include "Counters.h"
#include "HttpProt.h"

void ApplyLogin(THttpCli &cli, TLogin &login)
{
    std::tie(cli.Username, cli.Password) = login.loginFor(ServerKey(cli.URL), OriginKey(cli.URL));
    cli.setAskedLogin(login.Username, login.Password);
    // Once, however often the client is set up.
    QObject::disconnect(&cli, &THttpCli::loginAsked, nullptr, nullptr);
    QObject::connect(&cli, &THttpCli::loginAsked, &cli, [&login](const QString &origin) { login.serverAsked(origin); });
}
