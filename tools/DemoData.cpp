#include "DemoData.h"

#include <cstring>

#include "SchemaScript.h"
#include "db/ScriptRunner.h"
#include "db/Sql.h"
#include "db/Transaction.h"

#include <QDate>

#include <algorithm>
#include <cmath>

namespace demo {

namespace {

struct Person
{
    const char* male;
    const char* female;
};

const Person Surnames[] = {
    {"Иванов", "Иванова"},     {"Смирнов", "Смирнова"},   {"Кузнецов", "Кузнецова"},
    {"Попов", "Попова"},       {"Васильев", "Васильева"}, {"Петров", "Петрова"},
    {"Соколов", "Соколова"},   {"Михайлов", "Михайлова"}, {"Новиков", "Новикова"},
    {"Фёдоров", "Фёдорова"},   {"Морозов", "Морозова"},   {"Волков", "Волкова"},
    {"Алексеев", "Алексеева"}, {"Лебедев", "Лебедева"},   {"Семёнов", "Семёнова"},
    {"Егоров", "Егорова"},     {"Павлов", "Павлова"},     {"Козлов", "Козлова"},
    {"Степанов", "Степанова"}, {"Николаев", "Николаева"}, {"Орлов", "Орлова"},
    {"Андреев", "Андреева"},   {"Макаров", "Макарова"},   {"Никитин", "Никитина"},
    {"Захаров", "Захарова"},   {"Зайцев", "Зайцева"},     {"Соловьёв", "Соловьёва"},
    {"Борисов", "Борисова"},   {"Яковлев", "Яковлева"},   {"Григорьев", "Григорьева"},
    {"Романов", "Романова"},   {"Воробьёв", "Воробьёва"}, {"Сергеев", "Сергеева"},
    {"Фролов", "Фролова"},     {"Гусев", "Гусева"},       {"Тихонов", "Тихонова"},
    {"Белов", "Белова"},       {"Комаров", "Комарова"},   {"Крылов", "Крылова"},
    {"Ершов", "Ершова"},
};
const char* const MaleNames[] = {"Александр", "Сергей", "Дмитрий", "Андрей",  "Алексей",
                                 "Михаил",    "Игорь",  "Николай", "Евгений", "Владимир",
                                 "Павел",     "Виктор", "Олег",    "Юрий",    "Константин"};
const char* const FemaleNames[] = {"Елена",    "Ольга",  "Наталья", "Татьяна",   "Ирина",
                                   "Светлана", "Марина", "Анна",    "Екатерина", "Людмила",
                                   "Галина",   "Юлия",   "Надежда", "Вера",      "Мария"};
// Patronymics from fathers' names: male and female forms.
const Person Patronymics[] = {
    {"Александрович", "Александровна"}, {"Сергеевич", "Сергеевна"},
    {"Дмитриевич", "Дмитриевна"},       {"Андреевич", "Андреевна"},
    {"Алексеевич", "Алексеевна"},       {"Михайлович", "Михайловна"},
    {"Игоревич", "Игоревна"},           {"Николаевич", "Николаевна"},
    {"Владимирович", "Владимировна"},   {"Викторович", "Викторовна"},
    {"Петрович", "Петровна"},           {"Иванович", "Ивановна"},
};

QString translit(const QString& s)
{
    static const char* const table[] = {
        "a", "b", "v", "g", "d", "e",  "zh", "z",  "i",  "y",    "k", "l", "m", "n", "o",  "p",
        "r", "s", "t", "u", "f", "kh", "ts", "ch", "sh", "shch", "",  "y", "",  "e", "yu", "ya"};
    QString out;
    for (QChar c : s.toLower()) {
        const char16_t u = c.unicode();
        if (u >= u'а' && u <= u'я')
            out += QLatin1String(table[u - u'а']);
        else if (u == u'ё')
            out += QLatin1String("e");
        else if (c.isLetterOrNumber())
            out += c;
    }
    return out;
}

struct Dept
{
    const char* name;
    int parent; // index into the list, -1 for a top-level department
};
const Dept Depts[] = {
    {"Администрация", -1}, {"Бухгалтерия", -1},       {"Отдел кадров", -1},
    {"Отдел продаж", -1},  {"Розничные продажи", -1}, {"Отдел снабжения", -1},
    {"Склад", -1},         {"Юридический отдел", -1}, {"Информационный отдел", -1},
};

const char* const LineInfo[] = {"Секретарь", "Факс",  "Бухгалтерия", "Отдел продаж",
                                "Директор",  "Модем", "Склад",       "Охрана"};

} // namespace

QStringList localParams(const QString& user, const QString& password)
{
    return {QStringLiteral("user_name=") + user, QStringLiteral("password=") + password,
            QStringLiteral("lc_ctype=win1251")};
}

void createDatabase(db::Database& database, const QString& name, const QStringList& params)
{
    database.create(name, params, QStringLiteral("WIN1251"));
    db::ScriptRunner::run(database, schemaScript());
}

DemoData::DemoData(unsigned seed) : m_random(seed) {}

void DemoData::fillTariffs(db::Database& database)
{
    struct DemoRule
    {
        int plan;
        const char* prefix;
        int minLength, maxLength;
        const char* zone;
        const char* price; // rubles a minute, as the database reads a literal
        int first, next, free;
    };
    static const DemoRule Rules[] = {
        {1, "8800", 11, 11, "Бесплатные", "0", 60, 60, 0},
        {1, "89", 11, 11, "Мобильные", "2.40", 1, 1, 3},
        {1, "79", 11, 11, "Мобильные", "2.40", 1, 1, 3},
        {1, "8", 11, 11, "Междугородные", "3.50", 60, 60, 0},
        {1, "7", 11, 11, "Междугородные", "3.50", 60, 60, 0},
        {1, "810", 13, 15, "Международные", "18.00", 60, 60, 0},
        {1, "", 5, 7, "Местные", "0.40", 60, 60, 0},
        {2, "89", 11, 11, "Мобильные", "1.90", 30, 6, 5},
        {2, "8", 11, 11, "Междугородные", "2.95", 30, 6, 5},
        {2, "", 5, 7, "Местные", "0.35", 30, 6, 5},
    };
    db::Transaction tr(database);
    tr.start();
    db::Sql sql(database, tr);
    sql.sql().add(QStringLiteral("INSERT INTO TariffPlans (PlanID, PlanName, IsDefault) VALUES "
                                 "(GEN_ID(GEN_TARIFFID, 1), ?, ?)"));
    for (const char* name : {"Демо-оператор", "Второй оператор"}) {
        sql.param(0).setString(QString::fromUtf8(name));
        sql.param(1).setInteger(std::strcmp(name, "Демо-оператор") == 0 ? 1 : 0);
        sql.execQuery();
    }
    sql.sql().clear();
    sql.sql().add(QStringLiteral(
        "INSERT INTO TariffRules (RuleID, PlanID, Prefix, MinLength, MaxLength, ZoneName, "
        "MinutePrice, FirstInterval, NextInterval, FreeSeconds) VALUES (GEN_ID(GEN_TARIFFID, 1), "
        "?, ?, ?, ?, ?, CAST(? AS NUMERIC(18,4)), ?, ?, ?)"));
    for (const DemoRule& r : Rules) {
        sql.param(0).setInteger(r.plan);
        sql.param(1).setString(QString::fromLatin1(r.prefix));
        sql.param(2).setInteger(r.minLength);
        sql.param(3).setInteger(r.maxLength);
        sql.param(4).setString(QString::fromUtf8(r.zone));
        sql.param(5).setString(QString::fromLatin1(r.price));
        sql.param(6).setInteger(r.first);
        sql.param(7).setInteger(r.next);
        sql.param(8).setInteger(r.free);
        sql.execQuery();
    }
    sql.sql().clear();
    sql.sql().add(QStringLiteral("INSERT INTO LineTariffs (NumberLine, PlanID) VALUES (?, 2)"));
    for (int line = 1; line <= 5; ++line) {
        sql.param(0).setInteger(line);
        sql.execQuery();
    }
    tr.commit();
}

void DemoData::fillDirectories(db::Database& database)
{
    db::Transaction tr(database);
    tr.start();
    db::Sql sql(database, tr);

    // Department keys come from the same procedure the program uses.
    std::vector<int> deptKeys;
    for (const Dept& d : Depts) {
        sql.sql().clear();
        sql.sql().add(QStringLiteral("EXECUTE PROCEDURE MAKENEWID"));
        sql.execQuery();
        const int key = sql.field(QStringLiteral("NEWID")).asInteger();
        deptKeys.push_back(key);
        sql.sql().clear();
        sql.sql().add(
            QStringLiteral("INSERT INTO Depts (KeyID, DeptName, DeptParent) VALUES (?, ?, ?)"));
        sql.param(0).setInteger(key);
        sql.param(1).setString(QString::fromUtf8(d.name));
        sql.param(2).setInteger(d.parent < 0 ? 0 : deptKeys[std::size_t(d.parent)]);
        sql.execQuery();
    }

    sql.sql().clear();
    sql.sql().add(QStringLiteral(
        "INSERT INTO Users (NumberIN, FIO, EMail, SendMail, DeptNumber) VALUES (?, ?, ?, ?, ?)"));
    std::uniform_int_distribution<int> coin(0, 99);
    QStringList usedNames;
    m_users.clear();
    for (int i = 0; i < userCount(); ++i) {
        const bool female = coin(m_random) < 45;
        QString fio;
        QString first;
        QString surname;
        do {
            const Person& s = Surnames[m_random() % std::size(Surnames)];
            first = QString::fromUtf8(female ? FemaleNames[m_random() % std::size(FemaleNames)]
                                             : MaleNames[m_random() % std::size(MaleNames)]);
            const Person& p = Patronymics[m_random() % std::size(Patronymics)];
            surname = QString::fromUtf8(female ? s.female : s.male);
            fio = surname + u' ' + first + u' ' + QString::fromUtf8(female ? p.female : p.male);
        } while (usedNames.contains(fio));
        usedNames << fio;
        const int number = 101 + i;
        m_users.push_back(number);
        const int dept = coin(m_random) < 4 ? 0 : deptKeys[m_random() % deptKeys.size()];
        sql.param(0).setInteger(number);
        sql.param(1).setString(fio);
        sql.param(2).setString(translit(first).left(1) + u'.' + translit(surname) +
                               QString::number(number) + QStringLiteral("@office.example.ru"));
        sql.param(3).setInteger(coin(m_random) < 30 ? 1 : 0);
        sql.param(4).setInteger(dept);
        sql.execQuery();
    }

    sql.sql().clear();
    sql.sql().add(QStringLiteral(
        "INSERT INTO Lines (NumberLine, NumberTown, AddInfo, Etc) VALUES (?, ?, ?, ?)"));
    m_lines.clear();
    for (int i = 0; i < lineCount(); ++i) {
        const int line = i + 1;
        m_lines.push_back(line);
        sql.param(0).setInteger(line);
        sql.param(1).setInteger(2154000 + int(m_random() % 6000));
        sql.param(2).setValue(coin(m_random) < 40 ? QVariant(QString::fromUtf8(
                                                        LineInfo[m_random() % std::size(LineInfo)]))
                                                  : QVariant());
        sql.param(3).setValue(coin(m_random) < 15 ? QVariant(QStringLiteral("Резервная линия"))
                                                  : QVariant());
        sql.execQuery();
    }
    tr.commit();
}

double DemoData::dialledNumber()
{
    // As an office dials: city numbers of 5 to 7 digits that never begin with the trunk
    // digit 8 (nor 0, 1 or 9), long distance and mobiles as 8 and ten digits, toll-free 8 800,
    // and international calls as 810, a country code and the number there.
    std::uniform_int_distribution<int> pick(0, 99);
    const auto digits = [this](int count) {
        double n = 0;
        for (int i = 0; i < count; ++i)
            n = n * 10 + double(m_random() % 10);
        return n;
    };
    const auto power = [](int count) { return std::pow(10.0, count); };
    const int p = pick(m_random);
    if (p < 60) {
        const int length = p < 8 ? 5 : p < 14 ? 6 : 7;
        return double(2 + m_random() % 6) * power(length - 1) + digits(length - 1);
    }
    if (p < 68) // 8, an area code of 3 to 5 (not 8 800), seven digits more
        return 8 * power(10) + double(3 + m_random() % 3) * power(9) + digits(9);
    if (p < 71) { // 810, a country code of 2 or 3 digits, then 9 or 10 digits
        static const int Countries[] = {49, 44, 33, 39, 86, 90, 375, 380, 972, 998};
        const int country = Countries[m_random() % std::size(Countries)];
        const int national = country < 100 ? 10 : 9;
        return (810 * power(country < 100 ? 2 : 3) + country) * power(national) +
               double(1 + m_random() % 9) * power(national - 1) + digits(national - 1);
    }
    if (p < 74)
        return 88000000000.0 + digits(7); // 8 800: toll-free
    return 89000000000.0 + digits(9);     // mobile numbers dialled with 8 9..
}

DemoData::Call DemoData::makeCall(const QDateTime& when)
{
    if (m_lines.empty())
        for (int i = 1; i <= lineCount(); ++i)
            m_lines.push_back(i);
    if (m_users.empty())
        for (int i = 0; i < userCount(); ++i)
            m_users.push_back(101 + i);
    std::uniform_int_distribution<int> pick(0, 999);
    // Durations: mostly a minute or two, a long tail up to two hours, a few unanswered.
    std::lognormal_distribution<double> talk(4.3, 1.0);
    Call c;
    c.when = when;
    c.seconds = pick(m_random) < 40 ? 0 : std::min(7200, 1 + int(talk(m_random)));
    c.numberOut = pick(m_random) < 420 ? 0.0 : dialledNumber();
    // Some lines and subscribers are busier than others.
    const std::size_t li = std::size_t(std::min<double>(
        double(m_lines.size() - 1), std::fabs(std::normal_distribution<double>(0, 14)(m_random))));
    c.line = m_lines[li];
    std::size_t ui = std::size_t(m_random() % m_users.size());
    if (pick(m_random) < 300)
        ui = ui % 20; // a handful of people are on the phone all day
    c.numberIn = m_users[ui];
    if (pick(m_random) < 5)
        c.numberIn = 300 + int(m_random() % 40); // an extension nobody entered in the directory
    return c;
}

namespace {

void bindCall(db::Sql& sql, const QDateTime& when, int seconds, double numberOut, int line,
              int numberIn)
{
    const QDate d = when.date();
    const QTime t = when.time();
    sql.param(0).setInteger(d.day());
    sql.param(1).setInteger(d.month());
    sql.param(2).setInteger(d.year() - 2000);
    sql.param(3).setInteger(t.hour());
    sql.param(4).setInteger(t.minute());
    sql.param(5).setInteger(t.second());
    sql.param(6).setDateTime(QDateTime(d, QTime(t.hour(), t.minute(), t.second())));
    sql.param(7).setInteger(seconds / 3600);
    sql.param(8).setInteger(seconds / 60 % 60);
    sql.param(9).setInteger(seconds % 60);
    sql.param(10).setDouble(numberOut);
    sql.param(11).setInteger(line);
    sql.param(12).setInteger(numberIn);
}

const char* const InsertCall =
    "INSERT INTO Rings (RDay, RMont, RYear, RHour, RMin, RSec, RingDate, TimeHour, TimeMin, "
    "TimeSec, NumberOut, RLine, NumberIn) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

} // namespace

void DemoData::fillCalls(db::Database& database, qint64 count, const QDateTime& from,
                         const QDateTime& to, const std::function<void(qint64)>& progress)
{
    if (count <= 0)
        return;
    // Working minutes of the period, weighted by the hour of day; weekends are quiet.
    static const double hourWeight[24] = {0,   0,   0,   0,   0,   0,   0,   0.2,
                                          0.8, 1.6, 2.0, 2.0, 1.6, 1.0, 1.7, 1.9,
                                          1.8, 1.3, 0.5, 0.2, 0.1, 0,   0,   0};
    std::vector<std::pair<qint64, double>> hours; // seconds since epoch of the hour, weight
    double total = 0;
    for (QDateTime h(from.date(), QTime(from.time().hour(), 0)); h < to; h = h.addSecs(3600)) {
        double w = hourWeight[h.time().hour()];
        if (h.date().dayOfWeek() >= 6)
            w *= 0.08;
        if (w <= 0)
            continue;
        hours.emplace_back(h.toSecsSinceEpoch(), w);
        total += w;
    }
    if (hours.empty())
        return;

    db::Transaction tr(database);
    tr.start();
    db::Sql sql(database, tr);
    sql.sql().add(QString::fromLatin1(InsertCall));
    sql.prepare();
    std::uniform_real_distribution<double> unit(0, 1);
    qint64 written = 0;
    double acc = 0;
    for (std::size_t h = 0; h < hours.size(); ++h) {
        const auto [start, weight] = hours[h];
        // Calls of this hour, carrying the fractional remainder over to the next hour.
        acc += double(count) * weight / total;
        const qint64 n = h + 1 == hours.size() ? count - written
                                               : std::min<qint64>(count - written, qint64(acc));
        acc -= double(n);
        std::vector<int> offsets(static_cast<std::size_t>(n));
        for (int& o : offsets)
            o = int(unit(m_random) * 3600);
        std::sort(offsets.begin(), offsets.end());
        for (int o : offsets) {
            const Call c = makeCall(QDateTime::fromSecsSinceEpoch(start + o));
            bindCall(sql, c.when, c.seconds, c.numberOut, c.line, c.numberIn);
            sql.execQuery();
            if (++written % 20000 == 0) {
                tr.commit();
                tr.start();
                if (progress)
                    progress(written);
            }
        }
    }
    tr.commit();
    if (progress && written % 20000 != 0)
        progress(written);
    refreshIndexStatistics(database);
}

void refreshIndexStatistics(db::Database& database)
{
    // Indexes made on an empty table keep the selectivity of an empty table until told
    // otherwise, and the optimizer then picks the date index for a query by line.
    db::Transaction tr(database);
    tr.start();
    db::Sql sql(database, tr);
    for (const char* index : {"IX_RINGS_DATE", "IX_RINGS_LINE_DATE", "IX_RINGS_USER_DATE"}) {
        sql.sql().clear();
        sql.sql().add(QStringLiteral("SET STATISTICS INDEX ") + QLatin1String(index));
        sql.execQuery();
    }
    tr.commit();
}

void DemoData::addCallNow(db::Database& database)
{
    db::Transaction tr(database);
    tr.start();
    db::Sql sql(database, tr);
    sql.sql().add(QString::fromLatin1(InsertCall));
    const Call c = makeCall(QDateTime::currentDateTime());
    bindCall(sql, c.when, c.seconds, c.numberOut, c.line, c.numberIn);
    sql.execQuery();
    tr.commit();
}

} // namespace demo
