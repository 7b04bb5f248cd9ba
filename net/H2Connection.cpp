#include "H2Connection.h"

#include "TlsChannel.h"
#include "WSocket.h"

#include <QTimer>

#include <algorithm>

TH2Connection::TH2Connection(TWSocket *socket, std::unique_ptr<TTlsChannel> tls, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_tls(std::move(tls))
    , m_session({[this](int stream, int status, const QList<TH2Session::Field> &fields) {
                     if (TH2Stream *user = m_streams.value(stream))
                         user->h2Response(status, fields);
                 },
                 [this](int stream, const char *data, int len) {
                     if (TH2Stream *user = m_streams.value(stream))
                         user->h2Data(data, len);
                 },
                 [this](int stream, quint32 error) {
                     if (TH2Stream *user = m_streams.take(stream))
                         user->h2Closed(error);
                     startWaiting();
                 }})
    , m_idle(new QTimer(this))
{
    m_socket->setParent(this);
    m_socket->OnDataAvailable = [this](TWSocket *, int) { readable(); };
    m_socket->OnSessionClosed = [this](TWSocket *, int) { lose(kConnectionLost); };
    // The next step of what the session has to send goes once the last is out.
    m_socket->OnDataSent = [this](TWSocket *, int) { flush(); };
    m_idle->setInterval(kIdleMs);
    m_idle->setSingleShot(true);
    connect(m_idle, &QTimer::timeout, this, &TH2Connection::idleCheck);
    flush(); // our SETTINGS
}

TH2Connection::~TH2Connection()
{
    m_socket->OnDataAvailable = nullptr;
    m_socket->OnSessionClosed = nullptr;
    m_socket->OnDataSent = nullptr;
    if (m_socket->State() != wsClosed)
        m_socket->Close();
}

void TH2Connection::request(TH2Stream *user, const TRequest &request)
{
    if (m_lost) {
        user->h2Closed(kConnectionLost); // never sent: it may go again elsewhere
        return;
    }
    m_idle->stop();
    m_waiting.emplace_back(user, request);
    startWaiting();
}

void TH2Connection::startWaiting()
{
    while (!m_waiting.empty() && m_session.canSubmit()) {
        auto [user, r] = m_waiting.front();
        m_waiting.pop_front();
        const int stream = m_session.submit(r.method, r.scheme, r.authority, r.path, r.fields);
        if (stream == 0) {
            user->h2Closed(TH2Session::kRefusedStream);
            continue;
        }
        m_streams.insert(stream, user);
    }
    // Going away: what still waits will not be sent here.
    if (!m_waiting.empty() && (m_session.goingAway() || !m_session.usable())) {
        auto waiting = std::move(m_waiting);
        m_waiting.clear();
        for (auto &[user, r] : waiting)
            user->h2Closed(TH2Session::kRefusedStream);
    }
    flush();
    if (m_streams.isEmpty() && m_waiting.empty())
        m_idle->start();
    if (!acceptsMore())
        emit retired();
}

void TH2Connection::release(TH2Stream *user)
{
    for (auto it = m_streams.begin(); it != m_streams.end();) {
        if (it.value() == user) {
            m_session.cancel(it.key());
            it = m_streams.erase(it);
        } else {
            ++it;
        }
    }
    std::erase_if(m_waiting, [user](const auto &w) { return w.first == user; });
    flush();
}

bool TH2Connection::acceptsMore() const
{
    return !m_lost && m_session.usable() && !m_session.goingAway() && m_socket->State() == wsConnected;
}

int TH2Connection::freeStreams() const
{
    if (!acceptsMore())
        return 0;
    const qint64 limit = std::min<qint64>(m_session.streamLimit(), 1 << 20);
    return int(std::max<qint64>(0, limit - m_session.openStreams() - qint64(m_waiting.size())));
}

void TH2Connection::readable()
{
    char raw[65536];
    const int n = m_socket->Receive(raw, sizeof(raw));
    if (n <= 0)
        return;
    m_tls->feed(raw, n);
    char plain[65536];
    for (;;) {
        const int got = m_tls->read(plain, sizeof(plain));
        if (got < 0) {
            lose(kConnectionLost);
            return;
        }
        if (got == 0)
            break;
        if (!m_session.feed(plain, got)) {
            flush();
            lose(kConnectionLost);
            return;
        }
    }
    startWaiting();
}

void TH2Connection::flush()
{
    if (m_socket->State() != wsConnected || !m_socket->AllSent())
        return;
    const QByteArray out = m_session.takeOutgoing();
    if (out.isEmpty())
        return;
    if (m_tls->write(out.constData(), int(out.size())))
        m_socket->Send(m_tls->takeOutgoing());
}

void TH2Connection::lose(quint32 error)
{
    if (m_lost)
        return;
    m_lost = true;
    emit retired();
    const auto streams = std::exchange(m_streams, {});
    auto waiting = std::move(m_waiting);
    m_waiting.clear();
    for (TH2Stream *user : streams)
        user->h2Closed(error);
    for (auto &[user, r] : waiting)
        user->h2Closed(error);
    deleteLater();
}

void TH2Connection::idleCheck()
{
    if (m_streams.isEmpty() && m_waiting.empty()) {
        m_socket->OnSessionClosed = nullptr;
        lose(kConnectionLost);
    }
}
