#include "HtmlExporter.h"

namespace grid {

bool HtmlExporter::writeTable(QIODevice& out, const GridTable& table,
                              const ExportProgress& progress, QString& error) const
{
    auto put = [&](const QString& text) {
        const QByteArray bytes = text.toUtf8();
        if (out.write(bytes) != bytes.size()) {
            error = out.errorString();
            return false;
        }
        return true;
    };
    QString head = QStringLiteral(
        "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title></title>\n"
        "<style>table{border-collapse:collapse;font-family:Arial,sans-serif;font-size:10pt}"
        "th,td{border:1px solid #888;padding:2px 6px;white-space:nowrap}"
        "th{background:#ddd}</style>\n</head>\n<body>\n<table>\n<tr>");
    for (int c = 0; c < table.columnCount(); ++c)
        head += QStringLiteral("<th>") + table.title(c).toHtmlEscaped() + QStringLiteral("</th>");
    head += QStringLiteral("</tr>\n");
    if (!put(head))
        return false;
    const qint64 rows = table.rowCount();
    for (qint64 r = 0; r < rows; ++r) {
        QString line = QStringLiteral("<tr>");
        for (const QString& s : table.rowTexts(r))
            line += QStringLiteral("<td>") + s.toHtmlEscaped() + QStringLiteral("</td>");
        line += QStringLiteral("</tr>\n");
        if (!put(line))
            return false;
        if (progress && !progress(r + 1, rows)) {
            error = QStringLiteral("stopped");
            return false;
        }
    }
    return put(QStringLiteral("</table>\n</body>\n</html>\n"));
}

} // namespace grid
