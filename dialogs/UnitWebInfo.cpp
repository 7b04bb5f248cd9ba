#include "UnitWebInfo.h"

#include "Controls.h"
#include "HttpProt.h"
#include "MemoryStream.h"

#include <QCoreApplication>
#include <QShowEvent>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFormWebInfo::TFormWebInfo(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_httpInfo(std::make_unique<THttpCli>())
{
    setWindowTitle(QStringLiteral("Trawlix - Version information from WEB"));
    setModal(false);
    auto *layout = new QVBoxLayout(this);
    auto *buttons = new QHBoxLayout;
    ButtonClose = HintedButton(QStringLiteral("&Close"), QStringLiteral("Close window"), this);
    ButtonGet = HintedButton(QStringLiteral("&Get info"), QStringLiteral("Get information from WEB !"), this);
    buttons->addWidget(ButtonClose);
    buttons->addWidget(ButtonGet);
    buttons->addStretch();
    MemoInfo = new QPlainTextEdit(this);
    MemoInfo->setReadOnly(true);
    MemoInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont fixed(QStringLiteral("Monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setBold(true);
    MemoInfo->setFont(fixed);
    layout->addLayout(buttons);
    layout->addWidget(MemoInfo, 1);
    setFixedSize(520, 340);
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::close);
    connect(ButtonGet, &QPushButton::clicked, this, &TFormWebInfo::ButtonGetClick);

    THttpCli &cli = *m_httpInfo;
    cli.NoCache = false;
    cli.OnRequestDone = [this](THttpCli *, THttpRequest, int) { HttpInfoRequestDone(); };
    nameControls();
}

void TFormWebInfo::nameControls()
{
    NameControls({
        {ButtonClose, "ButtonClose"},
        {ButtonGet, "ButtonGet"},
        {MemoInfo, "MemoInfo"},
    });
}

TFormWebInfo::~TFormWebInfo()
{
    m_httpInfo->OnRequestDone = nullptr;
}

void TFormWebInfo::setUrl(const QString &url)
{
    m_httpInfo->URL = url;
}

void TFormWebInfo::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // One fetch per opening: the window is activated again by every box or
    // window that closes over it, which must not start another.
    if (!event->spontaneous())
        QMetaObject::invokeMethod(this, &TFormWebInfo::FormActivate, Qt::QueuedConnection);
}

void TFormWebInfo::FormActivate()
{
    if (isVisible())
        ButtonGetClick();
}

void TFormWebInfo::abort()
{
    m_httpInfo->AbortRequest();
}

void TFormWebInfo::showText(const QString &text, const QColor &color)
{
    QPalette pal = MemoInfo->palette();
    pal.setColor(QPalette::Text, color);
    MemoInfo->setPalette(pal);
    MemoInfo->setPlainText(text);
    MemoInfo->repaint();
}

void TFormWebInfo::ButtonGetClick()
{
    // The window becomes active again while it waits (a message box, say):
    // the fetch under way goes on, no second one is started.
    if (m_fetching)
        return;
    if (m_httpInfo->URL.isEmpty()) {
        showText(kNoAddress, QColor(0, 0, 128));
        ButtonGet->setEnabled(false);
        return;
    }
    m_fetching = true;
    ButtonGet->setEnabled(false);
    showText(QStringLiteral("Please wait - Obtaining data from WEB"), Qt::red);
    QCoreApplication::processEvents();
    m_body = std::make_unique<TMemoryStream>();
    m_httpInfo->ReceiveStream = m_body.get();
    // The answer comes with the client's done event; one refused at once is told now.
    if (const THttpReply refused = m_httpInfo->Begin(rqGet); refused.error != 0)
        fetchEnded(refused);
}

void TFormWebInfo::HttpInfoRequestDone()
{
    fetchEnded(m_httpInfo->Result());
}

void TFormWebInfo::fetchEnded(const THttpReply &result)
{
    m_httpInfo->ReceiveStream = nullptr;
    m_fetching = false;
    if (!result.ok()) {
        // A status of 400 or more is told by its text, as the client words it.
        const QString failure = result.status >= 400 ? m_httpInfo->ResponseText : result.errorText;
        // Told inside the window: a box over it would only invite another try.
        showText(QStringLiteral("The version information could not be fetched:\n") + failure, Qt::red);
        ButtonGet->setEnabled(true);
        return;
    }
    showText(QString(), QColor(0, 0, 128));
    QCoreApplication::processEvents();
    showText(m_body ? QString::fromUtf8(m_body->toByteArray()) : QString(), QColor(0, 0, 128));
    ButtonGet->setEnabled(true);
}
