// Export of a grid to each format, read back by independent readers; the export chooser; the
// about box and the service information.
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include "DemoData.h"
#include "app/Messages.h"
#include "data/CallRecord.h"
#include "data/TDM.h"
#include "db/DbError.h"
#include "grid/CsvExporter.h"
#include "grid/DataGrid.h"
#include "grid/GridExporter.h"
#include "grid/RtfExporter.h"
#include "grid/XlsxExporter.h"
#include "support/CallData.h"
#include "support/Login.h"
#include "support/MainWindowSession.h"
#include "support/TariffData.h"
#include "support/WindowSuite.h"
#include "ui/common/TFileForm.h"
#include "ui/controls/TAboutBox.h"
#include "ui/main/CallsTab.h"
#include "ui/main/TMainForm.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <clocale>

namespace {

// Runs a reader; its standard output, or a failed check.
QByteArray run(const QString& program, const QStringList& args, int* exitCode = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000))
        return {};
    if (exitCode)
        *exitCode = p.exitCode();
    return p.readAllStandardOutput();
}

// The cells of every sheet as xlrd reads them: [{name, rows: [[{t, v, f}]]}], "f" the
// cell's number format.
QJsonArray readXls(const QString& path, int maxRows = 5)
{
    const QString script =
        QStringLiteral("import sys, json, xlrd\n"
                       "b = xlrd.open_workbook(sys.argv[1], formatting_info=True)\n"
                       "def f(c):\n"
                       "    return b.format_map[b.xf_list[c.xf_index].format_key].format_str\n"
                       "out = []\n"
                       "for s in b.sheets():\n"
                       "    rows = []\n"
                       "    for r in list(range(min(s.nrows, %1))) + ([s.nrows - 1] if s.nrows > "
                       "%1 else []):\n"
                       "        rows.append([{'t': c.ctype, 'v': c.value, 'f': f(c)} for c in "
                       "s.row(r)])\n"
                       "    out.append({'name': s.name, 'nrows': s.nrows, 'rows': rows})\n"
                       "print(json.dumps(out))\n")
            .arg(maxRows);
    return QJsonDocument::fromJson(
               run(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, path}))
        .array();
}

// Every sheet of a workbook as openpyxl reads it: [{name, freeze, widths, rows: [[{v, b}]]}],
// the value's Python type in "t" ("int", "float", "str", "NoneType"), the number format in
// "f".
QJsonArray readXlsx(const QString& path)
{
    const QString script = QStringLiteral(
        "import sys, json, openpyxl\n"
        "from openpyxl.utils import get_column_letter\n"
        "b = openpyxl.load_workbook(sys.argv[1])\n"
        "out = []\n"
        "for s in b.worksheets:\n"
        "    rows = [[{'v': c.value, 't': type(c.value).__name__, 'b': bool(c.font.b),\n"
        "              'f': c.number_format}\n"
        "             for c in r] for r in s.iter_rows()]\n"
        "    widths = [s.column_dimensions[get_column_letter(i + 1)].width\n"
        "              for i in range(s.max_column)]\n"
        "    out.append({'name': s.title, 'freeze': s.freeze_panes, 'widths': widths,\n"
        "                'rows': rows})\n"
        "print(json.dumps(out, default=lambda span: span.total_seconds()))\n");
    return QJsonDocument::fromJson(
               run(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, path}))
        .array();
}

// The lines of a CSV file as Python's csv module reads them with the given separator.
QJsonArray readCsv(const QString& path, const QString& separator)
{
    const QString script = QStringLiteral(
        "import sys, json, csv\n"
        "with open(sys.argv[1], newline='', encoding=sys.argv[3]) as f:\n"
        "    print(json.dumps(list(csv.reader(f, delimiter=sys.argv[2], strict=True))))\n");
    return QJsonDocument::fromJson(
               run(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral("-c"), script, path, separator, QStringLiteral("utf-8-sig")}))
        .array();
}

// The office suite converts a file to another format in `outDir`; the new file's path, or
// nothing when it could not.
QString officeConvert(const QString& path, const QString& to, const QString& outDir,
                      const QStringList& extra = {})
{
    QStringList args = {QStringLiteral("-env:UserInstallation=file://") + outDir +
                            QStringLiteral("/profile"),
                        QStringLiteral("--headless")};
    args << extra << QStringLiteral("--convert-to") << to << QStringLiteral("--outdir") << outDir
         << path;
    int code = -1;
    run(QStringLiteral("libreoffice"), args, &code);
    const QString made =
        outDir + u'/' + QFileInfo(path).completeBaseName() + u'.' + to.section(u':', 0, 0);
    return code == 0 && QFile::exists(made) ? made : QString();
}

// The grid's own texts, titles first, as the CSV should hold them.
QJsonArray gridTexts(const grid::DataGrid& g)
{
    const grid::GridTable table(g);
    QJsonArray all;
    QJsonArray titles;
    for (int c = 0; c < table.columnCount(); ++c)
        titles.append(table.title(c));
    all.append(titles);
    for (qint64 r = 0; r < table.rowCount(); ++r) {
        QJsonArray row;
        for (const QString& s : table.rowTexts(r))
            row.append(s);
        all.append(row);
    }
    return all;
}

