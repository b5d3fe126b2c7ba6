// How calls and directory rows are shown: durations, dates, captions, number masks, the
// mask editor.
#include "support/CallData.h"
#include "support/TestMain.h"

#include "DemoData.h"
#include "app/Messages.h"
#include "data/CallRecord.h"
#include "data/TDM.h"
#include "settings/TMainObject.h"
#include "ui/editors/TNumMaskForm.h"

#include <QComboBox>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

void login(TDM& dm, const QString& path)
{
    dm.ibDatabase.setDatabaseName(path);
    dm.ibDatabase.params() = demo::localParams();
    dm.ibDatabase.open();
    dm.ibTranRO.start();
}

void openCalls(TDM& dm)
{
    db::Query& q = dm.ibQueryRings;
    q.sql().clear();
    q.sql().add(QStringLiteral("SELECT RDay, RMont, RYear,RHour,RMin,RSec,RingLength,TimeHour,"
                               "TimeMin,TimeSec,NumberOut,L.NumberTown,U.FIO"));
    q.sql().add(QStringLiteral("FROM Rings R,Lines L,Users U"));
    q.sql().add(QStringLiteral("WHERE R.Rline=L.NumberLine AND R.NumberIn= U.NumberIn"));
    q.sql().add(QStringLiteral("ORDER BY RingDate"));
    q.open();
}

} // namespace

class TestPresentation : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Messages::setTestMode(true); }
    void durationTexts_data();
    void durationTexts();
    void callRowsGetDateTimeAndDuration();
    void directoryCaptions();
    void phoneMasks_data();
    void phoneMasks();
    void numberFieldTexts();
    void maskEditor();
};

void TestPresentation::durationTexts_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << QString();
    QTest::newRow("five") << qint64(5) << " 0 ч 00 мин 05 сек";
    QTest::newRow("hour") << qint64(3725) << " 1 ч 02 мин 05 сек";
    QTest::newRow("day less a second") << qint64(86399) << " 23 ч 59 мин 59 сек";
    QTest::newRow("long") << qint64(4000000) << " 1111 ч 06 мин 40 сек";
    QTest::newRow("70000 minutes") << qint64(4200000) << " 1166 ч 40 мин 00 сек";
    // A busy exchange's year passes 2^31 seconds.
    QTest::newRow("past 32 bits") << qint64(3000000000LL) << " 833333 ч 20 мин 00 сек";
}

void TestPresentation::durationTexts()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(DurationText(seconds), text);
}

void TestPresentation::callRowsGetDateTimeAndDuration()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    t.exec({QStringLiteral("INSERT INTO Lines VALUES (1, 2150001, NULL, NULL)"),
            QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (101, 'Иванов')"),
            test::insertCall(QDateTime(QDate(2011, 3, 7), QTime(9, 5, 0)), 0, 0, 1, 101),
            // A record whose parts make no date: 31 February.
            QStringLiteral("INSERT INTO Rings VALUES (31, 2, 11, 10, 0, 0, '2011-03-08 10:00:00', "
                           "0, 1, 5, 0, 1, 101)"),
            test::insertCall(QDateTime(QDate(2011, 3, 9), QTime(23, 59, 59)), 3725, 812, 1, 101)});
    QTemporaryDir dir;
    TDM dm(dir.path());
    login(dm, t.path());
    openCalls(dm);
    db::Query& q = dm.ibQueryRings;
    QCOMPARE(q.recordCount(), std::size_t(3));
    QStringList visible;
    for (const auto& f : q.fields())
        if (f->visible())
            visible << f->displayLabel();
    QCOMPARE(visible, (QStringList{"Дата", "Время", "Городской номер", "Ф.И.О.", "Номер абонента",
                                   "Продолжительность разговора"}));
    QCOMPARE(q.field(QStringLiteral("RDate")).asDate(), QDate(2011, 3, 7));
    QCOMPARE(q.field(QStringLiteral("RDate")).displayText(),
             QLocale().toString(QDate(2011, 3, 7), QLocale::ShortFormat));
    QCOMPARE(q.field(QStringLiteral("RTime")).asTime(), QTime(9, 5, 0));
    QVERIFY(q.field(QStringLiteral("RTime")).displayText().contains(QLatin1String("05:00")));
    QVERIFY(q.field(QStringLiteral("RLen")).displayText().isEmpty()); // 0 s shows nothing
    q.next();
    QVERIFY(q.field(QStringLiteral("RDate")).isNull());
    QVERIFY(q.field(QStringLiteral("RTime")).isNull());
    QVERIFY(q.field(QStringLiteral("RLen")).isNull());
    QCOMPARE(q.field(QStringLiteral("RINGLENGTH")).asInt64(), qint64(65)); // the rest is there
    q.next();
    QCOMPARE(q.field(QStringLiteral("RLen")).displayText(), QStringLiteral(" 1 ч 02 мин 05 сек"));

    // Opened again with the parts in another order: the fields are new objects (perhaps at
    // the old addresses), and the calculated ones are made from the new ones.
    q.close();
    q.sql().clear();
    q.sql().add(QStringLiteral("SELECT RSec, RMin, RHour, RYear, RMont, RDay, RingLength, TimeHour,"
                               "TimeMin,TimeSec,NumberOut,L.NumberTown,U.FIO"));
    q.sql().add(QStringLiteral("FROM Rings R,Lines L,Users U"));
    q.sql().add(QStringLiteral("WHERE R.Rline=L.NumberLine AND R.NumberIn= U.NumberIn"));
    q.sql().add(QStringLiteral("ORDER BY RingDate DESC"));
    q.open();
    QCOMPARE(q.field(QStringLiteral("RDate")).asDate(), QDate(2011, 3, 9));
    QCOMPARE(q.field(QStringLiteral("RTime")).asTime(), QTime(23, 59, 59));
    QCOMPARE(q.field(QStringLiteral("RLen")).displayText(), QStringLiteral(" 1 ч 02 мин 05 сек"));
}

