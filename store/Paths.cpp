#include "Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

QString ExpandDirectory(const QString &typed)
{
    QString path = typed;
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = QDir::homePath() + path.mid(1);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

TPaths TPaths::standard(const QString &sharedFromProgram)
{
    TPaths paths;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    paths.settingsFile = config + QStringLiteral("/trawlix/Trawlix.reg");
    paths.dataDir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                    + QStringLiteral("/trawlix");
    paths.programDir = QCoreApplication::applicationDirPath();
    if (!sharedFromProgram.isEmpty())
        paths.sharedDir = QDir::cleanPath(paths.programDir + QLatin1Char('/') + sharedFromProgram);
    paths.defaultDownloadDir = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (paths.defaultDownloadDir.isEmpty())
        paths.defaultDownloadDir = QDir::homePath() + QStringLiteral("/Downloads");
    return paths;
}

TPaths TPaths::under(const QString &root)
{
    TPaths paths;
    paths.settingsFile = root + QStringLiteral("/config/trawlix/Trawlix.reg");
    paths.dataDir = root + QStringLiteral("/data");
    paths.programDir = root + QStringLiteral("/program");
    paths.sharedDir = root + QStringLiteral("/share/trawlix");
    paths.defaultDownloadDir = root + QStringLiteral("/Downloads");
    return paths;
}
