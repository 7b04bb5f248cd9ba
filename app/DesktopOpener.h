#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// Hands a file or folder to the desktop's default application through
// xdg-open, and tells when nothing could open it: xdg-open's exit status
// says whether a program was found. Without xdg-open, Qt's own opener is
// used, which says only whether it could start one.
class TDesktopOpener : public QObject
{
    Q_OBJECT

public:
    explicit TDesktopOpener(QObject *parent = nullptr);

    // The opener to run; "xdg-open" from the path unless a test sets another.
    void setProgram(const QString &program) { m_program = program; }
    void open(const QString &path);
    // The file manager shows the folder with the file picked out (the
    // freedesktop FileManager1 service), else the folder is opened.
    void showInFolder(const QString &path);

signals:
    // Why path could not be opened, in a sentence for a message box.
    void failed(const QString &text);

private:
    QString m_program;
};

// What xdg-open's exit status means for path, or an empty text for success.
QString OpenFailureText(const QString &path, int exitCode);
