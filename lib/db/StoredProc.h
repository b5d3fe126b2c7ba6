// A call of a stored procedure that returns its output parameters.
#pragma once

#include "DataSet.h"

namespace db {

/// EXECUTE PROCEDURE of the named procedure. Input parameters are looked up in the database
/// when the call is prepared and are set by name; outputs are read as fields after execProc().
class StoredProc : public DataSet
{
public:
    using DataSet::DataSet;

    void setStoredProcName(const QString& name);
    const QString& storedProcName() const { return m_name; }

    /// Builds the call text from the procedure's declared inputs and prepares it; throws DbError.
    void prepareProc();
    bool procPrepared() const { return m_procPrepared && prepared(); }
    /// Executes in the data set's transaction; throws DbError.
    void execProc();
    /// An output parameter of the last execution.
    Field& output(const QString& name) const { return field(name); }

private:
    QString m_name;
    bool m_procPrepared = false;
};

} // namespace db
