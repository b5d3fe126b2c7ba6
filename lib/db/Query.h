// A data set that holds every row of its result and moves a cursor over them.
#pragma once

#include "DataSet.h"

namespace db {

/// open() fetches the whole result into compact row storage, so the cursor moves freely and
/// recordCount() is exact. After open the cursor is on the first row (eof() when there is none).
class Query : public DataSet
{
public:
    using DataSet::DataSet;

    /// Prepares when needed, binds the parameters and fetches all rows; throws DbError.
    void open();
    /// Opens with no rows and fetches the result in the background (see
    /// DataSet::fetchInBackground): rows join the held ones at each takeFetched(), on the
    /// caller's thread, and recordCount() grows with them. The cursor is on the first row once
    /// there is one.
    void openInBackground(std::function<void()> arrived);
    /// Executes a statement that returns no rows (INSERT, UPDATE, DELETE, DDL).
    void execSql();

    void first();
    void last();
    void next();
    void prior();
    /// Moves by n rows, stopping at either end (which sets eof() or bof()).
    void moveBy(qint64 n);
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    /// 0-based number of the current row; -1 when there is none.
    qint64 recNo() const { return recordCount() ? m_recNo : -1; }
    void setRecNo(qint64 index);
    /// Moves to the first row whose field equals value (texts compared without regard to
    /// case when caseInsensitive); returns false and stays put when there is none.
    bool locate(const QString& fieldName, const QVariant& value, bool caseInsensitive = false);

    /// Puts the held rows in another order: row i becomes the row that was at order[i]. Only
    /// once every row is in (not while a fetch in the background runs); `order` must be a
    /// permutation of 0..recordCount()-1, or DbError is thrown and nothing moves. Calculated
    /// fields move with their rows; the cursor goes to the first row.
    void reorder(const std::vector<std::size_t>& order);

    /// Runs fn with row `index` current for the fields, then puts the cursor back. For views
    /// that show any row without moving the cursor.
    template <class F> decltype(auto) atRow(qint64 index, F&& fn)
    {
        struct Restore
        {
            Query* q;
            ~Restore() { q->place(q->m_recNo); }
        } restore{this};
        setCurrentRow(std::size_t(index));
        return fn();
    }

private:
    void place(qint64 index);

    qint64 m_recNo = 0;
    bool m_eof = true;
    bool m_bof = true;
};

} // namespace db
