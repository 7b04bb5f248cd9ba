#include "HttpProt.h"

#include "ConnectionPool.h"
#include "HttpProt_p.h"
#include "HttpResponseHead.h"
#include "MemoryStream.h"
#include "TlsChannel.h"
#include "WSocket.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

using namespace HttpWire;

void THttpCli::socketDataAvailable()
{
    if (m_tunnelPending) {
        readTunnelAnswer();
        return;
    }
    if (m_tls && !m_tls->established()) {
        const int raw = m_socket->Receive(m_rawBlock.data(), kRawBlockSize);
        if (raw > 0) {
            m_tls->feed(m_rawBlock.constData(), raw);
            driveHandshake();
        }
        return;
    }
    m_h1.readAvailable();
    // A server that said the session ended may keep the connection open
    // (waiting for our close_notify): the response is over all the same.
    if (m_tls && m_tls->closeNotifyReceived() && !m_tls->hasPending() && m_socket->State() == wsConnected) {
        m_socket->Close();
        return;
    }
    // Plaintext may be left inside the TLS layer once the socket has nothing
    // more to tell: it is taken on the next turn of the event loop.
    if (m_tls && m_tls->hasPending() && (m_state == hcAwaitingHeader || m_state == hcAwaitingBody)) {
        const quint64 request = m_requestId;
        QMetaObject::invokeMethod(
            this,
            [this, request] {
                if (request == m_requestId && m_tls)
                    socketDataAvailable();
            },
            Qt::QueuedConnection);
    }
}

// Every part of an answer's head, whatever the protocol, is counted
// against the limits; the first one tells that a head begins.
bool THttpCli::headerPartCounted(qsizetype bytes)
{
    if (m_headerLines == 0 && OnHeaderBegin)
        OnHeaderBegin(this);
    ++m_headerLines;
    m_headerBytes += bytes;
    if (m_headerLines > kMaxHeaderLines || m_headerBytes > kMaxHeaderBytes) {
        failRequest(kHeaderTooLarge, QStringLiteral("response header too large"));
        return false;
    }
    return true;
}

void THttpCli::answerStatus(int status, const QString &reason, const QString &line)
{
    if (!headerPartCounted(line.size() + 1))
        return;
    ResponseCode = status;
    ResponseText = reason;
    m_loginPending = ResponseCode == 401 && mayAnswerLoginRequest();
    fieldReceived(line, {}, {});
}

void THttpCli::answerField(const QString &line, const QString &name, const QString &value)
{
    if (headerPartCounted(line.size() + 1))
        fieldReceived(line, name, value);
}

// line: as HeaderLines keeps it; name (lower case) and value: the field it
// holds, empty for the status line.
void THttpCli::fieldReceived(const QString &line, const QString &name, const QString &value)
{
    HeaderLines << line;
    if (!name.isEmpty()) {
        const quint64 request = m_requestId;
        if (!handleField(name, value) || overtaken(request))
            return;
    }
    if (OnHeaderData)
        OnHeaderData(this);
    if (ResponseCode >= 400 && !m_loginPending && m_socket->State() != wsClosed)
        m_socket->Close(); // nothing more is read; what is held is still handled
}

// The end of a head: the answer is judged, and what comes next is its
// body, another answer or nothing.
void THttpCli::answerHeadEnded(bool lengthFrames)
{
    if (!headerPartCounted(1))
        return;
    if (isInterim(ResponseCode)) {
        skipInterimResponse(); // the real answer follows
        return;
    }
    if (m_loginPending) {
        m_relocationPending = false; // the login first; a Location beside a 401 is not followed
        const QString origin = currentOrigin();
        m_authUser = m_ask.askedUsername;
        m_authPassword = m_ask.askedPassword;
        const quint64 request = m_requestId;
        emit loginAsked(origin);
        if (overtaken(request))
            return;
    }
    if (m_relocationPending || m_loginPending) {
        requestAgain();
        return;
    }
    if (!rangeAnswerFits())
        return;
    if (!lengthFrames)
        ExpectedLength = -1;
    setState(hcAwaitingBody);
    m_inBody = true;
    if (OnHeaderEnd)
        OnHeaderEnd(this);
}

void THttpCli::requestAgain()
{
    if (OnHeaderEnd)
        OnHeaderEnd(this);
    m_headerLines = 0;
    m_bodyPieces = 0;
    if (m_relocations >= kMaxRelocations) {
        // A server that sends us round in circles: give up.
        ResponseCode = 404;
        ResponseText = QStringLiteral("Too many relocations");
        failRequest(kTooManyRelocations, ResponseText);
        return;
    }
    ++m_relocations;
    m_closedHandler = ClosedHandler::Relocation;
    const bool shared = m_h2.connection();
    releaseExchange(); // the rest of this answer is not wanted
    if (shared)
        relocationClosed();
    else
        m_socket->Close();
}

