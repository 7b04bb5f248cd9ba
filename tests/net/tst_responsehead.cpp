#include "HttpResponseHead.h"

#include <QTest>

// The header reader sees bytes straight from servers: every shape a line
// can take, from the ordinary to the hostile, gets a definite answer.
class TestResponseHead : public QObject
{
    Q_OBJECT

private slots:
    void statusLines_data();
    void statusLines();
    void headerFields_data();
    void headerFields();
    void contentLengths_data();
    void contentLengths();
    void fieldValuesByName();
    void contentRanges_data();
    void contentRanges();
};

void TestResponseHead::statusLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("1.1 ok") << QByteArray("HTTP/1.1 200 OK") << true << 1 << 200 << "OK";
    QTest::newRow("1.0 not found") << QByteArray("HTTP/1.0 404 Not Found") << true << 0 << 404 << "Not Found";
    QTest::newRow("no reason") << QByteArray("HTTP/1.1 204") << true << 1 << 204 << "";
    QTest::newRow("blank reason") << QByteArray("HTTP/1.1 204 ") << true << 1 << 204 << "";
    QTest::newRow("latin-1 reason") << QByteArray("HTTP/1.0 200 Gr\xfc\xdf") << true << 0 << 200 << QString::fromLatin1("Gr\xfc\xdf");
    QTest::newRow("http/2 text") << QByteArray("HTTP/2 200 OK") << false << 0 << 0 << "";
    QTest::newRow("lower case") << QByteArray("http/1.1 200 OK") << false << 0 << 0 << "";
    QTest::newRow("two-digit code") << QByteArray("HTTP/1.1 20 OK") << false << 0 << 0 << "";
    QTest::newRow("letters in code") << QByteArray("HTTP/1.1 2x0 OK") << false << 0 << 0 << "";
    QTest::newRow("no blank") << QByteArray("HTTP/1.1-200 OK") << false << 0 << 0 << "";
    QTest::newRow("empty") << QByteArray() << false << 0 << 0 << "";
    QTest::newRow("html") << QByteArray("<html><body>") << false << 0 << 0 << "";
    QTest::newRow("nul inside") << QByteArray("HTTP/1.1 2\0000 OK", 15) << false << 0 << 0 << "";
}

void TestResponseHead::statusLines()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, valid);
    const std::optional<THttpStatusLine> status = ParseStatusLine(line);
    QCOMPARE(status.has_value(), valid);
    if (!valid)
        return;
    QTEST(status->minorVersion, "minor");
    QTEST(status->code, "code");
    QTEST(status->text, "text");
}

void TestResponseHead::headerFields_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << QByteArray("Content-Type: image/jpeg") << true << "content-type" << "image/jpeg";
    QTest::newRow("no blank") << QByteArray("Location:/x") << true << "location" << "/x";
    QTest::newRow("many blanks") << QByteArray("Location:    /x ") << true << "location" << "/x ";
    QTest::newRow("only blanks keep one") << QByteArray("X-Empty:   ") << true << "x-empty" << " ";
    QTest::newRow("empty value") << QByteArray("X-Empty:") << true << "x-empty" << "";
    QTest::newRow("colon in value") << QByteArray("Location: http://h:81/") << true << "location" << "http://h:81/";
    QTest::newRow("empty name") << QByteArray(": v") << true << "" << "v";
    QTest::newRow("no colon") << QByteArray("Content-Type image/jpeg") << false << "" << "";
    QTest::newRow("empty line") << QByteArray() << false << "" << "";
    QTest::newRow("high bytes") << QByteArray("X-N\xe4me: \xff") << true << QString::fromLatin1("x-n\xe4me") << QString::fromLatin1("\xff");
}

void TestResponseHead::headerFields()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, valid);
    const std::optional<THeaderField> field = ParseHeaderField(line);
    QCOMPARE(field.has_value(), valid);
    if (!valid)
        return;
    QTEST(field->name, "name");
    QTEST(field->value, "value");
}

void TestResponseHead::contentLengths_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<qint64>("length");
    QTest::newRow("number") << "1234" << qint64(1234);
    QTest::newRow("blanks around") << "  77 " << qint64(77);
    QTest::newRow("zero") << "0" << qint64(0);
    QTest::newRow("huge but fits") << "9223372036854775807" << qint64(9223372036854775807LL);
    QTest::newRow("overflow") << "9223372036854775808" << qint64(-1);
    QTest::newRow("negative") << "-5" << qint64(-1);
    QTest::newRow("letters") << "12abc" << qint64(-1);
    QTest::newRow("list of one length") << "5, 5" << qint64(5);
    QTest::newRow("list of two lengths") << "5, 3" << kConflictingLength;
    QTest::newRow("list with a hole") << "5,,5" << qint64(-1);
    QTest::newRow("sign") << "+5" << qint64(-1);
    QTest::newRow("empty") << "" << qint64(-1);
}

void TestResponseHead::contentLengths()
{
    QFETCH(QString, value);
    QTEST(ParseContentLength(value), "length");
}

void TestResponseHead::fieldValuesByName()
{
    const QStringList lines{"HTTP/1.1 206 Partial Content", "ETagged: no", "etag:  \"v1\"", "ETag: \"v2\"",
                            "Content-Range: bytes 0-9/10"};
    QCOMPARE(HeaderFieldValue(lines, QLatin1StringView("etag")), QString("\"v1\"")); // the first, in any case
    QCOMPARE(HeaderFieldValue(lines, QLatin1StringView("content-range")), QString("bytes 0-9/10"));
    QVERIFY(HeaderFieldValue(lines, QLatin1StringView("last-modified")).isNull());
    QVERIFY(HeaderFieldValue(lines, QLatin1StringView("http/1.1 206 partial content")).isNull()); // no field
}

void TestResponseHead::contentRanges_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("begin");
    QTest::addColumn<QString>("end");
    QTest::addColumn<qint64>("total");
    QTest::newRow("whole") << "bytes 0-99/1000" << "0" << "99" << qint64(1000);
    QTest::newRow("unknown total") << "bytes 100-199/*" << "100" << "199" << qint64(-1);
    QTest::newRow("no slash") << "bytes 5-9" << "5" << "" << qint64(-1);
    QTest::newRow("unsatisfied") << "bytes */1000" << "" << "" << qint64(1000);
    QTest::newRow("short") << "b-1/2" << "" << "1" << qint64(2);
    QTest::newRow("empty") << "" << "" << "" << qint64(-1);
    QTest::newRow("negative total") << "bytes 0-1/-5" << "0" << "1" << qint64(-1);
    QTest::newRow("huge total") << "bytes 0-1/99999999999999999999999" << "0" << "1" << qint64(-1);
}

void TestResponseHead::contentRanges()
{
    QFETCH(QString, value);
    const TContentRange range = ParseContentRange(value);
    QTEST(range.begin, "begin");
    QTEST(range.end, "end");
    QTEST(range.total, "total");
}

QTEST_GUILESS_MAIN(TestResponseHead)
#include "tst_responsehead.moc"
