// Line-load statistics over a data set made for the test.
#include "support/CallData.h"
#include "support/TestMain.h"

#include "DemoData.h"
#include "app/Messages.h"
#include "data/CallRecord.h"
#include "data/TDM.h"
#include "runs/ShareRun.h"
#include "support/MainWindowSession.h"
#include "support/WindowSuite.h"
#include "ui/controls/TComboQuery.h"
#include "ui/main/TMainForm.h"
#include "ui/stats/TStat1Form.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QFile>
#include <QGraphicsTextItem>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <QtCharts/QChartView>
#include <QtCharts/QPieSeries>
#include <QtCharts/QPieSlice>

#include <atomic>

namespace {

// A database `t` of the statements `sql` alone, a session `s` over it and `w`, its statistics
// window of 1 March 2026 as on a screen 1024 pixels wide, on show.
#define PIE_WINDOW(sql, w)                                                                         \
    TEST_NEW_DATABASE(t);                                                                          \
    t.exec(sql);                                                                                   \
    test::MainWindowSession s(t);                                                                  \
    QVERIFY(s.ok);                                                                                 \
    TStat1Form w(s.dm, QDate(2026, 3, 1), QDate(2026, 3, 1), *s.tabs.cqLines, *s.tabs.cqUsers);    \
    w.resize(1000, 600);                                                                           \
    w.show()

// The labels drawn on the pie, with a text.
QList<const QGraphicsTextItem*> pieLabels(const TStat1Form& w)
{
    QList<const QGraphicsTextItem*> out;
    for (QGraphicsItem* item : w.Chart2->scene()->items())
        if (auto* text = dynamic_cast<QGraphicsTextItem*>(item))
            if (text->isVisible() && !text->toPlainText().isEmpty())
                out << text;
    return out;
}

// The main window, from which the statistics window takes its lists.
struct Session : test::MainWindowSession
{
    Session(test::TestDatabase& t) : MainWindowSession(t) { ok = ok && tabs.cqUsers->count() == 3; }
    std::unique_ptr<TStat1Form> stats(int fromDay, int toDay)
    {
        return std::make_unique<TStat1Form>(dm, QDate(2026, 3, fromDay), QDate(2026, 3, toDay),
                                            *tabs.cqLines, *tabs.cqUsers);
    }
};

// The small call log and a session of the program over it.
#define SMALL_LOG_SESSION(t, s)                                                                    \
    TEST_SMALL_CALL_LOG(t);                                                                        \
    Session s(t);                                                                                  \
    QVERIFY(s.ok)

QStringList labels(const QPieSeries* s)
{
    QStringList out;
    for (const QPieSlice* slice : s->slices())
        out << slice->label();
    return out;
}

QString percent(double v)
{
    return QLocale().toString(v, 'f', 1) + u'%';
}

// Waits until what the worker counted is on show.
bool ended(TStat1Form& w)
{
    return QTest::qWaitFor([&w] { return !w.computing(); }, 60000);
}

// Clicks "Показать" and waits for its figures.
bool shown(TStat1Form& w)
{
    QTest::mouseClick(w.bbSave, Qt::LeftButton);
    return ended(w);
}

// Runs `onWorker` on the window's worker each time it has counted `done` sums (0: attached,
// before the total), before it goes on.
template <typename Fn> void atProgress(TStat1Form& w, Fn onWorker)
{
    ShareRun* run = w.findChild<ShareRun*>();
    QVERIFY(run);
    run->setStepHook(onWorker);
}

} // namespace

class TestStats : public test::WindowSuite
{
    Q_OBJECT
private slots:
    void statementsAndFigures();
    void slicesOfLines();
    void slicesOfSubscribers();
    void captionsAndMessages();
    void cannotCloseWhileComputing();
    void stopAndEscapeWhileComputing();
    void destroyedWhileComputing();
    void sumsThatFailedAreTold();
    void smallSlicesGoToTheLegend();
    void fortyLinesAllNamedInTheLegend();
};