// The server sent no head: the document starts at once, as HTML.
void THttpCli::answerWithoutHead()
{
    if (!headerPartCounted(0))
        return;
    if (MediaType.isEmpty())
        MediaType = QStringLiteral("text/html");
    setState(hcAwaitingBody);
    m_inBody = true;
    if (OnHeaderEnd)
        OnHeaderEnd(this);
}

bool THttpCli::handleField(const QString &field, const QString &value)
{
    // A 401 we answer is no relocation, nor is an interim answer.
    if (field == QLatin1String("location"))
        return m_loginPending || ResponseCode < 200 || handleLocation(value);
    if (field == QLatin1String("content-length")) {
        ExpectedLength = std::max<qint64>(ParseContentLength(value), -1); // the handler judged the framing
    } else if (field == QLatin1String("content-range")) {
        m_reply.contentRange = ParseContentRange(value);
    } else if (field == QLatin1String("etag")) {
        m_reply.etag = value.trimmed();
    } else if (field == QLatin1String("accept-ranges")) {
        m_reply.acceptRanges = value;
    } else if (field == QLatin1String("content-type")) {
        MediaType = value.toLower();
    } else if (field == QLatin1String("set-cookie")) {
        bool accept = true;
        if (OnCookie)
            OnCookie(this, value, accept);
    }
    return true;
}

void THttpCli::skipInterimResponse()
{
    HeaderLines.clear();
    m_headerLines = 0;
    ResponseCode = 0;
    ResponseText.clear();
    ExpectedLength = -1;
    m_relocationPending = false;
    m_reply.contentRange = {};
    m_reply.etag.clear();
}

bool THttpCli::rangeAnswerFits()
{
    if (ResponseCode != 206)
        return true;
    const bool asked = m_ask.ranged();
    // A part that is the whole file is the whole file, asked for or not.
    const bool whole = m_reply.contentRange.begin.trimmed() == QLatin1String("0") && m_reply.contentRange.total > 0
                       && m_reply.contentRange.end.trimmed() == QString::number(m_reply.contentRange.total - 1);
    QString why;
    if (!asked && !whole)
        why = QStringLiteral("the server sent a part of the file (206) where the whole file was asked for");
    else if (!m_ask.rangeBegin.isEmpty() && m_reply.contentRange.begin.trimmed() != m_ask.rangeBegin)
        why = QStringLiteral("the server sent the file from byte %1 on, not from byte %2")
                  .arg(m_reply.contentRange.begin.trimmed().isEmpty() ? QStringLiteral("?") : m_reply.contentRange.begin.trimmed(),
                       m_ask.rangeBegin);
    else if (m_ask.ifRange.startsWith(QLatin1Char('"')) && !m_reply.etag.isEmpty() && m_reply.etag != m_ask.ifRange)
        why = QStringLiteral("the server sent a part of another version of the file (ETag %1, not %2)")
                  .arg(m_reply.etag, m_ask.ifRange);
    if (why.isEmpty())
        return true;
    failRequest(kWrongRange, why);
    return false;
}

QString THttpCli::currentOrigin() const
{
    return (m_useTls ? QStringLiteral("https://") : QStringLiteral("http://")) + m_serverHost.toLower() + QLatin1Char(':')
           + m_serverPort;
}

bool THttpCli::mayAnswerLoginRequest() const
{
    return !m_ask.askedUsername.isEmpty() && m_authUser.isEmpty() && currentOrigin() == m_origin;
}

