// The settings object: what it reads, what it writes at the end of a run, and when it does not.
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include "app/Messages.h"
#include "settings/TMainObject.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

// The settings file of the program folder `dir`, written with `bytes`.
QString settingsFile(const QTemporaryDir& dir, const QByteArray& bytes)
{
    const QString path = dir.filePath(QStringLiteral("kelvora.ini"));
    writeBytes(path, bytes);
    return path;
}

// A folder made read-only for the while, as an installed program's folder is for its users
// (root included: the program keeps to a folder's mode).
class ReadOnlyFolder
{
public:
    explicit ReadOnlyFolder(const QString& path) : m_path(path)
    {
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                          QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    }
    ~ReadOnlyFolder()
    {
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    Q_DISABLE_COPY(ReadOnlyFolder)

private:
    QString m_path;
};

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { Messages::setTestMode(true); }
    void defaultsWithoutAFile();
    void readsEveryValue();
    void writesAfterALoginAndKeepsTheRest();
    void forgetsCredentialsWhenNotRemembered();
    void twoCopiesKeepEachOthersChanges();
    void noWriteWithoutALogin();
    void unwritableFileIsReportedOnce();
    void unreadableFileIsNamedAndNeverOverwritten();
    void readOnlyProgramFolderByItsModeAndBelowUsr();
    void readOnlyProgramFolderGivesTheUserACopyOfItsFile();
    void usersFileIsHisOwnAfterTheFirstStart();
    void copyThatFailsIsNamed();

private:
    // The users' configuration folder of the suite, in place of the one of the home folder.
    QTemporaryDir m_config;
    QString userFile() const { return m_config.filePath(QStringLiteral("kelvora/kelvora.ini")); }
};

void TestSettings::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("kelvora"));
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
}

void TestSettings::defaultsWithoutAFile()
{
    QTemporaryDir dir;
    {
        TMainObject s(dir.path());
        QCOMPARE(s.ProgramDir, dir.path() + u'/');
        QCOMPARE(s.IniFileName, dir.path() + QStringLiteral("/kelvora.ini"));
        QVERIFY(!s.UserSettings);
        QVERIFY(s.LastExportDir.isEmpty());
        QVERIFY(!s.Connected);
        QVERIFY(!s.MemoryName);
        QVERIFY(s.DatabasePath.isEmpty());
        QVERIFY(s.User.isEmpty() && s.Pass.isEmpty());
        QCOMPARE(s.N5 + s.N6 + s.N7 + s.N8 + s.N9 + s.N10 + s.N11, 0);
        QCOMPARE(s.vstDeptWth, 160);
        QCOMPARE(s.FieldLine + s.DescLine + s.FieldRing + s.DescRing, 0);
        QVERIFY(!s.WorkArea.isEmpty());
    }
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("kelvora.ini"))));
}

