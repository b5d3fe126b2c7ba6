#include "Query.h"

#include "DbError.h"

#include <limits>

namespace db {

void Query::open()
{
    fetchRows(std::numeric_limits<std::size_t>::max());
    first();
}

void Query::openInBackground(std::function<void()> arrived)
{
    fetchInBackground(std::move(arrived));
    first();
}

void Query::execSql()
{
    executeStatement();
    close();
}

void Query::reorder(const std::vector<std::size_t>& order)
{
    if (fetching())
        throw DbError(QStringLiteral("Rows cannot be reordered while they are fetched"));
    const std::size_t count = recordCount();
    std::vector<bool> seen(count, false);
    bool permutation = order.size() == count;
    for (std::size_t i = 0; permutation && i < count; ++i) {
        permutation = order[i] < count && !seen[order[i]];
        if (permutation)
            seen[order[i]] = true;
    }
    if (!permutation)
        throw DbError(QStringLiteral("The new order of the rows is not one of the held rows"));
    rows().permute(order);
    first();
}

void Query::place(qint64 index)
{
    const qint64 count = qint64(recordCount());
    m_recNo = count == 0 ? 0 : std::clamp<qint64>(index, 0, count - 1);
    if (count == 0)
        clearCurrentRow();
    else
        setCurrentRow(std::size_t(m_recNo));
}

void Query::first()
{
    place(0);
    m_bof = true;
    m_eof = recordCount() == 0;
}

void Query::last()
{
    place(qint64(recordCount()) - 1);
    m_eof = true;
    m_bof = recordCount() == 0;
}

void Query::next()
{
    moveBy(1);
}

void Query::prior()
{
    moveBy(-1);
}

void Query::moveBy(qint64 n)
{
    const qint64 count = qint64(recordCount());
    const qint64 target = m_recNo + n;
    m_eof = count == 0 || target >= count;
    m_bof = count == 0 || target < 0;
    place(target);
}

void Query::setRecNo(qint64 index)
{
    place(index);
    m_eof = recordCount() == 0;
    m_bof = recordCount() == 0;
}

bool Query::locate(const QString& fieldName, const QVariant& value, bool caseInsensitive)
{
    Field& f = field(fieldName);
    const qint64 saved = m_recNo;
    const qint64 count = qint64(recordCount());
    const bool textual = value.metaType().id() == QMetaType::QString;
    for (qint64 i = 0; i < count; ++i) {
        setCurrentRow(std::size_t(i));
        bool equal;
        if (textual)
            equal =
                f.asString().compare(value.toString(), caseInsensitive ? Qt::CaseInsensitive
                                                                       : Qt::CaseSensitive) == 0;
        else if (value.isNull())
            equal = f.isNull();
        else
            equal =
                !f.isNull() && QVariant::compare(f.value(), value) == QPartialOrdering::Equivalent;
        if (equal) {
            setRecNo(i);
            return true;
        }
    }
    place(saved);
    return false;
}

} // namespace db
