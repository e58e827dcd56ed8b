#include "engine/cCompare.h"

namespace kestrow {

cCompare* gCompare = nullptr;

namespace {

thread_local const cCompare* tSnapshot = nullptr;

} // namespace

const cCompare& CompareOptions()
{
    if (tSnapshot)
        return *tSnapshot;
    static const cCompare defaults;
    const cCompare* current = gCompare;
    return current ? *current : defaults;
}

namespace {

// Fills `copy` (a snapshot's own) from the options in force; the copy to install.
const cCompare* copyInto(cCompare& copy, const cCompare& now)
{
    copy.setCompareMethod(now.CompareMethod());
    copy.setIgnoreFAT_NTFS_TwoSecDiff(now.IgnoreFAT_NTFS_TwoSecDiff());
    copy.setIgnoreFAT_NTFS_DaylightSavings(now.IgnoreFAT_NTFS_DaylightSavings());
    copy.setIgnoreSystemFiles(now.IgnoreSystemFiles());
    copy.setIgnoreHiddenFiles(now.IgnoreHiddenFiles());
    copy.setIgnoreSystemFolders(now.IgnoreSystemFolders());
    copy.setIgnoreHiddenFolders(now.IgnoreHiddenFolders());
    return &copy;
}

} // namespace

// m_copy comes first in the class, so it exists when it is filled.
CompareSnapshot::CompareSnapshot() : m_installed(tSnapshot, copyInto(m_copy, CompareOptions())) {}

} // namespace kestrow
