// The window of the bill check over a small database and a small CSV bill, driven as the
// operator drives it.
#include "support/MainWindowSession.h"
#include "support/TestMain.h"

#include "app/Messages.h"
#include "data/Bill.h"
#include "grid/GridTable.h"
#include "support/CallData.h"
#include "support/TariffData.h"
#include "support/WindowSuite.h"
#include "ui/controls/DateField.h"
#include "ui/stats/TBillForm.h"

#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

namespace {

QString cell(const QTableView* t, int row, int column)
{
    return t->model()->index(row, column).data().toString();
}

QDateTime when(int h, int m, int s = 0)
{
    return QDateTime(QDate(2026, 3, 2), QTime(h, m, s));
}

// Four outgoing calls of 2 March 2026 on lines 1 and 2, and one incoming.
void fillLog(test::TestDatabase& t)
{
    t.exec({QStringLiteral("INSERT INTO Lines VALUES (1, 2150001, NULL, NULL)"),
            QStringLiteral("INSERT INTO Lines VALUES (2, 2150002, NULL, NULL)"),
            QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (101, 'Иванов')"),
            test::insertCall(when(10, 0), 60, 4951112233.0, 1, 101),  // on the bill as made
            test::insertCall(when(11, 0), 100, 4952223344.0, 1, 101), // billed longer
            test::insertCall(when(12, 0), 30, 8125551, 2, 101),       // never billed
            test::insertCall(when(12, 30), 90, 0, 2, 101)});          // incoming
}

// The operator's bill: the first call as made, the second 30 s longer, a call the log does not
// have and a line whose number does not read.
QString writeBill(const QString& dir)
{
    const QString path = dir + QStringLiteral("/bill.csv");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write("\"Дата и время\";\"Номер\";\"Длительность\";\"Сумма\"\n"
            "02.03.2026 10:00:30;84951112233;1:00;1,00\n"
            "02.03.2026 11:00:05;+74952223344;2:10;3,00\n"
            "02.03.2026 13:00:00;84953334455;0:45;2,50\n"
            "02.03.2026 14:00:00;справка;0:10;1,00\n");
    return path;
}

// Shows the window, if it is not yet on show, and opens the bill at `path` in it.
void openBill(TBillForm& w, const QString& path)
{
    w.show();
    TBillForm::setNextFileName(path);
    QTest::mouseClick(w.bbOpen, Qt::LeftButton);
}

void pick(QComboBox* box, Qt::Key key)
{
    box->setFocus();
    QTest::keyClick(box, key);
}

// Clicks "Сравнить" and waits for the check to end.
bool compared(TBillForm& w)
{
    QTest::mouseClick(w.bbCompare, Qt::LeftButton);
    return QTest::qWaitFor([&w] { return !w.running(); });
}

void typeCity(TBillForm& w)
{
    QTest::mouseClick(w.eCity, Qt::LeftButton);
    QTest::keyClick(w.eCity, Qt::Key_Home);
    QTest::keyClicks(w.eCity, QStringLiteral("495"));
}

// The cells of a table against their texts, row, column and text a case.
struct Cell
{
    int row;
    int column;
    const char* text;
};

} // namespace

// The database `t` with the log above, its session `s` and the bill window `w` on show.
#define TEST_BILL_WINDOW(t, s, w)                                                                  \
    TEST_NEW_DATABASE(t);                                                                          \
    fillLog(t);                                                                                    \
    test::MainWindowSession s(t);                                                                  \
    QVERIFY(s.ok);                                                                                 \
    TBillForm w(s.dm);                                                                             \
    w.show()

class TestBillForm : public test::WindowSuite
{
    Q_OBJECT

private slots:
    void checkOfASmallBill();
    void wrongColumnTold();
    void columnsRemembered();
    void reportToPdf();
};

