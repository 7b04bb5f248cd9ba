#include "ItemTree.h"
#include "LinkExtractor.h"
#include "ReferenceScan.h"
#include "ScanFixture.h"
#include "ShownPictures.h"
#include "TreeConfig.h"
#include "TreeDump.h"

#include <QRandomGenerator>
#include <QtTest>

// The second pass that finds pictures as browsers show them: what it finds
// on a page of every form, the candidate srcset gives, hostile pages, and
// that the plain scan's items stay exactly as they were, with the option
// on (before the new finds) and off (nothing else).
class TestShownPictures : public TScanFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void everyFormIsFound();
    void largestSrcsetCandidate_data();
    void largestSrcsetCandidate();
    void entitiesAreDecoded();
    void findsComeAfterThePlainScanEachOnce();
    void optionOffLeavesThePlainScanAlone_data();
    void optionOffLeavesThePlainScanAlone();
    void hostilePagesEndWithAClearResult_data();
    void hostilePagesEndWithAClearResult();

private:
    QStringList files() const;
};

const QByteArray kEveryForm = R"html(<html><head>
<meta property="og:image" content="/share/cover.jpg">
<style>
  .hero { background: url("img/hero.jpg") no-repeat; }
  .tile { background-image: URL( img/tile.png ); }
  .none { background: url(data:image/png;base64,AAAA); }
</style></head><body>
<img src="small/a.jpg" srcset="small/a.jpg 400w, big/a.jpg 1600w, mid/a.jpg 800w" alt="a">
<picture><source srcset="b-1x.webp 1x, b-2x.webp 2x" type="image/webp"><img src="b.jpg"></picture>
<img class="lazy" data-src='lazy/c.jpg' src="blank.gif">
<img data-original=lazy/d.jpg><img data-lazy-src="lazy/e.jpg">
<img data-srcset="f-small.jpg 300w, f-large.jpg 1200w">
<div style="background-image: url('deco/g.jpg')">x</div>
<!-- <img srcset="commented.jpg 9000w"> -->
<a href="page.html">a page</a>
</body></html>)html";

void TestShownPictures::init()
{
    setUp(TScanSettings{"jpg,jpeg,gif,png,webp", true, true, "/dl", true});
}

void TestShownPictures::cleanup()
{
    tearDown();
}

QStringList TestShownPictures::files() const
{
    QStringList urls;
    for (int i = 0; i < tree->rootFiles()->childCount(); ++i)
        urls << tree->rootFiles()->childNode(i)->item()->url;
    return urls;
}

void TestShownPictures::everyFormIsFound()
{
    QList<QByteArray> values;
    QList<qint32> kinds;
    for (const TShownPicture &p : FindShownPictures(kEveryForm)) {
        values << p.value;
        kinds << p.kind;
    }
    QCOMPARE(values, (QList<QByteArray>{"/share/cover.jpg", "img/hero.jpg", "img/tile.png", "big/a.jpg", "b-2x.webp",
                                        "lazy/c.jpg", "lazy/d.jpg", "lazy/e.jpg", "f-large.jpg", "deco/g.jpg"}));
    QCOMPARE(kinds, (QList<qint32>{KindFile, KindFile, KindFile, KindThumbnail, KindThumbnail, KindThumbnail,
                                   KindThumbnail, KindThumbnail, KindThumbnail, KindFile}));
}

void TestShownPictures::largestSrcsetCandidate_data()
{
    QTest::addColumn<QByteArray>("srcset");
    QTest::addColumn<QByteArray>("largest");
    QTest::newRow("widths") << QByteArray("a.jpg 400w, c.jpg 1600w, b.jpg 800w") << QByteArray("c.jpg");
    QTest::newRow("densities") << QByteArray("a.jpg, b.jpg 2x, c.jpg 1.5x") << QByteArray("b.jpg");
    QTest::newRow("no descriptors: the last") << QByteArray("a.jpg, b.jpg") << QByteArray("b.jpg");
    QTest::newRow("one") << QByteArray("  only.jpg  ") << QByteArray("only.jpg");
    QTest::newRow("line breaks") << QByteArray("a.jpg\n 100w,\n b.jpg\n 200w") << QByteArray("b.jpg");
    QTest::newRow("empty") << QByteArray("") << QByteArray("");
    QTest::newRow("commas only") << QByteArray(",,, ,") << QByteArray("");
    QTest::newRow("nonsense descriptor") << QByteArray("a.jpg zzw, b.jpg 10w") << QByteArray("b.jpg");
}

void TestShownPictures::largestSrcsetCandidate()
{
    QFETCH(QByteArray, srcset);
    QFETCH(QByteArray, largest);
    QCOMPARE(LargestSrcsetCandidate(srcset), largest);
}

void TestShownPictures::entitiesAreDecoded()
{
    QCOMPARE(DecodeEntities("a.jpg?x=1&amp;y=2&#38;z&#x26;w"), QByteArray("a.jpg?x=1&y=2&z&w"));
    QCOMPARE(DecodeEntities("&unknown; & &amp"), QByteArray("&unknown; & &amp"));
    QCOMPARE(FindShownPictures("<img data-src=\"p&amp;q.jpg\">").value(0).value, QByteArray("p&q.jpg"));
}

