#include "SizeCheck.h"

#include "DataRec.h"
#include "Counters.h"
#include "DownloadView.h"
#include "Extension.h"
#include "FailureReason.h"
#include "HttpProt.h"
#include "SiteLogin.h"
#include "HttpResponseHead.h"
#include "ItemState.h"
#include "ItemStore.h"
#include "RunProgress.h"
#include "RunState.h"
#include "SizeLimits.h"
#include "UrlRules.h"

#include <QTimer>

struct TSizeCheck::Slot
{
    std::unique_ptr<THttpCli> cli;
    QTimer *timer = nullptr;
    TItemId id = kNoItem; // kNoItem once the item left the store
    bool active = false;
    bool enough = false;   // ended by us: the first bytes said what was asked
    bool timedOut = false;
    QByteArray head;       // the file's first bytes
    qsizetype readAt = 0;  // the head's size at which it is read next
    TPictureHead picture;
    // The answer, taken before an abort of ours overwrites the client's values.
    int status = 0;
    qint64 size = -1;
};

namespace {

// The files whose first bytes hold their dimensions; anything else is asked with HEAD.
bool pictureName(const QString &name)
{
    static const QStringList kinds{QStringLiteral("JPG"), QStringLiteral("JPEG"), QStringLiteral("JPE"),
                                   QStringLiteral("JFIF"), QStringLiteral("PNG"), QStringLiteral("GIF"),
                                   QStringLiteral("WEBP")};
    return kinds.contains(ExtensionOf(name));
}

// The whole length a ranged answer names ("Content-Range: bytes 0-65535/1234567").
qint64 rangeTotal(const QStringList &headerLines)
{
    return ParseContentRange(HeaderFieldValue(headerLines, QLatin1StringView("content-range"))).total;
}

const QString kNotChecked = QStringLiteral("Size not checked - ");

// The file's whole length as the answer tells it; -1 when it does not.
qint64 announcedSize(const THttpCli &cli)
{
    const int status = cli.ResponseCode;
    if (status == 206 || status == 416)
        return rangeTotal(cli.HeaderLines);
    return status < 300 ? cli.ExpectedLength : -1;
}

} // namespace

TSizeCheck::TSizeCheck(TItemStore &items, TRunState &run, TDownloadView &view, QObject *parent)
    : QObject(parent)
    , m_items(items)
    , m_run(run)
    , m_view(view)
    , m_slots(std::make_unique<Slot[]>(kSlots))
{
    for (int n = 1; n <= kSlots; ++n) {
        Slot &s = slot(n);
        s.cli = TClientSetup::newClient();
        s.cli->OnDocData = [this, n](THttpCli *, const char *data, int len) { docData(n, data, len); };
        s.cli->OnRequestDone = [this, n](THttpCli *, THttpRequest, int error) { done(n, error); };
        s.timer = new QTimer(this);
        connect(s.timer, &QTimer::timeout, this, [this, n] { TimerTimer(n); });
    }
    connect(&items, &TItemStore::removing, this, &TSizeCheck::forget);
    connect(&items, &TItemStore::emptyingStarted, this, [this] {
        m_waiting.clear();
        m_present.clear();
        for (int n = 1; n <= kSlots; ++n)
            forget(slot(n).id);
    });
}

TSizeCheck::~TSizeCheck()
{
    for (int n = 1; n <= kSlots; ++n) {
        slot(n).cli->OnDocData = nullptr;
        slot(n).cli->OnRequestDone = nullptr;
    }
}

TSizeCheck::Slot &TSizeCheck::slot(int n) const
{
    return m_slots[size_t(n - 1)];
}

THttpCli *TSizeCheck::client(int n) const
{
    return slot(n).cli.get();
}

void TSizeCheck::TimerTimer(int n)
{
    Slot &s = slot(n);
    s.timer->stop();
    if (!s.active)
        return;
    s.timedOut = true;
    s.cli->AbortRequest();
}

TDownloadSettings TSizeCheck::settings() const
{
    return m_settings ? m_settings->downloadSettings() : TDownloadSettings();
}

QString TSizeCheck::SizeFacts(qint64 size, int width, int height)
{
    QStringList parts;
    if (size >= 0)
        parts << ByteSizeText(size);
    if (width > 0 && height > 0)
        parts << QStringLiteral("%1 x %2").arg(width).arg(height);
    return parts.join(QStringLiteral(", "));
}

