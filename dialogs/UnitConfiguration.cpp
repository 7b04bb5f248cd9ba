#include "UnitConfiguration.h"

#include "ColorPicker.h"
#include "Controls.h"
#include "ItemTree.h"
#include "MainForm.h"
#include "PasswordField.h"
#include "SettingsKey.h"
#include "SettingsList.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
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

QSpinBox *spinField(int minimum, int maximum, int step, int value, QWidget *parent)
{
    auto *spin = new QSpinBox(parent);
    spin->setRange(minimum, maximum);
    spin->setSingleStep(step);
    spin->setValue(value);
    return spin;
}

QCheckBox *checkBox(const QString &caption, bool on, QWidget *parent)
{
    auto *box = new QCheckBox(caption, parent);
    box->setChecked(on);
    return box;
}

// The colours items take until the user picks others.
const QColor kFirstRunColors[6] = {QColor(0, 0, 160), QColor(0, 110, 0), QColor(0, 0, 0),
                                   QColor(0, 0, 255), QColor(128, 0, 128), QColor(255, 255, 255)};

} // namespace

TFormConfiguration::TFormConfiguration(TMainForm *main, const TPaths &paths, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint)
    , m_main(main)
    , m_paths(paths)
{
    setWindowTitle(QStringLiteral("Trawlix - Configuration"));
    auto *layout = new QVBoxLayout(this);
    auto *close = new QPushButton(QStringLiteral("&Close"), this);
    close->setToolTip(QStringLiteral("Close window"));
    connect(close, &QPushButton::clicked, this, &TFormConfiguration::SpeedButton2Click);
    layout->addWidget(close, 0, Qt::AlignLeft);

    auto *tabRow = new QHBoxLayout;
    m_pages = new QStackedWidget(this);
    const QStringList captions = {QStringLiteral("File download"), QStringLiteral("Parsing"),
                                  QStringLiteral("Timeout && Proxy"), QStringLiteral("General"),
                                  QStringLiteral("Colors")};
    m_pages->addWidget(buildFileDownloadPage());
    m_pages->addWidget(buildParsingPage());
    m_pages->addWidget(buildProxyPage());
    m_pages->addWidget(buildGeneralPage());
    m_pages->addWidget(buildColorsPage());
    auto *tabGroup = new QButtonGroup(this);
    for (int i = 0; i < captions.size(); ++i) {
        auto *tab = new QToolButton(this);
        tabGroup->addButton(tab);
        tab->setText(captions[i]);
        tab->setCheckable(true);
        tab->setAutoRaise(true);
        connect(tab, &QToolButton::clicked, this, [this, i] { showPage(i); });
        tabRow->addWidget(tab);
        m_tabs << tab;
    }
    tabRow->addStretch();
    layout->addLayout(tabRow);
    layout->addWidget(m_pages);
    showPage(3); // "General" first

    connect(CheckBoxProxy, &QCheckBox::toggled, this, &TFormConfiguration::CheckBoxProxyClick);
    connect(CheckBoxAutoSelect, &QCheckBox::toggled, this, &TFormConfiguration::CheckBoxAutoSelectClick);
    connect(CheckBoxUseFriendlyName, &QCheckBox::toggled, this, &TFormConfiguration::CheckBoxUseFriendlyNameClick);
    connect(SpinEditMaxTreads, &QSpinBox::valueChanged, this, &TFormConfiguration::SpinEditMaxTreadsChange);
    for (TColorPicker *picker : ColorBoxes)
        connect(picker, &TColorPicker::colorChanged, this, &TFormConfiguration::ChangeColors);

    setFixedSize(sizeHint().expandedTo(QSize(520, 360)));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    bindSettings();
    nameControls();
}

