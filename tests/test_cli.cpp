// The command line: the program itself run as a second process, with no display, against a
// fresh database and the mailing suite's mail server (smtp-server.py); its files read back
// with pdftotext, Python's spreadsheet and mail readers. The period words on a frozen clock.
#include "support/CallData.h"
#include "support/Login.h"
#include "support/ReportPages.h"
#include "support/TariffData.h"
#include "support/TestMain.h"

#include "data/PeriodWords.h"
#include "db/EmbeddedEngine.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

namespace {

int serverPort()
{
    QFile f(qEnvironmentVariable("KELVORA_TEST_SMTP") + QStringLiteral("/port"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toInt() : 0;
}

QString freshDomain()
{
    static int n = 0;
    return QStringLiteral("cli%1-%2.test").arg(QCoreApplication::applicationPid()).arg(++n);
}

// The words of a command line written with blanks between, %1, %2... standing for `files`.
QStringList words(const char* line, const QStringList& files = {})
{
    QStringList w = QString::fromUtf8(line).split(u' ', Qt::SkipEmptyParts);
    for (QString& word : w)
        if (word.startsWith(u'%'))
            word = files.at(word.mid(1).toInt() - 1);
    return w;
}

struct Outcome
{
    int status = -1;
    QString out;
    QString err;
};

// Every file below a folder with its size and time, to see that nothing was made or changed.
QStringList filesOf(const QString& dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo f(it.next());
        files << f.filePath() + u' ' + QString::number(f.size()) + u' ' +
                     QString::number(f.lastModified().toMSecsSinceEpoch());
    }
    files.sort();
    return files;
}

// The rows of an XLSX file's first sheet, read by openpyxl, as lists of texts.
QJsonArray xlsxRows(const QString& file)
{
    return QJsonDocument::fromJson(
               test::output(
                   QStringLiteral(KELVORA_PYTHON),
                   {QStringLiteral("-c"),
                    QStringLiteral("import json, sys, openpyxl\n"
                                   "ws = openpyxl.load_workbook(sys.argv[1]).worksheets[0]\n"
                                   "print(json.dumps([[('' if c is None else str(c)) for c in r] "
                                   "for r in ws.iter_rows(values_only=True)]))"),
                    file})
                   .toUtf8())
        .array();
}

// The program copied into a folder of its own with its templates and a settings file: it
// reads them beside its executable.
class Program
{
public:
    bool make()
    {
        m_exe = m_dir.path() + QStringLiteral("/kelvora");
        if (!QFile::copy(QStringLiteral(KELVORA_EXE), m_exe))
            return false;
        for (const char* name : {"report1.frf", "report2.frf", "report3.frf", "report4.frf"})
            if (!QFile::copy(QStringLiteral(KELVORA_SOURCE_DIR "/templates/") + QLatin1String(name),
                             m_dir.path() + u'/' + QLatin1String(name)))
                return false;
        return true;
    }
    QString dir() const { return m_dir.path(); }
    QString ini() const { return m_dir.path() + QStringLiteral("/kelvora.ini"); }
    /// The settings file: the database, the remembered login and `more` sections.
    void settings(const QString& database, const QString& more = {}) const
    {
        test::writeFile(ini(),
                        QStringLiteral("[RemoteBD]\nName=%1\n[Main]\nMemoryName=1\nUser=SYSDBA\n"
                                       "Pass=masterkey\n%2")
                            .arg(database, more)
                            .toLocal8Bit());
    }
    /// [Mail] of the fixture's server, or of `port`.
    static QString mailSection(int port = serverPort())
    {
        return QStringLiteral("[Mail]\nServer=127.0.0.1\nPort=%1\nFrom=pbx@kelvora.test\n")
            .arg(port);
    }
    /// Runs the program with no display: neither DISPLAY nor QT_QPA_PLATFORM is set.
    Outcome run(const QStringList& args, const QStringList& env = {}) const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const QString& line : db::EmbeddedEngine::environment())
            e.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            e.remove(QLatin1String(name));
        for (const QString& line : env)
            e.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
        QProcess p;
        p.setProcessEnvironment(e);
        p.start(m_exe, args);
        Outcome o;
        if (!p.waitForFinished(180000) || p.exitStatus() != QProcess::NormalExit)
            return o;
        o.status = p.exitCode();
        o.out = QString::fromUtf8(p.readAllStandardOutput());
        o.err = QString::fromUtf8(p.readAllStandardError());
        return o;
    }

private:
    QTemporaryDir m_dir;
    QString m_exe;
};

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (serverPort() == 0)
            QFAIL("the mail server of the fixture did not start (smtp-server.sh)");
        QVERIFY(m_program.make());
    }
    void init()
    {
        m_t = std::make_unique<test::TestDatabase>();
        TEST_CREATE_DATABASE(*m_t);
        test::fillSmallCallLog(*m_t);
        m_t->database().close();
        m_program.settings(m_t->path(), Program::mailSection());
        m_out.reset(new QTemporaryDir);
    }

    void periodWords();
    void helpAndBadArguments();
    void exportWithTheCallListFilters();
    void reportsAsPdf();
    void loginFromTheEnvironmentOrAFile();
    void mailing();
    void mailServerDownOrNoSettings();