void TestStats::statementsAndFigures()
{
    SMALL_LOG_SESSION(t, s);
    auto w = s.stats(1, 2);
    QCOMPARE(w->clbLinesOut->count(), 2);
    QCOMPARE(w->clbLinesOut->item(0)->text(), QStringLiteral("2150001"));
    QCOMPARE(w->clbLinesIn->item(1)->text(), QStringLiteral("Петрова Анна Сергеевна"));
    w->clbLinesOut->item(0)->setCheckState(Qt::Checked);
    QVERIFY(shown(*w));
    const QStringList common = {
        QStringLiteral(
            "SELECT sum(TimeHour) as TimeHour,sum(TimeMin) as TimeMin,sum(TimeSec) as TimeSec"),
        QStringLiteral("FROM Rings R,Lines L,Users U"),
        QStringLiteral("WHERE R.RingDate BETWEEN :P0 AND :P1 ")};
    const QString join = QStringLiteral("AND R.Rline=L.NumberLine AND R.NumberIn=U.NumberIn");
    // One read of the period, the sums of every line at once.
    const QStringList byLine = {QStringLiteral("SELECT R.RLine AS KeyNumber,sum(TimeHour) as "
                                               "TimeHour,sum(TimeMin) as TimeMin,sum(TimeSec) as "
                                               "TimeSec"),
                                common[1], common[2]};
    const QString groupByLine = QStringLiteral("GROUP BY R.RLine");
    QCOMPARE(w->lastStatement(), (byLine + QStringList{join, groupByLine}));
    QCOMPARE(w->PanelTotalTime->text(), QStringLiteral(" 1 ч 03 мин 40 сек"));  // 3820 s
    QCOMPARE(w->PanelSelectTime->text(), QStringLiteral(" 1 ч 02 мин 35 сек")); // 3755 s

    // The same sums as the run works them out for each choice of the direction boxes, without
    // the window: the period's total, then one sum per key.
    const auto sums = [&s](bool incoming, bool outgoing, const QString& keyColumn,
                           std::vector<int> keys) {
        ShareRun run;
        QSignalSpy finished(&run, &ShareRun::finished);
        ShareRun::Request request;
        request.place = readingPlaceOf(s.dm);
        request.period = stmt::Period{QDate(2026, 3, 1), QDate(2026, 3, 2)};
        request.incoming = incoming;
        request.outgoing = outgoing;
        request.keyColumn = keyColumn;
        request.keys = std::move(keys);
        run.start(std::move(request));
        if (finished.isEmpty() && !finished.wait(60000))
            qWarning("the statistics run did not finish");
        ShareRun::Result result = run.result();
        if (run.state() != ShareRun::State::Finished)
            result.total.error = QStringLiteral("not finished");
        return result;
    };
    ShareRun::Result in = sums(true, false, stmt::TalkSum::LineColumn, {});
    QCOMPARE(in.total.value, qint64(65));
    QVERIFY(in.total.error.isEmpty());
    QCOMPARE(in.lastStatement,
             (byLine + QStringList{QStringLiteral("AND NumberOut=0"), join, groupByLine}));
    // Neither box: no direction condition.
    ShareRun::Result any = sums(false, false, {}, {});
    QCOMPARE(any.total.value, qint64(3820));
    QCOMPARE(any.lastStatement, (byLine + QStringList{join, groupByLine}));
    ShareRun::Result out = sums(false, true, stmt::TalkSum::LineColumn, {2});
    QCOMPARE(out.total.value, qint64(3755));
    QCOMPARE(out.lastStatement[3], QStringLiteral("AND NumberOut>0"));
    QCOMPARE(out.items.size(), std::size_t(1));
    QCOMPARE(out.items[0].value, qint64(0)); // line 2 only took an incoming call
    ShareRun::Result users = sums(true, true, stmt::TalkSum::UserColumn, {102, 0});
    QCOMPARE(users.total.value, qint64(3820));
    QCOMPARE(users.items.size(), std::size_t(2));
    QCOMPARE(users.items[0].value, qint64(3790));
    QCOMPARE(users.items[1].value, qint64(0)); // key 0 is a number like any other: no calls
}

