#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <optional>

// One node of the item tree as the item list file keeps it: a fixed record
// of 837 bytes, little-endian numbers, texts as short strings (a length byte
// and a fixed room).
struct TItemRecord
{
    QString caption;  // room 255
    bool isLink = false;
    qint16 state = 0;
    qint16 icon = 0;
    qint32 level = 0;
    QString name;      // room 40
    QString localPath; // room 255
    QString url;       // room 255
    QString sizeText;  // room 15
    qint16 kind = 0;
    bool viewed = false;

    bool operator==(const TItemRecord &) const = default;
};

namespace ItemListFile {

inline constexpr int kRecordSize = 837;
inline constexpr int kMaxLevel = 50;

// The 837 bytes of a record. Texts longer than their room are cut, never in
// the middle of a character.
QByteArray encode(const TItemRecord &record);
// The record in 837 bytes. A length byte beyond its room counts as the room.
TItemRecord decode(const char *bytes);

// Texts are kept as UTF-8. Bytes that are not valid UTF-8 (a file from an
// older single-byte system) read as characters U+EF80 .. U+EFFF, one per
// byte, which are written back as the same bytes.
QByteArray shortString(const QString &text, int room);
QString readShortString(const char *bytes, int room);

} // namespace ItemListFile
