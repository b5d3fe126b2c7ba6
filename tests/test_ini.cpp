// The initialization-file format: reading rules, writes in place, code page 1251 on disk.
#include "ini/IniFile.h"
#include "support/TestMain.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using ini::IniFile;

class TestIni : public QObject
{
    Q_OBJECT
private slots:
    void readsWithDefaultsAndWithoutCase();
    void integersInEveryForm_data();
    void integersInEveryForm();
    void textValues();
    void writesInPlaceAndKeepsUnknownLines();
    void eraseSection();
    void cyrillicOnDiskIn1251();
    void missingFileAndUnwritablePlace();
    void lineEndsAndRunsOfEmptyLines();
};

void TestIni::readsWithDefaultsAndWithoutCase()
{
    IniFile f;
    f.parse(QStringLiteral("[Main]\nMemoryName=1\nUser=ivanov\n[sort]\nFieldRing=3\n"));
    QCOMPARE(f.readBool(QStringLiteral("MAIN"), QStringLiteral("memoryname"), false), true);
    QCOMPARE(f.readString(QStringLiteral("main"), QStringLiteral("USER"), QStringLiteral("x")),
             QStringLiteral("ivanov"));
    QCOMPARE(f.readInteger(QStringLiteral("Sort"), QStringLiteral("FieldRing"), 0), 3);
    QCOMPARE(f.readInteger(QStringLiteral("Sort"), QStringLiteral("DescRing"), 7), 7);
    QCOMPARE(f.readString(QStringLiteral("Nowhere"), QStringLiteral("Name"), QStringLiteral("d")),
             QStringLiteral("d"));
    // Booleans are integers: any non-zero value is true, text reads as the default.
    f.parse(QStringLiteral("[M]\na=2\nb=0\nc=yes\n"));
    QVERIFY(f.readBool(QStringLiteral("M"), QStringLiteral("a"), false));
    QVERIFY(!f.readBool(QStringLiteral("M"), QStringLiteral("b"), true));
    QVERIFY(f.readBool(QStringLiteral("M"), QStringLiteral("c"), true));
    QVERIFY(!f.readBool(QStringLiteral("M"), QStringLiteral("c"), false));
}

void TestIni::integersInEveryForm_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("decimal") << "300" << 300;
    QTest::newRow("negative") << "-12" << -12;
    QTest::newRow("dollar hex") << "$1F" << 31;
    QTest::newRow("0x hex") << "0x10" << 16;
    QTest::newRow("blanks") << "  42  " << 42;
    QTest::newRow("not a number") << "12abc" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("too large") << "99999999999" << -1;
    QTest::newRow("double sign") << "--3" << -1;
}

void TestIni::integersInEveryForm()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    IniFile f;
    f.parse(QStringLiteral("[S]\nK=") + text + u'\n');
    QCOMPARE(f.readInteger(QStringLiteral("S"), QStringLiteral("K"), -1), expected);
}

void TestIni::textValues()
{
    IniFile f;
    const QString longText(3000, u'x');
    f.parse(QStringLiteral("[RemoteBD]\nName = \"server:/data/calls.fdb\" \nQ='a=b'\nLong=") +
            longText + QStringLiteral("\nEmpty=\n"));
    QCOMPARE(f.readString(QStringLiteral("RemoteBD"), QStringLiteral("Name"), {}),
             QStringLiteral("server:/data/calls.fdb"));
    QCOMPARE(f.readString(QStringLiteral("RemoteBD"), QStringLiteral("Q"), {}),
             QStringLiteral("a=b"));
    QCOMPARE(f.readString(QStringLiteral("RemoteBD"), QStringLiteral("Long"), {}).size(), 2047);
    // An empty value is a value, not a missing key.
    QCOMPARE(f.readString(QStringLiteral("RemoteBD"), QStringLiteral("Empty"), QStringLiteral("d")),
             QString());
}

void TestIni::writesInPlaceAndKeepsUnknownLines()
{
    IniFile f;
    f.parse(QStringLiteral("; settings\n[Main]\nUser=a\nColour=blue\n\n[Other]\nX=1\n"));
    f.writeString(QStringLiteral("MAIN"), QStringLiteral("user"), QStringLiteral("b"));
    f.writeInteger(QStringLiteral("Main"), QStringLiteral("MemoryName"), 1);
    f.writeBool(QStringLiteral("Sort"), QStringLiteral("DescRing"), true);
    QCOMPARE(f.text(), QStringLiteral("; settings\r\n[Main]\r\nuser=b\r\nColour=blue\r\n"
                                      "MemoryName=1\r\n\r\n[Other]\r\nX=1\r\n[Sort]\r\n"
                                      "DescRing=1\r\n"));
    QCOMPARE(f.keys(QStringLiteral("main")),
             (QStringList{QStringLiteral("user"), QStringLiteral("Colour"),
                          QStringLiteral("MemoryName")}));
}