void TestStats::slicesOfLines()
{
    SMALL_LOG_SESSION(t, s);
    auto w = s.stats(1, 2);
    w->clbLinesOut->item(0)->setCheckState(Qt::Checked);
    QVERIFY(shown(*w));
    QCOMPARE(labels(w->Series1),
             (QStringList{QStringLiteral("2150001 ") + percent(100.0 * 3755 / 3820),
                          QStringLiteral("Прочие ") + percent(100.0 * 65 / 3820)}));
    QCOMPARE(w->Series1->slices()[0]->value(), 100.0 / 3820 * 3755);
    QVERIFY(w->Chart2->isVisible() || !w->isVisible());
    // Everything checked: no "Прочие".
    TStat1Form::SetAllChecked(*w->clbLinesOut, true);
    QVERIFY(shown(*w));
    QCOMPARE(w->Series1->count(), 2);
    QVERIFY(!labels(w->Series1).join(u'|').contains(QStringLiteral("Прочие")));
    // All but line 2, which has no outgoing calls: "Прочие" at 0 % is still there.
    w->cbIN->setChecked(false);
    w->clbLinesOut->item(1)->setCheckState(Qt::Unchecked);
    QVERIFY(shown(*w));
    QCOMPARE(labels(w->Series1).last(), QStringLiteral("Прочие ") + percent(0));
    // The slice of 0 % is named in the legend alone; "Список" hides and shows the legend. A
    // tab change empties the result, the marks stay.
    QVERIFY(!w->Series1->slices().last()->isLabelVisible());
    QCOMPARE(w->lvLegend->topLevelItem(1)->text(0), QStringLiteral("Прочие"));
    QCOMPARE(w->lvLegend->topLevelItem(1)->text(1), percent(0));
    QVERIFY(w->Series1->slices().first()->isLabelVisible());
    QVERIFY(w->lvLegend->isVisible() || !w->isVisible());
    w->mShowLegend->trigger();
    QVERIFY(w->lvLegend->isHidden());
    w->mShowLegend->trigger();
    QVERIFY(!w->lvLegend->isHidden());
    w->PageControl->setCurrentIndex(1);
    QCOMPARE(w->Series1->count(), 0);
    QCOMPARE(w->lvLegend->topLevelItemCount(), 0);
    QVERIFY(w->PanelTotalTime->text().isEmpty());
    QCOMPARE(TStat1Form::CountChecked(*w->clbLinesOut), 1);
}

void TestStats::slicesOfSubscribers()
{
    SMALL_LOG_SESSION(t, s);
    auto w = s.stats(1, 2);
    w->PageControl->setCurrentIndex(1);
    w->clbLinesIn->item(1)->setCheckState(Qt::Checked);
    QVERIFY(shown(*w));
    QCOMPARE(w->lastStatement().last(), QStringLiteral("GROUP BY R.NumberIn"));
    QCOMPARE(labels(w->Series1)[0], QStringLiteral("Петрова  ") + percent(100.0 * 3790 / 3820));
    // The legend names the subscriber in full.
    QCOMPARE(w->lvLegend->headerItem()->text(0), QStringLiteral("Абонент"));
    QCOMPARE(w->lvLegend->topLevelItem(0)->text(0), QStringLiteral("Петрова Анна Сергеевна"));
    QCOMPARE(w->PanelSelectTime->text(), QStringLiteral(" 1 ч 03 мин 10 сек"));
}