void TestSettings::readsEveryValue()
{
    QTemporaryDir dir;
    const QString content = QStringLiteral(
        "[remotebd]\nname=  server:/data/Звонки.fdb  \n[Main]\nMemoryName=5\nUser=Иванов\n"
        "Pass=\"секрет\"\n[NumberMask]\nN5=300\nN6=$10\nN7=0x3\nN8=abc\nN11=256\n"
        "[Sort]\nFieldLine=3\nDescLine=1\nFieldRing=9\nDescRing=1\n");
    QFile f(dir.filePath(QStringLiteral("kelvora.ini")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QStringEncoder("windows-1251").encode(content));
    f.close();
    TMainObject s(dir.path());
    QCOMPARE(s.DatabasePath, QStringLiteral("server:/data/Звонки.fdb"));
    QVERIFY(s.MemoryName);
    QCOMPARE(s.User, QStringLiteral("Иванов"));
    QCOMPARE(s.Pass, QStringLiteral("секрет"));
    QCOMPARE(int(s.N5), 44); // low 8 bits of 300
    QCOMPARE(int(s.N6), 16);
    QCOMPARE(int(s.N7), 3);
    QCOMPARE(int(s.N8), 0);
    QCOMPARE(int(s.N11), 0);
    QCOMPARE(s.vstDeptWth, 160);
    QCOMPARE(s.FieldLine, 3);
    QCOMPARE(s.DescLine, 1);
    QCOMPARE(s.FieldRing, 0); // out of the table's range
    QCOMPARE(s.DescRing, 1);
}

void TestSettings::writesAfterALoginAndKeepsTheRest()
{
    QTemporaryDir dir;
    const QString path = settingsFile(
        dir, "[RemoteBD]\r\nName=/data/calls.fdb\r\nComment=by hand\r\n[Extra]\r\nA=1\r\n");
    {
        TMainObject s(dir.path());
        s.Connected = true;
        s.MemoryName = true;
        s.User = QStringLiteral("Петров");
        s.Pass = QStringLiteral("пароль");
        s.N7 = 2;
        s.vstDeptWth = 211;
        s.FieldRing = 4;
        s.DescRing = 1;
        // A grid keeps its layout during the run; the file is written once, at the end.
        const QByteArray before = readAll(path);
        s.GridLayouts().writeString(QStringLiteral("GridRings"), QStringLiteral("GridRings.RDate"),
                                    QStringLiteral("0,70,0,1,0,0,0"));
        QCOMPARE(readAll(path), before);
    }
    const QByteArray bytes = readAll(path);
    QVERIFY(
        bytes.startsWith("[RemoteBD]\r\nName=/data/calls.fdb\r\nComment=by hand\r\n"
                         "[Extra]\r\nA=1\r\n[GridRings]\r\nGridRings.RDate=0,70,0,1,0,0,0\r\n"));
    QVERIFY(bytes.contains(
        "[NumberMask]\r\nN5=0\r\nN6=0\r\nN7=2\r\nN8=0\r\nN9=0\r\nN10=0\r\nN11=0\r\n"));
    QVERIFY(bytes.contains("[Main]\r\nMemoryName=1\r\nUser=\xCF\xE5\xF2\xF0\xEE\xE2\r\n"
                           "Pass=\xEF\xE0\xF0\xEE\xEB\xFC\r\n"));
    QVERIFY(bytes.contains("[Save]\r\nvstDeptWth=211\r\n"));
    QVERIFY(bytes.contains("[Sort]\r\nFieldLine=0\r\nDescLine=0\r\nFieldRing=4\r\nDescRing=1\r\n"));
    QVERIFY(!QFileInfo::exists(m_config.filePath(QStringLiteral("kelvora"))));
    TMainObject again(dir.path());
    QCOMPARE(again.User, QStringLiteral("Петров"));
    QCOMPARE(again.Pass, QStringLiteral("пароль"));
    QCOMPARE(again.FieldRing, 4);
    QVERIFY(Messages::shown().isEmpty());
}

void TestSettings::forgetsCredentialsWhenNotRemembered()
{
    QTemporaryDir dir;
    const QString path =
        settingsFile(dir, "[Main]\r\nMemoryName=1\r\nUser=old\r\nPass=oldpass\r\n");
    {
        TMainObject s(dir.path());
        s.Connected = true;
        s.MemoryName = false;
        s.User = QStringLiteral("ivanov");
    }
    QVERIFY(readAll(path).contains("[Main]\r\nMemoryName=0\r\nUser=\r\nPass=\r\n"));
}

// Two copies of the program on one folder: each writes at its end only what it changed, on top
// of the file as the other left it.
void TestSettings::twoCopiesKeepEachOthersChanges()
{
    QTemporaryDir dir;
    settingsFile(dir, "[NumberMask]\r\nN6=1\r\n");
    auto first = std::make_unique<TMainObject>(dir.path());
    auto second = std::make_unique<TMainObject>(dir.path());
    first->Connected = second->Connected = true;
    first->N7 = 3;
    first->GridLayouts().writeString(QStringLiteral("GridLines"), QStringLiteral("A"),
                                     QStringLiteral("1,50"));
    second->N10 = 4;
    first.reset();
    second.reset();
    TMainObject after(dir.path());
    QCOMPARE(QList<int>({after.N6, after.N7, after.N10}), QList<int>({1, 3, 4}));
    QCOMPARE(after.GridLayouts().value(QStringLiteral("GridLines"), QStringLiteral("A")),
             QStringLiteral("1,50"));
}

void TestSettings::noWriteWithoutALogin()
{
    QTemporaryDir dir;
    const QByteArray before = "; mine\r\n[Main]\r\nMemoryName=1\r\nUser=a\r\n[Sort]\r\nFieldRing=2";
    const QString path = settingsFile(dir, before);
    {
        TMainObject s(dir.path());
        s.User = QStringLiteral("changed");
        s.FieldRing = 5;
    }
    QCOMPARE(readAll(path), before);
}

void TestSettings::unwritableFileIsReportedOnce()
{
    QTemporaryDir dir;
    writeBytes(dir.filePath(QStringLiteral("blocker")), "not a folder");
    {
        TMainObject s(dir.filePath(QStringLiteral("blocker")));
        s.Connected = true;
    }
    const QList<Messages::Shown> shown = Messages::shown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, Messages::Kind::Error);
    QVERIFY(shown[0].text.contains(QStringLiteral("kelvora.ini")));
}

void TestSettings::unreadableFileIsNamedAndNeverOverwritten()
{
    QTemporaryDir dir;
    // A folder where the file should be: it cannot be read, and nothing may replace it.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("kelvora.ini")));
    {
        TMainObject s(dir.path());
        QVERIFY(s.LoadError.contains(QStringLiteral("kelvora.ini")));
        QVERIFY(s.LoadError.count(u'\n') == 1); // the reason on its own line
        s.Connected = true;
        s.User = QStringLiteral("changed");
        s.GridLayouts().writeString(QStringLiteral("GridRings"), QStringLiteral("A"),
                                    QStringLiteral("1"));
    }
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("kelvora.ini"))).isDir());
    QVERIFY(Messages::shown().isEmpty()); // said once, before the login, by the start-up

    // A file without read permission is kept as it is too (not for root, who reads anything).
    QTemporaryDir other;
    const QString path = settingsFile(other, "[RemoteBD]\r\nName=/data/calls.fdb\r\n");
    QFile::setPermissions(path, QFileDevice::WriteOwner);
    QFile probe(path);
    if (probe.open(QIODevice::ReadOnly))
        return;
    {
        TMainObject s(other.path());
        QVERIFY(!s.LoadError.isEmpty());
        s.Connected = true;
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QCOMPARE(readAll(path), QByteArray("[RemoteBD]\r\nName=/data/calls.fdb\r\n"));
}

