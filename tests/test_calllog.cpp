// The main window's call log driven as an operator does it, over a small data set.
#include "support/CallData.h"
#include "support/TestMain.h"

#include "app/Messages.h"
#include "data/CallRecord.h"
#include "data/TDM.h"
#include "db/DbError.h"
#include "support/MainWindowSession.h"
#include "support/TariffData.h"
#include "support/WindowSuite.h"
#include "ui/controls/DateField.h"
#include "ui/controls/PeriodButton.h"
#include "ui/controls/TComboQuery.h"
#include "ui/main/CallsTab.h"
#include "ui/main/TMainForm.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QStringList Head = {
    QStringLiteral("SELECT RDay, RMont, RYear,RHour,RMin,RSec,RingLength,TimeHour,TimeMin,TimeSec,"
                   "NumberOut,L.NumberTown,U.FIO"),
    QStringLiteral("FROM Rings R,Lines L,Users U"),
    QStringLiteral("WHERE R.Rline=L.NumberLine AND R.NumberIn= U.NumberIn")};
const QString Period = QStringLiteral("AND (R.RingDate between :d1 and :d2)");
// The window's statement with the given conditions, in date order.
QStringList byDate(const QStringList& conditions)
{
    return Head + conditions + QStringList{QStringLiteral("ORDER BY RingDate ")};
}
// Over every line and subscriber the date order is read along the date index.
const QString DatePlan = QStringLiteral("PLAN JOIN (R ORDER IX_RINGS_DATE INDEX (IX_RINGS_DATE), "
                                        "L INDEX (PK_LINES), U INDEX (PK_USERS))");

