#include "TDM.h"

#include "TariffStore.h"
#include "db/DbError.h"

#include <QDir>

TDM::TDM(const QString& programDir, TMainObject::FileUse use)
    : MainObject(std::make_unique<TMainObject>(programDir, use))
{
    ibTran.params() = QStringList{QStringLiteral("nowait"), QStringLiteral("read_committed"),
                                  QStringLiteral("rec_version")};
    ibTranRO.params() =
        QStringList{QStringLiteral("read"), QStringLiteral("nowait"),
                    QStringLiteral("read_committed"), QStringLiteral("rec_version")};
    ibSPMakeNewID.setStoredProcName(QStringLiteral("MAKENEWID"));

    // The calls grid's fields in their default column order; the statement's other columns
    // (TimeHour, TimeMin, TimeSec) are not kept.
    using db::FieldDef;
    using db::FieldType;
    ibQueryRings.setFieldDefs({
        FieldDef{QStringLiteral("RDate"), true, FieldType::Date, QStringLiteral("Дата")},
        FieldDef{QStringLiteral("RTime"), true, FieldType::Time, QStringLiteral("Время")},
        FieldDef{QStringLiteral("RDAY"), false, FieldType::Integer, {}, false},
        FieldDef{QStringLiteral("RMONT"), false, FieldType::Integer, {}, false},
        FieldDef{QStringLiteral("RYEAR"), false, FieldType::Integer, {}, false},
        FieldDef{QStringLiteral("RHOUR"), false, FieldType::Integer, {}, false},
        FieldDef{QStringLiteral("RMIN"), false, FieldType::Integer, {}, false},
        FieldDef{QStringLiteral("RSEC"), false, FieldType::Integer, {}, false},
        FieldDef{QStringLiteral("NUMBERTOWN"), false, FieldType::Integer,
                 QStringLiteral("Городской номер")},
        FieldDef{QStringLiteral("FIO"), false, FieldType::Text, QStringLiteral("Ф.И.О."), true, 50},
        FieldDef{QStringLiteral("NUMBEROUT"), false, FieldType::Double,
                 QStringLiteral("Номер абонента")},
        FieldDef{QStringLiteral("RINGLENGTH"), false, FieldType::BigInt, {}, false},
        FieldDef{QStringLiteral("RLen"), true, FieldType::Text,
                 QStringLiteral("Продолжительность разговора"), true, 20},
        // The price of a call, when the database has tariffs (see CallRating).
        FieldDef{QStringLiteral("RZone"), true, FieldType::Integer, QStringLiteral("Зона"), false},
        FieldDef{QStringLiteral("RCost"), true, FieldType::Integer, QStringLiteral("Стоимость"),
                 false, 0, false, false},
        FieldDef{QStringLiteral("RLINE"), false, FieldType::Integer, {}, false, 0, true},
    });
    ibQueryRings.setCalcFieldsHook([this](db::DataSet& ds) {
        m_ringFields(ds);
        CallCosts(ds);
    });
    // The number fields show through the mask choices as they are at display time.
    ibQueryRings.setAfterOpenHook([this](db::DataSet& ds) {
        CallCosts.prepareFields(ds);
        // The talk time a spreadsheet can add up, where the call list shows one.
        if (db::Field* shown = ds.findField(QStringLiteral("RLen")))
            if (const db::Field* seconds = ds.findField(QStringLiteral("RINGLENGTH")))
                shown->setTimeSpan([seconds](const db::Field& f) -> std::optional<qint64> {
                    if (f.isNull() || seconds->isNull())
                        return std::nullopt;
                    return seconds->asInt64();
                });
        if (db::Field* out = ds.findField(QStringLiteral("NUMBEROUT")))
            out->setDisplayTextHook(
                [this, &ds](const db::Field& f) { return NumberOutText(f, ds, *MainObject); });
        if (db::Field* town = ds.findField(QStringLiteral("NUMBERTOWN")))
            town->setDisplayTextHook(
                [this](const db::Field& f) { return NumberTownText(f, *MainObject); });
    });
    ibQueryLines.setAfterOpenHook([this](db::DataSet& ds) {
        if (db::Field* town = ds.findField(QStringLiteral("NUMBERTOWN")))
            town->setDisplayTextHook(
                [this](const db::Field& f) { return NumberTownText(f, *MainObject); });
    });
}