void TestSettings::readOnlyProgramFolderByItsModeAndBelowUsr()
{
    QTemporaryDir dir;
    QVERIFY(!TMainObject::ProgramDirReadOnly(dir.path()));
    {
        ReadOnlyFolder readOnly(dir.path());
        QVERIFY(TMainObject::ProgramDirReadOnly(dir.path()));
    }
    // What the system's packages installed, which not even root changes at run time.
    QVERIFY(TMainObject::ProgramDirReadOnly(QStringLiteral("/usr/bin")));
    // A folder that is not there keeps its file there: a write fails and is told.
    QVERIFY(!TMainObject::ProgramDirReadOnly(dir.filePath(QStringLiteral("missing"))));
}

// An installed program: the administrator named the database in the program folder's file.
void TestSettings::readOnlyProgramFolderGivesTheUserACopyOfItsFile()
{
    QTemporaryDir program;
    const QByteArray admin = "; the office's database\r\n[RemoteBD]\r\nName=pbx:/calls.fdb\r\n";
    const QString shared = settingsFile(program, admin);
    ReadOnlyFolder readOnly(program.path());
    {
        TMainObject s(program.path());
        QVERIFY(s.UserSettings);
        QCOMPARE(s.ProgramDir, program.path() + u'/'); // the templates stay there
        QCOMPARE(s.IniFileName, userFile());
        QCOMPARE(s.DatabasePath, QStringLiteral("pbx:/calls.fdb"));
        QVERIFY(s.LoadError.isEmpty());
        // Made at the start, before any login, and readable by its owner only.
        QCOMPARE(readAll(userFile()), admin);
        QCOMPARE(QFileInfo(userFile()).permissions() &
                     (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
                 QFileDevice::Permissions());
        QCOMPARE(s.LastExportDir, QDir::homePath());
        s.Connected = true;
        s.N7 = 2;
        s.GridLayouts().writeString(QStringLiteral("GridRings"), QStringLiteral("A"),
                                    QStringLiteral("1"));
    }
    QCOMPARE(readAll(shared), admin);
    QCOMPARE(QDir(program.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("kelvora.ini")});
    const QByteArray own = readAll(userFile());
    QVERIFY(own.startsWith(admin + "[GridRings]\r\nA=1\r\n"));
    QVERIFY(own.contains("N7=2\r\n"));
    QVERIFY(QFile::remove(userFile()));
}

// Once made, the user's file is not made again; a database the administrator named after it was
// made is still found in the program folder's file.
void TestSettings::usersFileIsHisOwnAfterTheFirstStart()
{
    QTemporaryDir program;
    writeBytes(program.filePath(QStringLiteral("kelvora.ini")),
               "[RemoteBD]\r\nName=/srv/calls.fdb\r\n[NumberMask]\r\nN7=1\r\n");
    ReadOnlyFolder readOnly(program.path());
    QVERIFY(QDir().mkpath(m_config.filePath(QStringLiteral("kelvora"))));
    const QByteArray mine = "[NumberMask]\r\nN7=3\r\n";
    writeBytes(userFile(), mine);
    {
        TMainObject s(program.path());
        QCOMPARE(s.DatabasePath, QStringLiteral("/srv/calls.fdb"));
        QCOMPARE(int(s.N7), 3);
    }
    QCOMPARE(readAll(userFile()), mine);

    writeBytes(userFile(), "[RemoteBD]\r\nName=/home/calls.fdb\r\n");
    TMainObject s(program.path());
    QCOMPARE(s.DatabasePath, QStringLiteral("/home/calls.fdb"));
    QVERIFY(QFile::remove(userFile()));
}

void TestSettings::copyThatFailsIsNamed()
{
    QTemporaryDir program;
    // A folder where the program folder's file should be: it cannot be copied.
    QVERIFY(QDir(program.path()).mkdir(QStringLiteral("kelvora.ini")));
    ReadOnlyFolder readOnly(program.path());
    TMainObject s(program.path());
    QVERIFY(s.LoadError.startsWith(QStringLiteral("Не удалось скопировать файл настроек ") +
                                   program.filePath(QStringLiteral("kelvora.ini")) +
                                   QStringLiteral(" в ") + userFile() + u'\n'));
    QVERIFY(!QFileInfo::exists(userFile()));
}

KELVORA_TEST_MAIN(TestSettings)
#include "test_settings.moc"
