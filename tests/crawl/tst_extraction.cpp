#include "ItemTree.h"
#include "LinkExtractor.h"
#include "ReferenceScan.h"
#include "ScanFixture.h"
#include "TreeConfig.h"
#include "TreeDump.h"

#include <QRandomGenerator>
#include <QtTest>

class TestExtraction : public TScanFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void mainDocumentFillsBothRoots();
    void anchorsAreHandledBeforeEmbeddedSources();
    void quotingAndBlanksAreForgiven();
    void mailAndQueryLinksAddNothing();
    void duplicatesAreFoundByUrl();
    void thumbnailInsideLinkGivesBothKinds();
    void parameterPatternFindsObjectUrls();
    void parsedLinkCollectsUnderItself();
    void settingsDecideWhatCounts();
    void emptyValueIsTheDocumentBase();
    void unquotedSourceValuesAreTakenWhole();
    void statusTellsOnlyWhenThereIsText();
    void valuesKeepNonAsciiText();

    void sameTreeAsTheFirstWrittenScan_data();
    void sameTreeAsTheFirstWrittenScan();

    void hostileInputEndsWithAClearResult_data();
    void hostileInputEndsWithAClearResult();
    void hugePageWithoutTerminatorsDoesNotHang();
    void densePageOfUnterminatedPatternsScansInOnePass();
    void onePageCannotExhaustMemory();

private:
    QStringList children(TTreeNode *node) const;
    void scan(const QByteArray &html, const QString &base = "http://h/a/", int mode = ModeMainDocument);
};

void TestExtraction::init()
{
    setUp(TScanSettings{"jpg,jpeg,gif,bmp,mp3,mpeg,mpg", true, true, "/dl"});
}

void TestExtraction::cleanup()
{
    tearDown();
}

QStringList TestExtraction::children(TTreeNode *node) const
{
    QStringList captions;
    for (int i = 0; i < node->childCount(); ++i)
        captions << node->childNode(i)->caption();
    return captions;
}

void TestExtraction::scan(const QByteArray &html, const QString &base, int mode)
{
    extractor->ParseDocument(base, html, mode);
}

void TestExtraction::mainDocumentFillsBothRoots()
{
    scan("<a href=\"sub/page.html\">x</a> <img src=\"pic.gif\">");
    QCOMPARE(children(tree->rootLinks()), QStringList{"http://h/a/sub/page.html"});
    QCOMPARE(children(tree->rootFiles()), QStringList{"pic.gif   (Thumbnail) "});
    const TDataRec *pic = tree->rootFiles()->childNode(0)->item();
    QCOMPARE(pic->kind, int(KindThumbnail));
    QCOMPARE(pic->url, QString("http://h/a/pic.gif"));
    QCOMPARE(pic->localPath, QString("/dl/pic.gif"));
    QVERIFY(pic->sizeText.isEmpty());
    const TDataRec *page = tree->rootLinks()->childNode(0)->item();
    QCOMPARE(page->name, QString("page.html"));
    QCOMPARE(page->localPath, QString("/dl/page.html"));
}

void TestExtraction::anchorsAreHandledBeforeEmbeddedSources()
{
    scan("<img src=\"first.gif\"><A HREF=\"second.gif\"><a href=\"third.jpg\">");
    QCOMPARE(children(tree->rootFiles()),
             (QStringList{"second.gif", "third.jpg", "first.gif   (Thumbnail) "}));
}

void TestExtraction::quotingAndBlanksAreForgiven()
{
    scan("<a href='one.htm'> <a href=two.htm target=_top> <a href=\"my page.htm\">\r\n"
         "<a\nhref = \"three.htm\">");
    QCOMPARE(children(tree->rootLinks()),
             (QStringList{"http://h/a/one.htm", "http://h/a/two.htmtarget=_top",
                          "http://h/a/mypage.htm", "http://h/a/three.htm"}));
}

void TestExtraction::mailAndQueryLinksAddNothing()
{
    scan("<a href=\"mailto:me@h.com\"><a href=\"x.php?id=1\"><a href=\"y.jpg?s=1\">"
         "<a href=\"../../up.gif\">");
    QCOMPARE(tree->rootLinks()->childCount(), 0);
    QCOMPARE(tree->rootFiles()->childCount(), 0);
}

