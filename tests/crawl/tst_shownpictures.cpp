#include "ItemTree.h"
#include "LinkExtractor.h"
#include "ReferenceScan.h"
#include "ScanFixture.h"
#include "ShownPictures.h"
#include "Srcset.h"
#include "TreeConfig.h"
#include "TreeDump.h"

#include <QRandomGenerator>
#include <QtTest>

// The second pass that reads the page as a browser does: what it finds on
// pages of every form, the candidate srcset and <picture> give, what it
// never reads, hostile pages, and that the plain scan's items stay exactly
// as they were, with the option on (before the new finds) and off.
class TestShownPictures : public TScanFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void everyFormIsFound();
    void secondPassFinds_data();
    void secondPassFinds();
    void largestSrcsetCandidate_data();
    void largestSrcsetCandidate();
    void mediaOfAWideLightScreen_data();
    void mediaOfAWideLightScreen();
    void findsComeAfterThePlainScanEachOnce();
    void addressesWithAQuery();
    void stylesheetPicturesAreRelativeToTheStylesheet();
    void optionOffLeavesThePlainScanAlone_data();
    void optionOffLeavesThePlainScanAlone();
    void hostilePagesEndWithAClearResult_data();
    void hostilePagesEndWithAClearResult();

private:
    QStringList files() const;
    void freshTree()
    {
        tree->emptyTree();
        tree->MakeRootNodes();
        extractor->setFileParent(tree->store()->rootFiles());
    }
    // The files the second pass adds after the plain scan's, which must be
    // those of the plain scan alone, in their order.
    QStringList secondPass(const QByteArray &page);
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

QStringList TestShownPictures::secondPass(const QByteArray &page)
{
    const bool findShown = settings.findShown;
    settings.findShown = false;
    freshTree();
    extractor->ParseDocument("http://h/g/", page, ModeMainDocument);
    const QStringList plain = files();
    settings.findShown = true;
    freshTree();
    extractor->ParseDocument("http://h/g/", page, ModeMainDocument);
    settings.findShown = findShown;
    const QStringList both = files();
    if (both.mid(0, plain.size()) != plain)
        return {"the plain scan's items changed"};
    return both.mid(plain.size());
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
    QCOMPARE(values, (QList<QByteArray>{"/share/cover.jpg", "img/hero.jpg", "img/tile.png", "small/a.jpg", "big/a.jpg",
                                        "b-2x.webp", "blank.gif", "lazy/c.jpg", "lazy/d.jpg", "lazy/e.jpg",
                                        "f-large.jpg", "deco/g.jpg", "page.html"}));
    QCOMPARE(kinds, (QList<qint32>{KindFile, KindFile, KindFile, KindThumbnail, KindThumbnail, KindThumbnail,
                                   KindThumbnail, KindThumbnail, KindThumbnail, KindThumbnail, KindThumbnail, KindFile,
                                   KindFile}));
}

