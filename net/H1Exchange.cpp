#include "H1Exchange.h"

#include "HttpProt.h"
#include "HttpProt_p.h"
#include "HttpResponseHead.h"

#include <algorithm>
#include <cstring>
#include <utility>

TH1Exchange::TH1Exchange(TExchangeSink &sink, TH1Channel &channel)
    : m_sink(sink)
    , m_channel(channel)
    , m_lineBuffer(kLineBufferSize + 1, '\0')
    , m_bodyBlock(kBodyBlockSize, Qt::Uninitialized)
{
}

void TH1Exchange::reset()
{
    ++m_turn;
    m_active = false;
    m_phase = Phase::Status;
    m_held = 0;
    m_seen = 0;
    m_received = 0;
    m_status = 0;
    m_minor = 0;
    m_length = -1;
    m_lengthSeen = false;
    m_chunked = false;
    m_lengthAndChunked = false;
    m_serverCloses = false;
    m_bytesAfterBody = false;
    m_chunks = TChunkedDecoder();
}

void TH1Exchange::send(const TRequestHead &head)
{
    reset();
    m_active = true;
    m_headRequest = head.method == "HEAD";
    const quint64 turn = m_turn;
    QByteArray request;
    writeLine(request, QString::fromLatin1(head.method + ' ' + head.target)
                           + (m_version11 ? QStringLiteral(" HTTP/1.1") : QStringLiteral(" HTTP/1.0")));
    for (const auto &[name, value] : head.fields)
        writeLine(request, QString::fromLatin1(name) + QLatin1String(": ") + QString::fromUtf8(value));
    writeLine(request, QString());
    if (turn == m_turn)
        m_channel.send(request.constData(), int(request.size()));
}

void TH1Exchange::writeLine(QByteArray &request, QString line)
{
    m_sink.requestLine(line);
    request += line.toUtf8();
    request += "\r\n";
}

// What comes when no answer is wanted is read and dropped, so the
// connection never stays readable with nobody to read it.
void TH1Exchange::drain()
{
    char scratch[4096];
    m_channel.receive(scratch, sizeof(scratch));
}

void TH1Exchange::readAvailable()
{
    if (!m_active || !m_sink.answerWanted()) {
        drain();
        return;
    }
    // Once the head is complete the body is read in large blocks.
    if (m_phase == Phase::Body && m_held == 0) {
        readBody();
        return;
    }
    const int free = kLineBufferSize - m_held;
    if (free <= 0) {
        // A line longer than the buffer is past any header a server sends.
        fail(THttpCli::kHeaderTooLarge,
             QStringLiteral("response header too large: a line longer than %1 bytes").arg(kLineBufferSize));
        return;
    }
    const quint64 turn = m_turn;
    const int n = m_channel.receive(m_lineBuffer.data() + m_held, free);
    if (n <= 0 || turn != m_turn)
        return;
    m_seen += n;
    m_held += n;
    m_lineBuffer[m_held] = '\0';
    if (m_phase == Phase::Body) {
        // The rest of a head-less answer's lines, and what came after them, in one piece.
        const int held = std::exchange(m_held, 0);
        bodyBytes(m_lineBuffer.constData(), held);
        return;
    }
    processHeldLines();
}

void TH1Exchange::readBody()
{
    const quint64 turn = m_turn;
    if (m_chunked) {
        const int n = m_channel.receive(m_bodyBlock.data(), kBodyBlockSize);
        if (n > 0 && turn == m_turn) {
            m_seen += n;
            bodyBytes(m_bodyBlock.constData(), n);
        }
        return;
    }
    // Never past the body's length: what follows it is not this answer's.
    const int room = int(m_length < 0 ? kBodyBlockSize : std::min<qint64>(kBodyBlockSize, m_length - m_received));
    if (room <= 0)
        return;
    char *space = m_sink.answerBodySpace(room);
    char *at = space ? space : m_bodyBlock.data();
    const int n = m_channel.receive(at, room);
    if (n <= 0 || turn != m_turn)
        return;
    m_seen += n;
    deliver(at, n, space != nullptr);
}

void TH1Exchange::processHeldLines()
{
    const quint64 turn = m_turn;
    while (m_held > 0 && still(turn)) {
        char *buffer = m_lineBuffer.data();
        // A line ends at its line feed, looked for up to the first zero byte.
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
        if (m_phase == Phase::Body)
            deliver(line.constData(), int(line.size()), false); // a head-less answer's lines, as they are
        else
            HandleHeaderLine(line);
    }
}

void TH1Exchange::HandleHeaderLine(const QByteArray &line)
{
    if (line.left(6).toUpper() == "<HTML>") {
        withoutHead(line);
        return;
    }
    if (m_phase == Phase::Status) {
        const std::optional<THttpStatusLine> status = ParseStatusLine(line);
        if (!status) {
            fail(THttpCli::kMalformedStatus, QStringLiteral("malformed status line"));
            return;
        }
        m_status = status->code;
        m_minor = status->minorVersion;
        m_phase = Phase::Fields;
        m_sink.answerStatus(status->code, status->text, QString::fromLatin1(line));
        return;
    }
    if (line.isEmpty()) {
        headEnded();
        return;
    }
    const std::optional<THeaderField> field = ParseHeaderField(line);
    if (field && !framingField(field->name, field->value))
        return;
    m_sink.answerField(QString::fromLatin1(line), field ? field->name : QString(), field ? field->value : QString());
}

