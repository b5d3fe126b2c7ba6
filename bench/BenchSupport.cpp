#include "BenchSupport.h"

#include "DemoData.h"
#include "db/DbError.h"
#include "db/FbApi.h"
#include "ui/controls/TComboQuery.h"

#include <firebird/Interface.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace Firebird;

namespace bench {

namespace {

int& offscreen(int& argc)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return argc;
}

} // namespace

Setup::Setup(int& argc, char** argv, qint64 defaultCalls, int defaultRounds)
    : app(offscreen(argc), argv), calls(argc > 1 ? QByteArray(argv[1]).toLongLong() : defaultCalls),
      rounds(argc > 2 ? QByteArray(argv[2]).toInt() : defaultRounds), database(bigDatabase(calls))
{
    QCoreApplication::setApplicationName(QStringLiteral("kelvora"));
}

QString positional(const QStringList& lines)
{
    QString text = lines.join(u'\n');
    text.replace(QLatin1String(":d1"), QLatin1String("?"))
        .replace(QLatin1String(":d2"), QLatin1String("?"));
    return text;
}

double best(const std::vector<double>& values)
{
    return *std::min_element(values.begin(), values.end());
}

QString bigDatabase(qint64 calls)
{
    const QString path = QStringLiteral("/tmp/kelvora-bench-%1.fdb").arg(calls);
    if (QFileInfo::exists(path))
        return path;
    std::printf("creating %s with %lld calls (once)...\n", qPrintable(path), calls);
    std::fflush(stdout);
    db::Database database;
    demo::createDatabase(database, path, demo::localParams());
    demo::DemoData data;
    data.fillDirectories(database);
    const QDateTime to = QDateTime::currentDateTime();
    data.fillCalls(database, calls, to.addYears(-1), to);
    return path;
}

namespace {
qint64 statusField(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(std::strlen(key))).trimmed().split(' ').first().toLongLong() * 1024;
    return 0;
}
} // namespace

void login(TDM& dm, const QString& path)
{
    dm.ibDatabase.setDatabaseName(path);
    dm.ibDatabase.params() = demo::localParams();
    dm.ibDatabase.open();
    dm.ibTranRO.start();
    dm.MainObject->Connected = true;
}

MainWindow::MainWindow(const QString& path)
{
    login(dm, path);
    form.setDataModule(dm);
    form.resize(1280, 800);
    form.show();
    if (!QTest::qWaitFor([this] { return tabs.cqUsers->count() > 1; })) {
        std::fprintf(stderr, "the call filters never filled\n");
        std::exit(1);
    }
}

qint64 residentBytes()
{
    return statusField("VmRSS:");
}

qint64 peakResidentBytes()
{
    return statusField("VmHWM:");
}

void resetPeakResident()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

double timeMs(const std::function<void()>& fn)
{
    QElapsedTimer t;
    t.start();
    fn();
    return double(t.nsecsElapsed()) / 1e6;
}

qint64 rawFetch(const QString& database, const QString& sql, const QDateTime& d1,
                const QDateTime& d2, int sumColumn, qint64& rows, double* firstRowMs)
{
    QElapsedTimer clock;
    clock.start();
    IMaster* master = db::fb::master(); // with the same engine set-up as the program
    ThrowStatusWrapper st(master->getStatus());
    IProvider* prov = master->getDispatcher();
    IUtil* util = master->getUtilInterface();
    qint64 sum = 0;
    rows = 0;
    try {
        IXpbBuilder* dpb = util->getXpbBuilder(&st, IXpbBuilder::DPB, nullptr, 0);
        dpb->insertString(&st, isc_dpb_user_name, "SYSDBA");
        dpb->insertString(&st, isc_dpb_lc_ctype, "WIN1251");
        const QByteArray path = database.toUtf8();
        IAttachment* att = prov->attachDatabase(&st, path.constData(), dpb->getBufferLength(&st),
                                                dpb->getBuffer(&st));
        dpb->dispose();
        const unsigned char tpb[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_nowait,
                                     isc_tpb_read_committed, isc_tpb_rec_version};
        ITransaction* tra = att->startTransaction(&st, sizeof tpb, tpb);
        const QByteArray text = sql.toLatin1();
        IStatement* stmt =
            att->prepare(&st, tra, 0, text.constData(), 3, IStatement::PREPARE_PREFETCH_METADATA);
        IMessageMetadata* in = stmt->getInputMetadata(&st);
        std::vector<unsigned char> inBuf(in->getMessageLength(&st));
        auto put = [&](unsigned i, const QDateTime& v) {
            ISC_TIMESTAMP ts;
            ts.timestamp_date = util->encodeDate(
                unsigned(v.date().year()), unsigned(v.date().month()), unsigned(v.date().day()));
            ts.timestamp_time =
                util->encodeTime(unsigned(v.time().hour()), unsigned(v.time().minute()),
                                 unsigned(v.time().second()), unsigned(v.time().msec()) * 10);
            std::memcpy(&inBuf[in->getOffset(&st, i)], &ts, sizeof ts);
            std::memset(&inBuf[in->getNullOffset(&st, i)], 0, 2);
        };
        if (in->getCount(&st) >= 2) {
            put(0, d1);
            put(1, d2);
        }
        IMessageMetadata* out = stmt->getOutputMetadata(&st);
        std::vector<unsigned char> outBuf(out->getMessageLength(&st));
        const unsigned off = out->getOffset(&st, unsigned(sumColumn));
        const unsigned type = out->getType(&st, unsigned(sumColumn)) & ~1u;
        IResultSet* rs = stmt->openCursor(&st, tra, in, inBuf.data(), out, 0);
        while (rs->fetchNext(&st, outBuf.data()) == IStatus::RESULT_OK) {
            if (rows == 0 && firstRowMs)
                *firstRowMs = double(clock.nsecsElapsed()) / 1e6;
            if (type == SQL_INT64) {
                qint64 v;
                std::memcpy(&v, &outBuf[off], 8);
                sum += v;
            } else {
                qint32 v;
                std::memcpy(&v, &outBuf[off], 4);
                sum += v;
            }
            ++rows;
        }
        rs->close(&st);
        out->release();
        in->release();
        stmt->free(&st);
        tra->commit(&st);
        att->detach(&st);
    } catch (const FbException& e) {
        char buf[1024];
        util->formatStatus(buf, sizeof buf, e.getStatus());
        std::fprintf(stderr, "raw fetch failed: %s\n", buf);
    }
    return sum;
}

LoopWatch::LoopWatch()
{
    m_tick.setTimerType(Qt::PreciseTimer);
    m_tick.setInterval(1);
    QObject::connect(&m_tick, &QTimer::timeout, [this] {
        const qint64 now = m_clock.nsecsElapsed();
        if (double(now - m_lastTick) / 1e6 > m_longestGapMs) {
            m_longestGapMs = double(now - m_lastTick) / 1e6;
            m_longestGapAtMs = double(now) / 1e6;
        }
        m_lastTick = now;
        if (onTick)
            onTick();
    });
}

void LoopWatch::start()
{
    m_clock.start();
    m_lastTick = 0;
    m_longestGapMs = 0;
    m_longestGapAtMs = 0;
    m_tick.start();
}

double LoopWatch::runUntil(const std::function<void()>& press,
                           const std::function<bool()>& finished)
{
    QEventLoop loop;
    double ms = 0;
    const std::function<void()> before = onTick;
    onTick = [&] {
        if (before)
            before();
        if (finished()) {
            ms = elapsedMs();
            loop.quit();
        }
    };
    start();
    press();
    skipGap();
    loop.exec();
    onTick = before;
    return ms;
}

} // namespace bench