void TestShownPictures::secondPassFinds_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QStringList>("added"); // after the plain scan's, resolved
    QTest::newRow("lightbox anchors, attributes before href")
        << QByteArray("<a class=\"example-image-link\" href=\"images/image-3.jpg\" data-lightbox=\"set\">"
                      "<img src=\"thumbs/t3.jpg\"></a><a data-fancybox href=images/big.jpg>x</a>"
                      "<map><area shape=rect coords=\"0,0,9,9\" href='maps/area.png'></map>")
        << QStringList{"http://h/g/images/image-3.jpg", "http://h/g/images/big.jpg", "http://h/g/maps/area.png"};
    QTest::newRow("lazy-loading attributes")
        << QByteArray("<div data-bg=\"url('bg/hero.jpg')\"></div><div data-flickity-lazyload=\"slides/s1.jpg\"></div>"
                      "<section data-background=\"bg/sec.png\" data-options='{\"a\": \"x.jpg\"}'></section>")
        << QStringList{"http://h/g/bg/hero.jpg", "http://h/g/slides/s1.jpg", "http://h/g/bg/sec.png"};
    QTest::newRow("apostrophes and unquoted values")
        << QByteArray("<img src='images/logo.gif' width=215><img src=images/photo.jpg alt=x>")
        << QStringList{"http://h/g/images/logo.gif", "http://h/g/images/photo.jpg"};
    QTest::newRow("picture: the wide light screen's source")
        << QByteArray("<picture><source media=\"(prefers-color-scheme: dark)\" srcset=\"dark.jpg 2000w\">"
                      "<source media=\"(max-width: 600px)\" srcset=\"narrow.jpg 600w\">"
                      "<source media=\"print\" srcset=\"print.jpg 3000w\">"
                      "<source media=\"(min-width: 800px)\" srcset=\"wide-1.jpg 1200w, wide-2.jpg 2400w\">"
                      "<img src=\"fallback.jpg\" srcset=\"fallback-2x.jpg 2x\"></picture>")
        << QStringList{"http://h/g/wide-2.jpg"};
    QTest::newRow("picture: no source matches, its image")
        << QByteArray("<picture><source media=\"(prefers-color-scheme: dark)\" srcset=\"dark.jpg\">"
                      "<img src=\"light.jpg\" srcset=\"light-2x.jpg 2x\"></picture>")
        << QStringList{"http://h/g/light-2x.jpg"};
    QTest::newRow("CDN addresses with commas")
        << QByteArray("<img srcset=\"https://cdn.example/w_400,h_300,c_fill/photo.jpg 400w,\n"
                      " https://cdn.example/w_1200,h_900,c_fill/photo.jpg 1200w\">")
        << QStringList{"https://cdn.example/w_1200,h_900,c_fill/photo.jpg"};
    QTest::newRow("base href for every find")
        << QByteArray("<head><base href=\"http://other.example/pics/\"></head><img src=a.jpg>"
                      "<a href=\"../b.jpg\">b</a><div style=\"background:url(//cdn.example/c.png)\"></div>")
        << QStringList{"http://other.example/pics/a.jpg", "http://other.example/b.jpg", "http://cdn.example/c.png"};
    QTest::newRow("parent and current directories, fragments")
        << QByteArray("<img src=\"../../up/u.jpg#x\"><img src=\"./here/h.jpg\">")
        << QStringList{"http://h/up/u.jpg", "http://h/g/here/h.jpg"};
    QTest::newRow("code samples, comments, scripts, templates")
        << QByteArray("<pre>&lt;img src=\"sample.jpg\"&gt;</pre><p>src=\"text.jpg\"</p><!-- <img data-src=\"old.jpg\"> -->"
                      "<script>var s = '<img data-src=\"js.jpg\">';</script><template><img data-src=\"tpl.jpg\"></template>"
                      "<noscript><img data-src=\"ns.jpg\"></noscript><textarea><img data-src=\"ta.jpg\"></textarea>")
        << QStringList{};
    QTest::newRow("entities decoded") << QByteArray("<img data-src=\"p&amp;q.jpg\" data-hi=\"&#x72;.jpg\">")
                                      << QStringList{"http://h/g/p&q.jpg", "http://h/g/r.jpg"};
    QTest::newRow("social and legacy pictures")
        << QByteArray("<meta name=\"twitter:image\" content=\"/tw.jpg\"><body background=\"tile.gif\">"
                      "<video poster=\"poster.jpg\"></video><input type=image src=\"go.png\">"
                      "<svg><image href=\"vector.png\"/></svg>")
        << QStringList{"http://h/tw.jpg", "http://h/g/tile.gif", "http://h/g/poster.jpg", "http://h/g/vector.png"};
    QTest::newRow("icons, preloads, image-set")
        << QByteArray("<link rel=\"icon\" href=\"/favicon.png\"><link rel=preload as=image href=\"hero.jpg\" "
                      "imagesrcset=\"hero-1.jpg 1x, hero-2.jpg 2x\"><link rel=preload as=font href=\"f.gif\">"
                      "<div style='background-image: image-set(\"set-1.jpg\" 1x, url(set-2.png) 2x)'></div>")
        << QStringList{"http://h/favicon.png", "http://h/g/hero.jpg", "http://h/g/hero-2.jpg", "http://h/g/set-1.jpg",
                       "http://h/g/set-2.png"};
}

