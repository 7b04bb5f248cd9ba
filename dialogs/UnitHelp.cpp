#include "UnitHelp.h"

#include "Controls.h"
#include "RtfReader.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
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
    resize(760, 560);
    setWindowState(Qt::WindowMaximized);
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
    for (const QString &directory : directories) {
        QFile file(QDir(directory).filePath(kFileName));
        if (file.open(QIODevice::ReadOnly)) {
            ReadRtf(file.readAll(), RichEdit->document());
            return;
        }
    }
    RichEdit->setPlainText(kFileName + QStringLiteral(" is missing in : ") + directories.value(0) + QLatin1Char('/'));
}
