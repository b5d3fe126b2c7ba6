// Access to the Firebird client's object interfaces and RAII holders for them. Private to the
// layer's own sources: the public headers see only forward declarations of the interfaces.
#pragma once

#include "DbError.h"
#include "FbHandle.h"

#include <firebird/Interface.h>

#include <QByteArray>
#include <QString>
#include <memory>

namespace db::fb {

Firebird::IMaster* master();
Firebird::IUtil* util();
Firebird::IProvider* provider();

/// Text crossing the client boundary is in code page 1251.
QByteArray encode(const QString& text);
QString decode(const char* data, qsizetype size);

/// A status object for one call sequence; check() throws DbError when the status holds an error.
class Status
{
public:
    Status();
    ~Status();
    Q_DISABLE_COPY(Status)

    Firebird::CheckStatusWrapper* operator&() { return &m_wrapper; }
    Firebird::CheckStatusWrapper* get() { return &m_wrapper; }
    bool failed() const;
    /// Throws DbError with the status's formatted message when it holds an error.
    void check();
    /// The error as a DbError (for callers that collect errors before throwing).
    DbError error();
    void clear() { m_wrapper.clearException(); }

private:
    Firebird::IStatus* m_status;
    Firebird::CheckStatusWrapper m_wrapper;
};

/// Calls release() on interfaces that are reference counted (metadata, builders).
struct Releaser
{
    template <class T> void operator()(T* p) const noexcept
    {
        if (p)
            p->release();
    }
};
template <class T> using Ref = std::unique_ptr<T, Releaser>;

/// Calls dispose() on disposable interfaces (status, xpb builders).
struct Disposer
{
    template <class T> void operator()(T* p) const noexcept
    {
        if (p)
            p->dispose();
    }
};
template <class T> using Owned = std::unique_ptr<T, Disposer>;

// The orderly ends of the objects held in a Handle, for Handle::end() and endQuietly().
inline constexpr auto Close = [](auto* p, Firebird::CheckStatusWrapper* st) { p->close(st); };
inline constexpr auto Free = [](auto* p, Firebird::CheckStatusWrapper* st) { p->free(st); };
inline constexpr auto Detach = [](auto* p, Firebird::CheckStatusWrapper* st) { p->detach(st); };
inline constexpr auto Commit = [](auto* p, Firebird::CheckStatusWrapper* st) { p->commit(st); };
inline constexpr auto Rollback = [](auto* p, Firebird::CheckStatusWrapper* st) { p->rollback(st); };

/// Ends the held object the orderly way and releases it when that fails. Never throws.
template <class T, class Finish> void endQuietly(Handle<T>& handle, Finish finish) noexcept
{
    if (!handle)
        return;
    Status st;
    if (!handle.end(st, finish))
        handle.release();
}

// Day number of ISC_DATE 0 (17 November 1858) as a Julian day.
constexpr qint64 IscDateJulianBase = 2400001;

} // namespace db::fb
