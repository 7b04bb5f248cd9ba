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
    QCommandLineParser parser;
    QCommandLineOption documentation{QStringLiteral("documentation"), QStringLiteral("Open the documentation window at start.")};

    TCommandLine()
    {
        parser.setApplicationDescription(QStringLiteral("Harvests the pictures and other files that web pages link to."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOption(documentation);
        parser.addPositionalArgument(QStringLiteral("URL"),
                                     QStringLiteral("A page to fetch at once, as Get url does; further URLs join the bookmarks."),
                                     QStringLiteral("[URL...]"));
    }
};

void nameTheProgram()
{
    QCoreApplication::setApplicationName(QStringLiteral("trawlix"));
    QCoreApplication::setApplicationVersion(BuildInfo::kVersion);
}

// Help and version are printed without reaching the window system, so they
// work without a display.
bool asksForTextOnly(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArrayView argument(argv[i]);
        if (argument == "-h" || argument == "-?" || argument == "--help" || argument == "--help-all" || argument == "-v"
            || argument == "--version")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (asksForTextOnly(argc, argv)) {
        QCoreApplication app(argc, argv);
        nameTheProgram();
        TCommandLine line;
        line.parser.process(app); // prints and ends the process
        return 0;
    }
    // The application takes Qt's own options (-platform, -style, ...) out before ours are read.
    QApplication app(argc, argv);
    nameTheProgram();
    TCommandLine line;
    line.parser.process(app);
    const QStringList urls = line.parser.positionalArguments();
    QApplication::setApplicationName(QStringLiteral("Trawlix"));

    TProgram program(TPaths::standard(BuildInfo::kSharedFromProgram));
    QObject::connect(program.main.get(), &TFormMain::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    program.main->show();
    if (line.parser.isSet(line.documentation)) {
        program.help->show();
        if (program.help->documentFile().isEmpty())
            std::fprintf(stderr, "trawlix: %s\n", qPrintable(program.help->text()));
    }
    // The window is up before the first page is asked for.
    if (!urls.isEmpty())
        QTimer::singleShot(0, program.main.get(), [&program, urls] { program.main->fetchUrls(urls); });
    return app.exec();
}