// What a file holds; nothing when it cannot be read.
QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString decodeEntities(QString s)
{
    static const QRegularExpression entity(QStringLiteral("&#(\\d+);"));
    QRegularExpressionMatch m;
    while ((m = entity.match(s)).hasMatch())
        s.replace(m.capturedStart(), m.capturedLength(), QChar(m.captured(1).toInt()));
    return s;
}

// A table written by an exporter to `name` in `dir`: the file's path, or nothing.
QString writeFile(grid::GridExporter& exporter, const grid::GridTable& table, const QString& dir,
                  const QString& name)
{
    QFile f(dir + u'/' + name);
    if (!f.open(QIODevice::WriteOnly) || !exporter.write(f, table))
        return {};
    return f.fileName();
}

// What a reader gave of a cell: `key` of row `r`, column `c` of a sheet's rows.
QJsonValue at(const QJsonArray& rows, int r, int c, const char* key)
{
    return rows[r].toArray()[c].toObject()[QLatin1String(key)];
}

// The rows of a sheet as a reader gave them.
QJsonArray rowsOf(const QJsonValue& sheet)
{
    return sheet[QStringLiteral("rows")].toArray();
}

struct Fixture
{
    test::TestDatabase t;
    std::unique_ptr<TDM> dm;
    std::unique_ptr<grid::DataGrid> grid;
    QTemporaryDir out; // where the export chooser writes

    // A fresh database with three lines and the statements `setUp`, the grid over `select`.
    bool make(const QString& select, const QStringList& setUp = {})
    {
        if (!t.create())
            return false;
        for (const QString& statement : setUp) // each its own, a table made before it is filled
            t.exec({statement});
        t.exec({QStringLiteral("INSERT INTO Lines VALUES (1, 2150001, 'Факс; {и} \\\\ "
                               "табуляция\t', 'первая строка')"),
                QStringLiteral("INSERT INTO Lines VALUES (2, 0, 'Секретарь', NULL)"),
                QStringLiteral("INSERT INTO Lines VALUES (3, 2157788, NULL, 'Ёлка & <тег>')")});
        dm = std::make_unique<TDM>(t.dir());
        test::login(*dm, t.path());
        dm->MainObject->N7 = 5; // city numbers shown as xxx-xxxx
        dm->ibQueryLines.sql().add(select);
        dm->ibQueryLines.open();
        ApplyFieldLabels(dm->ibQueryLines);
        grid = std::make_unique<grid::DataGrid>();
        grid->setObjectName(QStringLiteral("GridLines"));
        grid->setQuery(&dm->ibQueryLines);
        return true;
    }
    // The grid read again, with the statement `select` when one is given.
    void reload(const QString& select = {})
    {
        grid->beginReload();
        dm->ibQueryLines.close();
        if (!select.isEmpty()) {
            dm->ibQueryLines.sql().clear();
            dm->ibQueryLines.sql().add(select);
        }
        dm->ibQueryLines.open();
        grid->endReload();
    }
    QString exportTo(grid::ExportFormat format, const QString& name)
    {
        grid::ExportOptions options;
        options.sheetName = QStringLiteral("Лист");
        return writeFile(*grid::makeExporter(format, options), grid::GridTable(*grid), t.dir(),
                         name);
    }
};

#define FIXTURE(f, select)                                                                         \
    Fixture f;                                                                                     \
    QVERIFY2(f.make(select), qPrintable(f.t.error()))

const QString Lines = QStringLiteral("SELECT * FROM Lines ORDER BY NumberLine");

// The formats a chooser lists, in its order, and the order it must have.
QStringList formats(const TFileForm& form)
{
    QStringList listed;
    for (int i = 0; i < form.cbExt->count(); ++i)
        listed << form.cbExt->itemText(i);
    return listed;
}
const QStringList AllFormats{QStringLiteral("RTF"), QStringLiteral("TXT"),  QStringLiteral("HTM"),
                             QStringLiteral("XLS"), QStringLiteral("XLSX"), QStringLiteral("CSV")};

// The export chooser over the fixture's grid, writing into the fixture's folder.
struct Chooser : TFileForm
{
    explicit Chooser(Fixture& f) : TFileForm(f.out.path()) { ExportGrid = f.grid.get(); }
};

} // namespace

class TestExport : public test::WindowSuite
{
    Q_OBJECT
private slots:
    void textIn1251();
    void htmlPage();
    void rtfTable();
    void xlsCellsAndTypes();
    void xlsSplitsIntoSheets();
    void xlsxCellsTypesAndLayout();
    void xlsxSplitsIntoSheets();
    void xlsxWrittenInTheUsersLocale();
    void csvQuotingAndEncoding();
    void callCostsAreNumbersInSpreadsheets();
    void chooserNameRules();
    void chooserReportsAFileThatCannotBeWritten();
    void chooserStartsOverOnlyForItsOwnWindows();
    void chooserCancelledExportLeavesNoFile();
    void aboutBoxLinks();
    void serviceInformation();
};

