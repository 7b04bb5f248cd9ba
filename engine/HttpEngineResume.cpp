// The download engine, part: a transfer cut off goes on from the bytes it
// had, when its server takes ranges and the file has not changed since.
#include "HttpEngine.h"
#include "HttpEngine_p.h"

#include "HttpResponseHead.h"

#include <algorithm>

namespace {

// What the next try's If-Range names: a strong ETag, else Last-Modified. A
// weak ETag cannot vouch for single bytes; without either, nothing is resumed.
QString validatorOf(const QStringList &headerLines)
{
    const QString etag = HeaderFieldValue(headerLines, QLatin1StringView("etag")).trimmed();
    if (!etag.isEmpty() && !etag.startsWith(QLatin1String("W/")))
        return etag;
    return HeaderFieldValue(headerLines, QLatin1StringView("last-modified")).trimmed();
}

} // namespace

void TFormHttpEngine::keepPartial(TItemId id, Slot &s, int error)
{
    const THttpCli &cli = *s.cli;
    const qint64 have = s.resumedFrom + cli.ReceivedBytes;
    const int status = cli.ResponseCode;
    const bool ranges = cli.AcceptRanges().trimmed().compare(QLatin1String("bytes"), Qt::CaseInsensitive) == 0 || status == 206;
    if (error == 0 || FailureOf(error, status) == TFailure::WrongRange || have <= 0 || s.writeFailed(cli) || !(status == 200 || status == 206)
        || !ranges)
        return;
    // Each part on disk holds a descriptor open while it waits: past a few,
    // a retry starts over instead of running the program out of them.
    if (s.file && std::count_if(m_partials.cbegin(), m_partials.cend(), [](const auto &p) { return p.second->file != nullptr; })
                      >= kMaxFilePartials)
        return;
    QString validator = validatorOf(cli.HeaderLines);
    if (validator.isEmpty())
        validator = s.validator; // a resumed answer without one still vouches for the first
    if (validator.isEmpty())
        return;
    auto partial = std::make_unique<Partial>();
    partial->file = std::move(s.file);
    partial->buffer = std::move(s.buffer);
    partial->size = have;
    partial->validator = validator;
    m_partials[id] = std::move(partial);
}

void TFormHttpEngine::resumePartial(TItemId id, Slot &s)
{
    const auto it = m_partials.find(id);
    std::unique_ptr<Partial> partial = std::move(it->second);
    m_partials.erase(it);
    s.file = std::move(partial->file);
    s.buffer = std::move(partial->buffer);
    s.resumedFrom = partial->size;
    s.validator = partial->validator;
    THttpCli &cli = *s.cli;
    cli.ReceiveStream = s.file ? static_cast<QIODevice *>(s.file.get()) : s.buffer.get();
    cli.ContentRangeBegin = QString::number(s.resumedFrom);
    cli.ContentRangeEnd.clear();
    cli.setIfRange(s.validator);
}

void TFormHttpEngine::HttpCliHeaderEnd(int n)
{
    Slot &s = slot(n);
    if (s.resumedFrom == 0)
        return;
    THttpCli &cli = *s.cli;
    if (cli.ResponseCode == 206)
        return; // the rest, from where the last try was cut: the client saw to it
    if (cli.ResponseCode >= 200 && cli.ResponseCode < 300) {
        // The whole file again: it changed since, or the server no longer
        // takes ranges. What the last try had goes.
        if (s.file)
            s.file->restart();
        else if (s.buffer)
            s.buffer->clear();
        s.resumedFrom = 0;
    }
}