private:
    QString out(const QString& name) const { return m_out->path() + u'/' + name; }
    // Statements run on the test's database, closed again for the program.
    void change(const QStringList& statements)
    {
        m_t->database().open();
        m_t->exec(statements);
        m_t->database().close();
    }
    // The messages the server took for a domain, parsed by Python's mail package.
    QJsonArray received(const QString& domain) const
    {
        return QJsonDocument::fromJson(
                   test::output(QStringLiteral(KELVORA_PYTHON),
                                {QStringLiteral(KELVORA_SOURCE_DIR "/tests/support/read-mail.py"),
                                 qEnvironmentVariable("KELVORA_TEST_SMTP") +
                                     QStringLiteral("/mail/") + domain,
                                 m_out->path()})
                       .toUtf8())
            .array();
    }

    Program m_program;
    std::unique_ptr<test::TestDatabase> m_t;
    std::unique_ptr<QTemporaryDir> m_out;
};

void TestCli::periodWords()
{
    using stmt::ParsePeriod;
    const auto is = [](const char* word, QDate today, QDate first, QDate last) {
        const std::optional<stmt::Period> p = ParsePeriod(QLatin1String(word), today);
        return p && p->first == first && p->last == last;
    };
    // The first of a month that opens a quarter, in a leap year: a Monday.
    const QDate april1(2024, 4, 1);
    QVERIFY(is("today", april1, april1, april1));
    QVERIFY(is("yesterday", april1, QDate(2024, 3, 31), QDate(2024, 3, 31)));
    QVERIFY(is("this-week", april1, april1, QDate(2024, 4, 7)));
    QVERIFY(is("last-week", april1, QDate(2024, 3, 25), QDate(2024, 3, 31)));
    QVERIFY(is("this-month", april1, april1, QDate(2024, 4, 30)));
    QVERIFY(is("last-month", april1, QDate(2024, 3, 1), QDate(2024, 3, 31)));
    QVERIFY(is("this-quarter", april1, april1, QDate(2024, 6, 30)));
    QVERIFY(is("last-quarter", april1, QDate(2024, 1, 1), QDate(2024, 3, 31)));
    QVERIFY(is("this-year", april1, QDate(2024, 1, 1), QDate(2024, 12, 31)));
    QVERIFY(is("last-year", april1, QDate(2023, 1, 1), QDate(2023, 12, 31)));
    // The last day of a quarter, and of February in a leap year.
    QVERIFY(is("this-quarter", QDate(2024, 3, 31), QDate(2024, 1, 1), QDate(2024, 3, 31)));
    QVERIFY(is("last-month", QDate(2024, 3, 31), QDate(2024, 2, 1), QDate(2024, 2, 29)));
    QVERIFY(is("this-quarter", QDate(2024, 11, 15), QDate(2024, 10, 1), QDate(2024, 12, 31)));
    // New Year's day: the month, the quarter and the year before are last year's.
    const QDate jan1(2025, 1, 1);
    QVERIFY(is("last-month", jan1, QDate(2024, 12, 1), QDate(2024, 12, 31)));
    QVERIFY(is("last-quarter", jan1, QDate(2024, 10, 1), QDate(2024, 12, 31)));
    QVERIFY(is("last-year", jan1, QDate(2024, 1, 1), QDate(2024, 12, 31)));
    QVERIFY(is("this-quarter", jan1, jan1, QDate(2025, 3, 31)));
    QVERIFY(is("last-week", jan1, QDate(2024, 12, 23), QDate(2024, 12, 29)));
    // Days written out.
    QVERIFY(is("01.03.2026-02.03.2026", jan1, QDate(2026, 3, 1), QDate(2026, 3, 2)));
    QVERIFY(is("5.3.2026", jan1, QDate(2026, 3, 5), QDate(2026, 3, 5)));
    for (const char* bad : {"", "last month", "Last-Month", "02.03.2026-01.03.2026", "31.02.2026",
                            "01.03.2026-", "1-2-3", "2026-03-01"})
        QVERIFY2(!ParsePeriod(QLatin1String(bad), jan1), bad);
}

