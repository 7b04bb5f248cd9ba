#include "BuildInfo.h"
#include "HttpProt.h"
#include "Parts.h"
#include "RtfReader.h"
#include "ScriptedServer.h"
#include "UnitHelp.h"
#include "UnitInfo.h"
#include "UnitWebInfo.h"
#include "Windows.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QScrollBar>
#include <QtTest>

using Server = TScriptedServer;

// The documentation viewer with its RTF reader, the about window and the
// version information window.
class TestAuxWindows : public QObject
{
    Q_OBJECT

private slots:
    void rtfReaderShowsEachFeature();
    void rtfReaderSurvivesHostileInput();
    void helpShowsTheDocumentationOrSaysItIsMissing();
    void aboutWindowTellsTheTerms();
    void versionInformationIsFetched();
    void failedVersionFetchIsReported();
    void versionWindowFetchesOncePerOpening();
    void versionCheckWithoutAddressContactsNothing();

private:
    static QTextCharFormat formatOf(const QTextDocument &doc, const QString &text);
};

QTextCharFormat TestAuxWindows::formatOf(const QTextDocument &doc, const QString &text)
{
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().text().contains(text))
                return it.fragment().charFormat();
        }
    }
    return {};
}

void TestAuxWindows::rtfReaderShowsEachFeature()
{
    const QByteArray rtf =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue128;}"
        "{\\*\\generator Hidden 1.0;}{\\info{\\title Not shown}}"
        "\\pard\\qc\\sb200{\\b Bold title}\\par\n"
        "\\pard Plain {\\i italic} {\\ul under}{\\ulnone  no} {\\fs40 big} {\\cf1 red} {\\cf2 navy}\\par\n"
        "Caf\\'e9 \\'80 \\u8364? \\uc2\\u8482 xx end\\line next\\tab tab \\{braces\\} \\\\ back\\par\n"
        "{\\pict\\pngblip 89504e47}after picture}";
    QTextDocument doc;
    ReadRtf(rtf, &doc);
    const QString text = doc.toPlainText();
    QVERIFY2(text.startsWith("Bold title\nPlain italic under no big red navy\n"), qPrintable(text));
    QVERIFY(text.contains(QString::fromUtf8("Caf\xc3\xa9 \xe2\x82\xac \xe2\x82\xac \xe2\x84\xa2 end")));
    QVERIFY2(text.contains("end\nnext\ttab {braces} \\ back"), qPrintable(text)); // a line break, not a paragraph
    QCOMPARE(doc.blockCount(), 4);
    QVERIFY(text.endsWith("after picture"));
    QVERIFY(!text.contains("Hidden") && !text.contains("Not shown") && !text.contains("Arial") && !text.contains("8950"));

    QCOMPARE(formatOf(doc, "Bold title").fontWeight(), int(QFont::Bold));
    QCOMPARE(doc.begin().blockFormat().alignment(), Qt::AlignHCenter);
    QCOMPARE(doc.begin().blockFormat().topMargin(), 10.0);
    QCOMPARE(doc.begin().next().blockFormat().alignment(), Qt::AlignLeft);
    QVERIFY(formatOf(doc, "italic").fontItalic());
    QVERIFY(formatOf(doc, "under").fontUnderline());
    QVERIFY(!formatOf(doc, " no").fontUnderline());
    QCOMPARE(formatOf(doc, "big").fontPointSize(), 20.0);
    QCOMPARE(formatOf(doc, "Plain").fontPointSize(), 12.0);
    QCOMPARE(formatOf(doc, "red").foreground().color(), QColor(255, 0, 0));
    QCOMPARE(formatOf(doc, "navy").foreground().color(), QColor(0, 0, 128));
    QCOMPARE(formatOf(doc, "Plain").fontWeight(), int(QFont::Normal)); // the group ended the bold
}

void TestAuxWindows::rtfReaderSurvivesHostileInput()
{
    QTextDocument doc;
    ReadRtf(QByteArray(200000, '{') + "deep" + QByteArray(200000, '}') + "}}}}", &doc);
    QVERIFY(doc.toPlainText().contains("deep"));
    ReadRtf("{\\rtf1 \\u-4064? \\fs99999999999999 \\cf99 x \\'zz \\'4", &doc);
    QVERIFY(doc.toPlainText().contains("x"));
    QRandomGenerator rng(5);
    QByteArray noise(100000, Qt::Uninitialized);
    for (int round = 0; round < 5; ++round) {
        for (char &c : noise)
            c = "{}\\'abu0123456789 ;*-"[rng.bounded(21)];
        ReadRtf(noise, &doc);
    }
}

void TestAuxWindows::helpShowsTheDocumentationOrSaysItIsMissing()
{
    QTemporaryDir empty, program;
    TFormHelp missing({empty.path()});
    QCOMPARE(Part<QTextBrowser>(missing, "RichEdit")->toPlainText(), "Trawlix.rtf is missing in : " + empty.path() + "/");
    QCOMPARE(missing.windowTitle(), QString("Trawlix - Help"));
    QVERIFY(Part<QTextBrowser>(missing, "RichEdit")->isReadOnly());

    // The program's own documentation, found in the second place looked at.
    QVERIFY(QFile::copy(QFINDTESTDATA("../../resources/Trawlix.rtf"), program.filePath("Trawlix.rtf")));
    TFormHelp help({empty.path(), program.path()});
    const QString text = Part<QTextBrowser>(help, "RichEdit")->toPlainText();
    QVERIFY(text.startsWith(QString::fromUtf8("Trawlix 2.02 \xe2\x80\x94 Help")));
    for (const char *topic : {"Get url", "Parse links", "Download files", "Configuration", "Timeout & Proxy", "Colors",
                              "Load items from disk"})
        QVERIFY2(text.contains(topic), topic);
    QVERIFY(!text.contains("\\"));
    // It opens at its beginning, at a size for reading.
    help.show();
    QVERIFY(QTest::qWaitForWindowExposed(&help));
    QCOMPARE(Part<QTextBrowser>(help, "RichEdit")->verticalScrollBar()->value(), 0);
    QVERIFY(!help.isMaximized());
    QVERIFY(help.width() <= 820 && help.height() <= 640 && help.width() >= 400);
}

