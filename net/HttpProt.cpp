#include "HttpProt.h"

#include "ConnectionPool.h"
#include "HttpProt_p.h"
#include "MemoryStream.h"
#include "SocketErrors.h"
#include "TlsChannel.h"
#include "WSocket.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QTimer>

#include <algorithm>
#include <cstring>

using namespace HttpWire;

THttpCli::THttpCli(QObject *parent)
    : QObject(parent)
    , m_socket(new TWSocket(this))
    , m_rawBlock(kRawBlockSize, Qt::Uninitialized)
{
    attachSocket(m_socket);
    m_raceTimer = new QTimer(this);
    m_raceTimer->setSingleShot(true);
    connect(m_raceTimer, &QTimer::timeout, this, &THttpCli::startFallback);
}

THttpCli::~THttpCli()
{
    // The sockets report nothing more to a client that is going away.
    releaseExchange();
    cancelRace();
    detachSocket();
}

void THttpCli::attachSocket(TWSocket *socket)
{
    m_socket = socket;
    m_socket->setParent(this);
    m_socket->OnDnsLookupDone = [this](TWSocket *, int error) { socketDnsLookupDone(error); };
    m_socket->OnSessionConnected = [this](TWSocket *, int error) { socketSessionConnected(error); };
    m_socket->OnDataAvailable = [this](TWSocket *, int) { socketDataAvailable(); };
    m_socket->OnDataSent = [this](TWSocket *, int) { socketDataSent(); };
    m_socket->OnSessionClosed = [this](TWSocket *, int error) { socketSessionClosed(error); };
}

