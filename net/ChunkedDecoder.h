#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// The chunked framing of an HTTP/1.1 body, read from bytes as they arrive:
// chunk sizes in hex (extensions ignored), each chunk's data, and trailer
// fields after the last chunk, which are skipped. Every part is bounded, so
// hostile framing ends as Malformed instead of growing without end.
class TChunkedDecoder
{
public:
    enum class Status { More, Done, Malformed };
    // Returns false when the reader wants no more now (the request ended).
    using Payload = std::function<bool(const char *data, int len)>;

    static constexpr int kMaxLineBytes = 4096;
    static constexpr int kMaxTrailerBytes = 64 * 1024;
    static constexpr int kMaxSizeDigits = 15; // below 2^60 bytes

    // Takes bytes of the body; the payload goes to `payload` piece by piece.
    // `consumed` says how many bytes were framing or payload: after Done,
    // what follows belongs to no response.
    Status feed(const char *data, int len, int *consumed, const Payload &payload);
    bool done() const { return m_state == State::Finished; }
    QString error() const { return m_error; }

private:
    enum class State { SizeLine, Data, DataEnd, Trailer, Finished, Failed };

    // A line of framing without its line break; false when it grew too long.
    bool takeLine(const char *data, int len, int *at, QByteArray *line, bool *complete);
    Status fail(const QString &why);
    bool parseSize(const QByteArray &line);

    State m_state = State::SizeLine;
    QByteArray m_line;
    qint64 m_left = 0;
    int m_trailerBytes = 0;
    QString m_error;
};
