#include "UnitStat.h"

#include "Controls.h"
#include "Counters.h"
#include "Question.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

QString FormatString(const QString &digits)
{
    const qsizetype n = digits.size();
    if (n >= 4 && n <= 6)
        return digits.left(n - 3) + QLatin1Char(' ') + digits.right(3);
    if (n >= 7 && n <= 9)
        return digits.left(n - 6) + QLatin1Char(' ') + digits.mid(n - 6, 3) + QLatin1Char(' ') + digits.right(3);
    return digits;
}

TFormStat::TFormStat(TStatistics &statistics, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_statistics(statistics)
{
    setWindowTitle(QStringLiteral("Trawlix - Statistics"));
    setModal(false);
    auto *grid = new QGridLayout(this);
    ButtonClose = HintedButton(QStringLiteral("&Close"), QStringLiteral("Close window"), this);
    ButtonReset = new QPushButton(QStringLiteral("&Reset"), this);
    grid->addWidget(ButtonClose, 0, 0);
    grid->addWidget(ButtonReset, 0, 1);
    const char *labels[4] = {"Documents loaded:", "Links parsed:", "Files downloaded:", "KB downloaded:"};
    for (int i = 0; i < 4; ++i) {
        grid->addWidget(new QLabel(QString::fromLatin1(labels[i]), this), i + 1, 0);
        Values[i] = new QLabel(QStringLiteral("0"), this);
        Values[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(Values[i], i + 1, 1);
    }
    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TFormStat::Timer1Timer);
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::close);
    connect(ButtonReset, &QPushButton::clicked, this, &TFormStat::ButtonResetClick);
    setFixedSize(sizeHint().expandedTo(QSize(240, 0)).expandedTo(TitleRoom(*this)));
    nameControls();
}

void TFormStat::nameControls()
{
    NameControls({
        {ButtonClose, "ButtonClose"},
        {ButtonReset, "ButtonReset"},
        {Timer1, "Timer1"},
    });
    for (int i = 0; i < 4; ++i)
        Values[i]->setObjectName(QStringLiteral("Values%1").arg(i + 1));
}

void TFormStat::Statistics1Click()
{
    Timer1->start();
    show();
    Timer1Timer();
}

void TFormStat::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Timer1Timer();
    QDialog::changeEvent(event);
}

void TFormStat::closeEvent(QCloseEvent *event)
{
    Timer1->stop();
    QDialog::closeEvent(event);
}

void TFormStat::Timer1Timer()
{
    const qint32 counters[4] = {m_statistics.DocParsed, m_statistics.LinksParsed, m_statistics.FilesDl,
                                m_statistics.BytesDl};
    for (int i = 0; i < 4; ++i)
        Values[i]->setText(FormatString(QString::number(counters[i])));
}

void TFormStat::ButtonResetClick()
{
    const QString question = QStringLiteral("Reset statistics?");
    const bool yes = m_ask ? m_ask(question) : AskQuestion(this, windowTitle(), question).value_or(false);
    if (yes)
        m_statistics = TStatistics();
}