// The main window with helpers for the calls tab.
struct Session : test::MainWindowSession
{
    using MainWindowSession::MainWindowSession;
    bool ready() const { return ok && tabs.cqUsers->count() == 3; }
    void period(int fromDay, int toDay)
    {
        tabs.dOT->setDate(QDate(2026, 3, fromDay));
        tabs.dDo->setDate(QDate(2026, 3, toDay));
    }
    // The grid's model checked by Qt's model tester from now on, the test failing at a fault.
    void testModel()
    {
        tester = std::make_unique<QAbstractItemModelTester>(
            tabs.GridRings->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    // "Показать" pressed over January to March, the whole of a busy log, without waiting.
    void startQuarter()
    {
        tabs.dOT->setDate(QDate(2026, 1, 1));
        tabs.dDo->setDate(QDate(2026, 3, 31));
        QTest::mouseClick(tabs.sbStart, Qt::LeftButton);
    }
    bool loading() const { return form.TabSheet1->loading(); }
    // Until the last row of the run has arrived.
    bool waitLoaded()
    {
        return QTest::qWaitFor([this] { return !loading(); }, 60000);
    }
    void show()
    {
        QTest::mouseClick(tabs.sbStart, Qt::LeftButton);
        QVERIFY(waitLoaded());
    }
    // "Показать" over the calls from `fromDay` to `toDay` of March 2026.
    void show(int fromDay, int toDay)
    {
        period(fromDay, toDay);
        show();
    }
    std::pair<QDate, QDate> dates() const { return {tabs.dOT->date(), tabs.dDo->date()}; }
    QStringList lines() const { return dm.ibQueryRings.sql().lines(); }
    QString rows() const { return tabs.PanelTotalString->text(); }
    QString time() const { return tabs.PanelTotalTime->text(); }
    int column(const QString& field) const { return tabs.GridRings->findColumnByField(field); }
    grid::SortMarker marker(const char* field) const
    {
        return tabs.GridRings->sortMarker(column(QLatin1String(field)));
    }
    QString text(int row, const char* field) const
    {
        return tabs.GridRings->model()->index(row, column(QLatin1String(field))).data().toString();
    }
    // The texts of a column, top to bottom.
    QStringList texts(const char* field) const
    {
        QStringList out;
        for (int r = 0; r < tabs.GridRings->model()->rowCount(); ++r)
            out << text(r, field);
        return out;
    }
    void clickTitle(const QString& field)
    {
        QHeaderView* h = tabs.GridRings->horizontalHeader();
        const int c = column(field);
        QTest::mouseClick(
            h->viewport(), Qt::LeftButton, {},
            QPoint(h->sectionViewportPosition(c) + h->sectionSize(c) / 2, h->height() / 2));
        QVERIFY(waitLoaded());
    }

    std::unique_ptr<QAbstractItemModelTester> tester;
};

} // namespace

// A fresh database with the small call log, and the main window over it, logged in.
#define SMALL_LOG_SESSION(t, s)                                                                    \
    TEST_SMALL_CALL_LOG(t);                                                                        \
    Session s(t);                                                                                  \
    QVERIFY(s.ready())

class TestCallLog : public test::WindowSuite
{
    Q_OBJECT
private slots:
    void filtersMakeTheStatementAndTheTotals();
    void sortByTitleAndKeepItAcrossARestart();
    void sortByCostAndZone();
    void actionsFollowTheTabAndTheGrid();
    void incomingRowsOnSilver();
    void failedQueryKeepsTheLastResult();
    void datePlanFollowsTheIndexesOfTheDatabase();
    void escapeAsksBeforeClosing();
    void aRemovedDatabaseFileIsNoticed();
    void periodShortcuts();
    void rowsArriveWhileTheWindowAnswers();
    void stopKeepsTheRowsThatArrived();
    void closingWhileRowsArrive();
    void callsOutsideTheDirectories();
};

void TestCallLog::filtersMakeTheStatementAndTheTotals()
{
    SMALL_LOG_SESSION(t, s);
    s.testModel();
    QVERIFY(s.tabs.GridRings->isHidden());
    s.period(1, 2);

    // Defaults: both directions, no prefix, everybody, every line, any length, by date.
    s.show();
    QCOMPARE(s.lines(), byDate({Period, DatePlan}));
    QCOMPARE(s.rows(), QStringLiteral("3")); // 00:00:00 of the first day to 23:59:59 of the last
    QCOMPARE(s.time(), QStringLiteral(" 1 ч 03 мин 40 сек"));
    QVERIFY(!s.tabs.GridRings->isHidden());
    QCOMPARE(s.tabs.GridRings->model()->rowCount(), 3);
    QCOMPARE(s.text(0, "FIO"), QStringLiteral("Иванов Иван Петрович"));

    s.tabs.cbOUT->setChecked(false);
    s.show();
    QCOMPARE(s.lines(), byDate({QStringLiteral("AND NumberOut=0"), Period, DatePlan}));
    QCOMPARE(s.rows(), QStringLiteral("1"));
    QCOMPARE(s.time(), QStringLiteral(" 0 ч 01 мин 05 сек"));

    s.tabs.cbIN->setChecked(false); // neither: both are checked again
    s.show();
    QVERIFY(s.tabs.cbIN->isChecked() && s.tabs.cbOUT->isChecked());
    QCOMPARE(s.rows(), QStringLiteral("3"));

    s.tabs.cbIN->setChecked(false);
    s.show();
    QCOMPARE(s.lines()[3], QStringLiteral("AND NumberOut>0"));
    QCOMPARE(s.rows(), QStringLiteral("2"));
    QCOMPARE(s.time(), QStringLiteral(" 1 ч 02 мин 35 сек"));
    s.tabs.cbIN->setChecked(true);

    s.tabs.seNumberBeg->setText(QStringLiteral(" 812 "));
    s.show();
    QCOMPARE(s.lines()[3], QStringLiteral("AND NumberOut STARTING WITH '812'"));
    QCOMPARE(s.rows(), QStringLiteral("1"));
    // Typed text cannot change the statement: only its digits are used.
    s.tabs.seNumberBeg->setText(QStringLiteral("1' OR '1'='1"));
    s.show();
    QCOMPARE(s.lines()[3], QStringLiteral("AND NumberOut STARTING WITH '111'"));
    QCOMPARE(s.rows(), QStringLiteral("0"));
    QCOMPARE(s.time(), QString());
    s.tabs.seNumberBeg->clear();
    QTest::keyClicks(s.tabs.seNumberBeg, QStringLiteral("4'x95"));
    QCOMPARE(s.tabs.seNumberBeg->text(), QStringLiteral("495"));
    s.tabs.seNumberBeg->clear();

    s.tabs.cqUsers->setCurrentIndex(2); // "Петрова Анна Сергеевна"
    s.show();
    QCOMPARE(s.lines(), byDate({Period, QStringLiteral("AND R.NumberIn=102")}));
    QCOMPARE(s.time(), QStringLiteral(" 1 ч 03 мин 10 сек"));
    s.tabs.cqUsers->setCurrentIndex(0);

    QCOMPARE(s.tabs.cqLines->itemText(1), QStringLiteral("2150001"));
    s.tabs.cqLines->setCurrentIndex(1);
    s.tabs.seRingLen->setValue(30); // a call of exactly 30 s is left out
    s.show();
    QCOMPARE(s.lines(), byDate({Period, QStringLiteral("AND R.RLine=1"),
                                QStringLiteral("AND R.RINGLENGTH>30")}));
    QCOMPARE(s.rows(), QStringLiteral("1"));
    QCOMPARE(s.time(), QStringLiteral(" 1 ч 02 мин 05 сек"));
    s.tabs.cqLines->setCurrentIndex(0);
    s.tabs.seRingLen->setValue(0);

    // A stored sort: names descending; the marker follows.
    s.dm.MainObject->FieldRing = 2;
    s.dm.MainObject->DescRing = 1;
    s.show();
    QCOMPARE(s.lines().last(), QStringLiteral("ORDER BY FIO DESC"));
    QCOMPARE(s.marker("FIO"), grid::SortMarker::Descending);
    QCOMPARE(s.tabs.GridRings->sortMarkedColumns().size(), std::size_t(1));
    QCOMPARE(s.text(0, "FIO"), QStringLiteral("Петрова Анна Сергеевна"));

    s.period(2, 1); // an empty range
    s.show();
    QCOMPARE(s.rows(), QStringLiteral("0"));
    QCOMPARE(s.time(), QString());
    QVERIFY(Messages::shown().isEmpty());
}

void TestCallLog::sortByTitleAndKeepItAcrossARestart()
{
    TEST_SMALL_CALL_LOG(t);
    {
        Session s(t);
        QVERIFY(s.ready());
        s.show(1, 2);
        QCOMPARE(s.marker("RDate"), grid::SortMarker::Ascending);
        s.clickTitle(QStringLiteral("RTime"));
        QCOMPARE(s.dm.MainObject->FieldRing, 1);
        QCOMPARE(s.dm.MainObject->DescRing, 0);
        QCOMPARE(s.lines().last(), QStringLiteral("ORDER BY RHour ,RMin ,RSec "));
        QCOMPARE(s.marker("RTime"), grid::SortMarker::Ascending);
        QCOMPARE(s.marker("RDate"), grid::SortMarker::None);
        s.clickTitle(QStringLiteral("RTime"));
        QCOMPARE(s.dm.MainObject->DescRing, 1);
        QCOMPARE(s.lines().last(), QStringLiteral("ORDER BY RHour DESC,RMin DESC,RSec DESC"));
        QCOMPARE(s.text(0, "RLen"),
                 QStringLiteral(" 1 ч 02 мин 05 сек")); // 23:59:59 first
        // The operator rearranges the columns; sorting again keeps that.
        QHeaderView* h = s.tabs.GridRings->horizontalHeader();
        h->moveSection(h->visualIndex(s.column(QStringLiteral("FIO"))), 0);
        h->resizeSection(s.column(QStringLiteral("RLen")), 333);
        s.clickTitle(QStringLiteral("FIO"));
        QCOMPARE(s.dm.MainObject->FieldRing, 2);
        QCOMPARE(h->visualIndex(s.column(QStringLiteral("FIO"))), 0);
        QCOMPARE(h->sectionSize(s.column(QStringLiteral("RLen"))), 333);
        s.clickTitle(QStringLiteral("RTime"));
        s.clickTitle(QStringLiteral("RTime"));
        QCOMPARE(s.dm.MainObject->DescRing, 1);
        s.form.close();
    }
    // The next start shows the same order, marker and layout from the first "Показать".
    Session s(t);
    QVERIFY(s.ready());
    QCOMPARE(s.dm.MainObject->FieldRing, 1);
    s.show(1, 2);
    QCOMPARE(s.lines().last(), QStringLiteral("ORDER BY RHour DESC,RMin DESC,RSec DESC"));
    QCOMPARE(s.marker("RTime"), grid::SortMarker::Descending);
    QHeaderView* h = s.tabs.GridRings->horizontalHeader();
    QCOMPARE(h->visualIndex(s.column(QStringLiteral("FIO"))), 0);
    QCOMPARE(h->sectionSize(s.column(QStringLiteral("RLen"))), 333);
}

// The zone and the cost come from the tariffs, not the database: the program sorts the rows
// once they are in, and the order is kept across a restart as the others are.
void TestCallLog::sortByCostAndZone()
{
    TEST_SMALL_CALL_LOG(t);
    {
        Session s(t);
        QVERIFY(s.ready());
        s.testModel();
        // 30 s to 8125551: 1,00; 3725 s to 4951234567: 63 minutes at 20,00; one incoming call.
        test::storeDefaultPlan(s.dm, {test::zoneRule(QStringLiteral("Местные"), {}, 7, 100),
                                      test::zoneRule(QStringLiteral("Междугородные"),
                                                     QStringLiteral("495"), 10, 2000)});
        s.show(1, 2);
        QCOMPARE(s.texts("RCost"),
                 (QStringList{QStringLiteral("1,00"), QString(), QStringLiteral("1260,00")}));
        // Sums of money stand to the right, as numbers do.
        QCOMPARE(s.tabs.GridRings->model()
                     ->index(0, s.column(QStringLiteral("RCost")))
                     .data(Qt::TextAlignmentRole),
                 int(Qt::AlignRight | Qt::AlignVCenter));
        // The zone's column holds the longest zone of the tariffs.
        QVERIFY(s.tabs.GridRings->columnWidth(s.column(QStringLiteral("RZone"))) >
                s.tabs.GridRings->fontMetrics().horizontalAdvance(QStringLiteral("Междугородные")));

        // The first click puts the dearest calls first.
        s.clickTitle(QStringLiteral("RCost"));
        QCOMPARE(s.dm.MainObject->FieldRing, 7);
        QCOMPARE(s.lines().last(), QStringLiteral("ORDER BY RingDate"));
        QCOMPARE(s.marker("RCost"), grid::SortMarker::Descending);
        // Calls without a cost come last either way.
        QCOMPARE(s.texts("RCost"),
                 (QStringList{QStringLiteral("1260,00"), QStringLiteral("1,00"), QString()}));
        s.clickTitle(QStringLiteral("RCost"));
        QCOMPARE(s.texts("RCost"),
                 (QStringList{QStringLiteral("1,00"), QStringLiteral("1260,00"), QString()}));
        QCOMPARE(s.marker("RCost"), grid::SortMarker::Ascending);
        QCOMPARE(s.rows(), QStringLiteral("3"));
        QCOMPARE(s.time(), QStringLiteral(" 1 ч 03 мин 40 сек"));

        s.clickTitle(QStringLiteral("RZone"));
        QCOMPARE(s.dm.MainObject->FieldRing, 6);
        QCOMPARE(s.texts("RZone"), (QStringList{QStringLiteral("Междугородные"),
                                                QStringLiteral("Местные"), QString()}));
        s.clickTitle(QStringLiteral("RCost"));
        s.form.close();
    }
    Session s(t);
    QVERIFY(s.ready());
    QCOMPARE(s.dm.MainObject->FieldRing, 7);
    s.show(1, 2);
    QCOMPARE(s.texts("RCost"),
             (QStringList{QStringLiteral("1260,00"), QStringLiteral("1,00"), QString()}));
    QCOMPARE(s.marker("RCost"), grid::SortMarker::Descending);
}

void TestCallLog::actionsFollowTheTabAndTheGrid()
{
    SMALL_LOG_SESSION(t, s);
    QCOMPARE(s.form.windowTitle(), QStringLiteral("Статистика звонков"));
    QCOMPARE(s.form.StatusPanel[0]->text(), t.path());
    for (QAction* a : {s.form.ANew, s.form.AProperty, s.form.AErase, s.form.AExport})
        QVERIFY(!a->isEnabled());
    s.show(1, 2);
    QVERIFY(s.form.AExport->isEnabled());
    QVERIFY(!s.form.ANew->isEnabled());
    s.form.PageControl->setCurrentIndex(1);
    for (QAction* a : {s.form.ANew, s.form.AProperty, s.form.AErase, s.form.AExport})
        QVERIFY(a->isEnabled());
    s.form.PageControl->setCurrentIndex(0);
    QVERIFY(!s.form.AErase->isEnabled());
    // The line list shows the city numbers through the mask.
    s.dm.MainObject->N7 = 4;
    s.form.ARefresh->trigger();
    QCOMPARE(s.tabs.cqLines->itemText(1), QStringLiteral("21-500-01"));
    QCOMPARE(s.tabs.cqLines->currentIndex(), 0);
}

void TestCallLog::incomingRowsOnSilver()
{
    SMALL_LOG_SESSION(t, s);
    s.show(1, 2);
    QAbstractItemModel* m = s.tabs.GridRings->model();
    const QColor silver(192, 192, 192);
    QCOMPARE(m->index(1, 0).data(Qt::BackgroundRole).value<QBrush>().color(), silver); // incoming
    QVERIFY(!m->index(0, 0).data(Qt::BackgroundRole).isValid());
    s.tabs.cbOUT->setChecked(false); // before "Показать": no colouring at the next paint
    QVERIFY(!m->index(1, 0).data(Qt::BackgroundRole).isValid());
}

void TestCallLog::failedQueryKeepsTheLastResult()
{
    SMALL_LOG_SESSION(t, s);
    s.show(1, 2);
    s.dm.ibTranRO.rollback(); // the connection's reading transaction is gone
    s.tabs.seRingLen->setValue(100);
    s.show();
    QCOMPARE(Messages::shown().size(), 1);
    QCOMPARE(Messages::shown()[0].kind, Messages::Kind::Error);
    QVERIFY(s.tabs.sbStart->isEnabled());
    QVERIFY(!s.tabs.GridRings->isHidden());
    QCOMPARE(s.rows(), QStringLiteral("3"));
    QCOMPARE(s.tabs.GridRings->model()->rowCount(), 3);
    // The kept grid shows its order and its titles still sort.
    QCOMPARE(s.marker("RDate"), grid::SortMarker::Ascending);
    s.dm.ibTranRO.start();
    s.tabs.seRingLen->setValue(0);
    s.clickTitle(QStringLiteral("RTime"));
    QCOMPARE(Messages::shown().size(), 1);
    QCOMPARE(s.dm.MainObject->FieldRing, 1);
    QCOMPARE(s.marker("RTime"), grid::SortMarker::Ascending);
    // A sort that fails leaves the marker where the rows are sorted.
    s.dm.ibTranRO.rollback();
    s.clickTitle(QStringLiteral("FIO"));
    QCOMPARE(Messages::shown().size(), 2);
    QCOMPARE(s.dm.MainObject->FieldRing, 1);
    QCOMPARE(s.marker("RTime"), grid::SortMarker::Ascending);
    QCOMPARE(s.marker("FIO"), grid::SortMarker::None);
    s.dm.ibTranRO.start();
    s.tabs.seRingLen->setValue(100);
    s.show();
    QCOMPARE(s.rows(), QStringLiteral("1"));
}

// The date order is read along the indexes the database has, whatever their names; where they
// are missing, or the server refuses them, the rows come sorted.
void TestCallLog::datePlanFollowsTheIndexesOfTheDatabase()
{
    TEST_SMALL_CALL_LOG(t);
    t.exec({QStringLiteral("DROP INDEX IX_Rings_Date"),
            QStringLiteral("CREATE INDEX IX_Rings_Date ON Rings (NumberOut)")});
    const QStringList sorted = byDate({Period});
    {
        Session s(t);
        s.show(1, 2);
        QCOMPARE(s.lines(), sorted);
    }
    t.exec({QStringLiteral("CREATE INDEX \"Call moment\" ON Rings (RingDate)"),
            QStringLiteral("ALTER TABLE Users DROP CONSTRAINT PK_Users"),
            QStringLiteral("ALTER TABLE Users ADD CONSTRAINT Users_Key PRIMARY KEY (NumberIN)")});
    Session s(t);
    s.show(1, 2);
    QCOMPARE(s.lines()[4], QStringLiteral("PLAN JOIN (R ORDER \"Call moment\" INDEX (\"Call "
                                          "moment\"), L INDEX (PK_LINES), U INDEX (USERS_KEY))"));
    // Switched off after the connection looked: the server refuses the plan.
    QVERIFY2(
        s.dm.Write({stmt::Statement().add(QStringLiteral("ALTER INDEX \"Call moment\" INACTIVE"))},
                   TDM::Refusal::RollBack) == TDM::WriteResult::Written,
        qPrintable(s.dm.WriteErrorText()));
    s.show();
    QCOMPARE(s.lines(), sorted);
    QCOMPARE(s.rows(), QStringLiteral("3"));
    QVERIFY(Messages::shown().isEmpty());
}

void TestCallLog::escapeAsksBeforeClosing()
{
    SMALL_LOG_SESSION(t, s);
    s.form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&s.form));
    Messages::setNextAnswer(QMessageBox::Cancel);
    QTest::keyClick(s.tabs.sbStart, Qt::Key_Escape);
    QCOMPARE(Messages::shown().size(), 1);
    QCOMPARE(Messages::shown()[0].text, QStringLiteral("Завершить работу ?"));
    QCOMPARE(Messages::shown()[0].kind, Messages::Kind::Confirmation);
    QVERIFY(s.form.isVisible());
    Messages::setNextAnswer(QMessageBox::Ok);
    QTest::keyClick(s.tabs.seRingLen, Qt::Key_Escape);
    QCOMPARE(Messages::shown().size(), 2);
    QVERIFY(!s.form.isVisible());
}

