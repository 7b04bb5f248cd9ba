#include "H2Session.h"

#include <nghttp2/nghttp2.h>

#include <utility>
#include <vector>

struct TH2Session::Handle
{
    nghttp2_session *session = nullptr;
    ~Handle()
    {
        if (session)
            nghttp2_session_del(session);
    }
};

// nghttp2 calls back with the session's user data: the TH2Session.
struct TH2Session::Callbacks
{
    static TH2Session &self(void *user) { return *static_cast<TH2Session *>(user); }

    static int beginHeaders(nghttp2_session *, const nghttp2_frame *frame, void *user)
    {
        if (frame->hd.type == NGHTTP2_HEADERS && frame->headers.cat == NGHTTP2_HCAT_RESPONSE)
            self(user).m_incoming[frame->hd.stream_id] = Incoming();
        return 0;
    }

    static int header(nghttp2_session *, const nghttp2_frame *frame, const uint8_t *name, size_t namelen,
                      const uint8_t *value, size_t valuelen, uint8_t, void *user)
    {
        TH2Session &s = self(user);
        const auto it = s.m_incoming.find(frame->hd.stream_id);
        if (it == s.m_incoming.end())
            return 0; // trailers, or a header of a stream already answered
        it->bytes += int(namelen + valuelen);
        if (it->bytes > kMaxHeaderBytes)
            return NGHTTP2_ERR_TEMPORAL_CALLBACK_FAILURE; // resets this stream alone
        const QByteArray key(reinterpret_cast<const char *>(name), qsizetype(namelen));
        const QByteArray text(reinterpret_cast<const char *>(value), qsizetype(valuelen));
        if (key == ":status")
            it->status = text.toInt();
        else
            it->fields.append({key, text});
        return 0;
    }

    static int frameReceived(nghttp2_session *, const nghttp2_frame *frame, void *user)
    {
        TH2Session &s = self(user);
        if (frame->hd.type == NGHTTP2_GOAWAY)
            s.m_goingAway = true;
        if (frame->hd.type != NGHTTP2_HEADERS || frame->headers.cat != NGHTTP2_HCAT_RESPONSE)
            return 0;
        const auto it = s.m_incoming.find(frame->hd.stream_id);
        if (it == s.m_incoming.end())
            return 0;
        if (it->status >= 100 && it->status < 200) {
            s.m_incoming.erase(it); // an interim answer: the real one follows
            return 0;
        }
        const Incoming response = *it;
        s.m_incoming.erase(it);
        if (s.m_events.response)
            s.m_events.response(frame->hd.stream_id, response.status, response.fields);
        return 0;
    }

    static int dataChunk(nghttp2_session *, uint8_t, int32_t stream, const uint8_t *data, size_t len, void *user)
    {
        TH2Session &s = self(user);
        if (s.m_events.data)
            s.m_events.data(stream, reinterpret_cast<const char *>(data), int(len));
        return 0;
    }

    static int streamClosed(nghttp2_session *, int32_t stream, uint32_t error, void *user)
    {
        TH2Session &s = self(user);
        s.m_incoming.remove(stream);
        --s.m_open;
        if (s.m_events.closed)
            s.m_events.closed(stream, error);
        return 0;
    }
};

TH2Session::TH2Session(Events events)
    : m_session(std::make_unique<Handle>())
    , m_events(std::move(events))
{
    nghttp2_session_callbacks *callbacks = nullptr;
    nghttp2_session_callbacks_new(&callbacks);
    nghttp2_session_callbacks_set_on_begin_headers_callback(callbacks, &Callbacks::beginHeaders);
    nghttp2_session_callbacks_set_on_header_callback(callbacks, &Callbacks::header);
    nghttp2_session_callbacks_set_on_frame_recv_callback(callbacks, &Callbacks::frameReceived);
    nghttp2_session_callbacks_set_on_data_chunk_recv_callback(callbacks, &Callbacks::dataChunk);
    nghttp2_session_callbacks_set_on_stream_close_callback(callbacks, &Callbacks::streamClosed);
    nghttp2_session_client_new(&m_session->session, callbacks, this);
    nghttp2_session_callbacks_del(callbacks);

    const nghttp2_settings_entry settings[] = {
        {NGHTTP2_SETTINGS_ENABLE_PUSH, 0},
        {NGHTTP2_SETTINGS_INITIAL_WINDOW_SIZE, quint32(kStreamWindow)},
        {NGHTTP2_SETTINGS_MAX_HEADER_LIST_SIZE, quint32(kMaxHeaderBytes)},
    };
    nghttp2_submit_settings(m_session->session, NGHTTP2_FLAG_NONE, settings, std::size(settings));
    nghttp2_session_set_local_window_size(m_session->session, NGHTTP2_FLAG_NONE, 0, kConnectionWindow);
}

