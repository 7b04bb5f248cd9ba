#include "Counters.h"
#include "ItemTree.h"
#include "Parts.h"
#include "Question.h"
#include "TreeDump.h"
#include "UnitBookMarks.h"
#include "UnitDirectory.h"
#include "UnitKeyword.h"
#include "UnitPassword.h"
#include "UnitStat.h"
#include "Windows.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryFile>
#include <QTimer>
#include <QtTest>

// The statistics, login, directory, bookmarks and keyword windows, and the
// tree's context menu, through the real main window.
class TestSmallWindows : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void digitGrouping_data();
    void digitGrouping();
    void statisticsShowAndReset();
    void loginFieldsAreTheLogin();
    void bookmarksImportSortsAndKeepsDuplicates();
    void bookmarksEditDeleteAndOk();
    void bookmarksEscapeKeepsTheEdits();
    void directoryChooserMakesAndSavesDirectories();
    void keywordWindowReportsWhatChanged();
    void contextMenuEnabling();
    void contextMenuCommandsOnTheCurrentLink();
    void deleteAsksAboutFiles();
    void dismissedQuestionsMeanNo_data();
    void dismissedQuestionsMeanNo();
    void passwordsAreMasked();

private:
    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<TWindows> w;
};

void TestSmallWindows::init()
{
    home = std::make_unique<QTemporaryDir>();
    w = std::make_unique<TWindows>(home->path());
    w->main->show();
}

void TestSmallWindows::cleanup()
{
    w.reset();
    home.reset();
}

void TestSmallWindows::digitGrouping_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("shown");
    QTest::newRow("3") << "123" << "123";
    QTest::newRow("4") << "1234" << "1 234";
    QTest::newRow("6") << "123456" << "123 456";
    QTest::newRow("7") << "1234567" << "1 234 567";
    QTest::newRow("9") << "123456789" << "123 456 789";
    QTest::newRow("10") << "1234567890" << "1234567890";
    QTest::newRow("minus counts") << "-1234" << "-1 234";
    QTest::newRow("zero") << "0" << "0";
}

void TestSmallWindows::digitGrouping()
{
    QFETCH(QString, digits);
    QFETCH(QString, shown);
    QCOMPARE(FormatString(digits), shown);
}

void TestSmallWindows::statisticsShowAndReset()
{
    w->statistics = {1234, 5, 6, 0};
    TFormStat stat(w->statistics);
    bool answer = false;
    stat.setQuestionSink([&answer](const QString &q) {
        return q == "Reset statistics?" && answer;
    });
    stat.Statistics1Click();
    QVERIFY(Part<QTimer>(stat, "Timer1")->isActive());
    QCOMPARE(Part<QLabel>(stat, "Values1")->text(), QString("1 234"));
    QCOMPARE(Part<QLabel>(stat, "Values4")->text(), QString("0"));
    stat.ButtonResetClick(); // No
    QCOMPARE(w->statistics.DocParsed, 1234);
    answer = true;
    stat.ButtonResetClick();
    QCOMPARE(w->statistics.DocParsed, 0);
    stat.Timer1Timer();
    QCOMPARE(Part<QLabel>(stat, "Values1")->text(), QString("0"));
    stat.close();
    QVERIFY(!Part<QTimer>(stat, "Timer1")->isActive());
}

void TestSmallWindows::loginFieldsAreTheLogin()
{
    w->login.Username = "old";
    w->login.Password = "pw";
    TFormPassword password(w->login);
    QTimer::singleShot(0, &password, [&] {
        QCOMPARE(Part<QLineEdit>(password, "EditUsername")->text(), QString("old"));
        Part<QLineEdit>(password, "EditUsername")->clear();
        QTest::keyClicks(Part<QLineEdit>(password, "EditUsername"), "me");
        QTest::keyClick(Part<QLineEdit>(password, "EditUsername"), Qt::Key_Return); // on to the password, still open
        QVERIFY(password.isVisible());
        QVERIFY(Part<QLineEdit>(password, "EditPassword")->hasFocus() || !QApplication::focusWidget());
        Part<QLineEdit>(password, "EditPassword")->clear();
        QTest::keyClicks(Part<QLineEdit>(password, "EditPassword"), "secret");
        Part<QPushButton>(password, "ButtonCancel")->click(); // what was typed stays in force
    });
    password.exec();
    QCOMPARE(w->login.Username, QString("me"));
    QCOMPARE(w->login.Password, QString("secret"));
    QTimer::singleShot(0, &password, [&] { QTest::keyClick(Part<QLineEdit>(password, "EditPassword"), Qt::Key_Return); });
    QCOMPARE(password.exec(), int(QDialog::Accepted)); // Enter in the password acts as Ok
}

