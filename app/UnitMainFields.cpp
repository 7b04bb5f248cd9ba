// The main window, part: the URL and directory fields and their menus.
#include "UnitMain.h"

#include "DataRec.h"
#include "UnitMain_p.h"
#include "UrlRules.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

using namespace MainWindowLook;

void TFormMain::ComboBoxBookmarkExit()
{
    setUrlText(NormaliseUrlField(ComboBoxBookmark->currentText()));
}

// The first entry of an empty list would become the field's text: what the
// user typed stays.
void TFormMain::addKeepingText(QComboBox *field, const QString &entry)
{
    const QString typed = field->currentText();
    field->addItem(entry);
    field->setEditText(typed);
}

void TFormMain::buildFieldMenus()
{
    PopupMenuUrl = new QMenu(ComboBoxBookmark);
    QAction *add = PopupMenuUrl->addAction(QStringLiteral("Add Url to bookmarks"), this, &TFormMain::Addbookmark1Click);
    PopupMenuUrl->setDefaultAction(add);
    PopupMenuUrl->addAction(QStringLiteral("Edit bookmarks"), this, &TFormMain::bookmarksRequested);
    PopupMenuUrl->addAction(QStringLiteral("Copy            [Ctrl-C]"), this, &TFormMain::Copytoclipboard1Click);
    PopupMenuUrl->addAction(QStringLiteral("Paste           [Ctrl-V]"), this, &TFormMain::Paste1Click);
    // The editing every text field has, on the field's selection and cursor.
    QLineEdit *edit = ComboBoxBookmark->lineEdit();
    PopupMenuUrl->addSeparator();
    m_urlEditActions = {
        PopupMenuUrl->addAction(QStringLiteral("&Undo"), QKeySequence::Undo, edit, &QLineEdit::undo),
        PopupMenuUrl->addAction(QStringLiteral("Cu&t"), QKeySequence::Cut, edit, &QLineEdit::cut),
        PopupMenuUrl->addAction(QStringLiteral("&Copy selection"), QKeySequence::Copy, edit, &QLineEdit::copy),
        PopupMenuUrl->addAction(QStringLiteral("&Paste at cursor"), QKeySequence::Paste, this, &TFormMain::pasteIntoUrlField),
        PopupMenuUrl->addAction(QStringLiteral("Select &All"), QKeySequence::SelectAll, edit, &QLineEdit::selectAll),
    };
    for (QAction *action : m_urlEditActions)
        action->setShortcutContext(Qt::WidgetShortcut); // the field's own keys act; the menu shows them
    connect(PopupMenuUrl, &QMenu::aboutToShow, this, [this, edit] {
        m_urlEditActions[0]->setEnabled(edit->isUndoAvailable());
        m_urlEditActions[1]->setEnabled(edit->hasSelectedText());
        m_urlEditActions[2]->setEnabled(edit->hasSelectedText());
        m_urlEditActions[3]->setEnabled(!QGuiApplication::clipboard()->text().isEmpty());
        m_urlEditActions[4]->setEnabled(!edit->text().isEmpty());
    });
    edit->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(edit, &QWidget::customContextMenuRequested, this,
            [this, edit](const QPoint &at) { PopupMenuUrl->popup(edit->mapToGlobal(at)); });
    // Pasting several URLs at once goes through the window; so do drops.
    edit->installEventFilter(this);
    edit->setAcceptDrops(false);

    PopupMenuDownload = new QMenu(ComboBoxDownload);
    QAction *addDir = PopupMenuDownload->addAction(QStringLiteral("Add directory to bookmarks"), this, &TFormMain::MenuItem2Click);
    PopupMenuDownload->setDefaultAction(addDir);
    PopupMenuDownload->addAction(QStringLiteral("Delete bookmark"), this, &TFormMain::MenuItem4Click);
    PopupMenuDownload->addAction(QStringLiteral("Delete all bookmarks"), this, &TFormMain::MenuItem5Click);
    ComboBoxDownload->lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ComboBoxDownload->lineEdit(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenuDownload->popup(ComboBoxDownload->lineEdit()->mapToGlobal(at)); });
    connect(ComboBoxDownload, &QComboBox::activated, this, [this](int index) { m_pickedDirectory = index; });
    ComboBoxDownload->lineEdit()->installEventFilter(this);
}

