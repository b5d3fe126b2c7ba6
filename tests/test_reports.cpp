// The report engine, the three templates and the report window over a data set made for the
// test; printed figures read back from the PDF with pdftotext.
#include "support/CallData.h"
#include "support/TestMain.h"

#include "DemoData.h"
#include "app/Messages.h"
#include "app/TWaitForm.h"
#include "data/CallRecord.h"
#include "data/TDM.h"
#include "data/TariffStore.h"
#include "db/Sql.h"
#include "report/ReportEngine.h"
#include "report/ReportOutput.h"
#include "report/ReportPreview.h"
#include "report/ReportTemplate.h"
#include "runs/ReportValues.h"
#include "ui/stats/TReportForm.h"
#include "support/Login.h"
#include "ui/controls/DateField.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

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
    QString pdfText(const QString& dir)
    {
        const QString pdf = dir + QStringLiteral("/out.pdf");
        if (!report::ReportOutput().writePdf(form->prepared(), pdf))
            return {};
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        p.waitForFinished(60000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    TDM dm;
    std::unique_ptr<TReportForm> form;
    std::function<bool(const report::PreparedReport&, QString&)> systemPrint;
    int printed = 0;
};

// A word of a PDF's first page as pdftotext places it, relative to the page's size.
struct Word
{
    QString text;
    double x = 0;
    double y = 0;
};

QList<Word> firstPageWords(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-bbox"), QStringLiteral("-f"), QStringLiteral("1"),
             QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
    p.waitForFinished(60000);
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
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
        QProcess p;
        p.start(QStringLiteral("pdftoppm"),
                {QStringLiteral("-r"), QStringLiteral("36"), QStringLiteral("-gray"),
                 QStringLiteral("-singlefile"), QStringLiteral("-f"), QStringLiteral("1"),
                 QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-png"), pdf,
                 dir + u'/' + name});
        p.waitForFinished(60000);
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

// Runs a command; its standard output.
QString output(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Answers the next file dialog that opens: `answer` is given the dialog and the file name
// it proposes, and returns the name to type (empty to press "Cancel" instead).
class FileDialogAnswer
{
public:
    explicit FileDialogAnswer(std::function<QString(QFileDialog*, const QString&)> answer)
        : m_answer(std::move(answer))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (m_done && dialog && dialog->isVisible() && m_since.elapsed() > 10000) {
                m_stuck = true; // the answer did not close it: close it, the test fails
                dialog->reject();
            }
            if (m_done || !dialog || !dialog->isVisible())
                return;
            m_since.start();
            m_done = true;
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            const QString typed = m_answer(dialog, name ? name->text() : QString());
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
        m_timer.start(20);
    }
    bool answered() const { return m_done && !m_stuck; }

private:
    QElapsedTimer m_since;
    bool m_stuck = false;
    std::function<QString(QFileDialog*, const QString&)> m_answer;
    QTimer m_timer;
    bool m_done = false;
};

// Rows of numbers 1..n.
class Numbers : public report::ReportDataSource
{
public:
    explicit Numbers(int n) : m_n(n) {}
    void first() override { m_i = 1; }
    void next() override { ++m_i; }
    bool eof() const override { return m_i > m_n; }
    std::optional<QVariant> value(const QString& name) const override
    {
        if (name.compare(QLatin1String("N"), Qt::CaseInsensitive) == 0)
            return m_i;
        return std::nullopt;
    }

private:
    int m_n;
    int m_i = 1;
};

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
    QFile slow(t.dir() + QStringLiteral("/report2.frf"));
    if (!slow.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    slow.write("<report><band kind=\"masterData\" height=\"200\">"
               "<text x=\"0\" y=\"0\" w=\"180\" h=\"200\" size=\"8\">" +
               QByteArray("[FIO] ").repeated(60000) +
               "</text></band><band kind=\"pageFooter\" height=\"10\"><text x=\"0\" y=\"0\" "
               "w=\"50\" h=\"5\">[PAGE#]/[TOTALPAGES]</text></band></report>");
    return true;
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

const char* const SmallTemplate =
    "<report page=\"A5\" margins=\"10,10,10,10\">"
    "<band kind=\"pageHeader\" height=\"10\"><text x=\"0\" y=\"0\" w=\"50\" "
    "h=\"5\">head</text></band>"
    "<band kind=\"title\" height=\"20\"><text x=\"0\" y=\"0\" w=\"100\" "
    "h=\"8\">[Caption]</text></band>"
    "<band kind=\"columnHeader\" height=\"10\"><text x=\"0\" y=\"0\" w=\"50\" "
    "h=\"5\">N</text></band>"
    "<band kind=\"masterData\" height=\"10\"><text x=\"0\" y=\"0\" w=\"50\" h=\"5\">row [N] "
    "[Missing]</text></band>"
    "<band kind=\"summary\" height=\"10\"><text x=\"0\" y=\"0\" w=\"50\" h=\"5\">end</text></band>"
    "<band kind=\"pageFooter\" height=\"10\"><text x=\"0\" y=\"0\" w=\"50\" "
    "h=\"5\">[PAGE#]/[TOTALPAGES]</text></band>"
    "</report>";

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
    void engineLayout();
    void brokenTemplates_data();
    void brokenTemplates();
    void numbersOutOfRange_data();
    void numbersOutOfRange();
    void numbersAtTheirBounds();
    void reasonsTellWhere_data();
    void reasonsTellWhere();
    void xmlFaultsTellTheirLine();
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
    void pagesAreHeldPackedAndReadBackWhole();
    void previewReachesThePageOfAnyNumber();
    void longTextsShrinkToTheirCells();
    void longFiguresPrintWhole();
    void periodFieldsTakeTypedDates();
    void dateFieldReadsDatesAsTyped();
};

void TestReports::engineLayout()
{
    report::ReportTemplate layout;
    QVERIFY2(layout.parse(SmallTemplate), qPrintable(layout.errorString()));
    // A5: 210 mm high, 190 inside the margins; 10 for the footer leaves 180 for bands.
    Numbers rows(40);
    report::ReportEngine engine;
    report::PreparedReport out;
    QStringList asked;
    QVERIFY(engine.prepare(
        layout, rows,
        [&](const QString& n) -> std::optional<QVariant> {
            asked << n;
            return n == QLatin1String("Caption") ? std::optional<QVariant>(QStringLiteral("title"))
                                                 : std::nullopt;
        },
        out));
    // Page 1: header 10, title 20, column header 10, then 14 rows of 10; later pages 16 rows.
    QCOMPARE(out.rowsPerPage, (std::vector<int>{14, 16, 10}));
    QCOMPARE(out.pages.size(), std::size_t(3));
    QVERIFY(asked.contains(QStringLiteral("Missing")));
    QVERIFY(asked.contains(QStringLiteral("PAGE#")));
    // No rows: one page with the title and the summary.
    Numbers none(0);
    QVERIFY(engine.prepare(layout, none, {}, out));
    QCOMPARE(out.rowsPerPage, std::vector<int>{0});

    QTemporaryDir dir;
    Numbers again(40);
    QVERIFY(engine.prepare(layout, again, {}, out));
    QVERIFY(report::ReportOutput().writePdf(out, dir.filePath(QStringLiteral("s.pdf"))));
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {dir.filePath(QStringLiteral("s.pdf")), QStringLiteral("-")});
    p.waitForFinished();
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    QVERIFY2(text.contains(QStringLiteral("row 40")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("3/3")));
    QCOMPARE(text.count(QStringLiteral("head")), 3);

    // The pages in all: known from the first row when the rows are; else "…" until the
    // caller says how many rows to expect (here wrongly) and put right after the last row.
    const auto footers = [&out] {
        QStringList all;
        for (const report::PreparedPage& page : out.pages)
            for (const report::PageItem& item : page.items)
                if (item.text.contains(u'/'))
                    all << item.text;
        return all;
    };
    QCOMPARE(report::ReportEngine::pageCount(layout, 40), 3);
    QList<int> told;
    engine.setProgress([&](int, int total) {
        told << total;
        return true;
    });
    Numbers known(40);
    QVERIFY(engine.prepare(layout, known, {}, out, 40));
    QCOMPARE(told.first(), 3);
    QStringList seen;
    engine.setProgress([&](int page, int) {
        if (seen.size() == page - 2) { // once on page 2 and once on page 3
            seen << footers().join(u' ');
            engine.expectRows(20);
        }
        return true;
    });
    Numbers streamed(40);
    QVERIFY(engine.prepare(layout, streamed, {}, out));
    QCOMPARE(seen, (QStringList{QStringLiteral("1/\u2026"), QStringLiteral("1/2 2/2")}));
    QCOMPARE(footers(),
             (QStringList{QStringLiteral("1/3"), QStringLiteral("2/3"), QStringLiteral("3/3")}));
}

void TestReports::brokenTemplates_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::newRow("not xml") << QByteArray("PK\x03\x04 binary");
    QTest::newRow("other xml") << QByteArray("<html><body/></html>");
    QTest::newRow("truncated") << QByteArray(SmallTemplate).left(200);
    QTest::newRow("unknown band") << QByteArray(
        "<report><band kind=\"groupHeader\" height=\"5\"/></report>");
    QTest::newRow("no data band") << QByteArray(
        "<report><band kind=\"title\" height=\"5\"/></report>");
    QTest::newRow("bad number") << QByteArray(
        "<report><band kind=\"masterData\" height=\"tall\"/></report>");
    QTest::newRow("bands too tall")
        << QByteArray("<report><band kind=\"pageHeader\" height=\"200\"/><band kind=\"masterData\" "
                      "height=\"100\"/></report>");
}

