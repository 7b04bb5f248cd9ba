#include "UnitHelp.h"

#include "Controls.h"
#include "RtfReader.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

TFormHelp::TFormHelp(const QStringList &directories, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Trawlix - Help"));
    setModal(false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    ButtonClose = HintedButton(QStringLiteral("&Close"), QStringLiteral("Close window"), this);
    ButtonClose->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::close);
    RichEdit = new QTextBrowser(this);
    RichEdit->setReadOnly(true);
    RichEdit->setLineWrapMode(QTextEdit::WidgetWidth); // paragraphs read as paragraphs
    RichEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    RichEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    layout->addWidget(ButtonClose);
    layout->addWidget(RichEdit, 1);
    // A reading size on any screen rather than the whole of a large one.
    QSize size(820, 640);
    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 0.9);
    resize(size);
    FormCreate(directories);
    nameControls();
}

void TFormHelp::nameControls()
{
    NameControls({
        {ButtonClose, "ButtonClose"},
        {RichEdit, "RichEdit"},
    });
}

void TFormHelp::FormCreate(const QStringList &directories)
{
    RichEdit->clear();
    m_found.clear();
    QStringList searched;
    for (const QString &directory : directories) {
        if (directory.isEmpty())
            continue;
        searched << directory + QLatin1Char('/');
        QFile file(QDir(directory).filePath(kFileName));
        if (file.open(QIODevice::ReadOnly)) {
            ReadRtf(file.readAll(), RichEdit->document());
            RichEdit->moveCursor(QTextCursor::Start); // it opens at its beginning
            m_found = file.fileName();
            return;
        }
    }
    RichEdit->setPlainText(kFileName + QStringLiteral(" is missing in : ") + searched.join(QStringLiteral(", ")));
}

QString TFormHelp::text() const
{
    return RichEdit->toPlainText();
}
