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
        const int raw = m_socket->Receive(m_rawBlock.data(), kBodyBlockSize);
        if (raw > 0) {
            m_tls->feed(m_rawBlock.constData(), raw);
            driveHandshake();
        }
        return;
    }
    receiveAvailable();
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

void THttpCli::receiveAvailable()
{
    // Once the header is complete, the body is read in large blocks, straight
    // into a memory stream that is being appended to; never past its length.
    if (m_state == hcAwaitingBody && m_held == 0 && m_chunked) {
        const int n = receive(m_bodyBlock.data(), kBodyBlockSize);
        if (n > 0)
            bodyBytes(m_bodyBlock.constData(), n);
        return;
    }
    if (m_state == hcAwaitingBody && m_held == 0) {
        const int room = int(ExpectedLength < 0 ? kBodyBlockSize : std::min<qint64>(kBodyBlockSize, ExpectedLength - ReceivedBytes));
        if (room <= 0)
            return;
        auto *memory = qobject_cast<TMemoryStream *>(ReceiveStream);
        char *at = memory && memory->pos() == memory->size() ? memory->appendSpace(room) : nullptr;
        if (at) {
            const int n = receive(at, room);
            if (n > 0) {
                memory->appended(n);
                HandleBodyData(at, n, false);
            }
            return;
        }
        const int n = receive(m_bodyBlock.data(), room);
        if (n > 0)
            HandleBodyData(m_bodyBlock.constData(), n);
        return;
    }
    const int free = kLineBufferSize - m_held;
    if (free <= 0) {
        // A line longer than the buffer is past any header a server sends.
        failRequest(kHeaderTooLarge, QStringLiteral("response header too large: a line longer than %1 bytes")
                                         .arg(kLineBufferSize));
        return;
    }
    const int n = receive(m_lineBuffer.data() + m_held, free);
    if (n <= 0)
        return;
    m_held += n;
    m_lineBuffer[m_held] = '\0';
    if (m_state == hcAwaitingBody) {
        const int held = m_held;
        m_held = 0;
        bodyBytes(m_lineBuffer.constData(), held);
        return;
    }
    processHeldLines();
}

void THttpCli::processHeldLines()
{
    while (m_held > 0) {
        char *buffer = m_lineBuffer.data();
        const void *nul = std::memchr(buffer, '\0', size_t(m_held));
        const int searchable = nul ? int(static_cast<const char *>(nul) - buffer) : m_held;
        const void *found = std::memchr(buffer, '\n', size_t(searchable));
        if (!found)
            return;
        const int lf = int(static_cast<const char *>(found) - buffer);
        const int length = (lf > 0 && buffer[lf - 1] == '\r') ? lf - 1 : lf;
        const QByteArray line(buffer, length);
        m_held -= lf + 1;
        std::memmove(buffer, buffer + lf + 1, size_t(m_held));
        buffer[m_held] = '\0';
        if (m_state != hcAwaitingHeader && m_state != hcAwaitingBody)
            continue;
        if (m_inBody)
            HandleBodyData(line.constData(), int(line.size()));
        else
            HandleHeaderLine(line);
    }
}

void THttpCli::HandleHeaderLine(const QByteArray &raw)
{
    if (!headerPartCounted(raw.size() + 1))
        return;
    if (raw.left(6).toUpper() == "<HTML>") {
        // No header at all: the document starts here.
        if (MediaType.isEmpty())
            MediaType = QStringLiteral("text/html");
        setState(hcAwaitingBody);
        m_inBody = true;
        if (OnHeaderEnd)
            OnHeaderEnd(this);
        HandleBodyData(raw.constData(), int(raw.size()));
        return;
    }
    if (m_headerLines == 1) {
        const std::optional<THttpStatusLine> status = ParseStatusLine(raw);
        if (!status) {
            failRequest(kMalformedStatus, QStringLiteral("malformed status line"));
            return;
        }
        statusReceived(status->code, status->text, status->minorVersion);
    }
    if (raw.isEmpty()) {
        headerEnded();
        return;
    }
    const std::optional<THeaderField> field = m_headerLines > 1 ? ParseHeaderField(raw) : std::nullopt;
    fieldReceived(QString::fromLatin1(raw), field ? field->name : QString(), field ? field->value : QString());
}

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

