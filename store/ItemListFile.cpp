#include "ItemListFile.h"

#include <QStringDecoder>
#include <QtEndian>

#include <cstring>

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

QByteArray ItemListFile::shortString(const QString &text, int room)
{
    QByteArray utf8 = text.toUtf8();
    if (utf8.size() > room) {
        qsizetype cut = room;
        while (cut > 0 && (uchar(utf8.at(cut)) & 0xc0) == 0x80)
            --cut; // not inside a character
        utf8.truncate(cut);
    }
    QByteArray out(room + 1, '\0');
    out[0] = char(utf8.size());
    std::memcpy(out.data() + 1, utf8.constData(), size_t(utf8.size()));
    return out;
}

QString ItemListFile::readShortString(const char *bytes, int room)
{
    const int length = std::min<int>(uchar(bytes[0]), room);
    const QByteArrayView text(bytes + 1, length);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(text);
    return utf8.hasError() ? QString::fromLatin1(text) : decoded;
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
