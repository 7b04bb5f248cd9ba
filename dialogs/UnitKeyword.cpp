#include "UnitKeyword.h"

#include "Controls.h"
#include "ItemTree.h"
#include "RunState.h"
#include "TreeCommands.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <cstdlib>

TFormKeyword::TFormKeyword(TItemTree *tree, TRunState &run, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint)
    , m_tree(tree)
    , m_run(run)
{
    setWindowTitle(QStringLiteral("Trawlix - Keyword selection"));
    setModal(false);
    auto *grid = new QGridLayout(this);
    ButtonSearch = HintedButton(QStringLiteral("&Search"), QStringLiteral("Find and Check/Uncheck items"), this);
    ButtonClose = HintedButton(QStringLiteral("&Close"), QStringLiteral("Close window"), this);
    LabelNoItems = new QLabel(QStringLiteral("No items found !"), this);
    LabelNoItems->setStyleSheet(QStringLiteral("QLabel { color: red; font-weight: bold; }"));
    LabelNoItems->hide();
    Edit1 = new QLineEdit(this);
    Edit1->installEventFilter(this);
    RadioButtonBranch = new QRadioButton(QStringLiteral("Branch"), this);
    RadioButtonTree = new QRadioButton(QStringLiteral("Tree"), this);
    RadioButtonBranch->setChecked(true);
    CheckBoxLinks = new QCheckBox(QStringLiteral("Links"), this);
    CheckBoxFiles = new QCheckBox(QStringLiteral("Files"), this);
    CheckBoxLinks->setChecked(true);
    CheckBoxFiles->setChecked(true);
    CheckBoxTag = new QCheckBox(this);
    CheckBoxTag->setChecked(true);
    CheckBoxCase = new QCheckBox(this);
    Timer1 = new QTimer(this);
    Timer1->setInterval(kNoneFoundMs);

    grid->addWidget(ButtonSearch, 0, 0);
    grid->addWidget(ButtonClose, 0, 1);
    grid->addWidget(LabelNoItems, 0, 2, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Keyword:"), this), 1, 0);
    grid->addWidget(Edit1, 1, 1, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Search in:"), this), 2, 0);
    grid->addWidget(RadioButtonBranch, 2, 1);
    grid->addWidget(RadioButtonTree, 2, 2);
    grid->addWidget(new QLabel(QStringLiteral("for"), this), 3, 0);
    grid->addWidget(CheckBoxLinks, 3, 1);
    grid->addWidget(CheckBoxFiles, 3, 2);
    grid->addWidget(CheckBoxTag, 4, 0, 1, 4);
    grid->addWidget(CheckBoxCase, 5, 0, 1, 4);

    connect(ButtonSearch, &QPushButton::clicked, this, &TFormKeyword::SpeedButton2Click);
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::close);
    connect(CheckBoxLinks, &QCheckBox::clicked, this, &TFormKeyword::CheckBoxLinksClick);
    connect(CheckBoxFiles, &QCheckBox::clicked, this, &TFormKeyword::CheckBoxFilesClick);
    connect(CheckBoxTag, &QCheckBox::clicked, this, &TFormKeyword::CheckBoxTagClick);
    connect(CheckBoxCase, &QCheckBox::clicked, this, &TFormKeyword::CheckBoxCaseClick);
    connect(Timer1, &QTimer::timeout, this, &TFormKeyword::Timer1Timer);
    CheckBoxTagClick();
    CheckBoxCaseClick();
    setFixedSize(sizeHint().expandedTo(QSize(360, 0)).expandedTo(TitleRoom(*this)));
    nameControls();
}

void TFormKeyword::nameControls()
{
    NameControls({
        {ButtonSearch, "ButtonSearch"},
        {ButtonClose, "ButtonClose"},
        {LabelNoItems, "LabelNoItems"},
        {Edit1, "Edit1"},
        {RadioButtonBranch, "RadioButtonBranch"},
        {RadioButtonTree, "RadioButtonTree"},
        {CheckBoxLinks, "CheckBoxLinks"},
        {CheckBoxFiles, "CheckBoxFiles"},
        {CheckBoxTag, "CheckBoxTag"},
        {CheckBoxCase, "CheckBoxCase"},
        {Timer1, "Timer1"},
    });
}

void TFormKeyword::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
    QDialog::changeEvent(event);
}

bool TFormKeyword::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            SpeedButton2Click();
            return true; // swallowed
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormKeyword::FormActivate()
{
    Edit1->clear();
    Edit1->setFocus();
    CheckBoxTagClick();
    CheckBoxCaseClick();
}

void TFormKeyword::CheckBoxLinksClick()
{
    if (!CheckBoxLinks->isChecked() && !CheckBoxFiles->isChecked())
        CheckBoxFiles->setChecked(true);
}

void TFormKeyword::CheckBoxFilesClick()
{
    if (!CheckBoxLinks->isChecked() && !CheckBoxFiles->isChecked())
        CheckBoxLinks->setChecked(true);
}

void TFormKeyword::CheckBoxTagClick()
{
    CheckBoxTag->setText(CheckBoxTag->isChecked() ? QStringLiteral("Found items will be checked.")
                                                  : QStringLiteral("Found items will be unchecked !"));
}

void TFormKeyword::CheckBoxCaseClick()
{
    CheckBoxCase->setText(CheckBoxCase->isChecked() ? QStringLiteral("Search will be case sensitive !")
                                                    : QStringLiteral("Search will be case insensitive."));
}

void TFormKeyword::SpeedButton2Click()
{
    if (Edit1->text().isEmpty()) {
        close();
        return;
    }
    TreeCommands::TKeywordSearch search;
    search.keyword = Edit1->text();
    search.wholeTree = RadioButtonTree->isChecked();
    search.links = CheckBoxLinks->isChecked();
    search.files = CheckBoxFiles->isChecked();
    search.check = CheckBoxTag->isChecked();
    search.caseSensitive = CheckBoxCase->isChecked();
    const int counter = TreeCommands::KeywordSearch(m_tree, m_tree->nodeOf(m_run.currentItem()), search);
    if (counter == 0) {
        LabelNoItems->show();
        Timer1->start();
    } else {
        const QString text = ItemCountText(std::abs(counter), counter > 0 ? "checked" : "unchecked") + QLatin1Char('.');
        if (m_message)
            m_message(text);
        else
            QMessageBox::information(this, windowTitle(), text);
        Edit1->clear();
    }
    Edit1->setFocus();
}

void TFormKeyword::Timer1Timer()
{
    LabelNoItems->hide();
    Timer1->stop();
}
