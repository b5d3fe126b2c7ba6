// A data set read front to back that holds only its current row.
#pragma once

#include "DataSet.h"

namespace db {

/// For results too large to keep: open() opens the cursor with no row current, next() makes
/// each following row current in turn and returns false after the last one (the data set is
/// then closed). The fields read
/// the current row as in any data set; recordCount() is at most 1. Texts of the rows read are
/// kept once each until close() or the next open(). Used on one thread at a time.
class ForwardQuery : public DataSet
{
public:
    using DataSet::DataSet;

    /// Prepares when needed, binds the parameters and opens the cursor; throws DbError.
    void open() { openForward(); }
    /// Throws DbError (also when the server was asked to cancel the fetch).
    bool next() { return fetchOne(); }
};

} // namespace db
