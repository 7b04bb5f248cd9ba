// The configuration window, part: its five pages and their controls.
#include "UnitConfiguration.h"

#include "ColorPicker.h"
#include "Controls.h"
#include "RunSettings.h"
#include "SettingsTable.h"
#include "PasswordField.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// A text field that shows what is typed, or loaded, in lower case.
QLineEdit *lowerCaseEdit(QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit](const QString &text) {
        const QString lower = text.toLower();
        if (lower != text) {
            const int cursor = edit->cursorPosition();
            edit->setText(lower);
            edit->setCursorPosition(cursor);
        }
    });
    return edit;
}

QSpinBox *spinField(const Setting::Number &setting, QWidget *parent)
{
    auto *spin = new QSpinBox(parent);
    spin->setRange(setting.minimum, setting.maximum);
    spin->setSingleStep(setting.step);
    spin->setValue(setting.value);
    return spin;
}

QCheckBox *checkBox(const QString &caption, const Setting::Flag &setting, QWidget *parent)
{
    auto *box = new QCheckBox(caption, parent);
    box->setChecked(setting.value);
    return box;
}

// The colours items take until the user picks others.
const QColor kFirstRunColors[6] = {QColor(0, 0, 160), QColor(0, 110, 0), QColor(0, 0, 0),
                                   QColor(0, 0, 255), QColor(128, 0, 128), QColor(255, 255, 255)};

} // namespace

void TFormConfiguration::nameControls()
{
    NameControls({
        {RadioButtonSkip, "RadioButtonSkip"},
        {RadioButtonOverwrite, "RadioButtonOverwrite"},
        {RadioButtonRename, "RadioButtonRename"},
        {SpinEditMaxTreads, "SpinEditMaxTreads"},
        {SpinEditRetries, "SpinEditRetries"},
        {SpinEditFilesPerSlot, "SpinEditFilesPerSlot"},
        {SpinEditMinSize, "SpinEditMinSize"},
        {SpinEditMaxSize, "SpinEditMaxSize"},
        {EditFileTypes, "EditFileTypes"},
        {CheckBoxStartAll, "CheckBoxStartAll"},
        {CheckBoxAddChild, "CheckBoxAddChild"},
        {CheckBoxIncludeThumbs, "CheckBoxIncludeThumbs"},
        {CheckBoxGetPassword, "CheckBoxGetPassword"},
        {CheckBoxExpandParse, "CheckBoxExpandParse"},
        {CheckBoxSaveHtml, "CheckBoxSaveHtml"},
        {CheckBoxAutoSelect, "CheckBoxAutoSelect"},
        {LabelAutoSelectTypes, "LabelAutoSelectTypes"},
        {EditAutoSelectFileTypes, "EditAutoSelectFileTypes"},
        {SpinEditTimeoutDoc, "SpinEditTimeoutDoc"},
        {SpinEditTimeOutFile, "SpinEditTimeOutFile"},
        {CheckBoxReuseConnections, "CheckBoxReuseConnections"},
        {CheckBoxFindShown, "CheckBoxFindShown"},
        {CheckBoxReadStylesheets, "CheckBoxReadStylesheets"},
        {CheckBoxKeepQuery, "CheckBoxKeepQuery"},
        {CheckBoxCheckSizes, "CheckBoxCheckSizes"},
        {CheckBoxProxy, "CheckBoxProxy"},
        {LabelProxy, "LabelProxy"},
        {EditProxy, "EditProxy"},
        {LabelProxyPort, "LabelProxyPort"},
        {EditProxyPort, "EditProxyPort"},
        {LabelProxyUsername, "LabelProxyUsername"},
        {EditProxyUsername, "EditProxyUsername"},
        {LabelProxyPassword, "LabelProxyPassword"},
        {EditProxyPassword, "EditProxyPassword"},
        {CheckBoxBeep, "CheckBoxBeep"},
        {CheckBoxUseFriendlyName, "CheckBoxUseFriendlyName"},
        {CheckBoxItemJump, "CheckBoxItemJump"},
        {CheckBoxCreateDir, "CheckBoxCreateDir"},
        {CheckBoxAutoSave, "CheckBoxAutoSave"},
        {CheckBoxSaveWindow, "CheckBoxSaveWindow"},
    });
    for (int i = 0; i < 6; ++i)
        ColorBoxes[i]->setObjectName(QStringLiteral("Color%1").arg(i + 1));
}

