#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <optional>

// The parts of a response header, read from the bytes of one line without
// the line break. Pure: whoever reads the socket hands the lines in.

struct THttpStatusLine
{
    int minorVersion = 0; // HTTP/1.<minorVersion>
    int code = 0;
    QString text;
};

// "HTTP/1.0" or "HTTP/1.1", a blank, three digits and the reason text after
// one more character; nothing for anything else.
std::optional<THttpStatusLine> ParseStatusLine(QByteArrayView line);

struct THeaderField
{
    QString name; // lower case
    QString value; // leading blanks removed, but a value of blanks keeps one
};

// "Name: value"; nothing for a line without a colon.
std::optional<THeaderField> ParseHeaderField(QByteArrayView line);

// The value of the first field of this name (lower case) among the header
// lines a client keeps; null when none has it.
QString HeaderFieldValue(const QStringList &headerLines, QLatin1StringView name);

// A Content-Length value, or -1 when it is not a whole number that fits. A
// list of the same number ("42, 42") is that number; of different ones,
// kConflictingLength.
inline constexpr qint64 kConflictingLength = -2;
qint64 ParseContentLength(const QString &value);

// A Location value as browsers read it: UTF-8 where the bytes are (else
// Latin-1), without the blanks around it or tabs inside it.
QString LocationValue(const QString &latin1Value);

struct TContentRange
{
    QString begin, end;
    qint64 total = -1; // the whole file's length; -1 for "*" or none
};

// "bytes 0-99/1000" as its first and last byte positions, each empty when
// absent, and the whole length.
TContentRange ParseContentRange(const QString &value);
