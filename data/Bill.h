// The operator's detailed bill: reading it (CSV or XLSX), its columns, and its calls compared
// with the outgoing calls of the log, call by call.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace tariff {
class TariffBook;
}

namespace bill {

/// A bill's cells as read from its file, a row a record, with the file's line number of each
/// row (from 1; the sheet's row number for a workbook). Rows with no text are left out.
struct Table
{
    std::vector<QStringList> rows;
    std::vector<int> lines;
    QString format; ///< "CSV, UTF-8, «;»", "XLSX" — what was recognised, for the operator
    QString error;  ///< why the file was refused as a whole; empty when it was read
    int columnCount() const;
};

/// Reads a CSV bill: UTF-8 with or without a byte-order mark, else Windows-1251; ";", "," or a
/// tab between fields, whichever divides the first lines most evenly; fields in double quotes
/// may hold the delimiter, a line break and doubled quotes.
Table readCsv(const QByteArray& data);
/// Reads the first sheet of an XLSX workbook; a cell formatted as a date or a time reads as
/// "dd.MM.yyyy HH:mm:ss", "dd.MM.yyyy" or "H:mm:ss", a number in the C form.
Table readXlsx(const QString& path);
/// A workbook (by its zip signature) or a CSV file; a file that cannot be opened is refused.
Table readFile(const QString& path);

/// Which column of the table is which (from 0; -1: none), and the first row of calls.
struct Columns
{
    int dateTime = -1; ///< date and time; the date alone when `time` is a column
    int time = -1;
    int number = -1;
    int duration = -1; ///< seconds, "мм:сс" or "чч:мм:сс"
    int cost = -1;     ///< optional; rubles with a decimal comma or point
    int firstRow = 0;  ///< index in Table::rows of the first row of calls