TDM::~TDM()
{
    MainObject.reset(); // writes the settings file after a successful login
    if (ibTranRO.active()) {
        try {
            ibTranRO.commit();
        } catch (const db::DbError&) {
            ibTranRO.rollbackQuietly();
        }
    }
    ibDatabase.close();
}

void TDM::LoadTariffs()
{
    CallCosts.setBook(tariff::load(ibDatabase, ibTranRO));
}

bool TDM::HasTariffs() const
{
    return CallCosts.book() && !CallCosts.book()->plans().empty();
}

void TDM::RememberDatabaseFile()
{
    m_localFile = localDatabaseFile(ibDatabase.databaseName());
    m_fileIdentity = FileIdentity::of(m_localFile);
}

void TDM::CheckDatabaseFile()
{
    if (m_localFile.isEmpty() || !ibDatabase.connected())
        return;
    if (FileIdentity::of(m_localFile) != m_fileIdentity)
        throw db::DbError(QStringLiteral("Файл базы данных %1 удален или заменен другим. "
                                         "Ничего не записано; перезапустите программу.")
                              .arg(QDir::toNativeSeparators(m_localFile)));
}

QString TDM::ConnectionLostText()
{
    return QStringLiteral("Соединение с базой данных потеряно.");
}

QString TDM::ConnectionFailureWords(const db::DbError& error)
{
    // The client's codes for the failures an office meets: the server's computer is off or
    // unreachable, the server was stopped or restarted, the network broke mid-answer.
    switch (error.code()) {
    case 335544721L: // isc_network_error
        return QStringLiteral("сервер базы данных недоступен: компьютер сервера не отвечает по "
                              "сети или на нём не запущена служба базы данных");
    case 335544726L: // isc_net_read_err
        return QStringLiteral("связь с сервером базы данных прервалась во время чтения данных");
    case 335544727L: // isc_net_write_err
        return QStringLiteral("связь с сервером базы данных прервалась во время передачи "
                              "данных");
    case 335544741L: // isc_lost_db_connection
        return QStringLiteral("сервер базы данных разорвал соединение");
    case 335544528L: // isc_shutdown
        return QStringLiteral("база данных закрыта администратором на сервере");
    case 335544856L: // isc_att_shutdown
    case 335544971L: // isc_net_server_shutdown
        return QStringLiteral("служба базы данных на сервере остановлена или перезапущена");
    default:
        break;
    }
    if (error.connectionLost())
        return QStringLiteral("нет связи с сервером базы данных");
    return {};
}

namespace {

// "сервер … недоступен (подробности: Unable to complete network request …)".
QString explained(const db::DbError& error)
{
    const QString words = TDM::ConnectionFailureWords(error);
    if (words.isEmpty())
        return error.message();
    return words + QStringLiteral(" (подробности: ") + error.message().trimmed() + u')';
}

} // namespace

QString TDM::FailureText(const db::DbError& error)
{
    // EnsureUsable's own failure already says it in these words.
    if (!error.connectionLost() || error.message().startsWith(ConnectionLostText()))
        return error.message();
    QString said = explained(error);
    said[0] = said[0].toUpper();
    return ConnectionLostText() + u'\n' + said + u'.';
}

void TDM::EnsureUsable()
{
    if (!MainObject->Connected)
        return; // not logged in: nothing to make again
    if (!m_connectionLost) {
        try {
            ibDatabase.ping();
        } catch (const db::DbError& e) {
            if (!e.connectionLost())
                throw;
            m_connectionLost = true;
        }
    }
    if (m_connectionLost) {
        try {
            ibDatabase.reconnect();
            ibTranRO.start();
        } catch (const db::DbError& e) {
            // no attachment now; the rows on show stay for the next try
            throw db::DbError(ConnectionLostText() +
                                  QStringLiteral(" Подключиться снова не удалось: ") +
                                  explained(e) + u'.',
                              e.sqlState(), e.code());
        }
        m_connectionLost = false;
    }
    CheckDatabaseFile();
}

void TDM::StartWrite()
{
    EnsureUsable();
    if (!ibTran.active())
        ibTran.start();
}

