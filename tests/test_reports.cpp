// The reports window and the program's templates over a data set made for the test; printed
// figures read back from the PDF with pdftotext. The engine alone is test_report_engine.
#include "support/CallData.h"
#include "support/ReportPages.h"
#include "support/TariffData.h"
#include "support/TestMain.h"

#include "app/Messages.h"
#include "app/TWaitForm.h"
#include "data/TDM.h"
#include "db/Sql.h"
#include "report/ReportEngine.h"
#include "report/ReportOutput.h"
#include "report/ReportTemplate.h"
#include "reportview/ReportPreview.h"
#include "reportview/ReportPrint.h"
#include "runs/ReportValues.h"
#include "support/Login.h"
#include "ui/controls/DateField.h"
#include "ui/stats/TReportForm.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

struct Program
{
    explicit Program(test::TestDatabase& t, bool withTemplates = true) : dm(t.dir())
    {
        if (withTemplates)
            for (const ReportKindInfo& report : ReportKinds)
                QFile::copy(QStringLiteral(KELVORA_SOURCE_DIR "/templates/") +
                                QLatin1String(report.templateName),
                            t.dir() + u'/' + QLatin1String(report.templateName));
        test::login(dm, t.path());
        form = std::make_unique<TReportForm>(dm);
        form->dOT->setDate(QDate(2026, 3, 1));
        form->dDo->setDate(QDate(2026, 3, 2));
        systemPrint = form->PrintHook;
        form->PrintHook = [this](const report::PreparedReport& r, QString&) {
            printed = int(r.pages.size());
            return true;
        };
    }
    /// Clicks one of the window's buttons and waits for the run it starts to end (the run goes
    /// on off the window thread).
    bool click(QAbstractButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton);
        return QTest::qWaitFor([this] { return !form->running(); }, 120000);
    }
    /// Chooses the report and clicks one of the buttons, as click() does.
    bool run(int report, QAbstractButton* button)
    {
        form->cbReport->setCurrentIndex(report);
        return click(button);
    }
    QString pdfText(const QString& dir)
    {
        const QString pdf = dir + QStringLiteral("/out.pdf");
        if (!report::ReportOutput().writePdf(form->prepared(), pdf))
            return {};
        return test::output(QStringLiteral("pdftotext"),
                            {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    }
    TDM dm;
    std::unique_ptr<TReportForm> form;
    std::function<bool(const report::PreparedReport&, QString&)> systemPrint;
    int printed = 0;
};

// The small call log in `t` and the reports window over it in `p`.
#define TEST_SMALL_PROGRAM(t, p)                                                                   \
    TEST_SMALL_CALL_LOG(t);                                                                        \
    Program p(t)

// A word of a PDF's first page as pdftotext places it, relative to the page's size.
struct Word
{
    QString text;
    double x = 0;
    double y = 0;
};

QList<Word> firstPageWords(const QString& pdf)
{
    const QString html =
        test::output(QStringLiteral("pdftotext"),
                     {QStringLiteral("-bbox"), QStringLiteral("-f"), QStringLiteral("1"),
                      QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
    static const QRegularExpression page(
        QStringLiteral(R"re(<page width="([\d.]+)" height="([\d.]+)")re"));
    static const QRegularExpression word(QStringLiteral(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="[\d.]+" yMax="[\d.]+">([^<]*)</word>)re"));
    const QRegularExpressionMatch size = page.match(html);
    if (!size.hasMatch())
        return {};
    const double w = size.captured(1).toDouble();
    const double h = size.captured(2).toDouble();
    QList<Word> words;
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        words.append({m.captured(3), m.captured(1).toDouble() / w, m.captured(2).toDouble() / h});
    }
    return words;
}

// The first pages of two PDFs drawn at a low resolution in grey: the share of pixels that
// differ clearly (a misplaced or rescaled page differs in most of its ink).
double inkDifference(const QString& a, const QString& b, const QString& dir)
{
    auto draw = [&](const QString& pdf, const QString& name) {
        test::output(QStringLiteral("pdftoppm"),
                     {QStringLiteral("-r"), QStringLiteral("36"), QStringLiteral("-gray"),
                      QStringLiteral("-singlefile"), QStringLiteral("-f"), QStringLiteral("1"),
                      QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-png"), pdf,
                      dir + u'/' + name});
        return QImage(dir + u'/' + name + QStringLiteral(".png"))
            .convertToFormat(QImage::Format_Grayscale8);
    };
    const QImage x = draw(a, QStringLiteral("a"));
    const QImage y = draw(b, QStringLiteral("b"));
    if (x.isNull() || x.size() != y.size())
        return 1;
    qint64 differing = 0;
    qint64 ink = 0;
    for (int r = 0; r < x.height(); ++r)
        for (int c = 0; c < x.width(); ++c) {
            const int u = x.pixelColor(c, r).value();
            const int v = y.pixelColor(c, r).value();
            ink += u < 160 || v < 160;
            differing += qAbs(u - v) > 96;
        }
    return ink == 0 ? 1 : double(differing) / double(ink);
}

// Every word of the reference page is on the other page, at the same place within 1% of the
// page; an empty text when so, else what is missing or misplaced.
QString compareWords(const QList<Word>& reference, const QList<Word>& other)
{
    if (reference.isEmpty())
        return QStringLiteral("the reference page has no text");
    QStringList faults;
    for (const Word& r : reference) {
        bool found = false;
        for (const Word& o : other)
            found = found || (o.text == r.text && qAbs(o.x - r.x) < 0.01 && qAbs(o.y - r.y) < 0.01);
        if (!found)
            faults << QStringLiteral("%1 at (%2, %3)").arg(r.text).arg(r.x).arg(r.y);
    }
    if (reference.size() != other.size())
        faults << QStringLiteral("%1 words against %2").arg(other.size()).arg(reference.size());
    return faults.join(QStringLiteral("; "));
}

// Clicks "PDF" and answers the file dialog that opens: `answer` is given the dialog and the file
// name it proposes, and returns the name to type (empty, or no `answer`, to press "Cancel").
// Whether the run ended and a dialog was answered or not, as `answered` says.
bool savePdf(Program& p, bool answered,
             const std::function<QString(QFileDialog*, const QString&)>& answer = {})
{
    QElapsedTimer since;
    bool stuck = false;
    bool done = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (done && dialog && dialog->isVisible() && since.elapsed() > 10000) {
            stuck = true; // the answer did not close it: close it, the test fails
            dialog->reject();
        }
        if (done || !dialog || !dialog->isVisible())
            return;
        since.start();
        done = true;
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString typed = answer ? answer(dialog, name ? name->text() : QString()) : QString();
        if (typed.isEmpty() || !name) {
            QTest::keyClick(dialog, Qt::Key_Escape);
            return;
        }
        name->selectAll();
        // Typed key by key, Cyrillic too (keyClicks takes Latin-1 only).
        for (const QChar c : typed)
            QTest::sendKeyEvent(QTest::Click, name, Qt::Key(c.toUpper().unicode()), QString(c),
                                Qt::NoModifier);
        QTest::keyClick(name, Qt::Key_Return);
    });
    timer.start(20);
    return p.click(p.form->bbPdf) && (done && !stuck) == answered;
}

// Prints the pages through a PDF printer of the given resolution into the file `pdf`.
bool printToPdf(const report::PreparedReport& pages, const QString& pdf, int dpi, QString& error)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setResolution(dpi);
    return report::print(pages, printer, error);
}

