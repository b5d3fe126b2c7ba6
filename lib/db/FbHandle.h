// An owning holder of one Firebird interface pointer; needs only forward declarations of the
// interface classes, so the layer's public headers can hold handles without the client's headers.
#pragma once

#include <utility>

namespace db::fb {

/// Owns an interface the engine hands out (attachment, transaction, statement, cursor) and lets
/// go of it exactly once. end() finishes the object the orderly way (close, free, detach,
/// commit, rollback: see FbApi.h); the engine drops the interface itself when that succeeds.
/// When it fails the handle still holds the interface, and release() (also done on
/// destruction) lets go of it without a word to the server. Moves, never copies.
template <class T> class Handle
{
public:
    Handle() noexcept = default;
    explicit Handle(T* p) noexcept : m_p(p) {}
    ~Handle() { release(); }
    Handle(Handle&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept
    {
        if (this != &other) {
            release();
            m_p = std::exchange(other.m_p, nullptr);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    T* get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    /// Takes p, releasing what was held before.
    void reset(T* p = nullptr) noexcept
    {
        release();
        m_p = p;
    }

    /// Calls finish(interface, status wrapper), e.g. fb::Close. True when nothing was held or
    /// the call succeeded (the handle is then empty); false with the error in the status and
    /// the interface still held.
    template <class Status, class Finish> bool end(Status& status, Finish finish)
    {
        if (!m_p)
            return true;
        finish(m_p, status.get());
        if (status.failed())
            return false;
        m_p = nullptr;
        return true;
    }

    /// Lets go of the interface without ending it on the server (the fallback after a failed
    /// end(), and for reference-counted objects that have nothing to end).
    void release() noexcept
    {
        if (T* p = std::exchange(m_p, nullptr))
            p->release();
    }

private:
    T* m_p = nullptr;
};

} // namespace db::fb