void TestReports::brokenTemplates()
{
    QFETCH(QByteArray, xml);
    report::ReportTemplate layout;
    QVERIFY(!layout.parse(xml));
    QVERIFY(!layout.errorString().isEmpty());
}

namespace {

// A one-band template whose numbers are all sound but the one given.
QByteArray templateWith(const QString& attribute, const QString& value)
{
    QString xml = QStringLiteral(
        "<report page=\"A4\" margins=\"@margins@\"><band kind=\"masterData\" height=\"@height@\">"
        "<text x=\"@x@\" y=\"1\" w=\"@w@\" h=\"5\" size=\"@size@\">[N]</text>"
        "<line x1=\"0\" y1=\"@y1@\" x2=\"50\" y2=\"5\" width=\"@width@\"/></band></report>");
    const std::pair<const char*, const char*> defaults[] = {{"margins", "10,10,10,10"},
                                                            {"height", "10"},
                                                            {"x", "0"},
                                                            {"w", "50"},
                                                            {"size", "9"},
                                                            {"y1", "5"},
                                                            {"width", "0.5"}};
    for (const auto& [name, sound] : defaults)
        xml.replace(u'@' + QLatin1String(name) + u'@',
                    attribute == QLatin1String(name) ? value : QLatin1String(sound));
    return xml.toUtf8();
}

} // namespace

