// The program logged in to a test's database with its main window up, as the operator sees it.
#pragma once

#include "support/Login.h"
#include "support/MainControls.h"
#include "support/TestDatabase.h"

#include "ui/controls/TComboQuery.h"
#include "ui/main/TMainForm.h"

#include <QFile>
#include <QTest>

namespace test {

/// The folder of the test's program, with a settings file naming the database (kept when it
/// is already there, so a second session is a restart).
inline QString programDir(TestDatabase& t)
{
    if (!QFile::exists(t.dir() + QStringLiteral("/kelvora.ini")))
        t.writeIni(QStringLiteral("kelvora.ini"), QStringLiteral("[RemoteBD]\nName=") + t.path());
    return t.dir();
}

struct MainWindowSession
{
    explicit MainWindowSession(TestDatabase& t) : dm(programDir(t))
    {
        login(dm, t.path());
        form.setDataModule(dm);
        form.show();
        // The first activation fills the call filters.
        ok = QTest::qWaitFor([this] { return tabs.cqUsers->count() > 0; });
    }
    TDM dm;
    TMainForm form;
    MainControls tabs{form};
    bool ok = false;
};

} // namespace test
