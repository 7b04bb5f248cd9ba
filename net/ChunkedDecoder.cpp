#include "ChunkedDecoder.h"

#include <algorithm>
#include <cstring>

bool TChunkedDecoder::takeLine(const char *data, int len, int *at, QByteArray *line, bool *complete)
{
    const void *found = std::memchr(data + *at, '\n', size_t(len - *at));
    const int end = found ? int(static_cast<const char *>(found) - data) : len;
    line->append(data + *at, end - *at);
    *at = found ? end + 1 : len;
    *complete = found != nullptr;
    if (*complete && line->endsWith('\r'))
        line->chop(1);
    return line->size() <= kMaxLineBytes;
}

TChunkedDecoder::Status TChunkedDecoder::fail(const QString &why)
{
    m_state = State::Failed;
    m_error = QStringLiteral("malformed chunked body: ") + why;
    return Status::Malformed;
}

bool TChunkedDecoder::parseSize(const QByteArray &line)
{
    const qsizetype semicolon = line.indexOf(';');
    const QByteArray digits = (semicolon < 0 ? line : line.left(semicolon)).trimmed();
    if (digits.isEmpty() || digits.size() > kMaxSizeDigits)
        return false;
    const bool hex = std::all_of(digits.cbegin(), digits.cend(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
    if (!hex)
        return false;
    m_left = digits.toLongLong(nullptr, 16);
    return true;
}

TChunkedDecoder::Status TChunkedDecoder::feed(const char *data, int len, int *consumed, const Payload &payload)
{
    int at = 0;
    *consumed = 0;
    while (at < len && m_state != State::Finished && m_state != State::Failed) {
        switch (m_state) {
        case State::SizeLine: {
            bool complete = false;
            if (!takeLine(data, len, &at, &m_line, &complete))
                return fail(QStringLiteral("chunk size line too long"));
            if (!complete)
                break;
            if (!parseSize(m_line))
                return fail(QStringLiteral("bad chunk size \"%1\"").arg(QString::fromLatin1(m_line.left(40))));
            m_line.clear();
            m_state = m_left > 0 ? State::Data : State::Trailer;
            break;
        }
        case State::Data: {
            const int n = int(std::min<qint64>(m_left, len - at));
            m_left -= n;
            at += n;
            if (m_left == 0)
                m_state = State::DataEnd;
            if (!payload(data + at - n, n)) {
                *consumed = at;
                return Status::More;
            }
            break;
        }
        case State::DataEnd: {
            bool complete = false;
            if (!takeLine(data, len, &at, &m_line, &complete) || (complete && !m_line.isEmpty()))
                return fail(QStringLiteral("chunk data longer than its size"));
            if (complete)
                m_state = State::SizeLine;
            break;
        }
        case State::Trailer: {
            bool complete = false;
            const int before = at;
            const bool fits = takeLine(data, len, &at, &m_line, &complete);
            m_trailerBytes += at - before;
            if (!fits || m_trailerBytes > kMaxTrailerBytes)
                return fail(QStringLiteral("trailer too large"));
            if (!complete)
                break;
            if (m_line.isEmpty())
                m_state = State::Finished;
            m_line.clear();
            break;
        }
        case State::Finished:
        case State::Failed:
            break;
        }
    }
    *consumed = at;
    if (m_state == State::Failed)
        return Status::Malformed;
    return m_state == State::Finished ? Status::Done : Status::More;
}
