#include "DataSet.h"

#include "FbApi.h"

#include <QElapsedTimer>

#include <cmath>
#include <cstring>

using namespace Firebird;

namespace db {

namespace {

constexpr qint64 MsPerDay = 86400000;

bool isIdentStart(QChar c)
{
    return c.isLetter() || c == u'_';
}
bool isIdentChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

// Rewrites ":name" parameters to "?" outside strings, quoted names and comments.
QString toPositional(const QString& text, QStringList& names)
{
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == u'\'' || c == u'"') {
            const qsizetype end = text.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? n : end + 1;
            out += QStringView(text).mid(i, stop - i);
            i = stop - 1;
        } else if (c == u'-' && i + 1 < n && text[i + 1] == u'-') {
            const qsizetype end = text.indexOf(u'\n', i);
            const qsizetype stop = end < 0 ? n : end;
            out += QStringView(text).mid(i, stop - i);
            i = stop - 1;
        } else if (c == u'/' && i + 1 < n && text[i + 1] == u'*') {
            const qsizetype end = text.indexOf(QLatin1String("*/"), i + 2);
            const qsizetype stop = end < 0 ? n : end + 2;
            out += QStringView(text).mid(i, stop - i);
            i = stop - 1;
        } else if (c == u':' && i + 1 < n && isIdentStart(text[i + 1]) &&
                   (i == 0 || !isIdentChar(text[i - 1]))) {
            qsizetype j = i + 1;
            while (j < n && isIdentChar(text[j]))
                ++j;
            names << text.mid(i + 1, j - i - 1);
            out += u'?';
            i = j - 1;
        } else if (c == u'?') {
            names << QString();
            out += c;
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

// One column's way from the output message into a held row.
struct DataSet::Copy
{
    enum class Kind
    {
        Short,
        Long,
        Int64,
        ScaledShort,
        ScaledLong,
        ScaledInt64,
        Float,
        Double,
        Text,
        Varying,
        Timestamp,
        Date,
        Time,
        Boolean,
        Skip
    };
    Kind kind;
    unsigned src;
    unsigned srcNull;
    unsigned length;
    double factor;
    std::uint32_t dst;
    std::uint32_t nullBit;
};

DataSet::DataSet(Database& database, Transaction& transaction)
    : DatabaseClient(database), m_transaction(&transaction)
{
    m_context.pool = &m_pool;
}

DataSet::~DataSet()
{
    stopFetch();
    m_statement.free();
}

void DataSet::setTransaction(Transaction& transaction)
{
    close();
    m_statement.free();
    m_transaction = &transaction;
}

void DataSet::databaseClosing() noexcept
{
    stopFetch();
    m_fetch.dropAttachment();
    m_open = false;
    m_rows.clear();
    m_context.row = nullptr;
    m_statement.free();
}

void DataSet::connectionLost() noexcept
{
    m_statement.free();
    m_fetch.dropAttachment();
}

void DataSet::syncParams()
{
    const QString text = m_sql.text();
    if (text == m_parsedText && !m_parsedText.isEmpty())
        return;
    QStringList names;
    m_positionalText = m_paramCheck ? toPositional(text, names) : text;
    m_parsedText = text;
    std::vector<Param> old = std::move(m_params);
    m_params.clear();
    m_paramOrder.clear();
    for (const QString& name : std::as_const(names)) {
        int index = -1;
        if (!name.isEmpty())
            for (std::size_t k = 0; k < m_params.size(); ++k)
                if (m_params[k].name().compare(name, Qt::CaseInsensitive) == 0)
                    index = int(k);
        if (index < 0) {
            Param p(name);
            for (const Param& o : old)
                if (!name.isEmpty() && o.name().compare(name, Qt::CaseInsensitive) == 0)
                    p.setValue(o.value());
            m_params.push_back(p);
            index = int(m_params.size()) - 1;
        }
        m_paramOrder.push_back(index);
    }
}

std::vector<Param>& DataSet::params()
{
    syncParams();
    return m_params;
}

Param& DataSet::paramByName(const QString& name)
{
    syncParams();
    for (Param& p : m_params)
        if (p.name().compare(name, Qt::CaseInsensitive) == 0)
            return p;
    throw DbError(QStringLiteral("Parameter %1 not found").arg(name));
}

std::vector<QVariant> DataSet::boundValues()
{
    std::vector<QVariant> values;
    values.reserve(m_paramOrder.size());
    for (int index : m_paramOrder)
        values.push_back(m_params[std::size_t(index)].value());
    return values;
}

void DataSet::prepare()
{
    syncParams();
    if (m_statement.prepared() && m_statement.text() == m_positionalText)
        return;
    m_statement.prepare(database(), *m_transaction, m_positionalText);
}

void DataSet::setFieldDefs(std::vector<FieldDef> defs)
{
    close();
    m_defs = std::move(defs);
}

void DataSet::close()
{
    stopFetch();
    m_fetch.reset();
    m_open = false;
    m_statement.closeCursor();
    m_rows.clear();
    m_pool.clear();
    m_context.row = nullptr;
}

Field* DataSet::findField(const QString& name) const
{
    for (const auto& f : m_fields)
        if (f->name().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

Field& DataSet::field(const QString& name) const
{
    if (Field* f = findField(name))
        return *f;
    throw DbError(QStringLiteral("Field %1 not found").arg(name));
}

void DataSet::buildFields()
{
    ++m_fieldGeneration;
    const std::vector<ColumnInfo>& cols = m_statement.columns();
    auto typeOf = [](const ColumnInfo& c) {
        switch (c.sqlType) {
        case SQL_SHORT:
        case SQL_LONG:
            return c.scale == 0 ? FieldType::Integer : FieldType::Double;
        case SQL_INT64:
            return c.scale == 0 ? FieldType::BigInt : FieldType::Double;
        case SQL_FLOAT:
        case SQL_DOUBLE:
        case SQL_D_FLOAT:
            return FieldType::Double;
        case SQL_TIMESTAMP:
            return FieldType::DateTime;
        case SQL_TYPE_DATE:
            return FieldType::Date;
        case SQL_TYPE_TIME:
            return FieldType::Time;
        case SQL_BOOLEAN:
            return FieldType::Integer;
        default:
            return FieldType::Text;
        }
    };
    auto kindOf = [](const ColumnInfo& c) {
        using K = Copy::Kind;
        switch (c.sqlType) {
        case SQL_SHORT:
            return c.scale == 0 ? K::Short : K::ScaledShort;
        case SQL_LONG:
            return c.scale == 0 ? K::Long : K::ScaledLong;
        case SQL_INT64:
            return c.scale == 0 ? K::Int64 : K::ScaledInt64;
        case SQL_FLOAT:
            return K::Float;
        case SQL_DOUBLE:
        case SQL_D_FLOAT:
            return K::Double;
        case SQL_TEXT:
            return K::Text;
        case SQL_VARYING:
            return K::Varying;
        case SQL_TIMESTAMP:
            return K::Timestamp;
        case SQL_TYPE_DATE:
            return K::Date;
        case SQL_TYPE_TIME:
            return K::Time;
        case SQL_BOOLEAN:
            return K::Boolean;
        default:
            return K::Skip; // blobs and the like stay empty
        }
    };

    m_fields.clear();
    m_copies.clear();
    struct Planned
    {
        int column; // -1 for calculated
        FieldDef def;
    };
    std::vector<Planned> plan;
    if (m_defs.empty()) {
        for (std::size_t i = 0; i < cols.size(); ++i)
            plan.push_back(
                {int(i), FieldDef{cols[i].name, false, FieldType::Integer, {}, true, 0}});
    } else {
        for (const FieldDef& d : m_defs) {
            int column = -1;
            if (!d.calculated) {
                for (std::size_t i = 0; i < cols.size() && column < 0; ++i)
                    if (cols[i].name.compare(d.name, Qt::CaseInsensitive) == 0)
                        column = int(i);
                if (column < 0 && d.optional)
                    continue;
                if (column < 0)
                    throw DbError(QStringLiteral("Field %1 not found").arg(d.name));
            }
            plan.push_back({column, d});
        }
    }
    const auto count = std::uint32_t(plan.size());
    std::uint32_t offset = (count + 7) / 8; // presence bits first
    for (std::uint32_t k = 0; k < count; ++k) {
        const Planned& p = plan[k];
        const FieldType type = p.column < 0 ? p.def.type : typeOf(cols[std::size_t(p.column)]);
        int size = p.def.size;
        if (p.column >= 0 && type == FieldType::Text)
            size = int(cols[std::size_t(p.column)].length);
        const QString name = p.column < 0 ? p.def.name : cols[std::size_t(p.column)].name;
        auto f = std::make_unique<Field>(p.def.calculated ? p.def.name : name, type,
                                         p.def.calculated, size, &m_context);
        const bool stored = !p.def.calculated || p.def.stored;
        f->setStorage(offset, k, stored);
        f->setDisplayLabel(p.def.label);
        f->setVisible(p.def.visible);
        if (p.column >= 0) {
            const ColumnInfo& c = cols[std::size_t(p.column)];
            m_copies.push_back(Copy{kindOf(c), c.offset, c.nullOffset, c.length,
                                    std::pow(10.0, c.scale), offset, k});
        }
        offset += stored ? Field::slotSize(type) : 0;
        m_fields.push_back(std::move(f));
    }
    m_rows.reset(offset);
}

void DataSet::decodeRow(std::uint8_t* row, const unsigned char* buf)
{
    for (const Copy& c : m_copies) {
        short isNull;
        std::memcpy(&isNull, buf + c.srcNull, sizeof isNull);
        if (isNull)
            continue;
        const unsigned char* src = buf + c.src;
        std::uint8_t* dst = row + c.dst;
        using K = Copy::Kind;
        switch (c.kind) {
        case K::Short: {
            qint16 v;
            std::memcpy(&v, src, 2);
            const qint32 w = v;
            std::memcpy(dst, &w, 4);
            break;
        }
        case K::Long:
            std::memcpy(dst, src, 4);
            break;
        case K::Int64:
        case K::Double:
            std::memcpy(dst, src, 8);
            break;
        case K::Boolean: {
            const qint32 w = *src ? 1 : 0;
            std::memcpy(dst, &w, 4);
            break;
        }
        case K::ScaledShort:
        case K::ScaledLong:
        case K::ScaledInt64: {
            qint64 v = 0;
            if (c.kind == K::ScaledShort) {
                qint16 s;
                std::memcpy(&s, src, 2);
                v = s;
            } else if (c.kind == K::ScaledLong) {
                qint32 s;
                std::memcpy(&s, src, 4);
                v = s;
            } else {
                std::memcpy(&v, src, 8);
            }
            const double d = double(v) * c.factor;
            std::memcpy(dst, &d, 8);
            break;
        }
        case K::Float: {
            float f;
            std::memcpy(&f, src, 4);
            const double d = f;
            std::memcpy(dst, &d, 8);
            break;
        }
        case K::Text: {
            unsigned len = c.length;
            while (len > 0 && src[len - 1] == ' ')
                --len;
            const std::uint32_t id =
                m_pool.intern(std::string_view(reinterpret_cast<const char*>(src), len));
            std::memcpy(dst, &id, 4);
            break;
        }
        case K::Varying: {
            unsigned short len;
            std::memcpy(&len, src, 2);
            const std::uint32_t id =
                m_pool.intern(std::string_view(reinterpret_cast<const char*>(src + 2), len));
            std::memcpy(dst, &id, 4);
            break;
        }
        case K::Timestamp: {
            ISC_TIMESTAMP ts;
            std::memcpy(&ts, src, sizeof ts);
            const qint64 v = (qint64(ts.timestamp_date) + fb::IscDateJulianBase) * MsPerDay +
                             qint64(ts.timestamp_time) / 10;
            std::memcpy(dst, &v, 8);
            break;
        }
        case K::Date: {
            ISC_DATE d;
            std::memcpy(&d, src, sizeof d);
            const qint32 v = qint32(qint64(d) + fb::IscDateJulianBase);
            std::memcpy(dst, &v, 4);
            break;
        }
        case K::Time: {
            ISC_TIME t;
            std::memcpy(&t, src, sizeof t);
            const qint32 v = qint32(t / 10);
            std::memcpy(dst, &v, 4);
            break;
        }
        case K::Skip:
            continue;
        }
        row[c.nullBit / 8] |= std::uint8_t(1u << (c.nullBit % 8));
    }
}

void DataSet::fetchRows(std::size_t maxRows)
{
    // A statement the server refuses leaves the rows of the last open as they were.
    prepare();
    m_statement.bind(boundValues());
    close();
    buildFields();
    m_statement.openCursor(*m_transaction);
    try {
        while (m_rows.count() < maxRows && m_statement.fetch())
            appendRow(m_statement.outputBuffer());
    } catch (...) {
        m_statement.closeCursor();
        m_rows.clear();
        m_pool.clear();
        m_context.row = nullptr;
        throw;
    }
    m_statement.closeCursor();
    m_rows.squeeze();
    m_context.row = m_rows.count() ? m_rows.row(0) : nullptr;
    m_open = true;
    if (m_afterOpen)
        m_afterOpen(*this);
}

void DataSet::openForward()
{
    prepare();
    m_statement.bind(boundValues());
    close();
    buildFields();
    m_statement.openCursor(*m_transaction);
    m_open = true;
    if (m_afterOpen)
        m_afterOpen(*this);
}

bool DataSet::fetchOne()
{
    m_context.row = nullptr;
    bool fetched = false;
    try {
        fetched = m_open && m_statement.fetch();
    } catch (...) {
        m_statement.closeCursor();
        m_open = false;
        throw;
    }
    if (!fetched) {
        m_statement.closeCursor();
        m_open = false;
        return false;
    }
    if (m_rows.count() == 0)
        m_rows.append();
    std::uint8_t* row = m_rows.row(0);
    std::memset(row, 0, m_rows.rowSize());
    decodeRow(row, m_statement.outputBuffer());
    m_context.row = row;
    if (m_calcHook)
        m_calcHook(*this);
    return true;
}

void DataSet::appendRow(const unsigned char* message)
{
    std::uint8_t* row = m_rows.append();
    decodeRow(row, message);
    if (m_calcHook) {
        m_context.row = row;
        try {
            m_calcHook(*this);
        } catch (...) {
            // A calculation that fails leaves the row's calculated fields empty.
            for (const auto& f : m_fields)
                if (f->isCalculated())
                    f->clear();
        }
    }
}

void DataSet::fetchInBackground(std::function<void()> arrived)
{
    prepare();
    m_statement.bind(boundValues());
    close();
    buildFields();
    BackgroundFetch::Request request;
    const Database& db = database();
    request.database = db.databaseName();
    request.params = db.params();
    request.transactionParams = m_transaction->params();
    request.sql = m_positionalText;
    request.inputMetadata = m_statement.inputMetadata();
    request.input = m_statement.inputBuffer();
    request.outputMetadata = m_statement.outputMetadata();
    request.messageLength = m_statement.outputLength();
    m_open = true;
    m_context.row = nullptr;
    m_fetch.start(std::move(request), std::move(arrived));
    if (m_afterOpen)
        m_afterOpen(*this);
}

std::size_t DataSet::takeFetched(int budgetMs)
{
    if (!m_fetch.running())
        return 0;
    const std::uint8_t* current = m_context.row;
    const std::size_t added =
        m_fetch.take(budgetMs, [this](const unsigned char* message) { appendRow(message); });
    m_context.row = const_cast<std::uint8_t*>(current);
    if (!current && m_rows.count())
        m_context.row = m_rows.row(0);
    if (!m_fetch.running())
        m_context.row = m_rows.squeeze(m_context.row);
    return added;
}

void DataSet::stopFetch() noexcept
{
    if (!m_fetch.running())
        return;
    m_fetch.stop();
    m_context.row = m_rows.squeeze(m_context.row);
}

void DataSet::executeStatement()
{
    close();
    prepare();
    m_statement.bind(boundValues());
    if (m_statement.returnsRows()) {
        buildFields();
        m_statement.openCursor(*m_transaction);
        m_statement.closeCursor();
        return;
    }
    m_statement.execute(*m_transaction);
    if (!m_statement.columns().empty()) {
        buildFields();
        decodeRow(m_rows.append(), m_statement.outputBuffer());
        m_context.row = m_rows.row(0);
        m_open = true;
    }
}

void DataSet::setCurrentRow(std::size_t index)
{
    m_context.row = index < m_rows.count() ? m_rows.row(index) : nullptr;
}

} // namespace db
