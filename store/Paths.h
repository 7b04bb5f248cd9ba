#pragma once

#include <QString>

// A directory as the user typed it, as a path: "~" and "~/..." are in the
// home directory, and a trailing "/" names the same directory.
QString ExpandDirectory(const QString &typed);

// Where the program keeps its files on this machine.
struct TPaths
{
    QString settingsFile;       // the settings key
    QString dataDir;            // the item list and other per-user data
    QString programDir;         // documentation shipped with the program
    QString sharedDir;          // what an installation put beside it (share/trawlix)
    QString defaultDownloadDir; // used when no directory was ever set

    // The XDG locations of the current user; the shared files where an
    // installation puts them, sharedFromProgram seen from the program's directory.
    static TPaths standard(const QString &sharedFromProgram = QString());
    // Everything below one directory, for tests.
    static TPaths under(const QString &root);
};
