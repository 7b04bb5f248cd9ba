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

// The arguments without the options the window system takes for itself
// (-platform xcb, -style=fusion, -reverse, ...), which our parser must not
// call unknown.
QStringList withoutToolkitOptions(int argc, char *argv[])
{
    static const QStringList withValue = {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                                          "qwindowicon", "qwindowtitle", "display", "geometry", "style", "stylesheet",
                                          "session", "name", "title", "visual", "ncols", "cmap", "fontengine"};
    static const QStringList flags = {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability",
                                      "qmljsdebugger"};
    QStringList kept{QString::fromLocal8Bit(argv[0])};
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        QString name = argument;
        while (name.startsWith(QLatin1Char('-')))
            name.remove(0, 1);
        const QString bare = name.section(QLatin1Char('='), 0, 0);
        if (argument.startsWith(QLatin1Char('-')) && argument != QLatin1String("--") && argument != QLatin1String("-")) {
            if (withValue.contains(bare)) {
                if (!name.contains(QLatin1Char('=')))
                    ++i; // its value follows
                continue;
            }
            if (flags.contains(bare))
                continue;
        }
        kept << argument;
    }
    return kept;
}

} // namespace

int main(int argc, char *argv[])
{
    // Every option is read before the window system is reached: help,
    // version and a mistyped option need no display.
    {
        TCommandLine early;
        if (!early.parser.parse(withoutToolkitOptions(argc, argv))) {
            std::fprintf(stderr, "trawlix: %s\nTry 'trawlix --help' for the options.\n", qPrintable(early.parser.errorText()));
            return 1;
        }
        if (early.parser.isSet(QStringLiteral("help")) || early.parser.isSet(QStringLiteral("version"))) {
            QCoreApplication app(argc, argv);
            nameTheProgram();
            TCommandLine line;
            line.parser.process(withoutToolkitOptions(argc, argv)); // prints and ends the process
            return 0;
        }
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
