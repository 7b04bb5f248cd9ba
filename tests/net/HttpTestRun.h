#pragma once

#include "ConnectionPool.h"
#include "HttpProt.h"
#include "Recorder.h"
#include "ScriptedServer.h"

#include <QtTest>

// A URL on a local test server.
inline QString url(const TScriptedServer &server, const QString &path = "/")
{
    return QString("http://127.0.0.1:%1%2").arg(server.port()).arg(path);
}

// Starts a GET and waits for its end; a hang ends the test.
inline void runUntilDone(THttpCli &cli, TRecorder &rec, int timeoutMs = 10000)
{
    cli.StartFetch();
    QTRY_VERIFY_WITH_TIMEOUT(rec.done > 0, timeoutMs);
}

// A client with a pool of its own, recording what it reports.
struct TKeptClient
{
    TKeptClient() { cli.setConnectionPool(&pool); }
    void clearBody()
    {
        rec.body.buffer().clear();
        rec.body.seek(0);
    }
    TConnectionPool pool;
    THttpCli cli;
    TRecorder rec{cli};
};
