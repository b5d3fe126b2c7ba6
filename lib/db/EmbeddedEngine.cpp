#include "EmbeddedEngine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <QTemporaryFile>

namespace db {

namespace {

// Classic mode lets processes share a file through the lock directory. Each process then has
// caches of its own; these are the sizes the engine gives a single server process, so a
// million-row sort stays in memory.
constexpr char EngineConf[] =
    "# Written by the program: the embedded engine shares database files\n"
    "# with other processes through the lock directory.\n"
    "ServerMode = Classic\n"
    "DefaultDbCachePages = 2048\n"
    "TempCacheLimit = 64M\n";

struct State
{
    bool done = false;
    bool ok = true;
    QString error;
    QString root;
    QString lock;
};

State& state()
{
    static State s;
    return s;
}

QString userName()
{
    for (const char* name : {"USER", "LOGNAME", "USERNAME"}) {
        const QString v = qEnvironmentVariable(name);
        if (!v.isEmpty())
            return v;
    }
    return QDir::home().dirName();
}

// True when the folder belongs to the user running the program (found by a file of its own,
// which also tells that the folder can be written).
bool ownedByUs(const QString& dir)
{
    QTemporaryFile probe(dir + QStringLiteral("/owner-XXXXXX"));
    if (!probe.open())
        return false;
    return QFileInfo(probe.fileName()).ownerId() == QFileInfo(dir).ownerId();
}

bool makePrivateDir(const QString& path, QString& error)
{
    if (!QDir().mkpath(path)) {
        error = QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(path));
        return false;
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!ownedByUs(path)) {
        error = QStringLiteral("the folder %1 belongs to another user or cannot be written")
                    .arg(QDir::toNativeSeparators(path));
        return false;
    }
    return true;
}

bool writeIfChanged(const QString& path, const QByteArray& content, QString& error)
{
    QFile current(path);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == content)
        return true;
    current.close();
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size() || !f.commit()) {
        error = QStringLiteral("cannot write %1: %2")
                    .arg(QDir::toNativeSeparators(path), f.errorString());
        return false;
    }
    return true;
}

// The engine finds its message texts and its character sets below its root: the private root
// takes copies (a link would not do: the engine refuses a character set module reached
// through one).
bool copyFromEngineRoot(const QString& root, const QString& name, QString& error)
{
    const QString from = QStringLiteral(FB_ENGINE_ROOT "/") + name;
    const QString to = root + u'/' + name;
    const QFileInfo source(from);
    if (!source.exists())
        return true;
    if (const QFileInfo target(to);
        target.size() == source.size() && target.lastModified() >= source.lastModified())
        return true;
    QFile::remove(to);
    if (!QDir().mkpath(QFileInfo(to).absolutePath()) || !QFile::copy(from, to)) {
        error = QStringLiteral("cannot copy %1 to %2").arg(from, QDir::toNativeSeparators(to));
        return false;
    }
    return true;
}

bool copyEngineFiles(const QString& root, QString& error)
{
    QStringList names = {QStringLiteral("firebird.msg"), QStringLiteral("plugins.conf")};
    const QDir intl(QStringLiteral(FB_ENGINE_ROOT "/intl"));
    for (const QString& f : intl.entryList(QDir::Files))
        names << QStringLiteral("intl/") + f;
    for (const QString& name : names)
        if (!copyFromEngineRoot(root, name, error))
            return false;
    return true;
}

bool setUp(State& s)
{
    const QString base = QDir::tempPath() + QStringLiteral("/fbembed-") + userName();
    const bool ownRoot = qEnvironmentVariableIsEmpty("FIREBIRD");
    const bool ownLock = qEnvironmentVariableIsEmpty("FIREBIRD_LOCK");
    s.root = ownRoot ? base + QStringLiteral("/root") : qEnvironmentVariable("FIREBIRD");
    s.lock = ownLock ? base + QStringLiteral("/lock") : qEnvironmentVariable("FIREBIRD_LOCK");
    if (ownRoot || ownLock) {
        if (!makePrivateDir(base, s.error))
            return false;
    }
    if (ownRoot) {
        if (!makePrivateDir(s.root, s.error) ||
            !writeIfChanged(s.root + QStringLiteral("/firebird.conf"), EngineConf, s.error) ||
            !writeIfChanged(s.root + QStringLiteral("/databases.conf"), {}, s.error) ||
            !copyEngineFiles(s.root, s.error))
            return false;
    }
    if (ownLock ? !makePrivateDir(s.lock, s.error) : !QDir().mkpath(s.lock)) {
        if (s.error.isEmpty())
            s.error =
                QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(s.lock));
        return false;
    }
    if (const QString tmp = qEnvironmentVariable("FIREBIRD_TMP"); !tmp.isEmpty())
        QDir().mkpath(tmp);
    // Only now, with everything in place, does the engine get pointed at it.
    if (ownRoot)
        qputenv("FIREBIRD", QFile::encodeName(s.root));
    if (ownLock)
        qputenv("FIREBIRD_LOCK", QFile::encodeName(s.lock));
    return true;
}

} // namespace

bool EmbeddedEngine::prepare()
{
    State& s = state();
    if (!s.done) {
        s.done = true;
        s.ok = setUp(s);
    }
    return s.ok;
}

QString EmbeddedEngine::errorString()
{
    return state().error;
}

QString EmbeddedEngine::rootDirectory()
{
    prepare();
    return qEnvironmentVariable("FIREBIRD", state().root);
}

QString EmbeddedEngine::lockDirectory()
{
    prepare();
    return qEnvironmentVariable("FIREBIRD_LOCK", state().lock);
}

QStringList EmbeddedEngine::environment()
{
    return {QStringLiteral("FIREBIRD=") + rootDirectory(),
            QStringLiteral("FIREBIRD_LOCK=") + lockDirectory()};
}

} // namespace db
