#include "H2Session.h"

#include <QHash>
#include <QTest>

#include <nghttp2/nghttp2.h>

#include <cstring>

namespace {

// A server side of HTTP/2 in memory, scripted per path: answer with a body,
// reset the stream, or send GOAWAY; no socket between it and the client.
class TH2ScriptServer
{
public:
    enum class Action { Answer, Reset, GoAway };
    struct Route
    {
        Action action = Action::Answer;
        int status = 200;
        QByteArray body;
    };

    explicit TH2ScriptServer(quint32 streamLimit = 100)
    {
        nghttp2_session_callbacks *callbacks = nullptr;
        nghttp2_session_callbacks_new(&callbacks);
        nghttp2_session_callbacks_set_on_header_callback(callbacks, &TH2ScriptServer::header);
        nghttp2_session_callbacks_set_on_frame_recv_callback(callbacks, &TH2ScriptServer::frame);
        nghttp2_session_callbacks_set_on_stream_close_callback(callbacks, &TH2ScriptServer::closed);
        nghttp2_session_server_new(&m_session, callbacks, this);
        nghttp2_session_callbacks_del(callbacks);
        const nghttp2_settings_entry settings[] = {{NGHTTP2_SETTINGS_MAX_CONCURRENT_STREAMS, streamLimit}};
        nghttp2_submit_settings(m_session, NGHTTP2_FLAG_NONE, settings, 1);
    }
    ~TH2ScriptServer() { nghttp2_session_del(m_session); }

    QHash<QByteArray, Route> routes;
    int peakOpen = 0;
    qint32 clientStreamWindow() const
    {
        return qint32(nghttp2_session_get_remote_settings(m_session, NGHTTP2_SETTINGS_INITIAL_WINDOW_SIZE));
    }

    // Client and server talk until neither has anything more to say.
    void pump(TH2Session &client)
    {
        for (int turn = 0; turn < 10000; ++turn) {
            const QByteArray up = client.takeOutgoing();
            if (!up.isEmpty())
                nghttp2_session_mem_recv(m_session, reinterpret_cast<const uint8_t *>(up.constData()), size_t(up.size()));
            QByteArray down;
            const uint8_t *data = nullptr;
            for (ssize_t n; (n = nghttp2_session_mem_send(m_session, &data)) > 0;)
                down.append(reinterpret_cast<const char *>(data), qsizetype(n));
            if (!down.isEmpty())
                client.feed(down.constData(), int(down.size()));
            if (up.isEmpty() && down.isEmpty())
                return;
        }
    }

private:
    struct Sending
    {
        QByteArray body;
        qsizetype at = 0;
    };

    static TH2ScriptServer &self(void *user) { return *static_cast<TH2ScriptServer *>(user); }

    static nghttp2_nv field(const char *name, const QByteArray &value)
    {
        // nghttp2 copies the bytes when the response is submitted; it never writes to them.
        return {reinterpret_cast<uint8_t *>(const_cast<char *>(name)),
                reinterpret_cast<uint8_t *>(const_cast<char *>(value.constData())), std::strlen(name),
                size_t(value.size()), NGHTTP2_NV_FLAG_NONE};
    }

    static int header(nghttp2_session *, const nghttp2_frame *frame, const uint8_t *name, size_t namelen,
                      const uint8_t *value, size_t valuelen, uint8_t, void *user)
    {
        if (QByteArray(reinterpret_cast<const char *>(name), qsizetype(namelen)) == ":path")
            self(user).m_paths[frame->hd.stream_id] = QByteArray(reinterpret_cast<const char *>(value), qsizetype(valuelen));
        return 0;
    }

    static ssize_t read(nghttp2_session *, int32_t stream, uint8_t *buffer, size_t length, uint32_t *flags,
                        nghttp2_data_source *, void *user)
    {
        Sending &s = self(user).m_sending[stream];
        const size_t n = std::min(length, size_t(s.body.size() - s.at));
        std::memcpy(buffer, s.body.constData() + s.at, n);
        s.at += qsizetype(n);
        if (s.at == s.body.size())
            *flags |= NGHTTP2_DATA_FLAG_EOF;
        return ssize_t(n);
    }