void TestSmallWindows::bookmarksImportSortsAndKeepsDuplicates()
{
    QComboBox *url = w->main->urlField();
    url->addItems({"z.org", "a.org"});
    TFormBookMarks marks(url);
    const QString file = home->filePath("list.txt");
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("  b  \r\n\n\ra\r\t\t\t\nm.org\na.org");
    out.close();
    marks.setFileChooser([&file] { return file; });
    marks.FormActivate();
    marks.ButtonImportClick();
    QStringList entries;
    for (int i = 0; i < Part<QListWidget>(marks, "ListBox1")->count(); ++i)
        entries << Part<QListWidget>(marks, "ListBox1")->item(i)->text();
    QCOMPARE(entries, (QStringList{"a", "a.org", "a.org", "b", "m.org", "z.org"}));
    marks.setFileChooser([] { return QString(); }); // cancelled: nothing more
    marks.ButtonImportClick();
    QCOMPARE(Part<QListWidget>(marks, "ListBox1")->count(), 6);
    marks.ButtonOkClick();
    QCOMPARE(url->count(), 6);
    QCOMPARE(url->itemText(0), QString("a"));
}

void TestSmallWindows::bookmarksEditDeleteAndOk()
{
    QComboBox *url = w->main->urlField();
    url->addItems({"z", "a"});
    TFormBookMarks marks(url);
    marks.setQuestionSink([](const QString &q) { return q == "Delete all bookmarks?"; });
    marks.FormActivate();
    QVERIFY(!Part<QPushButton>(marks, "ButtonDelete")->isEnabled() && !Part<QLineEdit>(marks, "Edit1")->isEnabled());
    QVERIFY(Part<QPushButton>(marks, "ButtonDeleteAll")->isEnabled());
    Part<QListWidget>(marks, "ListBox1")->setCurrentRow(1);
    marks.ListBox1Click();
    QCOMPARE(Part<QLineEdit>(marks, "Edit1")->text(), QString("z"));
    QTest::keyClicks(Part<QLineEdit>(marks, "Edit1"), "ed");
    QCOMPARE(Part<QListWidget>(marks, "ListBox1")->item(1)->text(), QString("zed")); // in place
    marks.ButtonOkClick();
    QCOMPARE(url->itemText(0), QString("a"));
    QCOMPARE(url->itemText(1), QString("zed"));
    // Add: the Url field's address when it is new, else a fresh one to type.
    url->setEditText("http://new.example/");
    marks.FormActivate();
    Part<QPushButton>(marks, "ButtonAdd")->click();
    QCOMPARE(Part<QLineEdit>(marks, "Edit1")->text(), QString("http://new.example/"));
    Part<QPushButton>(marks, "ButtonAdd")->click();
    QCOMPARE(Part<QLineEdit>(marks, "Edit1")->text(), QString("http://"));
    QCOMPARE(Part<QListWidget>(marks, "ListBox1")->count(), 4);
    Part<QListWidget>(marks, "ListBox1")->setCurrentRow(0);
    marks.ListBox1Click();
    marks.ButtonDeleteAllClick();
    QCOMPARE(Part<QListWidget>(marks, "ListBox1")->count(), 0);
    QVERIFY(Part<QLineEdit>(marks, "Edit1")->text().isEmpty() && !Part<QLineEdit>(marks, "Edit1")->isEnabled());
    QVERIFY(!Part<QPushButton>(marks, "ButtonDeleteAll")->isEnabled());
}

