// Which file a local database path names, to notice a file removed or replaced under the program.
#pragma once

#include <QString>
#include <QtGlobal>

/// The identity of the file a path names at one moment: the device and file number where the
/// system has them, else the file's creation time. Two identities are equal when the path
/// named the same file both times.
struct FileIdentity
{
    bool exists = false;
    quint64 device = 0;
    quint64 number = 0;

    static FileIdentity of(const QString& path);
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

/// The local file of a database name, or an empty text when the name goes to a server
/// ("host:/path", "host/port:/path") or names no file.
QString localDatabaseFile(const QString& databaseName);