// Empty when pdfinfo finds the file's pages of the prepared pages' size within half a point,
// else the file and the size found.
QString pageSizeFault(const QString& pdf, const report::PreparedReport& pages)
{
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts"))
            .match(test::output(QStringLiteral("pdfinfo"), {pdf}));
    if (size.hasMatch() && qAbs(size.captured(1).toDouble() - pages.pageWidth) < 0.5 &&
        qAbs(size.captured(2).toDouble() - pages.pageHeight) < 0.5)
        return {};
    return pdf + u' ' + size.captured(0);
}

// Runs `act` once, as soon as `when` holds, from the events a busy window lets through.
struct OnceWhen
{
    OnceWhen(std::function<bool()> when, std::function<void()> act)
    {
        QObject::connect(&timer, &QTimer::timeout, [=, this] {
            if (!done && when() && (done = true))
                act();
        });
        timer.start(5);
    }
    QTimer timer;
    bool done = false;
};

// 80 more calls, and a detailed list whose every row carries a huge text: preparing it takes
// long, a page a row.
bool makeSlowDetailedList(test::TestDatabase& t)
{
    QStringList calls;
    for (int i = 0; i < 80; ++i)
        calls << test::insertCall(QDateTime(QDate(2026, 3, 1), QTime(9, 0).addSecs(i)), 10 + i,
                                  8120000 + i, 1, 101);
    t.exec(calls);
    return test::writeFile(
        t.dir() + QStringLiteral("/report2.frf"),
        "<report><band kind=\"masterData\" height=\"200\">"
        "<text x=\"0\" y=\"0\" w=\"180\" h=\"200\" size=\"8\">" +
            QByteArray("[FIO] ").repeated(60000) +
            "</text></band><band kind=\"pageFooter\" height=\"10\"><text x=\"0\" y=\"0\" "
            "w=\"50\" h=\"5\">[PAGE#]/[TOTALPAGES]</text></band></report>");
}

// Waits for the window's run to end (it runs off the window thread).
bool ended(const TReportForm& form)
{
    return QTest::qWaitFor([&] { return !form.running(); }, 120000);
}

bool busy()
{
    const QWidgetList all = QApplication::topLevelWidgets();
    return std::any_of(all.begin(), all.end(),
                       [](QWidget* w) { return qobject_cast<TWaitForm*>(w) && w->isVisible(); });
}

} // namespace

class TestReports : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(QStringLiteral("kelvora"));
        // The file dialogs keep their history in a settings file of the test's own.
        QStandardPaths::setTestModeEnabled(true);
    }
    void init() { Messages::setTestMode(true); }
    void summaryBySubscriber();
    void detailedList();
    void detailedTotalsWhereverTheTemplateShowsThem();
    void summaryByLine();
    void costsOnlyWithTariffs();
    void costReportCountsEveryOutgoingCall();
    void variables();
    void missingAndBrokenTemplateFiles();
    void titlesAndZoom();
    void escapeStopsALongPreparation();
    void oneRunAtATime();
    void theWindowAnswersDuringARun();
    void connectionLostDuringARun();
    void printedAtEveryResolutionAsPreviewed();
    void printedOnTheDefaultCupsPrinter();
    void savedAsPdfAsPreviewed();
    void pdfCancelledOrNotWritable();
    void previewReachesThePageOfAnyNumber();
    void longFiguresPrintWhole();
    void periodFieldsTakeTypedDates();
    void dateFieldReadsDatesAsTyped();
};

