// The database schema script, compiled into the tools.
#pragma once

#include <QString>

namespace demo {

/// The text of db/schema.sql followed by db/tariffs.sql.
QString schemaScript();

} // namespace demo