void TestExtraction::duplicatesAreFoundByUrl()
{
    scan("<a href=\"p.htm\"><a href=\"p.htm\"><a href=\"http://h/a/p.htm\">"
         "<a href=\"x/pic.jpg\"><a href=\"y/pic.jpg\"><a href=\"x/pic.jpg\">");
    QCOMPARE(children(tree->rootLinks()), QStringList{"http://h/a/p.htm"});
    QCOMPARE(children(tree->rootFiles()), (QStringList{"pic.jpg", "pic.jpg"}));
}

void TestExtraction::thumbnailInsideLinkGivesBothKinds()
{
    scan("<a href=\"big.jpg\"><img src=\"small.jpg\"></a><img src=\"big.jpg\">");
    QCOMPARE(children(tree->rootFiles()), (QStringList{"big.jpg", "small.jpg   (Thumbnail) "}));
    QCOMPARE(tree->rootFiles()->childNode(0)->item()->kind, int(KindFile));
}

void TestExtraction::parameterPatternFindsObjectUrls()
{
    scan("<object><param name=\"URL\" value=\"movie.mpg\"></object><img src=\"a.gif\">");
    QCOMPARE(children(tree->rootFiles()), (QStringList{"movie.mpg", "a.gif   (Thumbnail) "}));
    QCOMPARE(tree->rootFiles()->childNode(0)->item()->kind, int(KindFile));
}

void TestExtraction::parsedLinkCollectsUnderItself()
{
    scan("<a href=\"sub/\">");
    TTreeNode *sub = tree->rootLinks()->childNode(0);
    extractor->setFileParent(sub->id());
    scan("<a href=\"deeper.htm\"><a href=\"../x.jpg\"><img src=\"t.gif\">", "http://h/a/sub/", ModeParsedLink);
    QCOMPARE(children(sub), (QStringList{"http://h/a/sub/deeper.htm", "x.jpg", "t.gif   (Thumbnail) "}));
    QCOMPARE(sub->childNode(1)->item()->url, QString("http://h/a/x.jpg"));

    // Without child links only files come in.
    settings.addChild = false;
    TTreeNode *deeper = sub->childNode(0);
    extractor->setFileParent(deeper->id());
    scan("<a href=\"more.htm\"><a href=\"y.gif\">", "http://h/a/sub/", ModeParsedLink);
    QCOMPARE(children(deeper), QStringList{"y.gif"});
}

void TestExtraction::settingsDecideWhatCounts()
{
    settings.fileTypes = "gif";
    settings.includeThumbs = false;
    scan("<a href=\"pic.jpg\"><a href=\"page.php\"><img src=\"t.gif\"><a href=\"l.gif\">");
    QCOMPARE(children(tree->rootLinks()), QStringList{"http://h/a/page.php"});
    QCOMPARE(children(tree->rootFiles()), QStringList{"l.gif"});
}

void TestExtraction::emptyValueIsTheDocumentBase()
{
    scan("<a href=\"\">x</a>");
    QCOMPARE(children(tree->rootLinks()), QStringList{"http://h/a/"});
}

void TestExtraction::unquotedSourceValuesAreTakenWhole()
{
    scan("<img src=http://h/x.gif><img src='rel.gif'><frame src=\"f.htm\">");
    QCOMPARE(children(tree->rootFiles()), (QStringList{"x.gif   (Thumbnail) ", "rel.gif   (Thumbnail) "}));
    QCOMPARE(tree->rootFiles()->childNode(0)->item()->url, QString("http://h/x.gif"));
    QCOMPARE(children(tree->rootLinks()), QStringList{"http://h/a/f.htm"});
}

void TestExtraction::statusTellsOnlyWhenThereIsText()
{
    QStringList shown;
    extractor->setStatusSink([&shown](const QString &text) { shown << text; });
    scan("");
    QVERIFY(shown.isEmpty());
    scan("no links here");
    QCOMPARE(shown, QStringList{" Status: Parsing link"});
}

