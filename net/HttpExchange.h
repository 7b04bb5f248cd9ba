#pragma once

#include "HttpResponseHead.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

enum THttpRequest { rqGet = 1, rqPost = 2, rqHead = 3 };

// One request as it goes out. The client takes it whole from its
// properties as the request starts; relocations, a login asked for and a
// re-send on a fresh connection go out from this same value, and the next
// request takes a new one, so nothing of one request reaches another.
struct THttpRequestData
{
    THttpRequest method = rqGet;
    QString url;
    QString sender, accept, reference, agent, cookie, contentTypePost;
    bool noCache = false;
    QDateTime modifiedSince;
    // The login sent from the start, and the one sent only when the
    // request's own server asks for one (never to a server relocated to).
    QString username, password;
    QString askedUsername, askedPassword;
    QString proxy, proxyPort, proxyUsername, proxyPassword;
    // "Range: bytes=rangeBegin-rangeEnd", with If-Range: the ETag or
    // Last-Modified the part already held came with.
    QString rangeBegin, rangeEnd, ifRange;

    bool ranged() const { return !rangeBegin.isEmpty() || !rangeEnd.isEmpty(); }
};

// A request's head as it goes out, whatever carries it: HTTP/1.x writes it
// as a request line and field lines, HTTP/2 sends the fields as they are.
struct TRequestHead
{
    QByteArray method;
    QByteArray target; // the path, or the whole URL through a plain proxy
    QByteArray host;   // "host", or "host:port" when not the scheme's port
    QList<QPair<QByteArray, QByteArray>> fields; // in the order they go out, Host among them
};

// How one request ended, as one value: the done error (0 for success) with
// its text, the last answer's status, fields and body count. Complete once
// the request's done event has come; a new request starts a new one.
struct THttpReply
{
    int error = 0;
    QString errorText;
    int status = 0;
    QString statusText; // the server's reason phrase, "Not Found"
    qint64 received = 0;
    qint64 expected = -1;
    QString host;       // the server asked last, after any relocation
    QString location;   // the URL answered last
    QString mediaType;
    QStringList headerLines;
    TContentRange contentRange; // as the server sent it
    QString acceptRanges;
    QString etag;

    bool ok() const { return error == 0 && status < 400; }
};