bool TDM::CommitWrite()
{
    try {
        ibTran.commit();
        return true;
    } catch (const db::DbError&) {
        ibTran.rollbackQuietly();
        TMainObject::reportFailure(QStringLiteral("База временно занята ."));
        return false;
    }
}

QString TDM::DbErrorText(const QString& message)
{
    QString result = message;
    if (message.contains(QLatin1String("UNIQUE")))
        result = QStringLiteral("Номер уже существует");
    if (result == message)
        result = QStringLiteral("Ошибка (") + message + QStringLiteral(")");
    return result;
}

QString TDM::UpperMessage(const QString& message)
{
    // Latin letters only: the server's own words, leaving Cyrillic names as they are.
    QString out = message;
    for (QChar& c : out)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 32);
    return out;
}

bool TDM::HasIndexes(const QStringList& names)
{
    db::Query q(ibDatabase, ibTranRO);
    QStringList quoted;
    for (const QString& n : names)
        quoted << u'\'' + QString(n).replace(u'\'', QLatin1String("''")) + u'\'';
    q.sql().add(QStringLiteral("SELECT COUNT(*) AS N FROM RDB$INDICES WHERE RDB$INDEX_NAME IN (") +
                quoted.join(u',') + u')');
    q.open();
    const bool all = q.field(QStringLiteral("N")).asInt64() == qint64(names.size());
    q.close();
    return all;
}

std::optional<stmt::DateIndexes> TDM::DateIndexes()
{
    const quint64 attachment = ibDatabase.attachmentNumber();
    if (attachment == m_dateIndexesOf)
        return m_dateIndexes;
    db::Query q(ibDatabase, ibTranRO);
    stmt::dateIndexCandidates().applyTo(q);
    q.open();
    // The usual names where they are what they should be, else the first that is (the key
    // indexes first).
    const stmt::DateIndexes usual;
    stmt::DateIndexes chosen;
    bool rings = false, lines = false, users = false;
    for (; !q.eof(); q.next()) {
        const QString name = q.field(QStringLiteral("NAME")).asString();
        const QString table = q.field(QStringLiteral("TBL")).asString();
        auto take = [&name](QString& slot, bool& found, const QString& usualName) {
            if (!found || name == usualName)
                slot = name;
            found = true;
        };
        if (table == QLatin1String("RINGS"))
            take(chosen.rings, rings, usual.rings);
        else if (table == QLatin1String("LINES"))
            take(chosen.lines, lines, usual.lines);
        else if (table == QLatin1String("USERS"))
            take(chosen.users, users, usual.users);
    }
    q.close();
    m_dateIndexes.reset();
    if (rings && lines && users)
        m_dateIndexes = chosen;
    m_dateIndexesOf = attachment;
    return m_dateIndexes;
}

int TDM::GetNewID()
{
    StartWrite();
    if (!ibSPMakeNewID.procPrepared())
        ibSPMakeNewID.prepareProc();
    ibSPMakeNewID.execProc();
    return ibSPMakeNewID.output(QStringLiteral("NEWID")).asInteger();
}

bool TDM::ExecuteTmp()
{
    m_writeError.clear();
    m_writeRefusal.clear();
    try {
        ibQueryTmp.execSql();
    } catch (const db::DbError& e) {
        m_writeRefusal = e.message();
        m_writeError = DbErrorText(UpperMessage(e.message()));
    }
    ibQueryTmp.close();
    return m_writeError.isEmpty();
}

db::Query& TDM::ClearTmp()
{
    ibQueryTmp.close();
    ibQueryTmp.sql().clear();
    return ibQueryTmp;
}

TDM::WriteResult TDM::Write(const std::vector<stmt::Statement>& statements, Refusal onRefusal)
{
    m_writeError.clear();
    m_writeRefusal.clear();
    StartWrite();
    try {
        for (const stmt::Statement& statement : statements) {
            statement.applyTo(ClearTmp());
            if (ExecuteTmp())
                continue;
            if (onRefusal == Refusal::RollBack)
                ibTran.rollbackQuietly();
            else if (onRefusal == Refusal::Commit)
                CommitWrite();
            return WriteResult::Refused;
        }
    } catch (...) {
        if (onRefusal != Refusal::KeepOpen)
            ibTran.rollbackQuietly();
        throw;
    }
    return CommitWrite() ? WriteResult::Written : WriteResult::NotCommitted;
}
