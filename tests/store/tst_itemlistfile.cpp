#include "ItemListFile.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cstring>

// The item list record codec, on bytes alone.
class TestItemListFile : public QObject
{
    Q_OBJECT

private slots:
    void knownRecordHasTheWrittenLayout();
    void recordsSurviveTheCodec();
    void textsAreCutToTheirRoom_data();
    void textsAreCutToTheirRoom();
    void hostileBytesDecodeWithinTheirRoom();
    void anyTextBytesSurviveALoadAndASave_data();
    void anyTextBytesSurviveALoadAndASave();
};

void TestItemListFile::knownRecordHasTheWrittenLayout()
{
    TItemRecord r;
    r.caption = "Root files:";
    r.isLink = false;
    r.state = -1;
    r.icon = 7;
    r.level = 0x01020304;
    r.name = "a.jpg";
    r.localPath = "/d/a.jpg";
    r.url = "http://h/a.jpg";
    r.sizeText = "1234";
    r.kind = 2;
    r.viewed = true;
    const QByteArray bytes = ItemListFile::encode(r);
    QCOMPARE(bytes.size(), 837);
    QCOMPARE(bytes.mid(0, 12), QByteArray("\x0bRoot files:"));
    QCOMPARE(bytes.at(256), '\0');
    QCOMPARE(bytes.mid(257, 2), QByteArray("\xff\xff")); // -1 as 65535
    QCOMPARE(bytes.mid(259, 2), QByteArray("\x07\x00", 2));
    QCOMPARE(bytes.mid(261, 4), QByteArray("\x04\x03\x02\x01"));
    QCOMPARE(bytes.mid(265, 6), QByteArray("\x05" "a.jpg"));
    QCOMPARE(bytes.mid(306, 9), QByteArray("\x08/d/a.jpg"));
    QCOMPARE(bytes.mid(562, 15), QByteArray("\x0ehttp://h/a.jpg"));
    QCOMPARE(bytes.mid(818, 5), QByteArray("\x04" "1234"));
    QCOMPARE(bytes.mid(834, 2), QByteArray("\x02\x00", 2));
    QCOMPARE(bytes.at(836), '\x01');
}

void TestItemListFile::recordsSurviveTheCodec()
{
    TItemRecord link;
    link.caption = "http://h/p.htm";
    link.isLink = true;
    link.state = 3;
    link.icon = 6;
    link.level = 1;
    link.url = "http://h/p.htm";
    QCOMPARE(ItemListFile::decode(ItemListFile::encode(link).constData()), link);

    TItemRecord file;
    file.caption = QString::fromUtf8("bl\xc3\xa5" "b\xc3\xa6r.jpg  (1200 bytes)");
    file.state = 2;
    file.icon = 1;
    file.level = 50;
    file.name = QString::fromUtf8("bl\xc3\xa5" "b\xc3\xa6r.jpg");
    file.localPath = "/home/me/Downloads/" + file.name;
    file.url = "http://h/x/" + file.name;
    file.sizeText = "1200";
    file.kind = 1;
    QCOMPARE(ItemListFile::decode(ItemListFile::encode(file).constData()), file);
}

void TestItemListFile::textsAreCutToTheirRoom_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("room");
    QTest::addColumn<QString>("kept");
    QTest::newRow("caption of 300") << QString(300, 'c') << 255 << QString(255, 'c');
    QTest::newRow("name of 60") << QString(60, 'n') << 40 << QString(40, 'n');
    QTest::newRow("size text of 20") << QString(20, '9') << 15 << QString(15, '9');
    // Two bytes a character: the cut falls between characters.
    QTest::newRow("never inside a character") << QString(30, QChar(0xe5)) << 15 << QString(7, QChar(0xe5));
}

void TestItemListFile::textsAreCutToTheirRoom()
{
    QFETCH(QString, text);
    QFETCH(int, room);
    QFETCH(QString, kept);
    const QByteArray bytes = ItemListFile::shortString(text, room);
    QCOMPARE(bytes.size(), room + 1);
    QCOMPARE(ItemListFile::readShortString(bytes.constData(), room), kept);
}

void TestItemListFile::hostileBytesDecodeWithinTheirRoom()
{
    // Length bytes of 255 in every field: each text is cut to its own room.
    QByteArray bytes(837, '\xff');
    const TItemRecord r = ItemListFile::decode(bytes.constData());
    QCOMPARE(r.name.size(), 40);     // not valid UTF-8: a character a byte
    QCOMPARE(r.sizeText.size(), 15);
    QCOMPARE(r.caption.size(), 255);
    QCOMPARE(r.state, qint16(-1));
    QRandomGenerator rng(7);
    for (int i = 0; i < 2000; ++i) {
        for (char &c : bytes)
            c = char(rng.bounded(256));
        const TItemRecord random = ItemListFile::decode(bytes.constData());
        QVERIFY(random.caption.size() <= 255 && random.name.size() <= 40 && random.sizeText.size() <= 15);
    }
}

void TestItemListFile::anyTextBytesSurviveALoadAndASave_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("room");
    QTest::newRow("Latin-1 name filling its room") << QByteArray(40, '\xe9') << 40;
    QTest::newRow("Latin-1 URL of 255") << "http://h/" + QByteArray(246, '\xe6') << 255;
    QTest::newRow("UTF-8 and stray bytes mixed") << QByteArray("bl\xc3\xa5 \xe5 \xc3 end") << 255;
    QTest::newRow("cut sequence at the end") << QByteArray("abc\xe2\x82") << 15;
    QTest::newRow("overlong and surrogate forms") << QByteArray("\xc0\xaf\xed\xa0\x80x") << 15;
    QTest::newRow("text in the raw-byte range") << QByteArray("\xee\xbe\x80\xee\xbf\xbf") << 15;
}

void TestItemListFile::anyTextBytesSurviveALoadAndASave()
{
    QFETCH(QByteArray, text);
    QFETCH(int, room);
    QByteArray field(room + 1, '\0');
    field[0] = char(text.size());
    std::memcpy(field.data() + 1, text.constData(), size_t(text.size()));
    const QString read = ItemListFile::readShortString(field.constData(), room);
    QCOMPARE(ItemListFile::shortString(read, room), field);
    // Random bytes too, a thousand times.
    QRandomGenerator rng(3);
    for (int i = 0; i < 1000; ++i) {
        for (int k = 1; k <= room; ++k)
            field[k] = char(rng.bounded(256));
        field[0] = char(room);
        QCOMPARE(ItemListFile::shortString(ItemListFile::readShortString(field.constData(), room), room), field);
    }
}

QTEST_MAIN(TestItemListFile)
#include "tst_itemlistfile.moc"