void TFormConfiguration::nameControls()
{
    NameControls({
        {RadioButtonSkip, "RadioButtonSkip"},
        {RadioButtonOverwrite, "RadioButtonOverwrite"},
        {RadioButtonRename, "RadioButtonRename"},
        {SpinEditMaxTreads, "SpinEditMaxTreads"},
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

void TFormConfiguration::showPage(int index)
{
    m_pages->setCurrentIndex(index);
    m_tabs.value(index)->setChecked(true);
}

int TFormConfiguration::pageCount() const
{
    return m_pages->count();
}

QWidget *TFormConfiguration::buildFileDownloadPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    auto *existing = new QGroupBox(QStringLiteral("Action when a file already exists:"), page);
    auto *options = new QVBoxLayout(existing);
    RadioButtonSkip = new QRadioButton(QStringLiteral("Skip"), existing);
    RadioButtonOverwrite = new QRadioButton(QStringLiteral("Overwrite existing"), existing);
    RadioButtonRename = new QRadioButton(QStringLiteral("Save with automatically renaming"), existing);
    RadioButtonRename->setChecked(true);
    for (QRadioButton *option : {RadioButtonSkip, RadioButtonOverwrite, RadioButtonRename})
        options->addWidget(option);
    layout->addWidget(existing);

    auto *form = new QFormLayout;
    SpinEditMaxTreads = spinField(1, 8, 1, 4, page);
    SpinEditMinSize = spinField(1, 999999, 1000, 1, page);
    SpinEditMaxSize = spinField(1000, 999999999, 1000, 150000, page);
    form->addRow(QStringLiteral("Maximum download engines to use (1..8):"), SpinEditMaxTreads);
    form->addRow(QStringLiteral("Skip files with size less than (in bytes):"), SpinEditMinSize);
    form->addRow(QStringLiteral("Skip files with size greater than (in bytes):"), SpinEditMaxSize);
    layout->addLayout(form);
    layout->addWidget(new QLabel(QStringLiteral("Include file types: (Must be seperated with a semi, no dots/spaces)"), page));
    EditFileTypes = lowerCaseEdit(page);
    layout->addWidget(EditFileTypes);
    CheckBoxStartAll = checkBox(QStringLiteral("Start every free slot at once"), false, page);
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
    CheckBoxAddChild = checkBox(QStringLiteral("Include child links when parsing links"), true, page);
    CheckBoxIncludeThumbs = checkBox(QStringLiteral("Include thumbnails and-/or html embedded images"), true, page);
    CheckBoxGetPassword = checkBox(QStringLiteral("Automaticly pick Username && Password from Url when parsing"), true, page);
    CheckBoxExpandParse = checkBox(QStringLiteral("Expand tree after parsing link"), true, page);
    CheckBoxSaveHtml = checkBox(QStringLiteral("Save Html document to disk after parsing"), false, page);
    CheckBoxAutoSelect = checkBox(QStringLiteral("Auto select files when parsing"), false, page);
    for (QCheckBox *box : {CheckBoxAddChild, CheckBoxIncludeThumbs, CheckBoxGetPassword, CheckBoxExpandParse,
                           CheckBoxSaveHtml, CheckBoxAutoSelect})
        layout->addWidget(box);
    LabelAutoSelectTypes = new QLabel(QStringLiteral("Auto select file types: (Must be seperated with a semi, no dots/spaces)"), page);
    EditAutoSelectFileTypes = lowerCaseEdit(page);
    EditAutoSelectFileTypes->setText(QStringLiteral("jpg,jpeg"));
    layout->addWidget(LabelAutoSelectTypes);
    layout->addWidget(EditAutoSelectFileTypes);
    layout->addStretch();
    return page;
}

QWidget *TFormConfiguration::buildProxyPage()
{
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    SpinEditTimeoutDoc = spinField(5, 300, 5, 30, page);
    SpinEditTimeOutFile = spinField(5, 300, 5, 60, page);
    form->addRow(QStringLiteral("Time out when downloading documents in seconds:"), SpinEditTimeoutDoc);
    form->addRow(QStringLiteral("Time out when downloading files in seconds:"), SpinEditTimeOutFile);
    CheckBoxProxy = checkBox(QStringLiteral("Use proxy"), false, page);
    form->addRow(CheckBoxProxy);
    EditProxy = lowerCaseEdit(page);
    EditProxy->setText(kDefaultProxy);
    EditProxyPort = new QLineEdit(QStringLiteral("3128"), page);
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
    CheckBoxBeep = checkBox(QStringLiteral("Beep when last operation finish"), true, page);
    CheckBoxUseFriendlyName = checkBox(QStringLiteral("Use friendly name on taskbar - Your boss may look :-)"), false, page);
    CheckBoxItemJump = checkBox(QStringLiteral("Jump to active item when parsing / downloading"), false, page);
    CheckBoxCreateDir = checkBox(QStringLiteral("Save files to a new directory for each link  (Directory name = Url)"), false, page);
    CheckBoxAutoSave = checkBox(QStringLiteral("Save links && files on program exit"), false, page);
    CheckBoxSaveWindow = checkBox(QStringLiteral("Save window position && size on program exit"), true, page);
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

void TFormConfiguration::bindSettings()
{
    TSettingsBinding &b = m_binding;
    using B = TSettingsBinding;
    auto text = [&b](const QString &name, int group, QLineEdit *edit) {
        b.add(name, B::String, group, [edit] { return edit->text(); },
              [edit](const QVariant &v) { edit->setText(v.toString()); });
    };
    auto flag = [&b](const QString &name, int group, QAbstractButton *box) {
        b.add(name, B::Boolean, group, [box] { return box->isChecked(); },
              [box](const QVariant &v) { box->setChecked(v.toBool()); });
    };
    auto number = [&b](const QString &name, int group, QSpinBox *spin) {
        b.add(name, B::Integer, group, [spin] { return spin->value(); },
              [spin](const QVariant &v) { spin->setValue(v.toInt()); }); // clamps to the range
    };
    auto list = [&b](const QString &name, QComboBox *combo) {
        b.add(name, B::String, 1,
              [combo] {
                  QStringList entries;
                  for (int i = 0; i < combo->count(); ++i)
                      entries << combo->itemText(i);
                  return SettingsList::join(entries);
              },
              [combo](const QVariant &v) {
                  const QString shown = combo->currentText();
                  combo->clear();
                  combo->addItems(SettingsList::split(v.toString()));
                  combo->setCurrentText(shown);
              });
    };
    auto action = [&b](const QString &name, QAction *item) {
        b.add(name, B::Boolean, 2, [item] { return item->isChecked(); },
              [item](const QVariant &v) { item->setChecked(v.toBool()); });
    };

    QComboBox *url = m_main->urlField();
    QComboBox *dir = m_main->downloadField();
    b.add("DownloadDir", B::String, 1, [dir] { return dir->currentText(); },
          [dir](const QVariant &v) { dir->setCurrentText(v.toString()); });
    b.add("LastDocument", B::String, 1, [url] { return url->currentText(); },
          [url](const QVariant &v) { url->setCurrentText(v.toString()); });
    list("Bookmark", url);
    list("Download", dir);

    action("Preview", m_main->previewAction());
    action("ShowProgress", m_main->progressAction());
    flag("AutoSave", 2, CheckBoxAutoSave);
    flag("CreateDir", 2, CheckBoxCreateDir);
    flag("BossName", 2, CheckBoxUseFriendlyName);
    flag("Beep", 2, CheckBoxBeep);
    flag("SaveWindow", 2, CheckBoxSaveWindow);

    text("FileTypes", 3, EditFileTypes);
    number("MinSize", 3, SpinEditMinSize);
    number("MaxSize", 3, SpinEditMaxSize);
    number("MaxTreads", 3, SpinEditMaxTreads);
    flag("AddChild", 3, CheckBoxAddChild);
    flag("ExpandParse", 3, CheckBoxExpandParse);
    number("TimeoutDoc", 3, SpinEditTimeoutDoc);
    number("TimeOutFile", 3, SpinEditTimeOutFile);
    text("AutoSelectFileTypes", 3, EditAutoSelectFileTypes);
    flag("AutoSelectEnabled", 3, CheckBoxAutoSelect);
    flag("IncludeThumbs", 3, CheckBoxIncludeThumbs);
    flag("SkipFile", 3, RadioButtonSkip);
    flag("OverWriteFile", 3, RadioButtonOverwrite);
    flag("RenameFile", 3, RadioButtonRename);
    flag("GetPassword", 3, CheckBoxGetPassword);
    flag("ItemJump", 3, CheckBoxItemJump);
    flag("SaveHtml", 3, CheckBoxSaveHtml);
    for (int i = 0; i < 6; ++i) {
        TColorPicker *picker = ColorBoxes[i];
        b.add(QStringLiteral("Color%1").arg(i + 1), B::Integer, 3, [picker] { return picker->colorValue(); },
              [picker](const QVariant &v) { picker->setColorValue(v.toInt()); });
    }
    text("Proxy", 3, EditProxy);
    text("ProxyPort", 3, EditProxyPort);
    text("ProxyUsername", 3, EditProxyUsername);
    text("ProxyPassword", 3, EditProxyPassword);
    flag("ProxyEnabled", 3, CheckBoxProxy);
    flag("StartAllSlots", 3, CheckBoxStartAll);

    QWidget *window = m_main->mainWidget();
    TMainForm *main = m_main;
    b.add("FormTop", B::Integer, 4, [window] { return window->y(); },
          [window](const QVariant &v) { window->move(window->x(), qBound(-10000, v.toInt(), 10000)); });
    b.add("FormLeft", B::Integer, 4, [window] { return window->x(); },
          [window](const QVariant &v) { window->move(qBound(-10000, v.toInt(), 10000), window->y()); });
    b.add("FormHeight", B::Integer, 4, [window] { return window->height(); },
          [window](const QVariant &v) { window->resize(window->width(), qBound(0, v.toInt(), 10000)); });
    b.add("FormWidth", B::Integer, 4, [window] { return window->width(); },
          [window](const QVariant &v) { window->resize(qBound(0, v.toInt(), 10000), window->height()); });
    b.add("DocWidth", B::Integer, 4, [main] { return main->docWidth(); },
          [main](const QVariant &v) { main->setDocWidth(qBound(0, v.toInt(), 10000)); });
    b.add("PreviewWidth", B::Integer, 4, [main] { return main->previewWidth(); },
          [main](const QVariant &v) { main->setPreviewWidth(qBound(0, v.toInt(), 10000)); });
}

void TFormConfiguration::FormCreate()
{
    TSettingsKey key(m_paths.settingsFile);
    key.open();
    m_binding.loadGroup(key, 1);
    m_binding.loadGroup(key, 2);
    m_binding.loadGroup(key, 3);
    if (CheckBoxSaveWindow->isChecked())
        m_binding.loadGroup(key, 4);
    keepMainWindowOnScreen(); // a stored place, or the default one on a small screen
    key.close();

    m_main->UpdateScreen();
    m_main->UpdatePanels();
    m_main->updateLoadItemsEntry();

    if (m_main->urlField()->currentText().isEmpty())
        m_main->urlField()->setCurrentText(QStringLiteral("http://"));
    if (m_main->downloadField()->currentText().isEmpty())
        m_main->downloadField()->setCurrentText(m_paths.defaultDownloadDir);
    // A fresh account may have no Downloads folder yet: the default one is
    // made; a directory the user chose is never made behind their back.
    if (m_main->downloadField()->currentText() == m_paths.defaultDownloadDir)
        QDir().mkpath(m_paths.defaultDownloadDir);
    if (EditFileTypes->text().isEmpty())
        EditFileTypes->setText(kDefaultFileTypes);

    CheckBoxUseFriendlyNameClick();
    SpinEditMaxTreadsChange();
    ChangeColors();
}

QRect FitOnScreen(const QRect &window, const QRect &available, const QSize &minimum)
{
    // Room above for the title bar, which the window's own rectangle leaves out.
    constexpr int kTitleBar = 32;
    const QRect area = available.adjusted(0, kTitleBar, 0, 0);
    QSize size = window.size().boundedTo(area.size()).expandedTo(minimum);
    QPoint at = window.topLeft();
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
    at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
    return QRect(at, size);
}

void TFormConfiguration::keepMainWindowOnScreen()
{
    // Stored geometry may come from another screen layout.
    QWidget *window = m_main->mainWidget();
    const QScreen *screen = QGuiApplication::screenAt(window->pos() + QPoint(20, 20));
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // The stored top and left are the frame's, as pos() gives them: placed
    // with move(), not as the inner geometry, or each start shifts the
    // window by its title bar.
    const QRect fitted = FitOnScreen(QRect(window->pos(), window->size()), screen->availableGeometry(),
                                     window->minimumSize());
    window->resize(fitted.size());
    window->move(fitted.topLeft());
}

void TFormConfiguration::SpeedButton2Click()
{
    close();
}

void TFormConfiguration::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
    QDialog::changeEvent(event);
}

void TFormConfiguration::FormActivate()
{
    CheckBoxProxyClick();
    CheckBoxAutoSelectClick();
}

void TFormConfiguration::CheckBoxProxyClick()
{
    const bool on = CheckBoxProxy->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *>{LabelProxy, EditProxy, LabelProxyPort, EditProxyPort,
                                                       LabelProxyUsername, EditProxyUsername,
                                                       LabelProxyPassword, EditProxyPassword})
        w->setEnabled(on);
}

void TFormConfiguration::CheckBoxAutoSelectClick()
{
    const bool on = CheckBoxAutoSelect->isChecked();
    LabelAutoSelectTypes->setEnabled(on);
    EditAutoSelectFileTypes->setEnabled(on);
}

void TFormConfiguration::CheckBoxUseFriendlyNameClick()
{
    m_main->showFriendlyName(CheckBoxUseFriendlyName->isChecked());
}

void TFormConfiguration::SpinEditMaxTreadsChange()
{
    m_main->showSlotCount(SpinEditMaxTreads->value());
}

void TFormConfiguration::ChangeColors()
{
    m_main->setFieldBackground(color(ColorBackground));
    m_main->itemTree()->Recolor();
}

QColor TFormConfiguration::color(int slot) const
{
    if (slot < 1 || slot > 6)
        return QColor(Qt::black);
    return ColorBoxes[slot - 1]->color();
}

bool TFormConfiguration::autoSelectEnabled() const
{
    return CheckBoxAutoSelect->isChecked();
}

QString TFormConfiguration::autoSelectFileTypes() const
{
    return EditAutoSelectFileTypes->text();
}

bool TFormConfiguration::autoSaveOnClose() const
{
    return CheckBoxAutoSave->isChecked();
}

void TFormConfiguration::setSlotCountEditable(bool editable)
{
    SpinEditMaxTreads->setEnabled(editable);
}

TProxySettings TFormConfiguration::proxySettings() const
{
    return {CheckBoxProxy->isChecked(), EditProxy->text(), EditProxyPort->text(), EditProxyUsername->text(),
            EditProxyPassword->text()};
}

TDownloadSettings TFormConfiguration::downloadSettings() const
{
    TDownloadSettings s;
    s.maxThreads = SpinEditMaxTreads->value();
    s.timeOutFileMs = SpinEditTimeOutFile->value() * 1000;
    s.minSize = SpinEditMinSize->value();
    s.maxSize = SpinEditMaxSize->value();
    s.proxy = proxySettings();
    s.existing = RadioButtonSkip->isChecked()        ? TDownloadSettings::Skip
                 : RadioButtonOverwrite->isChecked() ? TDownloadSettings::Overwrite
                                                     : TDownloadSettings::Rename;
    s.itemJump = CheckBoxItemJump->isChecked();
    s.beep = CheckBoxBeep->isChecked();
    s.createDir = CheckBoxCreateDir->isChecked();
    s.startAllAtOnce = CheckBoxStartAll->isChecked();
    s.downloadDir = ExpandDirectory(m_main->downloadField()->currentText());
    return s;
}

TCrawlSettings TFormConfiguration::crawlSettings() const
{
    TCrawlSettings s;
    s.proxy = proxySettings();
    s.timeoutDocMs = SpinEditTimeoutDoc->value() * 1000;
    s.getPassword = CheckBoxGetPassword->isChecked();
    s.saveHtml = CheckBoxSaveHtml->isChecked();
    s.expandParse = CheckBoxExpandParse->isChecked();
    s.itemJump = CheckBoxItemJump->isChecked();
    s.beep = CheckBoxBeep->isChecked();
    s.downloadDir = ExpandDirectory(m_main->downloadField()->currentText());
    return s;
}

TScanSettings TFormConfiguration::scanSettings() const
{
    return {EditFileTypes->text(), CheckBoxAddChild->isChecked(), CheckBoxIncludeThumbs->isChecked(),
            ExpandDirectory(m_main->downloadField()->currentText())};
}