QString TSizeCheck::CheckedCaption(const QString &plainCaption, qint64 size, int width, int height)
{
    const QString facts = SizeFacts(size, width, height);
    return facts.isEmpty() ? plainCaption : plainCaption + QStringLiteral(" (") + facts + QLatin1Char(')');
}

bool TSizeCheck::start(const QList<TItemId> &ids)
{
    if (m_running)
        return false;
    m_waiting.clear();
    m_present.clear();
    for (TItemId id : ids) {
        const TDataRec *item = m_items.item(id);
        if (!item || item->isLink || !ItemState::isNewFile(ref(id)) || !ItemState::isOpen(ref(id)))
            continue;
        if (!m_present.contains(id)) {
            m_waiting.push_back(id);
            m_present.insert(id);
        }
    }
    if (m_waiting.empty())
        return false;
    m_running = true;
    m_total = int(m_waiting.size());
    m_done = 0;
    m_failed = 0;
    m_run.setStopRequest(false);
    m_run.setBusy(true);
    m_view.UpdateScreen();
    showProgress();
    fill();
    return true;
}

void TSizeCheck::fill()
{
    const int limit = qBound(1, settings().maxThreads, kSlots);
    for (int n = 1; n <= limit && !m_waiting.empty(); ++n) {
        if (slot(n).active)
            continue;
        TItemId id = kNoItem;
        while (!id && !m_waiting.empty()) {
            id = m_waiting.front();
            m_waiting.pop_front();
            if (!m_present.remove(id))
                id = kNoItem; // gone from the store meanwhile
        }
        if (id)
            begin(n, id);
    }
    if (m_running && m_waiting.empty() && std::none_of(m_slots.get(), m_slots.get() + kSlots, [](const Slot &s) { return s.active; }))
        end();
}

void TSizeCheck::begin(int n, TItemId id)
{
    Slot &s = slot(n);
    s.active = true;
    s.id = id;
    s.enough = false;
    s.timedOut = false;
    s.head.clear();
    s.readAt = 0;
    s.picture = {};
    s.status = 0;
    s.size = -1;
    const TDataRec *item = m_items.item(id);
    THttpCli &cli = *s.cli;
    cli.URL = item->url;
    cli.ReceiveStream = nullptr;
    const TDownloadSettings current = settings();
    m_clients.apply(cli, current.proxy, current.reuseConnections);
    m_view.setSlotLamp(n, true);
    m_view.setSlotHint(n, QStringLiteral("Checking: ") + cli.URL);
    s.timer->setInterval(current.timeOutFileMs);
    s.timer->start();
    THttpRequest kind = rqHead;
    if (pictureName(item->name)) {
        kind = rqGet;
        cli.ContentRangeBegin = QStringLiteral("0");
        cli.ContentRangeEnd = QString::number(kHeadBytes - 1);
    }
    const int refused = !FetchableUrl(cli.URL) ? kNotFetchable : cli.Begin(kind).error;
    if (refused != 0) {
        cli.ContentRangeBegin.clear();
        cli.ContentRangeEnd.clear();
        QMetaObject::invokeMethod(this, [this, n, refused] { done(n, refused); }, Qt::QueuedConnection);
    }
}

void TSizeCheck::docData(int n, const char *data, int len)
{
    Slot &s = slot(n);
    s.timer->start();
    if (s.enough)
        return;
    s.head.append(data, std::min<qsizetype>(len, kHeadBytes - s.head.size()));
    // Read again only once the head has doubled: a body in tiny pieces must
    // not cost a read of the whole head per piece.
    if (s.head.size() < s.readAt && s.head.size() < kHeadBytes)
        return;
    s.readAt = s.head.size() * 2;
    s.picture = ReadPictureHead(s.head);
    if (s.picture.status == TPictureHead::NeedMore && s.head.size() < kHeadBytes)
        return;
    s.enough = true;
    s.status = s.cli->ResponseCode;
    s.size = announcedSize(*s.cli);
    // A server that ignored the range sends the whole file: a large rest is
    // not waited for. A small one is, so that the connection can be kept.
    const THttpCli &cli = *s.cli;
    if (cli.ResponseCode != 206 && (cli.ExpectedLength < 0 || cli.ExpectedLength - cli.ReceivedBytes > kHeadBytes))
        s.cli->AbortRequest();
}