// No head at all: the document starts with this line, and the lines held
// behind it follow as they are, each without its line end.
void TH1Exchange::withoutHead(const QByteArray &line)
{
    const quint64 turn = m_turn;
    m_phase = Phase::Body;
    m_sink.answerWithoutHead();
    if (still(turn))
        deliver(line.constData(), int(line.size()), false);
}

bool TH1Exchange::framingField(const QString &name, const QString &value)
{
    if (name == QLatin1String("content-length")) {
        // Two lengths that differ leave the body's end unknown (RFC 9112 6.3).
        const qint64 length = ParseContentLength(value);
        if (length == kConflictingLength || (m_lengthSeen && length != m_length)) {
            fail(THttpCli::kBadFraming, QStringLiteral("the response names two different lengths (Content-Length)"));
            return false;
        }
        m_lengthSeen = true;
        m_length = length;
    } else if (name == QLatin1String("connection")) {
        m_serverCloses = m_serverCloses || value.contains(QLatin1String("close"), Qt::CaseInsensitive);
    } else if (name == QLatin1String("transfer-encoding") && (m_version11 || m_minor >= 1)) {
        // An HTTP/1.1 answer may come in chunks, even to an HTTP/1.0 request.
        m_chunked = value.trimmed().endsWith(QLatin1String("chunked"), Qt::CaseInsensitive);
    }
    return true;
}

bool TH1Exchange::noBody() const
{
    return HttpWire::hasNoBody(m_headRequest ? rqHead : rqGet, m_status);
}

// The empty line: what follows is the body, another answer (after an
// interim one) or nothing.
void TH1Exchange::headEnded()
{
    const bool interim = HttpWire::isInterim(m_status);
    if (noBody())
        m_chunked = false; // whatever the head says, no body follows
    if (m_chunked && m_length >= 0) {
        // Chunks decide where the body ends; a length beside them is not trusted.
        m_lengthAndChunked = true;
        m_length = -1;
    }
    const quint64 turn = m_turn;
    m_sink.answerHeadEnded(!m_lengthAndChunked);
    if (!still(turn))
        return;
    if (interim) {
        m_phase = Phase::Status;
        m_status = 0;
        m_length = -1;
        m_lengthSeen = false;
        m_chunked = false;
        m_serverCloses = false;
        return;
    }
    m_phase = Phase::Body;
    if (noBody() || m_length == 0) {
        m_bytesAfterBody = m_held > 0;
        m_held = 0;
        finish();
        return;
    }
    if (m_held > 0)
        bodyBytes(m_lineBuffer.constData(), std::exchange(m_held, 0));
}

void TH1Exchange::bodyBytes(const char *data, int len)
{
    if (!m_chunked) {
        deliver(data, len, false);
        return;
    }
    const quint64 turn = m_turn;
    int consumed = 0;
    const TChunkedDecoder::Status status = m_chunks.feed(data, len, &consumed, [&](const char *piece, int n) {
        deliver(piece, n, false);
        return still(turn);
    });
    if (!still(turn))
        return;
    if (status == TChunkedDecoder::Status::Malformed) {
        fail(THttpCli::kBadFraming, m_chunks.error());
    } else if (status == TChunkedDecoder::Status::Done) {
        m_bytesAfterBody = consumed < len;
        finish();
    }
}

void TH1Exchange::deliver(const char *data, int len, bool placed)
{
    // What comes after the announced length is not body.
    if (m_length >= 0 && len > m_length - m_received) {
        m_bytesAfterBody = true;
        len = int(std::max<qint64>(0, m_length - m_received));
    }
    if (len <= 0)
        return;
    m_received += len;
    const quint64 turn = m_turn;
    m_sink.answerBody(data, len, placed);
    // Chunks end with their last one, after every piece: that end is bodyBytes'.
    if (still(turn) && !m_chunked && complete())
        finish();
}

bool TH1Exchange::complete() const
{
    if (m_phase != Phase::Body)
        return false;
    return m_chunked ? m_chunks.done() : m_length >= 0 && m_received >= m_length;
}

void TH1Exchange::finish()
{
    m_sink.answerEnded(0);
}

void TH1Exchange::fail(int error, const QString &text)
{
    m_sink.answerFailed(error, text);
}

bool TH1Exchange::reusable() const
{
    return m_minor >= 1 && !m_serverCloses && !m_lengthAndChunked && !m_bytesAfterBody && m_held == 0;
}

QString TH1Exchange::closedEarly() const
{
    if (m_phase != Phase::Body)
        return {};
    if (m_chunked)
        return m_chunks.done() ? QString() : QStringLiteral("connection closed before the last chunk of the body");
    // Without its length, a TLS body is whole only when the server said it ended.
    if (m_length < 0 && m_channel.closeMayCut() && !noBody())
        return QStringLiteral("connection closed without TLS close_notify: the body may be cut");
    return {};
}