void TestExtraction::valuesKeepNonAsciiText()
{
    scan("<a href=\"bl\xc3\xa5" "b\xc3\xa6r.jpg\"><a href=\"caf\xe9" ".gif\">");
    QCOMPARE(children(tree->rootFiles()), (QStringList{QString::fromUtf8("bl\xc3\xa5" "b\xc3\xa6r.jpg"),
                                                       QString::fromLatin1("caf\xe9" ".gif")}));
}

// Documents mixing every form the scanner meets: quoting styles, case,
// blanks and line breaks inside tags, repeats, parent steps, mail and
// query links, object parameters and truncated tags.
static QByteArray generatedDocument(quint32 seed, int references)
{
    QRandomGenerator rng(seed);
    const char *names[] = {"index", "page", "pic", "photo", "clip", "song", "Readme", "x y"};
    const char *exts[] = {".htm", ".html", ".jpg", ".JPEG", ".gif", ".mpg", ".php", ".zip", ".png", "", "/"};
    const char *prefixes[] = {"", "../", "../../", "/", "sub/", "http://other.org/", "HTTP://h/a/", "//cdn/"};
    QByteArray doc = "<html><body>\n";
    for (int i = 0; i < references; ++i) {
        QByteArray value = QByteArray(prefixes[rng.bounded(8)]) + names[rng.bounded(8)]
                           + QByteArray::number(rng.bounded(references / 2 + 1)) + exts[rng.bounded(11)];
        if (rng.bounded(12) == 0)
            value = "mailto:a@b.c";
        if (rng.bounded(12) == 0)
            value += "?q=1";
        const int quoting = rng.bounded(4);
        const QByteArray quoted = quoting == 0 ? "\"" + value + "\""
                                  : quoting == 1 ? "'" + value + "'"
                                  : quoting == 2 ? value + " "
                                                 : "\"" + value;
        switch (rng.bounded(5)) {
        case 0: doc += "<a href=" + quoted + ">text</a>\n"; break;
        case 1: doc += "<A\r\n HREF = " + quoted + " target=_blank>"; break;
        case 2: doc += "<img src=" + quoted + " alt=\"x\">"; break;
        case 3: doc += "<param name=\"Url\" value=" + quoted + ">"; break;
        default: doc += "<frame SRC=" + quoted + "><p>plain text, no link</p>\n"; break;
        }
    }
    return doc + "</body></html>";
}

void TestExtraction::sameTreeAsTheFirstWrittenScan_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("references");
    QTest::addColumn<bool>("addChild");
    QTest::addColumn<bool>("thumbs");
    QTest::newRow("small") << 1u << 40 << true << true;
    QTest::newRow("medium") << 2u << 400 << true << true;
    QTest::newRow("no thumbs") << 3u << 300 << true << false;
    QTest::newRow("no child links") << 4u << 300 << false << true;
    QTest::newRow("many repeats") << 5u << 900 << true << true;
}

void TestExtraction::sameTreeAsTheFirstWrittenScan()
{
    QFETCH(quint32, seed);
    QFETCH(int, references);
    QFETCH(bool, addChild);
    QFETCH(bool, thumbs);
    settings.addChild = addChild;
    settings.includeThumbs = thumbs;
    config.autoSelect = true;

    TItemTree reference;
    reference.setConfig(&config);
    reference.MakeRootNodes();

    // A main document, then a parsed link, as the crawl does them.
    const QByteArray main = generatedDocument(seed, references);
    scan(main, "http://h/a/");
    ReferenceParseDocument(&reference, reference.rootFiles(), "http://h/a/", main, ModeMainDocument, settings);
    QCOMPARE(dumpTree(*tree), dumpTree(reference));
    QVERIFY(tree->nodeCount() > 4);

    TTreeNode *link = tree->rootLinks()->childCount() ? tree->rootLinks()->childNode(0) : tree->rootLinks();
    TTreeNode *refLink = reference.rootLinks()->childCount() ? reference.rootLinks()->childNode(0) : reference.rootLinks();
    const QByteArray second = generatedDocument(seed + 100, references / 2);
    extractor->setFileParent(link->id());
    scan(second, "http://h/a/sub/", ModeParsedLink);
    ReferenceParseDocument(&reference, refLink, "http://h/a/sub/", second, ModeParsedLink, settings);
    QCOMPARE(dumpTree(*tree), dumpTree(reference));
}