void TSizeCheck::done(int n, int error)
{
    Slot &s = slot(n);
    if (!s.active)
        return;
    if (s.id)
        apply(s.id, s, error);
    ++m_done;
    release(n);
    m_view.refreshTree();
    showProgress();
    if (m_running)
        fill();
}

void TSizeCheck::apply(TItemId id, const Slot &s, int error)
{
    TDataRec *item = m_items.item(id);
    const THttpCli &cli = *s.cli;
    item->sizeChecked = true;
    const int status = s.enough ? s.status : cli.ResponseCode;
    if (error != 0 && !s.enough) { // once the first bytes told enough, the rest may fail
        ++m_failed;
        const QString reason = s.timedOut ? QStringLiteral("no data for %1 s (time-out)").arg(s.timer->interval() / 1000.0)
                               : error == kNotFetchable
                                   ? UnfetchableReason(cli.URL)
                                   : FailureReason(cli.Result());
        m_items.setReason(id, kNotChecked + reason);
        return;
    }
    if (status >= 400 && status != 416) {
        ++m_failed;
        if (status == 404 || status == 410) {
            // Not there: a download would fail the same way.
            m_items.setCaption(id, FileCaption(*item, QStringLiteral("  (HTTP error %1 !)").arg(status)));
            item->sizeText.clear();
            ItemState::markFailed(ref(id), FailureReason(cli.Result()));
        } else {
            m_items.setReason(id, kNotChecked + FailureReason(cli.Result()));
        }
        return;
    }
    const qint64 size = s.enough ? s.size : announcedSize(cli);
    const TPictureHead picture = s.picture.status == TPictureHead::Found ? s.picture : ReadPictureHead(s.head);
    item->width = picture.status == TPictureHead::Found ? picture.width : 0;
    item->height = picture.status == TPictureHead::Found ? picture.height : 0;
    if (size >= 0) {
        item->sizeText = QString::number(size);
        if (const TSizeVerdict verdict = SizeLimitVerdict(size, settings()); verdict.skipped()) {
            m_items.setCaption(id, FileCaption(*item, verdict.suffix));
            ItemState::markFailed(ref(id), SizeFacts(size, item->width, item->height) + QStringLiteral(": ") + verdict.reason);
            return;
        }
    }
    m_items.setCaption(id, CheckedCaption(FileCaption(*item), size, item->width, item->height));
    m_items.setReason(id, size < 0 ? QStringLiteral("The server did not say how large the file is") : QString());
}

void TSizeCheck::release(int n)
{
    Slot &s = slot(n);
    s.timer->stop();
    s.active = false;
    s.id = kNoItem;
    s.head = QByteArray();
    m_view.setSlotLamp(n, false);
    m_view.setSlotHint(n, QStringLiteral("Not active"));
}

void TSizeCheck::forget(TItemId id)
{
    if (!id)
        return;
    m_present.remove(id);
    for (int n = 1; n <= kSlots; ++n) {
        if (slot(n).id == id) {
            slot(n).id = kNoItem;
            slot(n).cli->AbortRequest();
        }
    }
}

void TSizeCheck::stop()
{
    if (!m_running)
        return;
    m_waiting.clear();
    m_present.clear();
    m_running = false;
    for (int n = 1; n <= kSlots; ++n) {
        if (slot(n).active) {
            // An aborted check tells nothing about its file; its end is not waited for.
            slot(n).cli->AbortRequest();
            release(n);
        }
    }
    end();
}

void TSizeCheck::end()
{
    const bool stopped = !m_running;
    m_running = false;
    m_run.setBusy(false);
    m_view.UpdateScreen();
    if (!stopped) {
        const int checked = m_done - m_failed;
        m_view.setStatus(m_failed > 0 ? QStringLiteral(" Status: Sizes checked: %1 files, %2 failed").arg(checked).arg(m_failed)
                                      : QStringLiteral(" Status: Sizes checked: %1 files").arg(checked));
        if (settings().beep)
            m_view.beep();
    }
    emit finished();
}

void TSizeCheck::showProgress()
{
    if (m_running)
        m_view.setStatus(QStringLiteral(" Status: Checking sizes - %1 of %2").arg(m_done).arg(m_total));
}