QWidget *TFormConfiguration::buildFileDownloadPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    auto *existing = new QGroupBox(QStringLiteral("Action when a file already exists:"), page);
    auto *options = new QVBoxLayout(existing);
    RadioButtonSkip = new QRadioButton(QStringLiteral("Skip"), existing);
    RadioButtonOverwrite = new QRadioButton(QStringLiteral("Overwrite existing"), existing);
    RadioButtonRename = new QRadioButton(QStringLiteral("Save with automatic renaming"), existing);
    RadioButtonSkip->setChecked(Setting::SkipFile.value);
    RadioButtonOverwrite->setChecked(Setting::OverWriteFile.value);
    RadioButtonRename->setChecked(Setting::RenameFile.value);
    for (QRadioButton *option : {RadioButtonSkip, RadioButtonOverwrite, RadioButtonRename})
        options->addWidget(option);
    layout->addWidget(existing);

    auto *form = new QFormLayout;
    SpinEditMaxTreads = spinField(Setting::MaxTreads, page);
    SpinEditMinSize = spinField(Setting::MinSize, page);
    SpinEditMaxSize = spinField(Setting::MaxSize, page);
    form->addRow(QStringLiteral("Transfers at once (1..8):"), SpinEditMaxTreads);
    form->addRow(QStringLiteral("Skip files with size less than (in bytes):"), SpinEditMinSize);
    form->addRow(QStringLiteral("Skip files with size greater than (in bytes):"), SpinEditMaxSize);
    SpinEditRetries = spinField(Setting::RetryCount, page);
    SpinEditRetries->setToolTip(QStringLiteral("A broken connection, a cut body or a server that says \"later\" "
                                               "(408, 429, 500, 502, 503, 504) is tried again after 1, 2, 4 ... "
                                               "seconds, or when the server's Retry-After says"));
    form->addRow(QStringLiteral("Retry a failed transfer up to N times:"), SpinEditRetries);
    SpinEditFilesPerSlot = spinField(Setting::FilesPerSlot, page);
    SpinEditFilesPerSlot->setToolTip(QStringLiteral("Where a server speaks HTTP/2, a slot carries this many of its files "
                                                    "at once, as streams of one connection; 1 keeps one file a slot"));
    form->addRow(QStringLiteral("Files at once per slot over HTTP/2:"), SpinEditFilesPerSlot);
    layout->addLayout(form);
    layout->addWidget(new QLabel(QStringLiteral("Include file types: (separated by commas, no dots or spaces)"), page));
    EditFileTypes = lowerCaseEdit(page);
    layout->addWidget(EditFileTypes);
    CheckBoxStartAll = checkBox(QStringLiteral("Start every free slot at once"), Setting::StartAllSlots, page);
    CheckBoxStartAll->setToolTip(QStringLiteral("Fill every free transfer slot at once and start the next file as "
                                                "soon as one ends, instead of one start per second"));
    layout->addWidget(CheckBoxStartAll);
    layout->addStretch();
    return page;
}

QWidget *TFormConfiguration::buildParsingPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    CheckBoxAddChild = checkBox(QStringLiteral("Include child links when parsing links"), Setting::AddChild, page);
    CheckBoxIncludeThumbs = checkBox(QStringLiteral("Include thumbnails and/or images embedded in the page"), Setting::IncludeThumbs, page);
    CheckBoxGetPassword = checkBox(QStringLiteral("Automatically pick Username && Password from Url when parsing"), Setting::GetPassword, page);
    CheckBoxExpandParse = checkBox(QStringLiteral("Expand tree after parsing link"), Setting::ExpandParse, page);
    CheckBoxSaveHtml = checkBox(QStringLiteral("Save Html document to disk after parsing"), Setting::SaveHtml, page);
    CheckBoxFindShown = checkBox(QStringLiteral("Also find pictures as browsers show them"), Setting::FindShownPictures, page);
    CheckBoxFindShown->setToolTip(QStringLiteral("Reads the page as a browser does: links to files in any form, the largest "
                                                 "picture of srcset and <picture>, lazy-loading attributes (data-*), CSS "
                                                 "url(...) and the page's og:image, after the plain scan's finds"));
    CheckBoxReadStylesheets = checkBox(QStringLiteral("Also read the page's stylesheets on the same server"), Setting::ReadStylesheets, page);
    CheckBoxReadStylesheets->setToolTip(QStringLiteral("The pictures of up to %1 stylesheets the page links on its own "
                                                       "server, each read up to 2 MB")
                                            .arg(20));
    CheckBoxReadStylesheets->setContentsMargins(20, 0, 0, 0);
    CheckBoxReadStylesheets->setEnabled(false);
    connect(CheckBoxFindShown, &QCheckBox::toggled, CheckBoxReadStylesheets, &QWidget::setEnabled);
    CheckBoxKeepQuery = checkBox(QStringLiteral("Keep addresses with a query (?)"), Setting::KeepQueryAddresses, page);
    CheckBoxKeepQuery->setToolTip(QStringLiteral("A file such as photo.jpg?w=1600 is kept with its query; it is stored "
                                                 "under the name of its path, photo.jpg"));
    CheckBoxCheckSizes = checkBox(QStringLiteral("Check sizes of the files found after every scan"), Setting::CheckSizesAfterScan, page);
    CheckBoxCheckSizes->setToolTip(QStringLiteral("Asks the server for each new file's size, and a picture's width and "
                                                  "height, as \"Check size\" in the tree's menu does"));
    CheckBoxAutoSelect = checkBox(QStringLiteral("Auto select files when parsing"), Setting::AutoSelectEnabled, page);
    for (QCheckBox *box : {CheckBoxAddChild, CheckBoxIncludeThumbs, CheckBoxFindShown, CheckBoxReadStylesheets,
                           CheckBoxKeepQuery, CheckBoxCheckSizes, CheckBoxGetPassword,
                           CheckBoxExpandParse, CheckBoxSaveHtml, CheckBoxAutoSelect})
        layout->addWidget(box);
    LabelAutoSelectTypes = new QLabel(QStringLiteral("Auto select file types: (separated by commas, no dots or spaces)"), page);
    EditAutoSelectFileTypes = lowerCaseEdit(page);
    EditAutoSelectFileTypes->setText(QString::fromLatin1(Setting::AutoSelectFileTypes.value));
    layout->addWidget(LabelAutoSelectTypes);
    layout->addWidget(EditAutoSelectFileTypes);
    layout->addStretch();
    return page;
}

