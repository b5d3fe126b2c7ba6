// The database schema script, compiled into the tools.
#pragma once

#include <QString>

namespace demo {

/// The text of db/schema.sql.
QString schemaScript();

} // namespace demo
