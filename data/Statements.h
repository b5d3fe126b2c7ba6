// The statements the program runs, built from values. Windows hand values to these builders and
// never write statement text; nothing typed by the operator is written into a statement's text
// (texts travel as parameters; the call filter's number prefix is reduced to its digits).
#pragma once

#include "Period.h"
#include "ReportKind.h"

#include <QDateTime>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <utility>
#include <vector>

namespace db {
class DataSet;
}

namespace stmt {

/// A statement's lines and the values of its named parameters.
struct Statement
{
    QStringList lines;
    std::vector<std::pair<QString, QVariant>> values;

    Statement& add(const QString& line)
    {
        lines.append(line);
        return *this;
    }
    Statement& bind(const QString& name, const QVariant& value)
    {
        values.emplace_back(name, value);
        return *this;
    }
    /// Replaces the data set's text with these lines and binds the values by name. The data set
    /// is not closed: a query keeps its rows until it is opened again.
    void applyTo(db::DataSet& dataSet) const;
};

/// A list's fixed sort orders, by index: the ORDER BY term of each ("DESC_VAL" where the
/// direction goes) and the name of the grid column it belongs to. An index out of range means
/// the first. A column the database cannot sort by (one the program computes) is sorted by the
/// program once the rows are in: its term is the order they are read in, whatever the
/// direction, which then orders the rows of equal value.
class SortOrders
{
public:
    struct Order
    {
        const char* term;
        const char* column;
        bool byProgram = false;
    };
    template <std::size_t N>
    constexpr SortOrders(const Order (&orders)[N]) : m_orders(orders), m_count(int(N))
    {
    }

    QString term(int index) const;
    QString column(int index) const;
    int count() const { return m_count; }
    /// Whether the program sorts the rows of this order once they are in.
    bool byProgram(int index) const;
    /// The sort of a grid's sort description ("FIO DESC,..."): the last known column named
    /// in it, or `current` when it names none.
    int fieldOf(const QString& description, int current) const;
    /// "ORDER BY" with the term of index in the direction asked for.
    QString orderBy(int index, bool descending) const;

private:
    const Order* m_orders;
    int m_count;
};

/// The call list of the main window.
/// The indexes the call list's date order is read along: the calls' ascending index on
/// RingDate alone and the indexes of the keys of Lines and Users, by their names in the
/// database.
struct DateIndexes
{
    QString rings = QStringLiteral("IX_RINGS_DATE");
    QString lines = QStringLiteral("PK_LINES");
    QString users = QStringLiteral("PK_USERS");
};

/// From the system tables, every active ascending index of one column that can serve as one
/// of DateIndexes: columns NAME and TBL ("RINGS", "LINES" or "USERS"), the indexes of primary
/// keys and unique constraints first.
Statement dateIndexCandidates();

struct CallFilter
{
    QDate from;
    QDate to;
    bool incoming = true;
    bool outgoing = true;
    QString numberPrefix; // only its digits are used
    int user = 0;         // internal number; 0: everybody
    int line = 0;         // line number; 0: every line
    int longerThan = 0;   // seconds; 0: any length
    int sortField = 0;    // of sorts(); out of range: by date
    bool descending = false;
    /// Also the calls whose line or subscriber is missing from the directories, with the bare
    /// line number for the city number and the bare internal number for the name.
    bool outsideDirectories = false;
    /// Chronological order read along the date index instead of sorted, when nothing narrows
    /// the calls to a line or a subscriber: the first rows come at once, not after the server
    /// has sorted the whole period. Only when the database has the indexes it names.
    bool navigateByDate = false;
    DateIndexes indexes;
    /// Whether the statement names the indexes (navigateByDate, and the order and the filter
    /// allow it).
    bool readsAlongDateIndex() const;
    /// The call's line (R.RLine) among the columns, for pricing the calls by tariff.
    bool withLine = false;
    /// The indexes the chronological reading names.
    static QStringList navigationIndexes();

    /// The digits of numberPrefix, the only part of it that reaches the statement.
    QString prefixDigits() const;
    Statement statement() const;
    /// One row, column OUTSIDE: how many calls the filter matches whose line or subscriber is
    /// missing from the directories (whatever outsideDirectories says).
    Statement outsideCount() const;
    static const SortOrders& sorts();

private:
    /// The conditions on direction and prefix, one a line.
    void addConditions(Statement& s) const;
    /// The conditions on subscriber, line and length, one a line.
    void addNarrowing(Statement& s) const;
};

/// The lines directory in a stored order.
struct LineList
{
    int sortField = 0;
    bool descending = false;

