// The report engine alone: templates read and refused, pages laid out, held and written as
// PDF, also on a worker thread while the window thread writes its own. Neither a database nor a
// window: the suite links the report library over Qt Gui alone.
#include "support/ReportPages.h"
#include "support/TestMain.h"

#include "report/ReportEngine.h"
#include "report/ReportOutput.h"
#include "report/ReportTemplate.h"

#include <QBuffer>
#include <QColor>
#include <QFile>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <cmath>
#include <semaphore>
#include <thread>

namespace {

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

// The mailing's step: pages laid out from a template read on the window thread, written as a
// PDF into memory.
QByteArray layOutAndWrite(const report::ReportTemplate& layout, int rows, QString& error)
{
    test::Numbers numbers(rows);
    report::ReportEngine engine;
    report::PreparedReport pages;
    if (!engine.prepare(layout, numbers, {}, pages)) {
        error = engine.errorString();
        return {};
    }
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    report::ReportOutput output;
    if (!output.writePdf(pages, buffer))
        error = output.errorString();
    return pdf;
}

QString pdfText(const QByteArray& pdf, const QString& dir, const QString& name)
{
    const QString path = dir + u'/' + name;
    if (!test::writeFile(path, pdf))
        return {};
    return test::output(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
}

} // namespace

class TestReportEngine : public QObject
{
    Q_OBJECT
private slots:
    void engineLayout();
    void brokenTemplates_data();
    void brokenTemplates();
    void numbersOutOfRange_data();
    void numbersOutOfRange();
    void numbersAtTheirBounds();
    void reasonsTellWhere_data();
    void reasonsTellWhere();
    void xmlFaultsTellTheirLine();
    void pagesAreHeldPackedAndReadBackWhole();
    void longTextsShrinkToTheirCells();
    void emptyPagesLeaveAnExistingPdf();
    void pdfOnAWorkerWhileTheWindowThreadWrites();
};

void TestReportEngine::engineLayout()
{
    report::ReportTemplate layout;
    QVERIFY2(layout.parse(SmallTemplate), qPrintable(layout.errorString()));
    // A5: 210 mm high, 190 inside the margins; 10 for the footer leaves 180 for bands.
    test::Numbers rows(40);
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
    test::Numbers none(0);
    QVERIFY(engine.prepare(layout, none, {}, out));
    QCOMPARE(out.rowsPerPage, std::vector<int>{0});

    QTemporaryDir dir;
    QVERIFY(engine.prepare(layout, rows, {}, out));
    const QString pdf = dir.filePath(QStringLiteral("s.pdf"));
    QVERIFY(report::ReportOutput().writePdf(out, pdf));
    const QString text = test::output(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
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
    QVERIFY(engine.prepare(layout, rows, {}, out, 40));
    QCOMPARE(told.first(), 3);
    QStringList seen;
    engine.setProgress([&](int page, int) {
        if (seen.size() == page - 2) { // once on page 2 and once on page 3
            seen << footers().join(u' ');
            engine.expectRows(20);
        }
        return true;
    });
    QVERIFY(engine.prepare(layout, rows, {}, out));
    QCOMPARE(seen, (QStringList{QStringLiteral("1/\u2026"), QStringLiteral("1/2 2/2")}));
    QCOMPARE(footers(),
             (QStringList{QStringLiteral("1/3"), QStringLiteral("2/3"), QStringLiteral("3/3")}));
}

void TestReportEngine::brokenTemplates_data()
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

void TestReportEngine::brokenTemplates()
{
    QFETCH(QByteArray, xml);
    report::ReportTemplate layout;
    QVERIFY(!layout.parse(xml));
    QVERIFY(!layout.errorString().isEmpty());
}

void TestReportEngine::numbersOutOfRange_data()
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
    const char* const beyond[][3] = {{"size=0", "size", "0"},
                                     {"size=501", "size", "501"},
                                     {"width=101", "width", "101"},
                                     {"x=10001", "x", "10001"},
                                     {"margins=abc", "margins", "10,abc,10,10"},
                                     {"margins=1e400", "margins", "1e400,10,10,10"}};
    for (const auto& [name, attribute, value] : beyond)
        QTest::newRow(name) << QString::fromLatin1(attribute) << QString::fromLatin1(value);
}

void TestReportEngine::numbersOutOfRange()
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

void TestReportEngine::numbersAtTheirBounds()
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
        test::Numbers rows(3);
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

void TestReportEngine::reasonsTellWhere_data()
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

void TestReportEngine::reasonsTellWhere()
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
    QVERIFY(test::writeFile(dir.filePath(QStringLiteral("broken.frf")), xml));
    QVERIFY(!layout.load(dir.filePath(QStringLiteral("broken.frf"))));
    QCOMPARE(layout.errorString(), QStringLiteral("broken.frf, ") + reason);
}

void TestReportEngine::xmlFaultsTellTheirLine()
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

