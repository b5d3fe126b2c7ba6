// Prepared report pages on a printer.
#pragma once

#include "report/PreparedReport.h"

#include <QString>

class QPrinter;

namespace report {

/// All pages, one copy, on the given printer (no dialog), at the page size and orientation of
/// the template; false with the reason in `error` when the printer cannot take them.
bool print(const PreparedReport& report, QPrinter& printer, QString& error);

} // namespace report
