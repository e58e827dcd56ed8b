#include "platform/FileCompare.h"

#include "platform/Fd.h"
#include "platform/FileOps.h"
#include "platform/PathCheck.h"
#include "platform/SystemInfo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#if defined(__x86_64__)
#include <immintrin.h>
#define KESTROW_FOLDED_CRC 1
#endif

namespace kestrow::platform {

namespace {

constexpr size_t kBlock = 1024 * 1024;
// Blocks of the comparisons through folders held open: two of them stay in a
// core's cache between the read and the comparison.
constexpr size_t kHeldBlock = 128 * 1024;
// Below this size read-ahead needs no hint.
constexpr off_t kSequentialHintSize = 1024 * 1024;

#ifdef KESTROW_FOLDED_CRC
// CRC-32 (zlib's polynomial and value) of whole 16-byte blocks, at least 64
// bytes, folded with carry-less multiplication four blocks at a time: several
// times zlib's speed, so a comparison by CRC-32 is bound by reading, not by
// the sum. `crc` is taken and given in the inverted form zlib keeps inside.
// The constants are the bit-reflected ones of Intel's "Fast CRC Computation for
// Generic Polynomials Using PCLMULQDQ".
#define KESTROW_CRC_TARGET __attribute__((target("pclmul,sse4.1")))

KESTROW_CRC_TARGET inline __m128i load(const unsigned char* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// One fold: x times k (both halves), plus next.
KESTROW_CRC_TARGET inline __m128i fold(__m128i x, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x11), _mm_clmulepi64_si128(x, k, 0x00)),
                         next);
}

KESTROW_CRC_TARGET uint32_t crc32Folded(const unsigned char* buf, size_t len, uint32_t crc)
{
    alignas(16) static const uint64_t k1k2[] = {0x0154442bd4, 0x01c6e41596};
    alignas(16) static const uint64_t k3k4[] = {0x01751997d0, 0x00ccaa009e};
    alignas(16) static const uint64_t k5k0[] = {0x0163cd6124, 0x0000000000};
    alignas(16) static const uint64_t poly[] = {0x01db710641, 0x01f7011641};

    __m128i x1 = _mm_xor_si128(load(buf), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = load(buf + 16);
    __m128i x3 = load(buf + 32);
    __m128i x4 = load(buf + 48);
    buf += 64;
    len -= 64;
    __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
    for (; len >= 64; buf += 64, len -= 64) {
        x1 = fold(x1, k, load(buf));
        x2 = fold(x2, k, load(buf + 16));
        x3 = fold(x3, k, load(buf + 32));
        x4 = fold(x4, k, load(buf + 48));
    }
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
    x1 = fold(x1, k, x2);
    x1 = fold(x1, k, x3);
    x1 = fold(x1, k, x4);
    for (; len >= 16; buf += 16, len -= 16)
        x1 = fold(x1, k, load(buf));

    // 128 bits to 64, then a Barrett reduction to 32.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k, 0x10));
    k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x00), _mm_srli_si128(x1, 4));
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
    __m128i x2b = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x10);
    x2b = _mm_clmulepi64_si128(_mm_and_si128(x2b, low32), k, 0x00);
    x1 = _mm_xor_si128(x1, x2b);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool canFoldCrc()
{
    static const bool able = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return able;
}
#endif

} // namespace

uint32_t crc32Update(uint32_t crc, const void* data, size_t len)
{
    auto buf = static_cast<const unsigned char*>(data);
#ifdef KESTROW_FOLDED_CRC
    if (len >= 64 && canFoldCrc()) {
        const size_t whole = len & ~size_t{15};
        crc = ~crc32Folded(buf, whole, ~crc);
        buf += whole;
        len -= whole;
    }
#endif
    return static_cast<uint32_t>(::crc32_z(crc, buf, len));
}

