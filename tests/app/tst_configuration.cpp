#include "ColorPicker.h"
#include "ColorValue.h"
#include "ItemTree.h"
#include "Lamp.h"
#include "Parts.h"
#include "ScriptedServer.h"
#include "SettingsKey.h"
#include "SettingsTable.h"
#include "StatusPanels.h"
#include "Windows.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSpinBox>
#include <QFormLayout>
#include <QScreen>
#include <QtTest>

class TestConfiguration : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstRunGivesTheDefaults();
    void firstCloseStoresEveryValue();
    void missingValueEndsItsGroup();
    void wrongKindEndsItsGroup();
    void storedNumbersAreClampedToTheirFields();
    void listsAreReadEntryByEntry();
    void corruptFileReadsAsEmptyAndIsKeptAside();
    void everyValueSurvivesSaveAndLoad();
    void noStoredValueIsDroppedAtClose();
    void storedGeometryIsUsedOnlyWhenAskedFor();
    void valuesOfWindowsNotYetBuiltAreKept();
    void hostileValuesAreTamed();

    void slotDisplayFollowsTheEngineCount();
    void friendlyNameDisguisesAndRestores();
    void recolouringKeepsViewedFiles();
    void proxyAndAutoSelectFieldsFollowTheirBoxes();
    void textFieldsShowLowerCase();
    void colourNumbersKeepRedInTheLowByte();
    void ampersandCaptionsShowOneAmpersand();
    void windowTitlesAreExactlyTheirOwn();
    void restoredGeometryFitsTheScreen_data();
    void restoredGeometryFitsTheScreen();
    void firstStartMakesTheDefaultDownloadDirectory();
    void aTypedDirectoryIsNeverMade();

private:
    void writeKey(const TSettingsValues &values);
    TSettingsValues storedValues();
    std::unique_ptr<TWindows> start();

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<TWindows> w;
};

// The first window: about two thirds of the screen, never smaller than the
// window was made for (690 x 456).
QSize firstWindowSize()
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    return QSize(available.width() * 2 / 3, available.height() * 2 / 3).expandedTo(QSize(690, 456)).boundedTo(available.size());
}

void TestConfiguration::init()
{
    home = std::make_unique<QTemporaryDir>();
}

void TestConfiguration::cleanup()
{
    w.reset();
    home.reset();
}

std::unique_ptr<TWindows> TestConfiguration::start()
{
    return std::make_unique<TWindows>(home->path());
}

void TestConfiguration::writeKey(const TSettingsValues &values)
{
    TSettingsKey key(TPaths::under(home->path()).settingsFile);
    key.open();
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (it->kind == TSettingsValue::Text)
            key.writeString(it.key(), it->text);
        else
            key.writeInteger(it.key(), it->number);
    }
    QVERIFY(key.close());
}

TSettingsValues TestConfiguration::storedValues()
{
    TSettingsKey key(TPaths::under(home->path()).settingsFile);
    key.open();
    return key.values();
}

static TSettingsValue num(qint32 n) { return TSettingsValue::fromNumber(n); }
static TSettingsValue txt(const QString &t) { return TSettingsValue::fromText(t); }

