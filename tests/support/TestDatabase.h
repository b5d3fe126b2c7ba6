// A fresh database file for one test case, made from the schema through the embedded engine.
#pragma once

#include "db/Database.h"

#include <QString>
#include <QTemporaryDir>

namespace test {

/// Creates the database in a temporary folder that is removed with the object (even after a
/// failed check). `database` stays attached for filling the test's data.
class TestDatabase
{
public:
    TestDatabase();
    /// Creates the file; QFAIL-style message in error() when the engine is missing.
    bool create(const QString& fileName = QStringLiteral("test.fdb"));
    const QString& path() const { return m_path; }
    QString dir() const { return m_dir.path(); }
    const QString& error() const { return m_error; }
    db::Database& database() { return m_database; }

    /// Runs statements in one committed transaction on `database`.
    void exec(const QStringList& statements);

    /// Writes a settings file in the folder with the given content (code page 1251).
    QString writeIni(const QString& name, const QString& content) const;

private:
    QTemporaryDir m_dir;
    QString m_path;
    QString m_error;
    db::Database m_database;
};

/// The test run's own server (started by the server fixture): its SYSDBA password and its
/// address ("localhost/PORT"), or empty texts when no server was started.
QString serverPassword();
QString serverAddress();

} // namespace test

/// Creates the fixture's database or fails the test case with the reason.
#define TEST_CREATE_DATABASE(t)                                                                    \
    do {                                                                                           \
        if (!(t).create())                                                                         \
            QFAIL(qPrintable((t).error()));                                                        \
    } while (false)

/// A fresh, empty test database `t`; the test fails when it cannot be made.
#define TEST_NEW_DATABASE(t)                                                                       \
    test::TestDatabase t;                                                                          \
    TEST_CREATE_DATABASE(t)