void TestPresentation::directoryCaptions()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    t.exec({QStringLiteral("ALTER TABLE Users ADD RCOMSUM VARCHAR(10)"),
            QStringLiteral("ALTER TABLE Users ADD Extra INTEGER"),
            QStringLiteral("ALTER TABLE Lines ADD RCOMSUM NUMERIC(12,2)")});
    t.exec({QStringLiteral("INSERT INTO Users (NumberIN, FIO, RCOMSUM) VALUES (1, 'А', '12')"),
            QStringLiteral("INSERT INTO Lines (NumberLine, RCOMSUM) VALUES (1, 1234.5)")});
    db::Transaction tr(t.database());
    tr.start();
    db::Query users(t.database(), tr);
    users.sql().add(QStringLiteral("SELECT ' ' AS MailIcon, fio AS \"fio\", U.* FROM Users U"));
    users.open();
    ApplyFieldLabels(users);
    QStringList shown;
    for (const auto& f : users.fields())
        if (f->visible())
            shown << f->name() + u'=' + f->displayLabel();
    QCOMPARE(shown, (QStringList{"MAILICON= ", "fio=Ф.И.О.", "NUMBERIN=Внутренний номер",
                                 "FIO=Ф.И.О.", "EMAIL=Эл.почта", "RCOMSUM=Сумма прихода"}));
    QCOMPARE(users.field(QStringLiteral("RCOMSUM")).displayText(), QStringLiteral("12"));
    db::Query lines(t.database(), tr);
    lines.sql().add(QStringLiteral("SELECT * FROM Lines"));
    lines.open();
    ApplyFieldLabels(lines);
    // Shown in the operator's own form: the decimal comma of a Russian desktop.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const QString sum = lines.field(QStringLiteral("RCOMSUM")).displayText();
    QLocale::setDefault(QLocale::system());
    QCOMPARE(sum, QStringLiteral("1234,50"));
    QCOMPARE(lines.field(QStringLiteral("ETC")).displayLabel(), QStringLiteral("Примечания"));
    QCOMPARE(lines.field(QStringLiteral("ADDINFO")).displayLabel(), QStringLiteral("Доп."));
    QCOMPARE(ChooseValue(true, 1, 2), 1);
    QCOMPARE(ChooseValue(false, QStringLiteral("a"), QStringLiteral("b")), QStringLiteral("b"));
}

void TestPresentation::phoneMasks_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("choice");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("shown");
    QTest::newRow("7 by 1-2-2-2") << 7 << 3 << "2345678"
                                  << "2-34-56-78";
    QTest::newRow("11 by 1-3-3-2-2") << 11 << 2 << "12345678901"
                                     << "1-234-567-89-01";
    QTest::newRow("11 by 4-3-2-2") << 11 << 4 << "89161234567"
                                   << "8916-123-45-67";
    QTest::newRow("6 whole") << 6 << 0 << "123456"
                             << "123456";
    QTest::newRow("8 by 1-3-4") << 8 << 2 << "12345678"
                                << "1-234-5678";
    QTest::newRow("5 by 1-2-2") << 5 << 1 << "12345"
                                << "1-23-45";
    QTest::newRow("5's choice on 6") << 5 << 1 << "123456"
                                     << "123456";
    QTest::newRow("9 by 3-3-3") << 9 << 3 << "123456789"
                                << "123-456-789";
    QTest::newRow("10 by 3-3-2-2") << 10 << 4 << "4951234567"
                                   << "495-123-45-67";
    QTest::newRow("6 by 3-3") << 6 << 4 << "123456"
                              << "123-456";
    QTest::newRow("choice past the list") << 5 << 4 << "12345"
                                          << "12345";
    QTest::newRow("four digits") << 5 << 1 << "1234"
                                 << "1234";
    QTest::newRow("twelve digits") << 11 << 1 << "123456789012"
                                   << "123456789012";
    QTest::newRow("empty") << 5 << 1 << ""
                           << "";
    QTest::newRow("any characters") << 5 << 2 << "ab-cd"
                                    << "ab--cd"; // taken as they are
}

