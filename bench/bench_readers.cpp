// Readers of outside input that must stay linear: the documentation's RTF
// reader, the bookmark import and the scan of a page built to blow up the tree.
#include "ItemTree.h"
#include "LinkExtractor.h"
#include "PeakMemory.h"
#include "RtfReader.h"
#include "TreeConfig.h"
#include "UnitBookMarks.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTemporaryFile>
#include <QTextDocument>

#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QElapsedTimer clock;

    const QByteArray rtf = "{\\rtf1 " + QByteArray("{x}").repeated(128 * 1024 / 3) + "}";
    QTextDocument document;
    clock.start();
    ReadRtf(rtf, &document);
    std::printf("rtf: 128 KiB of {x} groups: %lld ms (was 10 s before one edit block)\n", clock.elapsed());

    QTemporaryFile lines;
    lines.open();
    for (int i = 0; i < 16000; ++i)
        lines.write("http://site" + QByteArray::number((i * 7919) % 16000) + ".example/\r\n");
    lines.flush();
    QComboBox urlField;
    TFormBookMarks bookmarks(&urlField);
    bookmarks.setFileChooser([&lines] { return lines.fileName(); });
    clock.restart();
    bookmarks.ButtonImportClick();
    std::printf("bookmark import: 16,000 lines: %lld ms (was 8.5 s inserting one by one)\n", clock.elapsed());

    TFixedTreeConfig config;
    TItemTree tree;
    tree.setConfig(&config);
    tree.MakeRootNodes();
    TLinkExtractor extractor(*tree.store());
    extractor.setSettingsSource([] { return TScanSettings{"jpg,jpeg,gif", true, true, "/tmp/dl"}; });
    extractor.setFileParent(tree.store()->rootFiles());
    QByteArray page;
    for (int block = 0; page.size() < (1 << 20); ++block)
        page += QByteArray("SRC=").repeated(4000) + QByteArray::number(block) + ">";
    resetPeakRss();
    const qint64 before = peakRssKiB();
    clock.restart();
    extractor.ParseDocument(QStringLiteral("http://h/"), page, ModeMainDocument);
    std::printf("hostile page: 1 MiB of overlapping SRC= values: %d nodes, %lld ms, peak +%lld MiB%s (was 264,002 "
                "nodes, 65 s, +10.9 GB)\n",
                tree.nodeCount(), clock.elapsed(), (peakRssKiB() - before) / 1024,
                extractor.lastScanCut() ? ", cut" : "");
    return 0;
}
