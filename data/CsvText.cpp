#include "CsvText.h"

#include <algorithm>

namespace csv {

Rows split(const QString& text, QChar delimiter)
{
    Rows out;
    QStringList row;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    int line = 1;
    int rowLine = 1;
    auto endField = [&] {
        row.append(wasQuoted ? field : field.trimmed());
        field.clear();
        wasQuoted = false;
    };
    auto endRow = [&] {
        endField();
        if (std::any_of(row.cbegin(), row.cend(), [](const QString& f) { return !f.isEmpty(); })) {
            out.rows.push_back(std::move(row));
            out.lines.push_back(rowLine);
        }
        row = QStringList();
    };
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < n && text[i + 1] == u'"') {
                    field.append(u'"');
                    ++i;
                } else
                    quoted = false;
            } else {
                if (c == u'\n')
                    ++line;
                field.append(c);
            }
        } else if (c == u'"' && field.trimmed().isEmpty()) {
            field.clear();
            quoted = true;
            wasQuoted = true;
        } else if (c == delimiter)
            endField();
        else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            endRow();
            ++line;
            rowLine = line;
        } else
            field.append(c);
    }
    if (!field.isEmpty() || !row.isEmpty())
        endRow();
    return out;
}

} // namespace csv
