#include "ItemListFile.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

enum Offset : int {
    Caption = 0,
    IsLink = 256,
    State = 257,
    Icon = 259,
    Level = 261,
    Name = 265,
    LocalPath = 306,
    Url = 562,
    SizeText = 818,
    Kind = 834,
    Viewed = 836
};

void put(QByteArray &record, int offset, const QByteArray &bytes)
{
    std::memcpy(record.data() + offset, bytes.constData(), size_t(bytes.size()));
}

} // namespace

namespace {

// Bytes that are not part of valid UTF-8 are kept as characters of a private
// range, one per byte, and written back as those bytes: a list from an older
// single-byte system survives a load and a save byte for byte.
constexpr char32_t kRawByteBase = 0xEF00; // U+EF80 .. U+EFFF stand for bytes 0x80 .. 0xFF

bool isRawByteChar(char32_t c)
{
    return c >= kRawByteBase + 0x80 && c <= kRawByteBase + 0xFF;
}

// The length of the valid UTF-8 sequence at bytes[i] and its character, or 0.
int utf8Sequence(const uchar *bytes, int size, int i, char32_t *character)
{
    const uchar lead = bytes[i];
    int length = 0;
    char32_t c = 0;
    if (lead < 0x80) {
        *character = lead;
        return 1;
    }
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        c = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        c = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        c = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > size)
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((bytes[i + k] & 0xc0) != 0x80)
            return 0;
        c = (c << 6) | (bytes[i + k] & 0x3f);
    }
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[length] || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff))
        return 0;
    *character = c;
    return length;
}

void appendUtf8(QByteArray &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xc0 | (c >> 6));
        out += char(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        out += char(0xe0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3f));
        out += char(0x80 | (c & 0x3f));
    } else {
        out += char(0xf0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3f));
        out += char(0x80 | ((c >> 6) & 0x3f));
        out += char(0x80 | (c & 0x3f));
    }
}

} // namespace

QByteArray ItemListFile::shortString(const QString &text, int room)
{
    QByteArray bytes;
    bytes.reserve(std::min<qsizetype>(room, text.size() * 3));
    for (const char32_t c : text.toUcs4()) {
        QByteArray one;
        if (isRawByteChar(c))
            one += char(c - kRawByteBase);
        else
            appendUtf8(one, c == 0xfffe || (c >= 0xd800 && c <= 0xdfff) ? char32_t(0xfffd) : c);
        if (bytes.size() + one.size() > room)
            break; // cut, never in the middle of a character
        bytes += one;
    }
    QByteArray out(room + 1, '\0');
    out[0] = char(bytes.size());
    std::memcpy(out.data() + 1, bytes.constData(), size_t(bytes.size()));
    return out;
}

QString ItemListFile::readShortString(const char *bytes, int room)
{
    const int length = std::min<int>(uchar(bytes[0]), room);
    const auto *text = reinterpret_cast<const uchar *>(bytes + 1);
    std::u32string characters;
    characters.reserve(size_t(length));
    for (int i = 0; i < length;) {
        char32_t c = 0;
        const int n = utf8Sequence(text, length, i, &c);
        if (n == 0 || isRawByteChar(c)) {
            // Not UTF-8 (or a character that would read back as raw bytes):
            // each byte of it kept as it is.
            const int take = n == 0 ? 1 : n;
            for (int k = 0; k < take; ++k)
                characters += text[i + k] < 0x80 ? char32_t(text[i + k]) : kRawByteBase + text[i + k];
            i += take;
        } else {
            characters += c;
            i += n;
        }
    }
    return QString::fromUcs4(characters.data(), qsizetype(characters.size()));
}

QByteArray ItemListFile::encode(const TItemRecord &r)
{
    QByteArray record(kRecordSize, '\0');
    put(record, Caption, shortString(r.caption, 255));
    record[IsLink] = r.isLink ? 1 : 0;
    qToLittleEndian<qint16>(r.state, record.data() + State);
    qToLittleEndian<qint16>(r.icon, record.data() + Icon);
    qToLittleEndian<qint32>(r.level, record.data() + Level);
    put(record, Name, shortString(r.name, 40));
    put(record, LocalPath, shortString(r.localPath, 255));
    put(record, Url, shortString(r.url, 255));
    put(record, SizeText, shortString(r.sizeText, 15));
    qToLittleEndian<qint16>(r.kind, record.data() + Kind);
    record[Viewed] = r.viewed ? 1 : 0;
    return record;
}

TItemRecord ItemListFile::decode(const char *bytes)
{
    TItemRecord r;
    r.caption = readShortString(bytes + Caption, 255);
    r.isLink = bytes[IsLink] != 0;
    r.state = qFromLittleEndian<qint16>(bytes + State);
    r.icon = qFromLittleEndian<qint16>(bytes + Icon);
    r.level = qFromLittleEndian<qint32>(bytes + Level);
    r.name = readShortString(bytes + Name, 40);
    r.localPath = readShortString(bytes + LocalPath, 255);
    r.url = readShortString(bytes + Url, 255);
    r.sizeText = readShortString(bytes + SizeText, 15);
    r.kind = qFromLittleEndian<qint16>(bytes + Kind);
    r.viewed = bytes[Viewed] != 0;
    return r;
}
