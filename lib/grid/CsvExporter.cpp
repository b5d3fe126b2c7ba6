#include "CsvExporter.h"

namespace grid {

QString CsvExporter::field(const QString& text, QChar separator)
{
    const bool quoted = text.contains(separator) || text.contains(u'"') || text.contains(u'\n') ||
                        text.contains(u'\r');
    if (!quoted)
        return text;
    QString s = text;
    s.replace(u'"', QLatin1String("\"\""));
    return u'"' + s + u'"';
}

bool CsvExporter::writeTable(QIODevice& out, const GridTable& table, const ExportProgress& progress,
                             QString& error) const
{
    QByteArray buffer;
    auto flush = [&] {
        if (out.write(buffer) != buffer.size()) {
            error = out.errorString();
            return false;
        }
        buffer.clear();
        return true;
    };
    auto line = [&](auto cells) {
        QString s;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            if (c)
                s += m_separator;
            s += field(cells[c], m_separator);
        }
        s += QLatin1String("\r\n");
        buffer += s.toUtf8();
        return buffer.size() < (1 << 16) || flush();
    };
    buffer = QByteArray("\xEF\xBB\xBF");
    std::vector<QString> titles;
    for (int c = 0; c < table.columnCount(); ++c)
        titles.push_back(table.title(c));
    if (!line(titles))
        return false;
    const qint64 rows = table.rowCount();
    for (qint64 r = 0; r < rows; ++r) {
        if (!line(table.rowTexts(r)))
            return false;
        if (progress && !progress(r + 1, rows)) {
            error = QStringLiteral("stopped");
            return false;
        }
    }
    return flush();
}

} // namespace grid
