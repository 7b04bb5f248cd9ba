#include "ItemTree.h"
#include "Lamp.h"
#include "PaintPacer.h"
#include "Parts.h"
#include "SettingsKey.h"
#include "StatusPanels.h"
#include "TreeDump.h"
#include "Windows.h"

#include <QAction>
#include <QDialog>
#include <QHash>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QToolButton>
#include <QLineEdit>
#include <QCheckBox>
#include <QtTest>

#include <unistd.h>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layoutAsWritten();
    void everyWindowNamesEachControlOnce();
    void previewWidthSurvivesHiddenPanels();
    void darkBackgroundKeepsFieldTextReadable();
    void treeHintIsThereFromTheStart();
    void statusBarLampsStayInTheirPanels_data();
    void statusBarLampsStayInTheirPanels();
    void screenFollowsTheBusyFlag();
    void busyWindowPaintsOnceAFrame();
    void documentProgressShowsOnTheStatusBar();
    void panelsFollowTheViewEntries();
    void directoryTest_data();
    void directoryTest();
    void directoryTestLeavesTheUsersFilesAlone();
    void activationWarnsAboutAMissingDirectoryOnce();
    void directoryIsTestedWhenTheEditIsFinished();
    void loadItemsEntryFollowsTheItemListFile();
    void logoCyclesThroughNPlusOneStates();
    void previewShowsJpegPicturesOnly_data();
    void previewShowsJpegPicturesOnly();
    void hugePicturesAreDecodedSmallOrRefused();
    void brokenPictureLeavesThePreviewBlank();
    void currentNodeDecidesHintLabelAndPreview();
    void doubleClickActsByKindAndIcon();
    void spaceTogglesHighlightedNewItems();
    void deletedCurrentItemIsForgotten();

private:
    TTreeNode *addFile(const QString &name, TreeIcon icon = TreeIcon::FileNew, int state = StateUnchecked);

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<TWindows> w;
};

void TestMainWindow::init()
{
    home = std::make_unique<QTemporaryDir>();
    w = std::make_unique<TWindows>(home->path());
    w->main->itemTree()->MakeRootNodes();
}

void TestMainWindow::cleanup()
{
    w.reset();
    home.reset();
}

TTreeNode *TestMainWindow::addFile(const QString &name, TreeIcon icon, int state)
{
    TDataRec rec = fileRec("http://h/" + name);
    rec.localPath = w->paths.defaultDownloadDir + "/" + name;
    TTreeNode *node = w->main->itemTree()->AddTreeNode(w->main->itemTree()->rootFiles(), rec);
    node->setImageIndex(icon);
    node->setStateIndex(state);
    return node;
}

// Tests and tools find controls by name: within one window a name must lead
// to one control, or they would act on the wrong one unnoticed.
void TestMainWindow::everyWindowNamesEachControlOnce()
{
    QList<QWidget *> windows{w->main.get()};
    for (QWidget *child : w->main->findChildren<QWidget *>())
        if (qobject_cast<QDialog *>(child))
            windows << child;
    QVERIFY(windows.size() >= 9);
    for (QWidget *window : windows) {
        QHash<QString, int> seen;
        for (QObject *object : window->findChildren<QObject *>()) {
            // The window a control belongs to: a timer or an action through its parent.
            QObject *holder = object;
            while (holder && !holder->isWidgetType())
                holder = holder->parent();
            auto *widget = static_cast<QWidget *>(holder);
            const bool nestedWindow = widget == object && widget->isWindow() && widget != window;
            if (!widget || nestedWindow || widget->window() != window)
                continue;
            if (!object->objectName().isEmpty() && object->objectName().at(0).isUpper())
                ++seen[object->objectName()];
        }
        QVERIFY2(!seen.isEmpty(), qPrintable(window->metaObject()->className()));
        for (auto it = seen.cbegin(); it != seen.cend(); ++it)
            QVERIFY2(it.value() == 1, qPrintable(QString("%1 in %2").arg(it.key(), window->metaObject()->className())));
    }
}