namespace {

class InputFile
{
public:
    // Opens a regular file for a sequential read. Links and special files are
    // refused from their lstat, before any open.
    int open(const std::string& path)
    {
        if (const int err = detail::checkPath(path))
            return err;
        return openAt(AT_FDCWD, path.c_str());
    }
    // The same for `name` in the folder `dir`.
    int openAt(int dir, const char* name)
    {
        struct stat st;
        if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno;
        if (!S_ISREG(st.st_mode))
            return S_ISDIR(st.st_mode) ? EISDIR : ENOTSUP;
        m_fd = Fd(::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!m_fd.valid())
            return errno;
        if (::fstat(m_fd.get(), &m_stat) != 0)
            return errno;
        if (!S_ISREG(m_stat.st_mode))
            return ENOTSUP; // swapped for something else since the lstat
        if (m_stat.st_size >= kSequentialHintSize)
            ::posix_fadvise(m_fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        return 0;
    }
    // Fills `buf` up to `len` bytes; fewer only at the end of the file.
    ssize_t readFull(char* buf, size_t len)
    {
        size_t got = 0;
        while (got < len) {
            const ssize_t n = ::read(m_fd.get(), buf + got, len - got);
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
    Fd m_fd;
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
    char* bufA = buffer(0, block);
    char* bufB = buffer(1, block);
    for (;;) {
        const ssize_t na = fa.readFull(bufA, block);
        if (na < 0) {
            m_lastError = static_cast<uint32_t>(errno);
            return -1;
        }
        const ssize_t nb = fb.readFull(bufB, block);
        if (nb < 0) {
            m_lastError = static_cast<uint32_t>(errno);
            return -1;
        }
        // A length that changed while reading is a difference too.
        if (na != nb || std::memcmp(bufA, bufB, static_cast<size_t>(na)) != 0)
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
    char* buf = buffer(0, block);
    uint32_t crc = 0;
    for (;;) {
        const ssize_t n = f.readFull(buf, block);
        if (n < 0) {
            m_lastError = static_cast<uint32_t>(errno);
            return -1;
        }
        crc = crc32Update(crc, buf, static_cast<size_t>(n));
        if (static_cast<size_t>(n) < block)
            return static_cast<int64_t>(crc & 0xFFFFFFFFu);
    }
}

constexpr std::align_val_t kPageAlignment{4096};

void FileComparer::AlignedFree::operator()(char* p) const
{
    ::operator delete[](p, kPageAlignment);
}

char* FileComparer::buffer(int which, size_t size)
{
    if (m_capacity[which] < size) {
        const size_t rounded = (size + 4095) / 4096 * 4096;
        m_buffers[which].reset(static_cast<char*>(::operator new[](rounded, kPageAlignment)));
        m_capacity[which] = rounded;
    }
    return m_buffers[which].get();
}

int FileComparer::compareFilesIn(const OpenFolder& a, const OpenFolder& b, const std::string& name)
{
    m_lastError = 0;
    InputFile fa;
    InputFile fb;
    if (const int err = fa.openAt(a.fd(), name.c_str())) {
        m_lastError = static_cast<uint32_t>(err);
        return -1;
    }
    if (const int err = fb.openAt(b.fd(), name.c_str())) {
        m_lastError = static_cast<uint32_t>(err);
        return -1;
    }
    if (fa.stat().st_size != fb.stat().st_size) {
        m_lastError = kDifferentCode;
        return 1;
    }
    if (fa.stat().st_dev == fb.stat().st_dev && fa.stat().st_ino == fb.stat().st_ino)
        return 0;

    // Both as long as they were when opened; a file that reports no size (proc,
    // sysfs) is read to its end, a byte at a time as compareFiles reads it.
    const auto size = static_cast<uint64_t>(fa.stat().st_size);
    const size_t block = static_cast<size_t>(std::clamp<uint64_t>(size, 1, kHeldBlock));
    char* bufA = buffer(0, block);
    char* bufB = buffer(1, block);
    for (uint64_t done = 0; size == 0 || done < size;) {
        const size_t want = size == 0 ? block : static_cast<size_t>(std::min<uint64_t>(block, size - done));
        const ssize_t na = fa.readFull(bufA, want);
        if (na < 0) {
            m_lastError = static_cast<uint32_t>(errno);
            return -1;
        }
        const ssize_t nb = fb.readFull(bufB, want);
        if (nb < 0) {
            m_lastError = static_cast<uint32_t>(errno);
            return -1;
        }
        if (na != nb || std::memcmp(bufA, bufB, static_cast<size_t>(na)) != 0)
            return 1;
        if (static_cast<size_t>(na) < want)
            return 0; // shorter than it said: both ended alike
        done += static_cast<uint64_t>(na);
    }
    return 0;
}

int64_t FileComparer::crc32OfFileIn(const OpenFolder& folder, const std::string& name)
{
    m_lastError = 0;
    InputFile f;
    if (const int err = f.openAt(folder.fd(), name.c_str())) {
        m_lastError = static_cast<uint32_t>(err);
        return -1;
    }
    const auto size = static_cast<uint64_t>(f.stat().st_size);
    const size_t block = static_cast<size_t>(std::clamp<uint64_t>(size, 1, kHeldBlock));
    char* buf = buffer(0, block);
    uint32_t crc = 0;
    for (uint64_t done = 0; size == 0 || done < size;) {
        const size_t want = size == 0 ? block : static_cast<size_t>(std::min<uint64_t>(block, size - done));
        const ssize_t n = f.readFull(buf, want);
        if (n < 0) {
            m_lastError = static_cast<uint32_t>(errno);
            return -1;
        }
        crc = crc32Update(crc, buf, static_cast<size_t>(n));
        if (static_cast<size_t>(n) < want)
            break;
        done += static_cast<uint64_t>(n);
    }
    return static_cast<int64_t>(crc & 0xFFFFFFFFu);
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