void TestSmallWindows::bookmarksEscapeKeepsTheEdits()
{
    // The window has no close box and no Cancel: Esc closes it as "&Ok" does.
    QComboBox *url = w->main->urlField();
    url->addItems({"b", "a"});
    url->setEditText("typed");
    TFormBookMarks marks(url);
    QTemporaryFile list;
    QVERIFY(list.open());
    list.write("http://imported.example/\r\n");
    list.flush();
    marks.setFileChooser([&list] { return list.fileName(); });
    QTimer::singleShot(0, &marks, [&] {
        Part<QListWidget>(marks, "ListBox1")->setCurrentRow(0);
        marks.ButtonDeleteClick();
        marks.ButtonImportClick();
        QTest::keyClick(&marks, Qt::Key_Escape);
    });
    marks.exec();
    QStringList entries;
    for (int i = 0; i < url->count(); ++i)
        entries << url->itemText(i);
    QCOMPARE(entries, (QStringList{"b", "http://imported.example/"}));
    QCOMPARE(url->currentText(), QString("typed"));
}

void TestSmallWindows::directoryChooserMakesAndSavesDirectories()
{
    QComboBox *field = w->main->downloadField();
    int closed = 0;
    TFormDirectory chooser(field, [&closed] { ++closed; });
    QVERIFY(!MountedDrives().isEmpty());
    QVERIFY(!MountedDrives().contains("/proc"));
    field->setCurrentText(home->path());
    QTimer::singleShot(0, &chooser, [&] {
        QCOMPARE(chooser.currentDirectory(), QDir::cleanPath(home->path())); // moved to the field's directory
        chooser.ButtonNewClick();
        QVERIFY(Part<QWidget>(chooser, "PanelNew")->isVisible());
        QVERIFY(!Part<QPushButton>(chooser, "ButtonOk")->isEnabled());
        chooser.ButtonNewClick(); // twice: hidden again, empty
        QVERIFY(Part<QWidget>(chooser, "PanelNew")->isHidden() && Part<QLineEdit>(chooser, "Edit1")->text().isEmpty());
        chooser.ButtonNewClick();
        QTest::keyClicks(Part<QLineEdit>(chooser, "Edit1"), "pictures");
        QTest::keyClick(Part<QLineEdit>(chooser, "Edit1"), Qt::Key_Return);
        QVERIFY(Part<QWidget>(chooser, "PanelNew")->isHidden());
        chooser.ButtonSaveClick();
    });
    chooser.openChooser();
    QCOMPARE(field->currentText(), QDir(home->path()).filePath("pictures"));
    QVERIFY(QFileInfo(field->currentText()).isDir());
    QCOMPARE(closed, 1);
    // A field that names no directory: the list stays; Close changes nothing but re-tests.
    field->setCurrentText(home->filePath("nowhere"));
    QTimer::singleShot(0, &chooser, [&] { Part<QPushButton>(chooser, "ButtonClose")->click(); });
    chooser.openChooser();
    QCOMPARE(field->currentText(), home->filePath("nowhere"));
    QCOMPARE(chooser.currentDirectory(), QDir(home->path()).filePath("pictures"));
    QCOMPARE(closed, 2);
}