void TestConfiguration::firstRunGivesTheDefaults()
{
    w = start();
    TFormConfiguration &c = *w->configuration;
    QCOMPARE(Part<QComboBox>(*w->main, "ComboBoxBookmark")->currentText(), QString("http://"));
    QCOMPARE(Part<QComboBox>(*w->main, "ComboBoxBookmark")->count(), 0);
    QCOMPARE(Part<QComboBox>(*w->main, "ComboBoxDownload")->currentText(), w->paths.defaultDownloadDir);
    QCOMPARE(Part<QLineEdit>(c, "EditFileTypes")->text(), QString("jpg,jpeg,gif,bmp,mp3,mpeg,mpg"));
    QCOMPARE(Part<QSpinBox>(c, "SpinEditMaxTreads")->value(), 4);
    QCOMPARE(Part<QSpinBox>(c, "SpinEditMinSize")->value(), 1);
    QCOMPARE(Part<QSpinBox>(c, "SpinEditMaxSize")->value(), 150000);
    QCOMPARE(Part<QSpinBox>(c, "SpinEditTimeoutDoc")->value(), 30);
    QCOMPARE(Part<QSpinBox>(c, "SpinEditTimeOutFile")->value(), 60);
    QCOMPARE(Part<QLineEdit>(c, "EditAutoSelectFileTypes")->text(), QString("jpg,jpeg"));
    QCOMPARE(Part<QLineEdit>(c, "EditProxyPort")->text(), QString("3128"));
    QVERIFY(!Part<QLineEdit>(c, "EditProxy")->text().isEmpty());
    QVERIFY(Part<QRadioButton>(c, "RadioButtonRename")->isChecked());
    QVERIFY(Part<QCheckBox>(c, "CheckBoxBeep")->isChecked() && Part<QCheckBox>(c, "CheckBoxSaveWindow")->isChecked() && Part<QCheckBox>(c, "CheckBoxAddChild")->isChecked());
    QVERIFY(!Part<QCheckBox>(c, "CheckBoxAutoSave")->isChecked() && !Part<QCheckBox>(c, "CheckBoxProxy")->isChecked() && !Part<QCheckBox>(c, "CheckBoxAutoSelect")->isChecked());
    QVERIFY(Part<QAction>(*w->main, "Displayimagepreview1")->isChecked() && Part<QAction>(*w->main, "Displaydownloadengineprogress1")->isChecked());
    QCOMPARE(w->main->size(), firstWindowSize());
    // Readable first-run colours: dark text on a light background.
    QVERIFY(c.color(ColorBackground).lightness() > 200);
    for (int slot = 1; slot <= 5; ++slot)
        QVERIFY(c.color(slot).lightness() < 150);

    // One default a value: what the window hands the runs on a first run is
    // what the run settings hold before anyone sets them.
    const TDownloadSettings d = c.downloadSettings(), dd;
    QCOMPARE(std::tie(d.maxThreads, d.timeOutFileMs, d.minSize, d.maxSize, d.existing, d.itemJump, d.beep, d.createDir,
                      d.startAllAtOnce, d.reuseConnections, d.retries, d.filesPerSlot),
             std::tie(dd.maxThreads, dd.timeOutFileMs, dd.minSize, dd.maxSize, dd.existing, dd.itemJump, dd.beep,
                      dd.createDir, dd.startAllAtOnce, dd.reuseConnections, dd.retries, dd.filesPerSlot));
    const TCrawlSettings k = c.crawlSettings(), kk;
    QCOMPARE(std::tie(k.timeoutDocMs, k.getPassword, k.saveHtml, k.expandParse, k.itemJump, k.beep, k.reuseConnections,
                      k.slotCount),
             std::tie(kk.timeoutDocMs, kk.getPassword, kk.saveHtml, kk.expandParse, kk.itemJump, kk.beep,
                      kk.reuseConnections, kk.slotCount));
    const TScanSettings n = c.scanSettings(), nn;
    QCOMPARE(std::tie(n.fileTypes, n.addChild, n.includeThumbs, n.findShown, n.checkSizes, n.readStylesheets, n.keepQuery),
             std::tie(nn.fileTypes, nn.addChild, nn.includeThumbs, nn.findShown, nn.checkSizes, nn.readStylesheets,
                      nn.keepQuery));
}

void TestConfiguration::firstCloseStoresEveryValue()
{
    w = start();
    w->main->FormClose();
    const TSettingsValues stored = storedValues();
    for (const QString &name : TSettingsBinding::saveOrder()) {
        if (name == "Username" || name == "Password" || name == "DocParsed" || name == "LinksParsed"
            || name == "FilesDl" || name == "BytesDl")
            continue; // their windows come later
        QVERIFY2(stored.contains(name), qPrintable(name));
    }
    QCOMPARE(stored.value("MaxTreads"), num(4));
    QCOMPARE(stored.value("ProxyPort"), txt("3128"));
    QCOMPARE(stored.value("Bookmark"), txt(""));
    QCOMPARE(stored.value("Preview"), num(1));
}

void TestConfiguration::missingValueEndsItsGroup()
{
    // Written by an older version: MaxTreads is there, MinSize is not.
    writeKey({{"FileTypes", txt("png")}, {"MaxTreads", num(7)}, {"Proxy", txt("cache.lan")},
              {"Preview", num(0)}, {"ShowProgress", num(0)}});
    w = start();
    QCOMPARE(Part<QLineEdit>(*w->configuration, "EditFileTypes")->text(), QString("png"));
    QCOMPARE(Part<QSpinBox>(*w->configuration, "SpinEditMaxTreads")->value(), 4);
    QCOMPARE(Part<QLineEdit>(*w->configuration, "EditProxy")->text(), QString::fromLatin1(Setting::Proxy.value));
    // Group 2 failed at AutoSave, after reading the two menu entries.
    QVERIFY(!Part<QAction>(*w->main, "Displayimagepreview1")->isChecked());
    QVERIFY(!Part<QAction>(*w->main, "Displaydownloadengineprogress1")->isChecked());
    QVERIFY(Part<QWidget>(*w->main, "PanelRight")->isHidden());
}