void TestReports::summaryBySubscriber()
{
    TEST_SMALL_CALL_LOG(t);
    t.exec(
        {QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (103, 'Сидоров Без Звонков')")});
    Program p(t);
    QVERIFY(p.click(p.form->bbPreview));
    QVERIFY2(Messages::shown().isEmpty(), qPrintable(Messages::shown().value(0).text));
    // By subscriber alone: the call on a line missing from the directory counts too.
    QCOMPARE(p.form->SCntInRing, 1);
    QCOMPARE(p.form->SCntOutRing, 3);
    QCOMPARE(p.form->SInRing, 65);
    QCOMPARE(p.form->SOutRing, 3805);
    QCOMPARE(p.form->SCntAllRing, 4);
    QCOMPARE(p.form->SAllRing, 3870);
    QVERIFY(!p.form->prepared().empty());
    QVERIFY(!p.dm.ibQueryReport.isOpen()); // the pages stay, the query is closed
    const QString text = p.pdfText(t.dir());
    QVERIFY2(text.contains(QStringLiteral("Сводный отчет по абонентам")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("Сидоров Без Звонков"))); // a row with zeros
    QVERIFY2(text.contains(QStringLiteral("1 ч 04 мин 30 сек")), qPrintable(text)); // 3870 s in all
    QVERIFY(text.contains(QStringLiteral("1 ч 03 мин 25 сек"))); // 3805 s outgoing
    QVERIFY(text.contains(QStringLiteral("Итого")));
    QVERIFY(text.contains(QStringLiteral("Статистика звонков"))); // the page header
    QVERIFY(text.contains(QStringLiteral("Стр. 1 из 1")));
    const QString ivanov =
        text.section(QStringLiteral("Иванов Иван Петрович"), 1).section(u'\n', 0, 0);
    QVERIFY2(ivanov.simplified().startsWith(
                 QStringLiteral("101 0 2 0 ч 01 мин 20 сек 2 0 ч 01 мин 20 сек")),
             qPrintable(ivanov.simplified()));
}

void TestReports::detailedList()
{
    TEST_SMALL_PROGRAM(t, p);
    p.dm.MainObject->N10 = 4; // dialled numbers of ten digits as xxx-xxx-xx-xx
    QVERIFY(p.run(1, p.form->bbPrint));
    QVERIFY(Messages::shown().isEmpty());
    QCOMPARE(p.printed, 1);
    QCOMPARE(p.form->SCntAllRing, 3); // joined to both directories; 23:59:59.5 is out
    QCOMPARE(p.form->SAllRing, 3820);
    QCOMPARE(p.form->SCntInRing + p.form->SCntOutRing + p.form->SInRing + p.form->SOutRing, 0);
    const QString text = p.pdfText(t.dir());
    QVERIFY2(text.contains(QStringLiteral("входящий")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("495-123-45-67")));
    QVERIFY(text.contains(QStringLiteral("23:59:59")));
    QVERIFY(text.contains(QStringLiteral("Итого звонков: 3")));
    QVERIFY(text.contains(QStringLiteral("Общее время: 1 ч 03 мин 40 сек")));
    QVERIFY(!text.contains(QStringLiteral("8120000"))); // the call after the period's end
}

// The detailed report lays its calls out as they are read, along the date index, unless its
// template shows a grand total before the summary; either way the totals are the server's,
// and an index another client switched off after the window looked costs nothing.
void TestReports::detailedTotalsWhereverTheTemplateShowsThem()
{
    TEST_SMALL_PROGRAM(t, p);
    QVERIFY(p.dm.DateIndexes());
    t.exec({QStringLiteral("ALTER INDEX IX_Rings_Date INACTIVE")});
    QVERIFY(p.run(int(ReportKind::Detailed), p.form->bbPreview));
    QVERIFY(Messages::shown().isEmpty());
    QVERIFY(p.pdfText(t.dir()).contains(QStringLiteral("Итого звонков: 3")));

    QFile file(t.dir() + QStringLiteral("/report2.frf"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(test::writeFile(
        file.fileName(),
        file.readAll().replace("[GetTitle]", "[GetTitle], звонков [GetSCntAllRing]")));
    QVERIFY(p.click(p.form->bbPreview));
    const QString text = p.pdfText(t.dir());
    QVERIFY2(text.contains(QStringLiteral(", звонков 3")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("Итого звонков: 3")));
}

// Without the tariff tables the detailed report is as it always was and the cost report says
// why it cannot be made; with a plan each call shows its zone and cost, and the summary the
// total and the calls without a tariff.
void TestReports::costsOnlyWithTariffs()
{
    TEST_SMALL_CALL_LOG(t);
    t.exec({QStringLiteral("DROP TABLE LineTariffs"), QStringLiteral("DROP TABLE TariffRules"),
            QStringLiteral("DROP TABLE TariffPlans"),
            QStringLiteral("DROP GENERATOR GEN_TARIFFID")});
    Program p(t);
    p.form->show();
    QVERIFY(p.run(int(ReportKind::Detailed), p.form->bbPreview));
    QString text = p.pdfText(t.dir());
    QVERIFY2(text.contains(QStringLiteral("Итого звонков: 3")), qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("Зона")) && !text.contains(QStringLiteral("Стоимость")));
    p.form->cbReport->setCurrentIndex(int(ReportKind::Cost));
    QCOMPARE(p.form->cbReport->currentText(), QStringLiteral("Стоимость звонков"));
    QVERIFY(p.click(p.form->bbPreview));
    QCOMPARE(Messages::shown().size(), 1);
    QCOMPARE(Messages::shown().first().text, TReportForm::NoTariffsText());
    QCOMPARE(p.form->prepared().pages.size(), std::size_t(1)); // the detailed report stays

    tariff::createTables(p.dm);
    test::storeDefaultPlan(p.dm, {test::zoneRule(QStringLiteral("Местные"), QString(), 7, 100)});
    QVERIFY(p.run(int(ReportKind::Detailed), p.form->bbPreview));
    text = p.pdfText(t.dir());
    // 30 s to 8125551 costs a minute; 4951234567 matches no rule; the incoming call nothing.
    QVERIFY2(text.contains(QRegularExpression(QStringLiteral("8125551\\s+0 ч 00 мин 30 сек\\s+"
                                                             "Местные\\s+1,00\n"))),
             qPrintable(text));
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("сек\\s+без тарифа\n"))));
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("входящий\\s+0 ч 01 мин 05 сек\n"))));
    QVERIFY(text.contains(QStringLiteral("Стоимость: 1,00 (без тарифа: 1)")));
    QCOMPARE(Messages::shown().size(), 1);
}

// The cost report's grand total is every outgoing call of the period, as a sum the server
// computes with the rules written as CASE expressions: the calls whose line or subscriber is
// missing from the directories stand apart under "Вне справочников", priced by their line's
// plan or the default, and the subscribers' rows keep the calls the detailed report lists.
void TestReports::costReportCountsEveryOutgoingCall()
{
    TEST_SMALL_CALL_LOG(t);
    // The operator's money: 1 234,50 (the suite may run in another locale).
    const test::RussianLocale russian;
    const QDateTime day(QDate(2026, 3, 2), QTime(9, 0));
    t.exec({test::insertCall(day, 125, 8127777, 9, 300), // neither line nor subscriber listed
            test::insertCall(day.addSecs(600), 2, 8128888, 1, 102), // free
            test::insertCall(day.addSecs(1200), 200000, 8129999, 1, 101)});
    Program p(t);
    tariff::Plan city;
    city.id = 1;
    city.name = QStringLiteral("Город");
    city.isDefault = true;
    // 1,00 a minute, 60/60, 3 s free
    city.rules = {test::zoneRule(QStringLiteral("Местные"), QString(), 7, 100)};
    city.rules[0].freeSeconds = 3;
    tariff::Plan other;
    other.id = 2;
    other.name = QStringLiteral("Второй оператор");
    other.rules.resize(1);
    other.rules[0].zone = QStringLiteral("Все");
    other.rules[0].minutePrice = 2 * tariff::PriceUnit; // 2,00 a minute by the second
    other.rules[0].firstInterval = other.rules[0].nextInterval = 1;
    tariff::save(p.dm, {city, other}, {{9, 2}}); // line 9 is not listed

    db::Sql s(p.dm.ibDatabase, p.dm.ibTranRO);
    s.sql().add(QStringLiteral(
        "SELECT COUNT(*) AS CALLS, COUNT(C) AS PRICED, SUM(C) AS TOTAL FROM (SELECT CASE "
        "WHEN R.RLine = 9 THEN (D * 20000 + 3000) / 6000 "
        "WHEN CHAR_LENGTH(CAST(CAST(R.NumberOut AS BIGINT) AS VARCHAR(20))) = 7 THEN "
        "(CASE WHEN D <= 3 THEN 0 WHEN D <= 60 THEN 60 ELSE 60 + (D - 60 + 59) / 60 * 60 END "
        "* 10000 + 3000) / 6000 END AS C FROM (SELECT R.*, R.RingLength AS D FROM Rings R) R "
        "WHERE R.NumberOut > 0 AND R.RingDate BETWEEN '2026-03-01 00:00:00' "
        "AND '2026-03-02 23:59:59.059')"));
    s.execQuery();
    const qint64 total = s.field(QStringLiteral("TOTAL")).asInt64();

    QVERIFY(p.run(int(ReportKind::Detailed), p.form->bbPreview));
    const qint64 listed = p.form->SCost;
    QVERIFY(p.run(int(ReportKind::Cost), p.form->bbPreview));
    QVERIFY2(Messages::shown().isEmpty(), qPrintable(Messages::shown().value(0).text));
    QCOMPARE(p.form->SCntAllRing, s.field(QStringLiteral("CALLS")).asInt64());
    QCOMPARE(p.form->SNoTariff, p.form->SCntAllRing - s.field(QStringLiteral("PRICED")).asInt64());
    QCOMPARE(p.form->SCost, total);

    const QString text = p.pdfText(t.dir());
    // The thousands apart as the locale writes them; pdftotext reads the space as a plain one.
    const auto money = [](qint64 kopecks) {
        return QRegularExpression::escape(ReportMoneyText(kopecks).replace(QChar::Nbsp, u' '));
    };
    const QString outside = text.section(QStringLiteral("Вне справочников"), 1);
    QVERIFY2(outside.contains(QStringLiteral("Линия 9 (нет в справочнике) — абонента нет в "
                                             "справочнике")),
             qPrintable(text));
    QVERIFY(outside.contains(QStringLiteral("Линия 9 (нет в справочнике) — Иванов Иван Петрович")));
    QVERIFY(outside.contains(QStringLiteral("Линия 1 — абонента нет в справочнике")));
    // The directories' calls and those outside them make the grand total.
    QVERIFY2(outside.contains(
                 QRegularExpression(QStringLiteral("Итого вне справочников\\s+3\\s+.*сек\\s+%1\n")
                                        .arg(money(total - listed)))),
             qPrintable(text));
    // 3 341,84 in all, written as the operator reads money: the thousands apart.
    QVERIFY2(text.contains(
                 QRegularExpression(QStringLiteral("Итого за период\\s+7\\s+.*сек\\s+3 341,84\n"))),
             qPrintable(text));
}

