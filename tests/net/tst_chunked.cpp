#include "ChunkedDecoder.h"

#include <QTest>

// Chunked bodies from servers, well formed and hostile, fed whole and byte
// by byte: the payload is exact, the end is found, bad framing is refused.
class TestChunked : public QObject
{
    Q_OBJECT

private slots:
    void bodies_data();
    void bodies();
    void bytesAfterTheEndAreLeft();
    void readerCanStopInsideAChunk();
};

void TestChunked::bodies_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("status"); // 0 more, 1 done, 2 malformed
    const QByteArray big(70000, 'z');
    QTest::newRow("two chunks") << QByteArray("4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n") << QByteArray("Wikipedia") << 1;
    QTest::newRow("bare line feeds") << QByteArray("4\nWiki\n0\n\n") << QByteArray("Wiki") << 1;
    QTest::newRow("upper hex, extension") << QByteArray("A;name=v\r\n0123456789\r\n0\r\n\r\n") << QByteArray("0123456789") << 1;
    QTest::newRow("trailers skipped") << QByteArray("3\r\nabc\r\n0\r\nX-Sum: 1\r\nX-Other: 2\r\n\r\n") << QByteArray("abc") << 1;
    QTest::newRow("blanks around size") << QByteArray(" 3 \r\nabc\r\n0\r\n\r\n") << QByteArray("abc") << 1;
    QTest::newRow("large chunk") << (QByteArray("11170\r\n") + big + "\r\n0\r\n\r\n") << big << 1;
    QTest::newRow("cut in data") << QByteArray("a\r\n01234") << QByteArray("01234") << 0;
    QTest::newRow("no last chunk") << QByteArray("3\r\nabc\r\n") << QByteArray("abc") << 0;
    QTest::newRow("empty size") << QByteArray("\r\nabc\r\n") << QByteArray() << 2;
    QTest::newRow("negative size") << QByteArray("-5\r\nabc\r\n") << QByteArray() << 2;
    QTest::newRow("letters") << QByteArray("zz\r\nabc\r\n") << QByteArray() << 2;
    QTest::newRow("0x prefix") << QByteArray("0x3\r\nabc\r\n0\r\n\r\n") << QByteArray() << 2;
    QTest::newRow("size beyond 2^60") << QByteArray("1000000000000000\r\n") << QByteArray() << 2;
    QTest::newRow("data longer than size") << QByteArray("2\r\nabc\r\n0\r\n\r\n") << QByteArray("ab") << 2;
    QTest::newRow("endless size line") << QByteArray(5000, '1') << QByteArray() << 2;
    QTest::newRow("endless trailer") << (QByteArray("0\r\n") + QByteArray(70000, 'x')) << QByteArray() << 2;
    QTest::newRow("endless trailer lines")
        << (QByteArray("0\r\n") + QByteArray("X: y\r\n").repeated(20000)) << QByteArray() << 2;
}

void TestChunked::bodies()
{
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, payload);
    QFETCH(int, status);
    for (const int piece : {int(wire.size()), 1, 7}) {
        TChunkedDecoder decoder;
        QByteArray got;
        TChunkedDecoder::Status last = TChunkedDecoder::Status::More;
        for (qsizetype at = 0; at < wire.size() && last == TChunkedDecoder::Status::More; at += piece) {
            const int len = int(std::min<qsizetype>(piece, wire.size() - at));
            int consumed = 0;
            last = decoder.feed(wire.constData() + at, len, &consumed, [&](const char *d, int n) {
                got.append(d, n);
                return true;
            });
            if (last == TChunkedDecoder::Status::More)
                QCOMPARE(consumed, len);
        }
        QCOMPARE(int(last), status);
        if (status != 2)
            QCOMPARE(got, payload);
        else
            QVERIFY(decoder.error().startsWith("malformed chunked body: "));
    }
}

void TestChunked::bytesAfterTheEndAreLeft()
{
    const QByteArray wire("1\r\nx\r\n0\r\n\r\nHTTP/1.1 200 OK\r\n");
    TChunkedDecoder decoder;
    int consumed = 0;
    QByteArray got;
    const auto status = decoder.feed(wire.constData(), int(wire.size()), &consumed, [&](const char *d, int n) {
        got.append(d, n);
        return true;
    });
    QCOMPARE(status, TChunkedDecoder::Status::Done);
    QCOMPARE(got, QByteArray("x"));
    QCOMPARE(wire.mid(consumed), QByteArray("HTTP/1.1 200 OK\r\n"));
    QVERIFY(decoder.done());
}

void TestChunked::readerCanStopInsideAChunk()
{
    const QByteArray wire("3\r\nabc\r\n3\r\ndef\r\n0\r\n\r\n");
    TChunkedDecoder decoder;
    int consumed = 0;
    int calls = 0;
    const auto status = decoder.feed(wire.constData(), int(wire.size()), &consumed, [&](const char *, int) {
        ++calls;
        return false;
    });
    QCOMPARE(status, TChunkedDecoder::Status::More);
    QCOMPARE(calls, 1);
    QCOMPARE(consumed, 6); // "3\r\nabc"
}

QTEST_GUILESS_MAIN(TestChunked)
#include "tst_chunked.moc"
