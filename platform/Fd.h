#pragma once
// One owned file descriptor, closed when destroyed: every descriptor the platform
// layer opens and keeps beyond a single system call is held in one of these.

#include <utility>

namespace kestrow::platform {

class Fd
{
public:
    Fd() = default;
    // Takes `fd` over (-1: none).
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd();
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    explicit operator bool() const { return valid(); }
    // Hands the descriptor to the caller, who closes it.
    int release() { return std::exchange(m_fd, -1); }
    // Closes now and reports the close's own failure (delayed write errors show
    // here): errno, or 0.
    int close();

private:
    int m_fd = -1;
};

} // namespace kestrow::platform
