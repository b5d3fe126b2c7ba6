// The data module attached to a test's database as a successful login leaves it.
#pragma once

#include "DemoData.h"
#include "data/TDM.h"

namespace test {

inline void login(TDM& dm, const QString& path)
{
    dm.ibDatabase.setDatabaseName(path);
    dm.ibDatabase.params() = demo::localParams();
    dm.ibDatabase.open();
    dm.ibTranRO.start();
    dm.MainObject->Connected = true;
}

} // namespace test