void TestStats::captionsAndMessages()
{
    SMALL_LOG_SESSION(t, s);
    const auto day = [](int d) {
        return QLocale().toString(QDate(2026, 3, d), QLocale::ShortFormat);
    };
    auto one = s.stats(2, 2);
    QCOMPARE(one->windowTitle(), QStringLiteral("Загрузка линий за ") + day(2));
    auto period = s.stats(1, 2);
    QCOMPARE(period->windowTitle(), QStringLiteral("Загрузка линий за период с ") + day(1) +
                                        QStringLiteral(" по ") + day(2));
    QVERIFY(shown(*period));
    QCOMPARE(Messages::shown().last().text, QStringLiteral("Надо отметить хотя бы ОДНУ линию"));
    QCOMPARE(Messages::shown().last().kind, Messages::Kind::Plain);
    auto empty = s.stats(20, 21);
    empty->clbLinesOut->item(0)->setCheckState(Qt::Checked);
    QVERIFY(shown(*empty));
    QCOMPARE(Messages::shown().last().text, QStringLiteral("Разговоров не зафиксировано."));
    QCOMPARE(Messages::shown().last().kind, Messages::Kind::Information);
    QCOMPARE(empty->Series1->count(), 0);
    QVERIFY(empty->PanelTotalTime->text().isEmpty());
    QVERIFY(empty->bbSave->isEnabled());
}

void TestStats::cannotCloseWhileComputing()
{
    SMALL_LOG_SESSION(t, s);
    auto w = s.stats(1, 2);
    w->show();
    TStat1Form::SetAllChecked(*w->clbLinesOut, true);
    // The click returns while the sums run: an Escape or the close box then.
    QTest::mouseClick(w->bbSave, Qt::LeftButton);
    w->reject();
    w->close();
    const bool refused = w->computing() && w->isVisible() && !w->bbSave->isEnabled();
    QVERIFY(ended(*w));
    QVERIFY(refused);
    QVERIFY(w->isVisible());
    QCOMPARE(w->Series1->count(), 2); // the result was drawn whole
    w->reject();
    QVERIFY(!w->isVisible());
}

// The window answers while the sums run: "Стоп" and then Escape end them with nothing drawn;
// Escape after that closes the window.
void TestStats::stopAndEscapeWhileComputing()
{
    SMALL_LOG_SESSION(t, s);
    auto w = s.stats(1, 2);
    w->show();
    TStat1Form::SetAllChecked(*w->clbLinesOut, true);
    QSemaphore answered; // the worker waits, once attached, until the window has answered
    atProgress(*w, [&](qint64 done) {
        if (done == 0)
            answered.acquire();
    });
    for (const bool escape : {false, true}) {
        QTest::mouseClick(w->bbSave, Qt::LeftButton);
        if (escape)
            QTest::keyClick(w->clbLinesOut, Qt::Key_Escape);
        else
            QTest::mouseClick(w->bbStop, Qt::LeftButton);
        answered.release();
        QVERIFY(ended(*w));
        QCOMPARE(w->PanelFailure->text(), QStringLiteral("Расчёт остановлен."));
        QCOMPARE(w->Series1->count(), 0);
        QVERIFY(w->PanelTotalTime->text().isEmpty());
        QVERIFY(w->isVisible() && w->bbSave->isEnabled() && !w->bbStop->isVisible());
    }
    QTest::keyClick(w->clbLinesOut, Qt::Key_Escape);
    QVERIFY(!w->isVisible());
}

