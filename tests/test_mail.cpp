// Mailing the subscribers their calls: the window "Рассылка отчетов" against a real mail
// server (the suite's fixture, smtp-server.py) and a fresh database; what arrived is read
// back with Python's mail parser and pdftotext. Also the window "Настройки почты" and the
// [Mail] section of the settings file.
#include "support/CallData.h"
#include "support/Login.h"
#include "support/MainWindowSession.h"
#include "support/Modal.h"
#include "support/TariffData.h"
#include "support/TestMain.h"

#include "app/Messages.h"
#include "data/TDM.h"
#include "data/TariffStore.h"
#include "runs/MailText.h"
#include "runs/MailingRun.h"
#include "settings/TMainObject.h"
#include "ui/controls/DateField.h"
#include "ui/editors/TMailSetForm.h"
#include "ui/stats/TMailForm.h"
#include "ui/stats/TReportForm.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>

namespace {

int serverPort()
{
    QFile f(qEnvironmentVariable("KELVORA_TEST_SMTP") + QStringLiteral("/port"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toInt() : 0;
}

// A port of 127.0.0.1 where nobody listens (tcpmux, privileged and long out of use).
int deadPort()
{
    return 1;
}

// A domain of its own for each case: the server files messages by the recipient's domain.
QString freshDomain()
{
    static int n = 0;
    return QStringLiteral("case%1-%2.test").arg(QCoreApplication::applicationPid()).arg(++n);
}

QString pdfText(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The text of the report a message carries as its first attachment.
QString attachedText(const QJsonObject& message)
{
    return pdfText(message[QStringLiteral("attachments")][0][QStringLiteral("path")].toString());
}

struct Mailing
{
    explicit Mailing(test::TestDatabase& t) : dm(t.dir()), domain(freshDomain())
    {
        QFile::copy(QStringLiteral(KELVORA_SOURCE_DIR "/templates/") +
                        TemplateName(ReportKind::Detailed),
                    t.dir() + u'/' + TemplateName(ReportKind::Detailed));
        test::login(dm, t.path());
        TMainObject& s = *dm.MainObject;
        s.MailServer = QStringLiteral("127.0.0.1");
        s.MailPort = serverPort();
        s.MailFrom = QStringLiteral("АТС Kelvora <pbx@kelvora.test>");
        out.reset(new QTemporaryDir);
    }
    // The window, opened on 1 to 2 March 2026 after the directory is as the case wants it.
    TMailForm& open()
    {
        form = std::make_unique<TMailForm>(dm);
        form->dOT->setDate(QDate(2026, 3, 1));
        form->dDo->setDate(QDate(2026, 3, 2));
        form->ServerHook = [this](mail::ServerSettings& s) {
            s.connectTimeout = 5;
            s.responseTimeout = 20;
            s.caFile = caFile;
        };
        form->show();
        done = std::make_unique<QSignalSpy>(form.get(), &TMailForm::runFinished);
        return *form;
    }
    QString address(const QString& local) const { return local + u'@' + domain; }
    /// Subscriber `numberIn` gets his report at `local`@ the test's domain.
    QString mailTo(int numberIn, const char* local) const
    {
        return QStringLiteral("UPDATE Users SET SendMail=1, EMail='%1' WHERE NumberIN=%2")
            .arg(address(QLatin1String(local)))
            .arg(numberIn);
    }
    /// Ivanov (101, at `ivanov`) and Petrova (102) get their reports.
    QStringList mailToBoth(const char* ivanov = "ivanov") const
    {
        return {mailTo(101, ivanov), mailTo(102, "petrova")};
    }
    /// As mailToBoth, and Alekseev (100), new, who comes before them in name order.
    QStringList mailToThree(const char* ivanov = "ivanov") const
    {
        return mailToBoth(ivanov) << subscriber(100, "Алексеев", "alekseev");
    }
    /// `count` new subscribers "Абонент N" numbered from first + 1, flagged, at slowI@ the
    /// test's domain (the server takes a second over each).
    QStringList slowSubscribers(int first, int count) const
    {
        QStringList statements;
        for (int i = 1; i <= count; ++i)
            statements << QStringLiteral("INSERT INTO Users (NumberIN, FIO, EMail, SendMail) "
                                         "VALUES (%1, 'Абонент %1', '%2', 1)")
                              .arg(first + i)
                              .arg(address(QStringLiteral("slow%1").arg(i)));
        return statements;
    }
    /// A new subscriber with an address of the test's domain, flagged for the mailing or not.
    QString subscriber(int numberIn, const char* fio, const char* local, bool send = true) const
    {
        return QStringLiteral("INSERT INTO Users (NumberIN, FIO, EMail, SendMail) VALUES "
                              "(%1, '%2', '%3', %4)")
            .arg(numberIn)
            .arg(QString::fromUtf8(fio), address(QLatin1String(local)))
            .arg(send ? 1 : 0);
    }
    bool send()
    {
        QSignalSpy done(form.get(), &TMailForm::runFinished);
        QTest::mouseClick(form->bbSend, Qt::LeftButton);
        return form->running() ? done.wait(120000) : done.count() > 0;
    }
    QStringList results(std::initializer_list<int> numbersIn) const
    {
        QStringList texts;
        for (int n : numbersIn)
            texts << result(n);
        return texts;
    }
    QTreeWidgetItem* line(int numberIn) const
    {
        for (int i = 0; i < form->clbUsers->topLevelItemCount(); ++i)
            if (form->clbUsers->topLevelItem(i)->text(TMailForm::ColNumber).toInt() == numberIn)
                return form->clbUsers->topLevelItem(i);
        return nullptr;
    }
    QString result(int numberIn) const
    {
        const QTreeWidgetItem* item = line(numberIn);
        return item ? item->text(TMailForm::ColResult) : QStringLiteral("(no line)");
    }
    // Everything the server took for this case's domain, parsed by Python's mail package.
    QJsonArray received() const
    {
        QProcess p;
        p.start(QStringLiteral(KELVORA_PYTHON),
                {QStringLiteral(KELVORA_SOURCE_DIR "/tests/support/read-mail.py"),
                 qEnvironmentVariable("KELVORA_TEST_SMTP") + QStringLiteral("/mail/") + domain,
                 out->path()});
        p.waitForFinished(60000);
        const QByteArray err = p.readAllStandardError();
        if (!err.isEmpty())
            qWarning("%s", err.constData());
        return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
    }
    // The message of `messages` sent to `local`@ the test's domain.
    QJsonObject to(const QJsonArray& messages, const char* local) const
    {
        for (const QJsonValue& m : messages)
            if (m[QStringLiteral("envelopeTo")].toArray().contains(address(QLatin1String(local))))
                return m.toObject();
        return {};
    }

    TDM dm;
    QString domain;
    QString caFile; // trusted instead of the system's certificates when set
    std::unique_ptr<TMailForm> form;
    std::unique_ptr<QSignalSpy> done; // the window's runFinished, from open() on
    std::unique_ptr<QTemporaryDir> out;
};

// Ivanov (101) with a report of many pages, Petrova (102) after him, both to be mailed: opens
// the window, presses "Отправить" and comes back while Ivanov's report is being laid out.
bool sendUntilPreparing(test::TestDatabase& t, Mailing& m)
{
    test::addManyCalls(t, 20000);
    t.exec(m.mailToBoth());
    m.open();
    QSignalSpy pages(m.form->findChild<MailingRun*>(QStringLiteral("MailingRun")),
                     &MailingRun::pagesLaidOut);
    QTest::mouseClick(m.form->bbSend, Qt::LeftButton);
    while (pages.isEmpty() || pages.last().at(1).toInt() == 0)
        if (!pages.wait(60000))
            return false;
    return m.result(101).startsWith(QStringLiteral("готовится отчет ..."));
}

QStringList errors()
{
    QStringList texts;
    for (const Messages::Shown& s : Messages::shown())
        if (s.kind == Messages::Kind::Error)
            texts << s.text;
    return texts;
}

} // namespace

// Exactly one error was shown, and it holds (or starts with) `part`.
#define QVERIFY_ONE_ERROR(part)                                                                    \
    QVERIFY2(errors().size() == 1 && errors()[0].contains(part), qPrintable(errors().join(u'\n')))
#define QVERIFY_ONE_ERROR_STARTS(part)                                                             \
    QVERIFY2(errors().size() == 1 && errors()[0].startsWith(part), qPrintable(errors().join(u'\n')))

// A fresh database with the small call log, and a mailing over it.
#define MAILING(t, m)                                                                              \
    TEST_SMALL_CALL_LOG(t);                                                                        \
    Mailing m(t)

class TestMail : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(QStringLiteral("kelvora"));
        if (serverPort() == 0)
            QFAIL("the mail server of the fixture did not start (smtp-server.sh)");
    }
    void init()
    {
        Messages::setTestMode(true);
        Messages::clearShown();
    }
    void headerWords();
    void eachFlaggedSubscriberGetsHisOwnCalls();
    void messageAndReportStateTheCost();
    void refusedRecipientDoesNotStopTheOthers();
    void serverDownIsReportedOnceAndNothingIsLost();
    void loginAndSecurityFailuresStopTheRun();
    void cancelInTheMiddle();
    void closingDuringARunWaitsForTheMessageUnderWay();
    void runWithoutTheWindow();
    void stopDuringPreparationSendsNothingTwice();
    void connectionLostDuringPreparation();
    void nothingStartsWithoutSettingsOrTemplate();
    void settingsWindowWritesTheFile();
    void brokenMailSettingsReadAsDefaults();
    void settingsFileThatCannotBeWritten();
    void menuItems();
};

void TestMail::headerWords()
{
    // Plain ASCII stays as it is; anything else becomes encoded words of at most 75
    // characters, whole characters each, that decode back to the text.
    QCOMPARE(mail::encodeHeaderText(QStringLiteral("Calls 1-2")), QByteArray("Calls 1-2"));
    QVERIFY(mail::encodeHeaderText(QStringLiteral("a =?b?= c")).startsWith("=?UTF-8?B?"));
    const QString text =
        QStringLiteral(
            "Звонки за период с 01.03.2026 по 02.03.2026 — 🙂 ёЁ") +
        QString(40, QChar(0x0416));
    const QByteArray encoded = mail::encodeHeaderText(text);
    QString decoded;
    for (const QByteArray& word : encoded.split(' ')) {
        QVERIFY2(word.size() <= 75, word.constData());
        QVERIFY(word.startsWith("=?UTF-8?B?") && word.endsWith("?="));
        const QByteArray bytes = QByteArray::fromBase64(word.mid(10, word.size() - 12));
        QVERIFY2(QString::fromUtf8(bytes).toUtf8() == bytes, "a character was cut");
        decoded += QString::fromUtf8(bytes);
    }
    QCOMPARE(decoded, text);
    // A long name is cut after its blanks, not inside its words.
    const QString name = QStringLiteral("Константинопольский Константин Константинович");
    const QList<QByteArray> words = mail::encodeHeaderText(name).split(' ');
    QVERIFY(words.size() > 1);
    decoded.clear();
    for (const QByteArray& word : words) {
        const QString part =
            QString::fromUtf8(QByteArray::fromBase64(word.mid(10, word.size() - 12)));
        if (&word != &words.last())
            QVERIFY2(part.endsWith(u' '), qPrintable(part));
        decoded += part;
    }
    QCOMPARE(decoded, name);

    QCOMPARE(mail::Address::parse(QStringLiteral(" \"Офис\" <a@b.ru> ")).address,
             QStringLiteral("a@b.ru"));
    QCOMPARE(mail::Address::parse(QStringLiteral(" \"Офис\" <a@b.ru> ")).name,
             QStringLiteral("Офис"));
    QCOMPARE(mail::Address::parse(QStringLiteral("a@b.ru")).name, QString());
    for (const char* bad : {"", "a", "@b", "a@", "a@b@c", "a b@c", "a@b.ru, c@d.ru"})
        QVERIFY2(!mail::plausibleAddress(QLatin1String(bad)), bad);
    QVERIFY(mail::plausibleAddress(QStringLiteral("ivanov@firm.ru")));
}

void TestMail::eachFlaggedSubscriberGetsHisOwnCalls()
{
    MAILING(t, m);
    t.exec(m.mailToBoth() << QStringList{
               m.subscriber(103, "Сидоров", "sidorov", false),
               QStringLiteral("INSERT INTO Users (NumberIN, FIO, EMail, SendMail) VALUES "
                              "(104, 'Безадресный', NULL, 1)"),
               m.subscriber(105, "Кузнецов Олег", "kuznetsov"),
           });
    TMailForm& form = m.open();
    QCOMPARE(form.windowTitle(), QStringLiteral("Рассылка отчетов"));

    // Those flagged only, each checked; the one without an address greyed.
    QCOMPARE(form.clbUsers->topLevelItemCount(), 4);
    QVERIFY(!m.line(103));
    QTreeWidgetItem* noAddress = m.line(104);
    QVERIFY(noAddress);
    QCOMPARE(noAddress->text(TMailForm::ColAddress), QStringLiteral("нет адреса"));
    QVERIFY(!(noAddress->flags() & Qt::ItemIsEnabled));
    QVERIFY(!(noAddress->flags() & Qt::ItemIsUserCheckable));
    for (int n : {101, 102, 105})
        QCOMPARE(m.line(n)->checkState(TMailForm::ColName), Qt::Checked);

    QVERIFY(m.send());
    QCOMPARE(errors(), QStringList());
    for (int n : {101, 102, 105}) {
        QCOMPARE(m.result(n), QStringLiteral("отправлено"));
        // Sent ones are unchecked: a second press sends only what is left.
        QCOMPARE(m.line(n)->checkState(TMailForm::ColName), Qt::Unchecked);
    }
    QCOMPARE(form.ProgressBar->value(), 3);

    const QJsonArray got = m.received();
    QCOMPARE(got.size(), 3);
    const QString subject = QStringLiteral("Звонки за период с 01.03.2026 по 02.03.2026");
    for (const QJsonValue& v : got) {
        // One recipient a message, in the envelope and in the headers; nobody copied.
        QCOMPARE(v[QStringLiteral("envelopeTo")].toArray().size(), 1);
        QCOMPARE(v[QStringLiteral("toAddresses")].toArray(),
                 v[QStringLiteral("envelopeTo")].toArray());
        QCOMPARE(v[QStringLiteral("cc")].toString(), QString());
        QCOMPARE(v[QStringLiteral("envelopeFrom")].toString(), QStringLiteral("pbx@kelvora.test"));
        QCOMPARE(v[QStringLiteral("from")].toString(),
                 QStringLiteral("АТС Kelvora <pbx@kelvora.test>"));
        QCOMPARE(v[QStringLiteral("subject")].toString(), subject);
        // On the wire the subject is RFC 2047 words, plain ASCII.
        const QString raw = v[QStringLiteral("subjectRaw")].toString();
        QVERIFY2(raw.startsWith(QLatin1String("=?UTF-8?B?")), qPrintable(raw));
        for (QChar c : raw)
            QVERIFY(c.unicode() < 128);
        QVERIFY(v[QStringLiteral("dateValid")].toBool());
        QCOMPARE(v[QStringLiteral("defects")].toArray().size(), 0);
    }

    const QJsonObject ivanov = m.to(got, "ivanov");
    const QJsonObject petrova = m.to(got, "petrova");
    const QJsonObject kuznetsov = m.to(got, "kuznetsov");
    QVERIFY(!ivanov.isEmpty() && !petrova.isEmpty() && !kuznetsov.isEmpty());
    QCOMPARE(
        petrova[QStringLiteral("to")].toString(),
        QStringLiteral("Петрова Анна Сергеевна <%1>").arg(m.address(QStringLiteral("petrova"))));

    // Ivanov: the call at midnight of 1 March (30 s); the one past the period's bound, the
    // next day's and the one on a line not in the directory are not his calls of the period.
    const QString ivanovBody = ivanov[QStringLiteral("body")].toString();
    QVERIFY2(ivanovBody.contains(QStringLiteral("Здравствуйте, Иванов Иван Петрович!")),
             qPrintable(ivanovBody));
    QVERIFY2(ivanovBody.contains(QStringLiteral("Звонков: 1\n")), qPrintable(ivanovBody));
    QVERIFY2(ivanovBody.contains(QStringLiteral("Время разговоров: 0 ч 00 мин 30 сек")),
             qPrintable(ivanovBody));
    QVERIFY(!ivanovBody.contains(QStringLiteral("Стоимость"))); // no tariffs, no cost
    // Petrova: an incoming call of 65 s and 3725 s in the last second of the period.
    const QString petrovaBody = petrova[QStringLiteral("body")].toString();
    QVERIFY2(petrovaBody.contains(QStringLiteral("Звонков: 2\n")), qPrintable(petrovaBody));
    QVERIFY2(petrovaBody.contains(QStringLiteral("Время разговоров: 1 ч 03 мин 10 сек")),
             qPrintable(petrovaBody));

    for (const QJsonObject& o : {ivanov, petrova}) {
        const QJsonArray att = o[QStringLiteral("attachments")].toArray();
        QCOMPARE(att.size(), 1);
        QCOMPARE(att[0][QStringLiteral("type")].toString(), QStringLiteral("application/pdf"));
        QVERIFY(att[0][QStringLiteral("filename")].toString().endsWith(
            QLatin1String("-20260301-20260302.pdf")));
    }
    const QString ivanovPdf = attachedText(ivanov);
    const QString petrovaPdf = attachedText(petrova);
    QVERIFY2(ivanovPdf.contains(QStringLiteral("Детальный отчет о звонках")),
             qPrintable(ivanovPdf));
    QVERIFY2(ivanovPdf.contains(QStringLiteral("Итого звонков: 1")), qPrintable(ivanovPdf));
    QVERIFY(ivanovPdf.contains(QStringLiteral("Иванов Иван Петрович")));
    QVERIFY(!ivanovPdf.contains(QStringLiteral("Петрова")));
    QVERIFY(ivanovPdf.contains(QStringLiteral("8125551")));
    QVERIFY(!ivanovPdf.contains(QStringLiteral("8120000")));
    QVERIFY2(petrovaPdf.contains(QStringLiteral("Итого звонков: 2")), qPrintable(petrovaPdf));
    QVERIFY(petrovaPdf.contains(QStringLiteral("1 ч 03 мин 10 сек")));
    QVERIFY(petrovaPdf.contains(QStringLiteral("входящий")));
    QVERIFY(!petrovaPdf.contains(QStringLiteral("Иванов")));

    // No calls in the period: a message that says so, and nothing attached.
    QCOMPARE(kuznetsov[QStringLiteral("attachments")].toArray().size(), 0);
    const QString none = kuznetsov[QStringLiteral("body")].toString();
    QVERIFY2(none.contains(QStringLiteral("За период с 01.03.2026 по 02.03.2026 звонков с "
                                          "внутреннего номера 105 не было.")),
             qPrintable(none));

    // Nothing checked any more: a second press sends nothing.
    QVERIFY(m.send() || !form.running());
    QCOMPARE(m.received().size(), 3);
}

// With a plan, each message states the subscriber's cost and his calls without a tariff, and
// his report shows each call's cost and the total.
void TestMail::messageAndReportStateTheCost()
{
    MAILING(t, m);
    t.exec(m.mailToBoth());
    test::storeDefaultPlan(m.dm, {test::zoneRule(QStringLiteral("Местные"), {}, 7, 250)});
    m.open();
    QVERIFY(m.send());
    const QJsonArray got = m.received();
    const QJsonObject ivanov = m.to(got, "ivanov");
    const QJsonObject petrova = m.to(got, "petrova");
    const QString ivanovBody = ivanov[QStringLiteral("body")].toString();
    QVERIFY2(ivanovBody.contains(QStringLiteral("Время разговоров: 0 ч 00 мин 30 сек\n"
                                                "Стоимость звонков: 2,50 руб.\n")),
             qPrintable(ivanovBody));
    // Her outgoing call matches no rule: it is said, not priced at 0.
    const QString petrovaBody = petrova[QStringLiteral("body")].toString();
    QVERIFY2(petrovaBody.contains(QStringLiteral("Стоимость звонков: 0,00 руб.; без тарифа, не "
                                                 "оценены: 1\n")),
             qPrintable(petrovaBody));
    const QString ivanovPdf = attachedText(ivanov);
    QVERIFY2(ivanovPdf.contains(QStringLiteral("Местные")), qPrintable(ivanovPdf));
    QVERIFY(ivanovPdf.contains(QStringLiteral("Стоимость: 2,50")));
}

void TestMail::refusedRecipientDoesNotStopTheOthers()
{
    MAILING(t, m);
    t.exec(m.mailToThree("refused.ivanov"));
    m.open();
    // The state line and the bar tell one count, also when a message is refused.
    QStringList counts;
    connect(m.form->ProgressBar, &QProgressBar::valueChanged, this, [&](int v) {
        if (v > 0 && !m.form->PanelState->text().contains(QStringLiteral("... %1 из 3").arg(v)))
            counts << m.form->PanelState->text();
    });
    QVERIFY(m.send());
    QCOMPARE(counts, QStringList());
    // In name order: Алексеев, Иванов (refused), Петрова; the one after the refusal still goes.
    QCOMPARE(m.results({100, 102}), QStringList(2, QStringLiteral("отправлено")));
    const QString refused = m.result(101);
    QVERIFY2(refused.startsWith(QStringLiteral("адрес отклонен сервером: 550")),
             qPrintable(refused));
    QVERIFY2(refused.contains(QStringLiteral("no such user")), qPrintable(refused));
    QCOMPARE(m.line(101)->checkState(TMailForm::ColName), Qt::Checked);
    QCOMPARE(errors(), QStringList());
    const QJsonArray got = m.received();
    QCOMPARE(got.size(), 2);
    QVERIFY(m.to(got, "refused.ivanov").isEmpty());
    QVERIFY(m.form->PanelState->text().contains(QStringLiteral("Отправлено 2 из 3")));
    // The bar counts what was done with, refused or not, and says so.
    QCOMPARE(m.form->ProgressBar->text(), QStringLiteral("обработано 3 из 3"));
}

void TestMail::serverDownIsReportedOnceAndNothingIsLost()
{
    MAILING(t, m);
    t.exec(m.mailToThree());
    m.dm.MainObject->MailPort = deadPort();
    m.open();
    QVERIFY(m.send());
    const QStringList shown = errors();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown[0].contains(QStringLiteral("почтовый сервер недоступен")), qPrintable(shown[0]));
    QVERIFY2(m.result(100).startsWith(QStringLiteral("почтовый сервер недоступен")),
             qPrintable(m.result(100)));
    // In the program's words: which server and port, what failed; the library's own text after.
    QVERIFY2(m.result(100).contains(QStringLiteral("127.0.0.1, порт 1: на этом порту соединения "
                                                   "не принимаются (подробности: ")),
             qPrintable(m.result(100)));
    QCOMPARE(m.results({101, 102}), QStringList(2, QStringLiteral("не отправлено")));
    for (int n : {100, 101, 102})
        QCOMPARE(m.line(n)->checkState(TMailForm::ColName), Qt::Checked);
    QCOMPARE(m.received().size(), 0);

