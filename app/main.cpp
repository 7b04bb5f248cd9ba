#include "BuildInfo.h"
#include "Program.h"
#include "UnitHelp.h"
#include "UnitMain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>

namespace {

struct TCommandLine
{
    QStringList urls;
    bool documentation = false;
};

// Read before the window system is reached: --help and --version work
// without a display.
TCommandLine readCommandLine(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("trawlix"));
    QCoreApplication::setApplicationVersion(BuildInfo::kVersion);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Harvests the pictures and other files that web pages link to."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption documentation(QStringLiteral("documentation"), QStringLiteral("Open the documentation window at start."));
    parser.addOption(documentation);
    parser.addPositionalArgument(QStringLiteral("URL"),
                                 QStringLiteral("A page to fetch at once, as Get url does; further URLs join the bookmarks."),
                                 QStringLiteral("[URL...]"));
    parser.process(app);
    return {parser.positionalArguments(), parser.isSet(documentation)};
}

} // namespace

int main(int argc, char *argv[])
{
    const TCommandLine line = readCommandLine(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trawlix"));
    QApplication::setApplicationVersion(BuildInfo::kVersion);

    TProgram program(TPaths::standard(BuildInfo::kSharedFromProgram));
    QObject::connect(program.main.get(), &TFormMain::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    program.main->show();
    if (line.documentation) {
        program.help->show();
        if (program.help->documentFile().isEmpty())
            std::fprintf(stderr, "trawlix: %s\n", qPrintable(program.help->text()));
    }
    // The window is up before the first page is asked for.
    if (!line.urls.isEmpty())
        QTimer::singleShot(0, program.main.get(), [&program, &line] { program.main->fetchUrls(line.urls); });
    return app.exec();
}