void TestReports::numbersOutOfRange_data()
{
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("value");
    // A font size, a band height, a margin, positions, a length and a line width: none may be
    // NaN, infinite, absurdly large or negative.
    for (const char* attribute : {"size", "height", "margins", "x", "w", "y1", "width"}) {
        for (const char* bad : {"nan", "NaN", "inf", "-inf", "1e10", "-1"}) {
            const QString value = QLatin1String(attribute) == QLatin1String("margins")
                                      ? QStringLiteral("10,%1,10,10").arg(QLatin1String(bad))
                                      : QLatin1String(bad);
            QTest::addRow("%s=%s", attribute, bad) << QString::fromLatin1(attribute) << value;
        }
    }
    QTest::newRow("size=0") << "size"
                            << "0";
    QTest::newRow("size=501") << "size"
                              << "501";
    QTest::newRow("width=101") << "width"
                               << "101";
    QTest::newRow("x=10001") << "x"
                             << "10001";
    QTest::newRow("margins=abc") << "margins"
                                 << "10,abc,10,10";
    QTest::newRow("margins=1e400") << "margins"
                                   << "1e400,10,10,10";
}

void TestReports::numbersOutOfRange()
{
    QFETCH(QString, attribute);
    QFETCH(QString, value);
    report::ReportTemplate layout;
    QVERIFY2(layout.parse(templateWith(QStringLiteral("none"), QString())),
             qPrintable(layout.errorString()));
    QVERIFY(!layout.parse(templateWith(attribute, value)));
    QVERIFY2(layout.errorString().contains(QStringLiteral("bad %1 \"%2\"").arg(attribute, value)),
             qPrintable(layout.errorString()));
}

void TestReports::numbersAtTheirBounds()
{
    const std::pair<const char*, const char*> accepted[] = {
        {"size", "1"},   {"size", "500"},        {"width", "0"}, {"width", "100"},
        {"height", "0"}, {"margins", "0,0,0,0"}, {"x", "10000"}, {"w", "0"}};
    for (const auto& [attribute, value] : accepted) {
        report::ReportTemplate layout;
        QVERIFY2(layout.parse(templateWith(QLatin1String(attribute), QLatin1String(value))),
                 qPrintable(QStringLiteral("%1=%2: %3")
                                .arg(QLatin1String(attribute), QLatin1String(value),
                                     layout.errorString())));
        Numbers rows(3);
        report::ReportEngine engine;
        report::PreparedReport out;
        QVERIFY(engine.prepare(layout, rows, {}, out));
        QCOMPARE(out.rowsPerPage, std::vector<int>{3});
        for (const report::PageItem& item : out.pages.front().items)
            QVERIFY(std::isfinite(item.x1) && std::isfinite(item.y1) && std::isfinite(item.x2) &&
                    std::isfinite(item.y2) && std::isfinite(item.width));
    }
    // Margins that leave nothing across the page, however sound each is alone.
    report::ReportTemplate layout;
    QVERIFY(
        !layout.parse(templateWith(QStringLiteral("margins"), QStringLiteral("105,10,105,10"))));
    QVERIFY(!layout.errorString().isEmpty());
}