void TestCallLog::aRemovedDatabaseFileIsNoticed()
{
    SMALL_LOG_SESSION(t, s);
    s.show(1, 2);

    // Another program moves the file away: nothing may be read from or written to a file
    // that nobody can open again.
    const QString moved = t.path() + QStringLiteral(".moved");
    QVERIFY(QFile::rename(t.path(), moved));
    Messages::clearShown();
    s.show();
    QCOMPARE(Messages::shown().size(), 1);
    QVERIFY(Messages::shown()[0].text.contains(QStringLiteral("удален или заменен")));
    QCOMPARE(s.rows(), QStringLiteral("3")); // the rows on show stay
    QVERIFY(!s.tabs.GridRings->isHidden());
    Messages::clearShown();
    QVERIFY_THROWS_EXCEPTION(db::DbError, s.dm.StartWrite());
    QVERIFY(!s.dm.WriteActive());

    // A file of the same name in its place is another file.
    QVERIFY(QFile::copy(moved, t.path()));
    QVERIFY_THROWS_EXCEPTION(db::DbError, s.dm.StartWrite());

    // The opened file back under its name: work goes on.
    QVERIFY(QFile::remove(t.path()));
    QVERIFY(QFile::rename(moved, t.path()));
    s.show();
    QVERIFY(Messages::shown().isEmpty());
    s.dm.StartWrite();
    QVERIFY(s.dm.WriteActive());
    s.dm.ibTran.rollback();
}