void TestMainWindow::statusBarLampsStayInTheirPanels_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("slotCount");
    for (int slotCount : {1, 4, 8}) {
        QTest::addRow("minimum, %d slotCount", slotCount) << 0 << slotCount;
        QTest::addRow("default, %d slotCount", slotCount) << 690 << slotCount;
        QTest::addRow("wide, %d slotCount", slotCount) << 1400 << slotCount;
    }
}

void TestMainWindow::statusBarLampsStayInTheirPanels()
{
    QFETCH(int, width);
    QFETCH(int, slotCount);
    TFormMain &m = *w->main;
    Part<QSpinBox>(*w->configuration, "SpinEditMaxTreads")->setValue(slotCount);
    m.show();
    m.resize(width == 0 ? m.minimumWidth() : width, 456);
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    QCoreApplication::processEvents();
    TStatusPanels *bar = Part<TStatusPanels>(m, "StatusBar");
    auto globalRect = [](const QWidget *widget) { return QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size()); };
    // Every panel lies wholly within the status bar, and the first keeps room for its text.
    for (int i = 0; i < 7; ++i) {
        QVERIFY2(bar->rect().contains(bar->panel(i)->geometry()), qPrintable(QString("panel %1").arg(i)));
        for (int j = i + 1; j < 7; ++j)
            QVERIFY(!bar->panel(i)->geometry().intersects(bar->panel(j)->geometry()));
    }
    QVERIFY(bar->panel(0)->width() >= TStatusPanels::kFirstPanelMinimum);
    // Texts and counters show whole: large counts widen their panels, the
    // first panel's resting text always fits, and the lamps' label too.
    m.setCounts(50002, 50002, 50002);
    QCoreApplication::processEvents();
    for (int i : {0, 4, 5, 6}) {
        const auto *panel = static_cast<const QLabel *>(bar->panel(i));
        QVERIFY2(panel->contentsRect().width() >= panel->fontMetrics().horizontalAdvance(panel->text()),
                 qPrintable(panel->text()));
    }
    const QLabel *dls = Part<QLabel>(m, "LabelDLs");
    QVERIFY(dls->width() >= dls->fontMetrics().horizontalAdvance(dls->text()));
    QList<QWidget *> lamps{Part<TLamp>(m, "LampBusy"), Part<QLabel>(m, "LabelDLs")};
    for (int k = 0; k < slotCount; ++k)
        lamps << SlotLamp(m, k);
    for (QWidget *lamp : std::as_const(lamps)) {
        QVERIFY(lamp->isVisible());
        const QRect own = globalRect(lamp->parentWidget());
        QVERIFY2(own.contains(globalRect(lamp)), qPrintable(lamp->toolTip()));
        for (int i = 0; i < 7; ++i) {
            if (bar->panel(i) != lamp->parentWidget())
                QVERIFY(!globalRect(bar->panel(i)).intersects(globalRect(lamp)));
        }
    }
    // Nothing of the top row is clipped at this width either.
    for (QWidget *control : std::initializer_list<QWidget *>{Part<QPushButton>(m, "ButtonDownload"), Part<QPushButton>(m, "ButtonStop"), Part<QComboBox>(m, "ComboBoxDownload"),
                                                              Part<QToolButton>(m, "ButtonDirectory"), Part<QComboBox>(m, "ComboBoxBookmark")})
        QVERIFY2(globalRect(&m).contains(globalRect(control)), control->metaObject()->className());
    QVERIFY(Part<QPushButton>(m, "ButtonDownload")->width() >= Part<QPushButton>(m, "ButtonDownload")->minimumSizeHint().width());
}