void TestSmallWindows::keywordWindowReportsWhatChanged()
{
    TItemTree *tree = w->main->itemTree();
    tree->MakeRootNodes();
    for (const char *name : {"a.jpg", "b.JPG", "c.gif"})
        tree->AddTreeNode(tree->rootFiles(), fileRec(QString("http://h/") + name));
    TFormKeyword keyword(tree, w->run);
    QStringList messages;
    keyword.setMessageSink([&messages](const QString &text) { messages << text; });
    Part<QRadioButton>(keyword, "RadioButtonTree")->setChecked(true);
    Part<QLineEdit>(keyword, "Edit1")->setText("jpg");
    keyword.SpeedButton2Click();
    QCOMPARE(messages, QStringList{"2 items were checked."});
    QVERIFY(Part<QLineEdit>(keyword, "Edit1")->text().isEmpty());
    Part<QLineEdit>(keyword, "Edit1")->setText("jpg");
    keyword.SpeedButton2Click(); // nothing left to change
    QCOMPARE(messages.size(), 1);
    QVERIFY(!Part<QLabel>(keyword, "LabelNoItems")->isHidden());
    QCOMPARE(Part<QTimer>(keyword, "Timer1")->interval(), 1250);
    keyword.Timer1Timer();
    QVERIFY(Part<QLabel>(keyword, "LabelNoItems")->isHidden() && !Part<QTimer>(keyword, "Timer1")->isActive());
    Part<QCheckBox>(keyword, "CheckBoxTag")->click();
    QCOMPARE(Part<QCheckBox>(keyword, "CheckBoxTag")->text(), QString("Found items will be unchecked !"));
    Part<QLineEdit>(keyword, "Edit1")->setText("JPG");
    Part<QCheckBox>(keyword, "CheckBoxCase")->click();
    QCOMPARE(Part<QCheckBox>(keyword, "CheckBoxCase")->text(), QString("Search will be case sensitive !"));
    QTest::keyClick(Part<QLineEdit>(keyword, "Edit1"), Qt::Key_Return);
    QCOMPARE(messages.last(), QString("1 item was unchecked."));
    // Links and Files are never both off.
    Part<QCheckBox>(keyword, "CheckBoxLinks")->click();
    Part<QCheckBox>(keyword, "CheckBoxFiles")->click();
    QVERIFY(Part<QCheckBox>(keyword, "CheckBoxLinks")->isChecked());
}

void TestSmallWindows::contextMenuEnabling()
{
    TFormMain &m = *w->main;
    m.PopupMenuTreeViewPopup();
    for (QAction *a : Part<QMenu>(m, "PopupMenuTreeView")->actions())
        QVERIFY2(a->isSeparator() || !a->isEnabled(), qPrintable(a->text())); // an empty tree
    TItemTree *tree = m.itemTree();
    tree->MakeRootNodes();
    TTreeNode *link = tree->AddTreeNode(tree->rootLinks(), linkRec("http://h/x.htm"));
    tree->setCurrentItem(link);
    m.PopupMenuTreeViewPopup();
    QVERIFY(Part<QAction>(m, "Useselecteddocasmainandparseit1")->isEnabled());
    QVERIFY(Part<QAction>(m, "Deleteselecteditems1")->isEnabled());
    QVERIFY(!Part<QAction>(m, "Checkallfiles1")->isEnabled()); // the link has no children
    tree->setCurrentItem(tree->rootLinks());
    w->run.setBusy(true);
    m.PopupMenuTreeViewPopup();
    QVERIFY(Part<QAction>(m, "Checkallfiles1")->isEnabled()); // also while busy
    QVERIFY(Part<QAction>(m, "Expandall1")->isEnabled());
    for (QAction *a : {Part<QAction>(m, "SelectUnselecttoggle1"), Part<QAction>(m, "Uncheckallitems1"), Part<QAction>(m, "Deleteselecteditems1"), Part<QAction>(m, "Resetitem1"),
                       Part<QAction>(m, "Keywordsearch1"), Part<QAction>(m, "Sortitems1"), Part<QAction>(m, "Useselecteddocasmainandparseit1"), Part<QAction>(m, "Addselectedlinktobookmarks1")})
        QVERIFY2(!a->isEnabled(), qPrintable(a->text()));
    w->run.setBusy(false);
    QCOMPARE(Part<QAction>(m, "Uncheckallitems1")->shortcut(), QKeySequence("Ctrl+U"));
    QCOMPARE(Part<QAction>(m, "Deleteselecteditems1")->shortcut(), QKeySequence(Qt::Key_Delete));
}

void TestSmallWindows::contextMenuCommandsOnTheCurrentLink()
{
    TFormMain &m = *w->main;
    TItemTree *tree = m.itemTree();
    tree->MakeRootNodes();
    const QString link = QString("http://127.0.0.1:%1/x.htm").arg(1);
    tree->setCurrentItem(tree->AddTreeNode(tree->rootLinks(), linkRec(link)));
    Part<QComboBox>(m, "ComboBoxBookmark")->setEditText("http://typed.example/");
    Part<QAction>(m, "Addselectedlinktobookmarks1")->trigger();
    QCOMPARE(Part<QComboBox>(m, "ComboBoxBookmark")->currentText(), QString("http://typed.example/")); // the first entry does not replace it
    Part<QAction>(m, "Addselectedlinktobookmarks1")->trigger(); // duplicates are not checked
    QCOMPARE(Part<QComboBox>(m, "ComboBoxBookmark")->count(), 2);
    Part<QAction>(m, "Useselecteddocasmainandparseit1")->trigger(); // fetches it as the main page (refused here)
    QCOMPARE(Part<QComboBox>(m, "ComboBoxBookmark")->currentText(), link);
    QCOMPARE(w->statistics.DocParsed, 1);
    QCOMPARE(tree->topLevelItemCount(), 2); // the page did not come: the tree stays
}

