#include "Statements.h"

#include "db/DataSet.h"

#include <QRegularExpression>
#include <iterator>

namespace stmt {

namespace {

// The date term is the timestamp itself: chronological order, served by its index.
const SortOrders::Order CallOrders[] = {
    {"RingDate DESC_VAL", "RDATE"},
    {"RHour DESC_VAL,RMin DESC_VAL,RSec DESC_VAL", "RTIME"},
    {"FIO DESC_VAL", "FIO"},
    {"NumberOut DESC_VAL", "NUMBEROUT"},
    {"NumberTown DESC_VAL", "NUMBERTOWN"},
    {"RingLength DESC_VAL", "RLEN"},
    // The zone and the cost come from the tariffs, not from the database.
    {"RingDate", "RZONE", true},
    {"RingDate", "RCOST", true},
};

const SortOrders::Order LineOrders[] = {
    {"NumberLine DESC_VAL", "NUMBERLINE"},
    {"NumberTown DESC_VAL", "NUMBERTOWN"},
    {"AddInfo DESC_VAL", "ADDINFO"},
    {"Etc DESC_VAL", "ETC"},
};

// The join of a call to its line and its subscriber, as the call list and detailed report use.
const QString CallJoin = QStringLiteral("WHERE R.Rline=L.NumberLine AND R.NumberIn= U.NumberIn");
const QString CallTables = QStringLiteral("FROM Rings R,Lines L,Users U");

} // namespace

void Statement::applyTo(db::DataSet& dataSet) const
{
    dataSet.sql().clear();
    for (const QString& line : lines)
        dataSet.sql().add(line);
    for (const auto& [name, value] : values)
        dataSet.paramByName(name).setValue(value);
}

QString SortOrders::term(int index) const
{
    return QString::fromLatin1(m_orders[(index >= 0 && index < m_count) ? index : 0].term);
}

QString SortOrders::column(int index) const
{
    return QString::fromLatin1(m_orders[(index >= 0 && index < m_count) ? index : 0].column);
}

bool SortOrders::byProgram(int index) const
{
    return m_orders[(index >= 0 && index < m_count) ? index : 0].byProgram;
}

int SortOrders::fieldOf(const QString& description, int current) const
{
    // Tested in order; the last one named wins.
    for (int i = 0; i < m_count; ++i)
        if (description.contains(QLatin1String(m_orders[i].column)))
            current = i;
    return current;
}

QString SortOrders::orderBy(int index, bool descending) const
{
    QString t = term(index);
    t.replace(QLatin1String("DESC_VAL"), descending ? QStringLiteral("DESC") : QString());
    return QStringLiteral("ORDER BY ") + t;
}

// ---- the call list ----------------------------------------------------------------------

QString CallFilter::prefixDigits() const
{
    QString digits = numberPrefix.trimmed();
    digits.remove(QRegularExpression(QStringLiteral("[^0-9]")));
    return digits;
}

QStringList CallFilter::navigationIndexes()
{
    return {QStringLiteral("IX_RINGS_DATE"), QStringLiteral("PK_LINES"),
            QStringLiteral("PK_USERS")};
}

namespace {

// An index name as the plan writes it: quoted unless it is a plain upper-case name.
QString planName(const QString& name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Z][A-Z0-9_$]*$"));
    if (plain.match(name).hasMatch())
        return name;
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// The calls joined to their line and subscriber, read in the order of the date index: the
// first rows come before the last are read.
QString datePlan(const DateIndexes& indexes, bool ordered = true)
{
    const QString rings = planName(indexes.rings);
    return QStringLiteral("PLAN JOIN (R %1INDEX (%2), L INDEX (%3), U INDEX (%4))")
        .arg(ordered ? QStringLiteral("ORDER %1 ").arg(rings) : QString(), rings,
             planName(indexes.lines), planName(indexes.users));
}

} // namespace

Statement dateIndexCandidates()
{
    Statement s;
    s.add(
        QStringLiteral("SELECT TRIM(I.RDB$INDEX_NAME) AS NAME, TRIM(I.RDB$RELATION_NAME) AS TBL"));
    s.add(QStringLiteral("FROM RDB$INDICES I"));
    s.add(QStringLiteral("JOIN RDB$INDEX_SEGMENTS S ON S.RDB$INDEX_NAME = I.RDB$INDEX_NAME"));
    s.add(
        QStringLiteral("LEFT JOIN RDB$RELATION_CONSTRAINTS C ON C.RDB$INDEX_NAME = "
                       "I.RDB$INDEX_NAME AND C.RDB$CONSTRAINT_TYPE IN ('PRIMARY KEY', 'UNIQUE')"));
    s.add(QStringLiteral("WHERE I.RDB$SEGMENT_COUNT = 1 AND COALESCE(I.RDB$INDEX_INACTIVE, 0) = 0 "
                         "AND COALESCE(I.RDB$INDEX_TYPE, 0) = 0 AND I.RDB$EXPRESSION_BLR IS NULL"));
    s.add(QStringLiteral("AND ((I.RDB$RELATION_NAME = 'RINGS' AND S.RDB$FIELD_NAME = 'RINGDATE') "
                         "OR (I.RDB$RELATION_NAME = 'LINES' AND S.RDB$FIELD_NAME = 'NUMBERLINE') "
                         "OR (I.RDB$RELATION_NAME = 'USERS' AND S.RDB$FIELD_NAME = 'NUMBERIN'))"));
    s.add(QStringLiteral("ORDER BY IIF(C.RDB$CONSTRAINT_NAME IS NULL, 1, 0), 1"));
    return s;
}

bool CallFilter::readsAlongDateIndex() const
{
    // The program's own sorts read the rows in date order too, in either direction.
    const bool programSort = sorts().byProgram(sortField);
    const bool byDate = sortField <= 0 || sortField >= sorts().count() || programSort;
    return navigateByDate && byDate && (!descending || programSort) && user <= 0 && line <= 0 &&
           !outsideDirectories;
}

void CallFilter::addConditions(Statement& s) const
{
    if (incoming && !outgoing)
        s.add(QStringLiteral("AND NumberOut=0"));
    if (outgoing && !incoming)
        s.add(QStringLiteral("AND NumberOut>0"));
    if (const QString digits = prefixDigits(); !digits.isEmpty())
        s.add(QStringLiteral("AND NumberOut STARTING WITH '") + digits + u'\'');
}

void CallFilter::addNarrowing(Statement& s) const
{
    if (user > 0)
        s.add(QStringLiteral("AND R.NumberIn=") + QString::number(user));
    if (line > 0)
        s.add(QStringLiteral("AND R.RLine=") + QString::number(line));
    if (longerThan > 0)
        s.add(QStringLiteral("AND R.RINGLENGTH>") + QString::number(longerThan));
}

Statement CallFilter::statement() const
{
    Statement s;
    if (outsideDirectories) {
        // The same columns; where the directories know nothing, the bare numbers.
        s.add(QStringLiteral("SELECT RDay, RMont, RYear,RHour,RMin,RSec,RingLength,TimeHour,"
                             "TimeMin,TimeSec,NumberOut,COALESCE(L.NumberTown,R.RLine) AS "
                             "NumberTown,COALESCE(U.FIO,CAST(R.NumberIn AS VARCHAR(11))) AS FIO") +
              (withLine ? QStringLiteral(",R.RLine") : QString()));
        s.add(QStringLiteral("FROM Rings R LEFT JOIN Lines L ON R.Rline=L.NumberLine "
                             "LEFT JOIN Users U ON R.NumberIn=U.NumberIn"));
        s.add(QStringLiteral("WHERE (R.RingDate between :d1 and :d2)"));
        addConditions(s);
    } else {
        s.add(QStringLiteral("SELECT RDay, RMont, RYear,RHour,RMin,RSec,RingLength,TimeHour,"
                             "TimeMin,TimeSec,NumberOut,L.NumberTown,U.FIO") +
              (withLine ? QStringLiteral(",R.RLine") : QString()));
        s.add(CallTables);
        s.add(CallJoin);
        addConditions(s);
        s.add(QStringLiteral("AND (R.RingDate between :d1 and :d2)"));
    }
    addNarrowing(s);
    if (readsAlongDateIndex())
        s.add(datePlan(indexes));
    s.add(sorts().orderBy(sortField, descending));
    const Period period{from, to};
    s.bind(QStringLiteral("d1"), period.start());
    s.bind(QStringLiteral("d2"), period.end());
    return s;
}

Statement CallFilter::outsideCount() const
{
    Statement s;
    s.add(QStringLiteral("SELECT COUNT(*) AS Outside FROM Rings R"));
    s.add(QStringLiteral("WHERE (R.RingDate between :d1 and :d2)"));
    s.add(QStringLiteral("AND (NOT EXISTS (SELECT 1 FROM Lines L WHERE L.NumberLine=R.RLine) "
                         "OR NOT EXISTS (SELECT 1 FROM Users U WHERE U.NumberIn=R.NumberIn))"));
    addConditions(s);
    addNarrowing(s);
    const Period period{from, to};
    s.bind(QStringLiteral("d1"), period.start());
    s.bind(QStringLiteral("d2"), period.end());
    return s;
}

const SortOrders& CallFilter::sorts()
{
    static const SortOrders orders(CallOrders);
    return orders;
}

// ---- the directories --------------------------------------------------------------------

Statement LineList::statement() const
{
    Statement s;
    s.add(QStringLiteral("SELECT * FROM Lines"));
    s.add(sorts().orderBy(sortField, descending));
    return s;
}

const SortOrders& LineList::sorts()
{
    static const SortOrders orders(LineOrders);
    return orders;
}

Statement usersOfDept(int deptKey)
{
    Statement s;
    s.add(QStringLiteral("SELECT ' ' as MailIcon,Users.* FROM Users"));
    if (deptKey > 0)
        s.add(QStringLiteral("WHERE DeptNumber=") + QString::number(deptKey));
    s.add(QStringLiteral("ORDER BY FIO"));
    return s;
}

Statement deptChildren(int parentKey)
{
    Statement s;
    s.add(QStringLiteral("SELECT * FROM DEPTS WHERE DeptParent=:DeptParent"));
    s.add(QStringLiteral("ORDER BY DeptName"));
    s.bind(QStringLiteral("DeptParent"), qint64(parentKey));
    return s;
}

Statement deptByKey(int key)
{
    Statement s;
    s.add(QStringLiteral("SELECT KeyID,DeptName FROM Depts WHERE KeyID=") + QString::number(key));
    return s;
}

Statement deptChoices()
{
    Statement s;
    s.add(QStringLiteral("SELECT KeyID,DeptName as Name FROM Depts ORDER BY DeptName"));
    return s;
}

Statement userChoices()
{
    Statement s;
    s.add(QStringLiteral(
        "SELECT NumberIN,FIO,upper(FIO COLLATE PXW_CYRL) as ForOrder FROM Users ORDER BY 3"));
    return s;
}

Statement lineChoices()
{
    Statement s;
    s.add(
        QStringLiteral("SELECT NumberLine,NumberTown,AddInfo,Etc FROM Lines ORDER BY NumberTown"));
    return s;
}

// ---- statistics and reports -------------------------------------------------------------

const QString TalkSum::LineColumn = QStringLiteral("R.RLine");
const QString TalkSum::UserColumn = QStringLiteral("R.NumberIn");

namespace {

// The sums of the talk time over the directories in the period, by `sum`'s directions; `select`
// opens it, `condition` (when not empty) narrows it, `tail` closes it.
Statement talkSums(const TalkSum& sum, const QString& select, const QString& condition,
                   const QString& tail)
{
    Statement s;
    s.add(select + QStringLiteral("sum(TimeHour) as TimeHour,sum(TimeMin) as TimeMin,"
                                  "sum(TimeSec) as TimeSec"));
    s.add(CallTables);
    s.add(QStringLiteral("WHERE R.RingDate BETWEEN :P0 AND :P1 "));
    if (sum.incoming && !sum.outgoing)
        s.add(QStringLiteral("AND NumberOut=0"));
    if (!sum.incoming && sum.outgoing)
        s.add(QStringLiteral("AND NumberOut>0"));
    if (!condition.isEmpty())
        s.add(condition);
    s.add(QStringLiteral("AND R.Rline=L.NumberLine AND R.NumberIn=U.NumberIn"));
    if (!tail.isEmpty())
        s.add(tail);
    s.bind(QStringLiteral("P0"), sum.from);
    s.bind(QStringLiteral("P1"), sum.to);
    return s;
}

} // namespace

Statement TalkSum::statement() const
{
    const bool keyed = key > 0 && (keyColumn == LineColumn || keyColumn == UserColumn);
    return talkSums(
        *this, QStringLiteral("SELECT "),
        keyed ? QStringLiteral("AND ") + keyColumn + u'=' + QString::number(key) : QString(), {});
}

Statement TalkSum::byKey() const
{
    const QString column = keyColumn == UserColumn ? UserColumn : LineColumn;
    return talkSums(*this, QStringLiteral("SELECT ") + column + QStringLiteral(" AS KeyNumber,"),
                    {}, QStringLiteral("GROUP BY ") + column);
}

namespace {

// The calls of a period with `columns` and `condition` (starting AND, or empty), in the order of
// their dates, along the date index when asked.
Statement datedCalls(const QString& columns, const QString& condition, const QDateTime& from,
                     const QDateTime& to, bool navigateByDate)
{
    Statement s;
    s.add(QStringLiteral("SELECT ") + columns);
    s.add(QStringLiteral("FROM Rings R"));
    s.add(QStringLiteral("WHERE R.RingDate BETWEEN :d1 AND :d2") + condition);
    if (navigateByDate)
        s.add(QStringLiteral("PLAN (R ORDER IX_RINGS_DATE INDEX (IX_RINGS_DATE))"));
    s.add(QStringLiteral("ORDER BY R.RingDate"));
    s.bind(QStringLiteral("d1"), from);
    s.bind(QStringLiteral("d2"), to);
    return s;
}

const QString TalkColumn =
    QStringLiteral("CAST(R.TimeHour*3600+R.TimeMin*60+R.TimeSec AS INTEGER) AS TALK");

} // namespace

Statement lineLoadCalls(const QDateTime& from, const QDateTime& to, bool navigateByDate)
{
    return datedCalls(QStringLiteral("R.RingDate,R.RLine,") + TalkColumn, {}, from, to,
                      navigateByDate);
}

Statement billCalls(const QDateTime& from, const QDateTime& to, const std::vector<int>& lines,
                    bool navigateByDate)
{
    QString condition = QStringLiteral(" AND R.NumberOut > 0");
    if (!lines.empty()) {
        QStringList numbers; // integers the program holds
        for (int line : lines)
            numbers.append(QString::number(line));
        condition += QStringLiteral(" AND R.RLine IN (%1)").arg(numbers.join(u','));
    }
    return datedCalls(
        QStringLiteral("R.RingDate,R.RLine,CAST(R.NumberOut AS BIGINT) AS NUMBEROUT,") + TalkColumn,
        condition, from, to, navigateByDate);
}

Statement detailedCount(const QDateTime& from, const QDateTime& to,
                        const std::optional<DateIndexes>& along)
{
    Statement s;
    s.add(QStringLiteral("SELECT COUNT(*) AS Calls"));
    s.add(CallTables);
    s.add(CallJoin);
    s.add(QStringLiteral("AND (R.RingDate between :D1 and :D2)"));
    if (along)
        s.add(datePlan(*along, false));
    s.bind(QStringLiteral("D1"), from);
    s.bind(QStringLiteral("D2"), to);
    return s;
}

Statement pricedCalls(const QDateTime& from, const QDateTime& to, bool outsideDirectories)
{
    Statement s;
    if (outsideDirectories) {
        s.add(QStringLiteral("SELECT R.RLine,R.NumberIn,NumberOut,RingLength,RDay,RMont,RYear"));
        s.add(QStringLiteral("FROM Rings R"));
        s.add(QStringLiteral("WHERE NumberOut>0 AND (R.RingDate between :d1 and :d2)"));
    } else {
        s.add(QStringLiteral("SELECT R.RLine,R.NumberIn,NumberOut,RingLength,RDay,RMont,RYear"));
        s.add(CallTables);
        s.add(CallJoin);
        s.add(QStringLiteral("AND NumberOut>0 AND (R.RingDate between :d1 and :d2)"));
    }
    s.bind(QStringLiteral("d1"), from);
    s.bind(QStringLiteral("d2"), to);
    return s;
}

Statement report(ReportKind kind, const QDateTime& from, const QDateTime& to, int numberIn,
                 const std::optional<DateIndexes>& along)
{
    if (kind == ReportKind::Cost)
        return pricedCalls(from, to, true);
    Statement s;
    if (kind == ReportKind::Detailed) {
        s.add(QStringLiteral("SELECT RDay, RMont, RYear,RHour, RMin, RSec,RingLength,TimeHour,"
                             "TimeMin,TimeSec,NumberOut,L.NumberTown,U.FIO,R.NumberIn,R.RLine"));
        s.add(CallTables);
        s.add(CallJoin);
        s.add(QStringLiteral("AND (R.RingDate between :D1 and :D2)"));
        if (numberIn != 0)
            s.add(QStringLiteral("AND R.NumberIn = :N"));
        else if (along)
            s.add(datePlan(*along));
        s.add(QStringLiteral("ORDER BY RingDate"));
        s.bind(QStringLiteral("D1"), from);
        s.bind(QStringLiteral("D2"), to);
        if (numberIn != 0)
            s.bind(QStringLiteral("N"), numberIn);
        return s;
    }
    // One read of the period: the calls grouped by subscriber or line, with a row of no call
    // for each one of the directory, so that those without calls in the period keep their row
    // (counts 0, sums NULL); then joined to the directory, which drops the calls of numbers it
    // lacks. The directory is joined to the groups, not the groups to the directory: that
    // would sum the period once per subscriber or line.
    const bool users = kind == ReportKind::BySubscriber;
    s.add(users ? QStringLiteral("SELECT D.FIO,D.NumberIN,")
                : QStringLiteral("SELECT D.NumberLine,D.NumberTown,"));
    s.add(QStringLiteral("G.CntInRing,G.InRing,G.CntOutRing,G.OutRing"));
    s.add(QStringLiteral("FROM (SELECT K.Number,"));
    s.add(QStringLiteral("COUNT(IIF(K.NumberOut=0,K.RingLength,NULL)) AS CntInRing,"
                         "SUM(IIF(K.NumberOut=0,K.RingLength,NULL)) AS InRing,"));
    s.add(QStringLiteral("COUNT(IIF(K.NumberOut>0,K.RingLength,NULL)) AS CntOutRing,"
                         "SUM(IIF(K.NumberOut>0,K.RingLength,NULL)) AS OutRing"));
    s.add(users ? QStringLiteral("FROM (SELECT R.NumberIn AS Number,R.NumberOut,R.RingLength")
                : QStringLiteral("FROM (SELECT R.RLine AS Number,R.NumberOut,R.RingLength"));
    s.add(QStringLiteral("FROM Rings R WHERE R.RingDate BETWEEN :d1 AND :d2"));
    s.add(users ? QStringLiteral("UNION ALL SELECT NumberIn,NULL,NULL FROM Users) K")
                : QStringLiteral("UNION ALL SELECT NumberLine,NULL,NULL FROM Lines) K"));
    s.add(QStringLiteral("GROUP BY K.Number) G"));
    s.add(users ? QStringLiteral("JOIN Users D ON D.NumberIn=G.Number")
                : QStringLiteral("JOIN Lines D ON D.NumberLine=G.Number"));
    // Equal names or town numbers in the order of their keys.
    s.add(users ? QStringLiteral("ORDER BY D.FIO,D.NumberIn")
                : QStringLiteral("ORDER BY D.NumberTown,D.NumberLine"));
    s.bind(QStringLiteral("d1"), from);
    s.bind(QStringLiteral("d2"), to);
    return s;
}

Statement subscriberDepts()
{
    Statement s;
    s.add(QStringLiteral("SELECT U.NumberIn, U.FIO, D.DeptName FROM Users U"));
    s.add(QStringLiteral("LEFT JOIN Depts D ON D.KeyID = U.DeptNumber"));
    return s;
}

Statement callsOfLine(int number)
{
    Statement s;
    s.add(QStringLiteral("SELECT COUNT(*) AS Calls FROM Rings WHERE RLine=:Number"));
    s.bind(QStringLiteral("Number"), qint64(number));
    return s;
}

Statement callsOfUser(int number)
{
    Statement s;
    s.add(QStringLiteral("SELECT COUNT(*) AS Calls FROM Rings WHERE NumberIn=:Number"));
    s.bind(QStringLiteral("Number"), qint64(number));
    return s;
}

Statement mailRecipients()
{
    Statement s;
    s.add(QStringLiteral("SELECT NumberIN, FIO, EMail FROM Users WHERE SendMail = 1"));
    s.add(QStringLiteral("ORDER BY FIO, NumberIN"));
    return s;
}

// ---- the writes -------------------------------------------------------------------------

namespace {
Statement& bindLine(Statement& s, const LineRecord& line)
{
    return s.bind(QStringLiteral("NumberLine"), qint64(line.number))
        .bind(QStringLiteral("NumberTown"), qint64(line.town))
        .bind(QStringLiteral("AddInfo"), line.addInfo)
        .bind(QStringLiteral("Etc"), line.etc);
}

Statement& bindUser(Statement& s, const UserRecord& user)
{
    return s.bind(QStringLiteral("NumberIN"), qint64(user.number))
        .bind(QStringLiteral("FIO"), user.fio)
        .bind(QStringLiteral("EMail"), user.email)
        .bind(QStringLiteral("SendMail"), qint64(user.sendMail ? 1 : 0))
        .bind(QStringLiteral("DeptNumber"), qint64(user.dept));
}

Statement& bindDept(Statement& s, int key, const QString& name, int parent)
{
    return s.bind(QStringLiteral("KeyID"), qint64(key))
        .bind(QStringLiteral("DeptParent"), qint64(parent))
        .bind(QStringLiteral("DeptName"), name);
}
} // namespace

Statement insertLine(const LineRecord& line)
{
    Statement s;
    s.add(QStringLiteral("INSERT INTO Lines (NumberLine,NumberTown,AddInfo,Etc)"));
    s.add(QStringLiteral("VALUES (:NumberLine,:NumberTown,:AddInfo,:Etc)"));
    return bindLine(s, line);
}

Statement updateLine(int oldNumber, const LineRecord& line)
{
    Statement s;
    s.add(
        QStringLiteral("UPDATE Lines SET "
                       "NumberLine=:NumberLine,NumberTown=:NumberTown,AddInfo=:AddInfo,Etc=:Etc"));
    s.add(QStringLiteral("WHERE NumberLine=") + QString::number(oldNumber));
    return bindLine(s, line);
}

Statement deleteLine(int number)
{
    Statement s;
    s.add(QStringLiteral("DELETE FROM Lines WHERE NumberLine=") + QString::number(number));
    return s;
}

Statement insertUser(const UserRecord& user)
{
    Statement s;
    s.add(QStringLiteral("INSERT INTO Users (NumberIN,FIO,EMail,SendMail,DeptNumber)"));
    s.add(QStringLiteral("VALUES (:NumberIN,:FIO,:EMail,:SendMail,:DeptNumber)"));
    return bindUser(s, user);
}

Statement updateUser(int oldNumber, const UserRecord& user)
{
    Statement s;
    s.add(QStringLiteral("UPDATE Users SET NumberIN=:NumberIN,FIO=:FIO,EMail=:EMail,"
                         "SendMail=:SendMail,DeptNumber=:DeptNumber"));
    s.add(QStringLiteral("WHERE NumberIN=") + QString::number(oldNumber));
    return bindUser(s, user);
}

Statement deleteUser(int number)
{
    Statement s;
    s.add(QStringLiteral("DELETE FROM Users WHERE NumberIN=") + QString::number(number));
    return s;
}

Statement moveUser(int number, int dept)
{
    Statement s;
    s.add(QStringLiteral("UPDATE Users SET DeptNumber=:DeptNumber WHERE NumberIN=:NumberIN"));
    s.bind(QStringLiteral("NumberIN"), qint64(number));
    s.bind(QStringLiteral("DeptNumber"), qint64(dept));
    return s;
}

Statement insertDept(int key, const QString& name, int parent)
{
    Statement s;
    s.add(QStringLiteral("INSERT INTO Depts (KeyID,DeptName,DeptParent)"));
    s.add(QStringLiteral("VALUES (:KeyID,:DeptName,:DeptParent)"));
    return bindDept(s, key, name, parent);
}

Statement updateDept(int key, const QString& name, int parent)
{
    Statement s;
    s.add(QStringLiteral("UPDATE Depts SET DeptName=:DeptName,DeptParent=:DeptParent"));
    s.add(QStringLiteral("WHERE KeyID=:KeyID"));
    return bindDept(s, key, name, parent);
}

Statement deleteDept(int key)
{
    Statement s;
    s.add(QStringLiteral("DELETE FROM Depts WHERE KeyID=") + QString::number(key));
    return s;
}

} // namespace stmt