void TestConfiguration::wrongKindEndsItsGroup()
{
    TSettingsValues values;
    const QStringList group3 = {"MinSize", "MaxSize", "MaxTreads", "AddChild", "ExpandParse", "TimeoutDoc",
                                "TimeOutFile"};
    values.insert("FileTypes", txt("gif"));
    for (const QString &name : group3)
        values.insert(name, num(name == "MaxTreads" ? 2 : 1000));
    values.insert("AutoSelectFileTypes", txt("png"));
    for (const char *name : {"AutoSelectEnabled", "IncludeThumbs", "SkipFile", "OverWriteFile", "RenameFile",
                                "GetPassword", "ItemJump", "SaveHtml"})
        values.insert(name, num(QString(name) == "SkipFile" ? 1 : 0));
    for (int i = 1; i <= 6; ++i)
        values.insert(QString("Color%1").arg(i), num(255));
    values.insert("Proxy", txt("cache.lan"));
    values.insert("ProxyPort", num(8080)); // a number where text belongs
    values.insert("ProxyUsername", txt("u"));
    values.insert("ProxyEnabled", num(1));
    writeKey(values);
    w = start();
    TFormConfiguration &c = *w->configuration;
    QCOMPARE(Part<QSpinBox>(c, "SpinEditMaxTreads")->value(), 2);
    QVERIFY(Part<QRadioButton>(c, "RadioButtonSkip")->isChecked());
    QVERIFY(!Part<QRadioButton>(c, "RadioButtonRename")->isChecked());
    QCOMPARE(c.color(1), QColor(255, 0, 0));
    QCOMPARE(Part<QLineEdit>(c, "EditProxy")->text(), QString("cache.lan"));
    QCOMPARE(Part<QLineEdit>(c, "EditProxyPort")->text(), QString("3128"));
    QCOMPARE(Part<QLineEdit>(c, "EditProxyUsername")->text(), QString());
    QVERIFY(!Part<QCheckBox>(c, "CheckBoxProxy")->isChecked());
}

void TestConfiguration::storedNumbersAreClampedToTheirFields()
{
    writeKey({{"FileTypes", txt("jpg")}, {"MinSize", num(-5)}, {"MaxSize", num(2000000000)},
              {"MaxTreads", num(12)}, {"AddChild", num(1)}, {"ExpandParse", num(1)}, {"TimeoutDoc", num(2)},
              {"TimeOutFile", num(301)}});
    w = start();
    QCOMPARE(Part<QSpinBox>(*w->configuration, "SpinEditMinSize")->value(), 1);
    QCOMPARE(Part<QSpinBox>(*w->configuration, "SpinEditMaxSize")->value(), 999999999);
    QCOMPARE(Part<QSpinBox>(*w->configuration, "SpinEditMaxTreads")->value(), 8);
    QCOMPARE(Part<QSpinBox>(*w->configuration, "SpinEditTimeoutDoc")->value(), 5);
    QCOMPARE(Part<QSpinBox>(*w->configuration, "SpinEditTimeOutFile")->value(), 300);
}

void TestConfiguration::listsAreReadEntryByEntry()
{
    writeKey({{"DownloadDir", txt("/tmp")}, {"LastDocument", txt("http://b/")},
              {"Bookmark", txt("a\r\n\r\nb\r\n")}, {"Download", txt("/x\n/y")}});
    w = start();
    QComboBox *url = Part<QComboBox>(*w->main, "ComboBoxBookmark");
    QCOMPARE(url->count(), 3);
    QCOMPARE(url->itemText(0), QString("a"));
    QCOMPARE(url->itemText(1), QString());
    QCOMPARE(url->itemText(2), QString("b"));
    QCOMPARE(url->currentText(), QString("http://b/"));
    QCOMPARE(Part<QComboBox>(*w->main, "ComboBoxDownload")->count(), 2);
    QCOMPARE(Part<QComboBox>(*w->main, "ComboBoxDownload")->currentText(), QString("/tmp"));
    w->main->FormClose();
    QCOMPARE(storedValues().value("Bookmark"), txt("a\r\n\r\nb\r\n"));
    QCOMPARE(storedValues().value("Download"), txt("/x\r\n/y\r\n"));
}

void TestConfiguration::corruptFileReadsAsEmptyAndIsKeptAside()
{
    const QString path = TPaths::under(home->path()).settingsFile;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("\x89PNG garbage \"MaxTreads\"=dword:00000002");
    file.close();
    w = start();
    QCOMPARE(Part<QSpinBox>(*w->configuration, "SpinEditMaxTreads")->value(), 4);
    QCOMPARE(Part<QComboBox>(*w->main, "ComboBoxBookmark")->currentText(), QString("http://"));
    w->main->FormClose();
    QVERIFY(QFile::exists(path + ".corrupt"));
    QCOMPARE(storedValues().value("MaxTreads"), num(4));
}