void TestExport::textIn1251()
{
    FIXTURE(f, Lines);
    // The user's column order is the file's.
    QHeaderView* h = f.grid->horizontalHeader();
    h->moveSection(h->visualIndex(f.grid->findColumnByField(QStringLiteral("ETC"))), 0);
    const QByteArray bytes =
        contents(f.exportTo(grid::ExportFormat::Text, QStringLiteral("t.TXT")));
    const QString expected =
        QStringLiteral("Примечания\tНомер линии\tГородской номер\tДоп.\r\n"
                       "первая строка\t1\t215-0001\tФакс; {и} \\\\ табуляция \r\n"
                       "\t2\t\tСекретарь\r\n"
                       "Ёлка & <тег>\t3\t215-7788\t\r\n");
    QCOMPARE(bytes, QStringEncoder("windows-1251").encode(expected));
}

void TestExport::htmlPage()
{
    FIXTURE(f, Lines);
    const QString path = f.exportTo(grid::ExportFormat::Html, QStringLiteral("t.HTM"));
    int code = -1;
    run(QStringLiteral("xmllint"), {QStringLiteral("--html"), QStringLiteral("--noout"), path},
        &code);
    QCOMPARE(code, 0);
    auto xpath = [&](const char* expression) {
        return QString::fromUtf8(run(QStringLiteral("xmllint"),
                                     {QStringLiteral("--html"), QStringLiteral("--xpath"),
                                      QLatin1String(expression), path}))
            .trimmed();
    };
    const QString cells = xpath("//tr/*/text()");
    QVERIFY2(cells.contains(QStringLiteral("Городской номер")), qPrintable(cells));
    QVERIFY(cells.contains(QStringLiteral("215-7788")));
    QVERIFY(cells.contains(QStringLiteral("Ёлка &amp; &lt;тег&gt;")) ||
            cells.contains(QStringLiteral("Ёлка & <тег>")));
    QCOMPARE(xpath("string(//meta/@charset)"), QStringLiteral("utf-8"));
    QCOMPARE(xpath("count(//tr)"), QStringLiteral("4"));
}

void TestExport::rtfTable()
{
    FIXTURE(f, Lines);
    const QString path = f.exportTo(grid::ExportFormat::Rtf, QStringLiteral("t.RTF"));
    const QString html = decodeEntities(
        QString::fromUtf8(run(QStringLiteral("unrtf"), {QStringLiteral("--html"), path})));
    QVERIFY2(html.contains(QStringLiteral("<table")), qPrintable(html.left(400)));
    // The reader's HTML splits some cells oddly; its text, in order, is what counts.
    QString text = html;
    text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    text.replace(QStringLiteral("&lt;"), QStringLiteral("<"))
        .replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    text = text.simplified();
    for (const QString& s :
         {QStringLiteral("Номер линии"), QStringLiteral("Доп."), QStringLiteral("215-0001"),
          QStringLiteral("Факс; {и} \\\\ табуляция"), QStringLiteral("Секретарь"),
          QStringLiteral("Ёлка & <тег>"), QStringLiteral("первая строка")})
        QVERIFY2(text.contains(s), qPrintable(s + u'\n' + text));
    QVERIFY(text.indexOf(QStringLiteral("Секретарь")) < text.indexOf(QStringLiteral("215-7788")));
    QVERIFY(html.count(QStringLiteral("<tr")) >= 4);
    QCOMPARE(grid::RtfExporter::escape(QStringLiteral("{a}\\Я≈")),
             QByteArray("\\{a\\}\\\\\\'df\\u8776?"));
}

void TestExport::xlsCellsAndTypes()
{
    FIXTURE(f, Lines);
    const QString path = f.exportTo(grid::ExportFormat::Xls, QStringLiteral("t.XLS"));
    const QJsonArray sheets = readXls(path);
    QCOMPARE(sheets.size(), 1);
    const QJsonObject sheet = sheets[0].toObject();
    QCOMPARE(sheet[QStringLiteral("name")].toString(), QStringLiteral("Лист1"));
    QCOMPARE(sheet[QStringLiteral("nrows")].toInt(), 4);
    QCOMPARE(at(rowsOf(sheet), 0, 0, "v").toString(), QStringLiteral("Номер линии"));
    QCOMPARE(at(rowsOf(sheet), 0, 3, "v").toString(), QStringLiteral("Примечания"));
    QCOMPARE(at(rowsOf(sheet), 1, 0, "t").toInt(), 2); // a number
    QCOMPARE(at(rowsOf(sheet), 1, 0, "v").toDouble(), 1.0);
    QCOMPARE(at(rowsOf(sheet), 1, 1, "t").toInt(), 1); // a masked number is a text
    QCOMPARE(at(rowsOf(sheet), 1, 1, "v").toString(), QStringLiteral("215-0001"));
    QCOMPARE(at(rowsOf(sheet), 3, 3, "v").toString(), QStringLiteral("Ёлка & <тег>"));
    QCOMPARE(at(rowsOf(sheet), 2, 1, "t").toInt(), 0); // empty
}

