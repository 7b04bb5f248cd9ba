#include "DesktopOpener.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

TDesktopOpener::TDesktopOpener(QObject *parent)
    : QObject(parent)
    , m_program(QStandardPaths::findExecutable(QStringLiteral("xdg-open")))
{
}

void TDesktopOpener::open(const QString &path)
{
    if (m_program.isEmpty()) {
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
            emit failed(OpenFailureText(path, 3));
        return;
    }
    // Not parented to the window: a viewer that xdg-open runs in front keeps
    // running when the window closes; the process object goes when it ends.
    auto *process = new QProcess;
    process->setProgram(m_program);
    process->setArguments({path});
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    connect(process, &QProcess::errorOccurred, this, [this, process, path](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            emit failed(OpenFailureText(path, 3));
            process->deleteLater();
        }
    });
    connect(process, &QProcess::finished, this, [this, process, path](int exitCode, QProcess::ExitStatus status) {
        if (status == QProcess::NormalExit && exitCode != 0)
            emit failed(OpenFailureText(path, exitCode));
        process->deleteLater();
    });
    process->start();
}

void TDesktopOpener::showInFolder(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        open(folder);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                                       QStringLiteral("/org/freedesktop/FileManager1"),
                                                       QStringLiteral("org.freedesktop.FileManager1"),
                                                       QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    // No file manager answers on the bus: the folder opens as any other.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, folder] {
        if (watcher->isError())
            open(folder);
        watcher->deleteLater();
    });
}

QString OpenFailureText(const QString &path, int exitCode)
{
    switch (exitCode) {
    case 0:
        return {};
    case 2:
        return QStringLiteral("\"%1\" cannot be opened: the file is not there any more.").arg(path);
    case 3:
        return QStringLiteral("No program is set to open \"%1\". Choose one for this kind of file in your "
                              "desktop's settings for default applications.")
            .arg(path);
    default:
        return QStringLiteral("The program for \"%1\" could not open it (error %2).").arg(path).arg(exitCode);
    }
}