    // The server is back: the same press sends each one exactly once.
    m.dm.MainObject->MailPort = serverPort();
    Messages::clearShown();
    QVERIFY(m.send());
    QCOMPARE(errors(), QStringList());
    const QJsonArray got = m.received();
    QCOMPARE(got.size(), 3);
    for (const char* who : {"ivanov", "petrova", "alekseev"})
        QVERIFY(!m.to(got, who).isEmpty());
}

void TestMail::loginAndSecurityFailuresStopTheRun()
{
    MAILING(t, m);
    t.exec(m.mailToBoth());
    TMainObject& s = *m.dm.MainObject;
    m.open();

    // A wrong password: told once, nobody mailed.
    s.MailUser = QStringLiteral("kelvora");
    s.MailPassword = QStringLiteral("wrong");
    QVERIFY(m.send());
    QVERIFY_ONE_ERROR(QStringLiteral("сервер не принял имя пользователя или пароль"));
    QCOMPARE(m.result(102), QStringLiteral("не отправлено"));

    // STARTTLS asked of a server that offers none: not sent in the clear.
    Messages::clearShown();
    s.MailPassword = QStringLiteral("secret");
    s.MailSecurity = mail::Security::StartTls;
    QVERIFY(m.send());
    QVERIFY_ONE_ERROR(QStringLiteral("не удалось установить защищенное соединение"));
    QCOMPARE(m.received().size(), 0);

    // SMTPS with a certificate nobody said to trust: refused, told once.
    Messages::clearShown();
    s.MailSecurity = mail::Security::Tls;
    s.MailPort = serverPort() + 2;
    QVERIFY(m.send());
    QVERIFY_ONE_ERROR(QStringLiteral("не удалось установить защищенное соединение"));
    // A server that wants STARTTLS, asked in the clear: it refuses the login (and without
    // one, the sender), saying why; told once.
    Messages::clearShown();
    s.MailSecurity = mail::Security::None;
    s.MailPort = serverPort() + 1;
    QVERIFY(m.send());
    QVERIFY_ONE_ERROR(QStringLiteral("сервер не принял имя пользователя или пароль"));
    QVERIFY(errors()[0].contains(QStringLiteral("STARTTLS")));
    Messages::clearShown();
    s.MailUser.clear();
    QVERIFY(m.send());
    QVERIFY_ONE_ERROR(QStringLiteral("сервер не принял адрес отправителя"));
    s.MailUser = QStringLiteral("kelvora");
    QCOMPARE(m.received().size(), 0);

    // The right password without TLS: both go.
    Messages::clearShown();
    s.MailPort = serverPort();
    QVERIFY(m.send());
    QCOMPARE(errors(), QStringList());
    QCOMPARE(m.results({101, 102}), QStringList(2, QStringLiteral("отправлено")));
    QCOMPARE(m.received().size(), 2);

    // With the server's certificate trusted: STARTTLS (and the login over it), then SMTPS.
    m.caFile = qEnvironmentVariable("KELVORA_TEST_SMTP") + QStringLiteral("/cert.pem");
    for (mail::Security security : {mail::Security::StartTls, mail::Security::Tls}) {
        Messages::clearShown();
        s.MailSecurity = security;
        s.MailPort = serverPort() + (security == mail::Security::Tls ? 2 : 1);
        for (int n : {101, 102})
            m.line(n)->setCheckState(TMailForm::ColName, Qt::Checked);
        QVERIFY(m.send());
        QCOMPARE(errors(), QStringList());
        QCOMPARE(m.results({101, 102}), QStringList(2, QStringLiteral("отправлено")));
    }
    QCOMPARE(m.received().size(), 6);
}