void TestExport::xlsSplitsIntoSheets()
{
    Fixture f;
    // 100,000 rows from ten digits crossed five times, 70,000 of them kept.
    const QString select = QStringLiteral(
        "SELECT a.x * 10000 + b.x * 1000 + c.x * 100 + d.x * 10 + e.x + 1 AS NumberLine, "
        "'строка ' || (a.x * 10000 + b.x * 1000 + c.x * 100 + d.x * 10 + e.x + 1) AS AddInfo "
        "FROM Digits a, Digits b, Digits c, Digits d, Digits e "
        "WHERE a.x * 10000 + b.x * 1000 + c.x * 100 + d.x * 10 + e.x < 70000 ORDER BY 1");
    QStringList digits{QStringLiteral("CREATE TABLE Digits (x INTEGER)")};
    for (int i = 0; i < 10; ++i)
        digits << QStringLiteral("INSERT INTO Digits VALUES (%1)").arg(i);
    QVERIFY2(f.make(select, digits), qPrintable(f.t.error()));
    QCOMPARE(f.grid->model()->rowCount(), 70000);
    const QString path = f.exportTo(grid::ExportFormat::Xls, QStringLiteral("big.XLS"));
    const QJsonArray sheets = readXls(path, 2);
    QCOMPARE(sheets.size(), 2);
    QCOMPARE(sheets[0][QStringLiteral("nrows")].toInt(), 65536); // titles and 65,535 rows
    QCOMPARE(sheets[1][QStringLiteral("nrows")].toInt(), 70000 - 65535 + 1);
    QCOMPARE(sheets[1][QStringLiteral("name")].toString(), QStringLiteral("Лист2"));
    // The reader gives each sheet's first two rows and its last (here the third).
    QCOMPARE(at(rowsOf(sheets[0]), 2, 0, "v").toDouble(), 65535.0);
    QCOMPARE(at(rowsOf(sheets[1]), 0, 1, "v").toString(), QStringLiteral("Доп."));
    QCOMPARE(at(rowsOf(sheets[1]), 1, 0, "v").toDouble(), 65536.0);
    QCOMPARE(at(rowsOf(sheets[1]), 2, 1, "v").toString(), QStringLiteral("строка 70000"));
}

