#include "Program.h"
#include "UnitMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trawlix"));

    TProgram program(TPaths::standard());
    QObject::connect(program.main.get(), &TFormMain::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    program.main->show();
    return app.exec();
}
