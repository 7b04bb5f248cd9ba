#pragma once

#include <QByteArray>
#include <QStringList>

// The bookmarks in a text file, one a line: lines end at CR, LF or CR LF;
// characters 32 and below are cut from both ends; empty lines are dropped.
// UTF-8 text is read as such, anything else as Latin-1.
QStringList BookmarkLines(const QByteArray &text);