void TestExport::xlsxCellsTypesAndLayout()
{
    FIXTURE(f, Lines);
    f.grid->setColumnWidth(0, 40);
    f.grid->setColumnWidth(2, 240);
    const QString path = f.exportTo(grid::ExportFormat::Xlsx, QStringLiteral("t.XLSX"));
    QVERIFY(!path.isEmpty());
    const QJsonArray sheets = readXlsx(path);
    QCOMPARE(sheets.size(), 1);
    const QJsonObject sheet = sheets[0].toObject();
    QCOMPARE(sheet[QStringLiteral("name")].toString(), QStringLiteral("Лист1"));
    QCOMPARE(sheet[QStringLiteral("freeze")].toString(), QStringLiteral("A2"));
    const QJsonArray rows = rowsOf(sheet);
    QCOMPARE(rows.size(), 4);
    for (int c = 0; c < 4; ++c)
        QVERIFY(at(rows, 0, c, "b").toBool());
    QVERIFY(!at(rows, 1, 0, "b").toBool());
    QCOMPARE(at(rows, 0, 0, "v").toString(), QStringLiteral("Номер линии"));
    QCOMPARE(at(rows, 0, 3, "v").toString(), QStringLiteral("Примечания"));
    QCOMPARE(at(rows, 1, 0, "t").toString(), QStringLiteral("int")); // a number
    QCOMPARE(at(rows, 3, 0, "v").toInt(), 3);
    QCOMPARE(at(rows, 1, 1, "v").toString(), QStringLiteral("215-0001")); // masked
    QCOMPARE(at(rows, 1, 2, "v").toString(), QStringLiteral("Факс; {и} \\\\ табуляция\t"));
    QCOMPARE(at(rows, 3, 3, "v").toString(), QStringLiteral("Ёлка & <тег>"));
    QCOMPARE(at(rows, 2, 3, "t").toString(), QStringLiteral("NoneType")); // empty
    // Widths follow the grid's.
    const QJsonArray widths = sheet[QStringLiteral("widths")].toArray();
    QVERIFY2(widths[0].toDouble() > 0 && widths[0].toDouble() < widths[1].toDouble() &&
                 widths[1].toDouble() < widths[2].toDouble(),
             QJsonDocument(widths).toJson().constData());

    // The office suite reads the same cells.
    QTemporaryDir office;
    const QString csv = officeConvert(
        path, QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"), office.path());
    QVERIFY2(!csv.isEmpty(), "the office suite could not open the workbook");
    const QJsonArray back = readCsv(csv, QStringLiteral(","));
    QCOMPARE(back.size(), 4);
    QCOMPARE(back[0].toArray()[0].toString(), QStringLiteral("Номер линии"));
    QCOMPARE(back[1].toArray()[0].toString(), QStringLiteral("1"));
    QCOMPARE(back[3].toArray()[3].toString(), QStringLiteral("Ёлка & <тег>"));
}

void TestExport::xlsxSplitsIntoSheets()
{
    FIXTURE(f, Lines);
    grid::XlsxExporter xlsx;
    QCOMPARE(xlsx.rowsPerSheet(), 1048575); // a sheet's 1,048,576 rows, the titles in the first
    xlsx.setSheetName(QStringLiteral("Лист"));
    xlsx.setRowsPerSheet(2);
    const QString path = f.t.dir() + QStringLiteral("/split.XLSX");
    {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QVERIFY2(xlsx.write(out, grid::GridTable(*f.grid)), qPrintable(xlsx.errorString()));
    }
    const QJsonArray sheets = readXlsx(path);
    QCOMPARE(sheets.size(), 2);
    QCOMPARE(sheets[1][QStringLiteral("name")].toString(), QStringLiteral("Лист2"));
    QCOMPARE(sheets[1][QStringLiteral("freeze")].toString(), QStringLiteral("A2"));
    QCOMPARE(rowsOf(sheets[0]).size(), 3);
    QCOMPARE(rowsOf(sheets[1]).size(), 2);
    QCOMPARE(at(rowsOf(sheets[0]), 2, 0, "v").toInt(), 2);
    QCOMPARE(at(rowsOf(sheets[1]), 0, 1, "v").toString(), QStringLiteral("Городской номер"));
    QVERIFY(at(rowsOf(sheets[1]), 0, 1, "b").toBool());
    QCOMPARE(at(rowsOf(sheets[1]), 1, 0, "v").toInt(), 3);
}

// On a Russian desktop the C library's decimal point is a comma; the workbook's widths,
// margins and numbers must still be written with a point, or no reader opens the file.
void TestExport::xlsxWrittenInTheUsersLocale()
{
    QVERIFY2(QByteArray(std::setlocale(LC_CTYPE, nullptr)).startsWith("ru_RU"),
             "the suite runs in the Russian locale (generate it with locale-gen)");
    FIXTURE(f, QStringLiteral("SELECT NumberLine, CAST(NumberLine AS DOUBLE PRECISION) / 4 "
                              "AS AddInfo FROM Lines ORDER BY NumberLine"));
    f.grid->setColumnWidth(0, 93);
    const QString path = f.exportTo(grid::ExportFormat::Xlsx, QStringLiteral("ru.XLSX"));
    const QJsonArray sheets = readXlsx(path);
    QCOMPARE(sheets.size(), 1);
    QVERIFY(sheets[0][QStringLiteral("widths")][0].toDouble() > 12.0);
    QCOMPARE(at(rowsOf(sheets[0]), 1, 1, "t").toString(), QStringLiteral("float"));
    QCOMPARE(at(rowsOf(sheets[0]), 1, 1, "v").toDouble(), 0.25);
}

void TestExport::csvQuotingAndEncoding()
{
    // A column with quotes, a line break and the separator besides the directory's own texts.
    FIXTURE(f, QStringLiteral("SELECT NumberLine, NumberTown, AddInfo, 'он сказал \"да\"' || "
                              "ASCII_CHAR(13) || ASCII_CHAR(10) || 'вторая; строка' AS Etc FROM "
                              "Lines ORDER BY NumberLine"));
    const QString path = f.exportTo(grid::ExportFormat::Csv, QStringLiteral("t.CSV"));
    const QByteArray bytes = contents(path);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    QVERIFY(bytes.contains("\"\xD0\xBE\xD0\xBD \xD1\x81")); // a quoted field in UTF-8
    QVERIFY(bytes.endsWith("\r\n"));
    const QJsonArray expected = gridTexts(*f.grid);
    QCOMPARE(expected.size(), 4);
    QCOMPARE(expected[1].toArray()[3].toString(),
             QStringLiteral("он сказал \"да\"\r\nвторая; строка"));
    QCOMPARE(expected[1].toArray()[2].toString(), QStringLiteral("Факс; {и} \\\\ табуляция\t"));
    QCOMPARE(readCsv(path, QStringLiteral(";")), expected);
    QCOMPARE(grid::CsvExporter::field(QStringLiteral("a\"b"), u';'), QStringLiteral("\"a\"\"b\""));
    QCOMPARE(grid::CsvExporter::field(QStringLiteral("a,b"), u';'), QStringLiteral("a,b"));

    // The office suite, told the separator, reads every field back.
    QTemporaryDir office;
    const QString xlsx = officeConvert(path, QStringLiteral("xlsx"), office.path(),
                                       {QStringLiteral("--infilter=CSV:59,34,76,1")});
    QVERIFY2(!xlsx.isEmpty(), "the office suite could not open the file");
    const QJsonArray rows = rowsOf(readXlsx(xlsx)[0]);
    QCOMPARE(rows.size(), 4);
    QCOMPARE(at(rows, 0, 0, "v").toString(), QStringLiteral("Номер линии"));
    QCOMPARE(at(rows, 1, 2, "v").toString(), QStringLiteral("Факс; {и} \\\\ табуляция\t"));
    QCOMPARE(at(rows, 2, 3, "v").toString().remove(u'\r'),
             QStringLiteral("он сказал \"да\"\nвторая; строка"));
}

// The call list's costs are sums a spreadsheet can add up: numbers shown with their kopecks
// and digits grouped; its talk times are spans of time. The formats of plain text keep the
// grid's texts.
void TestExport::callCostsAreNumbersInSpreadsheets()
{
    TEST_SMALL_CALL_LOG(t);
    test::MainWindowSession s(t);
    QVERIFY(s.ok);
    // 30 s to 8125551: 1,25; 3725 s to 4951234567: 63 minutes at 20,05; one call incoming.
    test::storeDefaultPlan(
        s.dm, {test::zoneRule(QStringLiteral("Местные"), {}, 7, 125),
               test::zoneRule(QStringLiteral("Междугородные"), QStringLiteral("495"), 10, 2005)});
    s.tabs.dOT->setDate(QDate(2026, 3, 1));
    s.tabs.dDo->setDate(QDate(2026, 3, 2));
    QTest::mouseClick(s.tabs.sbStart, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return !s.form.TabSheet1->loading(); }, 60000));
    const grid::GridTable table(*s.tabs.GridRings);
    int cost = -1;
    for (int c = 0; c < table.columnCount(); ++c)
        if (table.title(c) == QStringLiteral("Стоимость"))
            cost = c;
    QVERIFY(cost >= 0);
    const int talk = cost - 2; // "Продолжительность разговора", before the zone
    QCOMPARE(table.title(talk), QStringLiteral("Продолжительность разговора"));
    QCOMPARE(table.decimals(cost), std::optional<int>(2));
    QCOMPARE(table.decimals(0), std::nullopt); // the date
    auto write = [&](grid::ExportFormat format, const char* name) {
        return writeFile(*grid::makeExporter(format), table, t.dir(), QLatin1String(name));
    };

    const QJsonArray xlsx = rowsOf(readXlsx(write(grid::ExportFormat::Xlsx, "calls.XLSX"))[0]);
    QCOMPARE(xlsx.size(), 4);
    const QString grouped = QStringLiteral("#,##0.00");
    QCOMPARE(at(xlsx, 1, cost, "t").toString(), QStringLiteral("float"));
    QCOMPARE(at(xlsx, 1, cost, "v").toDouble(), 1.25);
    QCOMPARE(at(xlsx, 1, cost, "f").toString(), grouped);
    QCOMPARE(at(xlsx, 2, cost, "t").toString(), QStringLiteral("NoneType"));
    QCOMPARE(at(xlsx, 3, cost, "v").toDouble(), 1263.15);
    const QString span = QStringLiteral("[h]:mm:ss");
    QCOMPARE(at(xlsx, 3, talk, "t").toString(), QStringLiteral("timedelta"));
    QCOMPARE(at(xlsx, 3, talk, "v").toDouble(), 3725.0);
    QCOMPARE(at(xlsx, 3, talk, "f").toString(), span);
    const QJsonArray xls = rowsOf(readXls(write(grid::ExportFormat::Xls, "calls.XLS"))[0]);
    QCOMPARE(at(xls, 1, cost, "t").toInt(), 2); // a number
    QCOMPARE(at(xls, 1, cost, "v").toDouble(), 1.25);
    QCOMPARE(at(xls, 1, cost, "f").toString(), grouped);
    QCOMPARE(at(xls, 2, cost, "t").toInt(), 0); // empty
    QCOMPARE(at(xls, 3, cost, "v").toDouble(), 1263.15);
    QCOMPARE(at(xls, 3, 0, "t").toInt(), 1);    // the date a text
    QCOMPARE(at(xls, 3, talk, "t").toInt(), 3); // a time
    QCOMPARE(qRound(at(xls, 3, talk, "v").toDouble() * 86400), 3725);
    QCOMPARE(at(xls, 3, talk, "f").toString(), span);

    // The text formats hold what the grid shows.
    QCOMPARE(readCsv(write(grid::ExportFormat::Csv, "calls.CSV"), QStringLiteral(";")),
             gridTexts(*s.tabs.GridRings));
    QCOMPARE(gridTexts(*s.tabs.GridRings)[3].toArray()[cost].toString(), QStringLiteral("1263,15"));
    QVERIFY(QString(QStringDecoder("windows-1251")
                        .decode(contents(write(grid::ExportFormat::Text, "calls.TXT"))))
                .contains(QStringLiteral("\t1263,15\r\n")));
}

