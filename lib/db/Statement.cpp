#include "Statement.h"

#include "Database.h"
#include "FbApi.h"
#include "Transaction.h"

#include <QDateTime>

#include <cstring>

using namespace Firebird;

namespace db {

namespace {
constexpr unsigned Win1251 = 52; // character set id of WIN1251
}

struct Statement::Handles
{
    fb::Handle<IStatement> statement;
    fb::Handle<IResultSet> cursor;
    fb::Ref<IMessageMetadata> inMeta;
    fb::Ref<IMessageMetadata> boundMeta;
    fb::Ref<IMessageMetadata> outMeta;
    fb::Status status; // reused by fetch(), the hot path
};

Statement::Statement() : m_h(std::make_unique<Handles>()) {}

Statement::~Statement()
{
    free();
}

bool Statement::prepared() const
{
    return bool(m_h->statement);
}

void Statement::free() noexcept
{
    closeCursor();
    fb::endQuietly(m_h->statement, fb::Free);
    m_h->inMeta.reset();
    m_h->boundMeta.reset();
    m_h->outMeta.reset();
    m_columns.clear();
    m_text.clear();
}

void Statement::prepare(Database& database, Transaction& transaction, const QString& text)
{
    free();
    if (!database.connected())
        throw DbError(QStringLiteral("Database is not connected"));
    if (!transaction.active())
        throw DbError(QStringLiteral("Transaction is not active"));
    fb::Status st;
    const QByteArray sql = fb::encode(text);
    IStatement* s = database.attachment()->prepare(&st, transaction.handle(), 0, sql.constData(), 3,
                                                   IStatement::PREPARE_PREFETCH_METADATA);
    st.check();
    m_h->statement.reset(s);
    m_text = text;
    m_type = s->getType(&st);
    st.check();
    m_h->inMeta.reset(s->getInputMetadata(&st));
    st.check();
    m_inputCount = m_h->inMeta->getCount(&st);
    m_h->outMeta.reset(s->getOutputMetadata(&st));
    st.check();
    const unsigned n = m_h->outMeta->getCount(&st);
    m_columns.resize(n);
    for (unsigned i = 0; i < n; ++i) {
        ColumnInfo& c = m_columns[i];
        const char* alias = m_h->outMeta->getAlias(&st, i);
        c.name = fb::decode(alias, qsizetype(std::strlen(alias)));
        c.sqlType = m_h->outMeta->getType(&st, i) & ~1u;
        c.scale = m_h->outMeta->getScale(&st, i);
        c.length = m_h->outMeta->getLength(&st, i);
        c.offset = m_h->outMeta->getOffset(&st, i);
        c.nullOffset = m_h->outMeta->getNullOffset(&st, i);
    }
    m_output.fill('\0', m_h->outMeta->getMessageLength(&st));
    st.check();
}

IMessageMetadata* Statement::inputMetadata() const
{
    return m_inputCount ? m_h->boundMeta.get() : nullptr;
}

IMessageMetadata* Statement::outputMetadata() const
{
    return m_h->outMeta.get();
}

bool Statement::returnsRows() const
{
    return m_type == isc_info_sql_stmt_select || m_type == isc_info_sql_stmt_select_for_upd;
}

void Statement::bind(const std::vector<QVariant>& values)
{
    if (values.size() != m_inputCount)
        throw DbError(QStringLiteral("Statement expects %1 parameters, %2 given")
                          .arg(m_inputCount)
                          .arg(values.size()));
    if (m_inputCount == 0)
        return;
    fb::Status st;
    fb::Ref<IMetadataBuilder> builder(m_h->inMeta->getBuilder(&st));
    st.check();
    std::vector<QByteArray> texts(values.size());
    for (unsigned i = 0; i < m_inputCount; ++i) {
        const QVariant& v = values[i];
        if (v.isNull())
            continue; // keeps the parameter's own type; only the null flag is sent
        // The type and length of parameter i; numbers and texts are unscaled.
        const auto describe = [&](unsigned type, unsigned length, bool unscaled) {
            builder->setType(&st, i, type);
            builder->setLength(&st, i, length);
            if (unscaled)
                builder->setScale(&st, i, 0);
        };
        switch (v.metaType().id()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            describe(SQL_INT64, 8, true);
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            describe(SQL_DOUBLE, 8, true);
            break;
        case QMetaType::QDateTime:
            describe(SQL_TIMESTAMP, 8, false);
            break;
        case QMetaType::QDate:
            describe(SQL_TYPE_DATE, 4, false);
            break;
        case QMetaType::QTime:
            describe(SQL_TYPE_TIME, 4, false);
            break;
        default:
            texts[i] = fb::encode(v.toString());
            describe(SQL_VARYING, unsigned(std::max<qsizetype>(1, texts[i].size())), true);
            builder->setCharSet(&st, i, Win1251);
            break;
        }
        st.check();
    }
    m_h->boundMeta.reset(builder->getMetadata(&st));
    st.check();
    IMessageMetadata* meta = m_h->boundMeta.get();
    m_input.fill('\0', meta->getMessageLength(&st));
    char* buf = m_input.data();
    for (unsigned i = 0; i < m_inputCount; ++i) {
        const QVariant& v = values[i];
        char* p = buf + meta->getOffset(&st, i);
        short* nullFlag = reinterpret_cast<short*>(buf + meta->getNullOffset(&st, i));
        if (v.isNull()) {
            *nullFlag = -1;
            continue;
        }
        *nullFlag = 0;
        switch (meta->getType(&st, i) & ~1u) {
        case SQL_INT64: {
            const qint64 x = v.toLongLong();
            std::memcpy(p, &x, 8);
            break;
        }
        case SQL_DOUBLE: {
            const double x = v.toDouble();
            std::memcpy(p, &x, 8);
            break;
        }
        case SQL_TIMESTAMP: {
            const QDateTime dt = v.toDateTime();
            ISC_TIMESTAMP ts;
            ts.timestamp_date = ISC_DATE(dt.date().toJulianDay() - fb::IscDateJulianBase);
            ts.timestamp_time = ISC_TIME(dt.time().msecsSinceStartOfDay()) * 10;
            std::memcpy(p, &ts, sizeof ts);
            break;
        }
        case SQL_TYPE_DATE: {
            const ISC_DATE d = ISC_DATE(v.toDate().toJulianDay() - fb::IscDateJulianBase);
            std::memcpy(p, &d, sizeof d);
            break;
        }
        case SQL_TYPE_TIME: {
            const ISC_TIME t = ISC_TIME(v.toTime().msecsSinceStartOfDay()) * 10;
            std::memcpy(p, &t, sizeof t);
            break;
        }
        case SQL_VARYING: {
            const auto len = static_cast<unsigned short>(texts[i].size());
            std::memcpy(p, &len, 2);
            std::memcpy(p + 2, texts[i].constData(), len);
            break;
        }
        default:
            break;
        }
    }
    st.check();
}

void Statement::openCursor(Transaction& transaction)
{
    closeCursor();
    if (!m_h->statement)
        throw DbError(QStringLiteral("Statement is not prepared"));
    if (!transaction.active())
        throw DbError(QStringLiteral("Transaction is not active"));
    fb::Status st;
    IMessageMetadata* inMeta = m_inputCount ? m_h->boundMeta.get() : nullptr;
    IResultSet* rs = m_h->statement->openCursor(
        &st, transaction.handle(), inMeta,
        inMeta ? reinterpret_cast<unsigned char*>(m_input.data()) : nullptr, m_h->outMeta.get(), 0);
    st.check();
    m_h->cursor.reset(rs);
}

bool Statement::fetch()
{
    const int r = m_h->cursor->fetchNext(m_h->status.get(),
                                         reinterpret_cast<unsigned char*>(m_output.data()));
    if (r == IStatus::RESULT_OK)
        return true;
    m_h->status.check();
    return false;
}

void Statement::closeCursor() noexcept
{
    fb::endQuietly(m_h->cursor, fb::Close);
}

void Statement::execute(Transaction& transaction)
{
    if (!m_h->statement)
        throw DbError(QStringLiteral("Statement is not prepared"));
    if (!transaction.active())
        throw DbError(QStringLiteral("Transaction is not active"));
    fb::Status st;
    IMessageMetadata* inMeta = m_inputCount ? m_h->boundMeta.get() : nullptr;
    const bool hasOutput = !m_columns.empty();
    m_h->statement->execute(&st, transaction.handle(), inMeta,
                            inMeta ? reinterpret_cast<unsigned char*>(m_input.data()) : nullptr,
                            hasOutput ? m_h->outMeta.get() : nullptr,
                            hasOutput ? reinterpret_cast<unsigned char*>(m_output.data())
                                      : nullptr);
    st.check();
}

} // namespace db