TWSocket *THttpCli::detachSocket()
{
    m_socket->OnDnsLookupDone = nullptr;
    m_socket->OnSessionConnected = nullptr;
    m_socket->OnDataAvailable = nullptr;
    m_socket->OnDataSent = nullptr;
    m_socket->OnSessionClosed = nullptr;
    return m_socket;
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

THttpReply THttpCli::Get()
{
    const THttpReply refused = Begin(rqGet);
    if (refused.error != 0)
        return refused;
    waitUntilDone();
    return Result();
}

THttpReply THttpCli::Begin(THttpRequest kind)
{
    try {
        StartRequest(kind);
    } catch (const EHttpException &e) {
        THttpReply refused;
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

THttpReply THttpCli::Result() const
{
    THttpReply reply = m_reply;
    reply.error = m_doneError;
    reply.errorText = m_errorText;
    reply.status = ResponseCode;
    reply.statusText = m_doneError == 0 ? ResponseText : QString();
    reply.received = ReceivedBytes;
    reply.expected = ExpectedLength;
    reply.host = m_serverHost;
    reply.location = CurrentLocation;
    reply.mediaType = MediaType;
    reply.headerLines = HeaderLines;
    return reply;
}

void THttpCli::setAskedLogin(const QString &username, const QString &password)
{
    m_askedUsername = username;
    m_askedPassword = password;
}

THttpRequestData THttpCli::takeRequest(THttpRequest kind)
{
    THttpRequestData ask;
    ask.method = kind;
    ask.url = URL;
    ask.sender = Sender;
    ask.accept = Accept;
    ask.reference = Reference;
    ask.agent = Agent;
    ask.cookie = Cookie;
    ask.contentTypePost = ContentTypePost;
    ask.noCache = NoCache;
    ask.modifiedSince = ModifiedSince;
    ask.username = Username;
    ask.password = Password;
    ask.askedUsername = m_askedUsername;
    ask.askedPassword = m_askedPassword;
    ask.proxy = Proxy;
    ask.proxyPort = ProxyPort;
    ask.proxyUsername = ProxyUsername;
    ask.proxyPassword = ProxyPassword;
    // The range belongs to this request alone.
    ask.rangeBegin = std::exchange(ContentRangeBegin, QString());
    ask.rangeEnd = std::exchange(ContentRangeEnd, QString());
    ask.ifRange = std::exchange(m_nextIfRange, QString());
    return ask;
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

void THttpCli::StartPreconnect()
{
    if (m_pool)
        StartRequest(rqGet, true);
}

void THttpCli::StartRequest(THttpRequest kind, bool connectOnly)
{
    if (m_state != hcIdle)
        throw EHttpException(QStringLiteral("HTTP component is busy"), 1);
    m_connectOnly = connectOnly;
    if (kind == rqPost && !PostStream)
        throw EHttpException(QStringLiteral("HTTP component has nothing to post"), 2);

    ++m_requestId; // notices of earlier requests are dropped from now on
    m_socket->MultiThreaded = MultiThreaded;
    HeaderLines.clear();
    m_ask = takeRequest(kind);
    m_reply = {};
    m_doneError = 0;
    m_errorText.clear();
    m_closeHandled = false;
    m_closedHandler = ClosedHandler::Normal;
    m_relocationPending = false;
    m_loginPending = false;
    m_origin = OriginKey(m_ask.url);
    m_relocations = 0;
    m_freshConnectionOnly = false;
    m_quietReconnect = false;
    setState(hcStarting);
    ResponseCode = 0;
    ReceivedBytes = 0;
    PostedBytes = 0;
    m_headerLines = 0;
    m_bodyPieces = 0;
    ExpectedLength = -1;
    MediaType.clear();
    CurrentLocation = m_ask.url;

    const TUrlParts url = SplitUrl(m_ask.url);
    m_serverHost = url.host;
    // A login written into the URL is this request's; it does not become the client's.
    m_authUser = url.user.isEmpty() ? m_ask.username : url.user;
    m_authPassword = url.user.isEmpty() ? m_ask.password : url.pass;
    m_useTls = IsHttpsScheme(url.proto);
    m_serverPort = url.port.isEmpty() ? DefaultPort(m_useTls) : url.port;
    m_tunnelTarget.clear();
    if (m_ask.proxy.isEmpty()) {
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
        const TUrlParts proxy = SplitUrl(m_ask.proxy);
        m_connectHost = proxy.host;
        m_connectPort = proxy.port.isEmpty() ? m_ask.proxyPort : proxy.port;
    }
    m_requestPath = withoutFragment(m_requestPath);
    if (m_requestPath.isEmpty())
        m_requestPath = QStringLiteral("/");
    if (hasControlCharacter(m_ask.url) || hasControlCharacter(m_ask.proxy)) {
        failRequest(kInvalidUrl, QStringLiteral("invalid URL: it holds a control character"));
        return;
    }
    if (!validPort(url.port)) {
        // Refused before any look-up, in the words of a connection refused.
        ResponseCode = 404;
        ResponseText = QStringLiteral("can't connect: the port \"%1\" is not a number from 1 to 65535").arg(url.port);
        failRequest(kInvalidUrl, ResponseText);
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
    m_inBody = false;
    m_closedHandler = ClosedHandler::Normal;
    m_closeHandled = false;
    // Every response, the first or a relocation's, is judged on its own header.
    ExpectedLength = -1;
    m_headerLines = 0;
    m_headerBytes = 0;
    m_bodyPieces = 0;
    cancelRace();
    releaseExchange();
    m_tls.reset();
    m_tunnelPending = false;
    m_reply.contentRange = {};
    m_reply.etag.clear();
    const quint64 request = m_requestId;
    setState(hcResolving);
    if (overtaken(request))
        return;
    if (TH2Connection *shared = m_pool && !m_freshConnectionOnly && m_ask.method != rqPost
                                    ? m_pool->shared(connectionKey())
                                    : nullptr) {
        // An HTTP/2 connection to this server runs: the request becomes one more stream on it.
        m_h2.attach(shared);
        QMetaObject::invokeMethod(
            this,
            [this, request, shared = QPointer<TH2Connection>(shared)] {
                if (overtaken(request) || m_h2.connection() != shared)
                    return;
                if (shared && shared->acceptsMore()) {
                    pooledConnected();
                    return;
                }
                // The connection went between the two turns: the request goes
                // on a fresh one, as it would had it been refused there.
                releaseStream();
                sendAgainOnFreshConnection();
            },
            Qt::QueuedConnection);
        return;
    }
    if (takePooledConnection()) {
        // Connected already: the steps of a new connection follow on the next turn.
        QMetaObject::invokeMethod(
            this,
            [this, request, taken = m_socket] {
                if (!overtaken(request) && m_reusedConnection && m_socket == taken)
                    pooledConnected();
            },
            Qt::QueuedConnection);
        return;
    }
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
    releaseExchange();
    if (m_socket->State() != wsClosed)
        m_socket->Close();
    normalClosed();
}

void THttpCli::setState(THttpCliState state)
{
    if (state == m_state)
        return;
    m_state = state;
    // The second try on a fresh connection tells nothing until it stands
    // where the first one was: awaiting the header, or ending.
    const bool quiet = m_quietReconnect;
    if (state == hcAwaitingHeader || state == hcAborting || state == hcIdle)
        m_quietReconnect = false;
    if (OnStateChange && !(quiet && (state != hcAborting && state != hcIdle)))
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
    case Notice::RequestDone: {
        // A snapshot: the done event may start the next request at once.
        const THttpReply reply = Result();
        const QPointer<THttpCli> alive(this);
        if (OnRequestDone)
            OnRequestDone(this, m_ask.method, m_doneError);
        if (alive)
            emit replied(reply);
        break;
    }
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

void THttpCli::socketSessionConnected(int error)
{
    if (error != 0) {
        primaryFailed(error, QStringLiteral("%1 (Error #%2)").arg(SocketErrorText(error)).arg(error));
        return;
    }
    cancelRace(); // the first address won
    const quint64 request = m_requestId;
    setState(hcConnected);
    if (overtaken(request))
        return;
    if (OnSessionConnected && !m_quietReconnect)
        OnSessionConnected(this);
    if (overtaken(request))
        return;
    if (m_h2.connection() || (m_tls && m_tls->established())) {
        sendRequest(); // a kept connection: its TLS session goes on, or a stream on a shared one
        return;
    }
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

void THttpCli::socketSessionClosed(int error)
{
    // Whatever plaintext the TLS layer still holds belongs to the response.
    while (m_tls && m_tls->established() && m_tls->hasPending() && !m_h1.complete() && answerWanted()) {
        const qint64 before = m_h1.bytesSeen();
        m_h1.readAvailable();
        if (m_h1.bytesSeen() == before)
            break;
    }
    if (retryOnFreshConnection())
        return;
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

// A server may close a kept connection just as a request goes out on it:
// nothing of an answer came, so the request is sent once more on a fresh
// connection, quietly, as if the first had never been. A close of our own
// for a relocation is no such thing.
bool THttpCli::retryOnFreshConnection()
{
    const bool nothingCame = m_headerLines == 0 && !m_inBody && m_h1.nothingCame();
    if (!m_reusedConnection || m_freshConnectionOnly || !nothingCame || m_ask.method == rqPost
        || m_doneError != 0 || m_closedHandler == ClosedHandler::Relocation || m_state == hcAwaitingBody
        || m_state == hcAborting || m_state == hcIdle)
        return false;
    sendAgainOnFreshConnection();
    return true;
}

// The request goes out once more on a connection of its own; this try's end
// tells nothing, and neither do the new connection's first steps.
void THttpCli::sendAgainOnFreshConnection()
{
    m_freshConnectionOnly = true;
    m_reusedConnection = false;
    m_quietReconnect = true;
    m_closeHandled = true;
    postNotice(Notice::Relocate);
}

// A close is the end of a response only when the whole response came.
void THttpCli::checkComplete()
{
    if (m_doneError != 0 || m_state == hcAborting || m_state == hcIdle || ResponseCode >= 400)
        return;
    if (!m_inBody) {
        m_doneError = kIncompleteResponse;
        m_errorText = QStringLiteral("connection closed before the response was complete");
    } else if (const QString cut = m_h1.closedEarly(); !cut.isEmpty()) {
        m_doneError = kIncompleteResponse;
        m_errorText = cut;
    } else if (ExpectedLength >= 0 && ReceivedBytes < ExpectedLength && !hasNoBody(m_ask.method, ResponseCode)) {
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
    releaseStream();
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
    if (std::exchange(m_loginPending, false)) {
        postNotice(Notice::Relocate); // the same URL again, with the login
        return;
    }
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
    cancelRace();
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
    if (!resolving || m_socket->State() != wsClosed)
        m_socket->Close();
    normalClosed();
    setState(hcIdle);
}
