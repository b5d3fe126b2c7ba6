// How this process's embedded engine shares local database files with other processes.
#pragma once

#include <QString>

namespace db {

/// The embedded engine by default takes a local file for one process. prepare() sets this
/// process up so that several processes of one user (the program, a collector, a second copy,
/// isql-fb given the same environment) open the same local file at once and see each other's
/// committed rows: the engine runs in its classic mode, from a private root directory with its
/// own firebird.conf, and keeps its lock files in a directory of the user's own.
///
/// The directories are `<temp>/fbembed-<user>/root` and `<temp>/fbembed-<user>/lock`; the folder
/// must belong to the user. FIREBIRD (the engine's root) and FIREBIRD_LOCK already set in the
/// environment are kept as they are, so an administrator can give several users one lock
/// directory.
///
/// The engine reads its settings once, at the first call into the client library: prepare() must
/// run before that. The first access to the client library calls it implicitly; later calls
/// return the first call's result. Not thread-safe before the first call returns.
class EmbeddedEngine
{
public:
    /// False when the directories could not be made; errorString() says why. The engine then
    /// runs with its defaults.
    static bool prepare();
    static QString errorString();
    /// The engine's root and lock directories as this process uses them.
    static QString rootDirectory();
    static QString lockDirectory();
    /// The environment lines another process needs to share files with this one
    /// ("FIREBIRD=…", "FIREBIRD_LOCK=…").
    static QStringList environment();
};

} // namespace db