void TestIni::eraseSection()
{
    IniFile f;
    f.parse(QStringLiteral("[GridRings]\nGridRings.RDate=0,64,0,1,0,0,0\n[Main]\nUser=x\n"));
    f.eraseSection(QStringLiteral("gridrings"));
    QVERIFY(!f.sectionExists(QStringLiteral("GridRings")));
    QCOMPARE(f.readString(QStringLiteral("Main"), QStringLiteral("User"), {}), QStringLiteral("x"));
    f.writeInteger(QStringLiteral("GridRings"), QStringLiteral("GridRings.RDate"), 5);
    QCOMPARE(f.keys(QStringLiteral("GridRings")), QStringList{QStringLiteral("GridRings.RDate")});
}

void TestIni::cyrillicOnDiskIn1251()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("k.ini"));
    IniFile f(path);
    f.writeString(QStringLiteral("Main"), QStringLiteral("User"), QStringLiteral("Иванов"));
    QVERIFY2(f.save(), qPrintable(f.errorString()));
    QFile raw(path);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    const QByteArray bytes = raw.readAll();
    // "Иванов" in code page 1251.
    QVERIFY(bytes.contains(QByteArray("User=\xC8\xE2\xE0\xED\xEE\xE2\r\n")));
    IniFile back(path);
    QVERIFY(back.load());
    QCOMPARE(back.readString(QStringLiteral("Main"), QStringLiteral("User"), {}),
             QStringLiteral("Иванов"));
#ifdef Q_OS_UNIX
    QCOMPARE(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
             QFileDevice::Permissions());
#endif
}

void TestIni::missingFileAndUnwritablePlace()
{
    IniFile missing(QStringLiteral("/nonexistent/dir/k.ini"));
    QVERIFY(!missing.load());
    QCOMPARE(missing.readInteger(QStringLiteral("Save"), QStringLiteral("vstDeptWth"), 160), 160);
    missing.writeString(QStringLiteral("Main"), QStringLiteral("User"), QStringLiteral("x"));
    QVERIFY(!missing.save());
    QVERIFY(!missing.errorString().isEmpty());

    // A file in the way of the folder: no user, root included, can write there.
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    IniFile f(dir.filePath(QStringLiteral("blocker/k.ini")));
    f.writeString(QStringLiteral("Main"), QStringLiteral("User"), QStringLiteral("x"));
    QVERIFY(!f.save());
    QVERIFY(!f.errorString().isEmpty());
}

void TestIni::lineEndsAndRunsOfEmptyLines()
{
    ini::IniFile f;
    // CR LF, LF and a lone CR all end a line; runs of empty lines come back as they were.
    f.parse(QStringLiteral("[A]\r\nx=1\n\n\n\r  \r\n\r\n[B]\ry=2"));
    QCOMPARE(f.text(), QStringLiteral("[A]\r\nx=1\r\n\r\n\r\n\r\n  \r\n\r\n[B]\r\ny=2\r\n"));
    // A new key goes after the section's last line that is not blank, before the blanks.
    f.writeInteger(QStringLiteral("A"), QStringLiteral("z"), 3);
    QCOMPARE(f.text(), QStringLiteral("[A]\r\nx=1\r\nz=3\r\n\r\n\r\n\r\n  \r\n\r\n[B]\r\ny=2\r\n"));
    QCOMPARE(f.readInteger(QStringLiteral("B"), QStringLiteral("y"), 0), 2);

    // A file of a million empty lines reads and writes back whole.
    QString many = QStringLiteral("[S]\r\n");
    many += QString(QStringLiteral("\r\n")).repeated(1000000);
    many += QStringLiteral("k=v\r\n");
    f.parse(many);
    QCOMPARE(f.readString(QStringLiteral("S"), QStringLiteral("k"), {}), QStringLiteral("v"));
    QCOMPARE(f.text(), many);
}

KELVORA_TEST_GUILESS_MAIN(TestIni)
#include "test_ini.moc"