void TestReports::summaryByLine()
{
    TEST_SMALL_PROGRAM(t, p);
    QVERIFY(p.run(2, p.form->bbPreview));
    // By line alone: the call of a subscriber missing from the directory counts too.
    QCOMPARE(p.form->SCntOutRing, 3);
    QCOMPARE(p.form->SOutRing, 3815);
    QCOMPARE(p.form->SCntInRing, 1);
    QCOMPARE(p.form->SAllRing, 3880);
    const QString text = p.pdfText(t.dir());
    QVERIFY2(text.contains(QStringLiteral("Отчет по внешним линиям")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("2150002")));
    QVERIFY(text.contains(QStringLiteral("1 ч 04 мин 40 сек")));
}

void TestReports::variables()
{
    TEST_NEW_DATABASE(t);
    t.exec({QStringLiteral("INSERT INTO Lines VALUES (1, 2150001, NULL, NULL)"),
            QStringLiteral("INSERT INTO Users (NumberIN, FIO) VALUES (101, 'Иванов')"),
            QStringLiteral("INSERT INTO Rings VALUES (7, 3, 12, 9, 5, 0, '2012-03-07 09:05:00', "
                           "1, 2, 5, 0, 1, 101)")});
    Program p(t);
    p.dm.MainObject->N7 = 3;
    TReportForm& f = *p.form;
    f.ReportTitle = QStringLiteral("Отчет за x");
    f.SCntInRing = 1;
    f.SCntOutRing = 2;
    f.SCntAllRing = 3;
    f.SInRing = 5;
    f.SOutRing = 3000000000LL; // past 32 bits
    f.SAllRing = 0;
    db::Query& q = p.dm.ibQueryReport;
    q.sql().add(QStringLiteral("SELECT RDay, RMont, RYear,RHour, RMin, RSec,RingLength,NumberOut,"
                               "L.NumberTown FROM Rings R, Lines L WHERE R.RLine = L.NumberLine"));
    q.open();
    auto v = [&](const char* n) { return f.frReportGetValue(QLatin1String(n)); };
    QCOMPARE(v("GetTitle")->toString(), QStringLiteral("Отчет за x"));
    QCOMPARE(v("GetDate")->toDate(), QDate(2012, 3, 7)); // a stored 12 is 2012
    QCOMPARE(v("GetTime")->toTime(), QTime(9, 5, 0));
    QCOMPARE(v("GetLenTime")->toString(), QStringLiteral(" 1 ч 02 мин 05 сек"));
    QCOMPARE(v("GetNumberOut")->toString(), QStringLiteral("входящий"));
    QCOMPARE(v("GetNumberTown")->toString(), QStringLiteral("2-15-00-01"));
    QCOMPARE(v("GetSCntInRing")->toLongLong(), 1);
    QCOMPARE(v("GetSCntOutRing")->toLongLong(), 2);
    QCOMPARE(v("GetSCntAllRing")->toLongLong(), 3);
    QCOMPARE(v("GetSInRing")->toString(), QStringLiteral(" 0 ч 00 мин 05 сек"));
    QCOMPARE(v("GetSOutRing")->toString(), QStringLiteral(" 833333 ч 20 мин 00 сек"));
    QCOMPARE(v("GetSAllRing")->toString(), QString());
    // Columns this query lacks: the variables print as empty text.
    QCOMPARE(v("GetCntInRing")->toString(), QString());
    QCOMPARE(v("GetAllRing")->toString(), QString());
    QVERIFY(!v("getTitle")); // names are exact
    QVERIFY(!v("Unknown"));
    q.close();
    q.sql().clear();
    q.sql().add(QStringLiteral("SELECT 2 AS CntInRing, 0 AS CntOutRing, 100 AS InRing, "
                               "CAST(NULL AS BIGINT) AS OutRing FROM RDB$DATABASE"));
    q.open();
    QCOMPARE(v("GetCntInRing")->toLongLong(), 2);
    QCOMPARE(v("GetCntOutRing")->toLongLong(), 0);
    QCOMPARE(v("GetCntAllRing")->toLongLong(), 2);
    QCOMPARE(v("GetInRing")->toString(), QStringLiteral(" 0 ч 01 мин 40 сек"));
    QCOMPARE(v("GetOutRing")->toString(), QString()); // a null sum
    QCOMPARE(v("GetAllRing")->toString(), QStringLiteral(" 0 ч 01 мин 40 сек"));
    QCOMPARE(v("GetDate")->toString(), QString());
    q.close();
}

void TestReports::missingAndBrokenTemplateFiles()
{
    TEST_SMALL_CALL_LOG(t);
    Program p(t, false);
    QVERIFY(p.click(p.form->bbPreview));
    QVERIFY(p.click(p.form->bbPrint));
    QVERIFY(savePdf(p, false)); // no file to choose when there is no template
    QCOMPARE(Messages::shown().size(), 3);
    for (const auto& message : Messages::shown())
        QCOMPARE(message.text, QStringLiteral("Файл не найден !"));
    QCOMPARE(Messages::shown()[0].kind, Messages::Kind::Dialog);
    QCOMPARE(p.printed, 0);
    Messages::clearShown();
    const QString broken = t.dir() + QStringLiteral("/report1.frf");
    QVERIFY(
        test::writeFile(broken, "<report><band kind=\"masterData\" height=\"5\"><text x=\"0\""));
    QVERIFY(p.click(p.form->bbPreview));
    QVERIFY(p.click(p.form->bbPrint));
    QCOMPARE(Messages::shown().size(), 2);
    // The program's message first, then the template's fault: the file, the line, what.
    const QStringList preview = Messages::shown()[0].text.split(u'\n');
    const QStringList print = Messages::shown()[1].text.split(u'\n');
    QCOMPARE(preview.size(), 2);
    QCOMPARE(print.size(), 2);
    QCOMPARE(preview[0], QStringLiteral("Не могу показать отчет !"));
    QCOMPARE(print[0], QStringLiteral("Ошибка в модуле PrintReport !"));
    QVERIFY2(preview[1].startsWith(QStringLiteral("report1.frf, line 1: ")),
             qPrintable(preview[1]));
    QCOMPARE(print[1], preview[1]);
    QCOMPARE(p.printed, 0);

    // A sound file with one bad number: the reason names its line and the attribute.
    Messages::clearShown();
    QVERIFY(test::writeFile(broken,
                            "<report>\n"
                            "  <band kind=\"masterData\" height=\"5\">\n"
                            "    <text x=\"0\" y=\"0\" w=\"10\" h=\"5\" size=\"nan\">[FIO]</text>\n"
                            "  </band>\n"
                            "</report>\n"));
    QVERIFY(p.click(p.form->bbPreview));
    QVERIFY(p.click(p.form->bbPrint));
    QVERIFY(savePdf(p, false));
    QCOMPARE(Messages::shown().size(), 3);
    QCOMPARE(Messages::shown()[2].text,
             Messages::shown()[0].text); // "PDF" says what the preview says
    QCOMPARE(Messages::shown()[0].text,
             QStringLiteral("Не могу показать отчет !\nreport1.frf, line 3: bad size \"nan\""));
    QCOMPARE(Messages::shown()[1].text, QStringLiteral("Ошибка в модуле PrintReport !\n"
                                                       "report1.frf, line 3: bad size \"nan\""));
    QVERIFY(p.form->prepared().empty());
    QCOMPARE(p.printed, 0);
}