    Statement statement() const;
    static const SortOrders& sorts();
};

/// Users of one department (every user for 0), with the mail picture's column first.
Statement usersOfDept(int deptKey);
/// The departments directly below one (0: the top level), by name.
Statement deptChildren(int parentKey);
/// One department's key and name.
Statement deptByKey(int key);
/// The departments for a drop-down list: key and name.
Statement deptChoices();
/// The drop-down lists of the call filter.
Statement userChoices();
Statement lineChoices();

/// Talk time of a period for the statistics window: everything, or one line or one user.
struct TalkSum
{
    static const QString LineColumn; // "R.RLine"
    static const QString UserColumn; // "R.NumberIn"

    QDateTime from;
    QDateTime to;
    bool incoming = true;
    bool outgoing = true;
    QString keyColumn; // LineColumn or UserColumn; any other: no condition
    int key = 0;       // 0: no condition

    /// Positional parameters :P0 and :P1 hold the period.
    Statement statement() const;
    /// The same sums for every key of keyColumn (the line for any other column) in one read
    /// of the period: a row per key with calls, its number in column KEYNUMBER; `key` is not
    /// looked at. The rows add up to the talk time of the period.
    Statement byKey() const;
};

/// The calls of [from, to] for the load of lines, in date order: start, line and the talk time
/// in seconds (TALK). `navigateByDate`: read along the date index IX_RINGS_DATE (when the database
/// has it) instead of sorted, so the first calls come at once.
Statement lineLoadCalls(const QDateTime& from, const QDateTime& to, bool navigateByDate);
/// The outgoing calls between two moments for checking a bill, in date order along the date
/// index when navigateByDate: RINGDATE, RLINE, NUMBEROUT (as a 64-bit integer) and TALK
/// (seconds). `lines`: only these lines; empty: every line.
Statement billCalls(const QDateTime& from, const QDateTime& to, const std::vector<int>& lines,
                    bool navigateByDate);
/// The outgoing calls of a period over the directories, for pricing: line, subscriber, number,
/// talk time and day parts. `outsideDirectories`: every outgoing call of the period, also those
/// whose line or subscriber is missing from the directories (the reader tells them apart by
/// the directories it reads itself, subscriberDepts() and lineChoices()).
Statement pricedCalls(const QDateTime& from, const QDateTime& to, bool outsideDirectories = false);

/// The calls of the detailed report of all subscribers over the period (column CALLS), counted
/// along the date index when `along` names the indexes.
Statement detailedCount(const QDateTime& from, const QDateTime& to,
                        const std::optional<DateIndexes>& along = std::nullopt);

/// A report's query over the period: a row per subscriber, per call (with its line, R.RLine,
/// for pricing) or per line. The rows of subscribers and lines (every one of the directory, in
/// the order of the name or the town number, then the key) have the counts CNTINRING and
/// CNTOUTRING (0 without calls) and the sums of seconds INRING and OUTRING (NULL without
/// calls), read in one pass over the period. The cost report's calls are pricedCalls() of every
/// outgoing call, outside the directories too. The detailed report of one subscriber alone
/// when numberIn is not 0. The detailed report of all subscribers is
/// read along the date index when `along` names the indexes (its first calls come at once).
Statement report(ReportKind kind, const QDateTime& from, const QDateTime& to, int numberIn = 0,
                 const std::optional<DateIndexes>& along = std::nullopt);
/// Every subscriber with the name of his department (empty for none): NumberIn, FIO, DeptName.
Statement subscriberDepts();
/// One row, column CALLS: the calls logged under a line number or an internal number.
Statement callsOfLine(int number);
Statement callsOfUser(int number);
/// The subscribers to be mailed their calls (SendMail = 1): number, name and address, by name.
Statement mailRecipients();

struct LineRecord
{
    int number = 0;
    int town = 0;
    QString addInfo;
    QString etc;
};
Statement insertLine(const LineRecord& line);
Statement updateLine(int oldNumber, const LineRecord& line);
Statement deleteLine(int number);

struct UserRecord
{
    int number = 0;
    QString fio;
    QString email;
    bool sendMail = false;
    int dept = 0;
};
Statement insertUser(const UserRecord& user);
Statement updateUser(int oldNumber, const UserRecord& user);
Statement deleteUser(int number);
/// Moves one user to a department (the same text for every user of a drop).
Statement moveUser(int number, int dept);

Statement insertDept(int key, const QString& name, int parent);
Statement updateDept(int key, const QString& name, int parent);
Statement deleteDept(int key);

} // namespace stmt
