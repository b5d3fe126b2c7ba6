#include "XlsxExporter.h"

#include <QFile>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <algorithm>
#include <map>

namespace grid {

namespace {

// A cell holds at most this many characters.
constexpr int MaxCellChars = 32767;

// A number with digits grouped and `places` digits after the decimal sign, as spreadsheets
// write the format; the reader shows it with the user's own signs.
QByteArray numberFormat(int places)
{
    return places > 0 ? "#,##0." + QByteArray(places, '0') : QByteArray("#,##0");
}

// Whole hours past a day, as a span of talk time reads.
constexpr char TimeSpanFormat[] = "[h]:mm:ss";

QString why(lxw_error e)
{
    return QString::fromUtf8(lxw_strerror(e));
}

// Owns an open workbook; one that was not closed is freed without being written.
struct Workbook
{
    lxw_workbook* book = nullptr;
    ~Workbook()
    {
        if (book)
            lxw_workbook_free(book);
    }
    lxw_error close()
    {
        const lxw_error e = workbook_close(book); // frees it, written or not
        book = nullptr;
        return e;
    }
};

} // namespace

void XlsxExporter::setRowsPerSheet(qint64 rows)
{
    m_rowsPerSheet = std::clamp<qint64>(rows, 1, MaxRowsPerSheet);
}

bool XlsxExporter::writeTable(QIODevice& out, const GridTable& table,
                              const ExportProgress& progress, QString& error) const
{
    QTemporaryDir work;
    if (!work.isValid()) {
        error = work.errorString();
        return false;
    }
    const QByteArray file = QFile::encodeName(work.filePath(QStringLiteral("book.xlsx")));
    const QByteArray tmp = QFile::encodeName(work.path());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char*>(tmp.constData());
    // Older readers refuse ZIP64; it is needed only when a sheet's part could pass 4 GB.
    const qint64 sheetCells = std::min(table.rowCount(), m_rowsPerSheet) * table.columnCount();
    options.use_zip64 = sheetCells * 64 > (qint64(1) << 31) ? LXW_TRUE : LXW_FALSE;
    Workbook wb;
    wb.book = workbook_new_opt(file.constData(), &options);
    if (!wb.book) {
        error = QStringLiteral("cannot create the workbook");
        return false;
    }
    lxw_format* bold = workbook_add_format(wb.book);
    format_set_bold(bold);

    const int columns = table.columnCount();
    // Columns of exact decimals show their digits grouped, with their own number of places;
    // spans of time their hours, minutes and seconds.
    std::vector<lxw_format*> numberFormats(std::size_t(columns), nullptr);
    std::map<QByteArray, lxw_format*> byFormat;
    for (int c = 0; c < columns; ++c) {
        const std::optional<int> places = table.decimals(c);
        const QByteArray wanted = table.isTimeSpan(c) ? QByteArray(TimeSpanFormat)
                                  : places            ? numberFormat(*places)
                                                      : QByteArray();
        if (wanted.isEmpty())
            continue;
        lxw_format*& format = byFormat[wanted];
        if (!format) {
            format = workbook_add_format(wb.book);
            format_set_num_format(format, wanted.constData());
        }
        numberFormats[std::size_t(c)] = format;
    }
    lxw_worksheet* sheet = nullptr;
    int sheetNumber = 0;
    lxw_row_t row = 0;
    auto check = [&error](lxw_error e) {
        if (e == LXW_NO_ERROR)
            return true;
        error = why(e);
        return false;
    };
    auto text = [](const QString& s) { return s.left(MaxCellChars).toUtf8(); };
    auto startSheet = [&]() {
        const QByteArray name = (m_sheetName + QString::number(++sheetNumber)).left(31).toUtf8();
        sheet = workbook_add_worksheet(wb.book, name.constData());
        if (!sheet) {
            error = QStringLiteral("cannot add a sheet");
            return false;
        }
        // Widths and the frozen row come before any cell in constant-memory mode.
        for (int c = 0; c < columns; ++c)
            if (!check(worksheet_set_column_pixels(sheet, lxw_col_t(c), lxw_col_t(c),
                                                   uint32_t(std::max(table.width(c), 8)), nullptr)))
                return false;
        worksheet_freeze_panes(sheet, 1, 0);
        for (int c = 0; c < columns; ++c)
            if (!check(worksheet_write_string(sheet, 0, lxw_col_t(c),
                                              text(table.title(c)).constData(), bold)))
                return false;
        row = 1;
        return true;
    };
    if (!startSheet())
        return false;
    const qint64 rows = table.rowCount();
    for (qint64 r = 0; r < rows; ++r) {
        if (row > lxw_row_t(m_rowsPerSheet) && !startSheet())
            return false;
        const std::vector<QVariant> values = table.rowValues(r);
        for (int c = 0; c < columns; ++c) {
            const QVariant& v = values[std::size_t(c)];
            lxw_error e = LXW_NO_ERROR;
            if (v.typeId() == QMetaType::Double)
                e = worksheet_write_number(sheet, row, lxw_col_t(c), v.toDouble(),
                                           numberFormats[std::size_t(c)]);
            else if (const QString s = v.toString(); !s.isEmpty())
                e = worksheet_write_string(sheet, row, lxw_col_t(c), text(s).constData(), nullptr);
            if (!check(e))
                return false;
        }
        ++row;
        if (progress && !progress(r + 1, rows)) {
            error = QStringLiteral("stopped");
            return false;
        }
    }
    if (!check(wb.close()))
        return false;

    QFile book(QFile::decodeName(file));
    if (!book.open(QIODevice::ReadOnly)) {
        error = book.errorString();
        return false;
    }
    QByteArray chunk;
    while (!(chunk = book.read(1 << 20)).isEmpty()) {
        if (out.write(chunk) != chunk.size()) {
            error = out.errorString();
            return false;
        }
    }
    if (book.error() != QFileDevice::NoError) {
        error = book.errorString();
        return false;
    }
    return true;
}

} // namespace grid
