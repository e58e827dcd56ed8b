#pragma once
// Whole-file contents comparison and CRC-32 with the error contract the
// comparison methods rely on: a call returns -1 on trouble and leaves a last
// error code; codes 0 and kDifferentCode mean "merely different", any other code
// is a failure with a text. One instance per thread of work (it keeps state).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace kestrow::platform {

class OpenFolder;

// CRC-32 with zlib's polynomial and values (crc32(crc, data, len) of zlib), at
// the speed the processor allows. Start with 0.
uint32_t crc32Update(uint32_t crc, const void* data, size_t len);

class FileComparer
{
public:
    static constexpr uint32_t kDifferentCode = 65297;

    // 0 when both files hold the same bytes, 1 when they differ, -1 on trouble
    // (lastError() then tells why). Sizes are compared first; then both files are
    // read in large blocks. Special files and links are never opened: -1 with
    // ENOTSUP (EISDIR for a folder). Each call starts with lastError() at 0.
    int compareFiles(const std::string& a, const std::string& b);

    // CRC-32 (zlib) of the whole file, or -1 with lastError() set. The value is
    // returned in the low 32 bits; -1 is never a CRC here.
    int64_t crc32OfFile(const std::string& path);

    // The same two, for `name` in folders held open (the same name in both):
    // no path is resolved again, and reading stops at the size the files had
    // when opened (a file that reports no size is read to its end).
    int compareFilesIn(const OpenFolder& a, const OpenFolder& b, const std::string& name);
    int64_t crc32OfFileIn(const OpenFolder& folder, const std::string& name);

    // errno of the last failure (0 when none); kDifferentCode after a size mismatch.
    uint32_t lastError() const { return m_lastError; }
    // Text for `code`: the system message for an errno, our own for kDifferentCode.
    std::string errorText(uint32_t code) const;
    void reset() { m_lastError = 0; }

private:
    // Read buffers kept from call to call (a comparison of many small files would
    // otherwise allocate two per file), page-aligned: the kernel copies into an
    // unaligned buffer several times slower.
    char* buffer(int which, size_t size);

    struct AlignedFree
    {
        void operator()(char* p) const;
    };

    uint32_t m_lastError = 0;
    std::unique_ptr<char, AlignedFree> m_buffers[2];
    size_t m_capacity[2] = {0, 0};
};

} // namespace kestrow::platform