void TestShownPictures::secondPassFinds()
{
    QFETCH(QByteArray, page);
    QFETCH(QStringList, added);
    QCOMPARE(secondPass(page), added);
}

void TestShownPictures::largestSrcsetCandidate_data()
{
    // The standard's way of reading srcset, then the greatest width, else
    // the greatest density, the first among equals.
    QTest::addColumn<QByteArray>("srcset");
    QTest::addColumn<QByteArray>("largest");
    QTest::newRow("widths") << QByteArray("a.jpg 400w, c.jpg 1600w, b.jpg 800w") << QByteArray("c.jpg");
    QTest::newRow("densities") << QByteArray("a.jpg, b.jpg 2x, c.jpg 1.5x") << QByteArray("b.jpg");
    QTest::newRow("no descriptors: the first") << QByteArray("a.jpg, b.jpg") << QByteArray("a.jpg");
    QTest::newRow("one") << QByteArray("  only.jpg  ") << QByteArray("only.jpg");
    QTest::newRow("line breaks") << QByteArray("a.jpg\n 100w,\n b.jpg\n 200w") << QByteArray("b.jpg");
    QTest::newRow("empty") << QByteArray("") << QByteArray("");
    QTest::newRow("commas only") << QByteArray(",,, ,") << QByteArray("");
    QTest::newRow("nonsense descriptor") << QByteArray("a.jpg zzw, b.jpg 10w") << QByteArray("b.jpg");
    QTest::newRow("commas inside URLs") << QByteArray("w_400,h_300/a.jpg 400w, w_1200,h_900/b.jpg 1200w")
                                        << QByteArray("w_1200,h_900/b.jpg");
    QTest::newRow("no blank after a comma: one URL") << QByteArray("a.jpg,b.jpg 2x") << QByteArray("a.jpg,b.jpg");
    QTest::newRow("commas after a URL") << QByteArray("a.jpg,, b.jpg 2x") << QByteArray("b.jpg");
    QTest::newRow("two densities") << QByteArray("a.jpg 2x 3x, b.jpg 1x") << QByteArray("b.jpg");
    QTest::newRow("width and density") << QByteArray("a.jpg 100w 2x, b.jpg") << QByteArray("b.jpg");
    QTest::newRow("zero width") << QByteArray("a.jpg 0w, b.jpg 1w") << QByteArray("b.jpg");
    QTest::newRow("negative density") << QByteArray("a.jpg -2x, b.jpg 0.5x") << QByteArray("b.jpg");
    QTest::newRow("width with a height") << QByteArray("a.jpg 100w 50h, b.jpg 90w") << QByteArray("a.jpg");
    QTest::newRow("height alone") << QByteArray("a.jpg 50h, b.jpg") << QByteArray("b.jpg");
    QTest::newRow("parentheses") << QByteArray("a.jpg (foo, bar) 9x, b.jpg 3x") << QByteArray("b.jpg");
    QTest::newRow("data URL") << QByteArray("data:image/png;base64,iVBOR 1x, b.jpg 2x") << QByteArray("b.jpg");
    QTest::newRow("width in exponent form") << QByteArray("a.jpg 1e1w") << QByteArray("");
    QTest::newRow("density in exponent form") << QByteArray("a.jpg 1.5e1x, b.jpg 10x") << QByteArray("a.jpg");
    QTest::newRow("widths beat densities") << QByteArray("a.jpg 9x, b.jpg 10w") << QByteArray("b.jpg");
}

void TestShownPictures::largestSrcsetCandidate()
{
    QFETCH(QByteArray, srcset);
    QFETCH(QByteArray, largest);
    QCOMPARE(LargestSrcsetCandidate(srcset), largest);
}