// Over a log that takes a while to read: destroying the window during the read, after a
// second click and the close box were refused, stops its worker at once.
void TestStats::destroyedWhileComputing()
{
    TEST_DEMO_CALL_LOG(t, 60000, QDateTime(QDate(2026, 3, 31), QTime(23, 0)));
    test::MainWindowSession s(t);
    QVERIFY(s.ok);
    auto w = std::make_unique<TStat1Form>(s.dm, QDate(2026, 1, 1), QDate(2026, 3, 31),
                                          *s.tabs.cqLines, *s.tabs.cqUsers);
    w->show();
    TStat1Form::SetAllChecked(*w->clbLinesOut, true);
    QSemaphore reading;
    std::atomic<qint64> done{-1};
    atProgress(*w, [&](qint64 n) {
        done = n;
        if (n == 0)
            reading.release();
    });
    QTest::mouseClick(w->bbSave, Qt::LeftButton);
    reading.acquire(); // attached, the period's read begins
    QTest::mouseClick(w->bbSave, Qt::LeftButton);
    w->close();
    QVERIFY(w->computing() && w->isVisible());
    w.reset();
    QVERIFY2(done == 0, qPrintable(QString::number(done))); // the read never came to the lines
}

void TestStats::smallSlicesGoToTheLegend()
{
    // Eight subscribers of 3 % each side by side at the top of the pie, one of 76 %, two of
    // a few seconds.
    QStringList sql{QStringLiteral("INSERT INTO Lines VALUES (1, 2150001, NULL, NULL)")};
    const int seconds[] = {300, 300, 300, 300, 300, 300, 300, 300, 7580, 10, 10};
    for (int i = 0; i < 11; ++i) {
        sql << QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (%1, 'Абонент%2 Т')")
                   .arg(101 + i)
                   .arg(i, 2, 10, QLatin1Char('0'));
        sql << test::insertCall(QDateTime(QDate(2026, 3, 1), QTime(10, i, 0)), seconds[i], 8125551,
                                1, 101 + i);
    }
    PIE_WINDOW(sql, w);
    w.PageControl->setCurrentIndex(1);
    TStat1Form::SetAllChecked(*w.clbLinesIn, true);
    QVERIFY(shown(w));
    QCOMPARE(w.Series1->count(), 11);
    QTest::qWait(50); // the chart lays out again once its size is known
    const auto drawn = pieLabels(w);
    QVERIFY(!drawn.isEmpty()); // the labels were laid out and looked at
    for (int i = 0; i < drawn.size(); ++i)
        for (int j = i + 1; j < drawn.size(); ++j)
            QVERIFY(!drawn[i]->sceneBoundingRect().intersects(drawn[j]->sceneBoundingRect()));
    // Some slices have no label; every slice is named in the legend.
    int unnamed = 0;
    for (const QPieSlice* slice : w.Series1->slices())
        unnamed += !slice->isLabelVisible();
    QVERIFY(unnamed >= 2);
    QCOMPARE(w.lvLegend->topLevelItemCount(), 11);
    QCOMPARE(w.lvLegend->topLevelItem(9)->text(0), QStringLiteral("Абонент09 Т"));
    QVERIFY(w.Series1->slices()[8]->isLabelVisible());
}