void TestConfiguration::everyValueSurvivesSaveAndLoad()
{
    w = start();
    TFormConfiguration &c = *w->configuration;
    TFormMain &m = *w->main;
    Part<QComboBox>(m, "ComboBoxBookmark")->addItems({"http://one/", "http://two/"});
    Part<QComboBox>(m, "ComboBoxBookmark")->setCurrentText("http://last/");
    Part<QComboBox>(m, "ComboBoxDownload")->addItems({"/d1", "/d2"});
    Part<QComboBox>(m, "ComboBoxDownload")->setCurrentText(home->path());
    Part<QAction>(m, "Displayimagepreview1")->setChecked(false);
    Part<QRadioButton>(c, "RadioButtonOverwrite")->setChecked(true);
    Part<QSpinBox>(c, "SpinEditMaxTreads")->setValue(6);
    Part<QSpinBox>(c, "SpinEditMinSize")->setValue(2000);
    Part<QSpinBox>(c, "SpinEditMaxSize")->setValue(5000000);
    Part<QLineEdit>(c, "EditFileTypes")->setText("png,jpg");
    for (QCheckBox *box : {Part<QCheckBox>(c, "CheckBoxAddChild"), Part<QCheckBox>(c, "CheckBoxIncludeThumbs"), Part<QCheckBox>(c, "CheckBoxGetPassword"), Part<QCheckBox>(c, "CheckBoxExpandParse"),
                           Part<QCheckBox>(c, "CheckBoxBeep"), Part<QCheckBox>(c, "CheckBoxSaveWindow")})
        box->setChecked(false);
    for (QCheckBox *box : {Part<QCheckBox>(c, "CheckBoxSaveHtml"), Part<QCheckBox>(c, "CheckBoxAutoSelect"), Part<QCheckBox>(c, "CheckBoxUseFriendlyName"), Part<QCheckBox>(c, "CheckBoxItemJump"),
                           Part<QCheckBox>(c, "CheckBoxCreateDir"), Part<QCheckBox>(c, "CheckBoxAutoSave"), Part<QCheckBox>(c, "CheckBoxProxy")})
        box->setChecked(true);
    Part<QLineEdit>(c, "EditAutoSelectFileTypes")->setText("png");
    Part<QSpinBox>(c, "SpinEditTimeoutDoc")->setValue(45);
    Part<QSpinBox>(c, "SpinEditTimeOutFile")->setValue(120);
    Part<QLineEdit>(c, "EditProxy")->setText("cache.lan");
    Part<QLineEdit>(c, "EditProxyPort")->setText("8080");
    Part<QLineEdit>(c, "EditProxyUsername")->setText("pu");
    Part<QLineEdit>(c, "EditProxyPassword")->setText("pp");
    const qint32 colours[6] = {ColorValue::kSystemBase | 8, 255, 0x00ff00, 0x123456, 0x800080, 0xffffff};
    ColorBox(c, 0)->setColorValue(colours[0]);
    for (int i = 1; i < 6; ++i)
        ColorBox(c, i)->setColorValue(colours[i]);
    m.show();
    m.FormClose();
    const TSettingsValues saved = storedValues();

    w = start();
    TFormConfiguration &c2 = *w->configuration;
    QCOMPARE(Part<QComboBox>(*w->main, "ComboBoxBookmark")->currentText(), QString("http://last/"));
    QCOMPARE(Part<QComboBox>(*w->main, "ComboBoxBookmark")->count(), 2);
    QCOMPARE(Part<QComboBox>(*w->main, "ComboBoxDownload")->itemText(1), QString("/d2"));
    QVERIFY(!Part<QAction>(*w->main, "Displayimagepreview1")->isChecked());
    QVERIFY(Part<QRadioButton>(c2, "RadioButtonOverwrite")->isChecked());
    QCOMPARE(Part<QSpinBox>(c2, "SpinEditMaxTreads")->value(), 6);
    QCOMPARE(Part<QSpinBox>(c2, "SpinEditMinSize")->value(), 2000);
    QCOMPARE(Part<QSpinBox>(c2, "SpinEditMaxSize")->value(), 5000000);
    QCOMPARE(Part<QLineEdit>(c2, "EditFileTypes")->text(), QString("png,jpg"));
    QVERIFY(!Part<QCheckBox>(c2, "CheckBoxAddChild")->isChecked() && !Part<QCheckBox>(c2, "CheckBoxBeep")->isChecked());
    QVERIFY(Part<QCheckBox>(c2, "CheckBoxAutoSave")->isChecked() && Part<QCheckBox>(c2, "CheckBoxProxy")->isChecked() && Part<QCheckBox>(c2, "CheckBoxUseFriendlyName")->isChecked());
    QCOMPARE(Part<QSpinBox>(c2, "SpinEditTimeOutFile")->value(), 120);
    QCOMPARE(Part<QLineEdit>(c2, "EditProxyPassword")->text(), QString("pp"));
    for (int i = 0; i < 6; ++i)
        QCOMPARE(ColorBox(c2, i)->colorValue(), colours[i]);
    // Saving again writes the very same values, from the window as the user saw it.
    w->main->show();
    w->main->FormClose();
    const TSettingsValues again = storedValues();
    for (auto it = saved.cbegin(); it != saved.cend(); ++it)
        QVERIFY2(again.value(it.key()) == it.value(), qPrintable(it.key()));
    QCOMPARE(again.size(), saved.size());
}

