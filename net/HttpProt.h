#pragma once

#include "H2Connection.h"
#include "H1Exchange.h"
#include "H2Exchange.h"
#include "HttpExchange.h"
#include "HttpResponseHead.h"
#include "RunSettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>

class QIODevice;
class QTimer;
class TConnectionPool;
class TTlsChannel;
class TWSocket;

enum THttpCliState {
    hcIdle,
    hcStarting,
    hcConnected,
    hcResolving,
    hcConnecting,
    hcAwaitingHeader,
    hcAwaitingBody,
    hcAborting
};

class EHttpException : public std::runtime_error
{
public:
    EHttpException(const QString &message, int code)
        : std::runtime_error(message.toStdString())
        , Code(code)
    {
    }
    QString message() const { return QString::fromStdString(what()); }
    int Code;
};

// The parts of a URL as the client splits it; each empty when absent.
struct TUrlParts
{
    QString proto, user, pass, host, port, path;
};
TUrlParts SplitUrl(const QString &url);

// Whether a URL's scheme is https, and the port a scheme uses when none is named.
bool IsHttpsScheme(const QString &proto);
QString DefaultPort(bool tls);

// "host:port" of the server a URL names, the host in lower case and the
// scheme's port when none is given: what a login is kept for.
QString ServerKey(const QString &url);
// "scheme://host:port" of a URL, the scheme and host in lower case.
QString OriginKey(const QString &url);

// A Location value resolved against the URL it came from, as browsers do:
// absolute, scheme-relative ("//host/x"), rooted ("/x") or relative ("x", "../x").
QString ResolveLocation(const QString &base, const QString &location);

// "Mon, 02 Jan 2006 15:04:05" of a date and time, used as it is.
QString FormatHttpDate(const QDateTime &when);

// An HTTP client for one request at a time. It reaches the server (a kept
// connection, or the resolver's addresses; a proxy's tunnel; TLS) and hands
// the request to the exchange handler of the protocol spoken there: without
// a pool HTTP/1.0 on a connection of its own, the body ending at its length
// or when the server closes; with one, HTTP/1.1 on kept connections (chunked
// bodies too) and HTTP/2 as a stream of a shared connection. Every step is
// driven by socket events; results arrive through the On... events, the
// run-time values and the reply.
class THttpCli : public QObject, private TExchangeSink, private TH1Channel
{
    Q_OBJECT

public:
    // Relocations followed in a row before a request gives up.
    static constexpr int kMaxRelocations = 20;
    static constexpr int kRawBlockSize = 256 * 1024;
    // The most address space set aside ahead for a body of announced length.
    static constexpr qint64 kMaxReservedBody = 1LL << 30;
    // Done errors of our own, beside the socket's error numbers.
    static constexpr int kAborted = 3;
    static constexpr int kTooManyRelocations = 5;
    static constexpr int kIncompleteResponse = 6;
    static constexpr int kMalformedStatus = 7;
    static constexpr int kHeaderTooLarge = 8;
    static constexpr int kInvalidUrl = 9;
    static constexpr int kCertificateError = 10;
    static constexpr int kTlsError = 11;
    static constexpr int kTunnelRefused = 12;
    static constexpr int kBadFraming = 13;
    // A part of a file came that was not asked for, or from another version of it.
    static constexpr int kWrongRange = 14;
    // Generous for real servers; a header beyond either ends the request.
    static constexpr int kMaxHeaderBytes = 256 * 1024;
    static constexpr int kMaxHeaderLines = 1000;
    // How long the resolver's first address is tried alone before the first
    // of the other family (IPv4 beside IPv6, or the reverse) joins it.
    static constexpr int kHeadStartMs = 250;

    explicit THttpCli(QObject *parent = nullptr);
    ~THttpCli() override;

    // Published properties.
    QString URL;
    QString Proxy;
    QString ProxyPort = QStringLiteral("80");
    QString Sender;
    QString Agent = QStringLiteral("Mozilla/3.0 (compatible)");
    QString Accept = QStringLiteral("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*");
    QString Reference;
    QString Username;
    QString Password;
    QString ProxyUsername;
    QString ProxyPassword;
    bool NoCache = false;
    QDateTime ModifiedSince;
    QString Cookie;
    QString ContentTypePost = QStringLiteral("application/x-www-form-urlencoded");
    // The range the next request asks for ("Range: bytes=Begin-End"). Taken
    // by the request as it starts, and cleared: they never carry over.
    QString ContentRangeBegin;
    QString ContentRangeEnd;
    bool MultiThreaded = false;
    QString Name;
    qintptr Tag = 0;