void TestCli::helpAndBadArguments()
{
    const Outcome help = m_program.run({QStringLiteral("--help")});
    QCOMPARE(help.status, 0);
    for (const char* word :
         {"mail",         "report",     "export",         "--dry-run",       "--pdf",
          "--xlsx",       "--csv",      "--line",         "--xls",           "--rtf",
          "--txt",        "--htm",      "--subscriber",   "--direction",     "--prefix",
          "--outside",    "--database", "--user",         "--password-file", "KELVORA_PASSWORD",
          "last-quarter", "detailed",   "Код завершения", "4  рассылка",     "--min-seconds"})
        QVERIFY2(help.out.contains(QString::fromUtf8(word)), word);

    // Each refused with a message in the program's words and status 2, nothing sent or
    // written: the settings name a working database and mail server.
    const QString pdf = out(QStringLiteral("r.pdf")), csv = out(QStringLiteral("c.csv"));
    const QString domain = freshDomain();
    change({QStringLiteral("UPDATE Users SET SendMail=1, EMail='a@%1'").arg(domain)});
    m_program.settings(m_t->path(), Program::mailSection());
    const QStringList before = filesOf(m_program.dir());
    const QList<std::pair<QStringList, const char*>> cases = {
        {words("--period today"), "Не указана команда"},
        {words("send"), "Нет команды \"send\""},
        {words("mail"), "Не указан период"},
        {words("mail --period last-moon"), "Неверный период \"last-moon\""},
        {words("mail --period=today --pdf %1", {pdf}),
         "Параметр --pdf не относится к команде mail"},
        {words("mail --period=today --password x"), "Неизвестный параметр"},
        {words("report --period=today --pdf %1", {pdf}), "Не указан отчет"},
        {words("report costs --period=today --pdf %1", {pdf}), "Нет отчета \"costs\""},
        {words("report cost --period=today"), "Не указан файл отчета"},
        {words("export --period=today"), "Не указан файл выгрузки"},
        {words("export --period=today --csv %1 --direction up", {csv}),
         "Неверное значение --direction"},
        {words("export --period=today --csv %1 --line x1", {csv}), "Неверное значение --line"},
        {words("export --period=today --csv %1 --prefix 8-12", {csv}),
         "Неверное значение --prefix"},
        {words("export --period=today --csv %1 --period=yesterday", {csv}), "указан дважды"},
        {words("export extra --period=today --csv %1", {csv}), "Лишние слова"},
        {words("export --period=today --csv %1 --htm %1", {csv}),
         "Для --csv и --htm указан один и тот же файл"},
    };
    for (const auto& [args, said] : cases) {
        const Outcome o = m_program.run(args);
        const QString name = args.join(u' ');
        QVERIFY2(o.status == 2, qPrintable(name + QStringLiteral(": ") + o.err));
        QVERIFY2(o.err.contains(QString::fromUtf8(said)), qPrintable(name + u'\n' + o.err));
        QVERIFY2(o.out.isEmpty(), qPrintable(o.out));
    }
    QCOMPARE(QDir(m_out->path()).entryList(QDir::Files), QStringList());
    QCOMPARE(filesOf(m_program.dir()), before);
    QCOMPARE(received(domain).size(), 0);
}

