// A single statement with at most one result row.
#pragma once

#include "DataSet.h"

namespace db {

/// For singleton selects, procedure calls and writes: execQuery() runs the statement and keeps
/// the first row of its result (if any) as the current row. Parameters are positional ("?") or
/// named; param(i) addresses them in order.
class Sql : public DataSet
{
public:
    using DataSet::DataSet;

    Param& param(std::size_t index);
    /// Throws DbError.
    void execQuery();
    /// True when the statement returned no row.
    bool eof() const { return recordCount() == 0; }
};

} // namespace db