    // Run-time values.
    QIODevice *ReceiveStream = nullptr;
    QIODevice *PostStream = nullptr;
    int ResponseCode = 0;
    QString ResponseText;
    qint64 ExpectedLength = -1;
    qint64 ReceivedBytes = 0;
    qint64 PostedBytes = 0;
    QString MediaType;
    QStringList HeaderLines;
    QString CurrentLocation;
    QString AcceptRanges() const { return m_reply.acceptRanges; }
    THttpCliState ClientState() const { return m_state; }
    // The outcome of the last request; complete once OnRequestDone has come.
    THttpReply Result() const;
    // What the running (or last) request asked for.
    const THttpRequestData &Request() const { return m_ask; }

    // With the next request, and with it alone: If-Range, the validator of
    // the part already held; a server whose file changed answers with all of it.
    void setIfRange(const QString &validator) { m_nextIfRange = validator; }
    // A login sent only when the request's own server answers 401: the
    // request then goes once more with it, and loginAsked names that server
    // ("scheme://host:port"). Kept for every request of this client.
    void setAskedLogin(const QString &username, const QString &password);
    TWSocket *socket() const { return m_socket; }
    // The shared HTTP/2 connection this request runs on; null over HTTP/1.x.
    TH2Connection *h2Connection() const { return m_h2.connection(); }

    // Blocking GET: runs a nested event loop until the request is done;
    // throws EHttpException when the status code is 400 or more or the
    // request failed. The program's own runs never wait so (they go on from
    // OnRequestDone); tests and benchmarks read an outcome in line with these.
    void Fetch();
    // The same blocking GET with its outcome as a value.
    THttpReply Get();
    // Starts a request without waiting; a non-zero error in the result says
    // why it could not start (its end is then not reported).
    THttpReply Begin(THttpRequest kind = rqGet);
    // Non-blocking GET; its end is OnRequestDone.
    void StartFetch();
    void StartPost();
    void StartHead();
    // Opens a new connection to URL's server (TLS included) and leaves it in
    // the pool for a request soon after; nothing is sent. Its end is
    // OnRequestDone, error 0 also when the server shares an HTTP/2
    // connection already. Without a pool it does nothing.
    void StartPreconnect();
    void AbortRequest();
    // The proxy and its login when enabled, else none.
    void setProxy(const TProxySettings &proxy);
    // With a pool, requests go out as HTTP/1.1 and a connection whose
    // response ended whole is kept there for the next request to its server;
    // without one (the default), every request is HTTP/1.0 on a connection
    // of its own that the server closes.
    void setConnectionPool(TConnectionPool *pool) { m_pool = pool; }
    TConnectionPool *connectionPool() const { return m_pool; }

    // Events.
    std::function<void(THttpCli *)> OnSessionConnected;
    std::function<void(THttpCli *)> OnHeaderData;
    std::function<void(THttpCli *, QString &)> OnCommand;
    std::function<void(THttpCli *)> OnHeaderBegin;
    std::function<void(THttpCli *)> OnHeaderEnd;
    std::function<void(THttpCli *)> OnRequestHeaderBegin;
    std::function<void(THttpCli *)> OnRequestHeaderEnd;
    std::function<void(THttpCli *)> OnDocBegin;
    std::function<void(THttpCli *, const char *, int)> OnDocData;
    std::function<void(THttpCli *)> OnDocEnd;
    std::function<void(THttpCli *)> OnSendBegin;
    std::function<void(THttpCli *, const char *, int)> OnSendData;
    std::function<void(THttpCli *)> OnSendEnd;
    std::function<void(THttpCli *)> OnStateChange;
    std::function<void(THttpCli *, THttpRequest, int)> OnRequestDone;
    std::function<void(THttpCli *)> OnLocationChange;
    std::function<void(THttpCli *, const QString &, bool &)> OnCookie;

signals:
    // The request's end with its reply, right after OnRequestDone.
    void replied(const THttpReply &reply);
    // The request's own server asked for a login and the asked login goes to it.
    void loginAsked(const QString &origin);

private:
    enum class Notice { Ready, RequestDone, Relocate };
    struct PendingNotice
    {
        Notice kind;
        quint64 request;
    };
    enum class ClosedHandler { Normal, Relocation };

    void StartRequest(THttpRequest kind, bool connectOnly = false);
    // The next request from the properties; the range ones are cleared.
    THttpRequestData takeRequest(THttpRequest kind);
    void beginConnection();
    // The pool's key for the connection this request needs.
    QString connectionKey() const;
    bool takePooledConnection();
    void pooledConnected();
    void attachSocket(TWSocket *socket);
    TWSocket *detachSocket();
    bool connectionReusable() const;
    void parkConnection();
    // A kept connection the server had closed: the request goes again once on a fresh one.
    bool retryOnFreshConnection();
    void sendAgainOnFreshConnection();
    void replaceSocket(TWSocket *next);
    // HTTP/2: the connection the request runs on, shared with other clients.
    void becomeH2();
    void releaseStream() { m_h2.release(); }
    void releaseExchange();
    // The answer, as the exchange handler tells it.
    void answerStatus(int status, const QString &reason, const QString &line) override;
    void answerField(const QString &line, const QString &name, const QString &value) override;
    void answerHeadEnded(bool lengthFrames) override;
    void answerWithoutHead() override;
    char *answerBodySpace(int size) override;
    void answerBody(const char *data, int len, bool placed) override;
    void answerEnded(quint32 error) override;
    void answerFailed(int error, const QString &text) override;
    bool answerWanted() const override;
    void requestLine(QString &line) override;
    // The request ends now with this done error; the connection is closed.
    void failRequest(int error, const QString &text);
    // True when the request that was running as `request` has been aborted or
    // replaced from inside an event handler: the caller must not go on.
    bool overtaken(quint64 request) const;
    void checkComplete();
    void setState(THttpCliState state);
    void postNotice(Notice kind);
    void runNotice();
    void waitUntilDone();
    void drainNotices();

