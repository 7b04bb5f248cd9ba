#pragma once

class THttpCli;
struct TLogin;

// Gives the client the login for its URL's server: a link's own or, where
// that server asked before, the window's; and the window's to answer a 401
// from that server, which remembers that it asked.
void ApplyLogin(THttpCli &cli, TLogin &login);
