#include "Counters.h"
#include "SettingsFile.h"
#include "SettingsKey.h"
#include "SettingsList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void everyValueSurvivesTheFile_data();
    void everyValueSurvivesTheFile();
    void malformedFilesAreRejected_data();
    void malformedFilesAreRejected();
    void randomBytesNeverCrashTheReader();
    void listsSplitAtEveryLineBreak_data();
    void listsSplitAtEveryLineBreak();
    void listsRoundTrip();
    void readRulesFollowTheKinds();
    void textsEndAtTheirFirstNul();
    void savingKeepsValuesItDoesNotKnow();
    void corruptFileIsKeptAsideBeforeItIsReplaced();
    void saveIsAtomicAndLeavesNoTemporaryFiles();
    void unwritableLocationIsReported();
    void fileThatCannotBeReadIsNeverReplaced();
    void countersAndLoginSurviveTheFile();
    void countersAndLoginFollowTheGroupRule();
    void countersSaturate();
    void fileIsForItsOwnerAlone();
};

void TestSettingsStore::countersAndLoginFollowTheGroupRule()
{
    // A counter that fails sends it and the ones after it to 0; a user name
    // of the wrong kind leaves the password unread.
    QTemporaryDir dir;
    TSettingsKey key(dir.filePath("k.reg"));
    key.open();
    key.writeInteger("DocParsed", 7);
    key.writeString("LinksParsed", "eight");
    key.writeInteger("FilesDl", 9);
    key.writeInteger("BytesDl", 10);
    key.writeInteger("Username", 5);
    key.writeString("Password", "secret");
    TStatistics counters;
    counters.load(key);
    QCOMPARE(counters.DocParsed, 7);
    QCOMPARE(counters.LinksParsed, 0);
    QCOMPARE(counters.FilesDl, 0);
    QCOMPARE(counters.BytesDl, 0);
    TLogin login;
    login.load(key);
    QVERIFY(login.Username.isEmpty());
    QVERIFY(login.Password.isEmpty());
}

void TestSettingsStore::countersSaturate()
{
    qint32 counter = std::numeric_limits<qint32>::max() - 1;
    TStatistics::add(counter, 1);
    QCOMPARE(counter, std::numeric_limits<qint32>::max());
    TStatistics::add(counter, 1);
    TStatistics::add(counter, qint64(1) << 40);
    QCOMPARE(counter, std::numeric_limits<qint32>::max());
}

void TestSettingsStore::fileIsForItsOwnerAlone()
{
    // It holds the passwords.
    QTemporaryDir dir;
    const QString path = dir.filePath("k.reg");
    for (int round = 0; round < 2; ++round) {
        TSettingsKey key(path);
        key.open();
        key.writeString("Password", "secret");
        QVERIFY(key.close());
        const QFile::Permissions group = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup;
        const QFile::Permissions other = QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        QVERIFY(QFile::permissions(path) & QFile::ReadUser);
        QCOMPARE(QFile::permissions(path) & (group | other), QFile::Permissions());
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ReadOther | QFile::ReadGroup);
    }
}

void TestSettingsStore::everyValueSurvivesTheFile_data()
{
    QTest::addColumn<TSettingsValue>("value");
    QTest::newRow("plain text") << TSettingsValue::fromText("/home/me/Downloads");
    QTest::newRow("empty text") << TSettingsValue::fromText("");
    QTest::newRow("quotes and backslashes") << TSettingsValue::fromText("C:\\x \"y\" \\\\");
    QTest::newRow("line breaks") << TSettingsValue::fromText("a\r\n\r\nb\r\n");
    QTest::newRow("control characters") << TSettingsValue::fromText(QString("\x01\t\x1f\x7f") + QChar(0) + "z");
    QTest::newRow("non-ASCII") << TSettingsValue::fromText(QString::fromUtf8("bl\xc3\xa5" "b\xc3\xa6r \xe2\x82\xac"));
    QTest::newRow("looks like a number") << TSettingsValue::fromText("dword:00000001");
    QTest::newRow("zero") << TSettingsValue::fromNumber(0);
    QTest::newRow("negative") << TSettingsValue::fromNumber(-16777211);
    QTest::newRow("largest") << TSettingsValue::fromNumber(2147483647);
    QTest::newRow("smallest") << TSettingsValue::fromNumber(-2147483647 - 1);
}

