#pragma once

#include <QString>

// Where the program keeps its files on this machine.
struct TPaths
{
    QString settingsFile;       // the settings key
    QString dataDir;            // the item list and other per-user data
    QString programDir;         // documentation shipped with the program
    QString defaultDownloadDir; // used when no directory was ever set

    // The XDG locations of the current user.
    static TPaths standard();
    // Everything below one directory, for tests.
    static TPaths under(const QString &root);
};
