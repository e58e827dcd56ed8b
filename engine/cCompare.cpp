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

CompareSnapshot::CompareSnapshot() : m_previous(tSnapshot)
{
    const cCompare& now = CompareOptions();
    m_copy.setCompareMethod(now.CompareMethod());
    m_copy.setIgnoreFAT_NTFS_TwoSecDiff(now.IgnoreFAT_NTFS_TwoSecDiff());
    m_copy.setIgnoreFAT_NTFS_DaylightSavings(now.IgnoreFAT_NTFS_DaylightSavings());
    m_copy.setIgnoreSystemFiles(now.IgnoreSystemFiles());
    m_copy.setIgnoreHiddenFiles(now.IgnoreHiddenFiles());
    m_copy.setIgnoreSystemFolders(now.IgnoreSystemFolders());
    m_copy.setIgnoreHiddenFolders(now.IgnoreHiddenFolders());
    tSnapshot = &m_copy;
}

CompareSnapshot::~CompareSnapshot()
{
    tSnapshot = m_previous;
}

} // namespace kestrow