void TestMail::cancelInTheMiddle()
{
    MAILING(t, m);
    // Five subscribers the server takes a second each for, all with calls.
    QStringList statements = m.slowSubscribers(200, 5);
    for (int i = 1; i <= 5; ++i)
        statements << test::insertCall(QDateTime(QDate(2026, 3, 1), QTime(9, i, 0)), 60 * i,
                                       8120000 + i, 1, 200 + i);
    t.exec(statements);
    TMailForm& form = m.open();
    QTest::mouseClick(form.bbSend, Qt::LeftButton);
    QVERIFY(form.running());
    QVERIFY(!form.bbSend->isEnabled());
    QVERIFY(!form.dOT->isEnabled());
    QVERIFY(qobject_cast<DateField*>(form.dOT) && qobject_cast<DateField*>(form.dDo));
    // The window answers while the first message is on its way.
    QTRY_COMPARE_WITH_TIMEOUT(m.result(201), QStringLiteral("отправлено"), 30000);
    QVERIFY(form.running());
    QTest::mouseClick(form.bbCancel, Qt::LeftButton);
    QVERIFY(m.done->wait(60000));

    int sent = 0;
    for (int i = 1; i <= 5; ++i) {
        const QString r = m.result(200 + i);
        if (r == QStringLiteral("отправлено")) {
            ++sent;
            QCOMPARE(m.line(200 + i)->checkState(TMailForm::ColName), Qt::Unchecked);
        } else {
            QCOMPARE(r, QStringLiteral("не отправлено: рассылка прервана"));
            QCOMPARE(m.line(200 + i)->checkState(TMailForm::ColName), Qt::Checked);
        }
    }
    // The one under way when cancel came is let finish; the rest are not tried.
    QVERIFY2(sent >= 1 && sent <= 2, qPrintable(QString::number(sent)));
    QCOMPARE(errors(), QStringList());
    const QJsonArray got = m.received();
    QCOMPARE(got.size(), sent);
    for (const QJsonValue& v : got) {
        // Whole messages only: each with its report readable to the end.
        const QJsonArray att = v[QStringLiteral("attachments")].toArray();
        QCOMPARE(att.size(), 1);
        QVERIFY(attachedText(v.toObject()).contains(QStringLiteral("Итого звонков: 1")));
    }
    QVERIFY(form.bbSend->isEnabled());
    QVERIFY(form.PanelState->text().contains(QStringLiteral("прервана")));
}

