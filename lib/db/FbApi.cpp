#include "FbApi.h"

#include "EmbeddedEngine.h"

#include <QStringDecoder>
#include <QStringEncoder>

using namespace Firebird;

namespace db::fb {

IMaster* master()
{
    // The engine reads its settings at the first call: the shared set-up comes before it.
    static IMaster* const m = [] {
        EmbeddedEngine::prepare();
        return fb_get_master_interface();
    }();
    return m;
}

IUtil* util()
{
    return master()->getUtilInterface();
}

IProvider* provider()
{
    // The dispatcher is reference counted; one for the whole process is enough.
    static IProvider* const p = master()->getDispatcher();
    return p;
}

QByteArray encode(const QString& text)
{
    QStringEncoder encoder("windows-1251");
    return encoder.encode(text);
}

QString decode(const char* data, qsizetype size)
{
    QStringDecoder decoder("windows-1251");
    return decoder.decode(QByteArrayView(data, size));
}

Status::Status() : m_status(master()->getStatus()), m_wrapper(m_status) {}

Status::~Status()
{
    m_status->dispose();
}

bool Status::failed() const
{
    return (m_status->getState() & IStatus::STATE_ERRORS) != 0;
}

DbError Status::error()
{
    char buffer[2048];
    const unsigned n = util()->formatStatus(buffer, sizeof buffer, m_status);
    QString message = decode(buffer, n).trimmed();
    message.replace(QLatin1String("\n"), QLatin1String(" "));
    const ISC_STATUS* vector = m_status->getErrors();
    char state[6] = {};
    fb_sqlstate(state, vector);
    const long code = (vector[0] == isc_arg_gds) ? static_cast<long>(vector[1]) : 0;
    return DbError(message, QString::fromLatin1(state, 5), code);
}

void Status::check()
{
    if (failed()) {
        DbError e = error();
        clear();
        throw e;
    }
}

} // namespace db::fb
