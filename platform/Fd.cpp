#include "platform/Fd.h"

#include <cerrno>

#include <unistd.h>

namespace kestrow::platform {

Fd::~Fd()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Fd& Fd::operator=(Fd&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

int Fd::close()
{
    const int fd = std::exchange(m_fd, -1);
    return fd >= 0 && ::close(fd) != 0 ? errno : 0;
}

} // namespace kestrow::platform