void TestReports::escapeStopsALongPreparation()
{
    TEST_SMALL_PROGRAM(t, p);
    QVERIFY(p.run(0, p.form->bbPreview));
    const std::size_t before = p.form->prepared().pages.size();
    QVERIFY(before > 0);

    QVERIFY(makeSlowDetailedList(t));
    p.form->cbReport->setCurrentIndex(1);
    QElapsedTimer clock;
    clock.start();
    OnceWhen escape(busy, [&] { QTest::keyClick(p.form.get(), Qt::Key_Escape); });
    QVERIFY(p.click(p.form->bbPreview));
    QVERIFY(escape.done);
    // Stopped: nothing said, the previous pages still on show, the window still open.
    QVERIFY(Messages::shown().isEmpty());
    QCOMPARE(p.form->prepared().pages.size(), before);
    QVERIFY(p.form->result() == 0);
    qInfo("stopped after %lld ms", clock.elapsed());
}

// While a long run lasts the window answers but starts no other run: "Печать" pressed during
// a preview prints nothing, and the totals are the server's. A print stopped with Escape is
// told; a preview stopped after a print goes back to the pages the preview showed.
void TestReports::oneRunAtATime()
{
    TEST_SMALL_CALL_LOG(t);
    test::addManyCalls(t, 30000);
    Program p(t);
    p.form->show();
    p.form->cbReport->setCurrentIndex(1);
    bool disabled = false;
    OnceWhen press(busy, [&] {
        disabled = !p.form->bbPreview->isEnabled() && !p.form->cbReport->isEnabled() &&
                   !p.form->dOT->isEnabled() && !p.form->bbPdf->isEnabled();
        QTest::mouseClick(p.form->bbPrint, Qt::LeftButton);
    });
    QVERIFY(p.click(p.form->bbPreview));
    QVERIFY(press.done && disabled);
    QCOMPARE(p.printed, 0);
    p.dm.IBSQL.sql().add(QStringLiteral(
        "SELECT COUNT(*), SUM(RingLength) FROM Rings R, Lines L, Users U WHERE R.RLine = "
        "L.NumberLine AND R.NumberIn = U.NumberIn AND R.RingDate BETWEEN '2026-03-01' AND "
        "'2026-03-02 23:59:59.059'"));
    p.dm.IBSQL.execQuery();
    QCOMPARE(p.form->SCntAllRing, p.dm.IBSQL.fields()[0]->asInteger());
    QCOMPARE(p.form->SAllRing, p.dm.IBSQL.fields()[1]->asInteger());
    const report::PreparedReport* shown = &p.form->frPreview->report();

    QVERIFY(p.run(2, p.form->bbPrint));
    p.form->cbReport->setCurrentIndex(1);
    const auto escape = [&] { QTest::keyClick(p.form.get(), Qt::Key_Escape); };
    OnceWhen stopPrint(busy, escape);
    QVERIFY(p.click(p.form->bbPrint));
    QVERIFY(stopPrint.done);
    QCOMPARE(p.printed, 1);
    QCOMPARE(Messages::shown().size(), 1);
    QCOMPARE(Messages::shown()[0].text, QStringLiteral("Ошибка в модуле PrintReport !"));
    OnceWhen stopPreview([&] { return &p.form->frPreview->report() != shown; }, escape);
    QVERIFY(p.click(p.form->bbPreview));
    QVERIFY(stopPreview.done);
    QCOMPARE(&p.form->frPreview->report(), shown);
}

// The run goes on off the window thread: its first pages are on show before it ends, and a
// click on the preview's scroll bar moves them meanwhile.
void TestReports::theWindowAnswersDuringARun()
{
    TEST_SMALL_PROGRAM(t, p);
    QVERIFY(makeSlowDetailedList(t));
    p.form->cbReport->setCurrentIndex(1);
    p.form->resize(500, 400);
    p.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(p.form.get()));
    QTest::mouseClick(p.form->bbPreview, Qt::LeftButton);
    QVERIFY(p.form->running());
    QVERIFY(QTest::qWaitFor([&] { return !p.form->frPreview->report().empty(); }, 60000));
    QVERIFY(p.form->running());
    QScrollBar* bar = p.form->frPreview->verticalScrollBar();
    QTRY_VERIFY(bar->isVisible());
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - 20));
    QVERIFY(bar->value() > 0);
    // The calls are counted meanwhile: the pages on show tell the pages in all (a page a call).
    QVERIFY(QTest::qWaitFor(
        [&] {
            const report::PreparedReport& shown = p.form->frPreview->report();
            return std::any_of(shown.pages.front().items.begin(), shown.pages.front().items.end(),
                               [](const report::PageItem& i) { return i.text == "1/83"; });
        },
        60000));
    QVERIFY(p.form->running());
    QTest::keyClick(p.form.get(), Qt::Key_Escape);
    QVERIFY(ended(*p.form));
}

// The attachments cut off during a run, as by a server going away: the window says so in its
// own words and keeps no pages.
void TestReports::connectionLostDuringARun()
{
    TEST_SMALL_CALL_LOG(t);
    test::addManyCalls(t, 30000);
    Program p(t);
    p.form->cbReport->setCurrentIndex(1);
    QTimer cut;
    QObject::connect(&cut, &QTimer::timeout, [&] {
        t.exec({QStringLiteral("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> "
                               "CURRENT_CONNECTION AND MON$SYSTEM_FLAG = 0")});
    });
    QTest::mouseClick(p.form->bbPreview, Qt::LeftButton);
    cut.start(5);
    QVERIFY(ended(*p.form));
    cut.stop();
    QCOMPARE(Messages::shown().size(), 1);
    QVERIFY2(Messages::shown()[0].text.contains(TDM::ConnectionLostText()),
             qPrintable(Messages::shown()[0].text));
    QVERIFY(p.form->prepared().empty());
}

