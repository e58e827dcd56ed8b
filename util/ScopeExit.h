#pragma once
// Runs a callable when the scope is left, however it is left: a resource handed back,
// a value put back, a notice that a phase has ended.

#include <type_traits>
#include <utility>

namespace kestrow::util {

template <typename Fn> class [[nodiscard]] ScopeExit
{
public:
    explicit ScopeExit(Fn fn) noexcept(std::is_nothrow_move_constructible_v<Fn>) : m_fn(std::move(fn)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    // A destructor must not throw: a callable that may catches what it throws itself.
    ~ScopeExit()
    {
        if (m_armed)
            m_fn();
    }

    // The scope ends without the callable (the work it would undo has been kept).
    void dismiss() noexcept { m_armed = false; }

private:
    Fn m_fn;
    bool m_armed = true;
};

template <typename Fn> ScopeExit(Fn) -> ScopeExit<Fn>;

// Gives `variable` a value for the scope and puts the one it had back when the scope
// ends: a service installed for a run, a test's clock, a thread's snapshot.
template <typename T> class [[nodiscard]] ScopedValue
{
public:
    ScopedValue(T& variable, T value)
        : m_variable(variable), m_previous(std::exchange(variable, std::move(value)))
    {
    }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;
    ~ScopedValue() { m_variable = std::move(m_previous); }

private:
    T& m_variable;
    T m_previous;
};

} // namespace kestrow::util