void TestShownPictures::mediaOfAWideLightScreen_data()
{
    QTest::addColumn<QByteArray>("media");
    QTest::addColumn<bool>("matches");
    QTest::newRow("none") << QByteArray() << true;
    QTest::newRow("dark scheme") << QByteArray("(prefers-color-scheme: dark)") << false;
    QTest::newRow("light scheme") << QByteArray("(prefers-color-scheme: light)") << true;
    QTest::newRow("print") << QByteArray("print") << false;
    QTest::newRow("not print") << QByteArray("not print") << true;
    QTest::newRow("narrow") << QByteArray("(max-width: 600px)") << false;
    QTest::newRow("wide") << QByteArray("screen and (min-width: 75em)") << true;
    QTest::newRow("wider than any screen") << QByteArray("(width >= 2400px)") << false;
    QTest::newRow("one of a list") << QByteArray("(max-width: 600px), (min-width: 601px)") << true;
    QTest::newRow("portrait") << QByteArray("(orientation: portrait)") << false;
    QTest::newRow("dark and wide") << QByteArray("(min-width: 800px) and (prefers-color-scheme: dark)") << false;
    QTest::newRow("not understood") << QByteArray("(min-resolution: 2dppx)") << true;
}

void TestShownPictures::mediaOfAWideLightScreen()
{
    QFETCH(QByteArray, media);
    QFETCH(bool, matches);
    QCOMPARE(MatchesWideLightScreen(media), matches);
}

void TestShownPictures::findsComeAfterThePlainScanEachOnce()
{
    settings.findShown = false;
    extractor->ParseDocument("http://h/g/", kEveryForm, ModeMainDocument);
    const QStringList plain = files();
    const int links = tree->rootLinks()->childCount();
    freshTree();
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
    freshTree();
    settings.includeThumbs = false;
    extractor->ParseDocument("http://h/g/", kEveryForm, ModeMainDocument);
    QVERIFY(!files().contains("http://h/g/big/a.jpg"));
    QVERIFY(files().contains("http://h/g/deco/g.jpg"));
}

void TestShownPictures::addressesWithAQuery()
{
    const QByteArray page = "<img srcset=\"photo.jpg?w=1600 1600w\"><a href=\"big.png?size=l#top\">x</a>";
    QCOMPARE(secondPass(page), QStringList());
    QCOMPARE(files(), QStringList());
    settings.keepQuery = true;
    QCOMPARE(secondPass(page), QStringList{"http://h/g/photo.jpg?w=1600"});
    QCOMPARE(files(), (QStringList{"http://h/g/big.png?size=l", "http://h/g/photo.jpg?w=1600"}));
    QCOMPARE(tree->rootFiles()->childNode(1)->item()->name, QString("photo.jpg"));
    // The plain scan keeps them too, with the option.
    settings.findShown = false;
    freshTree();
    extractor->ParseDocument("http://h/g/", "<a href=\"x.jpg?v=2\">x</a>", ModeMainDocument);
    QCOMPARE(files(), QStringList{"http://h/g/x.jpg?v=2"});
}

void TestShownPictures::stylesheetPicturesAreRelativeToTheStylesheet()
{
    extractor->ParseDocument("http://h/g/", "<link rel=\"stylesheet\" href=\"css/site.css\">"
                             "<link rel=stylesheet href=\"http://elsewhere.example/x.css\">", ModeMainDocument);
    QCOMPARE(extractor->lastStylesheets(), QStringList{"http://h/g/css/site.css"});
    extractor->ParseStylesheet("http://h/g/css/site.css", ".a{background:url(../img/bg.jpg)} .b{background:url(/top.png)}",
                               ModeMainDocument);
    QCOMPARE(files(), (QStringList{"http://h/g/img/bg.jpg", "http://h/top.png"}));
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
    QTest::newRow("nested url(") << ("<div style=\"" + QByteArray("url(").repeated(65536) + "\">");
    QTest::newRow("ampersands") << ("<img data-src=\"" + QByteArray(1 << 20, '&') + "\">");
    QTest::newRow("deep nesting") << QByteArray("<div>").repeated(200000);
    QTest::newRow("deep inline nesting") << QByteArray("<b><i>").repeated(100000);
    QByteArray attributes = "<img ";
    for (int i = 0; i < 100000; ++i)
        attributes += "a" + QByteArray::number(i) + "=x ";
    QTest::newRow("100,000 attributes") << attributes + "src=late.jpg>";
    QTest::newRow("endless srcset") << ("<img srcset=\"" + QByteArray("a.jpg 1w, ").repeated(100000) + "\">");
    QTest::newRow("100,000 entities") << QByteArray("&amp;&lt;&#x41;&eacute;").repeated(100000);
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