void TestBillForm::checkOfASmallBill()
{
    TEST_BILL_WINDOW(t, s, w);
    QVERIFY(!w.bbCompare->isEnabled());
    openBill(w, writeBill(t.dir()));
    // The rows as read, the columns as guessed and the period of the bill's calls.
    QCOMPARE(w.GridPreview->rowCount(), 5);
    QCOMPARE(cell(w.GridPreview, 1, 1), QStringLiteral("84951112233"));
    QCOMPARE(w.cbNumber->currentData().toInt(), 1);
    QCOMPARE(w.cbDuration->currentData().toInt(), 2);
    QCOMPARE(w.cbCost->currentData().toInt(), 3);
    QCOMPARE(w.seFirstRow->value(), 2);
    QCOMPARE(w.dOT->date(), QDate(2026, 3, 2));
    QCOMPARE(w.dDo->date(), QDate(2026, 3, 2));
    typeCity(w);
    QCOMPARE(w.eCity->text(), QStringLiteral("495"));

    QVERIFY(compared(w));
    QVERIFY(w.hasResult());
    QCOMPARE(w.bbCompare->text(), QStringLiteral("Сравнить"));
    // The classes in their order: match, duration, cost, not in the log, not on the bill.
    const Cell summary[] = {{0, 1, "1"}, {1, 1, "1"},    {1, 2, "130"}, {1, 3, "100"}, {2, 1, "0"},
                            {3, 1, "1"}, {3, 4, "2,50"}, {4, 1, "1"},   {4, 3, "30"}};
    for (const Cell& c : summary)
        QCOMPARE(cell(w.GridSummary, c.row, c.column), QString::fromUtf8(c.text));
    // What a spreadsheet gets of both tables: counts and sums as numbers, money with two places.
    const grid::GridTable summaryFile(*w.GridSummary), rowsFile(*w.GridRows);
    QCOMPARE(summaryFile.decimals(4), std::optional<int>(2));
    QCOMPARE(summaryFile.decimals(1), std::nullopt);
    QCOMPARE(summaryFile.rowValues(3)[4], QVariant(2.5));
    QCOMPARE(summaryFile.rowValues(1)[2], QVariant(130.0));
    QCOMPARE(rowsFile.decimals(8), std::optional<int>(2));
    QCOMPARE(rowsFile.rowValues(1)[4], QVariant(2.5));
    QCOMPARE(rowsFile.rowValues(1)[5], QVariant(QString())); // no log side
    QCOMPARE(w.LabelDisputed->text(), QStringLiteral("Сумма к оспариванию: 2,50 руб."));
    QVERIFY2(w.LabelRefused->text().startsWith(
                 QStringLiteral("Не прочитано строк счёта: 1 (в сверку не вошли)\nстрока 5: ")),
             qPrintable(w.LabelRefused->text()));

    // Every call that differs, both sides, by number; a click on the number's title turns the
    // order round.
    QCOMPARE(w.GridRows->model()->rowCount(), 3);
    QCOMPARE(cell(w.GridRows, 0, 0), bill::kindText(bill::Kind::Duration));
    // Row 1 has no log side, row 2 no bill side.
    const Cell rows[] = {
        {0, 1, "+74952223344"}, {0, 3, "130"}, {0, 6, "100"}, {1, 1, "+74953334455"}, {1, 5, ""},
        {2, 1, "+74958125551"}, {2, 2, ""},    {2, 7, "2"}};
    for (const Cell& c : rows)
        QCOMPARE(cell(w.GridRows, c.row, c.column), QString::fromUtf8(c.text));
    QHeaderView* header = w.GridRows->horizontalHeader();
    w.PageResult->setCurrentIndex(2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    QCOMPARE(cell(w.GridRows, 0, 1), QStringLiteral("+74958125551"));
    QCOMPARE(cell(w.GridRows, 2, 1), QStringLiteral("+74952223344"));

    // Only the calls the log does not have: the third class of the filter.
    for (int i = 0; i < 3; ++i)
        pick(w.cbKind, Qt::Key_Down);
    QCOMPARE(w.cbKind->currentText(), bill::kindText(bill::Kind::NotInLog));
    QCOMPARE(w.GridRows->model()->rowCount(), 1);
    QCOMPARE(cell(w.GridRows, 0, 2), QStringLiteral("02.03.2026 13:00:00"));
    QCOMPARE(cell(w.GridRows, 0, 4), QStringLiteral("2,50"));
    QVERIFY(w.bbExport->isEnabled());

    // Lines picked by hand: one the directory lacks is told and nothing runs; line 1 by its
    // city number leaves line 2's call out of "нет в счёте".
    QTest::keyClicks(w.eLines, QStringLiteral("9999999"));
    Messages::clearShown();
    QTest::mouseClick(w.bbCompare, Qt::LeftButton);
    QCOMPARE(Messages::shown().size(), 1);
    QVERIFY2(Messages::shown()[0].text.contains(QStringLiteral("«9999999»")),
             qPrintable(Messages::shown()[0].text));
    w.eLines->clear();
    QTest::keyClicks(w.eLines, QStringLiteral("215-00-01"));
    QVERIFY(compared(w));
    QCOMPARE(cell(w.GridSummary, 0, 1), QStringLiteral("1"));
    QCOMPARE(cell(w.GridSummary, 4, 1), QStringLiteral("0"));
}

void TestBillForm::wrongColumnTold()
{
    TEST_BILL_WINDOW(t, s, w);
    openBill(w, writeBill(t.dir()));
    // The date column chosen as the number as well: told before anything is read.
    pick(w.cbNumber, Qt::Key_Home);
    QCOMPARE(w.cbNumber->currentData().toInt(), 0);
    Messages::clearShown();
    QTest::mouseClick(w.bbCompare, Qt::LeftButton);
    QVERIFY(!w.running());
    QCOMPARE(Messages::shown().size(), 1);
    QVERIFY(!w.hasResult());
}

void TestBillForm::columnsRemembered()
{
    TEST_NEW_DATABASE(t);
    fillLog(t);
    // A database whose tariff tables were made before the choices were remembered.
    t.exec({QStringLiteral("DROP TABLE BillColumns")});
    test::MainWindowSession s(t);
    QVERIFY(s.ok);
    test::storeDefaultPlan(s.dm, {});
    const QString bill = writeBill(t.dir());
    {
        TBillForm w(s.dm);
        openBill(w, bill);
        QCOMPARE(w.cbCost->currentData().toInt(), 3); // the guess
        // By hand: the bill's sums left out.
        pick(w.cbCost, Qt::Key_Home);
        QCOMPARE(w.cbCost->currentData().toInt(), -1);
        QVERIFY(compared(w));
        QVERIFY(w.hasResult());
        QTest::mouseClick(w.bbClose, Qt::LeftButton);
        QVERIFY(!w.isVisible());
    }

    TBillForm w(s.dm);
    openBill(w, bill);
    QCOMPARE(w.cbCost->currentData().toInt(), -1);
    QCOMPARE(w.cbNumber->currentData().toInt(), 1);
    // A plan with nothing remembered keeps the columns on show; back to all lines, the same.
    QCOMPARE(w.cbPlan->count(), 2);
    pick(w.cbPlan, Qt::Key_End);
    QCOMPARE(w.cbPlan->currentText(), QStringLiteral("Город"));
    pick(w.cbCost, Qt::Key_End);
    QCOMPARE(w.cbCost->currentData().toInt(), 3);
    pick(w.cbPlan, Qt::Key_Home);
    QCOMPARE(w.cbCost->currentData().toInt(), -1);
}

void TestBillForm::reportToPdf()
{
    TEST_BILL_WINDOW(t, s, w);
    QVERIFY(!w.bbReport->isEnabled());
    openBill(w, writeBill(t.dir()));
    typeCity(w);
    QVERIFY(compared(w));
    QVERIFY(w.bbReport->isEnabled());
    // The template as installed beside the program.
    QVERIFY(QFile::copy(QStringLiteral(KELVORA_SOURCE_DIR "/templates/report5.frf"),
                        s.dm.MainObject->ProgramDir + QStringLiteral("report5.frf")));

    // Laid out off the window's thread, then shown.
    QTest::mouseClick(w.bbReport, Qt::LeftButton);
    QTRY_VERIFY(w.reportWindow());
    QDialog* report = w.reportWindow();
    QVERIFY(!w.running());
    QVERIFY(report->isVisible());
    auto* pdf = report->findChild<QPushButton*>(QStringLiteral("bbPdf"));
    QVERIFY(pdf);
    const QString path = t.dir() + QStringLiteral("/сверка.pdf");
    TBillForm::setNextPdfName(path);
    QTest::mouseClick(pdf, Qt::LeftButton);
    QVERIFY(QFile::exists(path));

    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(60000));
    const QString read = QString::fromUtf8(text.readAllStandardOutput());
    // The sum worth disputing, a class's count and the call the log does not have.
    QVERIFY2(read.contains(QStringLiteral("Сумма к оспариванию: 2,50 руб.")), qPrintable(read));
    QVERIFY2(read.contains(QRegularExpression(QStringLiteral("нет в журнале +1 "))),
             qPrintable(read));
    QVERIFY2(read.contains(QRegularExpression(
                 QStringLiteral("\\+74953334455 +02\\.03\\.2026 13:00:00 +45 +2,50"))),
             qPrintable(read));
}

KELVORA_TEST_MAIN(TestBillForm)
#include "test_billform.moc"
