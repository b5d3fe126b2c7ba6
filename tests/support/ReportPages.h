// What the report suites share without a database or a window: rows of numbers for the
// report engine, the text a PDF tool prints about a file, and files written whole.
#pragma once

#include "report/ReportDataSource.h"

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace test {

/// Rows of numbers 1..n, the column N.
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

/// Runs a command (pdftotext, pdfinfo, pdffonts); its standard output.
inline QString output(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

/// Writes `content` into the file at `path` in place of what it held; whether all of it went.
inline bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

} // namespace test