void TestConfiguration::noStoredValueIsDroppedAtClose()
{
    // Every value stored differs from its default: each must come back
    // from the holder it was read into, so none can go missing from the save.
    w = start();
    w->main->FormClose();
    const TSettingsValues defaults = storedValues();
    QSet<QString> flags;
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        const TSettingsBinding::Value *bound = w->configuration->binding().find(it.key());
        if (bound && bound->kind == TSettingsBinding::Boolean)
            flags << it.key();
    }
    w.reset();
    TSettingsValues changed;
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        if (it->kind == TSettingsValue::Text)
            changed.insert(it.key(), txt(it.key() == "DownloadDir" ? home->path() : it->text + "9"));
        else if (flags.contains(it.key()))
            changed.insert(it.key(), num(it->number ? 0 : 1));
        else
            changed.insert(it.key(), num(it->number + 1));
    }
    // Numbers that must stay inside their fields and a geometry that fits the screen.
    changed["MaxTreads"] = num(7);
    changed["Bookmark"] = txt("http://b/\r\n");
    changed["Download"] = txt("/d/\r\n");
    for (int i = 1; i <= 6; ++i)
        changed[QString("Color%1").arg(i)] = num(0x102030 + i);
    changed["FormTop"] = num(41);
    changed["FormLeft"] = num(12);
    changed["FormHeight"] = num(460);
    changed["FormWidth"] = num(700);
    changed["PreviewWidth"] = num(120);
    changed["SaveWindow"] = num(1);
    changed["OverWriteFile"] = num(1); // one of the three is on
    changed["RenameFile"] = num(0);
    changed["SkipFile"] = num(0);
    changed["WindowGeometry"] = txt(""); // as a file from before it: the four above place the window
    writeKey(changed);
    w = start();
    w->main->show(); // placed as the user sees it
    w->main->FormClose();
    const TSettingsValues written = storedValues();
    for (auto it = changed.cbegin(); it != changed.cend(); ++it) {
        QVERIFY2(written.contains(it.key()), qPrintable(it.key()));
        if (it.key() == "DocWidth" || it.key() == "WindowGeometry")
            continue; // laid out from the window's width when shown; the window system's record of it
        QVERIFY2(written.value(it.key()) == it.value(),
                 qPrintable(QString("%1: %2 %3 written, %4 %5 read")
                                .arg(it.key(), written.value(it.key()).text)
                                .arg(written.value(it.key()).number)
                                .arg(it->text)
                                .arg(it->number)));
        // SaveWindow is on by default and needed on; SkipFile is one of three.
        if (it.key() != "SaveWindow" && it.key() != "SkipFile")
            QVERIFY2(!(it.value() == defaults.value(it.key())), qPrintable(it.key()));
    }
    QVERIFY(defaults.contains("StartAllSlots"));
    QCOMPARE(defaults.value("StartAllSlots"), num(1)); // every free slot at once, unless switched off
    QCOMPARE(defaults.value("ReuseConnections"), num(1)); // on unless switched off
}

void TestConfiguration::storedGeometryIsUsedOnlyWhenAskedFor()
{
    writeKey({{"Preview", num(1)}, {"ShowProgress", num(1)}, {"AutoSave", num(0)}, {"CreateDir", num(0)},
              {"BossName", num(0)}, {"Beep", num(1)}, {"SaveWindow", num(0)},
              {"FormTop", num(50)}, {"FormLeft", num(60)}, {"FormHeight", num(500)}, {"FormWidth", num(800)}});
    w = start();
    QCOMPARE(w->main->size(), firstWindowSize());
    w->main->FormClose();
    // Written back all the same.
    QCOMPARE(storedValues().value("FormWidth"), num(firstWindowSize().width()));

    writeKey({{"SaveWindow", num(1)}, {"FormTop", num(50)}, {"FormLeft", num(60)}, {"FormHeight", num(400)},
              {"FormWidth", num(700)}, {"WindowGeometry", txt("")}});
    w = start();
    QCOMPARE(w->main->size(), QSize(700, 400));
    QCOMPARE(w->main->pos(), QPoint(60, 50));
    // Maximized, quit, started again: maximized, and back in its place when restored.
    w->main->show();
    w->main->move(70, 40);
    w->main->showMaximized();
    QTRY_VERIFY(w->main->isMaximized());
    w->main->FormClose();
    w = start();
    w->main->show();
    QTRY_VERIFY(w->main->isMaximized());
    w->main->showNormal();
    QTRY_COMPARE(w->main->pos(), QPoint(70, 40));
    QCOMPARE(w->main->size(), QSize(700, 400));
}