void TestMail::closingDuringARunWaitsForTheMessageUnderWay()
{
    MAILING(t, m);
    t.exec(m.slowSubscribers(300, 3));
    TMailForm& form = m.open();
    QTest::mouseClick(form.bbSend, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(m.result(301), QStringLiteral("отправляется ..."), 10000);
    // Escape asks the window to close: it stays until the message on its way is through.
    QTest::keyClick(&form, Qt::Key_Escape);
    QVERIFY(form.isVisible());
    QVERIFY(m.done->wait(30000));
    QVERIFY(!form.isVisible());
    int sent = 0;
    for (int i = 1; i <= 3; ++i)
        sent += m.result(300 + i) == QStringLiteral("отправлено");
    QVERIFY(sent >= 1 && sent < 3);
    QCOMPARE(m.received().size(), sent);
}

void TestMail::runWithoutTheWindow()
{
    MAILING(t, m);
    MailingRun run(m.dm);
    MailingRun::Request request;
    request.from = QDate(2026, 3, 1);
    request.to = QDate(2026, 3, 2);
    request.recipients = {{101, QString(), m.address(QStringLiteral("ivanov"))},
                          {102, QStringLiteral("Петрова"), m.address(QStringLiteral("petrova"))}};
    request.templatePath = m.dm.MainObject->ProgramDir + QStringLiteral("report2.frf");
    QList<MailingRun::Step> steps; // of the first recipient
    connect(&run, &MailingRun::lineChanged, &run, [&](int i) {
        if (i == 0 && (steps.isEmpty() || steps.last() != run.line(0).step))
            steps << run.line(0).step;
    });
    QSignalSpy finished(&run, &MailingRun::finished);
    QString why;
    QCOMPARE(run.start(request, why), MailingRun::Refusal::None);
    QCOMPARE(run.start(request, why), MailingRun::Refusal::Running);
    QVERIFY(finished.wait(60000));
    using S = MailingRun::Step;
    QCOMPARE(steps, (QList<S>{S::Waiting, S::Preparing, S::Sending, S::Done}));
    QCOMPARE(run.sent(), 2);
    QCOMPARE(run.line(1).text, QStringLiteral("отправлено"));
    QCOMPARE(run.stopReason(), QString());
    // A subscriber without a name is greeted without one.
    const QJsonObject ivanov = m.to(m.received(), "ivanov");
    QVERIFY(ivanov[QStringLiteral("body")].toString().startsWith(QStringLiteral("Здравствуйте!")));
    MailFacts oneDay;
    oneDay.from = oneDay.to = request.from;
    QCOMPARE(mailText(oneDay).subject, QStringLiteral("Звонки за 01.03.2026"));
}

void TestMail::stopDuringPreparationSendsNothingTwice()
{
    MAILING(t, m);
    QVERIFY(sendUntilPreparing(t, m));
    QTest::mouseClick(m.form->bbCancel, Qt::LeftButton);
    QVERIFY(m.done->wait(60000));
    QCOMPARE(m.results({101, 102}),
             QStringList(2, QStringLiteral("не отправлено: рассылка прервана")));
    QCOMPARE(m.received().size(), 0);
    QCOMPARE(errors(), QStringList());
    // Sent again: each gets his message once.
    QVERIFY(m.send());
    const QJsonArray got = m.received();
    QCOMPARE(got.size(), 2);
    QVERIFY(!m.to(got, "ivanov").isEmpty());
    QVERIFY(!m.to(got, "petrova").isEmpty());
}

void TestMail::connectionLostDuringPreparation()
{
    MAILING(t, m);
    QVERIFY(sendUntilPreparing(t, m));
    // Every other attachment is cut off, the mailing's among them: Ivanov's calls are read
    // already, Petrova's are not.
    t.exec({QStringLiteral("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> "
                           "CURRENT_CONNECTION AND MON$SYSTEM_FLAG = 0")});
    QVERIFY(m.done->wait(60000));
    QVERIFY_ONE_ERROR_STARTS(QStringLiteral("Рассылка остановлена: отчет не подготовлен: ") +
                             TDM::ConnectionLostText());
    QCOMPARE(m.result(101), QStringLiteral("отправлено"));
    QCOMPARE(m.result(102), QStringLiteral("не отправлено"));
    // The next press connects again and sends what is left.
    Messages::clearShown();
    QVERIFY(m.send());
    QCOMPARE(errors(), QStringList());
    QCOMPARE(m.result(102), QStringLiteral("отправлено"));
    QCOMPARE(m.received().size(), 2);
}

void TestMail::nothingStartsWithoutSettingsOrTemplate()
{
    MAILING(t, m);
    t.exec({m.mailTo(101, "ivanov")});
    TMainObject& s = *m.dm.MainObject;
    m.open();

    s.MailServer.clear();
    QVERIFY(!m.send());
    QVERIFY_ONE_ERROR(QStringLiteral("Настройки почты"));
    // Exactly what is missing: here the sender alone.
    Messages::clearShown();
    s.MailServer = QStringLiteral("127.0.0.1");
    const QString from = s.MailFrom;
    s.MailFrom.clear();
    QVERIFY(!m.send());
    QCOMPARE(errors().value(0).section(u'\n', 0, 0),
             QStringLiteral("Не заданы настройки почты: адрес отправителя."));
    // The window opens the settings itself; what is saved there is what the next run uses.
    test::whenModal([&](QDialog* d) {
        auto* settings = qobject_cast<TMailSetForm*>(d);
        QVERIFY(settings);
        settings->eFrom->setText(from);
        QTest::mouseClick(settings->bbSave, Qt::LeftButton);
    });
    QTest::mouseClick(m.form->bbMailSettings, Qt::LeftButton);
    QCOMPARE(s.MailFrom, from);
    s.MailServer.clear();

    Messages::clearShown();
    s.MailServer = QStringLiteral("127.0.0.1");
    m.form->dOT->setDate(QDate(2026, 3, 3));
    QVERIFY(!m.send());
    QCOMPARE(errors().size(), 1);

    // The database file taken away under the program: told, nothing sent.
    Messages::clearShown();
    m.form->dOT->setDate(QDate(2026, 3, 1));
    QVERIFY(QFile::rename(t.path(), t.path() + QStringLiteral(".moved")));
    QVERIFY(!m.send());
    QVERIFY_ONE_ERROR(QStringLiteral("удален или заменен"));
    QVERIFY(QFile::rename(t.path() + QStringLiteral(".moved"), t.path()));

    Messages::clearShown();
    QFile::remove(t.dir() + QStringLiteral("/report2.frf"));
    QVERIFY(!m.send());
    QVERIFY_ONE_ERROR(QStringLiteral("report2.frf"));
    QCOMPARE(m.line(101)->checkState(TMailForm::ColName), Qt::Checked);
    QCOMPARE(m.received().size(), 0);
}

void TestMail::settingsWindowWritesTheFile()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    const QString ini = t.writeIni(QStringLiteral("kelvora.ini"),
                                   QStringLiteral("[RemoteBD]\nName=x.fdb\n[Other]\nKeep=1\n"));
    TDM dm(t.dir());
    test::login(dm, t.path());
    TMailSetForm form(*dm.MainObject);
    form.show();
    QCOMPARE(form.windowTitle(), QStringLiteral("Настройки почты"));
    QCOMPARE(form.sePort->value(), 25);
    QTest::keyClicks(form.eServer, QStringLiteral("mail.firm.ru"));
    // The usual port follows the kind of connection.
    form.cbSecurity->setFocus();
    QTest::keyClick(form.cbSecurity, Qt::Key_Down);
    QCOMPARE(form.cbSecurity->currentIndex(), 1);
    QCOMPARE(form.sePort->value(), 587);
    QTest::keyClicks(form.eUser, QStringLiteral("pbx"));
    // Not ASCII: typed through the edit itself (QTest types Latin-1 keys only).
    form.ePassword->insert(QStringLiteral("пароль;=1"));

    // A sender that is no address is refused, and nothing is written.
    form.eFrom->insert(QStringLiteral("АТС"));
    QTest::mouseClick(form.bbSave, Qt::LeftButton);
    QCOMPARE(errors().size(), 1);
    QVERIFY(form.isVisible());
    {
        QFile before(ini);
        QVERIFY(before.open(QIODevice::ReadOnly));
        QVERIFY(!before.readAll().contains("mail.firm.ru"));
    }

    form.eFrom->clear();
    form.eFrom->insert(QStringLiteral("АТС <pbx@firm.ru>"));
    QTest::mouseClick(form.bbSave, Qt::LeftButton);
    QCOMPARE(errors().size(), 1);
    QVERIFY(!form.isVisible());

    // Written at once, readable by its owner only, the other sections kept.
    QCOMPARE(QFile(ini).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
             QFile::ReadOwner | QFile::WriteOwner);
    TMainObject again(t.dir());
    QCOMPARE(again.MailServer, QStringLiteral("mail.firm.ru"));
    QCOMPARE(again.MailPort, 587);
    QCOMPARE(again.MailSecurity, mail::Security::StartTls);
    QCOMPARE(again.MailUser, QStringLiteral("pbx"));
    QCOMPARE(again.MailPassword, QStringLiteral("пароль;=1"));
    QCOMPARE(again.MailFrom, QStringLiteral("АТС <pbx@firm.ru>"));
    QFile f(ini);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().contains("Keep=1"));
}