void TestMainWindow::layoutAsWritten()
{
    TFormMain &m = *w->main;
    QVERIFY(m.minimumWidth() >= 580 && m.minimumHeight() >= 355);
    QCOMPARE(Part<QPushButton>(m, "ButtonStart")->text(), QString("&Get url"));
    QCOMPARE(Part<QPushButton>(m, "ButtonStart")->toolTip(), QString("Get main document and parse it for picture links"));
    QCOMPARE(Part<QToolButton>(m, "ButtonLoadHtml")->toolTip(), QString("Load HTML document from disk"));
    QCOMPARE(LogoLetters(m).size(), 7);
    QCOMPARE(Part<TStatusPanels>(m, "StatusBar")->count(), 8);
    QCOMPARE(Part<TStatusPanels>(m, "StatusBar")->text(0), QString(" Status: Not active"));
    QCOMPARE(Part<TStatusPanels>(m, "StatusBar")->text(6), QString(" Downloads left: 0"));
    // At least as wide as laid out, and wide enough for its text in any font.
    QVERIFY(Part<TStatusPanels>(m, "StatusBar")->panelWidth(6) >= 130);
    QVERIFY(Part<TStatusPanels>(m, "StatusBar")->panelWidth(6) >= Part<TStatusPanels>(m, "StatusBar")->panel(6)->sizeHint().width());
    QCOMPARE(Part<QProgressBar>(m, "Gauge")->parentWidget(), Part<TStatusPanels>(m, "StatusBar")->panel(0));
    QCOMPARE(SlotLamp(m, 7)->parentWidget(), Part<TStatusPanels>(m, "StatusBar")->panel(2));
    QCOMPARE(SlotGauge(m, 0)->size(), QSize(93, 5));
    QCOMPARE(SlotGauge(m, 0)->toolTip(), QString("Not active"));
    QVERIFY(!Part<QAction>(m, "Loaditemsfromdisk1")->isEnabled());
    QVERIFY(Part<QLabel>(m, "LabelPreviewName")->text().isEmpty());
    m.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    QCOMPARE(Part<QWidget>(m, "PanelRight")->width(), 105);
}

void TestMainWindow::screenFollowsTheBusyFlag()
{
    TFormMain &m = *w->main;
    m.setBusy(true);
    m.UpdateScreen();
    QVERIFY(Part<QPushButton>(m, "ButtonStop")->isEnabled());
    for (QWidget *off : std::initializer_list<QWidget *>{Part<QPushButton>(m, "ButtonStart"), Part<QPushButton>(m, "ButtonParse"), Part<QPushButton>(m, "ButtonDownload"),
                                                         Part<QComboBox>(m, "ComboBoxBookmark"), Part<QComboBox>(m, "ComboBoxDownload"), Part<QToolButton>(m, "ButtonLoadHtml"),
                                                         Part<QToolButton>(m, "ButtonDirectory"), Part<QLabel>(m, "LabelUrl"), Part<QLabel>(m, "LabelDownload"),
                                                         Part<QSpinBox>(*w->configuration, "SpinEditMaxTreads")})
        QVERIFY2(!off->isEnabled(), qPrintable(off->objectName()));
    QVERIFY(Part<TLamp>(m, "LampBusy")->isLit());
    // The File menu offers Quit alone, which asks before it ends a run.
    for (const char *off : {"Loaditemsfromdisk1", "Saveallitemstodisk1", "ExportUrls1", "OpenDownloadFolder1"})
        QVERIFY2(!Part<QAction>(m, off)->isEnabled(), off);
    QVERIFY(Part<QAction>(m, "Quit1")->isEnabled());

    m.setBusy(false);
    m.UpdateScreen();
    QVERIFY(!Part<QPushButton>(m, "ButtonStop")->isEnabled() && !Part<TLamp>(m, "LampBusy")->isLit());
    QVERIFY(Part<QPushButton>(m, "ButtonStart")->isEnabled() && Part<QComboBox>(m, "ComboBoxBookmark")->isEnabled() && Part<QMenu>(m, "File1")->isEnabled());
    QVERIFY(Part<QSpinBox>(*w->configuration, "SpinEditMaxTreads")->isEnabled());
    QVERIFY(Part<QPushButton>(m, "ButtonParse")->isEnabled() && Part<QPushButton>(m, "ButtonDownload")->isEnabled()); // the two roots
    QVERIFY(Part<QAction>(m, "Saveallitemstodisk1")->isEnabled());
    QCOMPARE(Part<TStatusPanels>(m, "StatusBar")->text(0), QString(" Status: Not active"));

    m.itemTree()->emptyTree();
    m.UpdateScreen();
    QVERIFY(!Part<QPushButton>(m, "ButtonParse")->isEnabled() && !Part<QPushButton>(m, "ButtonDownload")->isEnabled() && !Part<QAction>(m, "Saveallitemstodisk1")->isEnabled());
}

