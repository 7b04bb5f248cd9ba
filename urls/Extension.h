#pragma once

#include <QString>

// The upper-cased text after the last "." of a name or URL, looking for that
// "." from the second-to-last character backwards (a final "." is never the
// separator). Empty when there is no such ".".
QString ExtensionOf(const QString &text);

// Upper-cases the ASCII letters only, keeping every other character and the length.
QString AsciiUpper(const QString &text);