void TestShownPictures::findsComeAfterThePlainScanEachOnce()
{
    settings.findShown = false;
    extractor->ParseDocument("http://h/g/", kEveryForm, ModeMainDocument);
    const QStringList plain = files();
    const int links = tree->rootLinks()->childCount();
    tree->emptyTree();
    tree->MakeRootNodes();
    extractor->setFileParent(tree->rootFiles());
    settings.findShown = true;
    extractor->ParseDocument("http://h/g/", kEveryForm, ModeMainDocument);
    const QStringList both = files();
    // The plain scan's items first, unchanged and in their order.
    QCOMPARE(both.mid(0, plain.size()), plain);
    QCOMPARE(both.mid(plain.size()),
             (QStringList{"http://h/share/cover.jpg", "http://h/g/img/hero.jpg", "http://h/g/img/tile.png",
                          "http://h/g/big/a.jpg", "http://h/g/b-2x.webp", "http://h/g/lazy/c.jpg",
                          "http://h/g/lazy/d.jpg", "http://h/g/f-large.jpg", "http://h/g/deco/g.jpg"}));
    // data-lazy-src holds "src=": the plain scan had it already.
    QVERIFY(plain.contains("http://h/g/lazy/e.jpg"));
    // Nothing twice, and a page is never taken from the second pass.
    QCOMPARE(QSet<QString>(both.cbegin(), both.cend()).size(), both.size());
    QCOMPARE(tree->rootLinks()->childCount(), links);
    // Without thumbnails the <img> finds go, as the plain scan's do.
    tree->emptyTree();
    tree->MakeRootNodes();
    extractor->setFileParent(tree->rootFiles());
    settings.includeThumbs = false;
    extractor->ParseDocument("http://h/g/", kEveryForm, ModeMainDocument);
    QVERIFY(!files().contains("http://h/g/big/a.jpg"));
    QVERIFY(files().contains("http://h/g/deco/g.jpg"));
}

void TestShownPictures::optionOffLeavesThePlainScanAlone_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::newRow("every form") << kEveryForm;
    QByteArray mixed;
    QRandomGenerator rng(11);
    for (int i = 0; i < 300; ++i) {
        const QByteArray n = QByteArray::number(rng.bounded(60));
        switch (rng.bounded(4)) {
        case 0: mixed += "<a href=\"p" + n + ".jpg\">x</a>"; break;
        case 1: mixed += "<img src='t" + n + ".gif' srcset=\"s" + n + ".jpg 2x\">"; break;
        case 2: mixed += "<div style=\"background:url(c" + n + ".png)\"></div>"; break;
        default: mixed += "<a href=\"page" + n + ".html\">p</a>\n"; break;
        }
    }
    QTest::newRow("mixed") << mixed;
}

void TestShownPictures::optionOffLeavesThePlainScanAlone()
{
    QFETCH(QByteArray, page);
    settings.findShown = false;
    extractor->ParseDocument("http://h/a/", page, ModeMainDocument);
    TItemTree reference;
    reference.setConfig(&config);
    reference.MakeRootNodes();
    ReferenceParseDocument(&reference, reference.rootFiles(), "http://h/a/", page, ModeMainDocument, settings);
    QCOMPARE(dumpTree(*tree), dumpTree(reference));
}

void TestShownPictures::hostilePagesEndWithAClearResult_data()
{
    QTest::addColumn<QByteArray>("page");
    QRandomGenerator rng(5);
    QByteArray binary(1 << 20, Qt::Uninitialized);
    for (char &c : binary)
        c = char(rng.bounded(256));
    QTest::newRow("random bytes") << binary;
    QTest::newRow("unterminated tag") << QByteArray("<img srcset=\"a.jpg 1w, ") + QByteArray(100000, 'x');
    QTest::newRow("unterminated style") << QByteArray("<style>") + QByteArray("url(").repeated(20000);
    QTest::newRow("unterminated comment") << QByteArray("<!-- <img data-src=a.jpg>");
    QTest::newRow("many style blocks") << QByteArray("<style>x{background:url(a.jpg)}</style>").repeated(20000);
    QTest::newRow("tags only") << QByteArray("<").repeated(100000);
    QTest::newRow("entity soup") << ("<img data-src=\"" + QByteArray("&#x;&#;&amp").repeated(5000) + "\">");
}

void TestShownPictures::hostilePagesEndWithAClearResult()
{
    QFETCH(QByteArray, page);
    (void)FindShownPictures(page);
    extractor->ParseDocument("http://h/a/", page, ModeMainDocument);
    QVERIFY(tree->nodeCount() <= TLinkExtractor::kMaxItemsPerPage + 2);
}

QTEST_MAIN(TestShownPictures)
#include "tst_shownpictures.moc"
