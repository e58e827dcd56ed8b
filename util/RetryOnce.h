#pragma once
// "Make it writable and try again, once": an operation refused because something was
// read-only is tried a second time when its caller could give the missing permission.
// The operation and the repair are the caller's (system calls stay in platform/).

#include <functional>
#include <utility>

namespace kestrow::util {

// For a first attempt already made (on another thread, say) with result `first`: when
// `retryable` accepts it and `repair` then reports that it changed something, gives
// the result of `attempt` run once more, else `first`.
template <typename Result, typename Attempt, typename Retryable, typename Repair>
Result retryOnceAfter(Result first, Attempt&& attempt, Retryable&& retryable, Repair&& repair)
{
    if (std::invoke(retryable, std::as_const(first)) && std::invoke(repair))
        return std::invoke(attempt);
    return first;
}

// Runs `attempt`, and once more when `retryable` accepts its result and `repair` then
// reports a change. Gives the last attempt's result. Never more than two attempts: a
// repair that did not help is not repeated.
template <typename Attempt, typename Retryable, typename Repair>
auto retryOnce(Attempt&& attempt, Retryable&& retryable, Repair&& repair)
{
    return retryOnceAfter(std::invoke(attempt), attempt, std::forward<Retryable>(retryable),
                          std::forward<Repair>(repair));
}

} // namespace kestrow::util