void TestCli::exportWithTheCallListFilters()
{
    // The three calls of 1 and 2 March in the directories: 101 out on line 1 (30 s), 102 in on
    // line 2 (65 s), 102 out on line 1 (3725 s).
    const QString xlsx = out(QStringLiteral("calls.xlsx"));
    const QString csv = out(QStringLiteral("calls.csv"));
    Outcome o = m_program.run(
        words("export --period 01.03.2026-02.03.2026 --xlsx %1 --csv %2", {xlsx, csv}));
    QVERIFY2(o.status == 0, qPrintable(o.err));
    QVERIFY2(o.err.isEmpty(), qPrintable(o.err));
    const QJsonArray rows = xlsxRows(xlsx);
    QCOMPARE(rows.size(), 4); // titles and three calls
    const QStringList titles = rows[0].toVariant().toStringList();
    QVERIFY2(titles.contains(QStringLiteral("Ф.И.О.")), qPrintable(titles.join(u'|')));
    QVERIFY(titles.contains(QStringLiteral("Дата")));
    QVERIFY(titles.first() != QStringLiteral("Ф.И.О."));
    // As cron starts it, with no locale: the same Russian dates in the same file.
    QFile russianFile(csv);
    QVERIFY(russianFile.open(QIODevice::ReadOnly));
    const QByteArray russian = russianFile.readAll();
    QCOMPARE(russian.trimmed().split('\n').size(), 4);
    QVERIFY(russian.contains("02.03.2026"));
    QVERIFY(o.out.contains(QStringLiteral("строк: 3")));
    o = m_program.run(words("export --period 01.03.2026-02.03.2026 --csv %1", {csv}),
                      {QStringLiteral("LANG=C"), QStringLiteral("LC_ALL=C")});
    QVERIFY2(o.status == 0, qPrintable(o.err));
    QFile again(csv);
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(again.readAll(), russian);
    // The chooser's other formats, each file named after its option: the same three calls, in
    // the columns and the order the call list was last shown in (the name moved first, the
    // latest call first).
    m_program.settings(m_t->path(),
                       Program::mailSection() +
                           QStringLiteral("[GridRings]\nGridRings.FIO=0,90\n[Sort]\nDescRing=1\n"));
    QStringList before = filesOf(m_program.dir());
    const QList<std::pair<const char*, QByteArray>> others = {
        {"xls", QByteArray("\xD0\xCF\x11\xE0", 4)}, {"rtf", "{\\rtf1"}, {"htm", "<"}, {"txt", ""}};
    QStringList more = words("--xlsx %1", {xlsx});
    for (const auto& [format, start] : others)
        more << QStringLiteral("--%1").arg(QLatin1String(format))
             << out(QStringLiteral("calls.") + QLatin1String(format));
    o = m_program.run(words("export --period 01.03.2026-02.03.2026") + more);
    QVERIFY2(o.status == 0, qPrintable(o.err));
    for (const auto& [format, start] : others) {
        QFile written(out(QStringLiteral("calls.") + QLatin1String(format)));
        QVERIFY2(written.open(QIODevice::ReadOnly), format);
        const QByteArray bytes = written.readAll();
        QVERIFY2(bytes.startsWith(start), format);
        if (QByteArray(format) == "txt") // code page 1251, titles and three calls
            QCOMPARE(QString(QStringDecoder("windows-1251").decode(bytes))
                         .trimmed()
                         .split(QStringLiteral("\r\n"))
                         .size(),
                     4);
    }
    QCOMPARE(o.out.count(QStringLiteral("строк: 3")), 5);
    QCOMPARE(xlsxRows(xlsx)[0].toArray().first().toString(), QStringLiteral("Ф.И.О."));
    QCOMPARE(xlsxRows(xlsx)[1].toArray()[1].toString(), QStringLiteral("02.03.2026"));
    // Sorted by cost, which the program sorts once the rows are in: 1,25 (1 March), then
    // 1263,15 (2 March), the incoming call without a cost last.
    {
        TDM dm(m_out->path());
        test::login(dm, m_t->path());
        test::storeDefaultPlan(
            dm, {test::zoneRule(QStringLiteral("Местные"), {}, 7, 125),
                 test::zoneRule(QStringLiteral("Междугородные"), QStringLiteral("495"), 10, 2005)});
    }
    m_program.settings(m_t->path(), QStringLiteral("[Sort]\nFieldRing=7\nDescRing=0\n"));
    o = m_program.run(words("export --period 01.03.2026-02.03.2026 --xlsx %1", {xlsx}));
    QVERIFY2(o.status == 0, qPrintable(o.err));
    const QJsonArray byCost = xlsxRows(xlsx);
    QCOMPARE(byCost[2].toArray()[0].toString(), QStringLiteral("02.03.2026"));
    QCOMPARE(byCost[3].toArray()[0].toString(), QStringLiteral("01.03.2026"));
    m_program.settings(m_t->path(), Program::mailSection());
    before = filesOf(m_program.dir());

    // Each filter of the call list narrows the same rows.
    const QList<std::pair<QStringList, int>> filters = {
        {words("--direction out"), 2},
        {words("--direction in"), 1},
        {words("--line 1"), 2},
        {words("--subscriber 101"), 1},
        {words("--prefix 495"), 1},
        {words("--min-seconds 60"), 2},
        {words("--line 1 --subscriber 102 --direction all"), 1},
        {words("--outside"), 5}, // and the two of a line and a subscriber not in them
    };
    for (const auto& [filter, calls] : filters) {
        const QString file = out(QStringLiteral("f.xlsx"));
        o = m_program.run(words("export --period 01.03.2026-02.03.2026 --xlsx %1", {file}) +
                          filter);
        QVERIFY2(o.status == 0, qPrintable(o.err));
        QVERIFY2(xlsxRows(file).size() == calls + 1, qPrintable(filter.join(u' ')));
    }
    // The settings file is read, not written; nothing else is made beside it.
    QCOMPARE(filesOf(m_program.dir()), before);

    // A folder that cannot be written: status 3, the reason, no file.
    o = m_program.run(
        words("export --period=today --csv %1", {out(QStringLiteral("no/such/c.csv"))}));
    QCOMPARE(o.status, 3);
    QVERIFY2(o.err.contains(QStringLiteral("Не удалось записать файл")), qPrintable(o.err));
}