void TestReports::titlesAndZoom()
{
    TEST_SMALL_PROGRAM(t, p);
    const QLocale l;
    p.form->dOT->setDate(QDate(2026, 3, 2));
    QVERIFY(p.run(1, p.form->bbPreview));
    QCOMPARE(p.form->ReportTitle,
             QStringLiteral("Отчет за ") + l.toString(QDate(2026, 3, 2), QLocale::ShortFormat));
    p.form->dOT->setDate(QDate(2026, 3, 1));
    QVERIFY(p.click(p.form->bbPreview));
    QCOMPARE(p.form->ReportTitle, QStringLiteral("Отчет за период с ") +
                                      l.toString(QDate(2026, 3, 1), QLocale::ShortFormat) +
                                      QStringLiteral(" по ") +
                                      l.toString(QDate(2026, 3, 2), QLocale::ShortFormat));
    const QList<QAction*> items = p.form->PopupMenu->actions();
    QCOMPARE(items.size(), 8);
    QCOMPARE(items[0]->text(), QStringLiteral("200%"));
    items[0]->trigger();
    QCOMPARE(p.form->frPreview->zoom(), 2.0);
    items[5]->trigger();
    QCOMPARE(p.form->frPreview->zoom(), 0.25);
    QCOMPARE(p.form->frPreview->report().pages.size(), std::size_t(1));
    // With no printer installed, the default printing reports the failure.
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        TReportForm plain(p.dm);
        plain.dOT->setDate(QDate(2026, 3, 1));
        QTest::mouseClick(plain.bbPrint, Qt::LeftButton);
        QVERIFY(ended(plain));
        QCOMPARE(Messages::shown().last().text, QStringLiteral("Ошибка в модуле PrintReport !"));
    }
    p.form->show();
    QTest::keyClick(p.form->cbReport, Qt::Key_Escape);
    QCOMPARE(p.form->result(), 2);
}

// The printer's resolution changes nothing on the page: every word of the preview's page is
// printed, as text, at the same place.
void TestReports::printedAtEveryResolutionAsPreviewed()
{
    TEST_SMALL_PROGRAM(t, p);
    QVERIFY(p.run(1, p.form->bbPreview));
    QVERIFY(Messages::shown().isEmpty());
    const QString reference = t.dir() + QStringLiteral("/preview.pdf");
    QVERIFY(report::ReportOutput().writePdf(p.form->prepared(), reference));
    const QList<Word> previewed = firstPageWords(reference);
    QVERIFY(previewed.size() > 20);
    for (const int dpi : {72, 300, 600, 1200}) {
        const QString pdf = t.dir() + QStringLiteral("/printed-%1.pdf").arg(dpi);
        QString error;
        QVERIFY2(printToPdf(p.form->prepared(), pdf, dpi, error), qPrintable(error));
        const QString fault = compareWords(previewed, firstPageWords(pdf));
        QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("%1 dpi: %2").arg(dpi).arg(fault)));
    }

    // A landscape template comes out on landscape pages, its words where the preview has them.
    QVERIFY(p.run(0, p.form->bbPreview));
    QVERIFY(p.form->prepared().pageWidth > p.form->prepared().pageHeight);
    const QString wide = t.dir() + QStringLiteral("/wide-preview.pdf");
    QVERIFY(report::ReportOutput().writePdf(p.form->prepared(), wide));
    const QString printed = t.dir() + QStringLiteral("/wide-printed.pdf");
    QString error;
    QVERIFY2(printToPdf(p.form->prepared(), printed, 600, error), qPrintable(error));
    for (const QString& pdf : {wide, printed})
        QCOMPARE(pageSizeFault(pdf, p.form->prepared()), QString());
    const QString fault = compareWords(firstPageWords(wide), firstPageWords(printed));
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

// "Печать" on the system's default printer, a real CUPS queue: the page that comes out of it
// looks as the preview does, with its text in fonts (not pictures of text). The queue's own
// filters turn the program's PDF into PostScript and back and re-encode the fonts without
// their Unicode tables, so the page is compared as drawn; the words themselves are checked on
// the program's own PDF at every resolution above.
void TestReports::printedOnTheDefaultCupsPrinter()
{
    QFile state(qEnvironmentVariable("KELVORA_TEST_PRINTER") + QStringLiteral("/outdir"));
    if (!state.open(QIODevice::ReadOnly))
        QSKIP("no default CUPS PDF printer: run the tests as root once, or add a cups-pdf queue "
              "as the default printer");
    const QString outDir = QString::fromLocal8Bit(state.readAll()).trimmed();
    QVERIFY(!QPrinterInfo::defaultPrinterName().isEmpty());

    TEST_SMALL_PROGRAM(t, p);
    p.form->PrintHook = p.systemPrint;
    p.form->cbReport->setCurrentIndex(1);
    const QStringList before = QDir(outDir).entryList({QStringLiteral("*.pdf")}, QDir::Files);
    QVERIFY(p.click(p.form->bbPrint));
    QVERIFY2(Messages::shown().isEmpty(), qPrintable(Messages::shown().value(0).text));
    QString printed;
    QVERIFY(QTest::qWaitFor(
        [&] {
            for (const QString& f : QDir(outDir).entryList({QStringLiteral("*.pdf")}, QDir::Files))
                if (!before.contains(f))
                    printed = QDir(outDir).filePath(f);
            // cups-pdf writes the file in place: wait until it is complete.
            return !printed.isEmpty() && !firstPageWords(printed).isEmpty();
        },
        60000));
    const QString reference = t.dir() + QStringLiteral("/preview.pdf");
    QVERIFY(report::ReportOutput().writePdf(p.form->prepared(), reference));
    const double difference = inkDifference(reference, printed, t.dir());
    const QString fontList = test::output(QStringLiteral("pdffonts"), {printed});
    QFile::remove(printed);
    QVERIFY2(difference < 0.1, qPrintable(QStringLiteral("%1 of the ink differs").arg(difference)));
    QVERIFY2(fontList.contains(QLatin1String("LiberationSans")) ||
                 fontList.contains(QLatin1String("TrueType")),
             qPrintable(fontList));
}

