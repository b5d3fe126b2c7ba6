#include "DatabaseFile.h"

#include <QDateTime>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

FileIdentity FileIdentity::of(const QString& path)
{
    FileIdentity id;
#ifdef Q_OS_UNIX
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return id;
    id.exists = true;
    id.device = quint64(st.st_dev);
    id.number = quint64(st.st_ino);
#else
    const QFileInfo info(path);
    if (!info.exists())
        return id;
    id.exists = true;
    id.number = quint64(info.birthTime().toMSecsSinceEpoch());
#endif
    return id;
}

QString localDatabaseFile(const QString& databaseName)
{
    // A server name comes before the first colon; a drive letter is one letter long.
    const qsizetype colon = databaseName.indexOf(u':');
    if (colon > 1)
        return {};
    const QFileInfo info(databaseName);
    return info.isFile() ? info.absoluteFilePath() : QString();
}
