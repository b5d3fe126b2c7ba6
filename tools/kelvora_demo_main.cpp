// Demo database tool: creates a call-log database with sample data, or keeps adding calls to
// one as the exchange's collector does.
#include "DemoData.h"
#include "db/DbError.h"
#include "db/EmbeddedEngine.h"
#include "ini/IniFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <clocale>
#include <cstdio>

namespace {

void say(const QString& text)
{
    std::fprintf(stdout, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

int fail(const QString& text)
{
    std::fprintf(stderr, "kelvora-demo: %s\n", text.toLocal8Bit().constData());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // As in the program: numbers written for the database and the settings file keep the C
    // locale's decimal point whatever the user's locale is.
    std::setlocale(LC_NUMERIC, "C");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "create DATABASE: make a new call-log database with sample directories and calls\n"
        "live DATABASE:   keep adding calls to it as the exchange's collector does"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("create or live"));
    parser.addPositionalArgument(QStringLiteral("database"),
                                 QStringLiteral("a local file, or host:/path on a server"));
    const QCommandLineOption calls(QStringLiteral("calls"), QStringLiteral("calls to create"),
                                   QStringLiteral("n"), QStringLiteral("200000"));
    const QCommandLineOption months(QStringLiteral("months"),
                                    QStringLiteral("months of history, ending today"),
                                    QStringLiteral("n"), QStringLiteral("12"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("random seed"),
                                  QStringLiteral("n"), QStringLiteral("20261208"));
    const QCommandLineOption rate(QStringLiteral("rate"), QStringLiteral("live: calls per minute"),
                                  QStringLiteral("n"), QStringLiteral("30"));
    const QCommandLineOption count(QStringLiteral("count"),
                                   QStringLiteral("live: stop after n calls (0: never)"),
                                   QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("database user"),
                                  QStringLiteral("name"), QStringLiteral("SYSDBA"));
    const QCommandLineOption password(QStringLiteral("password"),
                                      QStringLiteral("database password"), QStringLiteral("text"),
                                      QStringLiteral("masterkey"));
    const QCommandLineOption ini(QStringLiteral("ini"),
                                 QStringLiteral("create: write kelvora.ini into this folder, "
                                                "pointing at the database"),
                                 QStringLiteral("folder"));
    const QCommandLineOption force(QStringLiteral("force"),
                                   QStringLiteral("create: replace an existing local file"));
    parser.addOptions({calls, months, seed, rate, count, user, password, ini, force});
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    if (args.size() != 2)
        parser.showHelp(2);
    const QString command = args[0];
    QString name = args[1];
    const bool local = !name.contains(u':') || QFileInfo(name).isAbsolute();
    if (local)
        name = QFileInfo(name).absoluteFilePath();
    const QStringList params = demo::localParams(parser.value(user), parser.value(password));
    // Local files are shared with the program (and each other) through the engine's lock folder.
    if (local && !db::EmbeddedEngine::prepare())
        std::fprintf(stderr, "kelvora-demo: the database file cannot be shared: %s\n",
                     db::EmbeddedEngine::errorString().toLocal8Bit().constData());

    try {
        db::Database database;
        demo::DemoData data(parser.value(seed).toUInt());
        if (command == QLatin1String("create")) {
            if (local && QFileInfo::exists(name)) {
                if (!parser.isSet(force))
                    return fail(QStringLiteral("%1 exists (use --force to replace it)").arg(name));
                QFile::remove(name);
            }
            say(QStringLiteral("Creating %1").arg(name));
            demo::createDatabase(database, name, params);
            data.fillDirectories(database);
            data.fillTariffs(database);
            const qint64 n = parser.value(calls).toLongLong();
            const QDateTime to = QDateTime::currentDateTime();
            const QDateTime from = to.addMonths(-parser.value(months).toInt());
            data.fillCalls(database, n, from, to, [n](qint64 done) {
                say(QStringLiteral("  calls: %1 of %2").arg(done).arg(n));
            });
            database.close();
            if (parser.isSet(ini)) {
                const QString path =
                    QDir(parser.value(ini)).filePath(QStringLiteral("kelvora.ini"));
                ini::IniFile f(path);
                f.load();
                f.writeString(QStringLiteral("RemoteBD"), QStringLiteral("Name"), name);
                if (!f.save())
                    return fail(QStringLiteral("cannot write %1: %2").arg(path, f.errorString()));
                say(QStringLiteral("Settings: %1").arg(path));
            }
            say(QStringLiteral("Done."));
            return 0;
        }
        if (command == QLatin1String("live")) {
            database.setDatabaseName(name);
            database.params() = params;
            database.open();
            const double perMinute = std::max(0.1, parser.value(rate).toDouble());
            const qint64 limit = parser.value(count).toLongLong();
            const auto pause = static_cast<unsigned long>(60000.0 / perMinute);
            for (qint64 i = 1; limit == 0 || i <= limit; ++i) {
                data.addCallNow(database);
                say(QStringLiteral("call %1 at %2")
                        .arg(i)
                        .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))));
                if (limit == 0 || i < limit)
                    QThread::msleep(pause);
            }
            return 0;
        }
        parser.showHelp(2);
    } catch (const db::DbError& e) {
        return fail(e.message());
    }
    return 0;
}
