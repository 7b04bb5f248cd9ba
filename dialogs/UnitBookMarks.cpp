#include "UnitBookMarks.h"

#include "BookmarkImport.h"
#include "Controls.h"
#include "Question.h"

#include <QCollator>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <vector>

namespace {

// The platform's text order, which ignores case.
const QCollator &bookmarkCollator()
{
    static const QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}

} // namespace

TFormBookMarks::TFormBookMarks(QComboBox *urlField, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_urlField(urlField)
{
    setWindowTitle(QStringLiteral("Trawlix - Bookmarks"));
    auto *grid = new QGridLayout(this);
    ButtonOk = HintedButton(QStringLiteral("&Ok"), QStringLiteral("Save and close window"), this);
    ButtonAdd = HintedButton(QStringLiteral("&Add"), QStringLiteral("Add the Url field's address, or a new one to edit"), this);
    ButtonDelete = HintedButton(QStringLiteral("&Delete"), QStringLiteral("Delete selected bookmark"), this);
    ButtonDeleteAll = HintedButton(QStringLiteral("&Delete all"), QStringLiteral("Delete all bookmarks"), this);
    ButtonImport = new QPushButton(QStringLiteral("&Import text file"), this);
    for (QPushButton *b : {ButtonOk, ButtonAdd, ButtonDelete, ButtonDeleteAll, ButtonImport})
        b->setAutoDefault(false);
    ListBox1 = new QListWidget(this);
    LabelEdit = new QLabel(QStringLiteral("Edit Url:"), this);
    Edit1 = new QLineEdit(this);
    grid->addWidget(ButtonOk, 0, 0);
    grid->addWidget(ButtonAdd, 0, 1);
    grid->addWidget(ButtonDelete, 0, 2);
    grid->addWidget(ButtonDeleteAll, 0, 3);
    grid->addWidget(ButtonImport, 0, 4);
    grid->addWidget(ListBox1, 1, 0, 1, 5);
    grid->addWidget(LabelEdit, 2, 0);
    grid->addWidget(Edit1, 2, 1, 1, 4);
    connect(ButtonOk, &QPushButton::clicked, this, &TFormBookMarks::ButtonOkClick);
    connect(ButtonAdd, &QPushButton::clicked, this, &TFormBookMarks::ButtonAddClick);
    connect(ButtonDelete, &QPushButton::clicked, this, &TFormBookMarks::ButtonDeleteClick);
    connect(ButtonDeleteAll, &QPushButton::clicked, this, &TFormBookMarks::ButtonDeleteAllClick);
    connect(ButtonImport, &QPushButton::clicked, this, &TFormBookMarks::ButtonImportClick);
    connect(ListBox1, &QListWidget::itemClicked, this, &TFormBookMarks::ListBox1Click);
    connect(Edit1, &QLineEdit::textEdited, this, &TFormBookMarks::Edit1Change);
    setFixedSize(520, 360);
    nameControls();
}

void TFormBookMarks::nameControls()
{
    NameControls({
        {ButtonOk, "ButtonOk"},
        {ButtonAdd, "ButtonAdd"},
        {ButtonDelete, "ButtonDelete"},
        {ButtonDeleteAll, "ButtonDeleteAll"},
        {ButtonImport, "ButtonImport"},
        {ListBox1, "ListBox1"},
        {LabelEdit, "LabelEdit"},
        {Edit1, "Edit1"},
    });
}

void TFormBookMarks::showEvent(QShowEvent *event)
{
    FormActivate();
    QDialog::showEvent(event);
}

void TFormBookMarks::FormActivate()
{
    ListBox1->clear();
    QStringList entries;
    for (int i = 0; i < m_urlField->count(); ++i)
        entries << m_urlField->itemText(i);
    addSorted(entries);
    ListBox1->setCurrentRow(-1);
    UpdateScreen();
}

// Entries join the list in its order; one equal to an entry already there
// goes after it. Sorted once, with each text's key made once.
void TFormBookMarks::addSorted(const QStringList &entries)
{
    QStringList all;
    all.reserve(ListBox1->count() + entries.size());
    for (int i = 0; i < ListBox1->count(); ++i)
        all << ListBox1->item(i)->text();
    all += entries;
    std::vector<std::pair<QCollatorSortKey, qsizetype>> keyed;
    keyed.reserve(size_t(all.size()));
    for (qsizetype i = 0; i < all.size(); ++i)
        keyed.emplace_back(bookmarkCollator().sortKey(all.at(i)), i);
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) { return a.first.compare(b.first) < 0; });
    QStringList sorted;
    sorted.reserve(all.size());
    for (const auto &entry : keyed)
        sorted << all.at(entry.second);
    ListBox1->clear();
    ListBox1->addItems(sorted);
}

void TFormBookMarks::UpdateScreen()
{
    ButtonDeleteAll->setEnabled(ListBox1->count() > 0);
    const QListWidgetItem *chosen = ListBox1->currentRow() >= 0 ? ListBox1->currentItem() : nullptr;
    ButtonDelete->setEnabled(chosen);
    LabelEdit->setEnabled(chosen);
    Edit1->setEnabled(chosen);
    Edit1->setText(chosen ? chosen->text() : QString());
}

void TFormBookMarks::ListBox1Click()
{
    UpdateScreen();
}

void TFormBookMarks::Edit1Change()
{
    if (QListWidgetItem *chosen = ListBox1->currentRow() >= 0 ? ListBox1->currentItem() : nullptr)
        chosen->setText(Edit1->text()); // in place: the entry keeps its position
}

void TFormBookMarks::ButtonAddClick()
{
    // The address in the Url field when it is not listed yet, else a new one
    // to type: either way selected for editing.
    const QString current = m_urlField->currentText().trimmed();
    const bool listed = !ListBox1->findItems(current, Qt::MatchExactly).isEmpty();
    const QString entry = current.isEmpty() || current == QLatin1String("http://") || listed ? QStringLiteral("http://") : current;
    ListBox1->addItem(entry);
    ListBox1->setCurrentRow(ListBox1->count() - 1);
    UpdateScreen();
    Edit1->setFocus();
    Edit1->selectAll();
}

void TFormBookMarks::ButtonDeleteClick()
{
    delete ListBox1->takeItem(ListBox1->currentRow());
    ListBox1->setCurrentRow(-1);
    UpdateScreen();
}

void TFormBookMarks::ButtonDeleteAllClick()
{
    const QString question = QStringLiteral("Delete all bookmarks?");
    const bool yes = m_ask ? m_ask(question) : AskQuestion(this, windowTitle(), question).value_or(false);
    if (yes)
        ListBox1->clear();
    ListBox1->setCurrentRow(-1);
    UpdateScreen();
}

void TFormBookMarks::ButtonImportClick()
{
    const QString path = m_chooseFile ? m_chooseFile()
                                      : QFileDialog::getOpenFileName(this, QStringLiteral("Trawlix - Import text file"),
                                                                     QString(), QStringLiteral("Text file (ASCII) (*)"));
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const QString text = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        if (m_message)
            m_message(text);
        else
            QMessageBox::warning(this, windowTitle(), text);
        return;
    }
    addSorted(BookmarkLines(file.readAll()));
    ListBox1->setCurrentRow(-1);
    UpdateScreen();
}

void TFormBookMarks::reject()
{
    ButtonOkClick();
}

void TFormBookMarks::ButtonOkClick()
{
    const QString shown = m_urlField->currentText();
    m_urlField->clear();
    for (int i = 0; i < ListBox1->count(); ++i)
        m_urlField->addItem(ListBox1->item(i)->text());
    m_urlField->setCurrentText(shown);
    accept();
}
