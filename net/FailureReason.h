#pragma once

#include <QString>

struct THttpResult;

// Why a request failed, in plain words for a status bar or a tooltip:
// "HTTP 404 Not Found", "cannot resolve host name", "the server refused
// the connection". Empty for a request that succeeded.
QString FailureReason(const THttpResult &result);