    bool operator==(const Columns&) const = default;
    /// What is missing or chosen twice, in the operator's words; empty when the choice is whole.
    QString problem(int columnCount) const;
    /// "date=0;time=-1;number=2;duration=3;cost=4;first=1", as stored.
    QString text() const;
    static std::optional<Columns> fromText(const QString& text);
};

/// A choice of columns guessed from the table's first rows: the column most of whose cells
/// read as a date with a time (or a date beside a column of times), as a telephone number, as a
/// duration and as a sum; the first row is the first whose date reads.
Columns guessColumns(const Table& table);

// ---- numbers --------------------------------------------------------------------------------

/// A number in one national form, as a key: 8XXXXXXXXXX, 7XXXXXXXXXX, +7XXXXXXXXXX and ten
/// digits are all 7XXXXXXXXXX; a local number as long as ten digits less the city code takes
/// the code; 810… (and 00…) loses its exit code. The key holds the digits and their count;
/// -1 for text that is not a number (anything but digits, spaces, "+", "-", "(", ")"), no
/// digits, or more than 17 of them.
qint64 numberKey(QStringView text, QStringView cityCode);
qint64 numberKey(qint64 dialled, QStringView cityCode);
/// The key's digits, "+" before a national number ("+74951234567").
QString keyText(qint64 key);

// ---- times ------------------------------------------------------------------------------

/// A moment as the second of the wall clock counted from the Julian day 0; no time zone.
qint64 secondOf(const QDate& date, int secondOfDay);
QDate dayOf(qint64 second);
/// "dd.MM.yyyy HH:mm:ss".
QString momentText(qint64 second);

/// Reads a date with an optional time: "dd.MM.yyyy", "dd/MM/yyyy", "dd-MM-yyyy",
/// "yyyy-MM-dd" (two-digit years are 20xx), then after a space or "T" "H:mm" or "H:mm:ss".
std::optional<qint64> parseMoment(QStringView text);
/// "H:mm" or "H:mm:ss": the second of the day.
std::optional<int> parseTimeOfDay(QStringView text);
/// Seconds, "м:сс" (any number of minutes) or "ч:мм:сс"; a whole number of seconds may be
/// written with a zero fraction ("75,0").
std::optional<int> parseDuration(QStringView text);

// ---- the bill's calls -----------------------------------------------------------------------

/// One call of the bill: 32 bytes.
struct BillCall
{
    qint64 number = 0; ///< numberKey
    qint64 start = 0;  ///< secondOf, as the bill writes it
    qint64 cost = -1;  ///< kopecks; -1: none given
    qint32 seconds = 0;
    qint32 line = 0; ///< the file's line
};

struct BillCalls
{
    std::vector<BillCall> calls;
    /// Lines left out: the file's line number and why.
    std::vector<std::pair<int, QString>> refused;
    bool hasCost = false; ///< some call has a cost
    QString error;        ///< why nothing can be compared; empty when some call was read
    /// The first and last start among the calls.
    qint64 first = 0;
    qint64 last = 0;
};

/// The calls of the table's rows from the first row of calls on, by the column choice; a row
/// whose date, number, duration or cost does not read is refused with the column named and the
/// value quoted. When no row reads, `error` says so and names the first lines' reasons.
BillCalls readCalls(const Table& table, const Columns& columns, const QString& cityCode);

// ---- the comparison -------------------------------------------------------------------------

/// One outgoing call of the log: 32 bytes.
struct LogCall
{
    qint64 number = 0;  ///< numberKey
    qint64 dialled = 0; ///< as the exchange wrote it, for the tariff
    qint64 start = 0;   ///< secondOf
    qint32 seconds = 0;
    qint32 line = 0;
};

enum class Kind : std::uint8_t
{
    Match,     ///< "совпадает"
    Duration,  ///< "длительность"
    Cost,      ///< "стоимость"
    NotInLog,  ///< "нет в журнале"
    NotInBill, ///< "нет в счёте"
};
constexpr int KindCount = 5;
QString kindText(Kind kind);

struct Options
{
    int startTolerance = 120;  ///< seconds either way
    int durationTolerance = 2; ///< seconds either way
    int clockShift = 0;        ///< hours added to the bill's times to get the exchange's
    /// The period compared, in the exchange's time (secondOf): bill calls outside it are left
    /// out (Result::outside), log calls outside it only pair with bill calls inside it.
    qint64 from = std::numeric_limits<qint64>::min();
    qint64 to = std::numeric_limits<qint64>::max();
};

/// A call of either side or both, with its class. Our cost: the tariff's price of the log's
/// talk time; -1 without a tariff (or no log call).
struct Row
{
    qint32 bill = -1; ///< index in Result::bill
    qint32 log = -1;  ///< index in Result::log
    Kind kind = Kind::Match;
    qint64 ours = -1;
    int rule = -1; ///< the tariff's rule of our cost
};

struct Totals
{
    qint64 calls = 0;
    qint64 billSeconds = 0;
    qint64 logSeconds = 0;
    qint64 billKopecks = 0;
    qint64 ourKopecks = 0;
};

struct Result
{
    std::vector<BillCall> bill; ///< sorted by number and start, times shifted to the exchange's
    std::vector<LogCall> log;   ///< sorted by number and start
    std::vector<Row> rows;      ///< every call that is not "совпадает", by number and time
    std::array<Totals, KindCount> totals{};
    /// The bill's cost of the calls not in the log and every excess of the bill's cost over
    /// ours of a matched call of another duration or cost, in kopecks.
    qint64 disputed = 0;
    /// Bill calls left out as outside the period.
    qint64 outside = 0;
    const Totals& operator[](Kind kind) const { return totals[std::size_t(kind)]; }
};

/// Compares the bill's calls with the log's: a bill call matches the log call to the same
/// number whose start is nearest within the start tolerance, each call matched at most once; of
/// calls to one number close together, the pairing that keeps the most pairs in order, then
/// the nearest in all, is taken. A pair whose durations differ beyond the tolerance is of
/// "длительность", else one whose costs (both known) differ by more than a kopeck of
/// "стоимость". Both sides are sorted here and walked together once.
Result compare(std::vector<BillCall> bill, std::vector<LogCall> log, const Options& options,
               const tariff::TariffBook* book);

} // namespace bill