// "PDF" for each report: the file proposed is named after the report and the period in the
// folder of the last export; what pdftotext reads of it is what the preview shows, on as many
// pages of the template's size, in embedded fonts.
void TestReports::savedAsPdfAsPreviewed()
{
    TEST_SMALL_PROGRAM(t, p);
    const QString folder = t.dir() + QStringLiteral("/отчеты");
    QVERIFY(QDir().mkpath(folder));
    p.dm.MainObject->LastExportDir = folder;
    QCOMPARE(p.form->bbPdf->toolTip(), QStringLiteral("Сохранить отчет в файл PDF"));
    const QString names[] = {QStringLiteral("Сводный отчет 01.03.2026-02.03.2026.pdf"),
                             QStringLiteral("Детальный отчет 01.03.2026-02.03.2026.pdf"),
                             QStringLiteral("Отчет по внешним линиям 01.03.2026-02.03.2026.pdf")};
    for (int index = 0; index < 3; ++index) {
        QVERIFY(p.run(index, p.form->bbPreview));
        QVERIFY(Messages::shown().isEmpty());
        const report::PreparedReport previewed = p.form->prepared();
        QString proposed;
        QString where;
        QVERIFY(savePdf(p, true, [&](QFileDialog* d, const QString& name) {
            proposed = name;
            where = d->directory().absolutePath();
            return name;
        }));
        QVERIFY2(Messages::shown().isEmpty(), qPrintable(Messages::shown().value(0).text));
        QCOMPARE(proposed, names[index]);
        QCOMPARE(where, QDir(folder).absolutePath());
        const QString pdf = folder + u'/' + names[index];
        QVERIFY(QFile::exists(pdf));

        // Every word of the preview, figures and titles, is text in the file.
        const QStringList words =
            test::output(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")})
                .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        int checked = 0;
        for (const report::PreparedPage& page : previewed.pages)
            for (const report::PageItem& item : page.items)
                if (item.kind == report::PageItem::Kind::Text)
                    for (const QString& w : item.text.split(
                             QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
                        ++checked;
                        QVERIFY2(
                            words.contains(w),
                            qPrintable(w + QStringLiteral(" missing from ") + words.join(u' ')));
                    }
        QVERIFY(checked > 20);
        const QString info = test::output(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY2(info.contains(QRegularExpression(
                     QStringLiteral("Pages:\\s+%1\n").arg(previewed.pages.size()))),
                 qPrintable(info));
        QCOMPARE(pageSizeFault(pdf, previewed), QString());
        const QStringList fonts =
            test::output(QStringLiteral("pdffonts"), {pdf}).split(u'\n', Qt::SkipEmptyParts).mid(2);
        QVERIFY(!fonts.isEmpty());
        for (const QString& font : fonts)
            QVERIFY2(
                font.contains(QRegularExpression(QStringLiteral("\\byes\\s+(yes|no)\\s+yes\\b"))),
                qPrintable(font)); // embedded, with a Unicode map
    }
    QVERIFY(
        test::output(QStringLiteral("pdftotext"), {folder + u'/' + names[1], QStringLiteral("-")})
            .contains(QStringLiteral("Итого звонков: 3")));

    // A single day names one date.
    p.form->cbReport->setCurrentIndex(1);
    p.form->dDo->setDate(p.form->dOT->date());
    QCOMPARE(p.form->PdfFileName(), QStringLiteral("Детальный отчет 01.03.2026.pdf"));
}

// A cancelled dialog writes nothing and says nothing; a file that cannot be written is named
// in a message, and an existing file is kept.
void TestReports::pdfCancelledOrNotWritable()
{
    TEST_SMALL_PROGRAM(t, p);
    p.dm.MainObject->LastExportDir = t.dir();
    QVERIFY(savePdf(p, true));
    QVERIFY(Messages::shown().isEmpty());
    QVERIFY(QDir(t.dir()).entryList({QStringLiteral("*.pdf")}, QDir::Files).isEmpty());

    // A name longer than any file system takes: no one may write it, even the superuser.
    QVERIFY(savePdf(p, true, [](QFileDialog*, const QString&) {
        return QString(150, u'ж') + QStringLiteral(".pdf");
    }));
    QCOMPARE(Messages::shown().size(), 1);
    QVERIFY2(Messages::shown()[0].text.startsWith(QStringLiteral("Не удалось записать файл ") +
                                                  t.dir() + u'/' + QString(150, u'ж') +
                                                  QStringLiteral(".pdf\n")),
             qPrintable(Messages::shown()[0].text));
    QVERIFY(QDir(t.dir()).entryList({QStringLiteral("*.pdf")}, QDir::Files).isEmpty());
    QCOMPARE(p.dm.MainObject->LastExportDir, t.dir()); // a failed file is not a place to return to
}

void TestReports::previewReachesThePageOfAnyNumber()
{
    // 20,000 pages of one tall row each: more than a widget can be high at the natural size.
    report::ReportTemplate layout;
    QVERIFY(layout.parse("<report page=\"A4\" margins=\"10,10,10,10\">"
                         "<band kind=\"masterData\" height=\"250\"><text x=\"0\" y=\"0\" "
                         "w=\"100\" h=\"250\" fill=\"#000000\">[N]</text></band></report>"));
    test::Numbers rows(20000);
    report::ReportEngine engine;
    auto out = std::make_shared<report::PreparedReport>();
    QVERIFY(engine.prepare(layout, rows, {}, *out));
    QCOMPARE(out->pages.size(), std::size_t(20000));
    report::ReportPreview preview;
    preview.resize(700, 900);
    preview.setReport(out);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    QScrollBar* bar = preview.verticalScrollBar();
    const double pageHeight = out->pageHeight * preview.viewport()->logicalDpiX() / 72.0;
    QVERIFY2(bar->maximum() > 19999 * pageHeight,
             qPrintable(QStringLiteral("%1 for %2 a page").arg(bar->maximum()).arg(pageHeight)));
    // At the end the last page is drawn: its black cell stands in the view.
    bar->setValue(bar->maximum());
    const QImage shot = preview.viewport()->grab().toImage();
    bool black = false;
    for (int y = 0; y < shot.height() && !black; y += 4)
        for (int x = 0; x < shot.width() && !black; x += 4)
            black = qGray(shot.pixel(x, y)) < 16;
    QVERIFY(black);
}

// Totals past 1,000 hours print whole in all three reports, and the widest figures the
// templates are made for (99,999 hours, 10,000,000 calls) fit their cells at full size.
void TestReports::longFiguresPrintWhole()
{
    TEST_SMALL_CALL_LOG(t);
    const QDateTime day(QDate(2026, 3, 1), QTime(10, 0));
    t.exec({test::insertCall(day, 600 * 3600, 0, 1, 101),
            test::insertCall(day.addSecs(60), 600 * 3600, 4951234567.0, 1, 101)});
    Program p(t);
    const char* const totals[] = {" 1201 ч 04 мин 30 сек", " 1201 ч 03 мин 40 сек",
                                  " 1201 ч 04 мин 40 сек"};
    for (int index = 0; index < 3; ++index) {
        QVERIFY(p.run(index, p.form->bbPreview));
        const QString text = p.pdfText(t.dir());
        QVERIFY2(text.contains(QString::fromUtf8(totals[index])), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral(" 600 ч 00 мин 00 сек")), qPrintable(text));
        QVERIFY(index != 1 || text.contains(QStringLiteral("Продолжительность")));
    }
    for (const ReportKindInfo& report : ReportKinds) {
        const char* name = report.templateName;
        report::ReportTemplate layout;
        QVERIFY(
            layout.load(QStringLiteral(KELVORA_SOURCE_DIR "/templates/") + QLatin1String(name)));
        test::Numbers one(1);
        report::PreparedReport out;
        QVERIFY(report::ReportEngine().prepare(
            layout, one,
            [](const QString& n) -> std::optional<QVariant> {
                if (n.contains(QLatin1String("Cnt")))
                    return QStringLiteral("10000000");
                if (n.endsWith(QLatin1String("Ring")) || n == QLatin1String("GetLenTime"))
                    return QStringLiteral(" 99999 ч 59 мин 59 сек");
                return std::nullopt;
            },
            out));
        for (const report::PageItem& item : out.pages.front().items)
            QVERIFY2(item.fit == 1.0f, qPrintable(QLatin1String(name) + u' ' + item.text));
    }
}

// A date typed over a period field's text becomes that date; one that cannot be read leaves
// the field as it was, text and date.
void TestReports::periodFieldsTakeTypedDates()
{
    TEST_NEW_DATABASE(t);
    // The operator's short dates: 05.10.2026 (the suite may run in another locale).
    const test::RussianLocale russian;
    Program p(t);
    QDateEdit* from = p.form->dOT;
    QDateEdit* to = p.form->dDo;
    QVERIFY(qobject_cast<DateField*>(from) && qobject_cast<DateField*>(to));
    p.form->show();
    QVERIFY(QTest::qWaitForWindowActive(p.form.get()));
    const auto typeOver = [](QDateEdit* field, const char* text) {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, QLatin1String(text));
    };
    typeOver(from, "05.10.2026");
    QCOMPARE(from->date(), QDate(2026, 10, 5));
    typeOver(to, "20.12.2026");
    QCOMPARE(to->date(), QDate(2026, 12, 20));
    QTest::keyClick(to, Qt::Key_Home); // the cursor on the day
    QTest::keyClicks(to, QLatin1String("05"));
    QCOMPARE(to->date(), QDate(2026, 12, 5));
    typeOver(from, "31.02.2026\t");
    QCOMPARE(from->date(), QDate(2026, 10, 5));
    QCOMPARE(from->text(), QStringLiteral("05.10.2026"));
}

// The date field alone, typed into with the keyboard and the mouse as a person does: a click
// anywhere in the day and two digits give that day; a short year, the digits alone and a day
// and month of one digit are read; a text that is no date is said to be none beside the field.
void TestReports::dateFieldReadsDatesAsTyped()
{
    const test::RussianLocale russian;
    QWidget window;
    auto* prior = new QLineEdit(&window);
    auto* field = new DateField(QDate(2026, 10, 5), &window);
    field->setObjectName(QStringLiteral("dField"));
    auto* next = new QLineEdit(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(prior);
    layout->addWidget(field);
    layout->addWidget(next);
    layout->addStretch();
    window.resize(400, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QLineEdit* edit = field->findChild<QLineEdit*>();
    QVERIFY(edit);
    const int y = edit->height() / 2;
    // Where the cursor goes for a click: the first x that puts it after the day's 1st, 2nd digit.
    const auto firstX = [&](int position) {
        int x = 0;
        while (x < edit->width() && edit->cursorPositionAt(QPoint(x, y)) < position)
            ++x;
        return x;
    };
    QCOMPARE(field->text(), QStringLiteral("05.10.2026"));
    const int middleOfFirst = firstX(1);
    const int middleOfSecond = firstX(2);
    QVERIFY(middleOfSecond - middleOfFirst > 2);
    const int clicks[] = {middleOfFirst - 1, (middleOfFirst + middleOfSecond) / 2,
                          middleOfSecond + 1};
    for (const int x : clicks) {
        field->setDate(QDate(2026, 10, 5));
        next->setFocus();
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(x, y));
        QVERIFY(field->hasFocus());
        QTest::keyClicks(field, QStringLiteral("07"));
        QTest::keyClick(field, Qt::Key_Tab);
        QCOMPARE(field->date(), QDate(2026, 10, 7));
        QCOMPARE(field->text(), QStringLiteral("07.10.2026"));
        // A second click in the day, in the field that has the focus, and one digit.
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(x, y));
        QTest::keyClicks(field, QStringLiteral("9"));
        next->setFocus();
        QCOMPARE(field->date(), QDate(2026, 10, 9));
    }
    // A whole date typed after a click in the month or in the year is that date.
    const std::pair<int, const char*> elsewhere[] = {{firstX(4) + 1, "06102026"},
                                                     {firstX(8) + 1, "06.10.26"}};
    for (const auto& [x, text] : elsewhere) {
        field->setDate(QDate(2025, 1, 1));
        next->setFocus();
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(x, y));
        QTest::keyClicks(field, QLatin1String(text));
        QTest::keyClick(field, Qt::Key_Tab);
        QCOMPARE(field->date(), QDate(2026, 10, 6));
    }
    // Typed over the whole text, then Tab.
    const std::pair<const char*, QDate> typed[] = {{"08.10.26", QDate(2026, 10, 8)},
                                                   {"06102026", QDate(2026, 10, 6)},
                                                   {"061126", QDate(2026, 11, 6)},
                                                   {"5.3.2024", QDate(2024, 3, 5)},
                                                   {"04/12", QDate(2024, 12, 4)}};
    for (const auto& [text, date] : typed) {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, QLatin1String(text));
        QTest::keyClick(field, Qt::Key_Tab);
        QCOMPARE(field->date(), date);
        QVERIFY(field->message().isEmpty());
    }
    // Tabbed into (the day selected), a whole date typed; Home and the digits run on.
    prior->setFocus();
    QTest::keyClick(prior, Qt::Key_Tab);
    QVERIFY(field->hasFocus());
    QTest::keyClicks(field, QStringLiteral("05.03.2024"));
    QTest::keyClick(field, Qt::Key_Tab);
    QCOMPARE(field->date(), QDate(2024, 3, 5));
    QTest::keyClick(field, Qt::Key_Home);
    QTest::keyClicks(field, QStringLiteral("1712"));
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(field->date(), QDate(2024, 12, 17));
    // No date: the old one stays, and the field says why beside itself.
    for (const char* text : {"31.02.2024", "0507"}) {
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(field, QLatin1String(text));
        QTest::keyClick(field, Qt::Key_Tab);
        QCOMPARE(field->date(), QDate(2024, 12, 17));
        QVERIFY2(field->message().contains(u'«' + QLatin1String(text) + u'»'),
                 qPrintable(field->message()));
        QVERIFY(field->message().contains(QStringLiteral("17.12.2024")));
        const QLabel* beside = window.findChild<QLabel*>(QStringLiteral("dFieldMessage"));
        QVERIFY(beside && beside->isVisible());
        const QRect at(beside->mapTo(&window, QPoint()), beside->size());
        const QRect own(field->mapTo(&window, QPoint()), field->size());
        QVERIFY(at.top() > own.bottom() && at.top() <= own.bottom() + 8);
        QCOMPARE(at.left(), own.left());
        field->setFocus();
    }
    QTest::keyClick(field, Qt::Key_1);
    QVERIFY(field->message().isEmpty());
}

KELVORA_TEST_MAIN(TestReports)
#include "test_reports.moc"
