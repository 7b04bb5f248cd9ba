// Renders the main window and a configuration page to PNG files, offscreen,
// with a small tree in it, for the README.
#include "ItemTree.h"
#include "LinkExtractor.h"
#include "Paths.h"
#include "UnitConfiguration.h"
#include "UnitMain.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QTemporaryDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(outDir);

    QTemporaryDir home;
    TPaths paths = TPaths::under(home.path());
    QDir().mkpath(paths.defaultDownloadDir);
    TFormMain formMain(paths);
    TFormConfiguration formConfiguration(&formMain, paths, &formMain);
    formMain.setConfiguration(&formConfiguration);
    formConfiguration.FormCreate();
    formMain.setMessageSink([](const QString &) {});
    formMain.ComboBoxBookmark->setCurrentText(QStringLiteral("http://www.example.org/gallery/index.html"));

    TItemTree *tree = formMain.itemTree();
    tree->MakeRootNodes();
    TLinkExtractor extractor(tree);
    extractor.setSettingsSource([&] { return formConfiguration.scanSettings(); });
    extractor.setFileParent(tree->rootFiles());
    extractor.ParseDocument(QStringLiteral("http://www.example.org/gallery/"),
                            "<a href=\"summer.html\">Summer</a><a href=\"winter.html\">Winter</a>"
                            "<a href=\"big/beach.jpg\"><img src=\"thumbs/beach.jpg\"></a>"
                            "<a href=\"big/dunes.jpg\"><img src=\"thumbs/dunes.jpg\"></a>"
                            "<a href=\"song.mp3\">song</a>",
                            ModeMainDocument);
    tree->rootFiles()->childNode(0)->setStateIndex(StateChecked);
    tree->expandAll();
    formMain.UpdateScreen();
    formMain.resize(760, 480);
    formMain.show();
    app.processEvents();
    formMain.grab().save(outDir + QStringLiteral("/main-window.png"));

    formConfiguration.showPage(0);
    formConfiguration.show();
    app.processEvents();
    formConfiguration.grab().save(outDir + QStringLiteral("/configuration.png"));
    return 0;
}