    void socketDnsLookupDone(int error);
    bool connectSocket(TWSocket *socket, const QString &address);
    void primaryFailed(int error, const QString &text);
    void startFallback();
    void fallbackConnected(int error);
    void cancelRace();
    void socketSessionConnected(int error);
    void socketDataAvailable();
    // Plaintext from the connection, through TLS when it has it; 0 when none now.
    int receive(char *buffer, int size) override;
    void send(const char *data, int len) override;
    bool closeMayCut() const override;
    void sendRequest();
    void sendConnect();
    void readTunnelAnswer();
    void startTls();
    void driveHandshake();
    void failTls();
    void socketDataSent();
    void socketSessionClosed(int error);
    void normalClosed();
    void relocationClosed();

    TRequestHead requestHead(const QByteArray &method) const;
    void BuildRequest(const QString &method);
    void sendPostBlock();
    bool headerPartCounted(qsizetype bytes);
    void fieldReceived(const QString &line, const QString &name, const QString &value);
    // store: false when the data already stands in the receive stream.
    void HandleBodyData(const char *data, int len, bool store = true);
    bool handleLocation(const QString &location);
    void endResponse();
    // False when the header asks for the request to fail.
    bool handleField(const QString &field, const QString &value);
    // An interim (1xx) answer is passed over: the real one follows it.
    void skipInterimResponse();
    // The answer asks for the request to go again (a relocation or a login):
    // the rest of it is not read.
    void requestAgain();
    // False when a part came that this request did not ask for.
    bool rangeAnswerFits();
    // The server of the request's own URL asks for a login we have and did not send.
    bool mayAnswerLoginRequest() const;
    QString currentOrigin() const;

    TWSocket *m_socket;
    THttpCliState m_state = hcIdle;
    THttpRequestData m_ask;   // the running request, whole
    THttpReply m_reply;       // what the running request's answers brought beyond the run-time values
    QString m_nextIfRange;
    QString m_askedUsername, m_askedPassword;
    QString m_serverHost;
    QString m_serverPort; // the port the server is asked on, the scheme's when none was named
    QString m_authUser, m_authPassword; // the login this request sends
    QString m_connectHost;
    QString m_connectPort;
    QString m_requestPath;
    int m_doneError = 0;
    QString m_errorText;
    bool m_closeHandled = false; // the closed handler ran for this connection
    bool m_relocationPending = false;
    bool m_loginPending = false; // the same request goes again, with the asked login
    QString m_origin;            // "scheme://host:port" of the request's own URL
    bool m_allowSending = false;
    bool m_inBody = false; // the answer's head has ended: body data follows
    int m_headerLines = 0;
    qint64 m_headerBytes = 0;
    int m_bodyPieces = 0;
    int m_relocations = 0;
    ClosedHandler m_closedHandler = ClosedHandler::Normal;
    QByteArray m_rawBlock; // TLS records as they came, before decryption
    std::unique_ptr<TTlsChannel> m_tls;
    bool m_useTls = false;
    QString m_tunnelTarget; // "host:port" a proxy is asked to connect to, for TLS
    bool m_tunnelPending = false;
    QByteArray m_tunnelHeader;
    quint64 m_requestId = 0;
    std::deque<PendingNotice> m_notices;
    TConnectionPool *m_pool = nullptr;
    bool m_reusedConnection = false; // this request went out on a kept connection
    bool m_freshConnectionOnly = false; // after a kept one failed under it
    bool m_connectOnly = false;         // a preconnect: the connection goes to the pool unused
    bool m_quietReconnect = false; // the states of that second try are not told again
    // The request's exchange: over the client's own connection, or as a
    // stream of a shared HTTP/2 connection (which may go away between two turns).
    TH1Exchange m_h1{*this, *this};
    TH2Exchange m_h2{*this};
    QTimer *m_raceTimer;
    QString m_fallbackAddress; // the other family's first address, not tried yet
    TWSocket *m_raceSocket = nullptr; // the connection to it, while it runs
    int m_primaryError = 0; // the first address failed with this
    QString m_primaryText;
};