// Forty lines of shares from under 0,1 % to about 5 %: the legend names every one in full with
// its colour and share, and the labels on the pie are whole, inside the chart and apart.
void TestStats::fortyLinesAllNamedInTheLegend()
{
    QStringList sql{
        QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (101, 'Иванов Иван Петрович')")};
    for (int line = 1; line <= 40; ++line) {
        sql << QStringLiteral("INSERT INTO Lines VALUES (%1, %2, NULL, NULL)")
                   .arg(line)
                   .arg(2150100 + line);
        sql << test::insertCall(QDateTime(QDate(2026, 3, 1), QTime(8, line, 0)),
                                line % 7 == 0 ? 5 : 20 * line, 8125551, line, 101);
    }
    PIE_WINDOW(sql, w);
    TStat1Form::SetAllChecked(*w.clbLinesOut, true);
    QVERIFY(shown(w));
    QCOMPARE(w.Series1->count(), 40);
    QTest::qWait(50); // the chart lays out again once its size is known

    QTreeWidget* legend = w.lvLegend;
    QVERIFY(legend->isVisible());
    QCOMPARE(legend->topLevelItemCount(), 40);
    const QFontMetrics fm = legend->fontMetrics();
    for (int i = 0; i < 40; ++i) {
        const QTreeWidgetItem* row = legend->topLevelItem(i);
        QPieSlice* slice = w.Series1->slices()[i];
        QCOMPARE(row->text(0), w.clbLinesOut->item(i)->text());
        QCOMPARE(row->text(1), percent(slice->percentage() * 100.0));
        // The whole name beside its colour.
        legend->scrollToItem(row);
        const QRect name = legend->visualItemRect(row);
        QVERIFY2(legend->columnWidth(0) >= fm.horizontalAdvance(row->text(0)) + 16,
                 qPrintable(row->text(0)));
        QVERIFY(legend->viewport()->rect().contains(name.topLeft()));
        QCOMPARE(row->icon(0).pixmap(8, 8).toImage().pixelColor(4, 4).rgb(), slice->color().rgb());
    }

    // Labels: whole texts of their slices, within the chart, never over each other.
    QStringList sliceLabels =
        labels(w.Series1).replaceInStrings(QStringLiteral("  "), QStringLiteral(" "));
    const QRectF chart = w.Chart2->chart()->sceneBoundingRect();
    const auto placed = pieLabels(w);
    for (const QGraphicsTextItem* text : placed) {
        QVERIFY2(sliceLabels.contains(text->toPlainText().simplified()),
                 qPrintable(text->toPlainText()));
        QVERIFY(chart.contains(text->sceneBoundingRect()));
    }
    QVERIFY(placed.size() >= 5);
    for (int i = 0; i < placed.size(); ++i)
        for (int j = i + 1; j < placed.size(); ++j)
            QVERIFY(!placed[i]->sceneBoundingRect().intersects(placed[j]->sceneBoundingRect()));

    // A row clicked pulls its slice out.
    legend->scrollToItem(legend->topLevelItem(30));
    QTest::mouseClick(legend->viewport(), Qt::LeftButton, {},
                      legend->visualItemRect(legend->topLevelItem(30)).center());
    QVERIFY(w.Series1->slices()[30]->isExploded());
    QVERIFY(!w.Series1->slices()[29]->isExploded());
}

// A read that fails is not a period without calls: the window says what it could not count
// and why; a connection lost once the period is read loses nothing.
void TestStats::sumsThatFailedAreTold()
{
    SMALL_LOG_SESSION(t, s);
    auto w = s.stats(1, 2);
    TStat1Form::SetAllChecked(*w->clbLinesOut, true);
    // The worker's connection is shut down, as by a server going away, once it has counted
    // `cutAfter` sums: before the read, then once the two lines are read.
    qint64 cutAfter = 0;
    atProgress(*w, [&](qint64 done) {
        if (done == cutAfter)
            t.exec({QStringLiteral("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = "
                                   "(SELECT MAX(MON$ATTACHMENT_ID) FROM MON$ATTACHMENTS "
                                   "WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION)")});
    });
    QVERIFY(shown(*w));
    QVERIFY(w->PanelFailure->text().startsWith(QStringLiteral("не удалось посчитать общее время")));
    QCOMPARE(w->PanelTotalTime->text(), DurationText(0));
    QCOMPARE(w->Series1->count(), 0);
    QVERIFY(Messages::shown().isEmpty());
    cutAfter = 2;
    QVERIFY(shown(*w));
    QVERIFY2(w->PanelFailure->text().isEmpty(), qPrintable(w->PanelFailure->text()));
    QCOMPARE(w->PanelTotalTime->text(), DurationText(3820));
    QCOMPARE(w->Series1->count(), 2);
    cutAfter = -1;
    QVERIFY(shown(*w));
    QVERIFY(w->PanelFailure->text().isEmpty());
}

KELVORA_TEST_MAIN(TestStats)
#include "test_stats.moc"