void TestExport::chooserNameRules()
{
    FIXTURE(f, Lines);
    Chooser form(f);
    form.show();
    QCOMPARE(form.windowTitle(), QStringLiteral("Файлы"));
    QCOMPARE(form.cbExt->currentText(), QStringLiteral("HTM"));
    QCOMPARE(form.directory(), QDir(f.out.path()).absolutePath());
    QCOMPARE(formats(form), AllFormats);

    // A typed extension gives way to the listed one; only the part before the first dot stays.
    form.cbExt->setCurrentIndex(3);
    form.EditNameFile->setText(QStringLiteral("отчет.за.март.txt"));
    QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    QCOMPARE(form.result(), 1);
    QCOMPARE(form.EditNameFile->text(), QStringLiteral("отчет"));
    QVERIFY(QFile::exists(f.out.filePath(QStringLiteral("отчет.XLS"))));
    QCOMPARE(readXls(f.out.filePath(QStringLiteral("отчет.XLS"))).size(), 1);

    // Empty names are refused, and the chooser starts over on HTM.
    Chooser again(f);
    again.show();
    again.cbExt->setCurrentIndex(1);
    again.EditNameFile->setText(QStringLiteral("  .txt"));
    QTest::mouseClick(again.BitBtn1, Qt::LeftButton);
    QCOMPARE(Messages::shown().last().text, QStringLiteral("Запишите имя файла !"));
    QVERIFY(again.isVisible());
    QCOMPARE(again.cbExt->currentText(), QStringLiteral("HTM"));
    QCOMPARE(again.EditNameFile->text(), QStringLiteral("  "));
    // Another extension shows its files and empties the name.
    again.cbExt->setCurrentIndex(3);
    QVERIFY(again.EditNameFile->text().isEmpty());
    QCOMPARE(again.FileListBox1->count(), 1);
    // Clicking an existing file with the mouse takes its name; "Ok" writes over it.
    QListWidget* files = again.FileListBox1;
    QTest::mouseClick(files->viewport(), Qt::LeftButton, {},
                      files->visualItemRect(files->item(0)).center());
    QCOMPARE(again.EditNameFile->text(), QStringLiteral("отчет.XLS"));
    f.reload(QStringLiteral("SELECT * FROM Lines WHERE NumberLine = 2"));
    QTest::mouseClick(again.BitBtn1, Qt::LeftButton);
    QCOMPARE(again.result(), 1);
    QCOMPARE(readXls(f.out.filePath(QStringLiteral("отчет.XLS")))[0]
                 .toObject()[QStringLiteral("nrows")]
                 .toInt(),
             2);
    // The two later formats write what they name.
    for (const int index : {4, 5}) {
        Chooser other(f);
        other.show();
        other.cbExt->setCurrentIndex(index);
        other.EditNameFile->setText(QStringLiteral("линии"));
        QTest::mouseClick(other.BitBtn1, Qt::LeftButton);
        QCOMPARE(other.result(), 1);
    }
    QCOMPARE(readXlsx(f.out.filePath(QStringLiteral("линии.XLSX")))[0]
                 .toObject()[QStringLiteral("rows")]
                 .toArray()
                 .size(),
             2);
    QCOMPARE(readCsv(f.out.filePath(QStringLiteral("линии.CSV")), QStringLiteral(";")).size(), 2);
    // Blanks around a name are kept in the file name.
    Chooser third(f);
    third.cbExt->setCurrentIndex(1);
    third.EditNameFile->setText(QStringLiteral(" a b "));
    QTest::mouseClick(third.BitBtn1, Qt::LeftButton);
    QVERIFY(QFile::exists(f.out.filePath(QStringLiteral(" a b .TXT"))));
    QTest::mouseClick(third.BitBtn2, Qt::LeftButton);
}