void TestReports::reasonsTellWhere_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("reason");
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<report page=\"A4\">\n"
                            "  <band kind=\"masterData\" height=\"5\">\n";
    const QByteArray tail = "  </band>\n</report>\n";
    QTest::newRow("bad size") << head + "    <text x=\"0\" size=\"1e10\">a</text>\n" + tail
                              << "line 4: bad size \"1e10\"";
    QTest::newRow("bad coordinate")
        << head + "    <text x=\"0\">a</text>\n    <line x1=\"-3\"/>\n" + tail
        << "line 5: bad x1 \"-3\"";
    QTest::newRow("bad height")
        << head + "  </band>\n  <band kind=\"summary\"\n        height=\"inf\"/>\n</report>\n"
        << "line 6: bad height \"inf\"";
    QTest::newRow("unknown element")
        << head + "\n    <image/>\n" + tail << "line 5: unknown element <image>";
    QTest::newRow("unknown band") << QByteArray("<report>\n<band kind=\"group\"/>\n</report>")
                                  << "line 2: unknown band \"group\"";
    QTest::newRow("unknown page") << QByteArray("\n<report page=\"Letter\"/>")
                                  << "line 2: unknown page size \"Letter\"";
    QTest::newRow("bad margins") << QByteArray("<report\n margins=\"1,2,nan,4\"/>")
                                 << "line 2: bad margins \"1,2,nan,4\"";
    // What is wrong with the whole template is told at its report element.
    QTest::newRow("no data band") << QByteArray("\n\n<report>\n<band kind=\"title\"/>\n</report>\n")
                                  << "line 3: no master data band";
    QTest::newRow("too tall")
        << QByteArray("\n<report margins=\"10,140,10,140\">\n<band kind=\"masterData\" "
                      "height=\"20\"/>\n</report>\n")
        << "line 2: the bands do not fit on a page";
    QTest::newRow("not a template") << QByteArray("\n<html/>") << "line 2: not a report template";
    // A long value is cut short, so that the reason stays readable.
    QTest::newRow("long value") << head + "<text size=\"" + QByteArray(200, '9') + "\"/>" + tail
                                << "line 4: bad size \"" + QString(40, u'9') + "...\"";
}

void TestReports::reasonsTellWhere()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, reason);
    report::ReportTemplate layout;
    QVERIFY(!layout.parse(xml));
    QCOMPARE(layout.errorString(), reason);
    QVERIFY(!layout.parse(xml, QStringLiteral("report2.frf")));
    QCOMPARE(layout.errorString(), QStringLiteral("report2.frf, ") + reason);
    // Loaded from a file, the reason names the file without its folder.
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("broken.frf")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(xml);
    f.close();
    QVERIFY(!layout.load(f.fileName()));
    QCOMPARE(layout.errorString(), QStringLiteral("broken.frf, ") + reason);
}

