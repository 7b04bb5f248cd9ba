#include "UnitDirectory.h"

#include "Controls.h"
#include "Paths.h"

#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QStorageInfo>
#include <QVBoxLayout>

QStringList MountedDrives()
{
    static const QSet<QByteArray> pseudo = {
        "proc", "sysfs", "devtmpfs", "devpts", "tmpfs", "cgroup", "cgroup2", "securityfs", "debugfs", "tracefs",
        "pstore", "bpf", "configfs", "fusectl", "hugetlbfs", "mqueue", "autofs", "binfmt_misc", "nsfs", "ramfs",
        "efivarfs", "rpc_pipefs", "overlay", "squashfs", "fuse.gvfsd-fuse", "fuse.portal", "selinuxfs"};
    QStringList drives;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady() && !pseudo.contains(volume.fileSystemType()))
            drives << volume.rootPath();
    }
    drives.sort();
    return drives;
}

TFormDirectory::TFormDirectory(QComboBox *downloadField, std::function<void()> closed, QWidget *parent)
    : QDialog(parent)
    , m_downloadField(downloadField)
    , m_closed(std::move(closed))
{
    setWindowTitle(QStringLiteral("Trawlix - Select download directory"));
    setMinimumSize(369, 300);
    auto *layout = new QVBoxLayout(this);
    auto *buttons = new QHBoxLayout;
    ButtonClose = HintedButton(QStringLiteral("&Close"), QStringLiteral("Cancel and close window"), this);
    ButtonSave = HintedButton(QStringLiteral("&Save"), QStringLiteral("Save directory and close window"), this);
    ButtonNew = HintedButton(QStringLiteral("&New directory"), QStringLiteral("Make a new directory"), this);
    for (QPushButton *b : {ButtonClose, ButtonSave, ButtonNew}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch();
    layout->addLayout(buttons);
    DriveComboBox = new QComboBox(this);
    DriveComboBox->addItems(MountedDrives());
    layout->addWidget(DriveComboBox);
    LabelDirectory = new QLabel(this);
    layout->addWidget(LabelDirectory);
    DirectoryListBox = new QListWidget(this);
    layout->addWidget(DirectoryListBox, 1);
    PanelNew = new QWidget(this);
    auto *strip = new QHBoxLayout(PanelNew);
    strip->setContentsMargins(0, 0, 0, 0);
    Edit1 = new QLineEdit(PanelNew);
    Edit1->installEventFilter(this);
    ButtonOk = new QPushButton(QStringLiteral("&Ok"), PanelNew);
    ButtonOk->setEnabled(false);
    ButtonOk->setAutoDefault(false);
    strip->addWidget(new QLabel(QStringLiteral("New directory:"), PanelNew));
    strip->addWidget(Edit1, 1);
    strip->addWidget(ButtonOk);
    PanelNew->hide();
    layout->addWidget(PanelNew);

    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(ButtonSave, &QPushButton::clicked, this, &TFormDirectory::ButtonSaveClick);
    connect(ButtonNew, &QPushButton::clicked, this, &TFormDirectory::ButtonNewClick);
    connect(ButtonOk, &QPushButton::clicked, this, &TFormDirectory::ButtonOkClick);
    connect(Edit1, &QLineEdit::textChanged, this, [this](const QString &text) { ButtonOk->setEnabled(!text.isEmpty()); });
    connect(DriveComboBox, &QComboBox::activated, this, [this] { setDirectory(DriveComboBox->currentText()); });
    connect(DirectoryListBox, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *item) {
        setDirectory(QDir(m_directory).absoluteFilePath(item->text()));
    });
    setDirectory(QDir::homePath());
    nameControls();
}

void TFormDirectory::nameControls()
{
    NameControls({
        {ButtonClose, "ButtonClose"},
        {ButtonSave, "ButtonSave"},
        {ButtonNew, "ButtonNew"},
        {DriveComboBox, "DriveComboBox"},
        {LabelDirectory, "LabelDirectory"},
        {DirectoryListBox, "DirectoryListBox"},
        {PanelNew, "PanelNew"},
        {Edit1, "Edit1"},
        {ButtonOk, "ButtonOk"},
    });
}

void TFormDirectory::setDirectory(const QString &directory)
{
    const QDir dir(directory);
    if (!dir.exists())
        return;
    m_directory = QDir::cleanPath(dir.absolutePath());
    LabelDirectory->setText(m_directory);
    fillList();
}

void TFormDirectory::fillList()
{
    DirectoryListBox->clear();
    if (m_directory != QLatin1String("/"))
        DirectoryListBox->addItem(QStringLiteral(".."));
    DirectoryListBox->addItems(QDir(m_directory).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase));
}

void TFormDirectory::openChooser()
{
    setDirectory(ExpandDirectory(m_downloadField->currentText())); // silently stays when it is no directory
    exec();
}

void TFormDirectory::done(int result)
{
    QDialog::done(result);
    if (m_closed)
        m_closed();
}

void TFormDirectory::ButtonSaveClick()
{
    m_downloadField->setCurrentText(m_directory);
    accept();
}

void TFormDirectory::ButtonNewClick()
{
    Edit1->clear();
    PanelNew->setVisible(PanelNew->isHidden());
    if (PanelNew->isVisible())
        Edit1->setFocus();
}

void TFormDirectory::ButtonOkClick()
{
    const QString name = Edit1->text();
    // A name that exists already, or cannot be made, is no error: the list
    // moves there when it can and stays where it was when it cannot.
    QDir(m_directory).mkdir(name);
    setDirectory(QDir(m_directory).filePath(name));
    PanelNew->hide();
}

bool TFormDirectory::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter)) {
            if (ButtonOk->isEnabled())
                ButtonOkClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