void TestExport::chooserReportsAFileThatCannotBeWritten()
{
    FIXTURE(f, Lines);
    // A folder in the way of the file: nobody can write it, root included.
    QVERIFY(QDir(f.out.path()).mkdir(QStringLiteral("busy.HTM")));
    Chooser form(f);
    form.show();
    form.EditNameFile->setText(QStringLiteral("busy"));
    QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    QCOMPARE(Messages::shown().size(), 1);
    QCOMPARE(Messages::shown()[0].kind, Messages::Kind::Error);
    QVERIFY(Messages::shown()[0].text.contains(QStringLiteral("busy.HTM")));
    QVERIFY(form.isVisible());
    QCOMPARE(QDir(f.out.path()).entryList(QDir::Files), QStringList());
}

void TestExport::chooserStartsOverOnlyForItsOwnWindows()
{
    FIXTURE(f, Lines);
    QVERIFY(QDir(f.out.path()).mkdir(QStringLiteral("sub")));
    Chooser form(f);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.cbExt->setCurrentIndex(3);
    form.setDirectory(f.out.filePath(QStringLiteral("sub")));

    // Away to another application and back: the chooser keeps what was chosen.
    QEvent away(QEvent::WindowDeactivate);
    QApplication::sendEvent(&form, &away);
    QEvent back(QEvent::WindowActivate);
    QApplication::sendEvent(&form, &back);
    QCOMPARE(form.cbExt->currentText(), QStringLiteral("XLS"));
    QCOMPARE(form.directory(), QDir(f.out.filePath(QStringLiteral("sub"))).absolutePath());

    // A window of the program over it closes: the chooser starts over.
    {
        QDialog over(&form);
        over.show();
        QVERIFY(QTest::qWaitForWindowExposed(&over));
        over.hide();
    }
    QApplication::sendEvent(&form, &back);
    QCOMPARE(form.cbExt->currentText(), QStringLiteral("HTM"));
    QCOMPARE(form.directory(), QDir(f.out.path()).absolutePath());
    QCOMPARE(formats(form), AllFormats);

    // Mount points are shown as they are and name folders that exist; letters in upper case.
    for (int i = 0; i < form.DriveComboBox1->count(); ++i)
        QVERIFY2(QDir(QDir::fromNativeSeparators(form.DriveComboBox1->itemText(i))).exists(),
                 qPrintable(form.DriveComboBox1->itemText(i)));
    QCOMPARE(TFileForm::DriveText(QStringLiteral("/mnt/Media/disk")),
             QDir::toNativeSeparators(QStringLiteral("/mnt/Media/disk")));
    QCOMPARE(TFileForm::DriveText(QStringLiteral("c:/")),
             QDir::toNativeSeparators(QStringLiteral("C:/")));
}