TH2Session::~TH2Session() = default;

int TH2Session::submit(const QByteArray &method, const QByteArray &scheme, const QByteArray &authority,
                       const QByteArray &path, const QList<Field> &fields)
{
    if (!canSubmit())
        return 0;
    std::vector<nghttp2_nv> headers;
    auto add = [&headers](const QByteArray &name, const QByteArray &value) {
        headers.push_back({reinterpret_cast<uint8_t *>(const_cast<char *>(name.constData())),
                           reinterpret_cast<uint8_t *>(const_cast<char *>(value.constData())), size_t(name.size()),
                           size_t(value.size()), NGHTTP2_NV_FLAG_NONE});
    };
    const QByteArray methodKey(":method"), schemeKey(":scheme"), authorityKey(":authority"), pathKey(":path");
    add(methodKey, method);
    add(schemeKey, scheme);
    add(authorityKey, authority);
    add(pathKey, path);
    for (const Field &field : fields)
        add(field.first, field.second);
    const int32_t stream = nghttp2_submit_request(m_session->session, nullptr, headers.data(), headers.size(),
                                                  nullptr, nullptr);
    if (stream < 0)
        return 0;
    ++m_open;
    return stream;
}

void TH2Session::cancel(int stream)
{
    nghttp2_submit_rst_stream(m_session->session, NGHTTP2_FLAG_NONE, stream, NGHTTP2_CANCEL);
}

bool TH2Session::feed(const char *data, int len)
{
    if (!usable())
        return false;
    const ssize_t taken = nghttp2_session_mem_recv(m_session->session, reinterpret_cast<const uint8_t *>(data), size_t(len));
    if (taken < 0) {
        m_error = QString::fromLatin1(nghttp2_strerror(int(taken)));
        return false;
    }
    // Bytes that break the protocol make nghttp2 end the session itself: once
    // its GOAWAY is out, it wants nothing more from the server.
    // What nghttp2 queued is taken in bounded steps: a server that sends
    // without reading our answers (a PING flood) trips nghttp2's own limit
    // on queued replies instead of growing our buffers.
    if (m_outgoing.size() < kOutgoingStep)
        m_outgoing += drain(kOutgoingStep - m_outgoing.size());
    if (!m_goingAway && !nghttp2_session_want_read(m_session->session)) {
        m_error = QStringLiteral("the server broke the HTTP/2 protocol");
        return false;
    }
    return true;
}

QByteArray TH2Session::takeOutgoing()
{
    QByteArray out = std::exchange(m_outgoing, QByteArray());
    return out.size() < kOutgoingStep ? out + drain(kOutgoingStep - out.size()) : out;
}

QByteArray TH2Session::drain(qsizetype budget)
{
    QByteArray out;
    while (out.size() < budget) {
        const uint8_t *data = nullptr;
        const ssize_t n = nghttp2_session_mem_send(m_session->session, &data);
        if (n < 0) {
            m_error = QString::fromLatin1(nghttp2_strerror(int(n)));
            break;
        }
        if (n == 0)
            break;
        out.append(reinterpret_cast<const char *>(data), qsizetype(n));
    }
    return out;
}

bool TH2Session::canSubmit() const
{
    return usable() && !m_goingAway && quint32(m_open) < streamLimit();
}

quint32 TH2Session::streamLimit() const
{
    return nghttp2_session_get_remote_settings(m_session->session, NGHTTP2_SETTINGS_MAX_CONCURRENT_STREAMS);
}