void TestSettingsStore::everyValueSurvivesTheFile()
{
    QFETCH(TSettingsValue, value);
    TSettingsValues values;
    values.insert("Value", value);
    values.insert("Other", TSettingsValue::fromNumber(7));
    const QByteArray file = SettingsFile::encode(TSettingsKey::kKeyPath, values);
    // One value a line, whatever the text holds.
    QCOMPARE(file.count('\n'), 5);
    const auto decoded = SettingsFile::decode(file, TSettingsKey::kKeyPath);
    QVERIFY(decoded);
    QCOMPARE(decoded->value("Value"), value);
    QCOMPARE(decoded->size(), 2);
}

void TestSettingsStore::malformedFilesAreRejected_data()
{
    QTest::addColumn<QByteArray>("text");
    const QByteArray head = "Trawlix Settings Version 1\n[\\SoftWare\\Trawlix]\n";
    QTest::newRow("no header") << QByteArray("[\\SoftWare\\Trawlix]\n\"A\"=dword:00000001\n");
    QTest::newRow("other key") << QByteArray("Trawlix Settings Version 1\n[\\SoftWare\\Other]\n");
    QTest::newRow("two keys") << head + "[\\SoftWare\\Trawlix]\n";
    QTest::newRow("value before key") << QByteArray("Trawlix Settings Version 1\n\"A\"=\"x\"\n");
    QTest::newRow("unterminated text") << head + "\"A\"=\"abc\n";
    QTest::newRow("text with trailing junk") << head + "\"A\"=\"abc\"x\n";
    QTest::newRow("short dword") << head + "\"A\"=dword:123\n";
    QTest::newRow("long dword") << head + "\"A\"=dword:123456789\n";
    QTest::newRow("bad hex") << head + "\"A\"=dword:1234567g\n";
    QTest::newRow("unknown kind") << head + "\"A\"=hex:01,02\n";
    QTest::newRow("bad escape") << head + "\"A\"=\"a\\qb\"\n";
    QTest::newRow("cut escape") << head + "\"A\"=\"a\\x4\"\n";
    QTest::newRow("empty name") << head + "\"\"=\"a\"\n";
    QTest::newRow("no equals") << head + "\"A\" \"a\"\n";
    QTest::newRow("overlong text") << head + "\"A\"=\"" + QByteArray(SettingsFile::kMaxTextLength + 1, 'a') + "\"\n";
}

void TestSettingsStore::malformedFilesAreRejected()
{
    QFETCH(QByteArray, text);
    QVERIFY(!SettingsFile::decode(text, TSettingsKey::kKeyPath));
}

void TestSettingsStore::randomBytesNeverCrashTheReader()
{
    QRandomGenerator rng(99);
    const QByteArray valid = SettingsFile::encode(TSettingsKey::kKeyPath,
                                                  {{"A", TSettingsValue::fromText("x\r\ny")},
                                                   {"B", TSettingsValue::fromNumber(5)}});
    for (int round = 0; round < 2000; ++round) {
        QByteArray text = valid;
        const int changes = 1 + rng.bounded(4);
        for (int c = 0; c < changes; ++c)
            text[rng.bounded(text.size())] = char(rng.bounded(256));
        const auto values = SettingsFile::decode(text, TSettingsKey::kKeyPath);
        if (values)
            QVERIFY(values->size() <= 2);
    }
}