void TestCli::reportsAsPdf()
{
    const QList<std::pair<const char*, const char*>> reports = {
        {"summary", "Иванов Иван Петрович"},
        {"detailed", "8125551"},
        {"lines", "2150002"},
    };
    for (const auto& [kind, shown] : reports) {
        const QString pdf = out(QLatin1String(kind) + QStringLiteral(".pdf"));
        const Outcome o = m_program.run(
            words("report %1 --period 01.03.2026-02.03.2026 --pdf %2", {QLatin1String(kind), pdf}));
        QVERIFY2(o.status == 0, qPrintable(o.err));
        const QString text = test::output(QStringLiteral("pdftotext"),
                                          {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY2(text.contains(QString::fromUtf8(shown)),
                 qPrintable(QLatin1String(kind) + u'\n' + text));
        QVERIFY2(text.contains(QStringLiteral("01.03.2026")), qPrintable(text));
    }
    // The cost report on a database without tariffs: nothing written, the window's words.
    const Outcome o = m_program.run(
        words("report cost --period=last-month --pdf %1", {out(QStringLiteral("cost.pdf"))}));
    QCOMPARE(o.status, 3);
    QVERIFY2(o.err.contains(QStringLiteral("нет тарифов")), qPrintable(o.err));
    QVERIFY(!QFile::exists(out(QStringLiteral("cost.pdf"))));
}

void TestCli::loginFromTheEnvironmentOrAFile()
{
    // A settings file with no database and no remembered login: nothing can be done.
    QFile::remove(m_program.ini());
    const QStringList args =
        words("export --period=01.03.2026 --csv %1", {out(QStringLiteral("c.csv"))});
    Outcome o = m_program.run(args);
    QCOMPARE(o.status, 3);
    QVERIFY2(o.err.contains(QStringLiteral("Не задана база данных")), qPrintable(o.err));
    QVERIFY(!QFile::exists(m_program.ini()));
    o = m_program.run(args + words("--database %1", {m_t->path()}));
    QCOMPARE(o.status, 3);
    QVERIFY2(o.err.contains(QStringLiteral("не запомнены")), qPrintable(o.err));

    // The database and the user on the command line, the password from the environment...
    const QStringList login = words("--database %1 --user SYSDBA", {m_t->path()});
    o = m_program.run(args + login, {QStringLiteral("KELVORA_PASSWORD=masterkey")});
    QVERIFY2(o.status == 0, qPrintable(o.err));
    QVERIFY(QFile::exists(out(QStringLiteral("c.csv"))));
    // ... or from a file only its owner may read.
    const QString secret = out(QStringLiteral("secret"));
    QVERIFY(test::writeFile(secret, "masterkey\n"));
    QVERIFY(QFile::setPermissions(secret, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                              QFile::ReadOther));
    const QStringList fromFile = args + login + words("--password-file %1", {secret});
    o = m_program.run(fromFile);
    QCOMPARE(o.status, 3);
    QVERIFY2(o.err.contains(QStringLiteral("доступен не только его владельцу")), qPrintable(o.err));
    QVERIFY(QFile::setPermissions(secret, QFile::ReadOwner | QFile::WriteOwner));
    o = m_program.run(fromFile);
    QVERIFY2(o.status == 0, qPrintable(o.err));

    // A database that cannot be opened.
    o = m_program.run(args + words("--database %1 --user SYSDBA", {out(QStringLiteral("x.fdb"))}));
    QCOMPARE(o.status, 3);
    QVERIFY2(o.err.contains(QStringLiteral("Невозможно открыть базу данных")), qPrintable(o.err));

    // An installed program's folder cannot be written: the command reads its settings file
    // and makes no copy of it in the user's configuration folder.
    m_program.settings(m_t->path());
    const QString config = out(QStringLiteral("config"));
    QVERIFY(QFile::setPermissions(m_program.dir(), QFile::ReadOwner | QFile::ExeOwner));
    o = m_program.run(args, {QStringLiteral("XDG_CONFIG_HOME=") + config});
    QVERIFY(QFile::setPermissions(m_program.dir(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY2(o.status == 0, qPrintable(o.err));
    QVERIFY(!QFileInfo::exists(config));
}

void TestCli::mailing()
{
    const QString domain = freshDomain();
    const auto to = [&](const char* local) { return QLatin1String(local) + u'@' + domain; };
    change({QStringLiteral("UPDATE Users SET SendMail=1, EMail='%1' WHERE NumberIN=101")
                .arg(to("ivanov")),
            QStringLiteral("UPDATE Users SET SendMail=1, EMail='%1' WHERE NumberIN=102")
                .arg(to("petrova"))});
    m_program.settings(m_t->path(), Program::mailSection());
    const QStringList mail = words("mail --period 01.03.2026-02.03.2026");

    // A dry run says who would get what and sends nothing.
    Outcome o = m_program.run(mail + words("--dry-run"));
    QVERIFY2(o.status == 0, qPrintable(o.err));
    QVERIFY2(o.out.contains(to("ivanov") + QStringLiteral("\tбудет отправлено")),
             qPrintable(o.out));
    QCOMPARE(received(domain).size(), 0);

    // Every message goes: one line a subscriber, the summary, status 0.
    o = m_program.run(mail);
    QVERIFY2(o.status == 0, qPrintable(o.err + o.out));
    QVERIFY2(o.out.contains(QStringLiteral("101\tИванов Иван Петрович\t") + to("ivanov") +
                            QStringLiteral("\tотправлено")),
             qPrintable(o.out));
    QVERIFY(o.out.contains(to("petrova") + QStringLiteral("\tотправлено")));
    QVERIFY2(o.out.contains(QStringLiteral("отправлено 2 из 2")), qPrintable(o.out));
    const QJsonArray got = received(domain);
    QCOMPARE(got.size(), 2);
    // The message the window sends: its subject and the detailed report attached.
    QCOMPARE(got[0][QStringLiteral("subject")].toString(),
             QStringLiteral("Звонки за период с 01.03.2026 по 02.03.2026"));
    QCOMPARE(got[0][QStringLiteral("attachments")].toArray().size(), 1);

    // One address refused by the server, one with no address: the others still go, status 1.
    change({QStringLiteral("UPDATE Users SET EMail='%1' WHERE NumberIN=102").arg(to("refused")),
            QStringLiteral("INSERT INTO Users (NumberIN, FIO, EMail, SendMail) VALUES "
                           "(104, 'Безадресный', NULL, 1)")});
    o = m_program.run(mail);
    QCOMPARE(o.status, 1);
    QVERIFY2(o.out.contains(to("ivanov") + QStringLiteral("\tотправлено")), qPrintable(o.out));
    QVERIFY2(o.out.contains(QStringLiteral("104\tБезадресный\t\tнет адреса")), qPrintable(o.out));
    QVERIFY2(o.out.contains(QStringLiteral("отправлено 1 из 3, не отправлено 2")),
             qPrintable(o.out));
    QCOMPARE(received(domain).size(), 3);
}

void TestCli::mailServerDownOrNoSettings()
{
    const QString domain = freshDomain();
    change({QStringLiteral("UPDATE Users SET SendMail=1, EMail='u' || NumberIN || '@%1'")
                .arg(domain)});
    const QStringList mail = words("mail --period=01.03.2026");
    // Nobody listens on the port: nothing sent, status 4, the reason.
    m_program.settings(m_t->path(), Program::mailSection(1));
    Outcome o = m_program.run(mail);
    QCOMPARE(o.status, 4);
    QVERIFY2(o.err.contains(QStringLiteral("Рассылка остановлена")), qPrintable(o.err));
    QVERIFY2(o.out.contains(QStringLiteral("отправлено 0 из 2")), qPrintable(o.out));
    // No mail settings at all.
    m_program.settings(m_t->path());
    o = m_program.run(mail);
    QCOMPARE(o.status, 4);
    QVERIFY2(o.err.contains(QStringLiteral("Не заданы настройки почты")), qPrintable(o.err));
    QCOMPARE(received(domain).size(), 0);
}

KELVORA_TEST_MAIN(TestCli)
#include "test_cli.moc"
