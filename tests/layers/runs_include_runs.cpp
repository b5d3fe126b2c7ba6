// Must build: the runs library's own headers and those below it are found from its include root.
#include "data/TDM.h"
#include "report/ReportEngine.h"
#include "report/ReportOutput.h"
#include "runs/ReportRun.h"