void TestSettingsStore::listsSplitAtEveryLineBreak_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("empty line inside") << "a\r\n\r\nb\r\n" << QStringList{"a", "", "b"};
    QTest::newRow("LF only") << "a\nb\n" << QStringList{"a", "b"};
    QTest::newRow("CR only") << "a\rb" << QStringList{"a", "b"};
    QTest::newRow("no final break") << "a\r\nb" << QStringList{"a", "b"};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("one break") << "\r\n" << QStringList{""};
}

void TestSettingsStore::listsSplitAtEveryLineBreak()
{
    QFETCH(QString, text);
    QFETCH(QStringList, entries);
    QCOMPARE(SettingsList::split(text), entries);
}

void TestSettingsStore::listsRoundTrip()
{
    const QStringList entries{"http://a/", "", "http://b/x y"};
    QCOMPARE(SettingsList::join(entries), QString("http://a/\r\n\r\nhttp://b/x y\r\n"));
    QCOMPARE(SettingsList::split(SettingsList::join(entries)), entries);
    QCOMPARE(SettingsList::join({}), QString());
}

void TestSettingsStore::readRulesFollowTheKinds()
{
    QTemporaryDir dir;
    TSettingsKey key(dir.filePath("cfg/Trawlix.reg"));
    key.open();
    key.writeString("Text", "t");
    key.writeInteger("Number", 12);
    key.writeBool("Flag", true);
    QVERIFY(key.close());

    TSettingsKey again(dir.filePath("cfg/Trawlix.reg"));
    again.open();
    QCOMPARE(again.readString("Text"), std::optional<QString>("t"));
    QCOMPARE(again.readString("Absent"), std::optional<QString>(QString()));
    QVERIFY(!again.readString("Number"));
    QCOMPARE(again.readInteger("Number"), std::optional<qint32>(12));
    QVERIFY(!again.readInteger("Absent"));
    QVERIFY(!again.readInteger("Text"));
    QCOMPARE(again.readBool("Flag"), std::optional<bool>(true));
    QCOMPARE(again.readBool("Number"), std::optional<bool>(true));
    QVERIFY(!again.readBool("Text"));
}

void TestSettingsStore::textsEndAtTheirFirstNul()
{
    QTemporaryDir dir;
    TSettingsKey key(dir.filePath("k.reg"));
    key.open();
    key.writeString("T", QString("abc") + QChar(0) + "def");
    QCOMPARE(key.readString("T"), std::optional<QString>("abc"));
}

void TestSettingsStore::savingKeepsValuesItDoesNotKnow()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("k.reg");
    {
        TSettingsKey key(path);
        key.open();
        key.writeString("Username", "me");
        key.writeInteger("DocParsed", 42);
        QVERIFY(key.close());
    }
    {
        TSettingsKey key(path);
        key.open();
        key.writeInteger("MaxTreads", 3);
        QVERIFY(key.close());
    }
    TSettingsKey key(path);
    key.open();
    QCOMPARE(key.readString("Username"), std::optional<QString>("me"));
    QCOMPARE(key.readInteger("DocParsed"), std::optional<qint32>(42));
    QCOMPARE(key.readInteger("MaxTreads"), std::optional<qint32>(3));
}

void TestSettingsStore::corruptFileIsKeptAsideBeforeItIsReplaced()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("k.reg");
    const QByteArray garbage = "not a settings file\n\"MaxTreads\"=dword:zz\n";
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(garbage);
    }
    TSettingsKey key(path);
    key.open();
    QVERIFY(key.wasCorrupt());
    QVERIFY(key.values().isEmpty());
    QVERIFY(!key.readInteger("MaxTreads"));
    // Reading alone changes nothing on disk.
    QVERIFY(key.close());
    QVERIFY(!QFile::exists(path + ".corrupt"));

    key.open();
    key.writeInteger("MaxTreads", 2);
    QVERIFY(key.close());
    QFile aside(path + ".corrupt");
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), garbage);
    TSettingsKey fresh(path);
    fresh.open();
    QVERIFY(!fresh.wasCorrupt());
    QCOMPARE(fresh.readInteger("MaxTreads"), std::optional<qint32>(2));
}

