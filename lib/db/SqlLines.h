// The text of a statement kept as a list of lines.
#pragma once

#include <QStringList>

namespace db {

/// Statement text edited line by line: clear(), then add() each line.
class SqlLines
{
public:
    void clear() { m_lines.clear(); }
    void add(const QString& line) { m_lines.append(line); }
    qsizetype count() const { return m_lines.size(); }
    const QString& operator[](qsizetype i) const { return m_lines[i]; }
    const QStringList& lines() const { return m_lines; }
    /// The lines joined by line feeds, as sent to the server.
    QString text() const { return m_lines.join(u'\n'); }

private:
    QStringList m_lines;
};

} // namespace db
