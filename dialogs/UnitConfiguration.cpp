#include "UnitConfiguration.h"

#include "ColorPicker.h"
#include "ItemTree.h"
#include "MainForm.h"
#include "SettingsKey.h"
#include "SettingsList.h"
#include "SettingsTable.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QComboBox>
#include <QEvent>
#include <QGuiApplication>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

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

void TFormConfiguration::showPage(int index)
{
    m_pages->setCurrentIndex(index);
    m_tabs.value(index)->setChecked(true);
}

int TFormConfiguration::pageCount() const
{
    return m_pages->count();
}

void TFormConfiguration::bindSettings()
{
    TSettingsBinding &b = m_binding;
    using B = TSettingsBinding;
    auto text = [&b](const Setting::Text &setting, QLineEdit *edit) {
        b.add(QLatin1String(setting.name), B::String, setting.group, [edit] { return edit->text(); },
              [edit](const QVariant &v) { edit->setText(v.toString()); });
    };
    auto flag = [&b](const Setting::Flag &setting, QAbstractButton *box) {
        b.add(QLatin1String(setting.name), B::Boolean, setting.group, [box] { return box->isChecked(); },
              [box](const QVariant &v) { box->setChecked(v.toBool()); });
    };
    auto number = [&b](const Setting::Number &setting, QSpinBox *spin) {
        b.add(QLatin1String(setting.name), B::Integer, setting.group, [spin] { return spin->value(); },
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
    flag(Setting::AutoSave, CheckBoxAutoSave);
    flag(Setting::CreateDir, CheckBoxCreateDir);
    flag(Setting::BossName, CheckBoxUseFriendlyName);
    flag(Setting::Beep, CheckBoxBeep);
    flag(Setting::SaveWindow, CheckBoxSaveWindow);

    text(Setting::FileTypes, EditFileTypes);
    number(Setting::MinSize, SpinEditMinSize);
    number(Setting::MaxSize, SpinEditMaxSize);
    number(Setting::MaxTreads, SpinEditMaxTreads);
    flag(Setting::AddChild, CheckBoxAddChild);
    flag(Setting::ExpandParse, CheckBoxExpandParse);
    number(Setting::TimeoutDoc, SpinEditTimeoutDoc);
    number(Setting::TimeOutFile, SpinEditTimeOutFile);
    text(Setting::AutoSelectFileTypes, EditAutoSelectFileTypes);
    flag(Setting::AutoSelectEnabled, CheckBoxAutoSelect);
    flag(Setting::IncludeThumbs, CheckBoxIncludeThumbs);
    flag(Setting::SkipFile, RadioButtonSkip);
    flag(Setting::OverWriteFile, RadioButtonOverwrite);
    flag(Setting::RenameFile, RadioButtonRename);
    flag(Setting::GetPassword, CheckBoxGetPassword);
    flag(Setting::ItemJump, CheckBoxItemJump);
    flag(Setting::SaveHtml, CheckBoxSaveHtml);
    for (int i = 0; i < 6; ++i) {
        TColorPicker *picker = ColorBoxes[i];
        b.add(QStringLiteral("Color%1").arg(i + 1), B::Integer, 3, [picker] { return picker->colorValue(); },
              [picker](const QVariant &v) { picker->setColorValue(v.toInt()); });
    }
    text(Setting::Proxy, EditProxy);
    text(Setting::ProxyPort, EditProxyPort);
    text(Setting::ProxyUsername, EditProxyUsername);
    text(Setting::ProxyPassword, EditProxyPassword);
    flag(Setting::ProxyEnabled, CheckBoxProxy);
    flag(Setting::StartAllSlots, CheckBoxStartAll);
    flag(Setting::ReuseConnections, CheckBoxReuseConnections);
    // Values added later come last (see the settings table).
    flag(Setting::FindShownPictures, CheckBoxFindShown);
    number(Setting::RetryCount, SpinEditRetries);
    flag(Setting::CheckSizesAfterScan, CheckBoxCheckSizes);
    flag(Setting::ReadStylesheets, CheckBoxReadStylesheets);
    flag(Setting::KeepQueryAddresses, CheckBoxKeepQuery);
    number(Setting::FilesPerSlot, SpinEditFilesPerSlot);

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
    // The window as the window system placed it, maximized or not; read
    // after the design's four values, which stay written for older files.
    b.add("WindowGeometry", B::String, 4, [window] { return QString::fromLatin1(window->saveGeometry().toBase64()); },
          [window](const QVariant &v) { window->restoreGeometry(QByteArray::fromBase64(v.toString().toLatin1())); });
}

void TFormConfiguration::placeFirstWindow()
{
    // About two thirds of the screen, never less than the window was made
    // for, in the middle of it.
    QWidget *window = m_main->mainWidget();
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    const QSize size = QSize(available.width() * 2 / 3, available.height() * 2 / 3)
                           .expandedTo(window->size())
                           .boundedTo(available.size());
    window->resize(size);
    window->move(available.center() - QPoint(size.width() / 2, size.height() / 2));
}

void TFormConfiguration::FormCreate()
{
    TSettingsKey key(m_paths.settingsFile);
    key.open();
    m_binding.loadGroup(key, 1);
    m_binding.loadGroup(key, 2);
    m_binding.loadGroup(key, 3);
    placeFirstWindow();
    if (CheckBoxSaveWindow->isChecked())
        m_binding.loadGroup(key, 4);
    if (!m_main->mainWidget()->isMaximized())
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
        EditFileTypes->setText(QString::fromLatin1(Setting::FileTypes.value));

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

void TFormConfiguration::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        emit settingsChanged();
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
    s.reuseConnections = CheckBoxReuseConnections->isChecked();
    s.downloadDir = ExpandDirectory(m_main->downloadField()->currentText());
    s.retries = SpinEditRetries->value();
    s.filesPerSlot = SpinEditFilesPerSlot->value();
    return s;
}

TCrawlSettings TFormConfiguration::crawlSettings() const
{
    TCrawlSettings s;
    s.proxy = proxySettings();
    s.timeoutDocMs = SpinEditTimeoutDoc->value() * 1000;
    s.reuseConnections = CheckBoxReuseConnections->isChecked();
    s.slotCount = SpinEditMaxTreads->value();
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
            ExpandDirectory(m_main->downloadField()->currentText()), CheckBoxFindShown->isChecked(),
            CheckBoxCheckSizes->isChecked(), CheckBoxReadStylesheets->isChecked(), CheckBoxKeepQuery->isChecked()};
}