void TestMail::brokenMailSettingsReadAsDefaults()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    t.writeIni(QStringLiteral("kelvora.ini"),
               QStringLiteral("[Mail]\nServer= smtp.firm.ru \nPort=abc\nSecurity=SSL-maybe\n"));
    TMainObject s(t.dir());
    QCOMPARE(s.MailServer, QStringLiteral("smtp.firm.ru"));
    QCOMPARE(s.MailPort, 25);
    QCOMPARE(s.MailSecurity, mail::Security::None);
    t.writeIni(QStringLiteral("kelvora.ini"), QStringLiteral("[mail]\nPort=70000\nSecurity=TLS\n"));
    TMainObject s2(t.dir());
    QCOMPARE(s2.MailPort, 25);
    QCOMPARE(s2.MailSecurity, mail::Security::Tls);
}

void TestMail::menuItems()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    test::MainWindowSession session(t);
    QVERIFY(session.ok);
    auto* mailing = session.form.findChild<QAction*>(QStringLiteral("AMailReports"));
    auto* settings = session.form.findChild<QAction*>(QStringLiteral("AMailSettings"));
    QVERIFY(mailing && settings);
    QCOMPARE(mailing->text(), QStringLiteral("Рассылка отчетов"));
    QCOMPARE(settings->text(), QStringLiteral("Настройки почты"));
    auto menuOf = [&](QAction* a) {
        for (QAction* top : session.form.menuBar()->actions())
            if (top->menu() && top->menu()->actions().contains(a))
                return top->text().remove(u'&');
        return QString();
    };
    QCOMPARE(menuOf(mailing), QStringLiteral("Статистика"));
    QCOMPARE(menuOf(settings), QStringLiteral("Файл"));
    // The mailing window takes the main window's period.
    session.tabs.dOT->setDate(QDate(2026, 2, 3));
    QDate seen;
    test::whenModal([&](QDialog* d) {
        if (auto* f = qobject_cast<TMailForm*>(d))
            seen = f->dOT->date();
        d->reject();
    });
    mailing->trigger();
    QCOMPARE(seen, QDate(2026, 2, 3));
}

void TestMail::settingsFileThatCannotBeWritten()
{
    // A settings file that could not be read at start is not written over: saving tells so,
    // and the values stay for the run.
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    QVERIFY(QDir(t.dir()).mkdir(QStringLiteral("kelvora.ini")));
    TDM dm(t.dir());
    test::login(dm, t.path());
    TMailSetForm form(*dm.MainObject);
    form.show();
    QTest::keyClicks(form.eServer, QStringLiteral("mail.firm.ru"));
    QTest::keyClicks(form.eFrom, QStringLiteral("pbx@firm.ru"));
    QTest::mouseClick(form.bbSave, Qt::LeftButton);
    QVERIFY_ONE_ERROR_STARTS(QStringLiteral("Не удалось записать файл настроек"));
    QCOMPARE(dm.MainObject->MailServer, QStringLiteral("mail.firm.ru"));
    QVERIFY(QFileInfo(t.dir() + QStringLiteral("/kelvora.ini")).isDir());
}

KELVORA_TEST_MAIN(TestMail)
#include "test_mail.moc"
