#pragma once
// cCompare: the program-wide comparison and skip options. A plain holder: every
// property stores and returns its value unchanged, without validation. The values
// may be changed from the window thread while a run reads them on its worker; a
// change takes effect at the next read.

#include "util/ScopeExit.h"

#include <atomic>
#include <cstdint>

namespace kestrow {

class cCompare
{
public:
    cCompare() = default;
    cCompare(const cCompare&) = delete;
    cCompare& operator=(const cCompare&) = delete;

    // 0 date/time, 1 size, 2 contents, 3 CRC32. Any other value is kept as given.
    int32_t CompareMethod() const { return m_CompareMethod.load(std::memory_order_relaxed); }
    void setCompareMethod(int32_t value) { m_CompareMethod.store(value, std::memory_order_relaxed); }

    // Last-write times up to two seconds apart count as equal.
    bool IgnoreFAT_NTFS_TwoSecDiff() const { return m_TwoSecDiff.load(std::memory_order_relaxed); }
    void setIgnoreFAT_NTFS_TwoSecDiff(bool value) { m_TwoSecDiff.store(value, std::memory_order_relaxed); }

    // Last-write times one hour apart count as equal.
    bool IgnoreFAT_NTFS_DaylightSavings() const { return m_DaylightSavings.load(std::memory_order_relaxed); }
    void setIgnoreFAT_NTFS_DaylightSavings(bool value)
    {
        m_DaylightSavings.store(value, std::memory_order_relaxed);
    }

    // System (special) and hidden (dot-named) files and folders are skipped and logged.
    bool IgnoreSystemFiles() const { return m_SystemFiles.load(std::memory_order_relaxed); }
    void setIgnoreSystemFiles(bool value) { m_SystemFiles.store(value, std::memory_order_relaxed); }
    bool IgnoreHiddenFiles() const { return m_HiddenFiles.load(std::memory_order_relaxed); }
    void setIgnoreHiddenFiles(bool value) { m_HiddenFiles.store(value, std::memory_order_relaxed); }
    bool IgnoreSystemFolders() const { return m_SystemFolders.load(std::memory_order_relaxed); }
    void setIgnoreSystemFolders(bool value) { m_SystemFolders.store(value, std::memory_order_relaxed); }
    bool IgnoreHiddenFolders() const { return m_HiddenFolders.load(std::memory_order_relaxed); }
    void setIgnoreHiddenFolders(bool value) { m_HiddenFolders.store(value, std::memory_order_relaxed); }

private:
    std::atomic<int32_t> m_CompareMethod{0};
    std::atomic<bool> m_TwoSecDiff{false};
    std::atomic<bool> m_DaylightSavings{false};
    std::atomic<bool> m_SystemFiles{false};
    std::atomic<bool> m_HiddenFiles{false};
    std::atomic<bool> m_SystemFolders{false};
    std::atomic<bool> m_HiddenFolders{false};
};

// The program-wide options, created at start-up and released at shutdown; null before.
extern cCompare* gCompare;

// gCompare, or a fresh cCompare (method 0, every flag off) while there is none;
// on a thread that holds a CompareSnapshot, that snapshot.
const cCompare& CompareOptions();

// While it lives, CompareOptions() on the thread that made it gives the options
// as they were when it was made, so a run compares by one set of options from
// start to end whatever the window changes meanwhile. Snapshots nest.
class CompareSnapshot
{
public:
    CompareSnapshot();

private:
    cCompare m_copy;
    util::ScopedValue<const cCompare*> m_installed;
};

} // namespace kestrow
