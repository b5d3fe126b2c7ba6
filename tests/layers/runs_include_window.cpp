// Must not build: the runs library cannot see a window. A CTest case builds it and expects the
// compiler to refuse the include.
#include "ui/stats/TReportForm.h"