void TestExtraction::hostileInputEndsWithAClearResult_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("nodes");

    QRandomGenerator rng(7);
    QByteArray binary(1 << 20, Qt::Uninitialized);
    for (char &c : binary)
        c = char(rng.bounded(256));
    QTest::newRow("random bytes") << binary << -1;
    QTest::newRow("NUL bytes") << QByteArray("<a href=\"a\0b.jpg\">\0\0<img src=\"c.gif\">", 37) << 4;
    QTest::newRow("only a pattern") << QByteArray("AHREF=") << -1;
    QTest::newRow("pattern at the very end") << QByteArray("<img src=") << -1;
    QTest::newRow("long value") << ("<a href=\"" + QByteArray(6000, 'x') + ".jpg\">") << 3;
    QTest::newRow("overlong value") << ("<a href=\"" + QByteArray(40000, 'x') + ".jpg\">") << 2;
    QTest::newRow("nested patterns") << QByteArray("<a href=").repeated(5000) + "x.jpg>" << -1;
    QTest::newRow("repeated references") << QByteArray("<a href=\"same.jpg\">").repeated(20000) << 3;
}

void TestExtraction::hostileInputEndsWithAClearResult()
{
    QFETCH(QByteArray, text);
    QFETCH(int, nodes);
    scan(text);
    if (nodes >= 0)
        QCOMPARE(tree->nodeCount(), nodes);
    QVERIFY(tree->nodeCount() >= 2);
}

void TestExtraction::hugePageWithoutTerminatorsDoesNotHang()
{
    // 20 MB with thousands of patterns, and not a single quote or ">".
    QByteArray page;
    page.reserve(20 << 20);
    const QByteArray chunk = "AHREF=abc SRC=def.gif " + QByteArray(2000, 'x');
    while (page.size() < (20 << 20))
        page += chunk;
    scan(page);
    // Every value would run to the end of the page: only those that start
    // near the end are short enough to be taken.
    QVERIFY(tree->nodeCount() < 40);
}

void TestExtraction::densePageOfUnterminatedPatternsScansInOnePass()
{
    // A pattern every five bytes and no end to any value: looking ahead 16 KiB
    // for every one of them took seconds per megabyte.
    QByteArray page;
    while (page.size() < (4 << 20))
        page += "SRC=a";
    scan(page); // its speed is measured in bench/
    // Only values starting in the last few KiB end (at the page's end).
    QVERIFY(tree->nodeCount() > 0);
    QVERIFY(tree->nodeCount() < 2 + 2 * TLinkExtractor::kMaxValueLength / 5);
}

void TestExtraction::onePageCannotExhaustMemory()
{
    // Blocks of "SRC=" x 4000, a number and ">": every occurrence gives a
    // value of its own, up to 16 KiB long. What one page adds is bounded by
    // a small multiple of the page, and the scan says it stopped.
    QByteArray page;
    for (int block = 0; page.size() < (1 << 20); ++block)
        page += QByteArray("SRC=").repeated(4000) + QByteArray::number(block) + ">";
    scan(page);
    QVERIFY(extractor->lastScanCut());
    qint64 text = 0;
    tree->forEachNode([&text](TTreeNode *node) {
        if (const TDataRec *item = node->item())
            text += item->url.size() + item->name.size() + item->localPath.size();
    });
    QVERIFY2(text < 8 * page.size(), qPrintable(QString::number(text)));

    // An honest page of many links is taken whole.
    tree->emptyTree();
    tree->MakeRootNodes();
    extractor->setFileParent(tree->store()->rootFiles());
    QByteArray honest;
    for (int i = 0; i < 20000; ++i)
        honest += "<img src=\"p" + QByteArray::number(i) + ".jpg\">";
    scan(honest);
    QVERIFY(!extractor->lastScanCut());
    QCOMPARE(tree->rootFiles()->childCount(), 20000);
}

QTEST_MAIN(TestExtraction)
#include "tst_extraction.moc"