void TestExport::chooserCancelledExportLeavesNoFile()
{
    FIXTURE(f, Lines);
    // Rows for a few steps of the progress window, which shows at once.
    f.t.exec({QStringLiteral(
        "INSERT INTO Lines SELECT n + 10, n, 'линия', 'примечание' FROM (SELECT ROW_NUMBER() "
        "OVER () AS n FROM (SELECT 1 AS x FROM RDB$TYPES a, RDB$TYPES b ROWS 5000))")});
    f.reload();
    Chooser form(f);
    form.show();
    form.ProgressDelayMs = 0;
    form.cbExt->setCurrentIndex(0);
    form.EditNameFile->setText(QStringLiteral("big"));
    // The operator presses "Отменить" of the progress window as soon as it shows.
    bool pressed = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* progress = form.findChild<QProgressDialog*>();
        if (pressed || !progress || !progress->isVisible())
            return;
        if (auto* cancel = progress->findChild<QPushButton*>()) {
            pressed = true;
            QTest::mouseClick(cancel, Qt::LeftButton);
        }
    });
    watch.start(0);
    QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    watch.stop();
    QVERIFY(pressed);
    QVERIFY2(Messages::shown().isEmpty(), qPrintable(Messages::shown().value(0).text));
    QCOMPARE(form.result(), 2);
    QCOMPARE(QDir(f.out.path()).entryList(QDir::Files), QStringList());
}

void TestExport::aboutBoxLinks()
{
    TAboutBox box;
    QList<QUrl> opened;
    box.OpenUrl = [&](const QUrl& u) { opened << u; };
    box.show();
    QCOMPARE(box.windowTitle(), QStringLiteral("О программе ..."));
    // Every line whole, the box grown only as far as they need; the date in Russian.
    int widest = 0;
    for (QLabel* l : box.Line) {
        widest = std::max(widest, l->fontMetrics().horizontalAdvance(l->text()));
        QVERIFY2(widest <= l->contentsRect().width(), qPrintable(l->text()));
    }
    // The caption whole in the window manager's bold font, with room for three buttons.
    QFont bold = QApplication::font();
    bold.setBold(true);
    const int caption = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) +
                        3 * box.style()->pixelMetric(QStyle::PM_TitleBarHeight);
    QVERIFY2(box.width() >= caption, qPrintable(QString::number(box.width())));
    QVERIFY(box.width() <= std::max({225, widest + 56, caption + 120}));
    QVERIFY(box.Line[1]->text().contains(
        QRegularExpression(QStringLiteral(" от \\d\\d\\.\\d\\d\\.\\d{4}$"))));
    QCOMPARE(box.Line[0]->text(), QStringLiteral("Kelvora"));
    QTest::mouseClick(box.Line[4], Qt::RightButton);
    QTest::mouseClick(box.Line[5], Qt::LeftButton);
    box.Line[5]->setText(QStringLiteral("https://example.org/other"));
    box.Line[4]->setText(QStringLiteral("e-mail : nobody@example.org"));
    QTest::mouseClick(box.Line[5], Qt::MiddleButton);
    QTest::mouseClick(box.Line[4], Qt::LeftButton);
    QCOMPARE(opened, (QList<QUrl>{QUrl(QStringLiteral("mailto:support@kelvora.example")),
                                  QUrl(QStringLiteral("https://kelvora.example/")),
                                  QUrl(QStringLiteral("https://example.org/other")),
                                  QUrl(QStringLiteral("mailto:support@kelvora.example"))}));
    QTest::mouseClick(box.bbOk, Qt::LeftButton);
    QCOMPARE(box.result(), int(QDialog::Accepted));
}

void TestExport::serviceInformation()
{
    test::TestDatabase t;
    TEST_CREATE_DATABASE(t);
    TDM dm(t.dir());
    TMainForm form;
    form.setDataModule(dm);
    QCOMPARE(form.ServiceInformation(),
             QStringLiteral("Транзакция\t\tНЕ активна\nТранзакция RO\tНЕ активна"));
    dm.ibDatabase.setDatabaseName(t.path());
    dm.ibDatabase.params() = demo::localParams();
    dm.ibDatabase.open();
    dm.ibTranRO.start(); // as the login leaves it
    form.N20Click();
    QCOMPARE(Messages::shown().last().text,
             QStringLiteral("Транзакция\t\tНЕ активна\nТранзакция RO\tАктивна"));
    QCOMPARE(Messages::shown().last().kind, Messages::Kind::Plain);
    QVERIFY(!form.N20->isVisible());
}

KELVORA_TEST_MAIN(TestExport)
#include "test_export.moc"
