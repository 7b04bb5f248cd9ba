// The main window, part: the URL and directory fields and their menus.
#include "UnitMain.h"

#include "DataRec.h"
#include "UnitMain_p.h"
#include "UrlRules.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

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
    ComboBoxBookmark->lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ComboBoxBookmark->lineEdit(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenuUrl->popup(ComboBoxBookmark->lineEdit()->mapToGlobal(at)); });

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
    if (!text.isEmpty())
        ComboBoxBookmark->setCurrentText(text);
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