    static int frame(nghttp2_session *session, const nghttp2_frame *frame, void *user)
    {
        TH2ScriptServer &s = self(user);
        if (frame->hd.type != NGHTTP2_HEADERS || !(frame->hd.flags & NGHTTP2_FLAG_END_STREAM))
            return 0;
        const int32_t stream = frame->hd.stream_id;
        s.peakOpen = std::max(s.peakOpen, ++s.m_open);
        const Route route = s.routes.value(s.m_paths.value(stream));
        switch (route.action) {
        case Action::Reset:
            nghttp2_submit_rst_stream(session, NGHTTP2_FLAG_NONE, stream, NGHTTP2_INTERNAL_ERROR);
            break;
        case Action::GoAway:
            // Streams before this one are answered elsewhere; this one and later are refused.
            nghttp2_submit_goaway(session, NGHTTP2_FLAG_NONE, stream - 2, NGHTTP2_NO_ERROR, nullptr, 0);
            break;
        case Action::Answer: {
            s.m_sending[stream] = {route.body, 0};
            const QByteArray status = QByteArray::number(route.status);
            const QByteArray length = QByteArray::number(route.body.size());
            nghttp2_nv headers[] = {field(":status", status), field("content-length", length)};
            nghttp2_data_provider provider{};
            provider.read_callback = &TH2ScriptServer::read;
            nghttp2_submit_response(session, stream, headers, 2, &provider);
            break;
        }
        }
        return 0;
    }

    static int closed(nghttp2_session *, int32_t, uint32_t, void *user)
    {
        --self(user).m_open;
        return 0;
    }

    nghttp2_session *m_session = nullptr;
    QHash<int32_t, QByteArray> m_paths;
    QHash<int32_t, Sending> m_sending;
    int m_open = 0;
};

// What the client session reported, per stream.
struct TStreams
{
    QHash<int, int> status;
    QHash<int, QByteArray> body;
    QHash<int, quint32> closed;
    QHash<int, QList<TH2Session::Field>> fields;
    TH2Session::Events events()
    {
        return {[this](int s, int code, const QList<TH2Session::Field> &f) {
                    status[s] = code;
                    fields[s] = f;
                },
                [this](int s, const char *d, int n) { body[s].append(d, n); },
                [this](int s, quint32 error) { closed[s] = error; }};
    }
};

QByteArray bytes(int size, int seed)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char(seed + i * 11);
    return b;
}

} // namespace

// One HTTP/2 connection's client side against a scripted server in memory:
// many streams at once, the server's stream limit, resets and GOAWAY, big
// bodies without window stalls, and bytes that are no HTTP/2.
class TestH2Session : public QObject
{
    Q_OBJECT

private slots:
    void manyStreamsShareOneConnection();
    void streamLimitOfTheServerHolds();
    void resetEndsOneStreamAlone();
    void goAwayRefusesTheLaterStreams();
    void bigBodyNeedsNoWindowWait();
    void garbageBreaksTheSession();
    void pingFloodWithoutReadingEndsTheSession();
};

void TestH2Session::manyStreamsShareOneConnection()
{
    TH2ScriptServer server;
    TStreams streams;
    TH2Session client(streams.events());
    QList<int> ids;
    for (int i = 0; i < 20; ++i) {
        const QByteArray path = "/p" + QByteArray::number(i) + ".jpg";
        server.routes[path] = {TH2ScriptServer::Action::Answer, 200, bytes(1000 + i, i)};
        ids << client.submit("GET", "https", "example.org", path, {{"user-agent", "test"}});
        QVERIFY(ids.last() > 0);
    }
    server.pump(client);
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(streams.status.value(ids[i]), 200);
        QCOMPARE(streams.body.value(ids[i]), bytes(1000 + i, i));
        QCOMPARE(streams.closed.value(ids[i], 99), 0u);
        QCOMPARE(streams.fields.value(ids[i]).value(0).first, QByteArray("content-length"));
    }
    QCOMPARE(client.openStreams(), 0);
    QVERIFY(client.usable());
}

void TestH2Session::streamLimitOfTheServerHolds()
{
    TH2ScriptServer server(2);
    TStreams streams;
    TH2Session client(streams.events());
    server.pump(client); // the server's settings arrive
    QCOMPARE(client.streamLimit(), 2u);
    int pending = 10, sent = 0;
    while (pending > 0) {
        while (pending > 0 && client.canSubmit()) {
            const QByteArray path = "/f" + QByteArray::number(sent);
            server.routes[path] = {TH2ScriptServer::Action::Answer, 200, path};
            QVERIFY(client.submit("GET", "https", "h", path, {}) > 0);
            --pending;
            ++sent;
        }
        QVERIFY(client.submit("GET", "https", "h", "/over", {}) == 0 || pending == 0);
        server.pump(client);
    }
    QCOMPARE(streams.body.size(), 10);
    QVERIFY(server.peakOpen <= 2);
}