void TestCallLog::periodShortcuts()
{
    using P = PeriodButton;
    const auto is = [](P::Period p, QDate today, QDate first, QDate last) {
        return P::range(p, today) == std::pair{first, last};
    };
    // A leap year's 1 March, a Friday.
    const QDate march1(2024, 3, 1);
    QVERIFY(is(P::Today, march1, march1, march1));
    QVERIFY(is(P::Yesterday, march1, QDate(2024, 2, 29), QDate(2024, 2, 29)));
    QVERIFY(is(P::ThisWeek, march1, QDate(2024, 2, 26), QDate(2024, 3, 3)));
    QVERIFY(is(P::LastWeek, march1, QDate(2024, 2, 19), QDate(2024, 2, 25)));
    QVERIFY(is(P::ThisMonth, march1, march1, QDate(2024, 3, 31)));
    QVERIFY(is(P::LastMonth, march1, QDate(2024, 2, 1), QDate(2024, 2, 29)));
    // New Year's day, a Wednesday: the week, the month and the year before cross the year.
    const QDate jan1(2025, 1, 1);
    QVERIFY(is(P::Yesterday, jan1, QDate(2024, 12, 31), QDate(2024, 12, 31)));
    QVERIFY(is(P::ThisWeek, jan1, QDate(2024, 12, 30), QDate(2025, 1, 5)));
    QVERIFY(is(P::LastWeek, jan1, QDate(2024, 12, 23), QDate(2024, 12, 29)));
    QVERIFY(is(P::LastMonth, jan1, QDate(2024, 12, 1), QDate(2024, 12, 31)));
    QVERIFY(is(P::ThisYear, jan1, jan1, QDate(2025, 12, 31)));
    // A Sunday and a Monday belong to the week that starts on that Monday.
    QVERIFY(is(P::ThisWeek, QDate(2026, 3, 8), QDate(2026, 3, 2), QDate(2026, 3, 8)));
    QVERIFY(is(P::ThisWeek, QDate(2026, 3, 9), QDate(2026, 3, 9), QDate(2026, 3, 15)));
    QVERIFY(is(P::LastMonth, QDate(2023, 3, 31), QDate(2023, 2, 1), QDate(2023, 2, 28)));

    // In the window: reached with Tab from the second date, opened from the keyboard; a choice
    // sets both dates and runs nothing.
    SMALL_LOG_SESSION(t, s);
    PeriodButton* period = s.form.findChild<PeriodButton*>(QStringLiteral("sbPeriod"));
    QVERIFY(period);
    period->setToday([] { return QDate(2024, 3, 1); });
    s.form.activateWindow();
    s.tabs.dDo->setFocus();
    // Tab first walks the date's own sections, then leaves it.
    for (int i = 0; i < 4 && QApplication::focusWidget() == s.tabs.dDo; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), period);
    QTimer::singleShot(0, period, [period] {
        QMenu* menu = period->menu();
        QVERIFY(menu->isVisible());
        QTest::keyClick(menu, Qt::Key_Down); // "Сегодня"
        QTest::keyClick(menu, Qt::Key_Down); // "Вчера"
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QTest::keyClick(period, Qt::Key_Down, Qt::AltModifier);
    QVERIFY(qobject_cast<DateField*>(s.tabs.dOT) && qobject_cast<DateField*>(s.tabs.dDo));
    QCOMPARE(s.dates(), std::pair(QDate(2024, 2, 29), QDate(2024, 2, 29)));
    QVERIFY(s.tabs.GridRings->isHidden());
    QTimer::singleShot(0, period, [period] {
        QMenu* menu = period->menu();
        QVERIFY(menu->isVisible());
        menu->actions().at(5)->trigger(); // "Прошлый месяц"
        menu->close();
    });
    QTest::keyClick(period, Qt::Key_Space);
    QCOMPARE(s.dates(), std::pair(QDate(2024, 2, 1), QDate(2024, 2, 29)));
    QVERIFY(s.tabs.GridRings->isHidden());
}

namespace {

// Number and talk time of the calls of the window's statement for January to March, counted
// by the server.
std::pair<qint64, qint64> serverTotals(TDM& dm)
{
    dm.IBSQL.sql().clear();
    dm.IBSQL.sql().add(QStringLiteral(
        "SELECT COUNT(*), SUM(R.RingLength) FROM Rings R, Lines L, Users U "
        "WHERE R.Rline = L.NumberLine AND R.NumberIn = U.NumberIn "
        "AND R.RingDate BETWEEN '2026-01-01 00:00:00' AND '2026-03-31 23:59:59.059'"));
    dm.IBSQL.execQuery();
    return {dm.IBSQL.fields()[0]->asInt64(), dm.IBSQL.fields()[1]->asInt64()};
}

// The talk time of the rows the grid holds, added up from the grid's own query.
qint64 heldTalkTime(TDM& dm)
{
    db::Query& q = dm.ibQueryRings;
    qint64 sum = 0;
    for (qint64 i = 0; i < qint64(q.recordCount()); ++i)
        sum += q.atRow(i, [&] { return q.field(QStringLiteral("RINGLENGTH")).asInt64(); });
    return sum;
}

} // namespace

void TestCallLog::rowsArriveWhileTheWindowAnswers()
{
    TEST_DEMO_CALL_LOG(t, 40000, QDateTime(QDate(2026, 3, 31), QTime(23, 0)));
    Session s(t);
    QVERIFY(s.ok);
    s.testModel();
    s.startQuarter();
    // Rows arrive: the button stops, the totals and what acts on the whole list wait.
    QVERIFY(s.loading());
    QCOMPARE(s.tabs.sbStart->text(), QStringLiteral("Стоп"));
    QVERIFY(s.tabs.sbStart->isEnabled());
    QCOMPARE(s.rows(), QString());
    QCOMPARE(s.time(), QString());
    QVERIFY(!s.form.AExport->isEnabled());
    QVERIFY(!s.form.N5->isEnabled());
    QVERIFY(!s.form.N22->isEnabled());
    // The rows come in growing steps, the grid shows before the last of them.
    std::vector<int> steps;
    connect(s.tabs.GridRings->model(), &QAbstractItemModel::rowsInserted, this,
            [&](const QModelIndex&, int, int last) { steps.push_back(last + 1); });
    // Looked at between any two events: the rest of a fast load may come in one step.
    bool shownEarly = false;
    QTimer look;
    connect(&look, &QTimer::timeout, this,
            [&] { shownEarly = shownEarly || (s.loading() && !s.tabs.GridRings->isHidden()); });
    look.start(0);
    // A title clicked meanwhile sorts nothing.
    QVERIFY(QTest::qWaitFor([&] { return !s.tabs.GridRings->isHidden(); }, 30000));
    if (s.loading()) {
        s.clickTitle(QStringLiteral("FIO")); // waits for the end
        QCOMPARE(s.dm.MainObject->FieldRing, 0);
        QCOMPARE(s.lines().last(), QStringLiteral("ORDER BY RingDate "));
    }
    QVERIFY(s.waitLoaded());
    QVERIFY(steps.size() >= 2);
    QVERIFY(std::is_sorted(steps.begin(), steps.end()));
    QVERIFY(shownEarly);

    // The totals are those of every row, as the server counts them.
    const auto [count, talk] = serverTotals(s.dm);
    QVERIFY(count > 39000);
    QCOMPARE(s.rows(), QString::number(count));
    QCOMPARE(s.time(), DurationText(talk));
    QCOMPARE(s.tabs.GridRings->model()->rowCount(), int(count));
    QCOMPARE(s.tabs.sbStart->text(), QStringLiteral("Показать"));
    QVERIFY(s.form.AExport->isEnabled() && s.form.N5->isEnabled() && s.form.N22->isEnabled());
    QVERIFY(!s.form.StatusNote->text().contains(QStringLiteral("Загрузка")));
    QVERIFY(Messages::shown().isEmpty());
    // The last row is on show as any other.
    QVERIFY(!s.text(int(count) - 1, "FIO").isEmpty());

    // Now the titles sort: the list comes again in the new order with the same totals.
    s.clickTitle(QStringLiteral("FIO"));
    QCOMPARE(s.dm.MainObject->FieldRing, 2);
    QCOMPARE(s.lines().last(), QStringLiteral("ORDER BY FIO "));
    QCOMPARE(s.rows(), QString::number(count));
    QCOMPARE(s.time(), DurationText(talk));
    QCOMPARE(s.marker("FIO"), grid::SortMarker::Ascending);
    QVERIFY(s.tabs.GridRings->titleButton(s.column(QStringLiteral("RTime"))));
}

void TestCallLog::stopKeepsTheRowsThatArrived()
{
    TEST_DEMO_CALL_LOG(t, 60000, QDateTime(QDate(2026, 3, 31), QTime(23, 0)));
    Session s(t);
    QVERIFY(s.ok);
    s.testModel();
    const auto [count, talk] = serverTotals(s.dm);

    // "Стоп" pressed as soon as the first rows are in the grid.
    auto stopAtFirstRows =
        connect(s.tabs.GridRings->model(), &QAbstractItemModel::rowsInserted, this, [&] {
            if (s.loading())
                QTest::mouseClick(s.tabs.sbStart, Qt::LeftButton);
        });
    s.startQuarter();
    QVERIFY(s.waitLoaded());
    disconnect(stopAtFirstRows);
    const int kept = s.tabs.GridRings->model()->rowCount();
    QVERIFY(kept > 0);
    QVERIFY(kept < count);
    QCOMPARE(s.dm.ibQueryRings.recordCount(), std::size_t(kept));
    // The totals are those of the rows on show, and the status bar says they are not all.
    QCOMPARE(s.rows(), QString::number(kept));
    QCOMPARE(s.time(), DurationText(heldTalkTime(s.dm)));
    QVERIFY(s.form.StatusNote->text().startsWith(
        QStringLiteral("Загрузка остановлена: показаны не все звонки периода")));
    QVERIFY(s.form.StatusPanel[0]->isVisible()); // the database's name stays on show beside it
    QCOMPARE(s.tabs.sbStart->text(), QStringLiteral("Показать"));
    QVERIFY(!s.tabs.GridRings->isHidden());
    QVERIFY(s.form.AExport->isEnabled());
    QVERIFY(Messages::shown().isEmpty());
    // Nothing comes after the stop.
    QTest::qWait(200);
    QCOMPARE(s.tabs.GridRings->model()->rowCount(), kept);

    // "Стоп" at once, before any row: an empty list, said so.
    QTest::mouseClick(s.tabs.sbStart, Qt::LeftButton);
    QVERIFY(s.loading());
    QTest::mouseClick(s.tabs.sbStart, Qt::LeftButton);
    QVERIFY(!s.loading());
    QVERIFY(s.form.StatusNote->text().startsWith(
        QStringLiteral("Загрузка остановлена: показаны не все звонки периода")));
    QCOMPARE(s.rows(), QString::number(s.tabs.GridRings->model()->rowCount()));

    // "Показать" again: the whole list, the note gone.
    s.show();
    QCOMPARE(s.rows(), QString::number(count));
    QCOMPARE(s.time(), DurationText(talk));
    QVERIFY(!s.form.StatusNote->text().contains(QStringLiteral("Загрузка")));
}

void TestCallLog::closingWhileRowsArrive()
{
    TEST_DEMO_CALL_LOG(t, 40000, QDateTime(QDate(2026, 3, 31), QTime(23, 0)));
    {
        // The window closed while rows arrive: the load stops, the layout is kept.
        Session s(t);
        QVERIFY(s.ok);
        s.startQuarter();
        QVERIFY(s.loading());
        QVERIFY(QTest::qWaitFor([&] { return s.tabs.GridRings->model()->rowCount() > 0; }, 30000));
        s.form.close();
        QVERIFY(!s.dm.ibQueryRings.fetching());
        QVERIFY(!s.loading());
    }
    {
        // The window destroyed, and the data module after it, with rows still coming.
        Session s(t);
        QVERIFY(s.ok);
        s.startQuarter();
        QVERIFY(s.loading());
    }
    {
        // The data module's connection closed under a load: the window stays usable.
        Session s(t);
        QVERIFY(s.ok);
        s.startQuarter();
        QVERIFY(s.loading());
        s.dm.ibDatabase.close();
        QVERIFY(s.waitLoaded());
        QCOMPARE(s.tabs.sbStart->text(), QStringLiteral("Показать"));
        QVERIFY(s.tabs.sbStart->isEnabled());
    }
}

void TestCallLog::callsOutsideTheDirectories()
{
    SMALL_LOG_SESSION(t, s);
    s.show(1, 2);
    // Line 9 and subscriber 300 are in no directory: the status bar counts their calls.
    const auto status = [&] { return s.form.StatusNote->text(); };
    QVERIFY2(QTest::qWaitFor([&] {
                 return status().contains(
                     QStringLiteral("Звонков вне справочников: 2 (в списке не"));
             }),
             qPrintable(status()));
    QTest::mouseClick(s.form.TabSheet1->cbOutside, Qt::LeftButton);
    s.show();
    QCOMPARE(s.rows(), QStringLiteral("5"));
    QCOMPARE(s.time(), DurationText(30 + 65 + 3725 + 50 + 60));
    // The bare numbers where the names would be.
    const QStringList shown = s.texts("FIO") + s.texts("NUMBERTOWN");
    QVERIFY2(shown.contains(QStringLiteral("300")) &&
                 shown.contains(s.dm.MainObject->FormatPhoneNumber(QStringLiteral("9"))),
             qPrintable(shown.join(u'|')));
    QVERIFY(
        QTest::qWaitFor([&] { return status().contains(QStringLiteral("показаны в списке")); }));
}

KELVORA_TEST_MAIN(TestCallLog)
#include "test_calllog.moc"