void TestAuxWindows::aboutWindowTellsTheTerms()
{
    TFormInfo info;
    QCOMPARE(info.windowTitle(), QString("Trawlix - About"));
    QVERIFY(Part<QLabel>(info, "LabelInfo")->text().contains("without any warranty"));
    QCOMPARE(Part<QPushButton>(info, "ButtonClose")->text(), QString("&Close"));
}

void TestAuxWindows::versionInformationIsFetched()
{
    Server server;
    server.route("/version.txt", Server::page("Trawlix 2.03\nFaster downloads.\n", "text/plain"));
    TFormWebInfo window;
    window.setUrl(QString("http://127.0.0.1:%1/version.txt").arg(server.port()));
    bool waitingShown = false;
    QTimer::singleShot(0, &window, [&] {
        waitingShown = Part<QPlainTextEdit>(window, "MemoInfo")->toPlainText() == "Please wait - Obtaining data from WEB"
                       && Part<QPlainTextEdit>(window, "MemoInfo")->palette().color(QPalette::Text) == QColor(Qt::red)
                       && !Part<QPushButton>(window, "ButtonGet")->isEnabled();
    });
    window.ButtonGetClick();
    QTRY_VERIFY(!window.fetching());
    QVERIFY(waitingShown);
    QCOMPARE(Part<QPlainTextEdit>(window, "MemoInfo")->toPlainText(), QString("Trawlix 2.03\nFaster downloads.\n"));
    QCOMPARE(Part<QPlainTextEdit>(window, "MemoInfo")->palette().color(QPalette::Text), QColor(0, 0, 128));
    QVERIFY(Part<QPushButton>(window, "ButtonGet")->isEnabled());
    QVERIFY(!server.requests().value(0).contains("Pragma"));
}

void TestAuxWindows::failedVersionFetchIsReported()
{
    Server server;
    server.route("/version.txt", Server::reply("HTTP/1.0 404 Not Found\r\n\r\n"));
    TFormWebInfo window;
    window.setUrl(QString("http://127.0.0.1:%1/version.txt").arg(server.port()));
    window.ButtonGetClick();
    QTRY_VERIFY(!window.fetching());
    QCOMPARE(Part<QPlainTextEdit>(window, "MemoInfo")->toPlainText(), QString("The version information could not be fetched:\nNot Found"));
    QCOMPARE(Part<QPlainTextEdit>(window, "MemoInfo")->palette().color(QPalette::Text), QColor(Qt::red));
    QVERIFY(Part<QPushButton>(window, "ButtonGet")->isEnabled());

    window.setUrl(QString("http://127.0.0.1:%1/").arg(Server::refusedPort()));
    window.ButtonGetClick();
    QTRY_VERIFY(!window.fetching());
    QVERIFY(Part<QPlainTextEdit>(window, "MemoInfo")->toPlainText().contains("Connection refused"));
}

void TestAuxWindows::versionCheckWithoutAddressContactsNothing()
{
    TFormWebInfo window;
    window.ButtonGetClick();
    QCOMPARE(Part<QPlainTextEdit>(window, "MemoInfo")->toPlainText(), TFormWebInfo::kNoAddress);
    QVERIFY(!Part<QPushButton>(window, "ButtonGet")->isEnabled());
    QCOMPARE(window.HttpInfo()->ClientState(), hcIdle);
    // The program hands the window the address it was built with.
    QTemporaryDir home;
    TWindows w(home.path());
    QCOMPARE(w.webInfo->HttpInfo()->URL, BuildInfo::kVersionUrl);
}

void TestAuxWindows::versionWindowFetchesOncePerOpening()
{
    // Activations come with every box or window closing over it: they must
    // not fetch again, or a failure would bring the next one without end.
    Server server;
    server.route("/version.txt", Server::reply("HTTP/1.0 404 Not Found\r\n\r\n"));
    QWidget other;
    other.show();
    TFormWebInfo window;
    window.setUrl(QString("http://127.0.0.1:%1/version.txt").arg(server.port()));
    window.show();
    QTRY_VERIFY(Part<QPlainTextEdit>(window, "MemoInfo")->toPlainText().contains("Not Found"));
    for (int i = 0; i < 3; ++i) {
        other.activateWindow();
        QApplication::processEvents();
        window.activateWindow();
        QTest::qWait(20);
    }
    QCOMPARE(server.requests().size(), 1);
    window.close();
    window.show(); // a new opening
    QTRY_COMPARE(server.requests().size(), 2);
    window.close();
    QTest::qWait(20);
    QCOMPARE(server.requests().size(), 2);
}

QTEST_MAIN(TestAuxWindows)
#include "tst_auxwindows.moc"