bool THttpCli::handleLocation(const QString &field)
{
    const QString location = LocationValue(field);
    const bool relocating = ResponseCode >= 300 && ResponseCode < 400;
    if (location.isEmpty()) {
        if (!relocating)
            return true; // nothing to go to, and nothing asked
        failRequest(kInvalidUrl, QStringLiteral("the server relocated the request without saying where to (empty Location)"));
        return false;
    }
    if (hasControlCharacter(location)) {
        failRequest(kInvalidUrl, QStringLiteral("invalid URL in relocation: it holds a control character"));
        return false;
    }
    const QString absolute = ResolveLocation(CurrentLocation, location);
    const TUrlParts target = SplitUrl(absolute);
    if (target.host.isEmpty() || !validPort(target.port)) {
        failRequest(kInvalidUrl, QStringLiteral("invalid URL in relocation: %1").arg(location));
        return false;
    }
    const bool tls = IsHttpsScheme(target.proto);
    const QString port = target.port.isEmpty() ? DefaultPort(tls) : target.port;
    // A login goes to the server it was meant for: never to another host or
    // port, never from https down to plain http.
    if (target.host.compare(m_serverHost, Qt::CaseInsensitive) != 0 || port != m_serverPort || (m_useTls && !tls)) {
        m_authUser.clear();
        m_authPassword.clear();
    }
    if (!target.user.isEmpty()) {
        m_authUser = target.user;
        m_authPassword = target.pass;
    }
    m_relocationPending = true;
    m_useTls = tls;
    m_serverHost = target.host;
    m_serverPort = port;
    const QString path = target.path.isEmpty() ? QStringLiteral("/") : withoutFragment(target.path);
    CurrentLocation = joinUrl(target.proto, target.host, target.port, path);
    if (m_ask.proxy.isEmpty()) {
        m_connectHost = target.host;
        m_connectPort = port;
        m_requestPath = path;
    } else if (tls) {
        // Through a proxy a TLS tunnel names the server; the request inside the path alone.
        m_tunnelTarget = target.host + QLatin1Char(':') + port;
        m_requestPath = path;
    } else {
        // Through a proxy the request line names the whole URL, port included.
        m_tunnelTarget.clear();
        m_requestPath = CurrentLocation;
    }
    return true;
}

char *THttpCli::answerBodySpace(int size)
{
    // Read straight into a memory stream that is being appended to.
    auto *memory = qobject_cast<TMemoryStream *>(ReceiveStream);
    return memory && memory->pos() == memory->size() ? memory->appendSpace(size) : nullptr;
}

void THttpCli::answerBody(const char *data, int len, bool placed)
{
    if (!m_inBody)
        return;
    if (placed)
        qobject_cast<TMemoryStream *>(ReceiveStream)->appended(len);
    HandleBodyData(data, len, !placed);
}

void THttpCli::HandleBodyData(const char *data, int len, bool store)
{
    if (m_bodyPieces == 0) {
        // A body of known length gets its room at once instead of growing into it.
        if (auto *memory = qobject_cast<TMemoryStream *>(ReceiveStream); memory && ExpectedLength > 0)
            memory->reserve(memory->size() + std::min<qint64>(ExpectedLength, kMaxReservedBody));
        if (OnDocBegin)
            OnDocBegin(this);
    }
    ++m_bodyPieces;
    ReceivedBytes += len;
    if (ReceiveStream && store)
        ReceiveStream->write(data, len);
    if (OnDocData)
        OnDocData(this, data, len);
}

void THttpCli::answerEnded(quint32 error)
{
    if (m_closeHandled || m_state == hcIdle || m_state == hcAborting)
        return;
    if (error == 0) {
        endResponse();
        return;
    }
    const bool nothingCame = m_headerLines == 0 && !m_inBody;
    const bool safeAgain = error == TH2Session::kRefusedStream || error == TH2Connection::kConnectionLost;
    if (safeAgain && nothingCame && !m_freshConnectionOnly) {
        sendAgainOnFreshConnection(); // never processed there
        return;
    }
    failRequest(kIncompleteResponse, error == TH2Connection::kConnectionLost
                                         ? QStringLiteral("the HTTP/2 connection was lost")
                                         : QStringLiteral("the server reset the HTTP/2 stream (error %1)").arg(error));
}

void THttpCli::answerFailed(int error, const QString &text)
{
    failRequest(error, text);
}

bool THttpCli::answerWanted() const
{
    return m_state == hcAwaitingHeader || m_state == hcAwaitingBody;
}

void THttpCli::releaseExchange()
{
    m_h1.release();
    m_h2.release();
}

// A kept connection must stand exactly at the end of this response.
bool THttpCli::connectionReusable() const
{
    const bool tlsClean = !m_tls || (m_tls->established() && !m_tls->hasPending() && !m_tls->closeNotifyReceived());
    return m_pool && m_h1.reusable() && m_doneError == 0 && ResponseCode < 400 && !m_relocationPending
           && m_socket->State() == wsConnected && tlsClean;
}

void THttpCli::parkConnection()
{
    m_pool->park(connectionKey(), detachSocket(), std::move(m_tls));
    attachSocket(new TWSocket(this));
}

// The whole response is here: a server that keeps the connection open is
// not waited for, and with a pool the connection is kept for the next request.
void THttpCli::endResponse()
{
    if (connectionReusable()) {
        parkConnection();
        normalClosed();
        return;
    }
    if (m_socket->State() != wsClosed)
        m_socket->Close();
    else
        normalClosed();
}