void TestSmallWindows::deleteAsksAboutFiles()
{
    TFormMain &m = *w->main;
    TItemTree *tree = m.itemTree();
    tree->MakeRootNodes();
    TDataRec rec = fileRec("http://h/a.jpg");
    rec.localPath = QDir(Part<QComboBox>(m, "ComboBoxDownload")->currentText()).filePath("a.jpg");
    QFile stored(rec.localPath);
    QVERIFY(stored.open(QIODevice::WriteOnly));
    stored.close();
    TTreeNode *node = tree->AddTreeNode(tree->rootFiles(), rec);
    tree->setCurrentItem(node);
    node->setSelected(true);
    QStringList asked;
    m.setQuestionSink([&asked](const QString &q) {
        asked << q;
        return false;
    });
    m.Deleteselecteditems1Click();
    QCOMPARE(asked, QStringList{"When deleting items, also delete their files on disk?"});
    QCOMPARE(tree->rootFiles()->childCount(), 0);
    QVERIFY(QFile::exists(rec.localPath)); // No: the file stays
    node = tree->AddTreeNode(tree->rootFiles(), rec);
    node->setSelected(true);
    // Dismissed with Esc or the close button: nothing is deleted at all.
    m.setQuestionSink([](const QString &) { return std::nullopt; });
    m.Deleteselecteditems1Click();
    QCOMPARE(tree->rootFiles()->childCount(), 1);
    QVERIFY(QFile::exists(rec.localPath));
    m.setQuestionSink([](const QString &) { return true; });
    m.Deleteselecteditems1Click();
    QVERIFY(!QFile::exists(rec.localPath));
}

void TestSmallWindows::dismissedQuestionsMeanNo_data()
{
    QTest::addColumn<bool>("withCancel");
    QTest::addColumn<bool>("byEscape");
    QTest::newRow("yes/no, Esc") << false << true;
    QTest::newRow("yes/no, close button") << false << false;
    QTest::newRow("with cancel, Esc") << true << true;
    QTest::newRow("with cancel, close button") << true << false;
}

void TestSmallWindows::dismissedQuestionsMeanNo()
{
    // The real box: Esc or its close button never answers Yes.
    QFETCH(bool, withCancel);
    QFETCH(bool, byEscape);
    bool seen = false;
    QTimer::singleShot(0, [&] {
        QWidget *box = QApplication::activeModalWidget();
        QVERIFY(box);
        seen = true;
        if (byEscape)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->close();
    });
    const std::optional<bool> answer = AskQuestion(w->main.get(), "Trawlix", "Really?", withCancel);
    QVERIFY(seen);
    QCOMPARE(answer, withCancel ? std::nullopt : std::optional<bool>(false));
}

void TestSmallWindows::passwordsAreMasked()
{
    TFormPassword password(w->login);
    QCOMPARE(Part<QLineEdit>(password, "EditPassword")->echoMode(), QLineEdit::Password);
    auto *reveal = Part<QLineEdit>(password, "EditPassword")->findChild<QAction *>("revealPassword");
    QVERIFY(reveal);
    reveal->trigger();
    QCOMPARE(Part<QLineEdit>(password, "EditPassword")->echoMode(), QLineEdit::Normal);
    reveal->trigger();
    QCOMPARE(Part<QLineEdit>(password, "EditPassword")->echoMode(), QLineEdit::Password);
    QCOMPARE(Part<QLineEdit>(*w->configuration, "EditProxyPassword")->echoMode(), QLineEdit::Password);
}

QTEST_MAIN(TestSmallWindows)
#include "tst_smallwindows.moc"