void TestConfiguration::valuesOfWindowsNotYetBuiltAreKept()
{
    writeKey({{"Username", txt("me")}, {"Password", txt("secret")}, {"DocParsed", num(17)}});
    w = start();
    w->main->FormClose();
    const TSettingsValues stored = storedValues();
    QCOMPARE(stored.value("Username"), txt("me"));
    QCOMPARE(stored.value("DocParsed"), num(17));
}

void TestConfiguration::hostileValuesAreTamed()
{
    writeKey({{"DownloadDir", txt(QString(5000, 'd'))}, {"LastDocument", txt(QString("a\x01\x02") + QChar(0) + "b")},
              {"Bookmark", txt(QString("x\r\n").repeated(3000))}, {"SaveWindow", num(1)},
              {"Preview", num(1)}, {"ShowProgress", num(1)}, {"AutoSave", num(0)}, {"CreateDir", num(0)},
              {"BossName", num(0)}, {"Beep", num(1)},
              {"FormTop", num(-2000000000)}, {"FormLeft", num(2000000000)}, {"FormHeight", num(-5)},
              {"FormWidth", num(999999)}, {"DocWidth", num(-1)}, {"PreviewWidth", num(1 << 30)}});
    w = start();
    QCOMPARE(Part<QComboBox>(*w->main, "ComboBoxBookmark")->currentText(), QString("a\x01\x02"));
    QCOMPARE(Part<QComboBox>(*w->main, "ComboBoxBookmark")->count(), 3000);
    QVERIFY(w->main->width() <= 10000 && w->main->height() >= w->main->minimumHeight());
    w->main->show();
    QVERIFY(QTest::qWaitForWindowExposed(w->main.get()));
}

void TestConfiguration::slotDisplayFollowsTheEngineCount()
{
    w = start();
    TFormMain &m = *w->main;
    Part<QSpinBox>(*w->configuration, "SpinEditMaxTreads")->setValue(8);
    for (int k = 0; k < 8; ++k)
        QVERIFY(!SlotLamp(m, k)->isHidden() && !SlotGauge(m, k)->isHidden());
    // The lamps shown fit their panel, after the label whatever the font.
    auto lampsFit = [&m](int shown) {
        const int width = Part<TStatusPanels>(m, "StatusBar")->panelWidth(2);
        return SlotLamp(m, shown - 1)->geometry().right() < width && width <= SlotLamp(m, shown - 1)->geometry().right() + 15
               && Part<QLabel>(m, "LabelDLs")->geometry().right() < SlotLamp(m, 0)->geometry().left();
    };
    QVERIFY(lampsFit(8));
    Part<QSpinBox>(*w->configuration, "SpinEditMaxTreads")->setValue(3);
    for (int k = 1; k <= 8; ++k) {
        QCOMPARE(SlotLamp(m, k - 1)->isHidden(), k > 3);
        QCOMPARE(SlotGauge(m, k - 1)->isHidden(), k > 3);
    }
    QVERIFY(lampsFit(3));
    QCOMPARE(Part<QWidget>(m, "PanelProgress")->height(), 50);
    Part<QSpinBox>(*w->configuration, "SpinEditMaxTreads")->setValue(1);
    QVERIFY(!SlotLamp(m, 0)->isHidden());
    QCOMPARE(Part<QWidget>(m, "PanelProgress")->height(), 38);
}

void TestConfiguration::friendlyNameDisguisesAndRestores()
{
    w = start();
    const qint64 ownIcon = w->main->windowIcon().cacheKey();
    Part<QCheckBox>(*w->configuration, "CheckBoxUseFriendlyName")->setChecked(true);
    const QString displayName = QGuiApplication::applicationDisplayName();
    QCOMPARE(w->main->windowTitle(), QString("It's still Trawlix :-)"));
    // Qt adds a display name that was set to every title: none is set, so none is added.
    QCOMPARE(QGuiApplication::applicationDisplayName(), displayName);
    QVERIFY(w->main->windowIcon().cacheKey() != ownIcon);
    Part<QCheckBox>(*w->configuration, "CheckBoxUseFriendlyName")->setChecked(false);
    QCOMPARE(w->main->windowTitle(), QString("Trawlix"));
    QCOMPARE(QGuiApplication::applicationDisplayName(), displayName);
    QCOMPARE(w->main->windowIcon().cacheKey(), ownIcon);
}