void TestSettingsStore::saveIsAtomicAndLeavesNoTemporaryFiles()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("k.reg");
    for (int i = 0; i < 3; ++i) {
        TSettingsKey key(path);
        key.open();
        key.writeInteger("N", i);
        QVERIFY(key.close());
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"k.reg"});
}

void TestSettingsStore::unwritableLocationIsReported()
{
    QTemporaryDir dir;
    // The key's folder is taken by a plain file, so nothing can be written there.
    QFile blocker(dir.filePath("cfg"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TSettingsKey key(dir.filePath("cfg/k.reg"));
    key.open();
    QVERIFY(key.values().isEmpty());
    key.writeInteger("N", 1);
    QString error;
    QVERIFY(!key.close(&error));
    QVERIFY(!error.isEmpty());
}

void TestSettingsStore::fileThatCannotBeReadIsNeverReplaced()
{
    QTemporaryDir dir;
    // A directory where the file should be.
    const QString taken = dir.filePath("dir.reg");
    QVERIFY(QDir().mkpath(taken + "/inside"));
    TSettingsKey key(taken);
    key.open();
    QVERIFY(!key.unreadableReason().isEmpty());
    key.writeInteger("MaxTreads", 2);
    QString error;
    QVERIFY(!key.close(&error));
    QVERIFY2(error.contains(taken), qPrintable(error));
    QVERIFY(QFileInfo(taken + "/inside").isDir());

    // A file without read permission (root reads it anyway).
    const QString locked = dir.filePath("locked.reg");
    const QByteArray mine = "Trawlix Settings Version 1\n\n[\\SoftWare\\Trawlix]\n\"MaxTreads\"=dword:00000007\n";
    {
        QFile f(locked);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(mine);
    }
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    TSettingsKey lockedKey(locked);
    lockedKey.open();
    lockedKey.writeInteger("MaxTreads", 2);
    const bool readable = lockedKey.unreadableReason().isEmpty();
    QCOMPARE(lockedKey.close(), readable);
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!readable) {
        QFile f(locked);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), mine);
    }

    // A damaged file that cannot be put aside stays where it is.
    const QString damaged = dir.filePath("damaged.reg");
    {
        QFile f(damaged);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("garbage");
    }
    QVERIFY(QDir().mkpath(damaged + ".corrupt/blocker"));
    TSettingsKey damagedKey(damaged);
    damagedKey.open();
    QVERIFY(damagedKey.wasCorrupt());
    damagedKey.writeInteger("MaxTreads", 2);
    QVERIFY(!damagedKey.close(&error));
    QVERIFY2(error.contains(".corrupt"), qPrintable(error));
    QFile f(damaged);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("garbage"));
}

void TestSettingsStore::countersAndLoginSurviveTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("k.reg");
    {
        TSettingsKey key(path);
        key.open();
        key.writeString("DocParsed", "not a number"); // mistyped: reads as 0
        QVERIFY(key.close());
    }
    TSettingsKey key(path);
    key.open();
    TStatistics counters;
    counters.LinksParsed = 99;
    counters.load(key);
    QCOMPARE(counters.DocParsed, 0);
    QCOMPARE(counters.LinksParsed, 0);
    TLogin login;
    login.load(key);
    QVERIFY(login.Username.isEmpty());

    counters = {3, 4, 5, 6};
    login.Username = "me";
    login.Password = "p\"w";
    counters.save(key);
    login.save(key);
    QVERIFY(key.close());
    key.open();
    TStatistics back;
    back.load(key);
    TLogin backLogin;
    backLogin.load(key);
    QCOMPARE((QList<qint32>{back.DocParsed, back.LinksParsed, back.FilesDl, back.BytesDl}), (QList<qint32>{3, 4, 5, 6}));
    QCOMPARE(backLogin.Username, QString("me"));
    QCOMPARE(backLogin.Password, QString("p\"w"));
}

QTEST_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
