#include "HttpProt.h"

#include "MemoryStream.h"
#include "SocketErrors.h"
#include "TlsChannel.h"
#include "WSocket.h"

#include <QCoreApplication>
#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace {

// Characters that may not stand raw in a request line are sent %-escaped as UTF-8.
QByteArray requestPathBytes(const QString &path)
{
    const QByteArray utf8 = path.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        const auto u = uchar(c);
        if (u <= 0x20 || u >= 0x7f) {
            out += '%';
            out += QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray basicCredentials(const QString &user, const QString &password)
{
    return (user + QLatin1Char(':') + password).toUtf8().toBase64();
}

// A length the server gave, or -1 when it is not a whole number that fits.
qint64 contentLength(const QString &text)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    return ok && value >= 0 ? value : -1;
}

// A control character in a URL would end the request line early and smuggle
// header lines of the text's own into the request.
bool hasControlCharacter(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

QString joinUrl(const QString &proto, const QString &host, const QString &port, const QString &path)
{
    return (proto.isEmpty() ? QStringLiteral("http") : proto) + QStringLiteral("://") + host
           + (port.isEmpty() ? QString() : QLatin1Char(':') + port) + path;
}

// Responses that carry no body whatever their header says.
bool hasNoBody(THttpRequest request, int status)
{
    return request == rqHead || (status >= 100 && status < 200) || status == 204 || status == 304;
}

} // namespace

THttpCli::THttpCli(QObject *parent)
    : QObject(parent)
    , m_socket(new TWSocket(this))
    , m_lineBuffer(kLineBufferSize + 1, '\0')
    , m_bodyBlock(kBodyBlockSize, Qt::Uninitialized)
    , m_rawBlock(kBodyBlockSize, Qt::Uninitialized)
{
    m_socket->OnDnsLookupDone = [this](TWSocket *, int error) { socketDnsLookupDone(error); };
    m_socket->OnSessionConnected = [this](TWSocket *, int error) { socketSessionConnected(error); };
    m_socket->OnDataAvailable = [this](TWSocket *, int) { socketDataAvailable(); };
    m_socket->OnDataSent = [this](TWSocket *, int) { socketDataSent(); };
    m_socket->OnSessionClosed = [this](TWSocket *, int error) { socketSessionClosed(error); };
}

THttpCli::~THttpCli()
{
    // The socket reports nothing more to a client that is going away.
    m_socket->OnDnsLookupDone = nullptr;
    m_socket->OnSessionConnected = nullptr;
    m_socket->OnDataAvailable = nullptr;
    m_socket->OnDataSent = nullptr;
    m_socket->OnSessionClosed = nullptr;
}

void THttpCli::Fetch()
{
    StartRequest(rqGet);
    waitUntilDone();
    if (ResponseCode >= 400)
        throw EHttpException(ResponseText, ResponseCode);
    if (m_doneError != 0)
        throw EHttpException(m_errorText, m_doneError);
}

THttpResult THttpCli::Get()
{
    const THttpResult refused = Begin(rqGet);
    if (refused.error != 0)
        return refused;
    waitUntilDone();
    return Result();
}

THttpResult THttpCli::Begin(THttpRequest kind)
{
    try {
        StartRequest(kind);
    } catch (const EHttpException &e) {
        THttpResult refused;
        refused.error = e.Code;
        refused.errorText = e.message();
        return refused;
    }
    return {};
}

void THttpCli::waitUntilDone()
{
    const quint64 request = m_requestId;
    while (m_state != hcIdle) {
        if (MultiThreaded)
            m_socket->PumpMessages();
        else
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    // The request-done notice of this request runs before the wait returns.
    if (request == m_requestId)
        drainNotices();
}

void THttpCli::setProxy(const TProxySettings &proxy)
{
    Proxy = proxy.enabled ? proxy.host : QString();
    ProxyPort = proxy.enabled ? proxy.port : QString();
    ProxyUsername = proxy.enabled ? proxy.username : QString();
    ProxyPassword = proxy.enabled ? proxy.password : QString();
}

THttpResult THttpCli::Result() const
{
    return {m_doneError, m_errorText, ResponseCode, ReceivedBytes, ExpectedLength};
}

void THttpCli::StartFetch()
{
    StartRequest(rqGet);
}

void THttpCli::StartPost()
{
    StartRequest(rqPost);
}

void THttpCli::StartHead()
{
    StartRequest(rqHead);
}

void THttpCli::StartRequest(THttpRequest kind)
{
    if (m_state != hcIdle)
        throw EHttpException(QStringLiteral("HTTP component is busy"), 1);
    if (kind == rqPost && !PostStream)
        throw EHttpException(QStringLiteral("HTTP component has nothing to post"), 2);

    ++m_requestId; // notices of earlier requests are dropped from now on
    m_socket->MultiThreaded = MultiThreaded;
    HeaderLines.clear();
    m_request = kind;
    m_doneError = 0;
    m_errorText.clear();
    m_closeHandled = false;
    m_closedHandler = ClosedHandler::Normal;
    m_relocationPending = false;
    m_relocations = 0;
    setState(hcStarting);
    ResponseCode = 0;
    ReceivedBytes = 0;
    PostedBytes = 0;
    m_headerLines = 0;
    m_bodyPieces = 0;
    ExpectedLength = -1;
    MediaType.clear();
    CurrentLocation = URL;

    const TUrlParts url = SplitUrl(URL);
    m_serverHost = url.host;
    // A login written into the URL is this request's; it does not become the client's.
    m_authUser = url.user.isEmpty() ? Username : url.user;
    m_authPassword = url.user.isEmpty() ? Password : url.pass;
    m_useTls = IsHttpsScheme(url.proto);
    m_serverPort = url.port.isEmpty() ? DefaultPort(m_useTls) : url.port;
    m_tunnelTarget.clear();
    if (Proxy.isEmpty()) {
        m_requestPath = url.path;
        m_connectHost = url.host;
        m_connectPort = url.port.isEmpty() ? DefaultPort(m_useTls) : url.port;
    } else {
        if (m_useTls) {
            // The proxy carries a tunnel; the request inside names the path alone.
            m_requestPath = url.path;
            m_tunnelTarget = url.host + QLatin1Char(':') + (url.port.isEmpty() ? DefaultPort(true) : url.port);
        } else {
            m_requestPath = joinUrl(url.proto, url.host, url.port, url.path);
        }
        const TUrlParts proxy = SplitUrl(Proxy);
        m_connectHost = proxy.host;
        m_connectPort = proxy.port.isEmpty() ? ProxyPort : proxy.port;
    }
    if (m_requestPath.isEmpty())
        m_requestPath = QStringLiteral("/");
    if (hasControlCharacter(URL) || hasControlCharacter(Proxy)) {
        failRequest(kInvalidUrl, QStringLiteral("invalid URL: it holds a control character"));
        return;
    }
    // A URL the socket refuses (no host name, say) ends the request as a
    // failure; the client is idle again once its done event has come.
    try {
        beginConnection();
    } catch (const std::exception &e) {
        failRequest(SocketError::InvalidArgument, QString::fromStdString(e.what()));
    }
}

void THttpCli::beginConnection()
{
    m_held = 0;
    m_inBody = false;
    m_closedHandler = ClosedHandler::Normal;
    m_closeHandled = false;
    // Every response, the first or a relocation's, is judged on its own header.
    ExpectedLength = -1;
    m_headerLines = 0;
    m_headerBytes = 0;
    m_bodyPieces = 0;
    m_tls.reset();
    m_tunnelPending = false;
    const quint64 request = m_requestId;
    setState(hcResolving);
    if (overtaken(request))
        return;
    m_socket->LookupHost(m_connectHost);
}

bool THttpCli::overtaken(quint64 request) const
{
    return request != m_requestId || m_state == hcIdle || m_state == hcAborting;
}

void THttpCli::failRequest(int error, const QString &text)
{
    if (m_doneError == 0) {
        m_doneError = error;
        m_errorText = text;
    }
    m_relocationPending = false;
    m_closedHandler = ClosedHandler::Normal;
    m_held = 0;
    if (m_socket->State() != wsClosed)
        m_socket->Close();
    normalClosed();
}

void THttpCli::setState(THttpCliState state)
{
    if (state == m_state)
        return;
    m_state = state;
    if (OnStateChange)
        OnStateChange(this);
    if (state == hcIdle)
        postNotice(Notice::RequestDone);
}

void THttpCli::postNotice(Notice kind)
{
    m_notices.push_back({kind, m_requestId});
    QMetaObject::invokeMethod(this, &THttpCli::runNotice, Qt::QueuedConnection);
}

void THttpCli::drainNotices()
{
    while (!m_notices.empty())
        runNotice();
}

void THttpCli::runNotice()
{
    if (m_notices.empty())
        return;
    const PendingNotice notice = m_notices.front();
    m_notices.pop_front();
    if (notice.request != m_requestId)
        return; // left over from an aborted request
    switch (notice.kind) {
    case Notice::Ready:
        setState(hcIdle);
        // The done event follows the idle state at once, not one turn of the
        // event loop later: a slot that starts its next file saves a turn.
        if (m_notices.size() == 1 && m_notices.front().kind == Notice::RequestDone)
            runNotice();
        break;
    case Notice::RequestDone:
        if (OnRequestDone)
            OnRequestDone(this, m_request, m_doneError);
        break;
    case Notice::Relocate:
        try {
            beginConnection();
        } catch (const std::exception &e) {
            ResponseCode = 404;
            ResponseText = QString::fromStdString(e.what());
            failRequest(SocketError::InvalidArgument, ResponseText);
        }
        break;
    }
}

void THttpCli::socketDnsLookupDone(int error)
{
    if (error == 0) {
        const quint64 request = m_requestId;
        setState(hcConnecting);
        if (overtaken(request))
            return;
        try {
            m_socket->setAddr(m_socket->DnsResult());
            m_socket->setPort(m_connectPort);
            m_socket->setProto(QStringLiteral("tcp"));
            m_socket->Connect();
        } catch (const ESocketException &) {
            // A refusal leaves no error number behind; still, the request failed.
            const int code = m_socket->LastError() ? m_socket->LastError() : int(SocketError::InvalidArgument);
            ResponseCode = 404;
            ResponseText = QStringLiteral("can't connect: %1 (Error #%2)").arg(SocketErrorText(code)).arg(code);
            failRequest(code, ResponseText);
        }
        return;
    }
    if (m_state == hcAborting || m_state == hcIdle)
        return;
    ResponseCode = 404;
    ResponseText = QStringLiteral("can't resolve hostname to IP address");
    failRequest(error, ResponseText);
}

void THttpCli::socketSessionConnected(int error)
{
    if (error != 0) {
        ResponseCode = 404;
        ResponseText = QStringLiteral("%1 (Error #%2)").arg(SocketErrorText(error)).arg(error);
        failRequest(error, ResponseText);
        return;
    }
    const quint64 request = m_requestId;
    setState(hcConnected);
    if (overtaken(request))
        return;
    if (OnSessionConnected)
        OnSessionConnected(this);
    if (overtaken(request))
        return;
    if (m_useTls) {
        // Through a proxy, a tunnel to the server first; TLS inside it.
        if (m_tunnelTarget.isEmpty())
            startTls();
        else
            sendConnect();
        return;
    }
    sendRequest();
}

void THttpCli::sendConnect()
{
    m_tunnelPending = true;
    m_tunnelHeader.clear();
    QByteArray connect = "CONNECT " + m_tunnelTarget.toUtf8() + " HTTP/1.0\r\nHost: " + m_tunnelTarget.toUtf8() + "\r\n";
    if (!Agent.isEmpty())
        connect += "User-Agent: " + Agent.toUtf8() + "\r\n";
    if (!ProxyUsername.isEmpty())
        connect += "Proxy-Authorization: Basic " + basicCredentials(ProxyUsername, ProxyPassword) + "\r\n";
    m_socket->Send(connect + "\r\n");
}

// The proxy's answer to CONNECT, read up to its empty line; what follows is the server's.
void THttpCli::readTunnelAnswer()
{
    char block[4096];
    const int n = m_socket->Receive(block, sizeof(block));
    if (n <= 0)
        return;
    m_tunnelHeader.append(block, n);
    const qsizetype end = m_tunnelHeader.indexOf("\r\n\r\n");
    if (end < 0) {
        if (m_tunnelHeader.size() > kMaxHeaderBytes)
            failRequest(kHeaderTooLarge, QStringLiteral("proxy answer too large"));
        return;
    }
    const QByteArray statusLine = m_tunnelHeader.left(m_tunnelHeader.indexOf("\r\n"));
    const QByteArray rest = m_tunnelHeader.mid(end + 4);
    m_tunnelPending = false;
    m_tunnelHeader.clear();
    const QList<QByteArray> words = statusLine.split(' ');
    const int status = words.value(1).toInt();
    if (!statusLine.startsWith("HTTP/1.") || status < 200 || status > 299) {
        ResponseCode = status >= 400 ? status : 404;
        ResponseText = QString::fromLatin1(statusLine.mid(statusLine.indexOf(' ', 9) + 1));
        failRequest(kTunnelRefused, QStringLiteral("the proxy refused the tunnel: ") + QString::fromLatin1(statusLine));
        return;
    }
    startTls();
    if (m_tls && !rest.isEmpty()) {
        m_tls->feed(rest.constData(), int(rest.size()));
        driveHandshake();
    }
}

void THttpCli::startTls()
{
    const QString port = m_tunnelTarget.isEmpty() ? m_connectPort : m_tunnelTarget.section(QLatin1Char(':'), -1);
    m_tls = std::make_unique<TTlsChannel>(m_serverHost, port);
    driveHandshake();
}

void THttpCli::driveHandshake()
{
    const TTlsChannel::Step step = m_tls->handshake();
    const QByteArray out = m_tls->takeOutgoing();
    if (!out.isEmpty() && m_socket->State() == wsConnected)
        m_socket->Send(out);
    if (step == TTlsChannel::Failed)
        failTls();
    else if (step == TTlsChannel::Done)
        sendRequest();
}

void THttpCli::failTls()
{
    failRequest(m_tls->certificateFailed() ? kCertificateError : kTlsError, m_tls->errorText());
}

void THttpCli::sendRequest()
{
    const quint64 request = m_requestId;
    m_inBody = false;
    setState(hcAwaitingHeader);
    if (overtaken(request))
        return;
    const char *method = m_request == rqPost ? "POST" : m_request == rqHead ? "HEAD" : "GET";
    try {
        BuildRequest(QLatin1String(method));
        if (m_request == rqPost) {
            if (OnSendBegin)
                OnSendBegin(this);
            m_allowSending = true;
            sendPostBlock();
        }
    } catch (...) {
        m_socket->Close();
    }
}

void THttpCli::WriteRequestLine(QByteArray &request, QString line)
{
    if (OnCommand)
        OnCommand(this, line);
    request += line.toUtf8();
    request += "\r\n";
}

void THttpCli::BuildRequest(const QString &method)
{
    QByteArray request;
    if (OnRequestHeaderBegin)
        OnRequestHeaderBegin(this);
    const bool post = method == QLatin1String("POST");
    WriteRequestLine(request, method + QLatin1Char(' ') + QString::fromLatin1(requestPathBytes(m_requestPath))
                                  + QStringLiteral(" HTTP/1.0"));
    if (!Sender.isEmpty())
        WriteRequestLine(request, QStringLiteral("From: ") + Sender);
    if (!Accept.isEmpty())
        WriteRequestLine(request, QStringLiteral("Accept: ") + Accept);
    if (!Reference.isEmpty())
        WriteRequestLine(request, QStringLiteral("Referer: ") + Reference);
    if (post && !ContentTypePost.isEmpty())
        WriteRequestLine(request, QStringLiteral("Content-Type: ") + ContentTypePost);
    if (!Agent.isEmpty())
        WriteRequestLine(request, QStringLiteral("User-Agent: ") + Agent);
    // The port belongs in Host whenever it is not the scheme's own.
    WriteRequestLine(request, QStringLiteral("Host: ") + m_serverHost
                                  + (m_serverPort == DefaultPort(m_useTls) ? QString() : QLatin1Char(':') + m_serverPort));
    if (NoCache)
        WriteRequestLine(request, QStringLiteral("Pragma: no-cache"));
    if (post)
        WriteRequestLine(request, QStringLiteral("Content-Length: %1").arg(PostStream ? PostStream->size() : 0));
    if (ModifiedSince.isValid())
        WriteRequestLine(request, QStringLiteral("If-Modified-Since: ") + FormatHttpDate(ModifiedSince)
                                      + QStringLiteral(" GMT"));
    if (!m_authUser.isEmpty())
        WriteRequestLine(request, QStringLiteral("Authorization: Basic ")
                                      + QString::fromLatin1(basicCredentials(m_authUser, m_authPassword)));
    if (!Proxy.isEmpty() && !ProxyUsername.isEmpty() && !m_useTls) // with TLS it went with CONNECT
        WriteRequestLine(request, QStringLiteral("Proxy-Authorization: Basic ")
                                      + QString::fromLatin1(basicCredentials(ProxyUsername, ProxyPassword)));
    if (!Cookie.isEmpty())
        WriteRequestLine(request, QStringLiteral("Cookie: ") + Cookie);
    if (!ContentRangeBegin.isEmpty() || !ContentRangeEnd.isEmpty()) {
        WriteRequestLine(request, QStringLiteral("Range: bytes=") + ContentRangeBegin + QLatin1Char('-') + ContentRangeEnd);
        ContentRangeBegin.clear();
        ContentRangeEnd.clear();
    }
    m_acceptRanges.clear();
    if (OnRequestHeaderEnd)
        OnRequestHeaderEnd(this);
    WriteRequestLine(request, QString());
    send(request.constData(), int(request.size()));
}

void THttpCli::send(const char *data, int len)
{
    if (!m_tls) {
        m_socket->Send(data, len);
        return;
    }
    if (!m_tls->write(data, len)) {
        failTls();
        return;
    }
    const QByteArray out = m_tls->takeOutgoing();
    if (!out.isEmpty())
        m_socket->Send(out);
}

int THttpCli::receive(char *buffer, int size)
{
    if (!m_tls)
        return m_socket->Receive(buffer, size);
    int n = m_tls->read(buffer, size);
    if (n == 0 && m_socket->State() == wsConnected) {
        // Nothing whole inside yet: what the network has goes in first.
        const int raw = m_socket->Receive(m_rawBlock.data(), kBodyBlockSize);
        if (raw > 0) {
            m_tls->feed(m_rawBlock.constData(), raw);
            n = m_tls->read(buffer, size);
        }
    }
    if (n < 0) {
        failTls();
        return 0;
    }
    return n;
}

void THttpCli::socketDataSent()
{
    if (m_allowSending)
        sendPostBlock();
}

void THttpCli::sendPostBlock()
{
    char block[8193];
    const qint64 n = PostStream ? PostStream->read(block, sizeof(block)) : 0;
    if (n <= 0) {
        m_allowSending = false;
        if (OnSendEnd)
            OnSendEnd(this);
        return;
    }
    PostedBytes += n;
    if (OnSendData)
        OnSendData(this, block, int(n));
    send(block, int(n));
}

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
        HandleBodyData(m_lineBuffer.constData(), held);
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
    if (m_headerLines == 0 && OnHeaderBegin)
        OnHeaderBegin(this);
    ++m_headerLines;
    m_headerBytes += raw.size() + 1;
    if (m_headerLines > kMaxHeaderLines || m_headerBytes > kMaxHeaderBytes) {
        failRequest(kHeaderTooLarge, QStringLiteral("response header too large"));
        return;
    }
    const QString line = QString::fromLatin1(raw);

    if (line.left(6).toUpper() == QLatin1String("<HTML>")) {
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

    if (m_headerLines == 1 && !handleStatusLine(line))
        return;
    if (line.isEmpty()) {
        if (m_relocationPending) {
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
            m_socket->Close();
            return;
        }
        const quint64 request = m_requestId;
        setState(hcAwaitingBody);
        m_inBody = true;
        if (OnHeaderEnd)
            OnHeaderEnd(this);
        if (overtaken(request))
            return;
        if (hasNoBody(m_request, ResponseCode) || ExpectedLength == 0) {
            m_held = 0;
            endResponse();
            return;
        }
        if (m_held > 0) {
            const int held = m_held;
            m_held = 0;
            HandleBodyData(m_lineBuffer.constData(), held);
        }
        return;
    }

    HeaderLines << line;
    if (const qsizetype colon = line.indexOf(QLatin1Char(':')); colon >= 0 && m_headerLines > 1) {
        const QString field = line.left(colon).toLower();
        QString value = line.mid(colon + 1);
        qsizetype blanks = 0;
        while (blanks < value.size() - 1 && value.at(blanks) == QLatin1Char(' '))
            ++blanks;
        value.remove(0, blanks);
        if (field == QLatin1String("location")) {
            if (!handleLocation(value))
                return;
        } else if (field == QLatin1String("content-length")) {
            ExpectedLength = contentLength(value);
        } else if (field == QLatin1String("content-range")) {
            const qsizetype dash = value.indexOf(QLatin1Char('-'));
            const qsizetype slash = value.indexOf(QLatin1Char('/'));
            ContentRangeBegin = dash >= 6 ? value.mid(6, dash - 6) : QString();
            ContentRangeEnd = dash >= 0 && slash > dash ? value.mid(dash + 1, slash - dash - 1) : QString();
        } else if (field == QLatin1String("accept-ranges")) {
            m_acceptRanges = value;
        } else if (field == QLatin1String("content-type")) {
            MediaType = value.toLower();
        } else if (field == QLatin1String("set-cookie")) {
            bool accept = true;
            if (OnCookie)
                OnCookie(this, value, accept);
        }
    }
    if (OnHeaderData)
        OnHeaderData(this);
    if (ResponseCode >= 400 && m_socket->State() != wsClosed)
        m_socket->Close(); // nothing more is read; what is held is still handled
}

// The first line of a response: "HTTP/1.x", a blank and a three-digit code.
bool THttpCli::handleStatusLine(const QString &line)
{
    const bool versionOk = line.startsWith(QLatin1String("HTTP/1.0")) || line.startsWith(QLatin1String("HTTP/1.1"));
    const QString code = line.mid(9, 3);
    const bool codeOk = code.size() == 3 && std::all_of(code.cbegin(), code.cend(), [](QChar c) {
                            return c >= QLatin1Char('0') && c <= QLatin1Char('9');
                        });
    if (!versionOk || line.size() < 12 || line.at(8) != QLatin1Char(' ') || !codeOk) {
        failRequest(kMalformedStatus, QStringLiteral("malformed status line"));
        return false;
    }
    ResponseCode = code.toInt();
    ResponseText = line.mid(13);
    return true;
}

bool THttpCli::handleLocation(const QString &location)
{
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
    if (target.host.isEmpty()) {
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
    const QString path = target.path.isEmpty() ? QStringLiteral("/") : target.path;
    CurrentLocation = joinUrl(target.proto, target.host, target.port, path);
    if (Proxy.isEmpty()) {
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
    if (ExpectedLength >= 0)
        len = int(std::min<qint64>(len, ExpectedLength - ReceivedBytes));
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
    return m_inBody && ExpectedLength >= 0 && ReceivedBytes >= ExpectedLength;
}

// The whole response is here: a server that keeps the connection open is
// not waited for.
void THttpCli::endResponse()
{
    if (m_socket->State() != wsClosed)
        m_socket->Close();
    else
        normalClosed();
}

void THttpCli::socketSessionClosed(int error)
{
    // Whatever plaintext the TLS layer still holds belongs to the response.
    while (m_tls && m_tls->established() && m_tls->hasPending() && !bodyComplete()
           && (m_state == hcAwaitingHeader || m_state == hcAwaitingBody)) {
        const qint64 before = ReceivedBytes + m_headerBytes + m_held;
        receiveAvailable();
        if (ReceivedBytes + m_headerBytes + m_held == before)
            break;
    }
    // A connection that broke (reset, say) fails the request, whatever came.
    if (error != 0 && m_doneError == 0 && m_state != hcAborting && m_state != hcIdle) {
        m_doneError = error;
        m_errorText = QStringLiteral("%1 (Error #%2)").arg(SocketErrorText(error)).arg(error);
    }
    if (m_closedHandler == ClosedHandler::Relocation && m_doneError == 0)
        relocationClosed();
    else
        normalClosed();
}

// A close is the end of a response only when the whole response came.
void THttpCli::checkComplete()
{
    if (m_doneError != 0 || m_state == hcAborting || m_state == hcIdle || ResponseCode >= 400)
        return;
    if (!m_inBody) {
        m_doneError = kIncompleteResponse;
        m_errorText = QStringLiteral("connection closed before the response was complete");
    } else if (m_tls && ExpectedLength < 0 && !m_tls->closeNotifyReceived() && !hasNoBody(m_request, ResponseCode)) {
        // Without its length, a TLS body is whole only when the server said it ended.
        m_doneError = kIncompleteResponse;
        m_errorText = QStringLiteral("connection closed without TLS close_notify: the body may be cut");
    } else if (ExpectedLength >= 0 && ReceivedBytes < ExpectedLength && !hasNoBody(m_request, ResponseCode)) {
        m_doneError = kIncompleteResponse;
        m_errorText = QStringLiteral("connection closed before the response was complete (%1 of %2 bytes)")
                          .arg(ReceivedBytes)
                          .arg(ExpectedLength);
    }
}

void THttpCli::normalClosed()
{
    if (m_closeHandled)
        return;
    m_closeHandled = true;
    checkComplete();
    if (m_bodyPieces > 0 && OnDocEnd)
        OnDocEnd(this);
    postNotice(Notice::Ready);
}

void THttpCli::relocationClosed()
{
    const quint64 request = m_requestId;
    m_relocationPending = false;
    m_closedHandler = ClosedHandler::Normal;
    if (OnLocationChange)
        OnLocationChange(this);
    if (overtaken(request))
        return;
    postNotice(Notice::Relocate);
}

void THttpCli::AbortRequest()
{
    if (m_state == hcAborting)
        return; // already on its way out, from an event of this abort
    if (m_state == hcIdle) {
        if (m_socket->State() != wsClosed)
            m_socket->Close();
        return;
    }
    const bool resolving = m_state == hcResolving;
    setState(hcAborting);
    if (resolving) {
        try {
            m_socket->CancelLookup();
        } catch (...) {
        }
    }
    // A relocation that was about to start is not started any more.
    std::erase_if(m_notices, [this](const PendingNotice &n) {
        return n.request == m_requestId && n.kind == Notice::Relocate;
    });
    ResponseCode = 404;
    ResponseText = QStringLiteral("Connection aborted on request");
    m_doneError = kAborted;
    m_errorText = ResponseText;
    m_closedHandler = ClosedHandler::Normal;
    if (!resolving)
        m_socket->Close();
    normalClosed();
    setState(hcIdle);
}
