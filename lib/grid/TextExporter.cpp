#include "TextExporter.h"

#include <QStringEncoder>

namespace grid {

namespace {
// Tabs and line breaks inside a cell would break the layout of the file.
QString clean(QString s)
{
    s.replace(u'\t', u' ');
    s.replace(QLatin1String("\r\n"), QLatin1String(" "));
    s.replace(u'\n', u' ');
    s.replace(u'\r', u' ');
    return s;
}
} // namespace

bool TextExporter::writeTable(QIODevice& out, const GridTable& table,
                              const ExportProgress& progress, QString& error) const
{
    QStringEncoder encoder("windows-1251");
    auto line = [&](const QStringList& cells) {
        const QByteArray bytes = encoder.encode(cells.join(u'\t') + QLatin1String("\r\n"));
        if (out.write(bytes) != bytes.size()) {
            error = out.errorString();
            return false;
        }
        return true;
    };
    QStringList titles;
    for (int c = 0; c < table.columnCount(); ++c)
        titles << clean(table.title(c));
    if (!line(titles))
        return false;
    const qint64 rows = table.rowCount();
    for (qint64 r = 0; r < rows; ++r) {
        QStringList cells;
        for (const QString& s : table.rowTexts(r))
            cells << clean(s);
        if (!line(cells))
            return false;
        if (progress && !progress(r + 1, rows)) {
            error = QStringLiteral("stopped");
            return false;
        }
    }
    return true;
}

} // namespace grid