void TestH2Session::resetEndsOneStreamAlone()
{
    TH2ScriptServer server;
    server.routes["/ok"] = {TH2ScriptServer::Action::Answer, 200, "fine"};
    server.routes["/bad"] = {TH2ScriptServer::Action::Reset, 0, {}};
    TStreams streams;
    TH2Session client(streams.events());
    const int ok = client.submit("GET", "https", "h", "/ok", {});
    const int bad = client.submit("GET", "https", "h", "/bad", {});
    server.pump(client);
    QCOMPARE(streams.closed.value(bad), quint32(NGHTTP2_INTERNAL_ERROR));
    QCOMPARE(streams.body.value(ok), QByteArray("fine"));
    QCOMPARE(streams.closed.value(ok, 99), 0u);
    QVERIFY(client.canSubmit());
}

void TestH2Session::goAwayRefusesTheLaterStreams()
{
    TH2ScriptServer server;
    server.routes["/a"] = {TH2ScriptServer::Action::Answer, 200, "a"};
    server.routes["/stop"] = {TH2ScriptServer::Action::GoAway, 0, {}};
    TStreams streams;
    TH2Session client(streams.events());
    const int a = client.submit("GET", "https", "h", "/a", {});
    const int stop = client.submit("GET", "https", "h", "/stop", {});
    const int later = client.submit("GET", "https", "h", "/later", {});
    server.pump(client);
    QVERIFY(client.goingAway());
    QVERIFY(!client.canSubmit());
    QCOMPARE(client.submit("GET", "https", "h", "/new", {}), 0);
    QCOMPARE(streams.body.value(a), QByteArray("a"));
    // Refused streams were never processed: safe to send again elsewhere.
    QCOMPARE(streams.closed.value(stop), quint32(NGHTTP2_REFUSED_STREAM));
    QCOMPARE(streams.closed.value(later), quint32(NGHTTP2_REFUSED_STREAM));
}

void TestH2Session::bigBodyNeedsNoWindowWait()
{
    TH2ScriptServer server;
    const QByteArray big = bytes(12 * 1024 * 1024, 5);
    server.routes["/big"] = {TH2ScriptServer::Action::Answer, 200, big};
    TStreams streams;
    TH2Session client(streams.events());
    const int id = client.submit("GET", "https", "h", "/big", {});
    server.pump(client);
    QCOMPARE(server.clientStreamWindow(), TH2Session::kStreamWindow);
    QCOMPARE(streams.body.value(id).size(), big.size());
    QVERIFY(streams.body.value(id) == big);
}

void TestH2Session::garbageBreaksTheSession()
{
    TStreams streams;
    TH2Session client(streams.events());
    client.takeOutgoing();
    const QByteArray garbage("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello, this is no HTTP/2 at all");
    QVERIFY(!client.feed(garbage.constData(), int(garbage.size())));
    QVERIFY(!client.usable());
    QVERIFY(!client.error().isEmpty());
    QVERIFY(!client.canSubmit());
}

void TestH2Session::pingFloodWithoutReadingEndsTheSession()
{
    // A server that sends PING after PING and never reads our answers: the
    // answers queue in bounded steps, and nghttp2's limit ends the session.
    TStreams streams;
    TH2Session client(streams.events());
    client.takeOutgoing();
    const QByteArray settings("\0\0\0\x04\0\0\0\0\0", 9);
    QVERIFY(client.feed(settings.constData(), int(settings.size())));
    const QByteArray ping = QByteArray("\0\0\x08\x06\0\0\0\0\0", 9) + QByteArray(8, 'p');
    const QByteArray burst = ping.repeated(1000);
    bool ended = false;
    for (int round = 0; round < 100 && !ended; ++round)
        ended = !client.feed(burst.constData(), int(burst.size()));
    QVERIFY(ended);
    QVERIFY(!client.usable());
    QVERIFY(client.takeOutgoing().size() <= 2 * TH2Session::kOutgoingStep);
}

QTEST_GUILESS_MAIN(TestH2Session)
#include "tst_h2session.moc"