void TFormMain::Addbookmark1Click()
{
    if (!ComboBoxBookmark->currentText().isEmpty())
        addKeepingText(ComboBoxBookmark, ComboBoxBookmark->currentText());
}

void TFormMain::Copytoclipboard1Click()
{
    QGuiApplication::clipboard()->setText(ComboBoxBookmark->currentText());
}

void TFormMain::Paste1Click()
{
    const QString text = QGuiApplication::clipboard()->text();
    if (takeUrls(UrlsInText(text)))
        return;
    if (!text.isEmpty())
        ComboBoxBookmark->setCurrentText(text);
}

void TFormMain::pasteIntoUrlField()
{
    if (!takeUrls(UrlsInText(QGuiApplication::clipboard()->text())))
        ComboBoxBookmark->lineEdit()->paste();
}

bool TFormMain::takeUrls(const QStringList &urls)
{
    if (urls.size() < 2)
        return false;
    for (const QString &url : urls)
        addKeepingText(ComboBoxBookmark, url);
    ComboBoxBookmark->setCurrentText(urls.first());
    return true;
}

void TFormMain::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls() || event->mimeData()->hasText())
        event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent *event)
{
    QStringList urls;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
            urls << url.toString();
    }
    if (urls.isEmpty())
        urls = UrlsInText(event->mimeData()->text());
    if (urls.isEmpty())
        return;
    event->acceptProposedAction();
    fetchUrls(urls); // a dropped page is fetched at once
}

void TFormMain::fetchUrls(const QStringList &urls)
{
    if (urls.isEmpty())
        return;
    if (!takeUrls(urls))
        ComboBoxBookmark->setCurrentText(urls.first());
    if (ButtonStart->isEnabled() && ComboBoxBookmark->isEnabled())
        ButtonStart->click();
}

void TFormMain::MenuItem2Click()
{
    if (!ComboBoxDownload->currentText().isEmpty())
        addKeepingText(ComboBoxDownload, ComboBoxDownload->currentText());
}

void TFormMain::MenuItem4Click()
{
    if (m_pickedDirectory < 0 || m_pickedDirectory >= ComboBoxDownload->count())
        return;
    const QString shown = ComboBoxDownload->currentText();
    ComboBoxDownload->removeItem(m_pickedDirectory);
    ComboBoxDownload->setCurrentText(shown);
    m_pickedDirectory = -1;
}

void TFormMain::MenuItem5Click()
{
    const QString shown = ComboBoxDownload->currentText();
    ComboBoxDownload->clear();
    ComboBoxDownload->setCurrentText(shown);
    m_pickedDirectory = -1;
}

void TFormMain::ComboBoxBookmarkChange()
{
    ButtonStart->setEnabled(!ComboBoxBookmark->currentText().isEmpty());
}

void TFormMain::ComboBoxDownloadChange()
{
    m_directoryTest->stop();
    paintDownloadField(DirectoryOk(ComboBoxDownload->currentText()));
    // A long path is cut in the field: the hint holds it whole.
    ComboBoxDownload->setToolTip(ExpandDirectory(ComboBoxDownload->currentText()));
}

void TFormMain::paintDownloadField(bool ok)
{
    QPalette pal = ComboBoxDownload->palette();
    pal.setColor(QPalette::Base, ok ? m_fieldBackground : QColor(Qt::red));
    pal.setColor(QPalette::Text, ok ? ReadableOn(m_fieldBackground) : QColor(Qt::white));
    ComboBoxDownload->setPalette(pal);
}

void TFormMain::setFieldBackground(const QColor &color)
{
    m_fieldBackground = color;
    QPalette pal = ComboBoxBookmark->palette();
    pal.setColor(QPalette::Base, color);
    pal.setColor(QPalette::Text, ReadableOn(color));
    ComboBoxBookmark->setPalette(pal);
    ComboBoxDownloadChange();
}
