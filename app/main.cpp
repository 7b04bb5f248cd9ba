#include "Paths.h"
#include "UnitConfiguration.h"
#include "UnitMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trawlix"));
    QApplication::setApplicationDisplayName(QStringLiteral("Trawlix"));

    // The windows, in start-up order; each gets the others it uses.
    const TPaths paths = TPaths::standard();
    TFormMain formMain(paths);
    // Owned by the main window, whose child it is.
    auto *formConfiguration = new TFormConfiguration(&formMain, paths, &formMain);
    formMain.setConfiguration(formConfiguration);
    formConfiguration->FormCreate();

    QObject::connect(&formMain, &TFormMain::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    formMain.show();
    return app.exec();
}