void TestReports::xmlFaultsTellTheirLine()
{
    // The XML reader's own faults carry the line where it stopped.
    report::ReportTemplate layout;
    QVERIFY(!layout.parse("<report>\n<band kind=\"masterData\" height=\"5\">\n<text x=\"0\"",
                          QStringLiteral("t.frf")));
    QVERIFY2(layout.errorString().startsWith(QStringLiteral("t.frf, line 3: ")),
             qPrintable(layout.errorString()));
    QVERIFY(layout.errorString().size() > QStringLiteral("t.frf, line 3: ").size());
    QVERIFY(!layout.parse("<report>\n<band kind=\"masterData\"></bnd>\n</report>"));
    QVERIFY2(layout.errorString().startsWith(QStringLiteral("line 2: ")),
             qPrintable(layout.errorString()));
    // A file that cannot be read says so with its name.
    QTemporaryDir dir;
    QVERIFY(!layout.load(dir.filePath(QStringLiteral("absent.frf"))));
    QVERIFY2(layout.errorString().startsWith(QStringLiteral("absent.frf: ")),
             qPrintable(layout.errorString()));
}

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
    TEST_SMALL_CALL_LOG(t);
    Program p(t);
    p.dm.MainObject->N10 = 4; // dialled numbers of ten digits as xxx-xxx-xx-xx
    p.form->cbReport->setCurrentIndex(1);
    QVERIFY(p.click(p.form->bbPrint));
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
    TEST_SMALL_CALL_LOG(t);
    Program p(t);
    QVERIFY(p.dm.DateIndexes());
    t.exec({QStringLiteral("ALTER INDEX IX_Rings_Date INACTIVE")});
    p.form->cbReport->setCurrentIndex(int(ReportKind::Detailed));
    QVERIFY(p.click(p.form->bbPreview));
    QVERIFY(Messages::shown().isEmpty());
    QVERIFY(p.pdfText(t.dir()).contains(QStringLiteral("Итого звонков: 3")));

    QFile file(t.dir() + QStringLiteral("/report2.frf"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray xml = file.readAll();
    file.close();
    xml.replace("[GetTitle]", "[GetTitle], звонков [GetSCntAllRing]");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(xml) > 0);
    file.close();
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
    p.form->cbReport->setCurrentIndex(int(ReportKind::Detailed));
    QVERIFY(p.click(p.form->bbPreview));
    QString text = p.pdfText(t.dir());
    QVERIFY2(text.contains(QStringLiteral("Итого звонков: 3")), qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("Зона")) && !text.contains(QStringLiteral("Стоимость")));
    p.form->cbReport->setCurrentIndex(int(ReportKind::Cost));
    QCOMPARE(p.form->cbReport->currentText(), QStringLiteral("Стоимость звонков"));
    QVERIFY(p.click(p.form->bbPreview));
    QCOMPARE(Messages::shown().size(), 1);
    QCOMPARE(Messages::shown().first().text, TReportForm::NoTariffsText());
    QCOMPARE(p.form->prepared().pages.size(), std::size_t(1)); // the detailed report stays

    tariff::createTables(p.dm.ibDatabase, p.dm.ibTran);
    tariff::Plan city;
    city.name = QStringLiteral("Город");
    city.isDefault = true;
    city.rules.resize(1);
    city.rules[0].minLength = city.rules[0].maxLength = 7;
    city.rules[0].zone = QStringLiteral("Местные");
    city.rules[0].minutePrice = tariff::PriceUnit;
    tariff::save(p.dm.ibDatabase, p.dm.ibTran, {city}, {});
    p.form->cbReport->setCurrentIndex(int(ReportKind::Detailed));
    QVERIFY(p.click(p.form->bbPreview));
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
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::system()); });
    const QDateTime day(QDate(2026, 3, 2), QTime(9, 0));
    t.exec({test::insertCall(day, 125, 8127777, 9, 300), // neither line nor subscriber listed
            test::insertCall(day.addSecs(600), 2, 8128888, 1, 102), // free
            test::insertCall(day.addSecs(1200), 200000, 8129999, 1, 101)});
    Program p(t);
    tariff::Plan city;
    city.id = 1;
    city.name = QStringLiteral("Город");
    city.isDefault = true;
    city.rules.resize(1);
    city.rules[0].minLength = city.rules[0].maxLength = 7;
    city.rules[0].zone = QStringLiteral("Местные");
    city.rules[0].minutePrice = tariff::PriceUnit; // 1,00 a minute, 60/60, 3 s free
    city.rules[0].freeSeconds = 3;
    tariff::Plan other;
    other.id = 2;
    other.name = QStringLiteral("Второй оператор");
    other.rules.resize(1);
    other.rules[0].zone = QStringLiteral("Все");
    other.rules[0].minutePrice = 2 * tariff::PriceUnit; // 2,00 a minute by the second
    other.rules[0].firstInterval = other.rules[0].nextInterval = 1;
    tariff::save(p.dm.ibDatabase, p.dm.ibTran, {city, other}, {{9, 2}}); // line 9 is not listed

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

    p.form->cbReport->setCurrentIndex(int(ReportKind::Detailed));
    QVERIFY(p.click(p.form->bbPreview));
    const qint64 listed = p.form->SCost;
    p.form->cbReport->setCurrentIndex(int(ReportKind::Cost));
    QVERIFY(p.click(p.form->bbPreview));
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
    TEST_SMALL_CALL_LOG(t);
    Program p(t);
    p.form->cbReport->setCurrentIndex(2);
    QVERIFY(p.click(p.form->bbPreview));
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
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
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
    {
        // No file to choose when there is no template.
        FileDialogAnswer none([](QFileDialog*, const QString&) { return QString(); });
        QTest::mouseClick(p.form->bbPdf, Qt::LeftButton);
        QVERIFY(ended(*p.form));
        QVERIFY(!none.answered());
    }
    QCOMPARE(Messages::shown().size(), 3);
    QCOMPARE(Messages::shown()[0].text, QStringLiteral("Файл не найден !"));
    QCOMPARE(Messages::shown()[1].text, QStringLiteral("Файл не найден !"));
    QCOMPARE(Messages::shown()[2].text, QStringLiteral("Файл не найден !"));
    QCOMPARE(Messages::shown()[0].kind, Messages::Kind::Dialog);
    QCOMPARE(p.printed, 0);
    Messages::clearShown();
    QFile broken(t.dir() + QStringLiteral("/report1.frf"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("<report><band kind=\"masterData\" height=\"5\"><text x=\"0\"");
    broken.close();
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
    QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write("<report>\n"
                 "  <band kind=\"masterData\" height=\"5\">\n"
                 "    <text x=\"0\" y=\"0\" w=\"10\" h=\"5\" size=\"nan\">[FIO]</text>\n"
                 "  </band>\n"
                 "</report>\n");
    broken.close();
    QVERIFY(p.click(p.form->bbPreview));
    QVERIFY(p.click(p.form->bbPrint));
    {
        FileDialogAnswer none([](QFileDialog*, const QString&) { return QString(); });
        QTest::mouseClick(p.form->bbPdf, Qt::LeftButton);
        QVERIFY(ended(*p.form));
        QVERIFY(!none.answered());
    }
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
    TEST_SMALL_CALL_LOG(t);
    Program p(t);
    p.form->cbReport->setCurrentIndex(0);
    QVERIFY(p.click(p.form->bbPreview));
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

    p.form->cbReport->setCurrentIndex(2);
    QVERIFY(p.click(p.form->bbPrint));
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
    TEST_SMALL_CALL_LOG(t);
    Program p(t);
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
    TEST_SMALL_CALL_LOG(t);
    Program p(t);
    const QLocale l;
    p.form->dOT->setDate(QDate(2026, 3, 2));
    p.form->cbReport->setCurrentIndex(1);
    QVERIFY(p.click(p.form->bbPreview));
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
    TEST_SMALL_CALL_LOG(t);
    Program p(t);
    p.form->cbReport->setCurrentIndex(1);
    QVERIFY(p.click(p.form->bbPreview));
    QVERIFY(Messages::shown().isEmpty());
    const QString reference = t.dir() + QStringLiteral("/preview.pdf");
    QVERIFY(report::ReportOutput().writePdf(p.form->prepared(), reference));
    const QList<Word> previewed = firstPageWords(reference);
    QVERIFY(previewed.size() > 20);
    for (const int dpi : {72, 300, 600, 1200}) {
        const QString pdf = t.dir() + QStringLiteral("/printed-%1.pdf").arg(dpi);
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setResolution(dpi);
        report::ReportOutput output;
        QVERIFY2(output.print(p.form->prepared(), printer), qPrintable(output.errorString()));
        const QString fault = compareWords(previewed, firstPageWords(pdf));
        QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("%1 dpi: %2").arg(dpi).arg(fault)));
    }

    // A landscape template comes out on landscape pages, its words where the preview has them.
    p.form->cbReport->setCurrentIndex(0);
    QVERIFY(p.click(p.form->bbPreview));
    QVERIFY(p.form->prepared().pageWidth > p.form->prepared().pageHeight);
    const QString wide = t.dir() + QStringLiteral("/wide-preview.pdf");
    QVERIFY(report::ReportOutput().writePdf(p.form->prepared(), wide));
    const QString printed = t.dir() + QStringLiteral("/wide-printed.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(printed);
    printer.setResolution(600);
    QVERIFY(report::ReportOutput().print(p.form->prepared(), printer));
    for (const QString& pdf : {wide, printed}) {
        const QRegularExpressionMatch size =
            QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts"))
                .match(output(QStringLiteral("pdfinfo"), {pdf}));
        QVERIFY(size.hasMatch());
        QVERIFY2(qAbs(size.captured(1).toDouble() - p.form->prepared().pageWidth) < 0.5 &&
                     qAbs(size.captured(2).toDouble() - p.form->prepared().pageHeight) < 0.5,
                 qPrintable(pdf + u' ' + size.captured(0)));
    }
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

    TEST_SMALL_CALL_LOG(t);
    Program p(t);
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
    QProcess fonts;
    fonts.start(QStringLiteral("pdffonts"), {printed});
    fonts.waitForFinished(60000);
    const QString fontList = QString::fromUtf8(fonts.readAllStandardOutput());
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
    TEST_SMALL_CALL_LOG(t);
    Program p(t);
    const QString folder = t.dir() + QStringLiteral("/отчеты");
    QVERIFY(QDir().mkpath(folder));
    p.dm.MainObject->LastExportDir = folder;
    QCOMPARE(p.form->bbPdf->toolTip(), QStringLiteral("Сохранить отчет в файл PDF"));
    const QString names[] = {QStringLiteral("Сводный отчет 01.03.2026-02.03.2026.pdf"),
                             QStringLiteral("Детальный отчет 01.03.2026-02.03.2026.pdf"),
                             QStringLiteral("Отчет по внешним линиям 01.03.2026-02.03.2026.pdf")};
    for (int index = 0; index < 3; ++index) {
        p.form->cbReport->setCurrentIndex(index);
        QVERIFY(p.click(p.form->bbPreview));
        QVERIFY(Messages::shown().isEmpty());
        const report::PreparedReport previewed = p.form->prepared();
        QString proposed;
        QString where;
        FileDialogAnswer answer([&](QFileDialog* d, const QString& name) {
            proposed = name;
            where = d->directory().absolutePath();
            return name;
        });
        QTest::mouseClick(p.form->bbPdf, Qt::LeftButton);
        QVERIFY(ended(*p.form));
        QVERIFY(answer.answered());
        QVERIFY2(Messages::shown().isEmpty(), qPrintable(Messages::shown().value(0).text));
        QCOMPARE(proposed, names[index]);
        QCOMPARE(where, QDir(folder).absolutePath());
        const QString pdf = folder + u'/' + names[index];
        QVERIFY(QFile::exists(pdf));

        // Every word of the preview, figures and titles, is text in the file.
        const QStringList words =
            output(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")})
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
        const QString info = output(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY2(info.contains(QRegularExpression(
                     QStringLiteral("Pages:\\s+%1\n").arg(previewed.pages.size()))),
                 qPrintable(info));
        const QRegularExpressionMatch size =
            QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts"))
                .match(info);
        QVERIFY(size.hasMatch());
        QVERIFY(qAbs(size.captured(1).toDouble() - previewed.pageWidth) < 0.5);
        QVERIFY(qAbs(size.captured(2).toDouble() - previewed.pageHeight) < 0.5);
        const QStringList fonts =
            output(QStringLiteral("pdffonts"), {pdf}).split(u'\n', Qt::SkipEmptyParts).mid(2);
        QVERIFY(!fonts.isEmpty());
        for (const QString& font : fonts)
            QVERIFY2(
                font.contains(QRegularExpression(QStringLiteral("\\byes\\s+(yes|no)\\s+yes\\b"))),
                qPrintable(font)); // embedded, with a Unicode map
    }
    QVERIFY(output(QStringLiteral("pdftotext"), {folder + u'/' + names[1], QStringLiteral("-")})
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
    TEST_SMALL_CALL_LOG(t);
    Program p(t);
    p.dm.MainObject->LastExportDir = t.dir();
    {
        FileDialogAnswer cancel([](QFileDialog*, const QString&) { return QString(); });
        QTest::mouseClick(p.form->bbPdf, Qt::LeftButton);
        QVERIFY(ended(*p.form));
        QVERIFY(cancel.answered());
    }
    QVERIFY(Messages::shown().isEmpty());
    QVERIFY(QDir(t.dir()).entryList({QStringLiteral("*.pdf")}, QDir::Files).isEmpty());

    {
        // A name longer than any file system takes: no one may write it, even the superuser.
        FileDialogAnswer nowhere([](QFileDialog*, const QString&) {
            return QString(150, u'ж') + QStringLiteral(".pdf");
        });
        QTest::mouseClick(p.form->bbPdf, Qt::LeftButton);
        QVERIFY(ended(*p.form));
        QVERIFY(nowhere.answered());
    }
    QCOMPARE(Messages::shown().size(), 1);
    QVERIFY2(Messages::shown()[0].text.startsWith(QStringLiteral("Не удалось записать файл ") +
                                                  t.dir() + u'/' + QString(150, u'ж') +
                                                  QStringLiteral(".pdf\n")),
             qPrintable(Messages::shown()[0].text));
    QVERIFY(QDir(t.dir()).entryList({QStringLiteral("*.pdf")}, QDir::Files).isEmpty());
    QCOMPARE(p.dm.MainObject->LastExportDir, t.dir()); // a failed file is not a place to return to

    // An empty report writes nothing over a file of the same name.
    Messages::clearShown();
    report::PreparedReport none;
    const QString kept = t.dir() + QStringLiteral("/kept.pdf");
    QFile old(kept);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    report::ReportOutput output;
    QVERIFY(!output.writePdf(none, kept));
    QFile again(kept);
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(again.readAll(), QByteArray("old"));
}

namespace {

// A list page as the detailed report draws it: framed cells, filled column titles.
const char* const FramedTemplate =
    "<report page=\"A4\" margins=\"15,12,15,12\">"
    "<band kind=\"columnHeader\" height=\"8\">"
    "<text x=\"0\" y=\"0\" w=\"22\" h=\"8\" frame=\"all\" fill=\"#d9d9d9\">A</text>"
    "<text x=\"22\" y=\"0\" w=\"18\" h=\"8\" frame=\"lb\">B</text></band>"
    "<band kind=\"masterData\" height=\"5.5\">"
    "<text x=\"0\" y=\"0\" w=\"22\" h=\"5.5\" frame=\"all\">[N]</text>"
    "<text x=\"22\" y=\"0\" w=\"18\" h=\"5.5\" frame=\"all\">[N]</text>"
    "<text x=\"40\" y=\"0\" w=\"25\" h=\"5.5\" frame=\"all\">Ф.И.О. [N]</text>"
    "<text x=\"65\" y=\"0\" w=\"50\" h=\"5.5\" frame=\"all\">[N]</text>"
    "<text x=\"115\" y=\"0\" w=\"12\" h=\"5.5\" frame=\"all\">[N]</text>"
    "<text x=\"127\" y=\"0\" w=\"25\" h=\"5.5\" frame=\"all\">[N]</text>"
    "<text x=\"152\" y=\"0\" w=\"28\" h=\"5.5\" frame=\"all\">[N]</text>"
    "<line x1=\"0\" y1=\"5.5\" x2=\"180\" y2=\"5.5\" width=\"0.25\"/></band>"
    "</report>";

} // namespace

void TestReports::pagesAreHeldPackedAndReadBackWhole()
{
    report::ReportTemplate layout;
    QVERIFY2(layout.parse(FramedTemplate), qPrintable(layout.errorString()));
    Numbers rows(200);
    report::ReportEngine engine;
    report::PreparedReport out;
    QVERIFY(engine.prepare(layout, rows, {}, out));
    QVERIFY(out.pages.size() >= 4);
    // The first item a filled, framed title reads back as its fill, its text inside the cell
    // and the four sides; a cell framed left and bottom as its text and those two sides.
    std::vector<report::PageItem> items(out.pages.front().items.begin(),
                                        out.pages.front().items.end());
    QCOMPARE(items.size(), out.pages.front().items.size());
    QVERIFY(items.size() > 9);
    using K = report::PageItem::Kind;
    const double mm = 72.0 / 25.4;
    const float left = float(15 * mm);
    const float top = float(12 * mm);
    const float right = float(15 * mm + 22 * mm);
    const float bottom = float(12 * mm + 8 * mm);
    auto near = [](float a, double b) { return std::abs(double(a) - b) < 0.01; };
    QCOMPARE(items[0].kind, K::Fill);
    QCOMPARE(items[0].color, QColor(QStringLiteral("#d9d9d9")).rgba());
    QVERIFY(near(items[0].x1, left) && near(items[0].y1, top) && near(items[0].x2, right) &&
            near(items[0].y2, bottom));
    QCOMPARE(items[1].kind, K::Text);
    QCOMPARE(items[1].text, QStringLiteral("A"));
    QVERIFY(near(items[1].x1, left + 1.5) && near(items[1].x2, right - 1.5));
    const std::pair<QPointF, QPointF> sides[] = {{{left, top}, {left, bottom}},
                                                 {{left, top}, {right, top}},
                                                 {{right, top}, {right, bottom}},
                                                 {{left, bottom}, {right, bottom}}};
    for (int i = 0; i < 4; ++i) {
        const report::PageItem& l = items[std::size_t(2 + i)];
        QCOMPARE(l.kind, K::Line);
        QCOMPARE(l.width, 0.5f);
        QVERIFY2(near(l.x1, sides[i].first.x()) && near(l.y1, sides[i].first.y()) &&
                     near(l.x2, sides[i].second.x()) && near(l.y2, sides[i].second.y()),
                 qPrintable(QStringLiteral("side %1").arg(i)));
    }
    QCOMPARE(items[6].kind, K::Text);
    QCOMPARE(items[6].text, QStringLiteral("B"));
    QCOMPARE(items[7].kind, K::Line); // left
    QVERIFY(near(items[7].x1, right) && near(items[7].x2, right));
    QCOMPARE(items[8].kind, K::Line); // bottom
    QVERIFY(near(items[8].y1, bottom) && near(items[8].y2, bottom));
    // Rows: texts with their values, the band's own line with its width.
    QCOMPARE(items[9].text, QStringLiteral("1"));
    QCOMPARE(items[9 + 5 + 5].text, QStringLiteral("Ф.И.О. 1"));
    bool bandLine = false;
    for (const report::PageItem& i : items)
        bandLine = bandLine || (i.kind == K::Line && i.width == 0.25f);
    QVERIFY(bandLine);
    // A full page of framed cells is held in a few kilobytes, texts included.
    QVERIFY2(double(out.memoryBytes()) / double(out.pages.size()) < 10 * 1024,
             qPrintable(QString::number(out.memoryBytes() / out.pages.size())));
    // Copies share the texts and read back alike.
    const report::PreparedReport copy = out;
    std::vector<report::PageItem> again(copy.pages.back().items.begin(),
                                        copy.pages.back().items.end());
    QCOMPARE(again.back().kind, K::Line);
    QCOMPARE(copy.pools.get(), out.pools.get());
}

void TestReports::previewReachesThePageOfAnyNumber()
{
    // 20,000 pages of one tall row each: more than a widget can be high at the natural size.
    report::ReportTemplate layout;
    QVERIFY(layout.parse("<report page=\"A4\" margins=\"10,10,10,10\">"
                         "<band kind=\"masterData\" height=\"250\"><text x=\"0\" y=\"0\" "
                         "w=\"100\" h=\"250\" fill=\"#000000\">[N]</text></band></report>"));
    Numbers rows(20000);
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

// A text too long for its cell is drawn whole in a smaller font: so measured it fits, and the
// PDF holds it whole; a text that fits keeps its size.
void TestReports::longTextsShrinkToTheirCells()
{
    report::ReportTemplate layout;
    QVERIFY(layout.parse("<report page=\"A5\"><band kind=\"masterData\" height=\"10\"><text "
                         "x=\"0\" y=\"0\" w=\"15\" h=\"6\">[N]</text><text x=\"15\" y=\"0\" "
                         "w=\"15\" h=\"6\" align=\"right\"> 6473 ч 55 мин 54 сек [N]</text>"
                         "</band></report>"));
    Numbers rows(2);
    report::PreparedReport out;
    QVERIFY(report::ReportEngine().prepare(layout, rows, {}, out));
    auto item = out.pages.front().items.begin();
    QCOMPARE((*item).fit, 1.0f);
    const report::PageItem cut = *++item;
    QVERIFY2(cut.fit < 0.9f, qPrintable(QString::number(cut.fit)));
    QVERIFY(QFontMetricsF(out.fonts[cut.font]).horizontalAdvance(cut.text) * cut.fit <=
            cut.x2 - cut.x1);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("w.pdf"));
    QVERIFY(report::ReportOutput().writePdf(out, pdf));
    QVERIFY(output(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")})
                .contains(QStringLiteral("6473 ч 55 мин 54 сек 2")));
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
        p.form->cbReport->setCurrentIndex(index);
        QVERIFY(p.click(p.form->bbPreview));
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
        Numbers one(1);
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
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    // The operator's short dates: 05.10.2026 (the suite may run in another locale).
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::system()); });
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
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::system()); });
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