void TestMainWindow::busyWindowPaintsOnceAFrame()
{
    // Asked to repaint on every pass of the event loop: an idle window paints
    // each time, a busy one once a frame, and the last request is never lost.
    struct Window : QWidget
    {
        int paints = 0;
        bool dirty = false;
        void paintEvent(QPaintEvent *) override
        {
            ++paints;
            dirty = false;
        }
    };
    for (const bool busy : {false, true}) {
        Window window;
        new TPaintPacer(&window, [busy] { return busy; });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.paints = 0;
        int asked = 0;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 8 * TPaintPacer::kFrameMs) {
            window.update();
            window.dirty = true;
            ++asked;
            QCoreApplication::processEvents();
        }
        const qint64 frames = clock.elapsed() / TPaintPacer::kFrameMs + 2;
        QTRY_VERIFY(!window.dirty);
        if (busy)
            QVERIFY2(window.paints <= frames, qPrintable(QString("%1 paints in %2 frames").arg(window.paints).arg(frames)));
        else
            QVERIFY2(window.paints >= asked - 1, qPrintable(QString("%1 paints for %2 requests").arg(window.paints).arg(asked)));
    }
}

void TestMainWindow::documentProgressShowsOnTheStatusBar()
{
    TFormMain &m = *w->main;
    m.ShowBar(true, 300, 1000);
    QVERIFY(!Part<QProgressBar>(m, "Gauge")->isHidden());
    QCOMPARE(Part<QProgressBar>(m, "Gauge")->maximum(), 1000);
    QCOMPARE(Part<QProgressBar>(m, "Gauge")->value(), 300);
    m.ShowBar(true, 4096, 0); // no content length
    QVERIFY(Part<QProgressBar>(m, "Gauge")->isHidden());
    QCOMPARE(Part<TStatusPanels>(m, "StatusBar")->text(0), QString(" Status: 4096 bytes retrieved"));
}

void TestMainWindow::panelsFollowTheViewEntries()
{
    TFormMain &m = *w->main;
    Part<QAction>(m, "Displayimagepreview1")->trigger();
    QVERIFY(Part<QWidget>(m, "PanelPreview")->isHidden() && !Part<QWidget>(m, "PanelRight")->isHidden());
    Part<QAction>(m, "Displaydownloadengineprogress1")->trigger();
    QVERIFY(Part<QWidget>(m, "PanelRight")->isHidden());
    Part<QAction>(m, "Displaydownloadengineprogress1")->trigger();
    QVERIFY(!Part<QWidget>(m, "PanelRight")->isHidden() && !Part<QWidget>(m, "PanelProgress")->isHidden() && Part<QWidget>(m, "PanelPreview")->isHidden());
}

void TestMainWindow::directoryTest_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<bool>("ok");
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("missing") << "/nonexistent/trawlix" << false;
    QTest::newRow("not writable") << "/proc/self" << false;
    QTest::newRow("writable") << "HOME" << true;
    // As in every Linux file field: a trailing "/" names the same directory, "~" the home.
    QTest::newRow("ends in /") << "HOME/" << true;
    QTest::newRow("tilde") << "~" << true;
    QTest::newRow("tilde slash") << "~/" << true;
    QTest::newRow("under the tilde") << "~/sub" << true;
    QTest::newRow("missing under the tilde") << "~/nowhere" << false;
}