QWidget *TFormConfiguration::buildProxyPage()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    SpinEditTimeoutDoc = spinField(Setting::TimeoutDoc, page);
    SpinEditTimeOutFile = spinField(Setting::TimeOutFile, page);
    form->addRow(QStringLiteral("Time out when downloading documents in seconds:"), SpinEditTimeoutDoc);
    form->addRow(QStringLiteral("Time out when downloading files in seconds:"), SpinEditTimeOutFile);
    CheckBoxReuseConnections = checkBox(QStringLiteral("Reuse connections (HTTP/1.1 and HTTP/2)"), Setting::ReuseConnections, page);
    CheckBoxReuseConnections->setToolTip(
        QStringLiteral("Keep a connection open for the next file from the same server: much faster over a real "
                       "network. Switch it off for a server or proxy that mishandles HTTP/1.1."));
    form->addRow(CheckBoxReuseConnections);
    CheckBoxProxy = checkBox(QStringLiteral("Use proxy"), Setting::ProxyEnabled, page);
    form->addRow(CheckBoxProxy);
    EditProxy = lowerCaseEdit(page);
    EditProxy->setText(QString::fromLatin1(Setting::Proxy.value));
    EditProxyPort = new QLineEdit(QString::fromLatin1(Setting::ProxyPort.value), page);
    EditProxyUsername = new QLineEdit(page);
    EditProxyPassword = new QLineEdit(page);
    MakePasswordField(EditProxyPassword);
    LabelProxy = new QLabel(QStringLiteral("Proxy:"), page);
    LabelProxyPort = new QLabel(QStringLiteral("Port:"), page);
    LabelProxyUsername = new QLabel(QStringLiteral("Username:"), page);
    LabelProxyPassword = new QLabel(QStringLiteral("Password:"), page);
    form->addRow(LabelProxy, EditProxy);
    form->addRow(LabelProxyPort, EditProxyPort);
    form->addRow(LabelProxyUsername, EditProxyUsername);
    form->addRow(LabelProxyPassword, EditProxyPassword);
    return page;
}

QWidget *TFormConfiguration::buildGeneralPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    CheckBoxBeep = checkBox(QStringLiteral("Beep when the last operation finishes"), Setting::Beep, page);
    CheckBoxUseFriendlyName = checkBox(QStringLiteral("Use friendly name on taskbar - Your boss may look :-)"), Setting::BossName, page);
    CheckBoxItemJump = checkBox(QStringLiteral("Jump to active item when parsing / downloading"), Setting::ItemJump, page);
    CheckBoxCreateDir = checkBox(QStringLiteral("Save files to a new directory for each link  (Directory name = Url)"), Setting::CreateDir, page);
    CheckBoxAutoSave = checkBox(QStringLiteral("Save links && files on program exit"), Setting::AutoSave, page);
    CheckBoxSaveWindow = checkBox(QStringLiteral("Save window position && size on program exit"), Setting::SaveWindow, page);
    for (QCheckBox *box : {CheckBoxBeep, CheckBoxUseFriendlyName, CheckBoxItemJump, CheckBoxCreateDir,
                           CheckBoxAutoSave, CheckBoxSaveWindow})
        layout->addWidget(box);
    layout->addStretch();
    return page;
}

QWidget *TFormConfiguration::buildColorsPage()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    const QStringList captions = {QStringLiteral("Links - standard:"), QStringLiteral("Links - Parsed:"),
                                  QStringLiteral("Files - standard:"), QStringLiteral("Files - Downloaded:"),
                                  QStringLiteral("Files - Downloaded && viewed:"),
                                  QStringLiteral("Tree && Edit background:")};
    for (int i = 0; i < 6; ++i) {
        ColorBoxes[i] = new TColorPicker(kFirstRunColors[i], page);
        // The row's label takes "&" as a mnemonic for its picker: "&&" shows one "&".
        form->addRow(captions[i], ColorBoxes[i]);
    }
    return page;
}