void TestConfiguration::recolouringKeepsViewedFiles()
{
    w = start();
    TItemTree *tree = w->main->itemTree();
    tree->MakeRootNodes();
    TDataRec rec;
    rec.url = "http://h/a.jpg";
    rec.name = "a.jpg";
    TTreeNode *stored = tree->AddTreeNode(tree->rootFiles(), rec);
    rec.url = "http://h/b.jpg";
    TTreeNode *viewed = tree->AddTreeNode(tree->rootFiles(), rec);
    for (TTreeNode *n : {stored, viewed}) {
        n->setImageIndex(TreeIcon::FileStored);
        n->setStateIndex(StateDone);
    }
    viewed->item()->viewed = true;
    ColorBox(*w->configuration, ColorFileStored - 1)->setColorValue(0x0000ff); // red
    QCOMPARE(stored->color(), QColor(255, 0, 0));
    QCOMPARE(viewed->color(), w->configuration->color(ColorFileViewed));
    ColorBox(*w->configuration, ColorBackground - 1)->setColorValue(0xe0ffff);
    QCOMPARE(tree->palette().color(QPalette::Base), QColor(255, 255, 224));
    QCOMPARE(Part<QComboBox>(*w->main, "ComboBoxBookmark")->palette().color(QPalette::Base), QColor(255, 255, 224));
    QCOMPARE(tree->rootFiles()->color(), QColor(128, 0, 0));
}

void TestConfiguration::proxyAndAutoSelectFieldsFollowTheirBoxes()
{
    w = start();
    TFormConfiguration &c = *w->configuration;
    Part<QLineEdit>(c, "EditProxyUsername")->setText("keep");
    c.FormActivate();
    QVERIFY(!Part<QLineEdit>(c, "EditProxy")->isEnabled() && !Part<QLabel>(c, "LabelProxyPassword")->isEnabled());
    Part<QCheckBox>(c, "CheckBoxProxy")->setChecked(true);
    QVERIFY(Part<QLineEdit>(c, "EditProxy")->isEnabled() && Part<QLineEdit>(c, "EditProxyPort")->isEnabled() && Part<QLabel>(c, "LabelProxyUsername")->isEnabled());
    Part<QCheckBox>(c, "CheckBoxProxy")->setChecked(false);
    QCOMPARE(Part<QLineEdit>(c, "EditProxyUsername")->text(), QString("keep"));
    QVERIFY(!Part<QLineEdit>(c, "EditProxyUsername")->isEnabled());
    // Closing the window lets go of connections kept under the old settings.
    TScriptedServer server;
    server.addScript(TScriptedServer::page11("x"));
    THttpCli kept;
    kept.setConnectionPool(&w->connections);
    kept.URL = QString("http://127.0.0.1:%1/").arg(server.port());
    QVERIFY(kept.Get().ok());
    QCOMPARE(w->connections.idleCount(), 1);
    c.show();
    c.SpeedButton2Click();
    QCOMPARE(w->connections.idleCount(), 0);
    QVERIFY(!Part<QLineEdit>(c, "EditAutoSelectFileTypes")->isEnabled());
    Part<QCheckBox>(c, "CheckBoxAutoSelect")->setChecked(true);
    QVERIFY(Part<QLineEdit>(c, "EditAutoSelectFileTypes")->isEnabled() && Part<QLabel>(c, "LabelAutoSelectTypes")->isEnabled());
    QVERIFY(c.autoSelectEnabled());
}

void TestConfiguration::textFieldsShowLowerCase()
{
    w = start();
    QTest::keyClicks(Part<QLineEdit>(*w->configuration, "EditFileTypes"), "PNG");
    QVERIFY(Part<QLineEdit>(*w->configuration, "EditFileTypes")->text().endsWith("png"));
    Part<QLineEdit>(*w->configuration, "EditProxy")->setText("Cache.LAN");
    QCOMPARE(Part<QLineEdit>(*w->configuration, "EditProxy")->text(), QString("cache.lan"));
    Part<QLineEdit>(*w->configuration, "EditProxyPort")->setText("AB");
    QCOMPARE(Part<QLineEdit>(*w->configuration, "EditProxyPort")->text(), QString("AB"));
}

void TestConfiguration::colourNumbersKeepRedInTheLowByte()
{
    QCOMPARE(ColorValue::fromColor(QColor(255, 0, 0)), 0x0000ff);
    QCOMPARE(ColorValue::fromColor(QColor(0, 0, 255)), 0xff0000);
    QCOMPARE(ColorValue::toColor(0x123456, Qt::black), QColor(0x56, 0x34, 0x12));
    QCOMPARE(ColorValue::toColor(ColorValue::kDefaultColor, Qt::cyan), QColor(Qt::cyan));
    QPalette palette;
    palette.setColor(QPalette::Base, QColor(1, 2, 3));
    QCOMPARE(ColorValue::toColor(ColorValue::kSystemBase | 5, Qt::black, palette), QColor(1, 2, 3));
    TColorPicker picker(Qt::green);
    picker.setColorValue(0x0000ff);
    QCOMPARE(picker.currentText(), QString("Red"));
    picker.setColorValue(0x010203);
    QCOMPARE(picker.currentText(), QString("Custom"));
    QCOMPARE(picker.colorValue(), 0x010203);
    picker.setCurrentIndex(-1);
    QCOMPARE(picker.colorValue(), 0);
}