void TestMainWindow::directoryTest()
{
    QFETCH(QString, directory);
    QFETCH(bool, ok);
    directory.replace("HOME", home->path());
    const QByteArray realHome = qgetenv("HOME");
    qputenv("HOME", home->path().toLocal8Bit());
    QDir(home->path()).mkdir("sub");
    const bool answer = w->main->DirectoryOk(directory);
    qputenv("HOME", realHome);
    QCOMPARE(answer, ok);
    QVERIFY(!QFile::exists(home->path() + "/Trawlix.txt"));
    if (geteuid() != 0) {
        QTemporaryDir readOnly;
        QFile::setPermissions(readOnly.path(), QFile::ReadOwner | QFile::ExeOwner);
        QVERIFY(!w->main->DirectoryOk(readOnly.path()));
        QFile::setPermissions(readOnly.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

void TestMainWindow::directoryTestLeavesTheUsersFilesAlone()
{
    QFile own(home->path() + "/Trawlix.txt");
    QVERIFY(own.open(QIODevice::WriteOnly));
    own.write("my notes");
    own.close();
    QVERIFY(w->main->DirectoryOk(home->path()));
    QVERIFY(own.open(QIODevice::ReadOnly));
    QCOMPARE(own.readAll(), QByteArray("my notes"));
    QCOMPARE(QDir(home->path()).entryList({"Trawlix*"}, QDir::Files), QStringList{"Trawlix.txt"});
}

void TestMainWindow::activationWarnsAboutAMissingDirectoryOnce()
{
    TFormMain &m = *w->main;
    Part<QComboBox>(m, "ComboBoxDownload")->setCurrentText(home->path() + "/gone");
    QTRY_COMPARE(Part<QComboBox>(m, "ComboBoxDownload")->palette().color(QPalette::Base), QColor(Qt::red));
    m.FormActivate();
    m.FormActivate();
    QCOMPARE(w->messages, QStringList{"The download directory does not exist !"});
    Part<QComboBox>(m, "ComboBoxDownload")->setCurrentText(home->path());
    QTRY_VERIFY(Part<QComboBox>(m, "ComboBoxDownload")->palette().color(QPalette::Base) != QColor(Qt::red));
    m.FormActivate();
    QCOMPARE(w->messages.size(), 1);
}

void TestMainWindow::directoryIsTestedWhenTheEditIsFinished()
{
    // Not on every key: each prefix of a typed path may name a real directory.
    TFormMain &m = *w->main;
    QLineEdit *edit = Part<QComboBox>(m, "ComboBoxDownload")->lineEdit();
    Part<QComboBox>(m, "ComboBoxDownload")->setCurrentText(home->path());
    m.ComboBoxDownloadChange();
    const QColor good = Part<QComboBox>(m, "ComboBoxDownload")->palette().color(QPalette::Base);
    edit->setFocus();
    QTest::keyClicks(edit, "/not-there");
    QCOMPARE(Part<QComboBox>(m, "ComboBoxDownload")->palette().color(QPalette::Base), good); // still typing
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(Part<QComboBox>(m, "ComboBoxDownload")->palette().color(QPalette::Base), QColor(Qt::red));
    edit->setText(home->path());
    QCOMPARE(Part<QComboBox>(m, "ComboBoxDownload")->palette().color(QPalette::Base), QColor(Qt::red));
    QTRY_COMPARE(Part<QComboBox>(m, "ComboBoxDownload")->palette().color(QPalette::Base), good); // after a pause
    QVERIFY(QDir(home->path()).entryList(QDir::Files | QDir::Hidden).filter("trawlix").isEmpty());
}

void TestMainWindow::loadItemsEntryFollowsTheItemListFile()
{
    TFormMain &m = *w->main;
    m.FormActivate();
    QVERIFY(!Part<QAction>(m, "Loaditemsfromdisk1")->isEnabled());
    QFile list(m.itemListFile());
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.close();
    m.FormActivate();
    QVERIFY(Part<QAction>(m, "Loaditemsfromdisk1")->isEnabled());
}

void TestMainWindow::logoCyclesThroughNPlusOneStates()
{
    TFormMain &m = *w->main;
    auto lit = [&m] {
        int n = 0;
        for (QLabel *letter : LogoLetters(m))
            n += letter->isEnabled();
        return n;
    };
    m.setBusy(true);
    QList<int> seen;
    for (int tick = 0; tick < 16; ++tick) {
        m.TimerLogoTimer();
        seen << lit();
    }
    QCOMPARE(seen, (QList<int>{1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7, 0}));
    QVERIFY(LogoLetters(m)[0]->isEnabled() == false);
    m.TimerLogoTimer();
    QVERIFY(LogoLetters(m)[0]->isEnabled());
    m.setBusy(false);
    m.TimerLogoTimer();
    QCOMPARE(lit(), 0);
    // The cycle starts again from the first letter.
    m.setBusy(true);
    m.TimerLogoTimer();
    QCOMPARE(lit(), 1);
    QVERIFY(LogoLetters(m)[0]->isEnabled());
    m.setBusy(false);
}

void TestMainWindow::previewShowsJpegPicturesOnly_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("shown");
    QTest::newRow("jpg") << "a.jpg" << true;
    QTest::newRow("jpeg") << "b.jpeg" << true;
    QTest::newRow("JPG") << "C.JPG" << true;
    QTest::newRow("gif") << "d.gif" << false;
}

void TestMainWindow::previewShowsJpegPicturesOnly()
{
    QFETCH(QString, name);
    QFETCH(bool, shown);
    TFormMain &m = *w->main;
    m.show();
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    const QString path = w->paths.defaultDownloadDir + "/" + name;
    QVERIFY(picture.save(path, name.endsWith("gif") ? "PNG" : "JPG"));
    TTreeNode *node = addFile(name, TreeIcon::FileStored, StateDone);
    m.PreviewImage(node);
    if (shown) {
        QCOMPARE(Part<QLabel>(m, "LabelPreviewName")->text(), QString("http://h/" + name));
        QCOMPARE(Part<QLabel>(m, "LabelPreviewSize")->text(), QString("64 \u00d7 48"));
        const int width = Part<QLabel>(m, "ImagePreview")->width();
        QCOMPARE(Part<QLabel>(m, "ImagePreview")->height(), qRound(width * 48.0 / 64));
    } else {
        QCOMPARE(Part<QLabel>(m, "LabelPreviewName")->text(), QString("No picture selected"));
        QVERIFY(Part<QLabel>(m, "LabelPreviewSize")->text().isEmpty());
    }
}

void TestMainWindow::hugePicturesAreDecodedSmallOrRefused()
{
    TFormMain &m = *w->main;
    m.show();
    QImage large(4000, 3000, QImage::Format_RGB32);
    large.fill(Qt::darkGreen);
    const QString path = w->paths.defaultDownloadDir + "/large.jpg";
    QVERIFY(large.save(path, "JPG"));
    m.PreviewImage(addFile("large.jpg", TreeIcon::FileStored, StateDone));
    QCOMPARE(Part<QLabel>(m, "LabelPreviewSize")->text(), QString("4000 \u00d7 3000")); // the picture's own size
    QCOMPARE(m.previewPictureSize(), QSize(4000, 3000));
    QVERIFY(Part<QLabel>(m, "ImagePreview")->pixmap().width() <= 1000); // decoded at a fraction

    // A header that claims 30000 x 30000 pixels is not decoded at all.
    QByteArray bytes;
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        bytes = file.readAll();
    }
    const qsizetype frame = bytes.indexOf("\xff\xc0");
    QVERIFY(frame > 0);
    const char giant[] = {char(30000 >> 8), char(30000 & 0xff), char(30000 >> 8), char(30000 & 0xff)};
    bytes.replace(frame + 5, 4, QByteArray(giant, 4));
    const QString giantPath = w->paths.defaultDownloadDir + "/giant.jpg";
    QFile out(giantPath);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();
    QElapsedTimer clock;
    clock.start();
    m.PreviewImage(addFile("giant.jpg", TreeIcon::FileStored, StateDone));
    QVERIFY(clock.elapsed() < 10000); // a guard: decoding it whole would take minutes
    QCOMPARE(Part<QLabel>(m, "LabelPreviewName")->text(), QString("No picture selected"));
    QCOMPARE(m.previewPictureSize(), QSize());
}

void TestMainWindow::brokenPictureLeavesThePreviewBlank()
{
    TFormMain &m = *w->main;
    const QString path = w->paths.defaultDownloadDir + "/broken.jpg";
    QImage picture(32, 32, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QVERIFY(picture.save(path, "JPG"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    file.resize(bytes.size() / 3); // cut short
    file.close();
    m.PreviewImage(addFile("broken.jpg", TreeIcon::FileStored, StateDone));
    QCOMPARE(Part<QLabel>(m, "LabelPreviewName")->text(), QString("No picture selected"));
    QCOMPARE(m.previewPictureSize(), QSize());
    QFile::remove(path);
    QVERIFY(QFile(path).open(QIODevice::WriteOnly)); // empty file
    m.PreviewImage(addFile("broken2.jpg", TreeIcon::FileStored, StateDone));
    QCOMPARE(Part<QLabel>(m, "LabelPreviewName")->text(), QString("No picture selected"));
}

void TestMainWindow::currentNodeDecidesHintLabelAndPreview()
{
    TFormMain &m = *w->main;
    TItemTree *tree = m.itemTree();
    m.show();
    TTreeNode *link = tree->AddTreeNode(tree->rootLinks(), linkRec("http://h/page.htm"));
    TTreeNode *file = addFile("x.gif");
    TTreeNode *stored = addFile("y.gif", TreeIcon::FileStored, StateDone);

    tree->setCurrentItem(file);
    QCOMPARE(m.currentItem(), file);
    QCOMPARE(tree->toolTip(), QString("Double click for downloading selected file(s)   [Context menu]"));
    QCOMPARE(Part<QLabel>(m, "LabelUrlInfo")->text(), QString("Url: http://h/x.gif"));
    QVERIFY(!Part<QLabel>(m, "LabelUrlInfo")->isHidden());

    tree->setCurrentItem(stored);
    QCOMPARE(tree->toolTip(), QString("Double click to view file   [Context menu]"));

    tree->setCurrentItem(link);
    QCOMPARE(tree->toolTip(), QString("Double click for parsing selected link(s)   [Context menu]"));
    QVERIFY(Part<QLabel>(m, "LabelUrlInfo")->isHidden());

    tree->setCurrentItem(file);
    tree->setCurrentItem(tree->rootFiles());
    QCOMPARE(tree->toolTip(), QString("[Context menu]"));
    QCOMPARE(Part<QLabel>(m, "LabelUrlInfo")->text(), QString("Url: http://h/x.gif")); // a root leaves it alone

    // A hidden tree's changes are ignored.
    tree->hide();
    tree->setCurrentItem(link);
    QCOMPARE(m.currentItem(), tree->rootFiles());
}

void TestMainWindow::doubleClickActsByKindAndIcon()
{
    TFormMain &m = *w->main;
    TItemTree *tree = m.itemTree();
    m.show();
    QSignalSpy parse(&m, &TFormMain::parseRequested);
    QSignalSpy download(&m, &TFormMain::downloadRequested);
    // Nothing listens at port 1: the parse that the double click runs fails at once.
    TTreeNode *link = tree->AddTreeNode(tree->rootLinks(), linkRec("http://127.0.0.1:1/page.htm"));
    TTreeNode *file = addFile("x.gif");
    TTreeNode *stored = addFile("y.gif", TreeIcon::FileStored, StateDone);

    m.TreeViewDblClick(); // nothing current yet
    tree->setCurrentItem(tree->rootLinks());
    m.TreeViewDblClick();
    QCOMPARE(parse.count() + download.count(), 0);

    m.setBusy(true);
    tree->setCurrentItem(link);
    m.TreeViewDblClick();
    QCOMPARE(parse.count(), 0);
    m.setBusy(false);
    m.TreeViewDblClick();
    w->waitForCrawl();
    QCOMPARE(parse.count(), 1);
    QCOMPARE(link->stateIndex(), int(StateDone)); // ticked, then taken by the parse run
    QCOMPARE(link->imageIndex(), TreeIcon::LinkFailed);

    tree->setCurrentItem(file);
    Part<QCheckBox>(*w->configuration, "CheckBoxStartAll")->setChecked(false); // queued, not started at once
    QTest::keyClick(tree, Qt::Key_Return);
    QCOMPARE(download.count(), 1);
    QCOMPARE(file->stateIndex(), int(StateDone)); // ticked, then queued by the download run
    QCOMPARE(file->selectedIndex(), TreeIcon::FileNew);
    w->crawl->ButtonStopClick();
    QVERIFY(w->opened.isEmpty());

    // A stored file opens even while busy, and is marked viewed.
    m.setBusy(true);
    tree->setCurrentItem(stored);
    m.TreeViewDblClick();
    QCOMPARE(w->opened, QStringList{stored->item()->localPath});
    QVERIFY(stored->item()->viewed);
    QCOMPARE(stored->color(), w->configuration->color(ColorFileViewed));
}

void TestMainWindow::spaceTogglesHighlightedNewItems()
{
    TFormMain &m = *w->main;
    TItemTree *tree = m.itemTree();
    m.show();
    TTreeNode *a = addFile("a.gif");
    TTreeNode *b = addFile("b.gif", TreeIcon::FileNew, StateChecked);
    TTreeNode *done = addFile("c.gif", TreeIcon::FileStored, StateDone);
    tree->expandAll();
    tree->setCurrentItem(a);
    for (TTreeNode *n : {a, b, done})
        n->setSelected(true);
    QTest::keyClick(tree, Qt::Key_Space);
    QCOMPARE(a->stateIndex(), int(StateChecked));
    QCOMPARE(b->stateIndex(), int(StateUnchecked));
    QCOMPARE(done->stateIndex(), int(StateDone));
}

void TestMainWindow::deletedCurrentItemIsForgotten()
{
    TFormMain &m = *w->main;
    m.show();
    TTreeNode *file = addFile("a.gif");
    m.itemTree()->setCurrentItem(file);
    const int index = w->queue.append(file->id());
    m.itemTree()->deleteNodes({file});
    QVERIFY(m.currentItem() != file);
    QCOMPARE(w->queue.at(index), kNoItem); // blanked, not removed: indexes stay valid
    QCOMPARE(w->queue.size(), 1);
    QCOMPARE(w->queue.remaining(), 0);
    m.TreeViewDblClick();

    // Emptying the whole tree forgets the current item too, and says so meanwhile.
    TTreeNode *other = addFile("b.gif");
    m.itemTree()->setCurrentItem(other);
    bool waitShown = false;
    connect(m.itemTree(), &TItemTree::emptyingStarted, this, [&] { waitShown = !Part<QLabel>(m, "LabelWait")->isHidden(); });
    m.itemTree()->MakeRootNodes();
    QVERIFY(waitShown);
    QVERIFY(Part<QLabel>(m, "LabelWait")->isHidden());
    QVERIFY(!m.itemTree()->isHidden());
    QVERIFY(m.currentItem() != other);
}

void TestMainWindow::previewWidthSurvivesHiddenPanels()
{
    TFormMain &m = *w->main;
    m.show();
    m.setPreviewWidth(150);
    QCoreApplication::processEvents();
    Part<QAction>(m, "Displayimagepreview1")->setChecked(false);
    Part<QAction>(m, "Displaydownloadengineprogress1")->setChecked(false);
    m.UpdatePanels();
    QVERIFY(Part<QWidget>(m, "PanelRight")->isHidden());
    QCOMPARE(m.previewWidth(), 150);
    m.FormClose();
    TSettingsKey key(w->paths.settingsFile);
    key.open();
    QCOMPARE(key.readInteger("PreviewWidth"), std::optional<qint32>(150));
}

void TestMainWindow::darkBackgroundKeepsFieldTextReadable()
{
    TFormMain &m = *w->main;
    m.setFieldBackground(Qt::black);
    QCOMPARE(Part<QComboBox>(m, "ComboBoxBookmark")->palette().color(QPalette::Text), QColor(Qt::white));
    QCOMPARE(Part<QComboBox>(m, "ComboBoxDownload")->palette().color(QPalette::Text), QColor(Qt::white));
    m.setFieldBackground(QColor(255, 255, 200));
    QCOMPARE(Part<QComboBox>(m, "ComboBoxBookmark")->palette().color(QPalette::Text), QColor(Qt::black));
}

void TestMainWindow::treeHintIsThereFromTheStart()
{
    QCOMPARE(w->main->itemTree()->toolTip(), QString("[Context menu]"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