void TestReportEngine::pagesAreHeldPackedAndReadBackWhole()
{
    report::ReportTemplate layout;
    QVERIFY2(layout.parse(FramedTemplate), qPrintable(layout.errorString()));
    test::Numbers rows(200);
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
    auto spans = [&](const report::PageItem& i, double x1, double y1, double x2, double y2) {
        return near(i.x1, x1) && near(i.y1, y1) && near(i.x2, x2) && near(i.y2, y2);
    };
    QCOMPARE(items[0].kind, K::Fill);
    QCOMPARE(items[0].color, QColor(QStringLiteral("#d9d9d9")).rgba());
    QVERIFY(spans(items[0], left, top, right, bottom));
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
        QVERIFY2(spans(l, sides[i].first.x(), sides[i].first.y(), sides[i].second.x(),
                       sides[i].second.y()),
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

// A text too long for its cell is drawn whole in a smaller font: so measured it fits, and the
// PDF holds it whole; a text that fits keeps its size.
void TestReportEngine::longTextsShrinkToTheirCells()
{
    report::ReportTemplate layout;
    QVERIFY(layout.parse("<report page=\"A5\"><band kind=\"masterData\" height=\"10\"><text "
                         "x=\"0\" y=\"0\" w=\"15\" h=\"6\">[N]</text><text x=\"15\" y=\"0\" "
                         "w=\"15\" h=\"6\" align=\"right\"> 6473 ч 55 мин 54 сек [N]</text>"
                         "</band></report>"));
    test::Numbers rows(2);
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
    QVERIFY(test::output(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")})
                .contains(QStringLiteral("6473 ч 55 мин 54 сек 2")));
}

// Pages with nothing on them write nothing, and leave a file of the same name as it was.
void TestReportEngine::emptyPagesLeaveAnExistingPdf()
{
    QTemporaryDir dir;
    const QString kept = dir.filePath(QStringLiteral("kept.pdf"));
    QVERIFY(test::writeFile(kept, "old"));
    report::PreparedReport none;
    report::ReportOutput output;
    QVERIFY(!output.writePdf(none, kept));
    QVERIFY(!output.errorString().isEmpty());
    QFile again(kept);
    QVERIFY(again.open(QIODevice::ReadOnly));
    QCOMPARE(again.readAll(), QByteArray("old"));
}

// A worker lays pages out and writes them as PDF (as the mailing does for each subscriber),
// and writes pages laid out on the window thread, while the window thread goes on laying out,
// painting those same pages (their fonts shared) and writing PDFs of its own until the worker
// is done: every PDF reads back whole.
void TestReportEngine::pdfOnAWorkerWhileTheWindowThreadWrites()
{
    report::ReportTemplate layout;
    QVERIFY2(layout.parse(QByteArray(SmallTemplate).replace("row [N]", "строка [N]")),
             qPrintable(layout.errorString()));
    test::Numbers numbers(40);
    report::PreparedReport shared;
    QVERIFY(report::ReportEngine().prepare(layout, numbers, {}, shared));
    const report::PreparedReport sharedCopy = shared; // the fonts are the same QFont copies

    QByteArray workerOwn;
    QByteArray workerShared;
    QString workerError;
    std::binary_semaphore go(0);
    std::atomic<bool> done = false;
    std::thread worker([&] {
        go.acquire();
        workerOwn = layOutAndWrite(layout, 300, workerError);
        QBuffer buffer(&workerShared);
        buffer.open(QIODevice::WriteOnly);
        report::ReportOutput output;
        if (!output.writePdf(shared, buffer))
            workerError = output.errorString();
        done = true;
    });

    // The window thread is busy with fonts and PDFs all the time the worker runs.
    go.release();
    int rounds = 0;
    QByteArray windowOwn;
    QString windowError;
    QImage page(420, 595, QImage::Format_RGB32);
    do {
        windowOwn = layOutAndWrite(layout, 60, windowError);
        page.fill(Qt::white);
        QPainter painter(&page);
        for (int i = 0; i < int(sharedCopy.pages.size()); ++i)
            report::ReportOutput::paintPage(painter, sharedCopy, i, 1.0);
        ++rounds;
    } while (!done && windowError.isEmpty());
    worker.join();
    QVERIFY2(workerError.isEmpty(), qPrintable(workerError));
    QVERIFY2(windowError.isEmpty(), qPrintable(windowError));
    QVERIFY(rounds >= 1);

    QTemporaryDir dir;
    // 300 rows: 14 on the first page, 16 on each after, 19 pages.
    const QString own = pdfText(workerOwn, dir.path(), QStringLiteral("worker.pdf"));
    QVERIFY2(own.contains(QStringLiteral("строка 300")), qPrintable(own.left(500)));
    QVERIFY(own.contains(QStringLiteral("19/19")));
    QCOMPARE(own.count(QStringLiteral("строка ")), 300);
    const QString sharedText = pdfText(workerShared, dir.path(), QStringLiteral("shared.pdf"));
    QCOMPARE(sharedText.count(QStringLiteral("строка ")), 40);
    QVERIFY(sharedText.contains(QStringLiteral("3/3")));
    const QString window = pdfText(windowOwn, dir.path(), QStringLiteral("window.pdf"));
    QCOMPARE(window.count(QStringLiteral("строка ")), 60);
    QVERIFY(window.contains(QStringLiteral("4/4")));
}

KELVORA_TEST_MAIN(TestReportEngine)
#include "test_report_engine.moc"