void TestConfiguration::ampersandCaptionsShowOneAmpersand()
{
    w = start();
    TFormConfiguration &c = *w->configuration;
    // The row labels take "&" as a mnemonic of their picker: "&&" is the way to show one.
    auto *form = ColorBox(c, 4)->parentWidget()->findChild<QFormLayout *>();
    QVERIFY(form);
    auto *viewed = qobject_cast<QLabel *>(form->labelForField(ColorBox(c, 4)));
    auto *background = qobject_cast<QLabel *>(form->labelForField(ColorBox(c, 5)));
    QVERIFY(viewed && background);
    QCOMPARE(viewed->text(), QString("Files - Downloaded && viewed:"));
    QCOMPARE(background->text(), QString("Tree && Edit background:"));
    QCOMPARE(viewed->buddy(), ColorBox(c, 4));
}

void TestConfiguration::windowTitlesAreExactlyTheirOwn()
{
    w = start();
    QCOMPARE(w->configuration->windowTitle(), QString("Trawlix - Configuration"));
    QCOMPARE(w->main->windowTitle(), QString("Trawlix"));
    // A display name set on the application would be added to every title.
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    Part<QCheckBox>(*w->configuration, "CheckBoxUseFriendlyName")->setChecked(true);
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

void TestConfiguration::restoredGeometryFitsTheScreen_data()
{
    QTest::addColumn<QRect>("stored");
    QTest::addColumn<QRect>("fitted");
    const QRect area(0, 0, 1024, 768);
    QTest::newRow("fits already") << QRect(60, 50, 700, 400) << QRect(60, 50, 700, 400);
    QTest::newRow("title bar above the screen") << QRect(100, -400, 700, 400) << QRect(100, 32, 700, 400);
    QTest::newRow("far right and below") << QRect(5000, 3000, 700, 400) << QRect(324, 368, 700, 400);
    QTest::newRow("larger than the screen") << QRect(0, 0, 10000, 10000) << QRect(0, 32, 1024, 736);
    QTest::newRow("smaller than the minimum") << QRect(10, 40, 100, 100) << QRect(10, 40, 600, 355);
}

void TestConfiguration::restoredGeometryFitsTheScreen()
{
    QFETCH(QRect, stored);
    QFETCH(QRect, fitted);
    QCOMPARE(FitOnScreen(stored, QRect(0, 0, 1024, 768), QSize(600, 355)), fitted);

    // Through the settings: the whole window lands on the (offscreen) screen.
    writeKey({{"SaveWindow", num(1)}, {"FormTop", num(stored.top())}, {"FormLeft", num(stored.left())},
              {"FormHeight", num(stored.height())}, {"FormWidth", num(stored.width())}});
    w = start();
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(available.contains(QRect(w->main->pos(), w->main->size())),
             qPrintable(QString("%1,%2 %3x%4").arg(w->main->x()).arg(w->main->y()).arg(w->main->width()).arg(w->main->height())));
}

void TestConfiguration::firstStartMakesTheDefaultDownloadDirectory()
{
    // A fresh account: no settings, no Downloads folder.
    const TPaths paths = TPaths::under(home->path());
    QVERIFY(!QFileInfo::exists(paths.defaultDownloadDir));
    TItemStore items;
    TRunState run;
    TFormMain main(paths, run, items);
    QStringList messages;
    main.setMessageSink([&messages](const QString &text) { messages << text; });
    auto *configuration = new TFormConfiguration(&main, paths, &main);
    main.setConfiguration(configuration);
    configuration->FormCreate();
    QVERIFY(QFileInfo(paths.defaultDownloadDir).isDir());
    QCOMPARE(main.downloadField()->currentText(), paths.defaultDownloadDir);
    main.FormActivate();
    QVERIFY(messages.isEmpty());
    QVERIFY(main.downloadField()->palette().color(QPalette::Base) != QColor(Qt::red));
}

void TestConfiguration::aTypedDirectoryIsNeverMade()
{
    const QString typed = home->filePath("typed/elsewhere");
    writeKey({{"DownloadDir", txt(typed)}});
    w = start();
    QCOMPARE(w->main->downloadField()->currentText(), typed);
    QVERIFY(!QFileInfo::exists(typed));
    w->main->FormActivate();
    QCOMPARE(w->messages, QStringList{"The download directory does not exist !"});
}

QTEST_MAIN(TestConfiguration)
#include "tst_configuration.moc"
