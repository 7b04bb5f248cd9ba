// Renders the main window and a configuration page to PNG files, offscreen,
// with a small tree in it, for the README.
#include "AppIcons.h"
#include "ItemState.h"
#include "ItemTree.h"
#include "TreeIcons.h"
#include "LinkExtractor.h"
#include "Paths.h"
#include "UnitConfiguration.h"
#include "RunState.h"
#include "UnitMain.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPainter>
#include <QTemporaryDir>

// The pictures drawn by the program, as files for the desktop and the README.
static void saveIcons(const QString &dir)
{
    QDir().mkpath(dir);
    for (int size : {16, 32, 48, 128}) {
        AppIcons::programIcon().pixmap(size, size).save(dir + QStringLiteral("/trawlix-%1.png").arg(size));
        AppIcons::disguiseIcon().pixmap(size, size).save(dir + QStringLiteral("/disguise-%1.png").arg(size));
    }
    // The eight item icons, then the check pictures, at double size.
    const int step = TTreeIcons::kIconSize + 4;
    QPixmap strip(2 * step * 12, 2 * step);
    strip.setDevicePixelRatio(2.0);
    strip.fill(Qt::white);
    QPainter p(&strip);
    for (int icon = 0; icon < kTreeIconCount; ++icon)
        p.drawPixmap(2 + step * icon, 2, TTreeIcons::itemIcon(TreeIcon(icon), 2.0));
    const int states[] = {StateUnchecked, StateChecked, StateDone};
    for (int i = 0; i < 3; ++i)
        p.drawPixmap(2 + step * (kTreeIconCount + i), 2, TTreeIcons::checkPicture(states[i], 2.0));
    p.end();
    strip.save(dir + QStringLiteral("/tree-icons.png"));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(outDir);
    saveIcons(outDir + QStringLiteral("/../icons"));

    // A private home, shown as the user would see theirs: "~/Downloads".
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    TPaths paths = TPaths::under(home.path());
    QDir().mkpath(paths.defaultDownloadDir);
    TItemStore items;
    TRunState run;
    TFormMain formMain(paths, run, items);
    auto &formConfiguration = *new TFormConfiguration(&formMain, paths, &formMain); // the main window's child
    formMain.setConfiguration(&formConfiguration);
    formConfiguration.FormCreate();
    formMain.setMessageSink([](const QString &) {});
    formMain.urlField()->setCurrentText(QStringLiteral("http://www.example.org/gallery/index.html"));

    TItemTree *tree = formMain.itemTree();
    tree->MakeRootNodes();
    TLinkExtractor extractor(items);
    extractor.setSettingsSource([&] { return formConfiguration.scanSettings(); });
    extractor.setFileParent(items.rootFiles());
    extractor.ParseDocument(QStringLiteral("http://www.example.org/gallery/"),
                            "<a href=\"summer.html\">Summer</a><a href=\"winter.html\">Winter</a>"
                            "<a href=\"big/beach.jpg\"><img src=\"thumbs/beach.jpg\"></a>"
                            "<a href=\"big/dunes.jpg\"><img src=\"thumbs/dunes.jpg\"></a>"
                            "<a href=\"song.mp3\">song</a>",
                            ModeMainDocument);
    ItemState::check(tree->rootFiles()->childNode(0)->ref());
    tree->expandAll();
    formMain.UpdateScreen();
    formMain.downloadField()->setCurrentText(QStringLiteral("~/Downloads"));
    formMain.resize(690, 456); // the size of a first start
    formMain.show();
    app.processEvents();
    formMain.grab().save(outDir + QStringLiteral("/main-window.png"));

    formConfiguration.showPage(0);
    formConfiguration.show();
    app.processEvents();
    formConfiguration.grab().save(outDir + QStringLiteral("/configuration.png"));
    return 0;
}