void THttpCli::statusReceived(int code, const QString &text, int minorVersion)
{
    ResponseCode = code;
    ResponseText = text;
    m_responseMinor = minorVersion;
    m_loginPending = ResponseCode == 401 && mayAnswerLoginRequest();
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

// The empty line (or the end of an HTTP/2 header block): the answer is
// judged, and what comes next is its body, another answer or nothing.
void THttpCli::headerEnded()
{
    if (ResponseCode >= 100 && ResponseCode < 200 && ResponseCode != 101) {
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
        if (OnHeaderEnd)
            OnHeaderEnd(this);
        m_held = 0;
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
        if (m_h2.connection()) {
            releaseStream(); // the rest of this stream is not wanted
            relocationClosed();
        } else {
            m_socket->Close();
        }
        return;
    }
    if (!rangeAnswerFits())
        return;
    if (hasNoBody(m_ask.method, ResponseCode))
        m_chunked = false; // whatever the header says, no body follows
    if (m_chunked && ExpectedLength >= 0) {
        // Chunks decide where the body ends; a length beside them is not trusted.
        m_lengthAndChunked = true;
        ExpectedLength = -1;
    }
    const quint64 request = m_requestId;
    setState(hcAwaitingBody);
    m_inBody = true;
    if (OnHeaderEnd)
        OnHeaderEnd(this);
    if (overtaken(request))
        return;
    if (hasNoBody(m_ask.method, ResponseCode) || ExpectedLength == 0) {
        m_bytesAfterBody = m_held > 0;
        m_held = 0;
        endResponse();
        return;
    }
    if (m_held > 0) {
        const int held = m_held;
        m_held = 0;
        bodyBytes(m_lineBuffer.constData(), held);
    }
}

bool THttpCli::handleField(const QString &field, const QString &value)
{
    // A 401 we answer is no relocation, nor is an interim answer.
    if (field == QLatin1String("location"))
        return m_loginPending || ResponseCode < 200 || handleLocation(value);
    if (field == QLatin1String("content-length")) {
        // Two lengths that differ leave the body's end unknown (RFC 9112 6.3).
        const qint64 length = ParseContentLength(value);
        if (length == kConflictingLength || (m_lengthSeen && length != ExpectedLength)) {
            failRequest(kBadFraming, QStringLiteral("the response names two different lengths (Content-Length)"));
            return false;
        }
        m_lengthSeen = true;
        ExpectedLength = length;
    } else if (field == QLatin1String("content-range")) {
        m_reply.contentRange = ParseContentRange(value);
    } else if (field == QLatin1String("etag")) {
        m_reply.etag = value.trimmed();
    } else if (field == QLatin1String("accept-ranges")) {
        m_reply.acceptRanges = value;
    } else if (field == QLatin1String("connection")) {
        m_serverCloses = m_serverCloses || value.contains(QLatin1String("close"), Qt::CaseInsensitive);
    } else if (field == QLatin1String("transfer-encoding") && (m_pool || m_responseMinor >= 1)) {
        // An HTTP/1.1 answer may come in chunks, even to an HTTP/1.0 request.
        m_chunked = value.trimmed().endsWith(QLatin1String("chunked"), Qt::CaseInsensitive);
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
    m_lengthSeen = false;
    m_chunked = false;
    m_serverCloses = false;
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

void THttpCli::HandleBodyData(const char *data, int len, bool store)
{
    // What comes after the announced length is not body.
    if (ExpectedLength >= 0 && len > ExpectedLength - ReceivedBytes) {
        m_bytesAfterBody = true;
        len = int(std::max<qint64>(0, ExpectedLength - ReceivedBytes));
    }
    if (len <= 0)
        return;
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
    const quint64 request = m_requestId;
    if (OnDocData)
        OnDocData(this, data, len);
    if (!overtaken(request) && bodyComplete())
        endResponse();
}

bool THttpCli::bodyComplete() const
{
    if (m_chunked)
        return m_inBody && m_chunks.done();
    return m_inBody && ExpectedLength >= 0 && ReceivedBytes >= ExpectedLength;
}

// Body bytes as they came over the connection: through the chunk decoder
// when the server framed them so.
void THttpCli::bodyBytes(const char *data, int len)
{
    if (!m_chunked) {
        HandleBodyData(data, len);
        return;
    }
    const quint64 request = m_requestId;
    int consumed = 0;
    const TChunkedDecoder::Status status = m_chunks.feed(data, len, &consumed, [&](const char *piece, int n) {
        HandleBodyData(piece, n);
        return !overtaken(request);
    });
    if (overtaken(request))
        return;
    if (status == TChunkedDecoder::Status::Malformed) {
        failRequest(kBadFraming, m_chunks.error());
    } else if (status == TChunkedDecoder::Status::Done) {
        m_bytesAfterBody = consumed < len;
        endResponse();
    }
}

// A kept connection must stand exactly at the end of this response.
bool THttpCli::connectionReusable() const
{
    const bool tlsClean = !m_tls || (m_tls->established() && !m_tls->hasPending() && !m_tls->closeNotifyReceived());
    return m_pool && m_responseMinor >= 1 && !m_serverCloses && !m_lengthAndChunked && !m_bytesAfterBody
           && m_held == 0 && m_doneError == 0 && ResponseCode < 400 && !m_relocationPending
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
