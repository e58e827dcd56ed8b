#include "platform/FileCompare.h"

#include "platform/PathCheck.h"
#include "platform/SystemInfo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace kestrow::platform {

namespace {

constexpr size_t kBlock = 1024 * 1024;

class InputFile
{
public:
    ~InputFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    // Opens a regular file for a sequential read. Links and special files are
    // refused from their lstat, before any open.
    int open(const std::string& path)
    {
        if (const int err = detail::checkPath(path))
            return err;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0)
            return errno;
        if (!S_ISREG(st.st_mode))
            return S_ISDIR(st.st_mode) ? EISDIR : ENOTSUP;
        m_fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0)
            return errno;
        if (::fstat(m_fd, &m_stat) != 0)
            return errno;
        if (!S_ISREG(m_stat.st_mode))
            return ENOTSUP; // swapped for something else since the lstat
        ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        return 0;
    }
    // Fills `buf` up to `len` bytes; fewer only at the end of the file.
    ssize_t readFull(char* buf, size_t len)
    {
        size_t got = 0;
        while (got < len) {
            const ssize_t n = ::read(m_fd, buf + got, len - got);
            if (n == 0)
                break;
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return -1;
            }
            got += static_cast<size_t>(n);
        }
        return static_cast<ssize_t>(got);
    }
    const struct stat& stat() const { return m_stat; }

private:
    int m_fd = -1;
    struct stat m_stat
    {
    };
};

} // namespace

int FileComparer::compareFiles(const std::string& a, const std::string& b)
{
    m_lastError = 0;
    InputFile fa;
    InputFile fb;
    if (const int err = fa.open(a)) {
        m_lastError = static_cast<uint32_t>(err);
        return -1;
    }
    if (const int err = fb.open(b)) {
        m_lastError = static_cast<uint32_t>(err);
        return -1;
    }
    if (fa.stat().st_size != fb.stat().st_size) {
        m_lastError = kDifferentCode;
        return 1;
    }
    if (fa.stat().st_dev == fb.stat().st_dev && fa.stat().st_ino == fb.stat().st_ino)
        return 0;

    const size_t block = std::clamp<size_t>(static_cast<size_t>(fa.stat().st_size), 1, kBlock);
    std::unique_ptr<char[]> bufA(new char[block]);
    std::unique_ptr<char[]> bufB(new char[block]);
    for (;;) {
        const ssize_t na = fa.readFull(bufA.get(), block);
        if (na < 0) {
            m_lastError = static_cast<uint32_t>(errno);
            return -1;
        }
        const ssize_t nb = fb.readFull(bufB.get(), block);
        if (nb < 0) {
            m_lastError = static_cast<uint32_t>(errno);
            return -1;
        }
        // A length that changed while reading is a difference too.
        if (na != nb || std::memcmp(bufA.get(), bufB.get(), static_cast<size_t>(na)) != 0)
            return 1;
        if (static_cast<size_t>(na) < block)
            return 0;
    }
}

int64_t FileComparer::crc32OfFile(const std::string& path)
{
    m_lastError = 0;
    InputFile f;
    if (const int err = f.open(path)) {
        m_lastError = static_cast<uint32_t>(err);
        return -1;
    }
    const size_t block = std::clamp<size_t>(static_cast<size_t>(f.stat().st_size), 1, kBlock);
    std::unique_ptr<char[]> buf(new char[block]);
    uLong crc = ::crc32_z(0L, Z_NULL, 0);
    for (;;) {
        const ssize_t n = f.readFull(buf.get(), block);
        if (n < 0) {
            m_lastError = static_cast<uint32_t>(errno);
            return -1;
        }
        crc = ::crc32_z(crc, reinterpret_cast<const Bytef*>(buf.get()), static_cast<z_size_t>(n));
        if (static_cast<size_t>(n) < block)
            return static_cast<int64_t>(crc & 0xFFFFFFFFu);
    }
}

std::string FileComparer::errorText(uint32_t code) const
{
    if (code == 0)
        return "No error.";
    if (code == kDifferentCode)
        return "The files are different.";
    std::string text = errnoText(static_cast<int>(code));
    return text.empty() ? "Unknown error " + std::to_string(code) + "." : text;
}

} // namespace kestrow::platform