void TestPresentation::phoneMasks()
{
    QFETCH(int, length);
    QFETCH(int, choice);
    QFETCH(QString, number);
    QFETCH(QString, shown);
    QTemporaryDir dir;
    TMainObject s(dir.path());
    s.SetMaskChoice(length, quint8(choice));
    QCOMPARE(s.FormatPhoneNumber(number), shown);
}

void TestPresentation::numberFieldTexts()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    t.exec({QStringLiteral("INSERT INTO Lines VALUES (1, 2150001, NULL, NULL)"),
            QStringLiteral("INSERT INTO Lines VALUES (2, 0, NULL, NULL)"),
            QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (101, 'Иванов')"),
            test::insertCall(QDateTime(QDate(2026, 3, 1), QTime(9, 0)), 10, 0, 1, 101),
            test::insertCall(QDateTime(QDate(2026, 3, 1), QTime(9, 1)), 10, 89161234567.0, 2, 101),
            QStringLiteral("INSERT INTO Rings VALUES (1, 3, 0, 9, 2, 0, '2026-03-01 09:02:00', "
                           "0, 0, 10, 0, 1, 101)")});
    QTemporaryDir dir;
    TDM dm(dir.path());
    dm.MainObject->N7 = 5;
    dm.MainObject->N11 = 4;
    login(dm, t.path());
    openCalls(dm);
    db::Query& q = dm.ibQueryRings;
    QCOMPARE(q.field(QStringLiteral("NUMBEROUT")).displayText(), QStringLiteral("входящий"));
    QCOMPARE(q.field(QStringLiteral("NUMBERTOWN")).displayText(), QStringLiteral("215-0001"));
    q.next();
    QCOMPARE(q.field(QStringLiteral("NUMBEROUT")).displayText(), QStringLiteral("8916-123-45-67"));
    QCOMPARE(q.field(QStringLiteral("NUMBERTOWN")).displayText(), QString()); // city number 0
    q.next();
    QCOMPARE(q.field(QStringLiteral("NUMBEROUT")).displayText(), QString()); // year 0
    // A change of the choices shows at the next display, without reopening.
    dm.MainObject->N7 = 0;
    q.first();
    QCOMPARE(q.field(QStringLiteral("NUMBERTOWN")).displayText(), QStringLiteral("2150001"));
}

void TestPresentation::maskEditor()
{
    QTemporaryDir dir;
    TMainObject s(dir.path());
    s.N5 = 2;
    s.N9 = 200; // past the list: the editor shows the first pattern
    {
        TNumMaskForm form(s);
        QCOMPARE(form.windowTitle(), QStringLiteral("Маска номера"));
        QCOMPARE(form.cbNum[0]->currentIndex(), 2);
        QCOMPARE(form.cbNum[0]->currentText(), QStringLiteral("xx-xxx"));
        QCOMPARE(form.cbNum[4]->currentIndex(), 0);
        QCOMPARE(form.cbNum[6]->count(), 5);
        QCOMPARE(form.cbNum[6]->itemText(3), QStringLiteral("x-xx-xx-xx-xx-xx"));
        form.cbNum[2]->setCurrentIndex(4);
        form.show();
        QTest::keyClick(&form, Qt::Key_Escape);
        QCOMPARE(form.result(), int(QDialog::Rejected));
    }
    QCOMPARE(int(s.N7), 0);
    QCOMPARE(int(s.N9), 200);
    {
        TNumMaskForm form(s);
        form.cbNum[2]->setCurrentIndex(4);
        QTest::mouseClick(form.bbSave, Qt::LeftButton);
        QCOMPARE(form.result(), int(QDialog::Accepted));
    }
    QCOMPARE(int(s.N7), 4);
    QCOMPARE(int(s.N5), 2);
    QCOMPARE(int(s.N9), 0); // saved as shown
    QCOMPARE(s.FormatPhoneNumber(QStringLiteral("2345678")), QStringLiteral("23-456-78"));
}

KELVORA_TEST_MAIN(TestPresentation)
#include "test_presentation.moc"
