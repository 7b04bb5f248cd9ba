#include "UnitInfo.h"

#include "Controls.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char kAbout[] =
    "Trawlix  Version 2.02\n"
    "\n"
    "Harvests the pictures and other files that web pages link to.\n"
    "\n"
    "Trawlix is free to use, copy, change and give away under\n"
    "the MIT licence. It comes as it is, without any warranty:\n"
    "you use it at your own risk. Respect the rights of the\n"
    "owners of what you download, and the rules of the sites\n"
    "you visit.\n"
    "\n"
    "Questions, faults and ideas are welcome\n"
    "on the project's issue tracker.";

} // namespace

TFormInfo::TFormInfo(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Trawlix - About"));
    setModal(false);
    auto *layout = new QVBoxLayout(this);
    ButtonClose = HintedButton(QStringLiteral("&Close"), QStringLiteral("Close window"), this);
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::close);
    LabelInfo = new QLabel(QString::fromUtf8(kAbout), this);
    LabelInfo->setAlignment(Qt::AlignCenter);
    LabelInfo->setWordWrap(false);
    LabelInfo->setMargin(16);
    LabelInfo->setAutoFillBackground(true);
    LabelInfo->setStyleSheet(QStringLiteral("QLabel { background: rgb(0,128,128); color: white; font-weight: bold; }"));
    layout->addWidget(ButtonClose, 0, Qt::AlignLeft);
    layout->addWidget(LabelInfo);
    setFixedSize(sizeHint().expandedTo(TitleRoom(*this)));
    nameControls();
}

void TFormInfo::nameControls()
{
    NameControls({
        {ButtonClose, "ButtonClose"},
        {LabelInfo, "LabelInfo"},
    });
}
