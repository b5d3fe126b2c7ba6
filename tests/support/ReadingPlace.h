// Where the runs of the tests read their database.
#pragma once

#include "DemoData.h"
#include "runs/WorkerReading.h"
#include "support/TestDatabase.h"

namespace test {

/// The test's database with an attachment of the run's own and a read-only, read-committed
/// transaction that does not wait.
inline ReadingPlace readingPlace(const TestDatabase& t)
{
    return {t.path(),
            demo::localParams(),
            {QStringLiteral("read"), QStringLiteral("nowait"), QStringLiteral("read_committed"),
             QStringLiteral("rec_version")}};
}

} // namespace test
